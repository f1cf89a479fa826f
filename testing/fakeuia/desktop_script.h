#pragma once
// The text commands that change a fake desktop, one per line:
//   open ID pid=N [class=NAME] [type=N] [state=N] [parent=ID]   a window opens (with its event)
//   add ID pid=N [class=NAME] [type=N] [state=N] [parent=ID]    a window that is already there
//   close ID                                                    a window closes
//   state ID N                                                  visual state: 0 normal, 2 minimized
// Empty lines and lines starting with "#" are ignored. Class names are ASCII without spaces.
#include <string>
#include <string_view>

#include "fake_desktop.h"

namespace brisko::fakeuia {

// Empty on success, else what is wrong with the line (the desktop is then unchanged).
std::string applyCommand(FakeDesktop& desktop, std::string_view line);

}  // namespace brisko::fakeuia
