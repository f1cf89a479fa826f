#include "system_events/suspend_resume.h"

#include <mutex>

#include "system_library.h"

namespace brisko {
namespace {

// A function of the system folder's User32.dll resolved on first use; the library stays loaded
// once found.
class RuntimeFunction {
public:
    explicit RuntimeFunction(const char* name) : name_(name) {}

    FARPROC get() {
        std::call_once(once_, [this] {
            HMODULE user32 = LoadSystemLibrary(L"User32.dll");
            if (!user32) return;
            address_ = ::GetProcAddress(user32, name_);
            if (!address_) ::FreeLibrary(user32);
        });
        return address_;
    }

private:
    const char* name_;
    std::once_flag once_;
    FARPROC address_ = nullptr;
};

RuntimeFunction registerFunction("RegisterSuspendResumeNotification");
RuntimeFunction unregisterFunction("UnregisterSuspendResumeNotification");

using RegisterType = HPOWERNOTIFY(WINAPI*)(HANDLE recipient, DWORD flags);
using UnregisterType = BOOL(WINAPI*)(HPOWERNOTIFY registration);

}  // namespace

UniqueSuspendResumeNotify RegisterSuspendResume(HWND window) {
    const auto registerNotification = reinterpret_cast<RegisterType>(reinterpret_cast<void (*)()>(registerFunction.get()));
    if (!registerNotification) return {};
    return UniqueSuspendResumeNotify(registerNotification(window, DEVICE_NOTIFY_WINDOW_HANDLE));
}

void UnregisterSuspendResume(HPOWERNOTIFY registration) noexcept {
    if (const auto unregisterNotification = reinterpret_cast<UnregisterType>(reinterpret_cast<void (*)()>(unregisterFunction.get())))
        unregisterNotification(registration);
}

}  // namespace brisko
