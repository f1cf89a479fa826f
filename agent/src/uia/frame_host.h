#pragma once
// Whether a window of class ApplicationFrameWindow is a Store application frame. Any program
// may register that class name, so a frame is one only when its process runs the system's own
// frame host.
#include <windows.h>

#include <functional>
#include <string_view>

namespace brisko::UIA {

// Seam for tests: whether the process with that id is the system's frame host.
using FrameHostCheck = std::function<bool(DWORD processId)>;

// imagePath is the system folder's ApplicationFrameHost.exe, compared case-insensitively.
bool isFrameHostImage(std::wstring_view imagePath, std::wstring_view systemFolder);

// The process's image is the frame host of the system folder (or of the WOW64 system folder);
// false when it cannot be read.
bool isSystemFrameHost(DWORD processId);

}  // namespace brisko::UIA
