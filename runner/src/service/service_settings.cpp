#include "service/service_settings.h"

#include <cwchar>

#include "foundation/pool.h"
#include "options/value_syntax.h"

namespace {

// A text with a space and no quote yet is put in double quotes when asked.
BOOL append(wchar_t* out, size_t chars, size_t* used, const wchar_t* text, bool quoteSpaced) {
    const bool quote = quoteSpaced && std::wcschr(text, L' ') && !std::wcschr(text, L'"');
    const int written =
        _snwprintf(out + *used, chars - *used, quote ? L"\"%s\"" : L"%s", text);
    if (written < 0 || static_cast<size_t>(written) >= chars - *used) {
        ::SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return FALSE;
    }
    *used += static_cast<size_t>(written);
    return TRUE;
}

}  // namespace

wchar_t invalidServiceNameCharacter(const wchar_t* name) {
    for (const wchar_t* c = name; c && *c; ++c) {
        if (*c < 0x1E || std::wcschr(L"<>:\"/\\|?*", *c)) return *c;
    }
    return 0;
}

BOOL buildImagePath(const wchar_t* executable, const wchar_t* serviceName, wchar_t* out, size_t chars) {
    size_t used = 0;
    out[0] = L'\0';
    return append(out, chars, &used, executable, true) && append(out, chars, &used, L" //RS//", false) &&
           append(out, chars, &used, serviceName, true);
}

wchar_t* buildDependencies(Pool* pool, const wchar_t* dependsOn) {
    static const wchar_t Tcpip[] = L"Tcpip\0";
    LONG bytes = 0;
    return joinLists(pool, dependsOn, Tcpip, &bytes);
}

DWORD serviceTypeFor(const wchar_t* type) {
    const bool interactive = type && ::lstrcmpiW(type, L"interactive") == 0;
    return SERVICE_WIN32_OWN_PROCESS | (interactive ? SERVICE_INTERACTIVE_PROCESS : 0);
}

DWORD installStartType(const wchar_t* startup) {
    return startup && ::lstrcmpiW(startup, L"auto") == 0 ? SERVICE_AUTO_START : SERVICE_DEMAND_START;
}

DWORD updateStartType(const wchar_t* startup) {
    if (startup && ::lstrcmpiW(startup, L"auto") == 0) return SERVICE_AUTO_START;
    if (startup && ::lstrcmpiW(startup, L"manual") == 0) return SERVICE_DEMAND_START;
    return SERVICE_NO_CHANGE;
}

void fillRestartOnFailure(SERVICE_FAILURE_ACTIONSW* actions, SC_ACTION* restart) {
    restart->Type = SC_ACTION_RESTART;
    restart->Delay = 5000;
    actions->dwResetPeriod = 86400;
    actions->lpRebootMsg = nullptr;
    actions->lpCommand = nullptr;
    actions->cActions = 1;
    actions->lpsaActions = restart;
}

DWORD pendingPollMs(DWORD waitHint) {
    const DWORD tenth = waitHint / 10;
    return tenth < 1000 ? 1000 : tenth > 10000 ? 10000 : tenth;
}
