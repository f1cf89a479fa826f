# natbridge_frame: the JNI frame, native threads and the system event thread, and natbridge.dll.
add_library(natbridge_frame STATIC
  src/com_scope.cpp
  src/java_exceptions.cpp
  src/jni_strings.cpp
  src/jthread.cpp
  src/service_thread.cpp
  src/session_calls.cpp
  src/session_user.cpp
  src/suspend_resume.cpp
  src/system_event_thread_exports.cpp
)
target_include_directories(natbridge_frame PUBLIC ${CMAKE_CURRENT_SOURCE_DIR}/src)
# The module-definition file is the one export list: JNIEXPORT must add no names of its own.
target_compile_definitions(natbridge_frame PUBLIC JNIEXPORT=)
target_link_libraries(natbridge_frame PUBLIC brisko_common jni_headers wtsapi32 ole32 user32)

if(CMAKE_SIZEOF_VOID_P EQUAL 4)
  set(NATBRIDGE_DEF ${CMAKE_CURRENT_SOURCE_DIR}/src/natbridge_x86.def)
else()
  set(NATBRIDGE_DEF ${CMAKE_CURRENT_SOURCE_DIR}/src/natbridge_x64.def)
endif()
add_library(natbridge SHARED src/dll_main.cpp ${NATBRIDGE_DEF})
set_target_properties(natbridge PROPERTIES PREFIX "" OUTPUT_NAME natbridge)
target_link_libraries(natbridge PRIVATE natbridge_frame natbridge_agents)
add_dependencies(deliverables natbridge)
harbee_check_pe(natbridge DLL)
# The JNI names with their 32-bit stdcall decoration, as the VM looks them up.
harbee_check_exports(natbridge
  _JNI_OnLoad@8
  _Java_jni_com_brisko_desktop_windows_SystemEventThread_start@12
  _Java_jni_com_brisko_desktop_windows_SystemEventThread_stop@16
  _Java_jni_com_brisko_desktop_windows_SystemEventThread_terminate@24)

if(HARBEE_TESTS)
  # Beside natbridge.dll, which the tests load as the VM does.
  add_executable(natbridge_frame_test
    tests/frame_test.cpp
    tests/service_thread_test.cpp
    tests/agent_manager_double.cpp
    tests/java_core.cpp
  )
  target_link_libraries(natbridge_frame_test PRIVATE natbridge_frame fakejvm)
  harbee_gtest(natbridge_frame_test TIMEOUT 180)

  add_executable(natbridge_dll_test tests/dll_test.cpp tests/java_core.cpp)
  target_link_libraries(natbridge_dll_test PRIVATE fakejvm)
  add_dependencies(natbridge_dll_test natbridge)
  harbee_gtest(natbridge_dll_test TIMEOUT 180)
endif()
