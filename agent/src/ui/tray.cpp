#include "ui/tray.h"

#include <commctrl.h>

#include <type_traits>
#include <variant>

#include "resource_ids.h"
#include "ui/notify_icon.h"
#include "ui/resource_text.h"

namespace brisko {
namespace {

// What Shell_NotifyIconW reports when an icon with the same GUID is still there, left by an
// earlier agent of this session.
constexpr DWORD kIconAlreadyThere = 0x80004005;

}  // namespace

Tray::Tray(HINSTANCE instance, TrayShell& shell, UINT balloonPeriod)
    : instance_(instance), shell_(shell), balloonPeriod_(balloonPeriod) {}

void Tray::addTrayIcon(HWND window) {
    window_ = window;
    // Drawn from the icon's own small image rather than the large one scaled down; loaded again
    // for every new notification area, which may be at another DPI.
    if (FAILED(::LoadIconMetric(instance_, MAKEINTRESOURCEW(IDI_AGENT), LIM_SMALL, icon_.put()))) icon_.reset();
    NOTIFYICONDATAW add = addIconData(window, icon_.get(), loadResourceString(instance_, IDS_TOOLTIP));
    if (shell_.notifyIcon(NIM_ADD, add) || ::GetLastError() != kIconAlreadyThere) return;
    NOTIFYICONDATAW remove = removeIconData(window);
    shell_.notifyIcon(NIM_DELETE, remove);
    shell_.notifyIcon(NIM_ADD, add);
}

void Tray::removeTrayIcon() {
    if (!window_) return;
    NOTIFYICONDATAW remove = removeIconData(window_);
    shell_.notifyIcon(NIM_DELETE, remove);
    window_ = nullptr;
}

void Tray::showBalloon(const ResourceString& title, const BalloonText& text, bool autoHide) {
    const std::optional<std::wstring> titleText = formatResourceString(instance_, title);
    if (!titleText) return;
    const std::optional<std::wstring> bodyText = std::visit(
        [&](const auto& line) -> std::optional<std::wstring> {
            if constexpr (std::is_same_v<std::decay_t<decltype(line)>, ResourceString>)
                return formatResourceString(instance_, line);
            else
                return line;
        },
        text);
    if (!bodyText) return;
    putBalloon(titleText, bodyText, autoHide);
}

void Tray::clearBalloon() { putBalloon(std::nullopt, std::nullopt, true); }

void Tray::putBalloon(const std::optional<std::wstring>& title, const std::optional<std::wstring>& text,
                      bool autoHide) {
    if (!window_) return;
    if (autoHide && (title || text))
        ::SetTimer(window_, kBalloonTimer, balloonPeriod_, nullptr);
    else
        ::KillTimer(window_, kBalloonTimer);
    NOTIFYICONDATAW balloon = balloonData(window_, title.value_or(L""), text.value_or(L""));
    shell_.notifyIcon(NIM_MODIFY, balloon);
}

}  // namespace brisko
