#pragma once
// The DPI a window is drawn at. The agent is per-monitor aware: from Windows 10 (1607) on each
// window has its monitor's DPI, before that every window has the system's. The newer calls are
// looked up at run time, so the agent still starts on older Windows.
#include <windows.h>

namespace brisko {

inline constexpr UINT kDefaultDpi = 96;

UINT windowDpi(HWND window);

// GetSystemMetrics as it would be at that DPI (an icon size, for instance).
int metricForDpi(int index, UINT dpi);

}  // namespace brisko
