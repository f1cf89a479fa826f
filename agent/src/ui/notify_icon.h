#pragma once
// The records the agent hands to Shell_NotifyIconW: its icon is known to the shell by a GUID
// together with the agent window.
#include <windows.h>

#include <shellapi.h>

#include <string_view>

namespace brisko {

// {E200F1FA-98DB-40AB-AE3B-0336ECE85D4A}
inline constexpr GUID kTrayIconGuid = {0xE200F1FA, 0x98DB, 0x40AB, {0xAE, 0x3B, 0x03, 0x36, 0xEC, 0xE8, 0x5D, 0x4A}};
// What the shell sends the agent window for mouse events on the icon (the event in LOWORD(lParam)).
inline constexpr UINT kTrayCallbackMessage = WM_USER + 1;
inline constexpr UINT kTrayIconId = 1;
// Let the shell pick the balloon's display time.
inline constexpr UINT kBalloonTimeout = 2;

NOTIFYICONDATAW addIconData(HWND window, HICON icon, std::wstring_view tip);
NOTIFYICONDATAW removeIconData(HWND window);
// Texts longer than the shell's fields are cut to them (63 and 255 characters).
NOTIFYICONDATAW balloonData(HWND window, std::wstring_view title, std::wstring_view text);

// Copies text into a fixed field, cut to leave room for the terminating NUL and never between the
// two halves of a surrogate pair.
template <size_t Size>
void copyField(wchar_t (&field)[Size], std::wstring_view text) {
    size_t length = text.size() < Size ? text.size() : Size - 1;
    if (length < text.size() && length > 0 && IS_HIGH_SURROGATE(text[length - 1])) --length;
    text.copy(field, length);
    field[length] = L'\0';
}

}  // namespace brisko
