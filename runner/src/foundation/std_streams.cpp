#include "foundation/std_streams.h"

#include <fcntl.h>
#include <io.h>

#include <cstdio>
#include <cwchar>

#include "foundation/log_names.h"
#include "foundation/pool.h"

StandardStreamFiles RedirectedStreams = {nullptr, nullptr};

namespace {

constexpr size_t StreamPathChars = 4096;
constexpr size_t AutoNameChars = 1020;

// Std handles a process was started with (pipes, files) stay in place: only the missing ones
// come from the new console.
void ensureConsole() {
    if (::GetConsoleWindow()) return;
    const DWORD ids[] = {STD_INPUT_HANDLE, STD_OUTPUT_HANDLE, STD_ERROR_HANDLE};
    HANDLE saved[3];
    for (int i = 0; i < 3; ++i) saved[i] = ::GetStdHandle(ids[i]);
    if (!::AllocConsole()) return;
    if (const HWND window = ::GetConsoleWindow()) ::ShowWindow(window, SW_HIDE);
    for (int i = 0; i < 3; ++i) {
        if (saved[i] && saved[i] != INVALID_HANDLE_VALUE) ::SetStdHandle(ids[i], saved[i]);
    }
}

BOOL resolveStreamFile(const wchar_t* setting, const wchar_t* suffix, const wchar_t* logDirectory,
                       const wchar_t* serviceName, wchar_t* path) {
    if (::lstrcmpiW(setting, L"auto") == 0) {
        wchar_t name[AutoNameChars + 1];
        const int written = _snwprintf(name, AutoNameChars, L"%s%s", serviceName ? serviceName : L"", suffix);
        if (written < 0) return FALSE;
        name[AutoNameChars] = L'\0';
        ::CharLowerW(name);
        return logFilePath(name, logDirectory, TRUE, 0, path, StreamPathChars);
    }
    if (std::wcslen(setting) >= StreamPathChars) return FALSE;
    std::wcscpy(path, setting);
    ::DeleteFileW(path);
    return TRUE;
}

// Appends, so that runner processes sharing the file (the service and a command that stops it)
// all keep what they write; without delete sharing, so that a command cannot empty the file a
// running service writes to. The descriptor and the standard handle both name the file.
const wchar_t* attachFile(const wchar_t* path, int target, FILE* stream, DWORD standardId) {
    const HANDLE file = ::CreateFileW(path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                                      FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return nullptr;
    const int descriptor = _open_osfhandle(reinterpret_cast<intptr_t>(file), _O_WRONLY | _O_APPEND | _O_BINARY);
    if (descriptor < 0) {
        ::CloseHandle(file);
        return nullptr;
    }
    std::fflush(stream);
    _dup2(descriptor, target);
    _close(descriptor);
    _setmode(target, _O_BINARY);
    std::setvbuf(stream, nullptr, _IONBF, 0);
    std::clearerr(stream);
    ::SetStdHandle(standardId, reinterpret_cast<HANDLE>(_get_osfhandle(target)));
    return poolStrdup(MainPool, path);
}

const wchar_t* redirectStream(const wchar_t* setting, const wchar_t* suffix, const wchar_t* logDirectory,
                              const wchar_t* serviceName, int target, FILE* stream, DWORD standardId) {
    if (!setting || !*setting) return nullptr;
    wchar_t path[StreamPathChars];
    if (!resolveStreamFile(setting, suffix, logDirectory, serviceName, path)) return nullptr;
    return attachFile(path, target, stream, standardId);
}

}  // namespace

void redirectStandardStreams(const wchar_t* logDirectory, const wchar_t* stdOutput, const wchar_t* stdError,
                             const wchar_t* serviceName) {
    ensureConsole();
    RedirectedStreams.output =
        redirectStream(stdOutput, L"-stdout", logDirectory, serviceName, 1, stdout, STD_OUTPUT_HANDLE);
    RedirectedStreams.error =
        redirectStream(stdError, L"-stderr", logDirectory, serviceName, 2, stderr, STD_ERROR_HANDLE);
    if ((!stdError || !*stdError) && RedirectedStreams.output)
        RedirectedStreams.error = attachFile(RedirectedStreams.output, 2, stderr, STD_ERROR_HANDLE);
}
