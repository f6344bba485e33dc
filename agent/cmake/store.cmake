# The event store: the agent's embedded Info.plist (identity, store path, SQL) as ":/agent/Info.plist".
target_sources(restwatch_agent PRIVATE ${CMAKE_CURRENT_SOURCE_DIR}/agent.qrc)
