#include "resources/dialog_template.h"

#include <cstring>
#include <utility>

namespace brisko::testing {
namespace {

// Reads the template's fields in order; any read past the end leaves it failed.
class Reader {
public:
    Reader(const BYTE* data, size_t size) : data_(data), size_(size) {}

    bool failed() const { return failed_; }

    template <typename T>
    T next() {
        T value{};
        if (failed_ || size_ - offset_ < sizeof value) {
            failed_ = true;
            return value;
        }
        std::memcpy(&value, data_ + offset_, sizeof value);
        offset_ += sizeof value;
        return value;
    }

    std::wstring string() {
        std::wstring text;
        for (wchar_t c = next<wchar_t>(); c != L'\0' && !failed_; c = next<wchar_t>()) text.push_back(c);
        return text;
    }

    // sz_Or_Ord: nothing, an ordinal after 0xFFFF, or a string.
    std::wstring stringOrOrdinal(std::wstring (*ordinalName)(WORD)) {
        const WORD first = peek();
        if (first == 0x0000) {
            next<WORD>();
            return {};
        }
        if (first == 0xFFFF) {
            next<WORD>();
            return ordinalName(next<WORD>());
        }
        return string();
    }

    DialogRect rect() {
        const short x = next<short>(), y = next<short>(), width = next<short>(), height = next<short>();
        return {x, y, width, height};
    }

    void skip(size_t count) {
        if (size_ - offset_ < count) failed_ = true;
        else offset_ += count;
    }

    // Every control starts on a DWORD boundary.
    void alignToDword() { skip((4 - offset_ % 4) % 4); }

private:
    WORD peek() {
        const size_t at = offset_;
        const WORD value = next<WORD>();
        offset_ = at;
        return value;
    }

    const BYTE* data_;
    size_t size_;
    size_t offset_ = 0;
    bool failed_ = false;
};

std::wstring resourceOrdinal(WORD ordinal) { return L"#" + std::to_wstring(ordinal); }

std::wstring predefinedClass(WORD ordinal) {
    switch (ordinal) {
        case 0x80: return L"Button";
        case 0x81: return L"Edit";
        case 0x82: return L"Static";
        case 0x83: return L"ListBox";
        case 0x84: return L"ScrollBar";
        case 0x85: return L"ComboBox";
        default: return resourceOrdinal(ordinal);
    }
}

}  // namespace

std::optional<DialogTemplate> parseDialogTemplate(const BYTE* data, size_t size) {
    Reader reader(data, size);
    if (reader.next<WORD>() != 1 || reader.next<WORD>() != 0xFFFF) return std::nullopt;
    DialogTemplate dialog{};
    reader.next<DWORD>();  // help id
    dialog.exStyle = reader.next<DWORD>();
    dialog.style = reader.next<DWORD>();
    const WORD count = reader.next<WORD>();
    dialog.rect = reader.rect();
    reader.stringOrOrdinal(&resourceOrdinal);  // menu
    reader.stringOrOrdinal(&resourceOrdinal);  // window class
    dialog.caption = reader.string();
    if (dialog.style & (DS_SETFONT | DS_SHELLFONT)) {
        dialog.pointSize = reader.next<WORD>();
        reader.next<WORD>();  // weight
        reader.next<BYTE>();  // italic
        reader.next<BYTE>();  // character set
        dialog.typeface = reader.string();
    }
    for (WORD i = 0; i < count && !reader.failed(); ++i) {
        reader.alignToDword();
        ControlTemplate control{};
        reader.next<DWORD>();  // help id
        control.exStyle = reader.next<DWORD>();
        control.style = reader.next<DWORD>();
        control.rect = reader.rect();
        control.id = static_cast<int>(reader.next<DWORD>());
        control.className = reader.stringOrOrdinal(&predefinedClass);
        control.text = reader.stringOrOrdinal(&resourceOrdinal);
        reader.skip(reader.next<WORD>());  // creation data
        dialog.controls.push_back(std::move(control));
    }
    if (reader.failed()) return std::nullopt;
    return dialog;
}

}  // namespace brisko::testing
