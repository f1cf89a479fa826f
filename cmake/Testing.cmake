# Test programs are Windows binaries: CTest runs them under Wine through this emulator.
# HARBEE_WINE_ROOT names a Debian root whose Wine runs them instead of the host's (Wine's WoW64
# mode, chosen by scripts/lib/wine.sh); the 32-bit build then runs under its 64-bit loader.
set(HARBEE_WINE_ROOT "" CACHE PATH "Root of the Wine that runs the tests (empty: the host's)")
if(HARBEE_WINE_ROOT)
  set(wine_loader /usr/lib/wine/wine64)
  set(HARBEE_WINE_FONTS ${HARBEE_WINE_ROOT}/usr/share/wine/fonts)
elseif(CMAKE_SIZEOF_VOID_P EQUAL 4)
  set(wine_loader /usr/lib/wine/wine)
  set(HARBEE_WINE_FONTS /usr/share/wine/fonts)
else()
  set(wine_loader /usr/lib/wine/wine64)
  set(HARBEE_WINE_FONTS /usr/share/wine/fonts)
endif()
# build/<arch>/wine/wine and wine/wineserver: the tree's Wine, wherever it lives.
foreach(program wine wineserver)
  if(program STREQUAL wine)
    set(HARBEE_WINE_PROGRAM ${wine_loader})
  else()
    set(HARBEE_WINE_PROGRAM /usr/lib/wine/wineserver64)
  endif()
  configure_file(${PROJECT_SOURCE_DIR}/testing/wine/wine-program.sh.in ${CMAKE_BINARY_DIR}/wine/${program}
                 @ONLY FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE
                 WORLD_READ WORLD_EXECUTE)
endforeach()
set(HARBEE_WINE_LOADER ${CMAKE_BINARY_DIR}/wine/wine)
set(HARBEE_WINESERVER ${CMAKE_BINARY_DIR}/wine/wineserver)
# Each Wine keeps a prefix of its own, so one tree can switch between them.
if(HARBEE_WINE_ROOT)
  set(HARBEE_WINEPREFIX ${CMAKE_BINARY_DIR}/wineprefix-wow64)
else()
  set(HARBEE_WINEPREFIX ${CMAKE_BINARY_DIR}/wineprefix)
endif()
set(HARBEE_WINE_RUNNER ${CMAKE_BINARY_DIR}/run-under-wine.sh)
configure_file(${PROJECT_SOURCE_DIR}/testing/wine/run-under-wine.sh.in ${HARBEE_WINE_RUNNER}
               @ONLY FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE
               WORLD_READ WORLD_EXECUTE)
set(CMAKE_CROSSCOMPILING_EMULATOR ${HARBEE_WINE_RUNNER})

# Every test gets a timeout so that nothing can hang a run. Fixed system-wide names are
# resource locks, so tests that use them never overlap:
#   CORE_PORT    - the core's port 3800 (tests that start the real agent)
#   RPC_ENDPOINT - the service's RPC endpoint "com.brisko.harbee" (servers and agents)
#   BROWSER_SETTINGS - the prefix user's Internet Settings, machine-wide browser policies and
#                      Mozilla registrations (proxy writers and readers)
#   SERVICE_MANAGER - the prefix's service control manager and the runner's registry keys
#   DESKTOP      - the shared screen and notification area (tray icons, menus, dialogs a test
#                  reads, drives or takes screenshots of)
# ENVIRONMENT sets variables for the test process (NAME=value ...).
function(harbee_add_test name target)
  cmake_parse_arguments(ARG "CORE_PORT;RPC_ENDPOINT;BROWSER_SETTINGS;SERVICE_MANAGER;DESKTOP" "TIMEOUT"
                        "ARGS;LABELS;ENVIRONMENT" ${ARGN})
  if(NOT ARG_TIMEOUT)
    set(ARG_TIMEOUT 120)
  endif()
  add_test(NAME ${name} COMMAND ${target} ${ARG_ARGS})
  set_tests_properties(${name} PROPERTIES TIMEOUT ${ARG_TIMEOUT} LABELS "wine;${ARG_LABELS}")
  if(ARG_ENVIRONMENT)
    set_tests_properties(${name} PROPERTIES ENVIRONMENT "${ARG_ENVIRONMENT}")
  endif()
  set(locks)
  foreach(shared CORE_PORT RPC_ENDPOINT BROWSER_SETTINGS SERVICE_MANAGER DESKTOP)
    if(ARG_${shared})
      string(TOLOWER ${shared} lock)
      list(APPEND locks ${lock})
    endif()
  endforeach()
  if(locks)
    set_tests_properties(${name} PROPERTIES RESOURCE_LOCK "${locks}")
  endif()
endfunction()

# EACH_TEST runs every test case of the program in a process of its own. Wine's RPC server
# sometimes hangs when a process stops listening a second time, so tests that start and stop
# the service's RPC server get one server lifetime per process.
function(harbee_gtest target)
  cmake_parse_arguments(ARG "EACH_TEST" "" "" ${ARGN})
  target_link_libraries(${target} PRIVATE GTest::gmock_main)
  if(NOT ARG_EACH_TEST)
    harbee_add_test(${target} ${target} ${ARG_UNPARSED_ARGUMENTS})
    return()
  endif()
  get_target_property(sources ${target} SOURCES)
  list(FILTER sources INCLUDE REGEX "_test\\.cpp$")
  foreach(source ${sources})
    file(STRINGS ${CMAKE_CURRENT_SOURCE_DIR}/${source} lines REGEX "^TEST(_F)?\\(")
    foreach(line ${lines})
      string(REGEX REPLACE "^TEST(_F)?\\(([A-Za-z0-9_]+), *([A-Za-z0-9_]+)\\).*" "\\2.\\3" name "${line}")
      harbee_add_test(${target}.${name} ${target} ARGS --gtest_filter=${name} ${ARG_UNPARSED_ARGUMENTS})
    endforeach()
  endforeach()
endfunction()

# Header checks of a shipped binary; they read the i686 build only and need no Wine.
function(harbee_check_pe target kind)
  if(HARBEE_TESTS AND CMAKE_SIZEOF_VOID_P EQUAL 4)
    add_test(NAME ${target}_pe
             COMMAND ${PROJECT_SOURCE_DIR}/testing/host/check-pe.sh $<TARGET_FILE:${target}> ${kind} ${CMAKE_OBJDUMP})
    set_tests_properties(${target}_pe PROPERTIES TIMEOUT 30 LABELS host)
  endif()
endfunction()

# A check script of testing/host/ run on a shipped i686 binary: FILE OBJDUMP ARGS...
function(harbee_host_check name script target)
  if(HARBEE_TESTS AND CMAKE_SIZEOF_VOID_P EQUAL 4)
    add_test(NAME ${name}
             COMMAND ${PROJECT_SOURCE_DIR}/testing/host/${script} $<TARGET_FILE:${target}> ${CMAKE_OBJDUMP} ${ARGN})
    set_tests_properties(${name} PROPERTIES TIMEOUT 30 LABELS host)
  endif()
endfunction()

# The exact export names of a shipped DLL, as its callers look them up.
function(harbee_check_exports target)
  harbee_host_check(${target}_exports check-exports.sh ${target} ${ARGN})
endfunction()

# A shipped binary needs no DLL beyond Windows' own, and imports none of the system DLLs named
# after the target (which it binds at run time from the system folder).
function(harbee_check_imports target)
  harbee_host_check(${target}_imports check-imports.sh ${target} ${ARGN})
endfunction()

# Copies targets' files beside a test program (built in the current folder), where it loads or
# starts them: each entry is TARGET:FILE_NAME. They are copied again whenever a target changes.
function(harbee_copy_beside test)
  set(copies)
  foreach(entry ${ARGN})
    string(REPLACE ":" ";" entry ${entry})
    list(GET entry 0 target)
    list(GET entry 1 name)
    add_custom_command(OUTPUT ${CMAKE_CURRENT_BINARY_DIR}/${name}
      COMMAND ${CMAKE_COMMAND} -E copy $<TARGET_FILE:${target}> ${CMAKE_CURRENT_BINARY_DIR}/${name}
      DEPENDS ${target})
    list(APPEND copies ${CMAKE_CURRENT_BINARY_DIR}/${name})
  endforeach()
  add_custom_target(${test}_beside DEPENDS ${copies})
  add_dependencies(${test} ${test}_beside)
endfunction()

# Copies the planted marker DLL (testing/dllsearch) into a test's folder under the name of each
# system DLL given, for a caller there that must never load them: TARGET FOLDER NAMES...
function(harbee_plant_markers target folder)
  set(copies)
  foreach(name ${ARGN})
    add_custom_command(OUTPUT ${folder}/${name}
      COMMAND ${CMAKE_COMMAND} -E copy $<TARGET_FILE:planted_marker> ${folder}/${name}
      DEPENDS planted_marker)
    list(APPEND copies ${folder}/${name})
  endforeach()
  add_custom_target(${target}_planted DEPENDS ${copies})
  add_dependencies(${target} ${target}_planted)
endfunction()

# A double of a system DLL lives in the Wine prefix's system folder for the build's
# architecture, where a load from the system folder only finds it. The test FIXTURE places the
# DLL built by TARGET there; tests that need it name the fixture (FIXTURES_REQUIRED).
function(harbee_system_folder_double fixture target)
  add_test(NAME ${fixture} COMMAND place_in_system_folder $<TARGET_FILE_NAME:${target}>
           WORKING_DIRECTORY $<TARGET_FILE_DIR:${target}>)
  set_tests_properties(${fixture} PROPERTIES TIMEOUT 60 LABELS wine FIXTURES_SETUP ${fixture})
endfunction()
