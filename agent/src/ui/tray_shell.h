#pragma once
// The one call into the shell's notification area, behind a seam so tests can record what the
// agent hands it.
#include <windows.h>

#include <shellapi.h>

namespace brisko {

class TrayShell {
public:
    virtual ~TrayShell() = default;
    // Shell_NotifyIconW: false on failure, with the reason in the thread's last-error code.
    virtual bool notifyIcon(DWORD message, NOTIFYICONDATAW& data) = 0;
};

class SystemTrayShell final : public TrayShell {
public:
    bool notifyIcon(DWORD message, NOTIFYICONDATAW& data) override { return ::Shell_NotifyIconW(message, &data) != FALSE; }
};

}  // namespace brisko
