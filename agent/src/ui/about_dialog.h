#pragma once
// The About dialog: the product's name and version and its legal notice.
#include <windows.h>

namespace brisko {

// Modal, without owner. open holds the dialog's window while it is up.
void showAboutDialog(HINSTANCE instance, HWND& open);

}  // namespace brisko
