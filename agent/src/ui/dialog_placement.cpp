#include "ui/dialog_placement.h"

#include "resource_ids.h"

namespace brisko {

POINT centeredOrigin(const RECT& owner, const RECT& dialog) {
    const LONG ownerWidth = owner.right - owner.left, ownerHeight = owner.bottom - owner.top;
    const LONG width = dialog.right - dialog.left, height = dialog.bottom - dialog.top;
    return {owner.left + (ownerWidth - width) / 2, owner.top + (ownerHeight - height) / 3};
}

void centerDialog(HWND dialog) {
    HWND owner = ::GetParent(dialog);
    if (!owner) owner = ::GetDesktopWindow();
    RECT ownerRect{}, dialogRect{};
    if (!::GetWindowRect(owner, &ownerRect) || !::GetWindowRect(dialog, &dialogRect)) return;
    const POINT origin = centeredOrigin(ownerRect, dialogRect);
    ::SetWindowPos(dialog, HWND_TOP, origin.x, origin.y, 0, 0, SWP_NOSIZE);
}

void setDialogIcon(HWND dialog, HINSTANCE instance) {
    // Shared: the system owns the loaded icon, nothing to free.
    const HANDLE icon = ::LoadImageW(instance, MAKEINTRESOURCEW(IDI_AGENT), IMAGE_ICON, ::GetSystemMetrics(SM_CXSMICON),
                                     ::GetSystemMetrics(SM_CYSMICON), LR_SHARED);
    if (icon) ::SendMessageW(dialog, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(icon));
}

}  // namespace brisko
