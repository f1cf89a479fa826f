// Copies a file into the system folder of this program's architecture, as the Wine prefix's
// processes of that architecture see it (a 32-bit program's lands in SysWOW64 under WOW64):
// doubles of system DLLs go where a load from the system folder only finds them.
// Usage: place_in_system_folder FILE (relative to the working directory). Exit code 0 or the
// Win32 error.
#include <windows.h>

#include <string>

int wmain(int argc, wchar_t** argv) {
    if (argc != 2) return ERROR_BAD_ARGUMENTS;
    const std::wstring source = argv[1];
    wchar_t folder[MAX_PATH];
    const UINT length = ::GetSystemDirectoryW(folder, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return static_cast<int>(::GetLastError());
    const std::wstring name = source.substr(source.find_last_of(L"\\/") + 1);
    const std::wstring destination = std::wstring(folder, length) + L"\\" + name;
    if (!::CopyFileW(source.c_str(), destination.c_str(), FALSE)) return static_cast<int>(::GetLastError());
    return 0;
}
