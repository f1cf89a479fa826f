#include "identification/version_info.h"

#include <cwchar>

#include "unique_handle.h"

namespace brisko {
namespace {

constexpr size_t kQueryBufferLength = 64;

void appendHex4(std::wstring& text, WORD value) {
    constexpr wchar_t kDigits[] = L"0123456789abcdef";
    for (int shift = 12; shift >= 0; shift -= 4) text += kDigits[(value >> shift) & 0xF];
}

// The Ex calls are bound at run time: the 32-bit import library of the toolchain lacks them,
// though version.dll has exported them since Windows Vista.
class VersionBinding {
public:
    using SizeFunction = DWORD(WINAPI*)(DWORD, LPCWSTR, LPDWORD);
    using ReadFunction = BOOL(WINAPI*)(DWORD, LPCWSTR, DWORD, DWORD, LPVOID);

    VersionBinding() : module_(::LoadLibraryW(L"version.dll")) {
        if (!module_) return;
        size_ = reinterpret_cast<SizeFunction>(
            reinterpret_cast<void (*)()>(::GetProcAddress(module_.get(), "GetFileVersionInfoSizeExW")));
        read_ = reinterpret_cast<ReadFunction>(
            reinterpret_cast<void (*)()>(::GetProcAddress(module_.get(), "GetFileVersionInfoExW")));
    }

    std::vector<BYTE> readBlock(const std::wstring& path) const {
        if (size_ == nullptr || read_ == nullptr) return {};
        DWORD unused = 0;
        const DWORD size = size_(FILE_VER_GET_NEUTRAL, path.c_str(), &unused);
        if (size == 0) return {};
        std::vector<BYTE> block(size);
        if (!read_(FILE_VER_GET_NEUTRAL, path.c_str(), 0, size, block.data())) return {};
        return block;
    }

private:
    UniqueModule module_;
    SizeFunction size_ = nullptr;
    ReadFunction read_ = nullptr;
};

struct Translation {
    WORD language;
    WORD codePage;
};

}  // namespace

std::vector<BYTE> readVersionBlock(const std::wstring& path) {
    static const VersionBinding binding;
    return binding.readBlock(path);
}

std::optional<std::wstring> versionQueryPath(WORD language, WORD codePage, std::wstring_view key) {
    std::wstring path = L"\\StringFileInfo\\";
    appendHex4(path, language);
    appendHex4(path, codePage);
    path += L'\\';
    path += key;
    if (path.size() >= kQueryBufferLength) return std::nullopt;
    return path;
}

std::wstring versionValueText(const wchar_t* value, UINT length) {
    if (value == nullptr) return {};
    return std::wstring(value, ::wcsnlen(value, length));
}

std::wstring readVersionString(const void* block, std::wstring_view key) {
    void* table = nullptr;
    UINT tableBytes = 0;
    if (!::VerQueryValueW(block, L"\\VarFileInfo\\Translation", &table, &tableBytes) || table == nullptr)
        return {};
    const auto* translations = static_cast<const Translation*>(table);
    for (size_t i = 0; i < tableBytes / sizeof(Translation); ++i) {
        const std::optional<std::wstring> path =
            versionQueryPath(translations[i].language, translations[i].codePage, key);
        if (!path) continue;
        void* value = nullptr;
        UINT length = 0;
        if (!::VerQueryValueW(block, path->c_str(), &value, &length)) continue;
        std::wstring text = versionValueText(static_cast<const wchar_t*>(value), length);
        if (!text.empty()) return text;
    }
    return {};
}

}  // namespace brisko
