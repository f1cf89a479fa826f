#pragma once
// The demo core's plain log: one line per thing it saw, "[HH:MM:SS.mmm @COUNTER] text", UTF-8,
// written through at once so that a test or a person can follow it while the core runs. COUNTER
// is the performance counter at the line, which the benchmarks compare with their own.
#include <windows.h>

#include <mutex>
#include <string>
#include <string_view>

#include "unique_handle.h"

namespace brisko::democore {

class CoreLog {
public:
    // Appends to the file; false when it cannot be opened.
    bool open(const std::wstring& path);
    void write(std::string_view text);

private:
    std::mutex lock_;
    UniqueFile file_;
};

}  // namespace brisko::democore
