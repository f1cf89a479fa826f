#include "ui/resource_text.h"

#include <type_traits>
#include <variant>

#include "unique_memory.h"

namespace brisko {

std::wstring loadResourceString(HINSTANCE instance, UINT id) {
    // A zero size asks for a pointer to the resource itself, whatever its length.
    const wchar_t* text = nullptr;
    const int length = ::LoadStringW(instance, id, reinterpret_cast<LPWSTR>(&text), 0);
    return length > 0 && text ? std::wstring(text, static_cast<size_t>(length)) : std::wstring();
}

std::optional<std::wstring> formatResourceString(HINSTANCE instance, const ResourceString& string) {
    const std::wstring pattern = loadResourceString(instance, string.id);
    if (pattern.empty()) return std::nullopt;

    DWORD flags = FORMAT_MESSAGE_FROM_STRING | FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_ARGUMENT_ARRAY;
    DWORD_PTR arguments[1] = {};
    std::visit(
        [&](const auto& insert) {
            using Insert = std::decay_t<decltype(insert)>;
            if constexpr (std::is_same_v<Insert, std::string>)
                arguments[0] = reinterpret_cast<DWORD_PTR>(insert.c_str());
            else if constexpr (std::is_same_v<Insert, int>)
                arguments[0] = static_cast<DWORD_PTR>(insert);
            else
                flags |= FORMAT_MESSAGE_IGNORE_INSERTS;
        },
        string.insert);

    // Allocated to the expansion's size: a long insert cannot make the expansion fail.
    UniqueLocalMemory<wchar_t*> expanded;
    const DWORD length = ::FormatMessageW(flags, pattern.c_str(), 0, 0, reinterpret_cast<LPWSTR>(expanded.put()), 0,
                                          reinterpret_cast<va_list*>(arguments));
    if (length == 0 || !expanded) return std::nullopt;
    return std::wstring(expanded.get(), length);
}

}  // namespace brisko
