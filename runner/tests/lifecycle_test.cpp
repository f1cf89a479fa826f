// The runner running its worker, as the service control manager's service and in a console:
// child processes (child_worker.exe as the worker and the stop program, and as java.exe of a
// Java home), stop modes and time-outs, the pid file, the environment, and the failures that
// must end in a stopped service with their code.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <vector>

#include "lifecycle_fixture.h"
#include "text.h"

namespace {

using namespace runner_test;
using ::testing::HasSubstr;
using ::testing::Not;

constexpr DWORD ServiceSpecificError = ERROR_SERVICE_SPECIFIC_ERROR;

std::vector<std::string> recordLines(const std::wstring& path) { return lines(readFile(path)); }

// "{dir}" stands for the folder of the test's programs.
std::wstring withTestFolder(std::wstring text) {
    const std::wstring folder = brisko::siblingPath(L"");
    for (size_t at; (at = text.find(L"{dir}")) != std::wstring::npos;) text.replace(at, 5, folder);
    return text;
}

TEST_F(LifecycleTest, ExeWorkerUnderTheServiceManagerFromStartToStop) {
    const std::wstring record = file(L"record.txt");
    install(L"--StartMode=exe --StartImage=" + worker() + L" --StartPath=" + folder_.path() +
            L" --StartParams=--out=410a0d00ff42;--err=0a21;--record=" + record +
            L";--until-input-ends --StdOutput=" + file(L"out.txt") + L" --StdError=" + file(L"err.txt") +
            L" --PidFile=lifecycle.pid --Environment=HARBEE_TEST_VAR=%SystemRoot%-x --LibraryPath=C:\\harbee-lib");

    const ProcessResult started = command(L"//ES//");
    ASSERT_EQ(started.exitCode, 0u) << started.error;
    EXPECT_EQ(status().dwCurrentState, static_cast<DWORD>(SERVICE_RUNNING));
    ASSERT_TRUE(waitFor(record));
    ::Sleep(500);
    const std::vector<std::string> seen = recordLines(record);
    ASSERT_EQ(seen.size(), 5u);
    EXPECT_EQ(brisko::utf8ToWide(seen[1]), folder_.path());
    EXPECT_EQ(seen[2], "C:\\windows-x");
    EXPECT_TRUE(seen[3].starts_with("C:\\harbee-lib;")) << seen[3];
    EXPECT_EQ(readHeldFile(file(L"lifecycle.pid")), seen[4] + "\r\n");

    const ProcessResult stopped = command(L"//SS//");
    EXPECT_EQ(stopped.exitCode, 0u) << stopped.error;
    const SERVICE_STATUS end = status();
    EXPECT_EQ(end.dwCurrentState, static_cast<DWORD>(SERVICE_STOPPED));
    EXPECT_EQ(end.dwWin32ExitCode, 0u);
    EXPECT_FALSE(fileExists(file(L"lifecycle.pid")));

    // The runner's own first line, then exactly what the child wrote.
    const std::string output = readFile(file(L"out.txt"));
    EXPECT_THAT(output, HasSubstr("Tamsin Daemon wendrow stdout initialized\n"));
    EXPECT_TRUE(output.ends_with("initialized\n" + std::string("A\n\r\0\xff" "B", 6))) << output;
    EXPECT_TRUE(readFile(file(L"err.txt")).ends_with("stderr initialized\n\n!"));

    const std::string text = log();
    for (const char* line : {"Running 'HarbeeTestLifecycle' Service...", "Starting service...", "Service started in",
                             "Stopping service...", "Sending WM_CLOSE to worker", "Child process exit code 0",
                             "Service stop thread completed.", "reportServiceStatusE: 1, 0, 0, 0",
                             "Run service finished.", "Tamsin Daemon wendrow finished"})
        EXPECT_THAT(text, HasSubstr(line));
}

struct EndingCase {
    const char* name;
    std::wstring options;
    const char* logLine;
};

class WorkerIgnoringItsStop : public LifecycleTest, public ::testing::WithParamInterface<EndingCase> {};

// Ended because a stop was asked for: an ordinary stop, the child's own code only logged.
TEST_P(WorkerIgnoringItsStop, IsEndedAndTheServiceStopsWithoutFailure) {
    install(L"--StartImage=" + worker() + L" --StartParams=--ignore-input " + GetParam().options);
    ASSERT_EQ(command(L"//ES//").exitCode, 0u);
    const ProcessResult stopped = command(L"//SS//");
    EXPECT_EQ(stopped.exitCode, 0u) << stopped.error;
    const SERVICE_STATUS end = status();
    EXPECT_EQ(end.dwCurrentState, static_cast<DWORD>(SERVICE_STOPPED));
    EXPECT_EQ(end.dwWin32ExitCode, 0u);
    EXPECT_EQ(end.dwServiceSpecificExitCode, 0u);
    const std::string text = log();
    EXPECT_THAT(text, HasSubstr(GetParam().logLine));
    EXPECT_THAT(text, HasSubstr("The worker was ended by the stop; its exit code was 19640323"));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, WorkerIgnoringItsStop,
    ::testing::Values(EndingCase{"no_stop_and_no_time_out_closes_at_once", L"", "Sending WM_CLOSE to worker"},
                      EndingCase{"killed_after_its_time_out", L"--StopTimeout=2", "Worker was killed in"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(LifecycleTest, StopProgramEndsTheWorker) {
    const std::wstring signal = file(L"stop-now");
    install(L"--StartImage=" + worker() + L" --StartParams=--until-file=" + signal + L";--exit=9 --StopMode=exe" +
            L" --StopImage=" + worker() + L" --StopParams=--touch=" + signal + L" --StopTimeout=20");
    ASSERT_EQ(command(L"//ES//").exitCode, 0u);
    EXPECT_EQ(command(L"//SS//").exitCode, 0u);
    const SERVICE_STATUS end = status();
    EXPECT_EQ(end.dwCurrentState, static_cast<DWORD>(SERVICE_STOPPED));
    EXPECT_EQ(end.dwServiceSpecificExitCode, 9u);
    const std::string text = log();
    EXPECT_THAT(text, HasSubstr("Stop worker finished."));
    EXPECT_THAT(text, HasSubstr("Worker finished gracefully in"));
}

TEST_F(LifecycleTest, StopProgramThatHangsIsEndedAfterTheTimeOut) {
    install(L"--StartImage=" + worker() + L" --StartParams=--ignore-input --StopMode=exe --StopImage=" + worker() +
            L" --StopParams=--ignore-input --StopTimeout=2");
    ASSERT_EQ(command(L"//ES//").exitCode, 0u);
    const ProcessResult stopped = command(L"//SS//");
    EXPECT_EQ(stopped.exitCode, 0u) << stopped.error;
    EXPECT_EQ(status().dwCurrentState, static_cast<DWORD>(SERVICE_STOPPED));
    const std::string text = log();
    EXPECT_THAT(text, HasSubstr("Stop worker did not finish in 2000 ms"));
    EXPECT_THAT(text, HasSubstr("Worker was killed in"));
}

// The runner ended from outside (Task Manager, a crash) takes its worker with it: on Windows the
// restart after a failure would otherwise start a second worker beside the first.
TEST_F(LifecycleTest, AWorkerDoesNotOutliveARunnerThatIsEnded) {
    const std::wstring record = file(L"record.txt");
    install(L"--StartImage=" + worker() + L" --StartParams=--record=" + record + L";--ignore-input");
    std::wstring commandLine = L"\"" + runnerPath() + L"\" run " + LifecycleService;
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION info{};
    ASSERT_TRUE(::CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, CREATE_NEW_CONSOLE, nullptr,
                                 nullptr, &startup, &info));
    const brisko::UniqueHandle runner(info.hProcess);
    const brisko::UniqueHandle runnerThread(info.hThread);
    std::vector<std::string> seen;
    for (int i = 0; i < 300 && (seen = recordLines(record)).size() < 5; ++i) ::Sleep(100);
    ASSERT_EQ(seen.size(), 5u);
    const brisko::UniqueHandle child(::OpenProcess(SYNCHRONIZE | PROCESS_TERMINATE, FALSE, std::stoul(seen[4])));
    ASSERT_TRUE(child);

    ASSERT_TRUE(::TerminateProcess(runner.get(), 1));
    ASSERT_EQ(::WaitForSingleObject(runner.get(), 30000), WAIT_OBJECT_0);
    EXPECT_EQ(::WaitForSingleObject(child.get(), 10000), WAIT_OBJECT_0) << "the worker outlived its runner";
    ::TerminateProcess(child.get(), 0);
}

TEST_F(LifecycleTest, JavaModeRunsJavaOfTheHomeInItsBinFolder) {
    const std::wstring home = file(L"jdk");
    ::CreateDirectoryW(home.c_str(), nullptr);
    ::CreateDirectoryW((home + L"\\bin").c_str(), nullptr);
    ASSERT_TRUE(::CopyFileW(worker().c_str(), (home + L"\\bin\\java.exe").c_str(), FALSE));
    const std::wstring record = file(L"record.txt");
    install(L"--StartMode=java --JavaHome=" + home + L" --JvmOptions=--record=" + record +
            L" --JvmMx=64 --Classpath=core.jar --StartClass=com.example.Core --StartParams=--until-input-ends");
    ASSERT_EQ(command(L"//ES//").exitCode, 0u);
    ASSERT_TRUE(waitFor(record));
    EXPECT_EQ(command(L"//SS//").exitCode, 0u);
    const std::vector<std::string> seen = recordLines(record);
    ASSERT_GE(seen.size(), 2u);
    EXPECT_EQ(brisko::utf8ToWide(seen[0]), home + L"\\bin\\java.exe --record=" + record +
                                               L" -Xmx64m -Djava.class.path=core.jar com.example.Core --until-input-ends");
    EXPECT_EQ(brisko::utf8ToWide(seen[1]), home + L"\\bin");
}

TEST_F(LifecycleTest, PidFileHeldByAnotherRunnerStopsTheStartBeforeAnythingRuns) {
    const std::wstring record = file(L"record.txt");
    install(L"--StartImage=" + worker() + L" --StartParams=--record=" + record + L" --PidFile=held.pid");
    const brisko::UniqueFile held(::CreateFileW(file(L"held.pid").c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                                CREATE_ALWAYS, 0, nullptr));
    ASSERT_TRUE(held);
    const ProcessResult result = command(L"run");
    EXPECT_EQ(result.exitCode, 3u);
    EXPECT_THAT(log(), HasSubstr("Pid file '" + brisko::wideToUtf8(file(L"held.pid")) + "' exists"));
    EXPECT_THAT(log(), HasSubstr("ServiceStart returned 1"));
    ::Sleep(500);
    EXPECT_FALSE(fileExists(record)) << "the worker must not be launched";
}

struct FailureCase {
    const char* name;
    std::wstring options;
    std::vector<std::string> logLines;
    const char* standardError;
    // The end of standard error: the step named after the failure, and the system's text on the
    // line before only when a system call failed (0: no such line).
    std::wstring step;
    DWORD systemError;
};

class StartFailures : public LifecycleTest, public ::testing::WithParamInterface<FailureCase> {};

std::string systemLine(DWORD code) {
    wchar_t text[512] = L"";
    ::FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0, text, 512, nullptr);
    std::wstring line(text);
    while (!line.empty() && (line.back() == L'\n' || line.back() == L'\r')) line.pop_back();
    return brisko::wideToUtf8(line) + "\r\n";
}

// In a console the failure ends the run with its code, and standard error names the step that
// failed, never a system message left over from an earlier call.
TEST_P(StartFailures, EndTheRunNamingTheStep) {
    const FailureCase& c = GetParam();
    install(withTestFolder(c.options));
    const ProcessResult result = command(L"run");
    EXPECT_EQ(result.exitCode, 3u) << result.error;
    if (c.standardError) {
        EXPECT_THAT(result.error, HasSubstr(c.standardError));
    }
    const std::string failure =
        "Failed to run service as console application: " + brisko::wideToUtf8(withTestFolder(c.step)) + "\r\n";
    const std::string expected = (c.systemError ? systemLine(c.systemError) : "") + failure;
    EXPECT_TRUE(result.error.ends_with(expected)) << result.error << "\nexpected the end:\n" << expected;
    if (!c.systemError) {
        EXPECT_TRUE(result.error == failure || result.error.ends_with("\n" + failure)) << result.error;
    }
    const std::string text = log();
    for (const std::string& line : c.logLines) EXPECT_THAT(text, HasSubstr(line));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, StartFailures,
    ::testing::Values(
        FailureCase{"no_image", L"", {"Missing service ImageFile", "ServiceStart returned 1"},
                    "Service 'HarbeeTestLifecycle' is missing the ImageFile", L"Missing service ImageFile", 0},
        FailureCase{"image_that_does_not_exist", L"--StartImage=C:\\no\\such\\worker.exe",
                    {"Failed to execute process", "ServiceStart returned 5"}, nullptr, L"Failed to execute process",
                    ERROR_PATH_NOT_FOUND},
        FailureCase{"no_java_home", L"--StartMode=java --JavaHome=jre",
                    {"Unable to find Java Runtime Environment.", "Debug service finished with exit code 1"}, nullptr,
                    L"Unable to find Java Runtime Environment.", 0},
        FailureCase{"jvm_library_missing", L"--StartMode=jvm --Jvm=C:\\no\\such\\jvm.dll",
                    {"Invalid RuntimeLib specified 'C:\\no\\such\\jvm.dll'", "Failed creating java C:\\no\\such\\jvm.dll",
                     "ServiceStart returned 1"},
                    nullptr, L"Failed creating java C:\\no\\such\\jvm.dll", ERROR_FILE_NOT_FOUND},
        FailureCase{"jvm_library_without_entry_points", L"--StartMode=jvm --Jvm={dir}jvm_without_entries.dll",
                    {"Failed creating java", "ServiceStart returned 1"}, nullptr,
                    L"Failed creating java {dir}jvm_without_entries.dll", ERROR_PROC_NOT_FOUND},
        FailureCase{"jvm_that_cannot_be_created", L"--StartMode=jvm --Jvm={dir}jvm_failing_create.dll",
                    {"CreateJavaVM Failed", "Java Worker thread finished Main: with status=2", "Failed to start Java",
                     "ServiceStart returned 4"},
                    nullptr, L"Failed to start Java (the worker ended with status 2)", 0},
        FailureCase{"start_class_that_does_not_exist",
                    L"--StartMode=jvm --Jvm={dir}jvm.dll --Classpath={dir}jvm_test_classes.dll --StartClass=no.Such",
                    {"FindClass no/Such failed", "with status=4", "ServiceStart returned 4"}, nullptr,
                    L"Failed to start Java (the worker ended with status 4)", 0},
        FailureCase{"start_method_that_does_not_exist",
                    L"--StartMode=jvm --Jvm={dir}jvm.dll --Classpath={dir}jvm_test_classes.dll --StartClass=test.Main "
                    L"--StartMethod=nope",
                    {"Method 'static void nope(String[])' not found in Class test/Main", "ServiceStart returned 4"},
                    nullptr, L"Failed to start Java (the worker ended with status 4)", 0},
        FailureCase{"worker_ending_with_a_code", L"--StartImage={dir}child_worker.exe --StartParams=--exit=3",
                    {"Child process exit code 3", "Debug service finished with exit code 3"}, nullptr,
                    L"The worker ended with exit code 3", 0}),
    [](const auto& info) { return std::string(info.param.name); });

// The settings fail before the worker is started: the service manager still hears that the
// service stopped, and why.
TEST_F(LifecycleTest, AStartThatFailsBeforeTheWorkerStopsTheServiceWithItsCode) {
    install(L"--StartMode=java --JavaHome=jre");
    const ProcessResult result = command(L"//ES//");
    EXPECT_EQ(result.exitCode, 5u);
    const SERVICE_STATUS end = status();
    EXPECT_EQ(end.dwCurrentState, static_cast<DWORD>(SERVICE_STOPPED));
    EXPECT_EQ(end.dwWin32ExitCode, ServiceSpecificError);
    EXPECT_EQ(end.dwServiceSpecificExitCode, 1u);
    EXPECT_THAT(log(), HasSubstr("Unable to find Java Runtime Environment."));
}

TEST_F(LifecycleTest, AFailedStartUnderTheServiceManagerStopsTheServiceWithItsCode) {
    install(L"--StartMode=jvm --Jvm=" + brisko::siblingPath(L"jvm_failing_create.dll"));
    const ProcessResult result = command(L"//ES//");
    EXPECT_EQ(result.exitCode, 5u);
    const SERVICE_STATUS end = status();
    EXPECT_EQ(end.dwCurrentState, static_cast<DWORD>(SERVICE_STOPPED));
    EXPECT_EQ(end.dwWin32ExitCode, ServiceSpecificError);
    EXPECT_EQ(end.dwServiceSpecificExitCode, 4u);
}

}  // namespace
