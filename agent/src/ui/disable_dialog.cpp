#include "ui/disable_dialog.h"

#include <memory>
#include <string>
#include <utility>

#include "callback_boundary.h"
#include "resource_ids.h"
#include "ui/dialog_icons.h"
#include "ui/dialog_placement.h"
#include "ui/resource_text.h"
#include "ui/window_dpi.h"
#include "unique_handle.h"

namespace brisko {
namespace {

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
    // A request is out: the core is checking the password.
    bool checking;
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

// Disable is offered only with a password typed and no request out.
void updateDisableButton(HWND dialog, const DisableContext& context) {
    const bool offered = !context.checking && ::GetWindowTextLengthW(::GetDlgItem(dialog, IDC_PASSWORD)) > 0;
    ::EnableWindow(::GetDlgItem(dialog, IDOK), offered);
}

void focusPassword(HWND dialog) {
    ::SendMessageW(dialog, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(::GetDlgItem(dialog, IDC_PASSWORD)), TRUE);
}

// The system's arrow with the busy sign, shared: nothing to free.
HCURSOR checkingCursor() { return ::LoadCursorW(nullptr, IDC_APPSTARTING); }

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
    focusPassword(dialog);
    updateDisableButton(dialog, context);
}

void requestDisable(HWND dialog, DisableContext& context) {
    // One request at a time: a second press would stack a second answer's box on the first.
    if (context.checking) return;
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
            const auto verdict = static_cast<WPARAM>(static_cast<UINT>(result));
            ::PostMessageW(window.handle, kDisableVerdictMessage, verdict, 0);
        }));
    // Checking until the verdict (posted, so never before this): the button greyed, the busy
    // cursor over the dialog, whose Cancel still works. The focus leaves the button it greys.
    context.checking = true;
    if (::GetFocus() == ::GetDlgItem(dialog, IDOK)) focusPassword(dialog);
    updateDisableButton(dialog, context);
    ::SetCursor(checkingCursor());
}

// The boxes speak the dialog's language: the string table and the template are both the
// user interface language's.
void showVerdict(HWND dialog, DisableContext& context, int result) {
    // A verdict message is any program's to post; only the answer to the request out counts.
    if (!context.checking) return;
    context.checking = false;
    if (result == 0) {
        ::EndDialog(dialog, IDOK);
        return;
    }
    const bool wrongPassword = result == 3;
    // A wrong password is typed again from the start.
    if (wrongPassword) ::SetDlgItemTextW(dialog, IDC_PASSWORD, L"");
    updateDisableButton(dialog, context);
    const std::wstring text =
        loadResourceString(context.instance, wrongPassword ? IDS_WRONG_PASSWORD : IDS_UNEXPECTED_ERROR);
    const std::wstring title = loadResourceString(context.instance, IDS_ERROR_TITLE);
    ::MessageBoxW(dialog, text.c_str(), title.c_str(), MB_ICONWARNING);
    focusPassword(dialog);
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
            if (LOWORD(wParam) == IDC_PASSWORD && HIWORD(wParam) == EN_CHANGE) {
                updateDisableButton(dialog, *context);
                return TRUE;
            }
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
        case kDisableVerdictMessage:
            showVerdict(dialog, *context, static_cast<int>(static_cast<UINT>(wParam)));
            return TRUE;
        case WM_SETCURSOR:
            if (!context->checking) return FALSE;
            ::SetCursor(checkingCursor());
            ::SetWindowLongPtrW(dialog, DWLP_MSGRESULT, TRUE);
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
    DisableContext context{instance, changer, open, nullptr, kDefaultDpi, {}, {}, false};
    ::DialogBoxParamW(instance, MAKEINTRESOURCEW(IDD_DISABLE), nullptr, &disableProc, reinterpret_cast<LPARAM>(&context));
    open = nullptr;
}

}  // namespace brisko
