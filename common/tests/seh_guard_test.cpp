#include <gtest/gtest.h>

#include <rpc.h>

#include "seh_guard.h"

namespace {

TEST(SehGuard, AnswersZeroWhenNothingIsRaised) {
    int calls = 0;
    EXPECT_EQ(brisko::RunGuarded([&] { ++calls; }), 0u);
    EXPECT_EQ(calls, 1);
}

TEST(SehGuard, AnswersTheCodeOfARaisedException) {
    struct Case { DWORD code; };
    for (const Case c : {Case{RPC_S_SERVER_UNAVAILABLE}, Case{RPC_S_ACCESS_DENIED}, Case{0xE0424242u}}) {
        EXPECT_EQ(brisko::RunGuarded([&] { ::RaiseException(c.code, 0, 0, nullptr); }), c.code);
    }
}

TEST(SehGuard, CatchesAnAccessViolationAndCanBeUsedAgain) {
    volatile int* nowhere = nullptr;
    EXPECT_EQ(brisko::RunGuarded([&] { *nowhere = 1; }), static_cast<DWORD>(EXCEPTION_ACCESS_VIOLATION));
    EXPECT_EQ(brisko::RunGuarded([&] { ::RpcRaiseException(RPC_S_CALL_FAILED); }),
              static_cast<DWORD>(RPC_S_CALL_FAILED));
    EXPECT_EQ(brisko::RunGuarded([] {}), 0u);
}

TEST(SehGuard, NestedGuardsCatchInTheInnermost) {
    DWORD inner = 0;
    const DWORD outer = brisko::RunGuarded([&] {
        inner = brisko::RunGuarded([] { ::RaiseException(42, 0, 0, nullptr); });
        ::RaiseException(43, 0, 0, nullptr);
    });
    EXPECT_EQ(inner, 42u);
    EXPECT_EQ(outer, 43u);
}

}  // namespace
