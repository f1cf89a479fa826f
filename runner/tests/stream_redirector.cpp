// Sends its standard streams where the service would and writes one line to each:
// stream_redirector <log directory> <StdOutput> <StdError> <service name>; "-" leaves a setting
// empty.
#include <windows.h>

#include <cwchar>

#include "foundation/pool.h"
#include "foundation/std_streams.h"
#include "foundation/std_write.h"

namespace {
const wchar_t* setting(const wchar_t* argument) { return std::wcscmp(argument, L"-") == 0 ? nullptr : argument; }
}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc != 5) return 2;
    initPools();
    MainPool = createPool();
    redirectStandardStreams(argv[1], setting(argv[2]), setting(argv[3]), argv[4]);
    writeStandardStream(STD_OUTPUT_HANDLE, "to standard output\n", 19);
    writeStandardStream(STD_ERROR_HANDLE, "to standard error\n", 18);
    releasePools();
    return 0;
}
