# The same sources built 64-bit, for test machines whose kernel cannot run 32-bit code
# (and so cannot run 32-bit Wine). The shipped binaries are always the i686 build.
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(MINGW_TRIPLET x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
