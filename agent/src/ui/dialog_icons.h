#pragma once
// The agent's icon in one of its dialogs, drawn at the dialog's DPI: the small one in the caption
// and the task switcher, the large one in the dialog's icon control. Loaded again at a new DPI
// when the dialog moves to another monitor.
#include <windows.h>

#include "unique_handle.h"

namespace brisko {

class DialogIcons {
public:
    // The icons live as long as this object, which must outlive the dialog's window.
    void show(HWND dialog, HINSTANCE instance, UINT dpi);

private:
    UniqueIcon small_, large_;
};

// The dialog's first static control that shows an icon; null when it has none.
HWND iconControl(HWND dialog);

}  // namespace brisko
