// The monitor's building blocks: the COM base of its handlers and the window table's keys.
#include <gtest/gtest.h>

#include <array>
#include <new>
#include <stdexcept>

#include "fake_desktop.h"
#include "not_implemented.h"
#include "uia/com_class.h"
#include "uia/uia_monitor.h"
#include "uia/window_monitors.h"
#include "uia/window_table.h"

namespace brisko::UIA {
namespace {

class CountedHandler final : public ComClass<IUIAutomationEventHandler> {
public:
    explicit CountedHandler(bool& destroyed) : destroyed_(destroyed) {}
    HRESULT STDMETHODCALLTYPE HandleAutomationEvent(IUIAutomationElement*, EVENTID) override { return S_OK; }

private:
    ~CountedHandler() override { destroyed_ = true; }
    bool& destroyed_;
};

TEST(ComClass, CountsReferencesAndDeletesAtZero) {
    bool destroyed = false;
    auto* handler = new CountedHandler(destroyed);
    EXPECT_EQ(handler->AddRef(), 2u);
    EXPECT_EQ(handler->Release(), 1u);
    EXPECT_FALSE(destroyed);
    EXPECT_EQ(handler->Release(), 0u);
    EXPECT_TRUE(destroyed);
}

TEST(ComClass, AnswersIUnknownAndItsInterfaceOnly) {
    bool destroyed = false;
    auto* handler = new CountedHandler(destroyed);
    void* object = nullptr;
    ASSERT_EQ(handler->QueryInterface(__uuidof(IUnknown), &object), S_OK);
    EXPECT_EQ(object, static_cast<IUIAutomationEventHandler*>(handler));
    ASSERT_EQ(handler->QueryInterface(__uuidof(IUIAutomationEventHandler), &object), S_OK);
    EXPECT_EQ(object, static_cast<IUIAutomationEventHandler*>(handler));
    object = handler;
    EXPECT_EQ(handler->QueryInterface(__uuidof(IUIAutomationPropertyChangedEventHandler), &object), E_NOINTERFACE);
    EXPECT_EQ(object, nullptr);
    EXPECT_EQ(handler->QueryInterface(__uuidof(IUnknown), nullptr), E_POINTER);
    // Two successful queries took two references.
    EXPECT_EQ(handler->Release(), 2u);
    EXPECT_EQ(handler->Release(), 1u);
    EXPECT_EQ(handler->Release(), 0u);
    EXPECT_TRUE(destroyed);
}

template <size_t N>
std::uint32_t hashOf(const std::array<unsigned char, N>& bytes) {
    return runtimeIdHash(std::as_bytes(std::span(bytes)));
}

TEST(RuntimeIdHash, XorsTheHashesOfSingleBytes) {
    EXPECT_EQ(hashOf(std::array<unsigned char, 0>{}), 0u);
    EXPECT_EQ(hashOf(std::array<unsigned char, 1>{0x00}), 0x050c5d1fu);
    EXPECT_EQ(hashOf(std::array<unsigned char, 1>{0x2a}), 0x2f0c9f3du);
    // {42, 1} as 32-bit integers: the six zero bytes cancel out.
    EXPECT_EQ(hashOf(std::array<unsigned char, 8>{0x2a, 0, 0, 0, 1, 0, 0, 0}), 0x2b00c4b1u);
    EXPECT_EQ(hashOf(std::array<unsigned char, 2>{0x2a, 0x01}), 0x2b00c4b1u);
}

RuntimeId runtimeId(int first, int second) {
    SAFEARRAY* array = ::SafeArrayCreateVector(VT_I4, 0, 2);
    LONG index = 0, value = first;
    ::SafeArrayPutElement(array, &index, &value);
    index = 1;
    value = second;
    ::SafeArrayPutElement(array, &index, &value);
    return RuntimeId(array);
}

TEST(WindowTable, FindsEntriesByEqualRuntimeIdsThroughRehashing) {
    const auto desktop = fakeuia::FakeDesktop::create();
    WindowTable table(desktop->automation());
    ProcessRecord records[2] = {{100, ProcessKind::Desktop, {}, {}}, {200, ProcessKind::Desktop, {}, {}}};
    for (int id = 1; id <= 40; ++id) table.insert(runtimeId(42, id), WindowEntry(records[id % 2]));
    EXPECT_EQ(table.size(), 40u);

    for (int id = 1; id <= 40; ++id) {
        const RuntimeId probe = runtimeId(42, id);  // another array with the same values
        const WindowEntry* entry = table.find(probe.get());
        ASSERT_NE(entry, nullptr) << id;
        EXPECT_EQ(entry->process, &records[id % 2]);
    }
    EXPECT_EQ(table.find(runtimeId(42, 41).get()), nullptr);
    EXPECT_EQ(table.find(runtimeId(43, 1).get()), nullptr);
    EXPECT_EQ(table.entriesOfProcess(100).size(), 20u);

    table.insert(runtimeId(42, 7), WindowEntry(records[0]));  // already there: kept as it was
    EXPECT_EQ(table.find(runtimeId(42, 7).get())->process, &records[1]);

    table.erase(*table.find(runtimeId(42, 7).get()));
    EXPECT_EQ(table.find(runtimeId(42, 7).get()), nullptr);
    EXPECT_EQ(table.size(), 39u);
}

// The monitor erases an entry after releasing its process record: the entry must go whatever
// the automation object answers, or the next look at it would reach a released record.
TEST(WindowTable, AnEntryIsErasedEvenWhenRuntimeIdsCannotBeCompared) {
    const auto desktop = fakeuia::FakeDesktop::create();
    WindowTable table(desktop->automation());
    ProcessRecord record{100, ProcessKind::Desktop, {}, {}};
    table.insert(runtimeId(42, 2), WindowEntry(record));
    WindowEntry& entry = table.insert(runtimeId(42, 1), WindowEntry(record));
    desktop->setComparisonFails(true);
    table.erase(entry);
    EXPECT_EQ(table.size(), 1u);
    EXPECT_EQ(table.entriesOfProcess(100).size(), 1u);
}

class SilentListener final : public ActivityMonitor {
public:
    void reportInitial(const std::vector<RunningApplicationInfo>&) override {}
    void reportStarted(DWORD, const std::wstring&, const std::wstring&) override {}
    void reportStopped(DWORD, const std::wstring&, const std::wstring&) override {}
};

// A sender whose answers throw, as the code behind a COM call may: taking a reference runs out
// of memory, asking its control type fails.
class ThrowingElement final : public fakeuia::NotImplementedElement {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void** object) override {
        *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override {
        if (throwOnAddRef) throw std::bad_alloc();
        return 2;
    }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE get_CurrentControlType(CONTROLTYPEID*) override { throw std::runtime_error("gone"); }

    bool throwOnAddRef = false;
};

// The handlers' exceptions end at their own boundary as the COM runtime's answers, instead of
// unwinding into the code that called them.
TEST(EventHandlers, AnswerAnExceptionWithAFailure) {
    const auto desktop = fakeuia::FakeDesktop::create();
    SilentListener listener;
    const auto monitor = ComPtr<Monitor>::attach(
        new Monitor(listener, [desktop] { return desktop->automation(); }, &isSystemFrameHost));
    monitor->start();
    ThrowingElement sender;
    sender.throwOnAddRef = true;
    EXPECT_EQ(monitor->HandleAutomationEvent(&sender, kWindowOpenedEvent), E_OUTOFMEMORY);

    sender.throwOnAddRef = false;
    ProcessRecord record{100, ProcessKind::FrameHost, {}, {}};
    WindowEntry entry(record);
    const std::shared_ptr<WorkQueue> queue = WorkQueue::start();
    const auto content = ComPtr<WindowContentMonitor>::attach(new WindowContentMonitor(entry, *monitor, queue));
    EXPECT_EQ(content->HandleStructureChangedEvent(&sender, StructureChangeType_ChildAdded, nullptr), E_FAIL);
    content->detach();
    queue->post([queue = queue.get()] { queue->stopRunning(); }).wait();
    monitor->stop();
}

}  // namespace
}  // namespace brisko::UIA
