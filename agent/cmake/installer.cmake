# The install mode: systemd's D-Bus API, and the packaged unit, D-Bus policy and polkit actions
# that it writes, embedded as ":/installer/<file name>".
target_link_libraries(restwatch_agent PUBLIC restwatch_systemd)
file(GLOB installer_files CONFIGURE_DEPENDS
  ${PROJECT_SOURCE_DIR}/packaging/com.klvr.restwatch.agent.service
  ${PROJECT_SOURCE_DIR}/packaging/com.klvr.restwatch.agent.conf
  ${PROJECT_SOURCE_DIR}/packaging/com.klvr.restwatch.agent.policy)
foreach(installer_file ${installer_files})
  get_filename_component(installer_alias ${installer_file} NAME)
  set_source_files_properties(${installer_file} PROPERTIES QT_RESOURCE_ALIAS ${installer_alias})
endforeach()
if(installer_files)
  qt_add_resources(restwatch_agent installer PREFIX /installer FILES ${installer_files})
endif()
