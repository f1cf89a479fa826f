#pragma once
// The recording FWPUCLNT.DLL double as the tests see it, once the plug-in has loaded it from the
// prefix's system folder (where the support_firewall_double fixture placed it).
#include <windows.h>

#include <cwchar>
#include <sstream>
#include <string>
#include <vector>

#include "fwpuclnt_double/recorder.h"
#include "proc_address.h"

namespace brisko::testing {

class FirewallDouble {
public:
    // False until the plug-in has loaded the double (the plug-in loads it at its first firewall
    // call), or when what it loaded is not the double.
    bool loaded() const {
        return find<RecordedCallsFunction>(kRecordedCalls) && find<EngineContentsFunction>(kEngineContents) &&
               find<ResetDoubleFunction>(kResetDouble) && find<ForgetCallsFunction>(kForgetCalls) &&
               find<FailCallFunction>(kFailCall);
    }
    // Where the loaded library lies, for messages.
    static std::wstring path() {
        wchar_t file[MAX_PATH];
        const HMODULE module = ::GetModuleHandleW(L"fwpuclnt.dll");
        return module ? std::wstring(file, ::GetModuleFileNameW(module, file, MAX_PATH)) : L"(not loaded)";
    }
    static bool inSystemFolder() {
        wchar_t folder[MAX_PATH];
        const UINT length = ::GetSystemDirectoryW(folder, MAX_PATH);
        const std::wstring file = path();
        return length > 0 && file.size() > length && _wcsnicmp(file.c_str(), folder, length) == 0 &&
               file[length] == L'\\' && file.find(L'\\', length + 1) == std::wstring::npos;
    }

    void reset() const { find<ResetDoubleFunction>(kResetDouble)(); }
    void forgetCalls() const { find<ForgetCallsFunction>(kForgetCalls)(); }
    void failCall(const char* entryPoint, unsigned occurrence, DWORD result) const {
        find<FailCallFunction>(kFailCall)(entryPoint, occurrence, result);
    }
    std::vector<std::string> calls() const { return Lines(find<RecordedCallsFunction>(kRecordedCalls)()); }
    std::vector<std::string> contents() const { return Lines(find<EngineContentsFunction>(kEngineContents)()); }

private:
    static std::vector<std::string> Lines(const char* text) {
        std::vector<std::string> lines;
        std::istringstream stream(text);
        for (std::string line; std::getline(stream, line);) lines.push_back(line);
        return lines;
    }

    template <typename Function>
    static Function find(const char* name) {
        const HMODULE module = ::GetModuleHandleW(L"fwpuclnt.dll");
        return module ? procAddress<Function>(module, name) : nullptr;
    }
};

}  // namespace brisko::testing
