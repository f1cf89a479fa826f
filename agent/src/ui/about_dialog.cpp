#include "ui/about_dialog.h"

#include "callback_boundary.h"
#include "resource_ids.h"
#include "ui/dialog_icons.h"
#include "ui/dialog_placement.h"
#include "ui/window_dpi.h"

namespace brisko {
namespace {

struct AboutContext {
    HINSTANCE instance;
    HWND& open;
    DialogIcons icons;
};

INT_PTR aboutMessage(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_INITDIALOG: {
            auto* context = reinterpret_cast<AboutContext*>(lParam);
            ::SetWindowLongPtrW(dialog, DWLP_USER, lParam);
            context->open = dialog;
            centerDialog(dialog);
            context->icons.show(dialog, context->instance, windowDpi(dialog));
            return TRUE;
        }
        case WM_COMMAND:
            if (LOWORD(wParam) != IDOK && LOWORD(wParam) != IDCANCEL) return FALSE;
            ::EndDialog(dialog, LOWORD(wParam));
            return TRUE;
        case WM_DPICHANGED:
            // The dialog manager scales the dialog and its texts; the icons are the agent's own.
            if (auto* context = reinterpret_cast<AboutContext*>(::GetWindowLongPtrW(dialog, DWLP_USER)))
                context->icons.show(dialog, context->instance, HIWORD(wParam));
            return FALSE;
        case WM_DESTROY:
            if (auto* context = reinterpret_cast<AboutContext*>(::GetWindowLongPtrW(dialog, DWLP_USER)))
                context->open = nullptr;
            return FALSE;
        default:
            return FALSE;
    }
}

INT_PTR CALLBACK aboutProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    return callbackBoundary([&] { return aboutMessage(dialog, message, wParam, lParam); }, [] { return INT_PTR{FALSE}; });
}

}  // namespace

void showAboutDialog(HINSTANCE instance, HWND& open) {
    AboutContext context{instance, open, {}};
    ::DialogBoxParamW(instance, MAKEINTRESOURCEW(IDD_ABOUT), nullptr, &aboutProc, reinterpret_cast<LPARAM>(&context));
    open = nullptr;
}

}  // namespace brisko
