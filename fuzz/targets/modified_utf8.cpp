// Java's modified UTF-8, the 8-bit form of every JNI string: any UTF-16 text (lone surrogates
// and NULs included) comes back whole from its encoding, the encoding holds no NUL byte, and
// decoding any bytes gives one unit per well-formed sequence, never more units than bytes.
#include <cstdint>
#include <string>

#include "fuzz_input.h"
#include "text.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    const std::wstring decoded = brisko::modifiedUtf8ToWide(bytes);
    FUZZ_CHECK(decoded.size() <= bytes.size());
    for (const wchar_t unit : decoded) FUZZ_CHECK(static_cast<uint32_t>(unit) <= 0xFFFF);

    FuzzInput input(data, size);
    std::wstring text;
    while (!input.empty()) text += static_cast<wchar_t>(input.u16());
    const std::string encoded = brisko::wideToModifiedUtf8(text);
    FUZZ_CHECK(encoded.find('\0') == std::string::npos);
    FUZZ_CHECK(brisko::modifiedUtf8ToWide(encoded) == text);
    return 0;
}
