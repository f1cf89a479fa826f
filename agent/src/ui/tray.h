#pragma once
// The agent's notification-area icon and its balloons, texts from the string table.
#include <windows.h>

#include <optional>
#include <string>

#include "notifier.h"
#include "ui/tray_shell.h"
#include "unique_handle.h"

namespace brisko {

// The agent window's timer that clears an auto-hide balloon.
inline constexpr UINT_PTR kBalloonTimer = 0x1000DADA;

class Tray final : public Notifier {
public:
    static constexpr UINT kBalloonPeriod = 6000;  // ms an auto-hide balloon stays

    Tray(HINSTANCE instance, TrayShell& shell, UINT balloonPeriod = kBalloonPeriod);

    void addTrayIcon(HWND window) override;
    void removeTrayIcon() override;
    void showBalloon(const ResourceString& title, const BalloonText& text, bool autoHide) override;
    void clearBalloon() override;

private:
    // A missing title or text is an empty field; with neither, the timer stops and the balloon
    // shown is replaced by an empty one.
    void putBalloon(const std::optional<std::wstring>& title, const std::optional<std::wstring>& text, bool autoHide);

    HINSTANCE instance_;
    TrayShell& shell_;
    UINT balloonPeriod_;
    HWND window_ = nullptr;
    // The shell keeps a copy of the icon it is given; this one is the agent's to free.
    UniqueIcon icon_;
};

}  // namespace brisko
