#include "ui/about_dialog.h"

#include <string>
#include <vector>

#include "callback_boundary.h"
#include "executable_path.h"
#include "identification/version_info.h"
#include "resource_ids.h"
#include "ui/dialog_placement.h"

namespace brisko {
namespace {

struct AboutContext {
    HINSTANCE instance;
    HWND& open;
};

// "Name, Version x.y.z" from the running program's version resource; the template's own line
// stays when the resource cannot be read.
void showProductLine(HWND dialog) {
    const std::vector<BYTE> block = readVersionBlock(executablePath());
    if (block.empty()) return;
    const std::wstring name = readVersionString(block.data(), L"ProductName");
    const std::wstring version = readVersionString(block.data(), L"ProductVersion");
    if (name.empty() || version.empty()) return;
    ::SetDlgItemTextW(dialog, IDC_ABOUT_PRODUCT, (name + L", Version " + version).c_str());
}

INT_PTR aboutMessage(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_INITDIALOG: {
            auto* context = reinterpret_cast<AboutContext*>(lParam);
            ::SetWindowLongPtrW(dialog, DWLP_USER, lParam);
            context->open = dialog;
            centerDialog(dialog);
            setDialogIcon(dialog, context->instance);
            showProductLine(dialog);
            return TRUE;
        }
        case WM_COMMAND:
            if (LOWORD(wParam) != IDOK && LOWORD(wParam) != IDCANCEL) return FALSE;
            ::EndDialog(dialog, LOWORD(wParam));
            return TRUE;
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
    AboutContext context{instance, open};
    ::DialogBoxParamW(instance, MAKEINTRESOURCEW(IDD_ABOUT), nullptr, &aboutProc, reinterpret_cast<LPARAM>(&context));
    open = nullptr;
}

}  // namespace brisko
