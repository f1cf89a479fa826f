// The monitor's building blocks: the COM base of its handlers and the window table's keys.
#include <gtest/gtest.h>

#include <array>

#include "fake_desktop.h"
#include "uia/com_class.h"
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

}  // namespace
}  // namespace brisko::UIA
