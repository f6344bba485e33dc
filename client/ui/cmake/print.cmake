# Printing the log table goes through Qt's printer, print dialog and preview.
target_link_libraries(restwatch_clientui PUBLIC Qt6::PrintSupport)
