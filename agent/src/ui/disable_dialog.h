#pragma once
// The temporary-disable dialog: the parent picks a duration and types the parents' password; the
// core checks the password and gives its verdict.
#include <windows.h>

#include <array>
#include <cstdint>
#include <functional>
#include <optional>

#include "ui/protection_changer.h"

namespace brisko {

struct DisableDuration {
    const wchar_t* label;
    int minutes;
};

// The choices of the duration list, the same in every language; the first is selected at start.
inline constexpr std::array<DisableDuration, 7> kDisableDurations{{
    {L"5mn", 5}, {L"10mn", 10}, {L"15mn", 15}, {L"30mn", 30}, {L"1h", 60}, {L"2h", 120}, {L"4h", 240}}};

// The request's duration for the list's selection; nothing when no valid choice is selected.
std::optional<int64_t> disableDurationMs(LRESULT selection);

// The title's font height: the preferred one, or the largest below it whose text still fits the
// width (widthAt measures the text at a height), never below the minimum.
int fittingFontHeight(int preferred, int minimum, int width, const std::function<int(int height)>& widthAt);

// Posted to the dialog with a ChangeProtection result in wParam. Any program may post it too:
// the dialog acts on it only while its own request is out.
inline constexpr UINT kDisableVerdictMessage = WM_APP + 1;

// The password read from the dialog: up to 127 ANSI characters, longer ones are cut.
inline constexpr int kPasswordCapacity = 128;

// Modal, without owner. open holds the dialog's window while it is up.
void showDisableDialog(HINSTANCE instance, ProtectionChanger& changer, HWND& open);

}  // namespace brisko
