// A process for the identification tests to look at: it waits to be ended, or with
// "spawn NAME" starts the program NAME beside it and waits for that one.
#include <windows.h>

#include <string>

#include "executable_path.h"
#include "unique_handle.h"

namespace {

// Never outlive a test run, even when a test could not end it.
constexpr DWORD kLifetime = 120000;

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc == 3 && std::wstring(argv[1]) == L"spawn") {
        std::wstring commandLine = L"\"" + brisko::siblingPath(argv[2]) + L"\"";
        STARTUPINFOW startup{};
        startup.cb = sizeof(startup);
        PROCESS_INFORMATION child{};
        if (!::CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                              &child))
            return 2;
        const brisko::UniqueHandle process(child.hProcess), thread(child.hThread);
        if (::WaitForSingleObject(process.get(), kLifetime) != WAIT_OBJECT_0) ::TerminateProcess(process.get(), 0);
        return 0;
    }
    ::Sleep(kLifetime);
    return 0;
}
