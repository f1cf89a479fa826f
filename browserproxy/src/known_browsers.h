#pragma once
// The browsers the installer waits for, and the rule by which a process counts as one of the
// console user's.
#include <windows.h>

#include "heap_memory.h"

namespace brisko {

// Executable file names, ending with a null entry.
extern const wchar_t* const KnownBrowsers[36];

// True when the name equals a row of KnownBrowsers, ignoring case; whole names only.
bool IsKnownBrowser(const wchar_t* executableName);

// One process examined by a browser search.
struct ProcessCandidate {
    bool packaged = false;  // immersive or with a package identity
    DWORD processId = 0;
    const wchar_t* executableName = nullptr;
    HANDLE process = nullptr;  // open for the examination only
    const wchar_t* userName = nullptr;  // the account of the process token, without its domain
};

// The state of one search for a running browser.
struct BrowserSearch {
    bool found = false;
    MallocPtr<wchar_t> consoleUser;  // null: any user's browser counts
};

// A known browser of the search's user that is not packaged; a match sets found, after which the
// caller ends its enumeration.
bool MatchBrowserCandidate(const ProcessCandidate& candidate, BrowserSearch& search);

}  // namespace brisko
