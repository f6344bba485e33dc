# Runs at install time: writes the polkit actions with the pkexec action naming the client's copy
# of the agent under the prefix this install really uses (`cmake --install --prefix` may differ
# from the configured one). Expects restwatch_policy_template, restwatch_policy_output and
# restwatch_libexecdir from the install code before it.
if(IS_ABSOLUTE "${restwatch_libexecdir}")
  set(restwatch_client_agent "${restwatch_libexecdir}/restwatch-client/com.klvr.restwatch.agent")
else()
  set(restwatch_client_agent "${CMAKE_INSTALL_PREFIX}/${restwatch_libexecdir}/restwatch-client/com.klvr.restwatch.agent")
endif()
file(READ "${restwatch_policy_template}" restwatch_policy)
string(REPLACE "@RESTWATCH_CLIENT_AGENT@" "${restwatch_client_agent}" restwatch_policy "${restwatch_policy}")
file(WRITE "${restwatch_policy_output}" "${restwatch_policy}")
