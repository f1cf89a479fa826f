#pragma once
// Screenshots of what a test opened: the screen's pixels in a rectangle, kept as a PNG file.
#include <windows.h>

#include <string>

namespace brisko::testing {

bool saveScreenPng(const RECT& area, const std::wstring& path);

// The smallest rectangle holding both.
RECT unite(const RECT& a, const RECT& b);
RECT windowRect(HWND window);

}  // namespace brisko::testing
