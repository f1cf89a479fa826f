#include "version_resource.h"

#include <string_view>

namespace brisko::testing {
namespace {

constexpr WORD kUsEnglish = 0x0409;
constexpr WORD kUnicodeCodePage = 1200;

// One node of the resource's tree: length, value length, type, key, value, children, each part
// aligned to 32 bits.
class BlockWriter {
public:
    size_t begin(std::wstring_view key, WORD valueLength, WORD type) {
        align();
        const size_t start = bytes_.size();
        put16(0);
        put16(valueLength);
        put16(type);
        putText(key);
        align();
        return start;
    }
    void end(size_t start) {
        const size_t length = bytes_.size() - start;
        bytes_[start] = static_cast<BYTE>(length & 0xFF);
        bytes_[start + 1] = static_cast<BYTE>(length >> 8);
    }
    void putBytes(const void* data, size_t size) {
        const auto* first = static_cast<const BYTE*>(data);
        bytes_.insert(bytes_.end(), first, first + size);
    }
    void putText(std::wstring_view text) {
        for (const wchar_t c : text) put16(static_cast<WORD>(c));
        put16(0);
    }
    void align() {
        while (bytes_.size() % 4 != 0) bytes_.push_back(0);
    }
    std::vector<BYTE> take() { return std::move(bytes_); }

private:
    void put16(WORD value) {
        bytes_.push_back(static_cast<BYTE>(value & 0xFF));
        bytes_.push_back(static_cast<BYTE>(value >> 8));
    }
    std::vector<BYTE> bytes_;
};

void putString(BlockWriter& writer, std::wstring_view key, std::wstring_view value) {
    const size_t start = writer.begin(key, static_cast<WORD>(value.size() + 1), 1);
    writer.putText(value);
    writer.end(start);
}

}  // namespace

std::vector<BYTE> versionBlock(const VersionStrings& strings) {
    BlockWriter writer;
    VS_FIXEDFILEINFO fixed{};
    fixed.dwSignature = VS_FFI_SIGNATURE;
    fixed.dwStrucVersion = VS_FFI_STRUCVERSION;
    fixed.dwFileVersionMS = fixed.dwProductVersionMS = 0x00010000;
    fixed.dwFileOS = VOS_NT_WINDOWS32;
    fixed.dwFileType = VFT_APP;
    const size_t root = writer.begin(L"VS_VERSION_INFO", sizeof(fixed), 0);
    writer.putBytes(&fixed, sizeof(fixed));

    const size_t stringInfo = writer.begin(L"StringFileInfo", 0, 1);
    const size_t table = writer.begin(L"040904b0", 0, 1);
    putString(writer, L"FileDescription", strings.fileDescription);
    putString(writer, L"OriginalFilename", strings.originalFileName);
    writer.end(table);
    writer.end(stringInfo);

    const size_t varInfo = writer.begin(L"VarFileInfo", 0, 1);
    const WORD translation[] = {kUsEnglish, kUnicodeCodePage};
    const size_t var = writer.begin(L"Translation", sizeof(translation), 0);
    writer.putBytes(translation, sizeof(translation));
    writer.end(var);
    writer.end(varInfo);
    writer.end(root);
    return writer.take();
}

bool copyWithVersion(const std::wstring& program, const std::wstring& copy, const VersionStrings& strings) {
    if (!::CopyFileW(program.c_str(), copy.c_str(), FALSE)) return false;
    std::vector<BYTE> block = versionBlock(strings);
    // A block's lengths are 16-bit: a longer one cannot be written.
    if (block.size() > 0xFFFF) return false;
    const HANDLE update = ::BeginUpdateResourceW(copy.c_str(), TRUE);
    if (!update) return false;
    // EndUpdateResourceW closes the update either way; it writes only what was updated whole.
    const bool updated = ::UpdateResourceW(update, RT_VERSION, MAKEINTRESOURCEW(VS_VERSION_INFO), kUsEnglish,
                                           block.data(), static_cast<DWORD>(block.size())) != FALSE;
    return ::EndUpdateResourceW(update, !updated) != FALSE && updated;
}

}  // namespace brisko::testing
