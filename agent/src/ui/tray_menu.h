#pragma once
// The tray icon's popup menu, built anew from the protection state on every click, and what its
// commands do.
#include <windows.h>

#include <cstdint>
#include <optional>
#include <vector>

#include "core_link/protection_state.h"
#include "loop/monotonic_clock.h"
#include "ui/protection_changer.h"

namespace brisko {

enum TrayCommand : UINT {
    kNoCommand = 0,  // the countdown line
    kCommandAbout = 1,
    kCommandParentsSettings = 2,
    kCommandDisable = 3,
    kCommandEnableNow = 4,
};

// One line of the menu: a string of the table (with the minutes for the countdown) or a separator.
struct MenuEntry {
    UINT text = 0;  // 0: separator
    std::optional<int> minutes;
    UINT command = kNoCommand;
    UINT flags = MF_STRING;

    bool operator==(const MenuEntry&) const = default;
};

std::vector<MenuEntry> trayMenuEntries(const ProtectionState& state, int64_t now, double nanosecondsPerTick);

// Whether a mouse event on the icon (LOWORD of the callback's lParam) opens the menu.
bool opensTrayMenu(UINT mouseEvent);

class TrayMenu {
public:
    TrayMenu(HINSTANCE instance, ProtectionChanger& changer);
    TrayMenu(const TrayMenu&) = delete;
    TrayMenu& operator=(const TrayMenu&) = delete;

    // Tracks the menu at the cursor; the chosen command comes back to window as WM_COMMAND.
    void show(HWND window, const ProtectionState& state, const MonotonicClock& clock);
    void command(UINT id);

private:
    HINSTANCE instance_;
    ProtectionChanger& changer_;
    // The dialog of each kind that is open, brought forward instead of opening a second one.
    HWND aboutDialog_ = nullptr;
    HWND disableDialog_ = nullptr;
};

}  // namespace brisko
