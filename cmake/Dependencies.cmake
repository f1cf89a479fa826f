# Third-party code is used in place, from where the Debian packages put it.

# msgpack-c is header-only under /usr/include, which must never reach a cross build:
# a folder holding only links to its headers stands in for it.
set(MSGPACK_LINK_DIR ${CMAKE_BINARY_DIR}/deps/msgpack-include)
file(MAKE_DIRECTORY ${MSGPACK_LINK_DIR})
foreach(entry msgpack.hpp msgpack)
  if(NOT EXISTS /usr/include/${entry})
    message(FATAL_ERROR "/usr/include/${entry} is missing: install libmsgpack-cxx-dev")
  endif()
  file(CREATE_LINK /usr/include/${entry} ${MSGPACK_LINK_DIR}/${entry} SYMBOLIC)
endforeach()
add_library(msgpack INTERFACE)
target_include_directories(msgpack SYSTEM INTERFACE ${MSGPACK_LINK_DIR})
target_compile_definitions(msgpack INTERFACE MSGPACK_NO_BOOST)

# jni.h from the installed OpenJDK; jni_md.h is our own Windows one.
file(GLOB JNI_HEADER_CANDIDATES /usr/lib/jvm/default-java/include/jni.h /usr/lib/jvm/*/include/jni.h)
list(GET JNI_HEADER_CANDIDATES 0 JNI_HEADER)
if(NOT JNI_HEADER)
  message(FATAL_ERROR "no jni.h found under /usr/lib/jvm: install default-jdk-headless")
endif()
set(JNI_LINK_DIR ${CMAKE_BINARY_DIR}/deps/jni-include)
file(MAKE_DIRECTORY ${JNI_LINK_DIR})
file(CREATE_LINK ${JNI_HEADER} ${JNI_LINK_DIR}/jni.h SYMBOLIC)
add_library(jni_headers INTERFACE)
target_include_directories(jni_headers SYSTEM INTERFACE ${JNI_LINK_DIR} ${PROJECT_SOURCE_DIR}/common/jni)

if(HARBEE_TESTS)
  if(NOT EXISTS /usr/src/googletest/CMakeLists.txt)
    message(FATAL_ERROR "/usr/src/googletest is missing: install googletest")
  endif()
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  set(gtest_disable_pthreads ON CACHE BOOL "" FORCE)
  add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/deps/googletest EXCLUDE_FROM_ALL)
endif()
