#pragma once
// How the agent tells the child what the core decided: balloons of the tray icon.
#include <windows.h>

#include <string>
#include <variant>

namespace brisko {

// String-table ids of the balloons.
constexpr UINT kBlockedTitle = 206;         // "%1!S! blocked!", the application's ANSI name
constexpr UINT kBlockedTimeRange = 207;     // reason 0
constexpr UINT kBlockedQuota = 208;         // reason 1
constexpr UINT kBlockedDenied = 209;        // any other reason
constexpr UINT kDisabledTitle = 210;
constexpr UINT kDisabledCountdown = 211;    // "... %1!d!mn", whole minutes left
constexpr UINT kEnabledTitle = 212;

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
    // Replaces any balloon shown. An auto-hide balloon is cleared a few seconds later; one that
    // cannot be formatted is not shown.
    virtual void showBalloon(const ResourceString& title, const BalloonText& text, bool autoHide) = 0;
    // The auto-hide period ended.
    virtual void clearBalloon() = 0;
};

// Holds the tray's place until the agent shows balloons: shows nothing.
class SilentNotifier final : public Notifier {
public:
    void showBalloon(const ResourceString&, const BalloonText&, bool) override {}
    void clearBalloon() override {}
};

}  // namespace brisko
