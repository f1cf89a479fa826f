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

namespace {

using FolderQuery = UINT(WINAPI*)(LPWSTR, UINT);

std::wstring folderOf(FolderQuery query) {
    wchar_t folder[MAX_PATH];
    const UINT length = query(folder, MAX_PATH);
    return length == 0 || length >= MAX_PATH ? std::wstring() : std::wstring(folder, length);
}

}  // namespace

bool isSystemFrameHost(DWORD processId) {
    const UniqueHandle process(::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, processId));
    if (!process) return false;
    const std::wstring image = processImagePath(process.get());
    // Both system folders take only an administrator's files; a 32-bit copy placed in the system
    // folder by a 32-bit program lands in the WOW64 one.
    return isFrameHostImage(image, folderOf(&::GetSystemDirectoryW)) ||
           isFrameHostImage(image, folderOf(&::GetSystemWow64DirectoryW));
}

}  // namespace brisko::UIA
