// Stands in for an agent that dies at once: it appends its process id to "exiting_agent.log"
// beside itself, so a test can count its launches.
#include <windows.h>

#include <string>

#include "executable_path.h"
#include "unique_handle.h"

int main() {
    const std::wstring log = brisko::siblingPath(L"exiting_agent.log");
    brisko::UniqueFile file(::CreateFileW(log.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                          OPEN_ALWAYS, 0, nullptr));
    if (!file) return 1;
    const std::string line = std::to_string(::GetCurrentProcessId()) + "\n";
    DWORD written = 0;
    ::WriteFile(file.get(), line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
    return 0;
}
