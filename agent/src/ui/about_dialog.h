#pragma once
// The About dialog: product name and version, as the executable's version resource gives them.
#include <windows.h>

namespace brisko {

// Modal, without owner. open holds the dialog's window while it is up.
void showAboutDialog(HINSTANCE instance, HWND& open);

}  // namespace brisko
