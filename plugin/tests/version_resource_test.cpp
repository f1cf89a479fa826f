// The version resource the setup program and Explorer show for Support.dll.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "executable_path.h"

namespace brisko::testing {
namespace {

std::wstring VersionString(const std::vector<char>& block, const wchar_t* name) {
    void* value = nullptr;
    UINT length = 0;
    const std::wstring path = std::wstring(L"\\StringFileInfo\\040904B0\\") + name;
    if (!::VerQueryValueW(block.data(), path.c_str(), &value, &length) || length == 0) return L"<missing>";
    return static_cast<const wchar_t*>(value);
}

TEST(SupportVersionResource, NamesThePlugin) {
    const std::wstring path = siblingPath(L"Support.dll");
    DWORD handle = 0;
    const DWORD size = ::GetFileVersionInfoSizeW(path.c_str(), &handle);
    ASSERT_NE(size, 0u);
    std::vector<char> block(size);
    ASSERT_TRUE(::GetFileVersionInfoW(path.c_str(), 0, size, block.data()));

    EXPECT_EQ(VersionString(block, L"FileDescription"), L"Parental Control Installer Plugin");
    EXPECT_EQ(VersionString(block, L"ProductName"), L"Parental Control Installer Plugin");
    EXPECT_EQ(VersionString(block, L"Comments"), L"Parental Control Installer Plugin");
    EXPECT_EQ(VersionString(block, L"InternalName"), L"Installer Plugin");
    EXPECT_EQ(VersionString(block, L"OriginalFilename"), L"Support.dll");
}

}  // namespace
}  // namespace brisko::testing
