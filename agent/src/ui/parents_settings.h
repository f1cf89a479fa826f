#pragma once
// The parents' settings program, a separate program of the product, started from the tray menu.
#include <windows.h>

#include <optional>
#include <string>
#include <string_view>

namespace brisko {

// Paths are kept within this many characters, the terminating NUL included.
inline constexpr size_t kParentsSettingsPathCapacity = 2048;

// The folder, a backslash and the program's relative path; nothing when a part is missing or
// the whole would not fit.
std::optional<std::wstring> parentsSettingsPath(std::wstring_view programFiles, std::wstring_view program);

// Starts the program from the 32-bit Program Files folder (the agent is a 32-bit program); a
// missing program starts nothing and says nothing.
void launchParentsSettings(HINSTANCE instance);

}  // namespace brisko
