#include "ui/disable_dialog.h"

#include <memory>
#include <string>
#include <utility>

#include "callback_boundary.h"
#include "resource_ids.h"
#include "ui/dialog_icons.h"
#include "ui/dialog_placement.h"
#include "ui/window_dpi.h"
#include "unique_handle.h"

namespace brisko {
namespace {

// Posted to the dialog with a ChangeProtection result in wParam.
constexpr UINT kVerdictMessage = WM_APP + 1;
// Posted after a DPI change, once the dialog manager has scaled the dialog.
constexpr UINT kRescaledMessage = WM_APP + 2;
// The title's bold font: 16 pixels high at 96 DPI (in proportion at others), smaller where its
// text would not fit.
constexpr int kTitleFontHeight = 16;
constexpr int kSmallestTitleFontHeight = 8;

// What a request's completion may reach: the dialog's window, for as long as it exists.
struct DialogWindow {
    HWND handle;
};

struct DisableContext {
    HINSTANCE instance;
    ProtectionChanger& changer;
    HWND& open;
    std::shared_ptr<DialogWindow> window;
    UINT dpi;
    UniqueFont titleFont;
    DialogIcons icons;
};

UniqueFont boldFont(int height) {
    return UniqueFont(::CreateFontW(height, 0, 0, 0, FW_BOLD, FALSE, FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                                    CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH, nullptr));
}

// A longer title (the French one) is not cut: the font shrinks until the text fits its control.
UniqueFont fittedTitleFont(HWND title, UINT dpi) {
    RECT area{};
    ::GetClientRect(title, &area);
    const int length = ::GetWindowTextLengthW(title);
    std::wstring text(static_cast<size_t>(length) + 1, L'\0');
    text.resize(static_cast<size_t>(::GetWindowTextW(title, text.data(), length + 1)));
    const int preferred = ::MulDiv(kTitleFontHeight, static_cast<int>(dpi), static_cast<int>(kDefaultDpi));
    const HDC dc = ::GetDC(title);
    if (!dc) return boldFont(preferred);
    const int height = fittingFontHeight(preferred, kSmallestTitleFontHeight, area.right, [&](int candidate) {
        const UniqueFont font = boldFont(candidate);
        const HGDIOBJ previous = ::SelectObject(dc, font.get());
        SIZE size{};
        ::GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()), &size);
        ::SelectObject(dc, previous);
        return static_cast<int>(size.cx);
    });
    ::ReleaseDC(title, dc);
    return boldFont(height);
}

// The title in bold. The font lives as long as the dialog, which outlives its controls; the one
// it replaces goes only once the title no longer uses it.
void showTitleFont(HWND dialog, DisableContext& context) {
    UniqueFont font = fittedTitleFont(::GetDlgItem(dialog, IDC_DISABLE_TITLE), context.dpi);
    if (!font) return;
    ::SendDlgItemMessageW(dialog, IDC_DISABLE_TITLE, WM_SETFONT, reinterpret_cast<WPARAM>(font.get()), TRUE);
    context.titleFont = std::move(font);
}

void initialize(HWND dialog, DisableContext& context) {
    context.window = std::make_shared<DialogWindow>(DialogWindow{dialog});
    context.open = dialog;
    context.dpi = windowDpi(dialog);
    centerDialog(dialog);
    context.icons.show(dialog, context.instance, context.dpi);
    for (const DisableDuration& duration : kDisableDurations)
        ::SendDlgItemMessageW(dialog, IDC_DURATION, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(duration.label));
    ::SendDlgItemMessageW(dialog, IDC_DURATION, CB_SETCURSEL, 0, 0);
    showTitleFont(dialog, context);
    ::SendMessageW(dialog, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(::GetDlgItem(dialog, IDC_PASSWORD)), TRUE);
}

void requestDisable(HWND dialog, DisableContext& context) {
    const std::optional<int64_t> duration =
        disableDurationMs(::SendDlgItemMessageW(dialog, IDC_DURATION, CB_GETCURSEL, 0, 0));
    if (!duration) return;
    char password[kPasswordCapacity] = {};
    const UINT length = ::GetDlgItemTextA(dialog, IDC_PASSWORD, password, kPasswordCapacity);
    const std::string text(password, length);
    ::SecureZeroMemory(password, sizeof password);
    if (text.empty()) return;
    // The verdict is acted on from the dialog's own messages rather than inside the connection's
    // event handling, where a message box would hold the connection up (a lost link would not be
    // retried before the parent dismissed it). An answer that comes after the dialog is gone
    // shows nothing.
    context.changer.requestProtectionChange(
        false, *duration, text,
        Completion<int>(std::weak_ptr<DialogWindow>(context.window), [](DialogWindow& window, int result) {
            ::PostMessageW(window.handle, kVerdictMessage, static_cast<WPARAM>(static_cast<UINT>(result)), 0);
        }));
}

void showVerdict(HWND dialog, int result) {
    if (result == 0)
        ::EndDialog(dialog, IDOK);
    else if (result == 3)
        ::MessageBoxW(dialog, L"Mot de passe incorrect", L"Erreur", MB_ICONWARNING);
    else
        ::MessageBoxW(dialog, L"Unexpected error", L"Error", MB_ICONWARNING);
}

INT_PTR disableMessage(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        ::SetWindowLongPtrW(dialog, DWLP_USER, lParam);
        initialize(dialog, *reinterpret_cast<DisableContext*>(lParam));
        return FALSE;  // the focus stays on the password
    }
    auto* context = reinterpret_cast<DisableContext*>(::GetWindowLongPtrW(dialog, DWLP_USER));
    if (!context) return FALSE;
    switch (message) {
        case WM_COMMAND:
            if (LOWORD(wParam) == IDOK) {
                requestDisable(dialog, *context);
                return TRUE;
            }
            if (LOWORD(wParam) == IDCANCEL) {
                ::EndDialog(dialog, IDCANCEL);
                return TRUE;
            }
            return FALSE;
        case WM_DPICHANGED:
            // The dialog manager scales the dialog, its controls and their template font once
            // this returns; the title's font and the icons are the agent's own, made again then.
            context->dpi = HIWORD(wParam);
            ::PostMessageW(dialog, kRescaledMessage, 0, 0);
            return FALSE;
        case kRescaledMessage:
            showTitleFont(dialog, *context);
            context->icons.show(dialog, context->instance, context->dpi);
            return TRUE;
        case kVerdictMessage:
            showVerdict(dialog, static_cast<int>(static_cast<UINT>(wParam)));
            return TRUE;
        case WM_DESTROY:
            context->window.reset();
            context->open = nullptr;
            return FALSE;
        default:
            return FALSE;
    }
}

INT_PTR CALLBACK disableProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    return callbackBoundary([&] { return disableMessage(dialog, message, wParam, lParam); },
                            [] { return INT_PTR{FALSE}; });
}

}  // namespace

int fittingFontHeight(int preferred, int minimum, int width, const std::function<int(int height)>& widthAt) {
    int height = preferred;
    while (height > minimum && widthAt(height) > width) --height;
    return height;
}

std::optional<int64_t> disableDurationMs(LRESULT selection) {
    if (selection < 0 || static_cast<size_t>(selection) >= kDisableDurations.size()) return std::nullopt;
    return int64_t{kDisableDurations[static_cast<size_t>(selection)].minutes} * 60'000;
}

void showDisableDialog(HINSTANCE instance, ProtectionChanger& changer, HWND& open) {
    DisableContext context{instance, changer, open, nullptr, kDefaultDpi, {}, {}};
    ::DialogBoxParamW(instance, MAKEINTRESOURCEW(IDD_DISABLE), nullptr, &disableProc, reinterpret_cast<LPARAM>(&context));
    open = nullptr;
}

}  // namespace brisko
