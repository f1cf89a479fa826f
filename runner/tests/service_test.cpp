// Install, update, delete, start and stop with the real harbeesrv.exe against the Wine prefix's
// service control manager; the registry is read back independently.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <windows.h>

#include <fstream>
#include <string>

#include "runner_test_support.h"
#include "service_fixture.h"

namespace {

using namespace runner_test;
using ::testing::HasSubstr;
using ::testing::Not;

constexpr wchar_t Service[] = L"HarbeeTestRunnerSvc";
constexpr wchar_t Spaced[] = L"Harbee Test Spaced";

class ServiceControl : public ::testing::Test {
protected:
    static std::wstring scm(const wchar_t* name, const wchar_t* service = Service) {
        const auto value = readRegistryValue(HKEY_LOCAL_MACHINE, serviceKey(service), name);
        return value ? (value->type == REG_DWORD ? std::to_wstring(value->number()) : value->entries()) : L"(none)";
    }
    static std::wstring stored(const wchar_t* subkey, const wchar_t* name) {
        const std::wstring path = runnerKey(Service) + L"\\Parameters" + (subkey ? std::wstring(L"\\") + subkey : L"");
        const auto value = readRegistryValue(HKEY_LOCAL_MACHINE, path, name);
        return value ? (value->type == REG_DWORD ? std::to_wstring(value->number()) : value->entries()) : L"(none)";
    }
    // Installs the test service program through the runner, with its pace in the manager's key.
    static void installTestService(const std::wstring& extra = {}) {
        const ProcessResult installed =
            runRunner(L"//IS//HarbeeTestRunnerSvc --Install=\"" + brisko::siblingPath(L"test_service.exe") + L"\" " + extra);
        ASSERT_EQ(installed.exitCode, 0u) << installed.error;
    }
    static void pace(const wchar_t* name, DWORD value) {
        writeRegistryValue(HKEY_LOCAL_MACHINE, serviceKey(Service) + L"\\Parameters", name, REG_DWORD, &value,
                           sizeof(value));
    }
    static bool waitForState(DWORD state, DWORD timeoutMs = 30000) {
        for (DWORD waited = 0; waited < timeoutMs; waited += 100) {
            if (serviceState(Service) == state) return true;
            ::Sleep(100);
        }
        return false;
    }

    ScratchFolder folder_{L"harbee service test"};
    TestServices services_{{Service, Spaced}};
};

TEST_F(ServiceControl, InstallRegistersTheRunnerWithItsOptions) {
    const ProcessResult result = runRunner(
        L"//IS//HarbeeTestRunnerSvc --DisplayName=Harbee \"--Description=Harbee test service\" --StartMode=jvm "
        L"--JvmOptions=-Xrs;-Dx=1 --DependsOn=HarbeeTestDependency");
    ASSERT_EQ(result.exitCode, 0u) << result.error;
    EXPECT_EQ(result.output, "Service 'HarbeeTestRunnerSvc' installed.\r\n");
    EXPECT_EQ(scm(L"ImagePath"), runnerPath() + L" //RS//HarbeeTestRunnerSvc");
    EXPECT_EQ(scm(L"DisplayName"), L"Harbee");
    EXPECT_EQ(scm(L"Description"), L"Harbee test service");
    EXPECT_EQ(scm(L"DependOnService"), L"HarbeeTestDependency|Tcpip");
    EXPECT_EQ(scm(L"Start"), L"3");
    EXPECT_EQ(scm(L"Type"), L"16");
    EXPECT_EQ(scm(L"ObjectName"), L"LocalSystem");
    EXPECT_EQ(stored(L"Start", L"Mode"), L"jvm");
    EXPECT_EQ(stored(L"Java", L"Options"), L"-Xrs|-Dx=1");
    EXPECT_EQ(stored(nullptr, L"DisplayName"), L"(none)");
}

TEST_F(ServiceControl, ExecutableAndNameWithSpacesAreQuoted) {
    const std::wstring copy = folder_.file(L"harbeesrv.exe");
    ASSERT_TRUE(::CopyFileW(runnerPath().c_str(), copy.c_str(), FALSE));
    const ProcessResult result =
        runProgram(copy, L"\"//IS//Harbee Test Spaced\" --Startup=AUTO --Type=interactive");
    ASSERT_EQ(result.exitCode, 0u) << result.error;
    EXPECT_EQ(scm(L"ImagePath", Spaced), L"\"" + copy + L"\" //RS//\"Harbee Test Spaced\"");
    EXPECT_EQ(scm(L"DependOnService", Spaced), L"Tcpip");
    EXPECT_EQ(scm(L"Start", Spaced), L"2");
    EXPECT_EQ(scm(L"Type", Spaced), L"272");
}

TEST_F(ServiceControl, AccountPasswordNeverReachesTheLog) {
    const std::wstring logs = folder_.file(L"logs");
    ProcessResult result = runRunner(L"//IS//HarbeeTestRunnerSvc --ServiceUser=.\\harbeetest "
                                     L"--ServicePassword=Sekr1t-Pa55 --LogLevel=debug \"--LogPath=" + logs + L"\"");
    ASSERT_EQ(result.exitCode, 0u) << result.error;
    EXPECT_EQ(scm(L"ObjectName"), L".\\harbeetest");
    result = runRunner(L"//US//HarbeeTestRunnerSvc --ServicePassword=Other-Pa55");
    ASSERT_EQ(result.exitCode, 0u) << result.error;

    const std::string log = readFile(logs + L"\\tamsin-daemon." + dateText() + L".log");
    EXPECT_THAT(log, HasSubstr("Setting service user .\\harbeetest"));
    EXPECT_THAT(log, HasSubstr("Setting service password"));
    EXPECT_THAT(log, HasSubstr("Update service finished."));
    EXPECT_THAT(log, Not(HasSubstr("Sekr1t-Pa55")));
    EXPECT_THAT(log, Not(HasSubstr("Other-Pa55")));
    EXPECT_EQ(stored(nullptr, L"ServicePassword"), L"(none)");
}

// The dependencies stay through an update that does not name them (Wine's manager drops them
// unless every change passes them), and DependsOn replaces them.
TEST_F(ServiceControl, UpdateChangesSettingsAndExtendsStoredLists) {
    ProcessResult result = runRunner(L"//IS//HarbeeTestRunnerSvc --DisplayName=First --JvmOptions=-Da;-Db "
                                     L"--DependsOn=HarbeeTestDependency");
    ASSERT_EQ(result.exitCode, 0u) << result.error;
    result = runRunner(L"//US//HarbeeTestRunnerSvc ++JvmOptions=-Dc --DisplayName=Second --Startup=auto "
                       L"--Description=Changed");
    ASSERT_EQ(result.exitCode, 0u) << result.error;
    EXPECT_EQ(result.output, "Service 'HarbeeTestRunnerSvc' updated.\r\n");
    EXPECT_EQ(scm(L"DependOnService"), L"HarbeeTestDependency|Tcpip");
    EXPECT_EQ(stored(L"Java", L"Options"), L"-Da|-Db|-Dc");
    EXPECT_EQ(scm(L"DisplayName"), L"Second");
    EXPECT_EQ(scm(L"Description"), L"Changed");
    EXPECT_EQ(scm(L"Start"), L"2");

    result = runRunner(L"update HarbeeTestRunnerSvc --Startup=manual --JvmOptions=-Dz --DependsOn=HarbeeOtherDependency");
    ASSERT_EQ(result.exitCode, 0u) << result.error;
    EXPECT_EQ(stored(L"Java", L"Options"), L"-Dz");
    EXPECT_EQ(scm(L"Start"), L"3");
    EXPECT_EQ(scm(L"DisplayName"), L"Second");
    EXPECT_EQ(scm(L"DependOnService"), L"HarbeeOtherDependency|Tcpip");
    result = runRunner(L"update HarbeeTestRunnerSvc --Description=Again");
    ASSERT_EQ(result.exitCode, 0u) << result.error;
    EXPECT_EQ(scm(L"DependOnService"), L"HarbeeOtherDependency|Tcpip");
}

TEST_F(ServiceControl, UpdatingAMissingServiceInstallsIt) {
    const ProcessResult result = runRunner(L"//US//HarbeeTestRunnerSvc --DisplayName=Fresh");
    ASSERT_EQ(result.exitCode, 0u) << result.error;
    EXPECT_EQ(scm(L"DisplayName"), L"Fresh");
    EXPECT_TRUE(registryKeyExists(HKEY_LOCAL_MACHINE, runnerKey(Service) + L"\\Parameters"));
}

TEST_F(ServiceControl, StartAndStopWaitWhileTheServiceMakesProgress) {
    installTestService();
    pace(L"StartHint", 3000);
    pace(L"StartDelay", 2500);
    pace(L"StartProgress", 1);
    pace(L"StopHint", 3000);
    pace(L"StopDelay", 2500);
    pace(L"StopProgress", 1);

    ProcessResult result = runRunner(L"//ES//HarbeeTestRunnerSvc");
    EXPECT_EQ(result.exitCode, 0u) << result.error;
    EXPECT_EQ(result.output, "Service 'HarbeeTestRunnerSvc' started.\r\n");
    EXPECT_EQ(serviceState(Service), static_cast<DWORD>(SERVICE_RUNNING));
    result = runRunner(L"//SS//HarbeeTestRunnerSvc");
    EXPECT_EQ(result.exitCode, 0u) << result.error;
    EXPECT_EQ(result.output, "Service 'HarbeeTestRunnerSvc' stopped.\r\n");
    EXPECT_EQ(serviceState(Service), static_cast<DWORD>(SERVICE_STOPPED));
    // Already stopped: the request is refused, and the service is where it was asked to be.
    result = runRunner(L"stop HarbeeTestRunnerSvc");
    EXPECT_EQ(result.exitCode, 0u) << result.error;
}

TEST_F(ServiceControl, ServiceWithoutProgressOrWaitHintIsGivenUpOn) {
    installTestService();
    pace(L"StartDelay", 8000);
    const ProcessResult result = runRunner(L"//ES//HarbeeTestRunnerSvc");
    EXPECT_EQ(result.exitCode, 5u);
    EXPECT_THAT(result.error, HasSubstr("Failed to start service"));
    // One round of 1 s, then the closing look a second later; the service itself takes 8 s.
    EXPECT_LT(result.elapsedMs, 6500u);
    EXPECT_TRUE(waitForState(SERVICE_RUNNING));
}

TEST_F(ServiceControl, StartingAPausedServiceContinuesIt) {
    installTestService();
    ASSERT_EQ(runRunner(L"//ES//HarbeeTestRunnerSvc").exitCode, 0u);
    {
        const UniqueServiceHandle service = openTestService(Service);
        SERVICE_STATUS status{};
        ASSERT_TRUE(::ControlService(service.get(), SERVICE_CONTROL_PAUSE, &status));
    }
    ASSERT_TRUE(waitForState(SERVICE_PAUSED));
    const ProcessResult result = runRunner(L"start HarbeeTestRunnerSvc");
    EXPECT_EQ(result.exitCode, 0u) << result.error;
    EXPECT_EQ(serviceState(Service), static_cast<DWORD>(SERVICE_RUNNING));
}

TEST_F(ServiceControl, DeleteStopsARunningServiceAndRemovesEveryKey) {
    installTestService();
    ASSERT_EQ(runRunner(L"//ES//HarbeeTestRunnerSvc").exitCode, 0u);
    ASSERT_EQ(serviceState(Service), static_cast<DWORD>(SERVICE_RUNNING));
    writeRegistryString(HKEY_CURRENT_USER, runnerKey(Service) + L"\\Parameters", L"User", L"someone");

    const ProcessResult result = runRunner(L"//DS//HarbeeTestRunnerSvc");
    EXPECT_EQ(result.exitCode, 0u) << result.error;
    EXPECT_EQ(result.output, "Service 'HarbeeTestRunnerSvc' deleted.\r\n");
    EXPECT_EQ(serviceState(Service), 0u);
    EXPECT_FALSE(registryKeyExists(HKEY_LOCAL_MACHINE, serviceKey(Service)));
    EXPECT_FALSE(registryKeyExists(HKEY_LOCAL_MACHINE, runnerKey(Service)));
    EXPECT_FALSE(registryKeyExists(HKEY_CURRENT_USER, runnerKey(Service)));
}

// The service's StdOutput and StdError are the service's own: start, stop, update, run and
// "//RS//" typed by hand answer on the console and leave what the service wrote there alone.
TEST_F(ServiceControl, CommandsTypedByHandKeepTheirConsoleAndTheServicesFiles) {
    const std::wstring output = folder_.file(L"output.txt");
    const std::wstring error = folder_.file(L"error.txt");
    installTestService(L"\"--StdOutput=" + output + L"\" \"--StdError=" + error + L"\"");
    for (const std::wstring& file : {output, error}) std::ofstream(brisko::wideToAnsi(file)) << "earlier run";
    const auto untouched = [&] { return readFile(output) == "earlier run" && readFile(error) == "earlier run"; };

    pace(L"StartDelay", 8000);
    ProcessResult result = runRunner(L"start HarbeeTestRunnerSvc");
    EXPECT_EQ(result.exitCode, 5u);
    EXPECT_THAT(result.error, HasSubstr("Failed to start service"));
    EXPECT_TRUE(untouched());
    ASSERT_TRUE(waitForState(SERVICE_RUNNING));
    result = runRunner(L"//SS//HarbeeTestRunnerSvc");
    EXPECT_EQ(result.exitCode, 0u) << result.error;
    EXPECT_TRUE(untouched());
    result = runRunner(L"//US//HarbeeTestRunnerSvc --Description=Changed");
    EXPECT_EQ(result.exitCode, 0u) << result.error;
    EXPECT_TRUE(untouched());
    result = runRunner(L"run HarbeeTestRunnerSvc");
    EXPECT_EQ(result.exitCode, 3u);
    EXPECT_THAT(result.error, HasSubstr("Failed to run service as console application"));
    EXPECT_TRUE(untouched());
    // Without the service manager the dispatcher refuses; a person reads why.
    result = runRunner(L"//RS//HarbeeTestRunnerSvc");
    EXPECT_EQ(result.exitCode, 4u);
    EXPECT_THAT(result.error, HasSubstr("Failed to run service"));
    EXPECT_TRUE(untouched());
}

}  // namespace
