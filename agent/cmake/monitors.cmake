# The monitors' consumed D-Bus interfaces: proxies generated from the introspection XML kept in
# agent/dbus (logind's is spoken over libdbus by the sleep path, see KLVRRWARawBus), and the
# SQLite library the accounting monitor reads wtmpdb with.
set(monitor_dbus_dir ${CMAKE_CURRENT_SOURCE_DIR}/dbus)
set_source_files_properties(${monitor_dbus_dir}/org.freedesktop.UPower.xml PROPERTIES
  CLASSNAME KLVRRWAUPowerProxy
  NO_NAMESPACE ON)
qt_add_dbus_interface(monitor_dbus_proxies ${monitor_dbus_dir}/org.freedesktop.UPower.xml
  KLVRRWAUPowerProxy)
target_sources(restwatch_agent PRIVATE ${monitor_dbus_proxies})
target_link_libraries(restwatch_agent PUBLIC PkgConfig::SQLITE3)
pkg_check_modules(DBUS1 REQUIRED IMPORTED_TARGET dbus-1)
target_link_libraries(restwatch_agent PRIVATE PkgConfig::DBUS1)
