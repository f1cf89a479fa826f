#include "ui/tray_menu.h"

#include <string>

#include "resource_ids.h"
#include "ui/about_dialog.h"
#include "ui/disable_dialog.h"
#include "ui/parents_settings.h"
#include "ui/resource_text.h"
#include "unique_handle.h"

namespace brisko {
namespace {

const MenuEntry kSeparator{0, std::nullopt, kNoCommand, MF_SEPARATOR};

std::wstring entryText(HINSTANCE instance, const MenuEntry& entry) {
    if (!entry.minutes) return loadResourceString(instance, entry.text);
    return formatResourceString(instance, ResourceString{entry.text, *entry.minutes}).value_or(L"");
}

// Brings an open dialog forward; false when none of that kind is open.
bool bringForward(HWND dialog) {
    if (!dialog) return false;
    ::SetForegroundWindow(dialog);
    return true;
}

}  // namespace

std::vector<MenuEntry> trayMenuEntries(const ProtectionState& state, int64_t now, double nanosecondsPerTick) {
    std::vector<MenuEntry> entries{{IDS_MENU_ABOUT, std::nullopt, kCommandAbout}, kSeparator};
    if (!state.enabled) {
        if (state.deadline > 0) {
            // Information, not a choice: disabled, but not greyed, so it reads like the others.
            entries.push_back({IDS_DISABLED_COUNTDOWN, minutesToShow(state.deadline, now, nanosecondsPerTick),
                               kNoCommand, MF_STRING | MF_DISABLED});
            entries.push_back({IDS_MENU_ENABLE_NOW, std::nullopt, kCommandEnableNow});
        } else {
            entries.push_back({IDS_MENU_ENABLE_NOW, std::nullopt, kCommandEnableNow, MF_STRING | MF_GRAYED});
        }
    } else {
        entries.push_back({IDS_MENU_DISABLE, std::nullopt, kCommandDisable});
    }
    entries.push_back({IDS_MENU_PARENTS_SETTINGS, std::nullopt, kCommandParentsSettings});
    return entries;
}

bool opensTrayMenu(UINT mouseEvent) {
    return mouseEvent == WM_CONTEXTMENU || mouseEvent == WM_LBUTTONDOWN || mouseEvent == WM_RBUTTONDOWN;
}

TrayMenu::TrayMenu(HINSTANCE instance, ProtectionChanger& changer) : instance_(instance), changer_(changer) {}

void TrayMenu::show(HWND window, const ProtectionState& state, const MonotonicClock& clock) {
    POINT cursor{};
    ::GetCursorPos(&cursor);
    const UniqueMenu menu(::CreatePopupMenu());
    if (!menu) return;
    for (const MenuEntry& entry : trayMenuEntries(state, clock.now(), clock.nanosecondsPerTick())) {
        if (entry.flags & MF_SEPARATOR) {
            ::AppendMenuW(menu.get(), MF_SEPARATOR, 0, nullptr);
            continue;
        }
        const std::wstring text = entryText(instance_, entry);
        // A plain line whose string is missing is left out; the countdown shows even so.
        if (text.empty() && !entry.minutes) continue;
        ::AppendMenuW(menu.get(), entry.flags, entry.command, text.c_str());
    }
    ::SetForegroundWindow(window);
    ::TrackPopupMenu(menu.get(), TPM_BOTTOMALIGN, cursor.x, cursor.y, 0, window, nullptr);
    // Without it the menu would not close when the user clicks elsewhere.
    ::PostMessageW(window, WM_NULL, 0, 0);
}

void TrayMenu::command(UINT id) {
    switch (id) {
        case kCommandAbout:
            if (!bringForward(aboutDialog_)) showAboutDialog(instance_, aboutDialog_);
            break;
        case kCommandParentsSettings:
            launchParentsSettings(instance_);
            break;
        case kCommandDisable:
            if (!bringForward(disableDialog_)) showDisableDialog(instance_, changer_, disableDialog_);
            break;
        case kCommandEnableNow:
            changer_.requestProtectionChange(true, 0, "", Completion<int>());
            break;
        default:
            break;
    }
}

}  // namespace brisko
