// Planted beside a program under the name of a system DLL, such as wtsapi32.dll: whenever a
// process loads it, its entry point leaves "NAME.ran" beside it. It exports nothing, so a
// program that imports the real DLL's functions fails to load when this one is taken instead.
#include <windows.h>

#include <string>

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, void*) {
    if (reason != DLL_PROCESS_ATTACH) return TRUE;
    wchar_t path[MAX_PATH];
    const DWORD length = ::GetModuleFileNameW(instance, path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return TRUE;
    const std::wstring marker = std::wstring(path, length) + L".ran";
    const HANDLE file = ::CreateFileW(marker.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (file != INVALID_HANDLE_VALUE) ::CloseHandle(file);
    return TRUE;
}
