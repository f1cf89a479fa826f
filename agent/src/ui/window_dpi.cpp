#include "ui/window_dpi.h"

#include "system_library.h"

namespace brisko {
namespace {

using GetDpiForWindowFunction = UINT(WINAPI*)(HWND);
using GetSystemMetricsForDpiFunction = int(WINAPI*)(int, UINT);

UINT systemDpi() {
    const HDC screen = ::GetDC(nullptr);
    if (!screen) return kDefaultDpi;
    const int dpi = ::GetDeviceCaps(screen, LOGPIXELSY);
    ::ReleaseDC(nullptr, screen);
    return dpi > 0 ? static_cast<UINT>(dpi) : kDefaultDpi;
}

}  // namespace

UINT windowDpi(HWND window) {
    static const auto getDpiForWindow = SystemProcAddress<GetDpiForWindowFunction>(L"user32.dll", "GetDpiForWindow");
    if (getDpiForWindow)
        if (const UINT dpi = getDpiForWindow(window)) return dpi;
    return systemDpi();
}

int metricForDpi(int index, UINT dpi) {
    static const auto getSystemMetricsForDpi =
        SystemProcAddress<GetSystemMetricsForDpiFunction>(L"user32.dll", "GetSystemMetricsForDpi");
    if (getSystemMetricsForDpi) return getSystemMetricsForDpi(index, dpi);
    // Older Windows draws every window at the system's DPI, where the plain metrics hold.
    return ::MulDiv(::GetSystemMetrics(index), static_cast<int>(dpi), static_cast<int>(systemDpi()));
}

}  // namespace brisko
