// Stands in for an agent (or an application) that keeps running until it is ended, or until its
// event "brisko-idle-agent-<own pid>" is set: a launched agent cannot be ended by its tests.
#include <windows.h>

#include <string>

int main() {
    const std::wstring name = L"brisko-idle-agent-" + std::to_wstring(::GetCurrentProcessId());
    const HANDLE exit = ::CreateEventW(nullptr, TRUE, FALSE, name.c_str());
    ::WaitForSingleObject(exit, INFINITE);
    return 0;
}
