#pragma once
// The recording FWPUCLNT.DLL double as the tests see it, once the plug-in has loaded it.
#include <windows.h>

#include <sstream>
#include <string>
#include <vector>

#include "fwpuclnt_double/recorder.h"
#include "proc_address.h"

namespace brisko::testing {

class FirewallDouble {
public:
    // Null functions when the plug-in did not load the double.
    FirewallDouble() : module_(::GetModuleHandleW(L"fwpuclnt.dll")) {}

    bool loaded() const { return recordedCalls_ && engineContents_ && reset_ && forgetCalls_ && failCall_; }
    void reset() const { reset_(); }
    void forgetCalls() const { forgetCalls_(); }
    void failCall(const char* entryPoint, unsigned occurrence, DWORD result) const {
        failCall_(entryPoint, occurrence, result);
    }
    std::vector<std::string> calls() const { return Lines(recordedCalls_()); }
    std::vector<std::string> contents() const { return Lines(engineContents_()); }

private:
    static std::vector<std::string> Lines(const char* text) {
        std::vector<std::string> lines;
        std::istringstream stream(text);
        for (std::string line; std::getline(stream, line);) lines.push_back(line);
        return lines;
    }

    template <typename Function>
    Function find(const char* name) const {
        return module_ ? procAddress<Function>(module_, name) : nullptr;
    }

    HMODULE module_;
    RecordedCallsFunction recordedCalls_ = find<RecordedCallsFunction>(kRecordedCalls);
    EngineContentsFunction engineContents_ = find<EngineContentsFunction>(kEngineContents);
    ResetDoubleFunction reset_ = find<ResetDoubleFunction>(kResetDouble);
    ForgetCallsFunction forgetCalls_ = find<ForgetCallsFunction>(kForgetCalls);
    FailCallFunction failCall_ = find<FailCallFunction>(kFailCall);
};

}  // namespace brisko::testing
