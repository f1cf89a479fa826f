# Agent RPC server, agent manager and application registry.
add_library(natbridge_agents STATIC)
target_include_directories(natbridge_agents PUBLIC ${CMAKE_CURRENT_SOURCE_DIR}/src)
target_link_libraries(natbridge_agents PUBLIC brisko_common brisko_seh agent_rpc_server
                                              rpcrt4 wtsapi32 userenv advapi32 user32)

# The application registry: pure list logic and its locks.
target_sources(natbridge_agents PRIVATE
  src/user_applications.cpp
  src/application_registry.cpp
)

# The RPC interface's server side: registration, caller gate and procedures.
target_sources(natbridge_agents PRIVATE
  src/agent_rpc_server.cpp
  src/agent_rpc_procedures.cpp
  src/caller_process.cpp
)

# The agent manager: supervisor, launching agents in user sessions, restart rule.
target_sources(natbridge_agents PRIVATE
  src/agent_manager.cpp
  src/agent_supervisor.cpp
  src/agent_launcher.cpp
  src/desktop_access.cpp
  src/restart_rule.cpp
  src/session_system.cpp
)
