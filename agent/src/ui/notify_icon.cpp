#include "ui/notify_icon.h"

namespace brisko {

// The shell tells the record's version by its size: the agent always hands the full record, with
// guidItem and hBalloonIcon.
#ifdef _WIN64
static_assert(sizeof(NOTIFYICONDATAW) == 976);
#else
static_assert(sizeof(NOTIFYICONDATAW) == 956);
#endif

namespace {

NOTIFYICONDATAW iconRecord(HWND window, UINT id, UINT flags) {
    NOTIFYICONDATAW data{};
    data.cbSize = sizeof data;
    data.hWnd = window;
    data.uID = id;
    data.uFlags = flags | NIF_GUID;
    data.guidItem = kTrayIconGuid;
    return data;
}

}  // namespace

NOTIFYICONDATAW addIconData(HWND window, HICON icon, std::wstring_view tip) {
    NOTIFYICONDATAW data = iconRecord(window, kTrayIconId, NIF_MESSAGE | NIF_ICON | NIF_TIP);
    data.uCallbackMessage = kTrayCallbackMessage;
    data.hIcon = icon;
    copyField(data.szTip, tip);
    return data;
}

NOTIFYICONDATAW removeIconData(HWND window) { return iconRecord(window, kTrayIconId, 0); }

// The GUID names the icon, so the balloon's uID is left 0.
NOTIFYICONDATAW balloonData(HWND window, std::wstring_view title, std::wstring_view text) {
    NOTIFYICONDATAW data = iconRecord(window, 0, NIF_INFO | NIF_REALTIME);
    copyField(data.szInfoTitle, title);
    copyField(data.szInfo, text);
    data.uTimeout = kBalloonTimeout;
    data.dwInfoFlags = NIIF_USER | NIIF_RESPECT_QUIET_TIME;
    return data;
}

}  // namespace brisko
