#include "ui/dialog_placement.h"

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

}  // namespace brisko
