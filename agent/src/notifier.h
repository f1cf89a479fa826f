#pragma once
// How the agent tells the child what the core decided: its tray icon and the icon's balloons.
#include <windows.h>

#include <string>
#include <variant>

#include "resource_ids.h"

namespace brisko {

// String-table ids of the balloons.
constexpr UINT kBlockedTitle = IDS_BLOCKED_TITLE;            // "%1!S! blocked!", the application's ANSI name
constexpr UINT kBlockedTimeRange = IDS_BLOCKED_TIME_RANGE;   // reason 0
constexpr UINT kBlockedQuota = IDS_BLOCKED_QUOTA;            // reason 1
constexpr UINT kBlockedDenied = IDS_BLOCKED_DENIED;          // any other reason
constexpr UINT kDisabledTitle = IDS_DISABLED_TITLE;
constexpr UINT kDisabledCountdown = IDS_DISABLED_COUNTDOWN;  // "... %1!d!mn", whole minutes left
constexpr UINT kEnabledTitle = IDS_ENABLED_TITLE;

// A string of the table with its one insert, if any: a narrow ANSI text or a number.
struct ResourceString {
    UINT id = 0;
    std::variant<std::monostate, std::string, int> insert;

    bool operator==(const ResourceString&) const = default;
};

// A balloon line is either a string of the table or literal text.
using BalloonText = std::variant<ResourceString, std::wstring>;

class Notifier {
public:
    virtual ~Notifier() = default;
    // The agent window exists, or the taskbar was created again: the icon is (re)added for it.
    virtual void addTrayIcon(HWND window) = 0;
    // The agent is ending: the icon goes away with its window.
    virtual void removeTrayIcon() = 0;
    // Replaces any balloon shown. An auto-hide balloon is cleared a few seconds later; one that
    // cannot be formatted is not shown.
    virtual void showBalloon(const ResourceString& title, const BalloonText& text, bool autoHide) = 0;
    // The auto-hide period ended.
    virtual void clearBalloon() = 0;
};

// For agents without a desktop presence (tests of other parts): shows nothing.
class SilentNotifier final : public Notifier {
public:
    void addTrayIcon(HWND) override {}
    void removeTrayIcon() override {}
    void showBalloon(const ResourceString&, const BalloonText&, bool) override {}
    void clearBalloon() override {}
};

}  // namespace brisko
