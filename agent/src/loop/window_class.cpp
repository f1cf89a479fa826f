#include "loop/window_class.h"

#include <cstdlib>

namespace brisko {

bool registerWindowClass(const wchar_t* name, WNDPROC procedure) {
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = procedure;
    windowClass.lpszClassName = name;
    if (::RegisterClassExW(&windowClass) == 0) std::exit(1);
    return true;
}

}  // namespace brisko
