#pragma once
// A stand-in for the shell's notification area: records every record the agent hands it, from
// the agent's thread, and fails the calls a test asks it to fail.
#include <windows.h>

#include <chrono>
#include <deque>
#include <mutex>
#include <string>
#include <vector>

#include "ui/tray_shell.h"

namespace brisko::testing {

struct ShellCall {
    DWORD message;
    NOTIFYICONDATAW data;
    std::chrono::steady_clock::time_point time;

    std::wstring infoTitle() const { return data.szInfoTitle; }
    std::wstring info() const { return data.szInfo; }
    // The empty balloon that clears the one shown.
    bool clearsBalloon() const { return message == NIM_MODIFY && infoTitle().empty() && info().empty(); }
};

class RecordingShell final : public TrayShell {
public:
    bool notifyIcon(DWORD message, NOTIFYICONDATAW& data) override {
        const std::lock_guard lock(mutex_);
        calls_.push_back({message, data, std::chrono::steady_clock::now()});
        if (failures_.empty()) return true;
        ::SetLastError(failures_.front());
        failures_.pop_front();
        return false;
    }

    // The next call fails with this last-error code.
    void failNext(DWORD error) {
        const std::lock_guard lock(mutex_);
        failures_.push_back(error);
    }

    std::vector<ShellCall> calls() const {
        const std::lock_guard lock(mutex_);
        return calls_;
    }

    std::vector<ShellCall> balloons() const {
        std::vector<ShellCall> modify;
        for (const ShellCall& call : calls())
            if (call.message == NIM_MODIFY) modify.push_back(call);
        return modify;
    }

private:
    mutable std::mutex mutex_;
    std::vector<ShellCall> calls_;
    std::deque<DWORD> failures_;
};

}  // namespace brisko::testing
