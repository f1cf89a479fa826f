// Utils.getHostIdentifier: the firmware's UUID unless it is a placeholder, else the machine GUID,
// through a double of both sources; and the real machine GUID of the prefix.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <windows.h>

#include <optional>
#include <string>

#include "fake_jvm.h"
#include "host/host_exports.h"
#include "host/host_identifier.h"
#include "text.h"

namespace brisko::testing {
namespace {

constexpr wchar_t kProductUuid[] = L"4C4C4544-0047-3510-8058-B4C04F4A3732";
constexpr wchar_t kMachineGuid[] = L"6b7a1c9e-3f2d-4e8a-9b1c-0d2e3f4a5b6c";
constexpr wchar_t kMachineGuidUpper[] = L"6B7A1C9E-3F2D-4E8A-9B1C-0D2E3F4A5B6C";

// Both sources answer what the test says, and count how often they are asked.
class IdentitySources {
public:
    IdentitySources(std::wstring productUuid, std::wstring machineGuid) : saved_(CurrentHostIdentitySources()) {
        CurrentHostIdentitySources() = {
            [this, productUuid] {
                ++productAsked;
                return productUuid;
            },
            [this, machineGuid] {
                ++guidAsked;
                return machineGuid;
            },
        };
    }
    ~IdentitySources() { CurrentHostIdentitySources() = saved_; }
    IdentitySources(const IdentitySources&) = delete;
    IdentitySources& operator=(const IdentitySources&) = delete;

    int productAsked = 0;
    int guidAsked = 0;

private:
    HostIdentitySources saved_;
};

// The export as the VM calls it; none for a null result.
std::optional<std::wstring> GetHostIdentifier() {
    fakejvm::Jvm jvm;
    JNIEnv* env = jvm.attachCurrentThread();
    fakejvm::ObjectPtr result;
    {
        fakejvm::NativeFrame frame(jvm, env);
        result = jvm.resolve(Java_jni_com_brisko_desktop_windows_Utils_getHostIdentifier(env, nullptr));
    }
    EXPECT_EQ(jvm.pendingException(::GetCurrentThreadId()), nullptr);
    EXPECT_THAT(jvm.misuse(), ::testing::IsEmpty());
    return result ? result->text : std::nullopt;
}

TEST(HostIdentifier, IsTheProductUuidUnlessItIsAPlaceholder) {
    const struct {
        const char* name;
        std::wstring productUuid;
        std::wstring machineGuid;
        std::optional<std::wstring> identifier;  // none: null to Java
        bool guidAsked;
    } cases[] = {
        {"RealUuid", kProductUuid, kMachineGuid, kProductUuid, false},
        {"RealUuidInLowerCaseAsItCame", L"4c4c4544-0047-3510-8058-b4c04f4a3732", kMachineGuid,
         L"4c4c4544-0047-3510-8058-b4c04f4a3732", false},
        {"AllZeros", L"00000000-0000-0000-0000-000000000000", kMachineGuid, kMachineGuidUpper, true},
        {"AllF", L"FFFFFFFF-FFFF-FFFF-FFFF-FFFFFFFFFFFF", kMachineGuid, kMachineGuidUpper, true},
        {"AllFLowerCase", L"ffffffff-ffff-ffff-ffff-ffffffffffff", kMachineGuid, kMachineGuidUpper, true},
        {"BoardDefault", L"03000200-0400-0500-0006-000700080009", kMachineGuid, kMachineGuidUpper, true},
        {"BoardDefaultOtherByteOrder", L"00020003-0004-0005-0006-000700080009", kMachineGuid, kMachineGuidUpper, true},
        {"CountingPlaceholder", L"12345678-1234-5678-90ab-cddeefaabbcc", kMachineGuid, kMachineGuidUpper, true},
        // No UUID at all (WMI failed or did not answer in time): the same fallback.
        {"NoUuid", L"", kMachineGuid, kMachineGuidUpper, true},
        {"PlaceholderWithoutGuid", L"00000000-0000-0000-0000-000000000000", L"", std::nullopt, true},
        {"NothingAtAll", L"", L"", std::nullopt, true},
        {"MalformedGuid", L"", L"not-a-guid", std::nullopt, true},
        {"GuidInBraces", L"", L"{6b7a1c9e-3f2d-4e8a-9b1c-0d2e3f4a5b6c}", std::nullopt, true},
        {"PlaceholderGuid", L"", L"00000000-0000-0000-0000-000000000000", std::nullopt, true},
    };
    for (const auto& c : cases) {
        IdentitySources sources(c.productUuid, c.machineGuid);
        EXPECT_EQ(GetHostIdentifier(), c.identifier) << c.name;
        EXPECT_EQ(sources.productAsked, 1) << c.name;
        EXPECT_EQ(sources.guidAsked, c.guidAsked ? 1 : 0) << c.name;
    }
}

TEST(HostIdentifier, PlaceholdersAreOnlyTheKnownOnes) {
    EXPECT_TRUE(IsPlaceholderUuid(L"03000200-0400-0500-0006-000700080009"));
    EXPECT_FALSE(IsPlaceholderUuid(L"03000200-0400-0500-0006-00070008000A"));
    EXPECT_FALSE(IsPlaceholderUuid(L"00000000-0000-0000-0000-00000000000"));
    EXPECT_FALSE(IsPlaceholderUuid(L"00000000-0000-0000-0000-0000000000000"));
    EXPECT_FALSE(IsPlaceholderUuid(kProductUuid));
}

// The real source reads the value from the 64-bit view, where Windows keeps it.
TEST(HostIdentifier, TheMachineGuidIsTheOneOfTheCryptographyKey) {
    wchar_t guid[64];
    DWORD size = sizeof guid;
    HKEY key = nullptr;
    ASSERT_EQ(::RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Microsoft\\Cryptography", 0,
                              KEY_QUERY_VALUE | KEY_WOW64_64KEY, &key),
              ERROR_SUCCESS);
    const LSTATUS read = ::RegGetValueW(key, nullptr, L"MachineGuid", RRF_RT_REG_SZ, nullptr, guid, &size);
    ::RegCloseKey(key);
    ASSERT_EQ(read, ERROR_SUCCESS);
    EXPECT_EQ(RealHostIdentitySources().machineGuid(), guid);
}

}  // namespace
}  // namespace brisko::testing
