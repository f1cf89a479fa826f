#include "host/host_identifier.h"

#include <windows.h>

#include <algorithm>
#include <iterator>

#include "host/host_identity.h"
#include "registry.h"
#include "unique_handle.h"

namespace brisko {
namespace {

constexpr std::wstring_view kPlaceholderUuids[] = {
    L"00000000-0000-0000-0000-000000000000", L"FFFFFFFF-FFFF-FFFF-FFFF-FFFFFFFFFFFF",
    L"03000200-0400-0500-0006-000700080009", L"00020003-0004-0005-0006-000700080009",
    L"12345678-1234-5678-90AB-CDDEEFAABBCC",
};

wchar_t AsciiUpper(wchar_t c) { return c >= L'a' && c <= L'z' ? static_cast<wchar_t>(c - L'a' + L'A') : c; }

bool EqualIgnoringAsciiCase(std::wstring_view a, std::wstring_view b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(),
                      [](wchar_t x, wchar_t y) { return AsciiUpper(x) == AsciiUpper(y); });
}

// 8-4-4-4-12 hexadecimal digits.
bool IsUuidText(std::wstring_view text) {
    if (text.size() != 36) return false;
    for (size_t i = 0; i < text.size(); ++i) {
        const wchar_t c = AsciiUpper(text[i]);
        const bool dash = i == 8 || i == 13 || i == 18 || i == 23;
        if (dash ? c != L'-' : !((c >= L'0' && c <= L'9') || (c >= L'A' && c <= L'F'))) return false;
    }
    return true;
}

// The cryptography key is redirected for 32-bit programs, and only the 64-bit one holds the GUID
// on 64-bit Windows. A standard user can change neither this value nor the firmware's UUID.
std::wstring ReadMachineGuid() {
    UniqueKey key;
    if (OpenKey(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Microsoft\\Cryptography", KEY_QUERY_VALUE, RegistryView::Registry64,
                key.put()) != ERROR_SUCCESS)
        return {};
    const MallocPtr<wchar_t> guid = ReadStringValue(key.get(), nullptr, L"MachineGuid");
    return guid ? std::wstring(guid.get()) : std::wstring();
}

}  // namespace

HostIdentitySources RealHostIdentitySources() { return {WmiProductUuid, ReadMachineGuid}; }

HostIdentitySources& CurrentHostIdentitySources() {
    static HostIdentitySources sources = RealHostIdentitySources();
    return sources;
}

bool IsPlaceholderUuid(std::wstring_view uuid) {
    return std::any_of(std::begin(kPlaceholderUuids), std::end(kPlaceholderUuids),
                       [uuid](std::wstring_view placeholder) { return EqualIgnoringAsciiCase(uuid, placeholder); });
}

std::wstring HostIdentifier() {
    const HostIdentitySources& sources = CurrentHostIdentitySources();
    if (std::wstring uuid = sources.productUuid(); !uuid.empty() && !IsPlaceholderUuid(uuid)) return uuid;
    std::wstring guid = sources.machineGuid();
    if (!IsUuidText(guid) || IsPlaceholderUuid(guid)) return {};
    std::transform(guid.begin(), guid.end(), guid.begin(), AsciiUpper);
    return guid;
}

}  // namespace brisko
