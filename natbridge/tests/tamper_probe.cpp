// What another process of the agent's user may do to it: "process <pid> <rights>" opens the
// process, "thread <pid> <rights>" its first thread (rights in hexadecimal). The exit code is 0
// when the open succeeded, else its error (5: access denied).
#include <windows.h>

#include <tlhelp32.h>

#include <cwchar>
#include <string>

#include "unique_handle.h"

namespace {

DWORD FirstThreadOf(DWORD processId) {
    const brisko::UniqueFile snapshot(::CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0));
    THREADENTRY32 entry{};
    entry.dwSize = sizeof(entry);
    for (BOOL more = snapshot && ::Thread32First(snapshot.get(), &entry); more;
         more = ::Thread32Next(snapshot.get(), &entry))
        if (entry.th32OwnerProcessID == processId) return entry.th32ThreadID;
    return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc != 4) return ERROR_BAD_ARGUMENTS;
    const std::wstring object = argv[1];
    const DWORD processId = std::wcstoul(argv[2], nullptr, 10);
    const DWORD rights = std::wcstoul(argv[3], nullptr, 16);
    brisko::UniqueHandle opened;
    if (object == L"process") {
        opened.reset(::OpenProcess(rights, FALSE, processId));
    } else if (object == L"thread") {
        const DWORD threadId = FirstThreadOf(processId);
        if (threadId == 0) return ERROR_NOT_FOUND;
        opened.reset(::OpenThread(rights, FALSE, threadId));
    } else {
        return ERROR_BAD_ARGUMENTS;
    }
    return opened ? 0 : static_cast<int>(::GetLastError());
}
