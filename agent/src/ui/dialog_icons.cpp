#include "ui/dialog_icons.h"

#include <utility>

#include "resource_ids.h"
#include "ui/window_dpi.h"

namespace brisko {
namespace {

UniqueIcon loadAgentIcon(HINSTANCE instance, int size) {
    return UniqueIcon(
        static_cast<HICON>(::LoadImageW(instance, MAKEINTRESOURCEW(IDI_AGENT), IMAGE_ICON, size, size, 0)));
}

}  // namespace

HWND iconControl(HWND dialog) {
    for (HWND child = ::GetWindow(dialog, GW_CHILD); child; child = ::GetWindow(child, GW_HWNDNEXT)) {
        wchar_t name[16] = {};
        ::GetClassNameW(child, name, 16);
        if (::lstrcmpiW(name, L"Static") == 0 && (::GetWindowLongW(child, GWL_STYLE) & SS_TYPEMASK) == SS_ICON)
            return child;
    }
    return nullptr;
}

void DialogIcons::show(HWND dialog, HINSTANCE instance, UINT dpi) {
    // Each new icon is in place before the old one goes.
    UniqueIcon small = loadAgentIcon(instance, metricForDpi(SM_CXSMICON, dpi));
    UniqueIcon large = loadAgentIcon(instance, metricForDpi(SM_CXICON, dpi));
    if (small) {
        ::SendMessageW(dialog, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(small.get()));
        small_ = std::move(small);
    }
    // SS_CENTERIMAGE keeps the control at its template's size, the icon centred in it.
    if (const HWND control = iconControl(dialog); control && large) {
        ::SendMessageW(control, STM_SETICON, reinterpret_cast<WPARAM>(large.get()), 0);
        large_ = std::move(large);
    }
}

}  // namespace brisko
