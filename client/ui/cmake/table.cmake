# The log table writes its rows with the display formatters.
if(TARGET restwatch_clientformat)
  target_link_libraries(restwatch_clientui PUBLIC restwatch_clientformat)
endif()
