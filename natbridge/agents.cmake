add_library(natbridge_agents INTERFACE)
target_include_directories(natbridge_agents INTERFACE ${CMAKE_CURRENT_SOURCE_DIR}/src)
