# Export writes Word documents as zips of their own.
pkg_check_modules(LIBZIP REQUIRED IMPORTED_TARGET libzip)
target_link_libraries(restwatch_clientui PRIVATE PkgConfig::LIBZIP)
# The strings tables of export and printing.
set(export_print_strings
  ${PROJECT_SOURCE_DIR}/resources/strings/en/KLVRRWCExportController.plist
  ${PROJECT_SOURCE_DIR}/resources/strings/en/KLVRRWCPrintController.plist
  ${PROJECT_SOURCE_DIR}/resources/strings/en/KLVRRWCPrintableReportView.plist)
foreach(strings_file ${export_print_strings})
  get_filename_component(strings_alias ${strings_file} NAME)
  set_source_files_properties(${strings_file} PROPERTIES QT_RESOURCE_ALIAS ${strings_alias})
endforeach()
qt_add_resources(restwatch_clientui export_print_strings PREFIX /strings/en FILES ${export_print_strings})
