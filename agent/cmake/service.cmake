# D-Bus adaptors of the agent's event and housekeeping services, generated from the interface XML
# that clients generate their proxies from.
set(restwatch_agent_dbus_xml ${PROJECT_SOURCE_DIR}/common/agent/dbus)
set(restwatch_agent_service_sources)
qt_add_dbus_adaptor(restwatch_agent_service_sources
  ${restwatch_agent_dbus_xml}/com.klvr.restwatch.KLVRRWAServiceProtocol.xml
  KLVRRWAService.h KLVRRWAService
  klvrrwaserviceprotocol_adaptor KLVRRWAServiceProtocolAdaptor)
qt_add_dbus_adaptor(restwatch_agent_service_sources
  ${restwatch_agent_dbus_xml}/com.klvr.restwatch.KLVRAgentServiceProtocol.xml
  KLVRAgentService.h KLVRAgentService
  klvragentserviceprotocol_adaptor KLVRAgentServiceProtocolAdaptor)
target_sources(restwatch_agent PRIVATE ${restwatch_agent_service_sources})
