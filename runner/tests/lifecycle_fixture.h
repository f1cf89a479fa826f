#pragma once
// A service of the real harbeesrv.exe for the lifecycle tests: installed with the options a test
// names, its log in a scratch folder, started and stopped through the runner, and removed with
// everything it left whatever the test's outcome.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "runner_test_support.h"
#include "service_fixture.h"

namespace runner_test {

constexpr wchar_t LifecycleService[] = L"HarbeeTestLifecycle";

class LifecycleTest : public ::testing::Test {
protected:
    std::wstring file(const std::wstring& name) const { return folder_.file(name); }
    std::wstring worker() const { return brisko::siblingPath(L"child_worker.exe"); }

    // The options every test shares, then its own.
    void install(const std::wstring& options) {
        const ProcessResult result = runRunner(std::wstring(L"//IS//") + LifecycleService + L" --LogPath=" +
                                               folder_.path() + L" --LogPrefix=lifecycle --LogLevel=debug " + options);
        ASSERT_EQ(result.exitCode, 0u) << result.error;
    }

    // "//ES//" and the name, or "run" and the name.
    ProcessResult command(const std::wstring& word) {
        return runRunner(word + (word.starts_with(L"//") ? L"" : L" ") + LifecycleService);
    }

    // A file another process holds open, deleted when it closes it (the pid file).
    static std::string readHeldFile(const std::wstring& path) {
        const brisko::UniqueFile file(::CreateFileW(path.c_str(), GENERIC_READ,
                                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                                    OPEN_EXISTING, 0, nullptr));
        char buffer[256];
        DWORD read = 0;
        if (!file || !::ReadFile(file.get(), buffer, sizeof(buffer), &read, nullptr)) return {};
        return std::string(buffer, read);
    }

    std::string log() const { return readFile(folder_.file(L"lifecycle." + dateText() + L".log")); }

    SERVICE_STATUS status() const {
        SERVICE_STATUS result{};
        const UniqueServiceHandle service = openTestService(LifecycleService, SERVICE_QUERY_STATUS);
        if (service) ::QueryServiceStatus(service.get(), &result);
        return result;
    }

    bool waitFor(const std::wstring& path, DWORD timeoutMs = 30000) const {
        for (DWORD waited = 0; waited < timeoutMs; waited += 100) {
            if (fileExists(path)) return true;
            ::Sleep(100);
        }
        return false;
    }

    ScratchFolder folder_{L"harbee-lifecycle"};
    TestServices services_{{LifecycleService}};
};

}  // namespace runner_test
