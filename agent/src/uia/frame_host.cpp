#include "uia/frame_host.h"

#include <string>

#include "identification/executable_identity.h"
#include "unique_handle.h"

namespace brisko::UIA {

bool isFrameHostImage(std::wstring_view imagePath, std::wstring_view systemFolder) {
    if (systemFolder.empty()) return false;
    std::wstring expected(systemFolder);
    if (expected.back() != L'\\') expected += L'\\';
    expected += L"ApplicationFrameHost.exe";
    return ::CompareStringOrdinal(imagePath.data(), static_cast<int>(imagePath.size()), expected.data(),
                                  static_cast<int>(expected.size()), TRUE) == CSTR_EQUAL;
}

bool isSystemFrameHost(DWORD processId) {
    wchar_t systemFolder[MAX_PATH];
    const UINT length = ::GetSystemDirectoryW(systemFolder, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return false;
    const UniqueHandle process(::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, processId));
    return process && isFrameHostImage(processImagePath(process.get()), std::wstring_view(systemFolder, length));
}

}  // namespace brisko::UIA
