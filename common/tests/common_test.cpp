#include <gtest/gtest.h>

#include <cwchar>
#include <stdexcept>
#include <string>
#include <vector>

#include "agent_security.h"
#include "callback_boundary.h"
#include "system_library.h"
#include "text.h"
#include "token_user.h"
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

std::wstring DescriptorText(PSECURITY_DESCRIPTOR descriptor) {
    brisko::UniqueLocalMemory<wchar_t*> text;
    const SECURITY_INFORMATION parts = OWNER_SECURITY_INFORMATION | GROUP_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION;
    if (!::ConvertSecurityDescriptorToStringSecurityDescriptorW(descriptor, SDDL_REVISION_1, parts, text.put(), nullptr))
        return L"";
    return text.get();
}

TEST(AgentSecurity, TheUsersSidTakesItsPlaceInTheDescriptors) {
    const wchar_t user[] = L"S-1-5-21-1-2-3-1001";
    EXPECT_EQ(DescriptorText(brisko::AgentProcessDescriptor(user).get()),
              L"O:SYG:SYD:P(A;;0x1fffff;;;SY)(A;;0x101000;;;S-1-5-21-1-2-3-1001)");
    EXPECT_EQ(DescriptorText(brisko::AgentThreadDescriptor(user).get()),
              L"O:SYG:SYD:P(A;;0x1fffff;;;SY)(A;;0x100840;;;S-1-5-21-1-2-3-1001)(A;;0x100840;;;OW)");
    EXPECT_EQ(DescriptorText(brisko::AgentOwnThreadDescriptor(user).get()),
              L"D:P(A;;0x1fffff;;;SY)(A;;0x100840;;;S-1-5-21-1-2-3-1001)(A;;0x100840;;;OW)");
}

// The SID is put into the descriptor's text: one that is not a plain SID string could add
// entries of its own, so none is built.
TEST(AgentSecurity, NoDescriptorForWhatIsNotASid) {
    for (const wchar_t* notSid : {L"", L"S-", L"WD", L"S-1-5-18)(A;;0x1fffff;;;WD", L"S-1-5-18 ", L"s-1-5-18"}) {
        ::SetLastError(0);
        EXPECT_FALSE(brisko::AgentProcessDescriptor(notSid)) << brisko::wideToUtf8(notSid);
        EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    }
}

TEST(TokenUser, IsTheSidOfTheProcesssAccount) {
    brisko::UniqueHandle token;
    ASSERT_TRUE(::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, token.put()));
    const std::optional<std::wstring> sid = brisko::TokenUserSid(token.get());
    ASSERT_TRUE(sid.has_value());
    EXPECT_TRUE(brisko::IsSidString(*sid)) << brisko::wideToUtf8(*sid);
    EXPECT_TRUE(brisko::AgentProcessDescriptor(*sid));
    EXPECT_EQ(brisko::TokenUserSid(nullptr), std::nullopt);
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

TEST(CallbackBoundary, GivesTheCallersDefaultAnswerForAnException) {
    using brisko::comBoundary;
    EXPECT_EQ(comBoundary([] { return S_FALSE; }), S_FALSE);
    EXPECT_EQ(comBoundary([]() -> HRESULT { throw std::bad_alloc(); }), E_OUTOFMEMORY);
    EXPECT_EQ(comBoundary([]() -> HRESULT { throw std::runtime_error("RingBuffer reallocation failed"); }), E_FAIL);
    EXPECT_EQ(comBoundary([]() -> HRESULT { throw 7; }), E_FAIL);

    const auto fallback = [] { return LRESULT{-1}; };
    EXPECT_EQ(brisko::callbackBoundary([] { return LRESULT{5}; }, fallback), 5);
    EXPECT_EQ(brisko::callbackBoundary([]() -> LRESULT { throw std::bad_alloc(); }, fallback), -1);
    EXPECT_EQ(brisko::callbackBoundary([]() -> LRESULT { throw std::out_of_range("x"); }, fallback), -1);
}

}  // namespace
