// BrowserRunning: whether the console user has a known browser open, so the setup program can
// ask for it to be closed first.
#include <windows.h>
#include <tlhelp32.h>

#include "account_names.h"
#include "known_browsers.h"
#include "packaged_process.h"
#include "support_exports.h"
#include "unique_handle.h"

namespace brisko {
namespace {

#if defined(__i386__)
static_assert(sizeof(PROCESSENTRY32W) == 556, "the snapshot entry of 32-bit Windows");
#endif

enum class SearchEnd { Completed, Failed };

// Opens, names and tests one snapshot entry; true when it is a match.
bool ExamineProcess(const PROCESSENTRY32W& entry, BrowserSearch& search) {
    const UniqueHandle process(::OpenProcess(PROCESS_QUERY_INFORMATION, FALSE, entry.th32ProcessID));
    if (!process || entry.szExeFile[0] == L'\0') return false;
    wchar_t user[kAccountNameCapacity];
    wchar_t domain[kAccountNameCapacity];
    if (GetProcessUserName(process.get(), user, kAccountNameCapacity, domain, kAccountNameCapacity) != ERROR_SUCCESS)
        return false;
    ProcessCandidate candidate;
    candidate.packaged = IsPackagedProcess(process.get());
    candidate.processId = entry.th32ProcessID;
    candidate.executableName = entry.szExeFile;
    candidate.process = process.get();
    candidate.userName = user;
    return MatchBrowserCandidate(candidate, search);
}

SearchEnd SearchProcesses(BrowserSearch& search) {
    const UniqueFile snapshot(::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    if (!snapshot) return SearchEnd::Failed;
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof(entry);
    if (!::Process32FirstW(snapshot.get(), &entry))
        return ::GetLastError() == ERROR_NO_MORE_FILES ? SearchEnd::Completed : SearchEnd::Failed;
    do {
        if (ExamineProcess(entry, search)) break;
    } while (::Process32NextW(snapshot.get(), &entry));
    return SearchEnd::Completed;
}

}  // namespace
}  // namespace brisko

extern "C" int __cdecl BrowserRunning() noexcept {
    brisko::BrowserSearch search;
    search.consoleUser = brisko::GetConsoleUserName();
    return brisko::SearchProcesses(search) == brisko::SearchEnd::Completed && search.found ? 1 : 0;
}
