# The monitors' consumed D-Bus interfaces: proxies generated from the introspection XML kept in
# agent/dbus, and the SQLite library the accounting monitor reads wtmpdb with.
set(monitor_dbus_dir ${CMAKE_CURRENT_SOURCE_DIR}/dbus)
set_source_files_properties(${monitor_dbus_dir}/org.freedesktop.login1.Manager.xml PROPERTIES
  INCLUDE KLVRRWAInhibitor.h
  CLASSNAME KLVRRWALogindManagerProxy
  NO_NAMESPACE ON)
set_source_files_properties(${monitor_dbus_dir}/org.freedesktop.UPower.xml PROPERTIES
  CLASSNAME KLVRRWAUPowerProxy
  NO_NAMESPACE ON)
qt_add_dbus_interface(monitor_dbus_proxies ${monitor_dbus_dir}/org.freedesktop.login1.Manager.xml
  KLVRRWALogindManagerProxy)
qt_add_dbus_interface(monitor_dbus_proxies ${monitor_dbus_dir}/org.freedesktop.UPower.xml
  KLVRRWAUPowerProxy)
target_sources(restwatch_agent PRIVATE ${monitor_dbus_proxies})
target_link_libraries(restwatch_agent PUBLIC PkgConfig::SQLITE3)
