#include "uia/window_table.h"

#include <utility>

namespace brisko::UIA {

std::uint32_t runtimeIdHash(std::span<const std::byte> data) {
    std::uint32_t hash = 0;
    for (const std::byte value : data) {
        const std::uint32_t single = (2166136261u ^ static_cast<std::uint32_t>(value)) * 16777619u;
        hash ^= single;
    }
    return hash;
}

RuntimeId& RuntimeId::operator=(RuntimeId&& other) noexcept {
    if (this != &other) {
        if (array_) ::SafeArrayDestroy(array_);
        array_ = std::exchange(other.array_, nullptr);
    }
    return *this;
}

RuntimeId::~RuntimeId() {
    if (array_) ::SafeArrayDestroy(array_);
}

SAFEARRAY** RuntimeId::put() {
    if (array_) ::SafeArrayDestroy(std::exchange(array_, nullptr));
    return &array_;
}

namespace {

std::span<const std::byte> arrayBytes(SAFEARRAY* array) {
    if (!array || array->cDims != 1 || !array->pvData) return {};
    const std::size_t count = array->rgsabound[0].cElements;
    return {static_cast<const std::byte*>(array->pvData), count * array->cbElements};
}

}  // namespace

std::size_t WindowTable::Hash::operator()(SAFEARRAY* runtimeId) const { return runtimeIdHash(arrayBytes(runtimeId)); }

bool WindowTable::Equal::operator()(SAFEARRAY* left, SAFEARRAY* right) const {
    // The stored key itself is found without asking: erasing an entry must not depend on a
    // call that can fail.
    if (left == right) return true;
    BOOL same = FALSE;
    return SUCCEEDED(automation->CompareRuntimeIds(left, right, &same)) && same;
}

WindowTable::WindowTable(ComPtr<IUIAutomation> automation)
    : automation_(std::move(automation)), windows_(8, Hash{}, Equal{automation_.get()}) {
    windows_.max_load_factor(1.0f);
}

WindowTable::~WindowTable() {
    for (auto& [runtimeId, entry] : windows_) {
        detachEntry(entry);
        ::SafeArrayDestroy(runtimeId);
    }
}

WindowEntry* WindowTable::find(SAFEARRAY* runtimeId) {
    const auto found = windows_.find(runtimeId);
    return found == windows_.end() ? nullptr : &found->second;
}

WindowEntry& WindowTable::insert(RuntimeId runtimeId, WindowEntry entry) {
    SAFEARRAY* key = runtimeId.get();
    const auto [position, inserted] = windows_.try_emplace(key, std::move(entry));
    if (inserted) {
        runtimeId.release();
        position->second.runtimeId = key;
    }
    return position->second;
}

void WindowTable::erase(WindowEntry& entry) {
    const auto found = windows_.find(entry.runtimeId);
    if (found == windows_.end()) return;
    SAFEARRAY* key = found->first;
    windows_.erase(found);
    ::SafeArrayDestroy(key);
}

std::vector<WindowEntry*> WindowTable::entriesOfProcess(DWORD processId) {
    std::vector<WindowEntry*> entries;
    for (auto& [runtimeId, entry] : windows_) {
        if (entry.process->processId == processId) entries.push_back(&entry);
    }
    return entries;
}

}  // namespace brisko::UIA
