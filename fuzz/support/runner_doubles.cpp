// Pool blocks from malloc (zero-filled where poolAlloc promises it), every one recorded so that a
// target frees them after each input; log lines formatted and dropped, so that a format and its
// arguments still have to agree.
#include "runner_doubles.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cwchar>
#include <unordered_set>

#include "foundation/log.h"
#include "foundation/pool.h"

namespace {

std::unordered_set<void*>& liveBlocks() {
    static std::unordered_set<void*> blocks;
    return blocks;
}

void* recorded(void* block) {
    if (block) liveBlocks().insert(block);
    return block;
}

}  // namespace

Pool* MainPool = nullptr;

void* poolAlloc(Pool*, size_t size) { return recorded(std::calloc(1, size ? size : 1)); }

void* poolAllocRaw(Pool*, size_t size) { return recorded(std::malloc(size ? size : 1)); }

void poolFree(void* block) {
    if (liveBlocks().erase(block)) std::free(block);
}

wchar_t* poolStrdup(Pool* pool, const wchar_t* text) {
    if (!text) return nullptr;
    const size_t length = std::wcslen(text);
    auto* copy = static_cast<wchar_t*>(poolAllocRaw(pool, (length + 1) * sizeof(wchar_t)));
    std::wmemcpy(copy, text, length + 1);
    return copy;
}

void releaseFuzzPool() {
    for (void* block : liveBlocks()) std::free(block);
    liveBlocks().clear();
}

int logMessage(LogFile*, int, BOOL, const char*, int, const char* format, ...) {
    char line[4096];
    va_list arguments;
    va_start(arguments, format);
    const int length = std::vsnprintf(line, sizeof line, format, arguments);
    va_end(arguments);
    return length;
}

void readLogClock(SYSTEMTIME* now) { *now = SYSTEMTIME{2024, 2, 4, 29, 23, 59, 58, 999}; }
