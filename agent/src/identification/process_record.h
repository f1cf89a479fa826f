#pragma once
// What the agent knows about one process that has windows on the desktop.
#include <windows.h>

#include <cstdint>
#include <string>

namespace brisko {

// Chooses the process table map that holds a record (FrameHost records live apart).
enum class ProcessKind : std::uint32_t {
    Desktop = 0,    // found through one of its ordinary windows
    Packaged = 1,   // has a package identity, or is hosted inside an application frame
    FrameHost = 2,  // an application frame whose hosted application is not known yet
};

struct ProcessRecord {
    DWORD processId = 0;
    ProcessKind kind = ProcessKind::Desktop;
    std::wstring applicationId;    // "win32:…", "winpkg:…", "AppStoreHost" or empty
    std::wstring applicationName;  // empty for packaged applications
};

}  // namespace brisko
