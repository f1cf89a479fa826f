#include <gtest/gtest.h>

#include <windows.h>

#include <cstring>
#include <vector>

#include "foundation/pool.h"
#include "runner_test_support.h"
#include "unique_handle.h"

namespace {

using runner_test::PoolScope;

TEST(PoolBlocks, SizeIsRequestPlusHeaderInSixteenByteSteps) {
    const struct {
        size_t request;
        size_t block;
    } cases[] = {{0, 16}, {1, 32}, {16, 32}, {17, 48}, {100, 128}};
    for (const auto& c : cases) EXPECT_EQ(poolBlockSize(c.request), c.block) << "request " << c.request;
}

TEST(PoolBlocks, AllocationsAreZeroFilledAndGrowZeroFilled) {
    PoolScope pools;
    auto* block = static_cast<unsigned char*>(poolAlloc(MainPool, 40));
    ASSERT_NE(block, nullptr);
    for (int i = 0; i < 40; ++i) ASSERT_EQ(block[i], 0);
    std::memset(block, 0xAB, 40);
    auto* grown = static_cast<unsigned char*>(poolRealloc(MainPool, block, 4000));
    ASSERT_NE(grown, nullptr);
    EXPECT_EQ(grown[39], 0xAB);
    EXPECT_EQ(grown[3999], 0);
    poolFree(grown);
}

TEST(PoolBlocks, FreeingTwiceFreesOnce) {
    PoolScope pools;
    void* block = poolAlloc(MainPool, 24);
    ASSERT_NE(block, nullptr);
    poolFree(block);
    poolFree(block);
    // A block freed twice would come back twice from the heap.
    void* first = poolAlloc(MainPool, 24);
    void* second = poolAlloc(MainPool, 24);
    EXPECT_NE(first, second);
}

struct BlockRace {
    void* block;
    HANDLE go;
    volatile LONG* winners;
};

DWORD WINAPI takeInRace(void* parameter) {
    auto* race = static_cast<BlockRace*>(parameter);
    ::WaitForSingleObject(race->go, INFINITE);
    if (takePoolBlock(race->block)) ::InterlockedIncrement(race->winners);
    return 0;
}

// Wine's heap already refuses a second HeapFree of a block, so the guard of poolFree is checked
// itself: of threads racing to take one block, exactly one gets it.
TEST(PoolBlocks, OfRacingFreesExactlyOneTakesTheBlock) {
    PoolScope pools;
    constexpr int Racers = 6;
    for (int round = 0; round < 100; ++round) {
        void* block = poolAlloc(MainPool, 24);
        ASSERT_NE(block, nullptr);
        const brisko::UniqueHandle go(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
        volatile LONG winners = 0;
        BlockRace race{block, go.get(), &winners};
        std::vector<brisko::UniqueHandle> threads;
        for (int i = 0; i < Racers; ++i) threads.emplace_back(::CreateThread(nullptr, 0, takeInRace, &race, 0, nullptr));
        ::SetEvent(go.get());
        for (const auto& thread : threads) ASSERT_EQ(::WaitForSingleObject(thread.get(), 10000), WAIT_OBJECT_0);
        ASSERT_EQ(winners, 1) << "round " << round;
        EXPECT_FALSE(takePoolBlock(block));
    }
}

TEST(PoolBlocks, ReallocRefusesFreedBlocksAndBlocksOfAnotherPool) {
    PoolScope pools;
    Pool* other = createPool();
    void* mine = poolAlloc(MainPool, 8);
    void* theirs = poolAlloc(other, 8);
    EXPECT_EQ(poolRealloc(MainPool, theirs, 64), nullptr);
    EXPECT_NE(poolRealloc(other, theirs, 64), nullptr);
    void* freed = poolAlloc(MainPool, 8);
    poolFree(freed);
    EXPECT_EQ(poolRealloc(MainPool, freed, 64), nullptr);
    poolFree(mine);
}

TEST(PoolBlocks, StrdupCopiesWideText) {
    PoolScope pools;
    wchar_t* copy = poolStrdup(MainPool, L"Wendrow");
    ASSERT_NE(copy, nullptr);
    EXPECT_STREQ(copy, L"Wendrow");
    EXPECT_EQ(poolStrdup(MainPool, nullptr), nullptr);
}

// A handle whose callback records what it is told and reads memory from its pool, which must
// still exist when close arrives.
struct ProbeHandle {
    Handle head;
    int* closes;
    int* hookCloses;
    char* pooledText;
    HANDLE entered;
    HANDLE release;
    // When set, the close message signals closeEntered and waits for closeRelease.
    HANDLE closeEntered;
    HANDLE closeRelease;
};

BOOL probeCallback(Handle* handle, UINT message, WPARAM wParam, LPARAM) {
    auto* probe = reinterpret_cast<ProbeHandle*>(handle);
    if (message == WM_CLOSE) {
        if (probe->closeEntered) {
            ::SetEvent(probe->closeEntered);
            ::WaitForSingleObject(probe->closeRelease, INFINITE);
        }
        if (std::strcmp(probe->pooledText, "alive") == 0) ::InterlockedIncrement(reinterpret_cast<volatile LONG*>(probe->closes));
        return TRUE;
    }
    if (probe->entered) ::SetEvent(probe->entered);
    if (probe->release) ::WaitForSingleObject(probe->release, INFINITE);
    return wParam != 2;
}

BOOL probeHook(Handle* handle, UINT message, WPARAM, LPARAM) {
    if (message == WM_CLOSE) ++*reinterpret_cast<ProbeHandle*>(handle)->hookCloses;
    return TRUE;
}

ProbeHandle* makeProbe(Pool* pool, int* closes, int* hookCloses, DWORD flags = 0) {
    auto* probe = createTypedHandle<ProbeHandle>(pool, 0x9000000, flags, probeCallback);
    if (!probe) return nullptr;
    probe->closes = closes;
    probe->hookCloses = hookCloses;
    probe->pooledText = static_cast<char*>(poolAlloc(pool, 8));
    std::strcpy(probe->pooledText, "alive");
    return probe;
}

TEST(PoolHandles, ClosingThePoolsClosesEveryHandleWhileItsMemoryLives) {
    int closes = 0;
    int hookCloses = 0;
    {
        PoolScope pools;
        Pool* child = createPool();
        ASSERT_NE(makeProbe(MainPool, &closes, &hookCloses), nullptr);
        ProbeHandle* hooked = makeProbe(child, &closes, &hookCloses);
        ASSERT_NE(hooked, nullptr);
        EXPECT_TRUE(addHandleHook(&hooked->head, probeHook));
        EXPECT_EQ(MainPool->head.count, 1);
        EXPECT_EQ(child->head.count, 1);
    }
    EXPECT_EQ(closes, 2);
    EXPECT_EQ(hookCloses, 1);
}

TEST(PoolHandles, ClearClosesTheHandlesButKeepsThePool) {
    PoolScope pools;
    int closes = 0;
    int hookCloses = 0;
    Pool* child = createPool();
    ASSERT_NE(makeProbe(child, &closes, &hookCloses), nullptr);
    ASSERT_NE(makeProbe(child, &closes, &hookCloses), nullptr);
    ASSERT_TRUE(child->head.callback(&child->head, WM_CLEAR, 0, 0));
    EXPECT_EQ(closes, 2);
    EXPECT_EQ(child->head.type, static_cast<DWORD>(HANDLE_TYPE_POOL));
    EXPECT_EQ(child->head.count, 0);
    EXPECT_NE(makeProbe(child, &closes, &hookCloses), nullptr);
}

TEST(PoolHandles, CloseIsDoneOnceAndSendCloseKeepsTheRecord) {
    PoolScope pools;
    int closes = 0;
    int hookCloses = 0;
    ProbeHandle* probe = makeProbe(MainPool, &closes, &hookCloses);
    ASSERT_NE(probe, nullptr);
    EXPECT_TRUE(sendCloseToHandle(&probe->head));
    EXPECT_EQ(closes, 1);
    EXPECT_EQ(probe->head.type, 0x9000000u);
    EXPECT_TRUE(closeHandle(&probe->head));
    EXPECT_EQ(closes, 2);
    EXPECT_FALSE(closeHandle(nullptr));
}

DWORD WINAPI closeOnThread(void* handle) { return static_cast<DWORD>(closeHandle(static_cast<Handle*>(handle))); }

TEST(PoolHandles, ASecondCloseWhileTheFirstRunsIsRefused) {
    PoolScope pools;
    int closes = 0;
    int hookCloses = 0;
    ProbeHandle* probe = makeProbe(MainPool, &closes, &hookCloses);
    ASSERT_NE(probe, nullptr);
    const brisko::UniqueHandle entered(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    const brisko::UniqueHandle release(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    probe->closeEntered = entered.get();
    probe->closeRelease = release.get();
    const brisko::UniqueHandle first(::CreateThread(nullptr, 0, closeOnThread, &probe->head, 0, nullptr));
    ASSERT_EQ(::WaitForSingleObject(entered.get(), 10000), WAIT_OBJECT_0);
    EXPECT_FALSE(closeHandle(&probe->head)) << "the handle is being closed";
    ::SetEvent(release.get());
    ASSERT_EQ(::WaitForSingleObject(first.get(), 10000), WAIT_OBJECT_0);
    DWORD firstResult = 0;
    ::GetExitCodeThread(first.get(), &firstResult);
    EXPECT_EQ(firstResult, static_cast<DWORD>(TRUE));
    EXPECT_EQ(closes, 1);
}

TEST(PoolHandles, SystemHandleIsClosedWithItsHandle) {
    PoolScope pools;
    const HANDLE event = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
    SystemHandle* handle = createSystemHandle(MainPool, event);
    ASSERT_NE(handle, nullptr);
    DWORD flags = 0;
    EXPECT_TRUE(::GetHandleInformation(event, &flags));
    EXPECT_TRUE(closeTypedHandle(handle));
    EXPECT_FALSE(::GetHandleInformation(event, &flags));
}

TEST(PoolHandles, HandlesNeedAPool) {
    PoolScope pools;
    int closes = 0;
    ProbeHandle* notAPool = makeProbe(MainPool, &closes, &closes);
    EXPECT_EQ(createHandle(reinterpret_cast<Pool*>(notAPool), 0, 0, nullptr), nullptr);
    EXPECT_EQ(createHandle(nullptr, 0, 0, nullptr), nullptr);
}

TEST(PoolHandles, MessageThreadDeliversMessagesUntilTheCallbackSaysStop) {
    PoolScope pools;
    int closes = 0;
    ProbeHandle* probe = makeProbe(MainPool, &closes, &closes, HANDLE_FLAG_MESSAGE_THREAD);
    ASSERT_NE(probe, nullptr);
    ASSERT_NE(probe->head.thread, nullptr);
    brisko::UniqueHandle entered(::CreateEventW(nullptr, FALSE, FALSE, nullptr));
    probe->entered = entered.get();
    probe->head.message = WM_USER;
    probe->head.wParam = 1;
    ::SetEvent(probe->head.event);
    ASSERT_EQ(::WaitForSingleObject(entered.get(), 10000), WAIT_OBJECT_0);

    probe->head.message = WM_USER;
    probe->head.wParam = 2;  // the callback answers 0: the thread ends
    ::SetEvent(probe->head.event);
    ASSERT_EQ(::WaitForSingleObject(entered.get(), 10000), WAIT_OBJECT_0);
    EXPECT_EQ(::WaitForSingleObject(probe->head.thread, 10000), WAIT_OBJECT_0);
    EXPECT_TRUE(closeTypedHandle(probe));
}

TEST(PoolHandles, MessageThreadThatDoesNotEndIsTerminatedAfterASecond) {
    PoolScope pools;
    int closes = 0;
    ProbeHandle* probe = makeProbe(MainPool, &closes, &closes, HANDLE_FLAG_MESSAGE_THREAD);
    ASSERT_NE(probe, nullptr);
    brisko::UniqueHandle entered(::CreateEventW(nullptr, FALSE, FALSE, nullptr));
    brisko::UniqueHandle never(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    probe->entered = entered.get();
    probe->release = never.get();
    HANDLE thread = nullptr;
    ASSERT_TRUE(::DuplicateHandle(::GetCurrentProcess(), probe->head.thread, ::GetCurrentProcess(), &thread,
                                  SYNCHRONIZE, FALSE, 0));
    const brisko::UniqueHandle threadCopy(thread);
    probe->head.message = WM_USER;
    probe->head.lParam = 1;
    ::SetEvent(probe->head.event);
    ASSERT_EQ(::WaitForSingleObject(entered.get(), 10000), WAIT_OBJECT_0);

    const ULONGLONG started = ::GetTickCount64();
    EXPECT_TRUE(closeTypedHandle(probe));
    const ULONGLONG elapsed = ::GetTickCount64() - started;
    EXPECT_GE(elapsed, 900u);
    EXPECT_LT(elapsed, 5000u);
    EXPECT_EQ(::WaitForSingleObject(threadCopy.get(), 5000), WAIT_OBJECT_0);
    EXPECT_EQ(closes, 1);
}

}  // namespace
