#include "lifecycle/stop_rules.h"

#include <cwchar>
#include <cwctype>

#include "lifecycle/service_run.h"
#include "options/options.h"

namespace {
constexpr DWORD StopCallDefaultMs = 300000;
constexpr wchar_t GlobalPrefix[] = L"Global\\";
}  // namespace

int workerModeFor(const wchar_t* text, BOOL forStop) {
    if (text && ::lstrcmpiW(text, L"jvm") == 0) return WORKER_MODE_JVM;
    if (text && ::lstrcmpiW(text, L"java") == 0) return WORKER_MODE_JAVA;
    if (forStop && (!text || !*text)) return WORKER_MODE_NONE;
    return WORKER_MODE_EXE;
}

BOOL buildSignalEventName(const wchar_t* serviceName, wchar_t* out, size_t chars) {
    const int written = _snwprintf(out, chars, L"%s%sSIGNAL", GlobalPrefix, serviceName);
    if (written < 0 || static_cast<size_t>(written) >= chars) {
        out[chars - 1] = L'\0';
        return FALSE;
    }
    for (wchar_t* c = out + std::wcslen(GlobalPrefix); *c; ++c) *c = *c == L' ' ? L'_' : std::towupper(*c);
    return TRUE;
}

DWORD finalStopTimeout(LONG stopTimeoutSeconds, BOOL stopRan, int reason, DWORD killTimeoutMs) {
    const LONG seconds =
        stopTimeoutSeconds < 0 || stopTimeoutSeconds > LargestStopTimeoutSeconds ? 0 : stopTimeoutSeconds;
    DWORD timeout = static_cast<DWORD>(seconds) * 1000;
    if (stopRan && timeout == 0) timeout = StopCallDefaultMs;
    if (reason != STOP_REASON_STOP && timeout >= killTimeoutMs) timeout = killTimeoutMs;
    return timeout;
}

BOOL threadDumpDue(ULONGLONG lastDumpTick, ULONGLONG nowTick) {
    return lastDumpTick == 0 || nowTick - lastDumpTick >= ThreadDumpIntervalMs;
}

DWORD timeLeftBefore(ULONGLONG deadlineTick, ULONGLONG nowTick, DWORD wantedMs) {
    if (deadlineTick == 0) return wantedMs;
    const ULONGLONG left = deadlineTick > nowTick ? deadlineTick - nowTick : 0;
    return left < wantedMs ? static_cast<DWORD>(left) : wantedMs;
}
