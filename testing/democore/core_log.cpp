#include "core_log.h"

#include <cstdio>

namespace brisko::democore {

bool CoreLog::open(const std::wstring& path) {
    UniqueFile file(::CreateFileW(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                  nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return false;
    const std::lock_guard guard(lock_);
    file_ = std::move(file);
    return true;
}

void CoreLog::write(std::string_view text) {
    SYSTEMTIME now;
    ::GetLocalTime(&now);
    LARGE_INTEGER counter{};
    ::QueryPerformanceCounter(&counter);
    char stamp[48];
    std::snprintf(stamp, sizeof stamp, "[%02u:%02u:%02u.%03u @%lld] ", now.wHour, now.wMinute, now.wSecond,
                  now.wMilliseconds, static_cast<long long>(counter.QuadPart));
    const std::string line = stamp + std::string(text) + "\r\n";
    const std::lock_guard guard(lock_);
    if (!file_) return;
    DWORD written = 0;
    ::WriteFile(file_.get(), line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
}

}  // namespace brisko::democore
