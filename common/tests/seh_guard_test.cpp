#include <gtest/gtest.h>

#include <rpc.h>

#include "rpc_guard.h"
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

EXCEPTION_RECORD seen{};

int RecordAndAccept(const EXCEPTION_RECORD* exception) {
    seen = *exception;
    return 1;
}

int AcceptOnly42(const EXCEPTION_RECORD* exception) { return exception->ExceptionCode == 42; }

TEST(SehGuard, AnExceptionItDoesNotAcceptGoesOnAsRaised) {
    bool afterRaise = false;
    const ULONG_PTR parameters[2] = {7, 8};
    DWORD inner = 1;
    const DWORD outer = brisko::RunGuarded(
        [&] {
            inner = brisko::RunGuarded(
                [&] {
                    ::RaiseException(43, 0, 2, parameters);
                    afterRaise = true;
                },
                &AcceptOnly42);
        },
        &RecordAndAccept);
    EXPECT_EQ(outer, 43u);
    EXPECT_EQ(inner, 1u) << "the inner guard did not return";
    EXPECT_FALSE(afterRaise);
    EXPECT_EQ(seen.ExceptionFlags & EXCEPTION_NONCONTINUABLE, 0u) << "not raised again";
    ASSERT_EQ(seen.NumberParameters, 2u);
    EXPECT_EQ(seen.ExceptionInformation[1], 8u);

    EXPECT_EQ(brisko::RunGuarded([] { ::RaiseException(42, 0, 0, nullptr); }, &AcceptOnly42), 42u);
}

// The agent's RPC calls: RPC failures are taken, an access violation reaches the next handler
// as it happened.
TEST(RpcGuard, TakesRpcFailuresOnly) {
    EXPECT_EQ(brisko::RunRpcCall([] { ::RpcRaiseException(RPC_S_SERVER_UNAVAILABLE); }),
              static_cast<DWORD>(RPC_S_SERVER_UNAVAILABLE));
    EXPECT_EQ(brisko::RunRpcCall([] { ::RpcRaiseException(RPC_X_SS_IN_NULL_CONTEXT); }),
              static_cast<DWORD>(RPC_X_SS_IN_NULL_CONTEXT));

    volatile int* nowhere = nullptr;
    const DWORD outer = brisko::RunGuarded([&] { brisko::RunRpcCall([&] { *nowhere = 1; }); }, &RecordAndAccept);
    EXPECT_EQ(outer, static_cast<DWORD>(EXCEPTION_ACCESS_VIOLATION));
    ASSERT_EQ(seen.NumberParameters, 2u) << "the fault's own record, with the address it touched";
    EXPECT_EQ(seen.ExceptionInformation[1], 0u);
}

// The calls inside a server routine: RPC statuses and Wine's unimplemented-call code are taken,
// every system exception reaches the next handler.
TEST(RpcGuard, ServerCallsTakeRpcStatusesAndWinesUnimplementedCallOnly) {
    struct Case {
        DWORD code;
        bool taken;
    };
    for (const Case c : {Case{brisko::kWineUnimplementedCall, true}, Case{RPC_S_ACCESS_DENIED, true},
                         Case{RPC_X_BAD_STUB_DATA, true}, Case{RPC_S_CALL_FAILED, true},
                         Case{EXCEPTION_ACCESS_VIOLATION, false}, Case{EXCEPTION_STACK_OVERFLOW, false},
                         Case{EXCEPTION_ILLEGAL_INSTRUCTION, false}, Case{EXCEPTION_BREAKPOINT, false},
                         Case{0xE06D7363u, false}, Case{0x80000101u, false}}) {
        DWORD inner = 1;
        const DWORD outer = brisko::RunGuarded(
            [&] { inner = brisko::RunRpcServerCall([&] { ::RaiseException(c.code, 0, 0, nullptr); }); });
        EXPECT_EQ(inner, c.taken ? c.code : 1u) << std::hex << c.code;
        EXPECT_EQ(outer, c.taken ? 0u : c.code) << std::hex << c.code;
    }
    volatile int* nowhere = nullptr;
    EXPECT_EQ(brisko::RunGuarded([&] { brisko::RunRpcServerCall([&] { *nowhere = 1; }); }),
              static_cast<DWORD>(EXCEPTION_ACCESS_VIOLATION));
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

TEST(SehGuard, AnOuterGuardAnswersZeroWhenAnInnerOneTookTheException) {
    DWORD inner = 0;
    const DWORD outer =
        brisko::RunGuarded([&] { inner = brisko::RunGuarded([] { ::RaiseException(42, 0, 0, nullptr); }); });
    EXPECT_EQ(inner, 42u);
    EXPECT_EQ(outer, 0u);
}

}  // namespace
