#include <gtest/gtest.h>

#include <stdexcept>
#include <vector>

#include "callback_boundary.h"
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
