#pragma once
// The windows the monitor follows, keyed by their UI Automation runtime ids.
#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <unordered_map>
#include <utility>
#include <vector>

#include "com_ptr.h"
#include "identification/process_record.h"
#include "uia/uia_interfaces.h"
#include "uia/window_monitors.h"

namespace brisko::UIA {

struct WindowEntry {
    explicit WindowEntry(ProcessRecord& process, ComPtr<IUIAutomationElement> element = {})
        : process(&process), element(std::move(element)) {}

    ProcessRecord* process;  // held in the process table
    bool minimized = false;
    ComPtr<IUIAutomationElement> element;
    ComPtr<WindowContentMonitor> contentMonitor;
    ComPtr<WindowVisibilityMonitor> visibilityMonitor;
    SAFEARRAY* runtimeId = nullptr;  // the table's key, owned by the table
    // A window of another process inside a top-level window goes with it: it follows the
    // host's visual state and leaves the table with it.
    WindowEntry* host = nullptr;
    std::vector<WindowEntry*> hosted;

    // A counted window makes its process a running application.
    bool counted() const { return !minimized && process->kind != ProcessKind::FrameHost; }
};

// XOR over every byte of the 32-bit FNV-1a hash of that byte alone.
std::uint32_t runtimeIdHash(std::span<const std::byte> data);

// Owns a runtime id returned by GetRuntimeId.
class RuntimeId {
public:
    RuntimeId() = default;
    explicit RuntimeId(SAFEARRAY* array) : array_(array) {}
    RuntimeId(RuntimeId&& other) noexcept : array_(std::exchange(other.array_, nullptr)) {}
    RuntimeId& operator=(RuntimeId&& other) noexcept;
    ~RuntimeId();

    SAFEARRAY* get() const { return array_; }
    SAFEARRAY** put();
    SAFEARRAY* release() { return std::exchange(array_, nullptr); }

private:
    SAFEARRAY* array_ = nullptr;
};

class WindowTable {
public:
    explicit WindowTable(ComPtr<IUIAutomation> automation);
    // Releases every element and handler and detaches the handlers from their entries.
    ~WindowTable();
    WindowTable(const WindowTable&) = delete;
    WindowTable& operator=(const WindowTable&) = delete;

    WindowEntry* find(SAFEARRAY* runtimeId);
    // The entry's address stays valid until it is erased.
    WindowEntry& insert(RuntimeId runtimeId, WindowEntry entry);
    void erase(WindowEntry& entry);

    std::vector<WindowEntry*> entriesOfProcess(DWORD processId);
    std::size_t size() const { return windows_.size(); }

private:
    struct Hash {
        std::size_t operator()(SAFEARRAY* runtimeId) const;
    };
    struct Equal {
        IUIAutomation* automation;
        bool operator()(SAFEARRAY* left, SAFEARRAY* right) const;
    };

    ComPtr<IUIAutomation> automation_;
    std::unordered_map<SAFEARRAY*, WindowEntry, Hash, Equal> windows_;
};

// Detaches a handler from its entry; defined with the handlers.
void detachEntry(WindowEntry& entry);

}  // namespace brisko::UIA
