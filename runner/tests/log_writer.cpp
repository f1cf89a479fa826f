// Writes numbered lines into a shared log: log_writer <directory> <prefix> <tag> <count>.
#include <windows.h>

#include <cwchar>

#include "foundation/log.h"
#include "foundation/pool.h"
#include "text.h"

int wmain(int argc, wchar_t** argv) {
    if (argc != 5) return 2;
    initPools();
    MainPool = createPool();
    LogFile* log = openLog(argv[1], argv[2], 0);
    const std::string tag = brisko::wideToAnsi(argv[3]);
    const long count = std::wcstol(argv[4], nullptr, 10);
    int failures = 0;
    for (long i = 0; i < count; ++i) {
        if (!logMessage(log, LOG_LEVEL_INFO, TRUE, __FILE__, __LINE__, "%s %05ld the quick brown fox jumps over the lazy dog",
                        tag.c_str(), i))
            ++failures;
    }
    closeLog();
    releasePools();
    return failures ? 1 : 0;
}
