#pragma once
// Where the agent's dialogs appear: centred across their owner (the desktop when they have
// none), a third of the way down.
#include <windows.h>

namespace brisko {

POINT centeredOrigin(const RECT& owner, const RECT& dialog);

void centerDialog(HWND dialog);

}  // namespace brisko
