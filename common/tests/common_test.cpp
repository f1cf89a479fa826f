#include <gtest/gtest.h>

#include <cwchar>
#include <string>
#include <vector>

#include "system_library.h"
#include "text.h"
#include "unique_handle.h"

namespace {

std::vector<int> closed;

struct FakeTraits {
    using Type = int;
    static Type invalid() noexcept { return -1; }
    static void close(Type value) noexcept { closed.push_back(value); }
};
using UniqueFake = brisko::UniqueResource<FakeTraits>;

TEST(UniqueResource, ClosesOnceWhateverPathItTakes) {
    closed.clear();
    {
        UniqueFake a(1);
        UniqueFake b(std::move(a));  // moved-from owner must not close
        UniqueFake c(2);
        c = std::move(b);            // the overwritten value is closed at once
        EXPECT_EQ(closed, std::vector<int>{2});
        UniqueFake d(3);
        EXPECT_EQ(d.release(), 3);   // released values are the caller's
        UniqueFake e;
        *e.put() = 4;
    }
    EXPECT_EQ(closed, (std::vector<int>{2, 4, 1}));
}

TEST(UniqueResource, RealEventIsClosed) {
    HANDLE raw = nullptr;
    {
        brisko::UniqueHandle event(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
        ASSERT_TRUE(event);
        raw = event.get();
        DWORD flags = 0;
        EXPECT_TRUE(::GetHandleInformation(raw, &flags));
    }
    DWORD flags = 0;
    EXPECT_FALSE(::GetHandleInformation(raw, &flags));
}

TEST(Text, RoundTripsThroughUtf16) {
    const std::string utf8 = "caf\xC3\xA9 \xE2\x82\xAC";
    EXPECT_EQ(brisko::utf8ToWide(utf8), L"caf\u00e9 \u20ac");
    EXPECT_EQ(brisko::wideToUtf8(brisko::utf8ToWide(utf8)), utf8);
    EXPECT_EQ(brisko::utf8ToWide(""), L"");
    EXPECT_EQ(brisko::wideToAnsi(L"root"), "root");
}

std::wstring systemFolder() {
    wchar_t folder[MAX_PATH];
    const UINT length = ::GetSystemDirectoryW(folder, MAX_PATH);
    return std::wstring(folder, length) + L"\\";
}

std::wstring moduleFile(HMODULE module) {
    wchar_t path[MAX_PATH];
    return std::wstring(path, ::GetModuleFileNameW(module, path, MAX_PATH));
}

// Both routes, the search flag and the full path for systems that refuse it, take the system
// folder's copy.
TEST(SystemLibrary, ComesFromTheSystemFolder) {
    for (const auto load : {&brisko::LoadSystemLibrary, &brisko::LoadSystemLibraryByPath}) {
        const brisko::UniqueModule module(load(L"version.dll"));
        ASSERT_TRUE(module);
        const std::wstring file = moduleFile(module.get());
        EXPECT_EQ(_wcsnicmp(file.c_str(), systemFolder().c_str(), systemFolder().size()), 0) << file;

        EXPECT_FALSE(brisko::UniqueModule(load(L"no-such-library.dll")));
        EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_MOD_NOT_FOUND));
    }
}

TEST(SystemLibrary, KeepsOnlyAModuleThatHasTheFunction) {
    ASSERT_EQ(::GetModuleHandleW(L"wtsapi32.dll"), nullptr) << "the test needs a module not loaded yet";
    EXPECT_EQ(brisko::SystemProcAddress<FARPROC>(L"wtsapi32.dll", "NoSuchFunction"), nullptr);
    EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_PROC_NOT_FOUND));
    EXPECT_EQ(::GetModuleHandleW(L"wtsapi32.dll"), nullptr);

    const auto free = brisko::SystemProcAddress<FARPROC>(L"wtsapi32.dll", "WTSFreeMemory");
    ASSERT_NE(free, nullptr);
    EXPECT_EQ(free, ::GetProcAddress(::GetModuleHandleW(L"wtsapi32.dll"), "WTSFreeMemory"));
}

}  // namespace
