// The rules of starting and stopping a worker that need no worker: the JVM's option list, the
// child's command line, the stop time-outs, the signal event's name and the modes.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <windows.h>

#include <shellapi.h>

#include <fstream>
#include <string>
#include <vector>

#include "java/java_worker.h"
#include "java/jvm_options.h"
#include "lifecycle/service_run.h"
#include "lifecycle/stop_rules.h"
#include "process/child_arguments.h"
#include "process/command_line.h"
#include "runner_test_support.h"
#include "text.h"

namespace {

using namespace runner_test;
using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using ::testing::UnorderedElementsAre;

struct QuoteCase {
    const char* option;
    const char* passed;
};

class OptionQuotes : public ::testing::TestWithParam<QuoteCase> {};

TEST_P(OptionQuotes, AreRemovedUnlessTheyHoldASpace) {
    EXPECT_EQ(stripOptionQuotes(GetParam().option), GetParam().passed);
}

INSTANTIATE_TEST_SUITE_P(Cases, OptionQuotes,
                         ::testing::Values(QuoteCase{"-Xrs", "-Xrs"}, QuoteCase{"-Dname=\"a b\"", "-Dname=\"a b\""},
                                           QuoteCase{"-Dname=\"ab\"", "-Dname=ab"},
                                           QuoteCase{"-Dname=\"ab\" x", "-Dname=ab x"},
                                           QuoteCase{"-Dname=\"a b", "-Dname=\"a b"},
                                           QuoteCase{"-Dname=\"ab", "-Dname=ab"}));

class ClassPath : public ::testing::Test {
protected:
    void SetUp() override {
        ::CreateDirectoryW(folder_.file(L"lib").c_str(), nullptr);
        for (const wchar_t* name : {L"lib\\a.jar", L"lib\\b.jar", L"lib\\notes.txt"})
            std::ofstream(brisko::wideToAnsi(folder_.file(name))) << "x";
    }
    std::string dir() const { return brisko::wideToAnsi(folder_.file(L"lib")); }
    static std::vector<std::string> elements(const std::string& option) {
        std::vector<std::string> result;
        std::string rest = option.substr(std::string("-Djava.class.path=").size());
        for (size_t start = 0; start <= rest.size();) {
            size_t end = rest.find(';', start);
            if (end == std::string::npos) end = rest.size();
            result.push_back(rest.substr(start, end - start));
            start = end + 1;
        }
        return result;
    }
    ScratchFolder folder_{L"harbee-classpath"};
};

TEST_F(ClassPath, AStarBecomesTheJarsOfItsFolder) {
    std::string option;
    ASSERT_TRUE(buildClassPathOption((dir() + "\\*;C:\\core\\core.dll").c_str(), &option));
    EXPECT_TRUE(option.starts_with("-Djava.class.path=")) << option;
    EXPECT_THAT(elements(option), UnorderedElementsAre(dir() + "\\a.jar", dir() + "\\b.jar", "C:\\core\\core.dll"));
}

TEST_F(ClassPath, AStarWithoutJarsAddsNothingAndPlainElementsStay) {
    ::CreateDirectoryW(folder_.file(L"empty").c_str(), nullptr);
    const std::string empty = brisko::wideToAnsi(folder_.file(L"empty"));
    std::string option;
    ASSERT_TRUE(buildClassPathOption(("a.jar;" + empty + "\\*;b").c_str(), &option));
    EXPECT_EQ(option, "-Djava.class.path=a.jar;b");
}

TEST_F(ClassPath, AStarInAMissingFolderIsInvalid) {
    std::string option;
    EXPECT_FALSE(buildClassPathOption((dir() + "\\missing\\*").c_str(), &option));
}

std::vector<std::string> optionTexts(const std::vector<JvmOption>& options) {
    std::vector<std::string> texts;
    for (const JvmOption& option : options) texts.push_back(option.text);
    return texts;
}

TEST(JvmOptions, ComeInTheirOrderWithTheHooks) {
    JavaWorkerParams params{};
    params.options = "-Xrs\0-Dname=\"ab\"\0";
    params.classPath = "core.dll";
    params.logJniMessages = 1;
    params.initialHeapMb = 16;
    params.maxHeapMb = 256;
    params.stackKb = 512;
    std::vector<JvmOption> options;
    ASSERT_TRUE(buildJvmOptions(&params, &options));
    EXPECT_THAT(optionTexts(options), ElementsAre("-Xrs", "-Dname=ab", "-Djava.class.path=core.dll", "vfprintf",
                                                  "exit", "-Xms16m", "-Xmx256m", "-Xss512k"));
    EXPECT_EQ(options[3].extraInfo, reinterpret_cast<void*>(jvmMessageHook));
    EXPECT_EQ(options[4].extraInfo, reinterpret_cast<void*>(jvmExitHook));
    EXPECT_EQ(options[0].extraInfo, nullptr);
}

TEST(JvmOptions, WithoutMessagesOrSizesOnlyTheExitHookIsAdded) {
    JavaWorkerParams params{};
    std::vector<JvmOption> options;
    ASSERT_TRUE(buildJvmOptions(&params, &options));
    EXPECT_THAT(optionTexts(options), ElementsAre("exit"));
}

TEST(JvmOptions, AnInvalidClassPathFailsTheList) {
    JavaWorkerParams params{};
    params.classPath = "C:\\no\\such\\folder\\*";
    std::vector<JvmOption> options;
    EXPECT_FALSE(buildJvmOptions(&params, &options));
}

struct JavaArgumentsCase {
    const char* name;
    const wchar_t* className;
    const wchar_t* options;
    LONG ms, mx, ss;
    const wchar_t* params;
    const wchar_t* classPath;
    std::vector<std::wstring> expected;
};

class JavaArguments : public ::testing::TestWithParam<JavaArgumentsCase> {};

TEST_P(JavaArguments, FollowTheirOrder) {
    const JavaArgumentsCase& c = GetParam();
    EXPECT_THAT(buildJavaArguments(c.className, c.options, c.ms, c.mx, c.ss, c.params, c.classPath),
                ElementsAreArray(c.expected));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, JavaArguments,
    ::testing::Values(
        JavaArgumentsCase{"everything", L"com.example.Core", L"-Xrs\0-Da=1\0", 16, 64, 256, L"start\0now\0",
                          L"lib\\*", {L"-Xrs", L"-Da=1", L"-Xms16m", L"-Xmx64m", L"-Xss256k",
                                      L"-Djava.class.path=lib\\*", L"com.example.Core", L"start", L"now"}},
        JavaArgumentsCase{"sizes_first_without_options", L"Main", nullptr, 0, 64, 0, nullptr, nullptr,
                          {L"-Xmx64m", L"Main"}},
        JavaArgumentsCase{"class_path_first_without_sizes", L"Main", nullptr, 0, 0, 0, nullptr, L"core.jar",
                          {L"-Djava.class.path=core.jar", L"Main"}},
        JavaArgumentsCase{"nothing", nullptr, nullptr, 0, 0, 0, nullptr, nullptr, {}}),
    [](const auto& info) { return std::string(info.param.name); });

// Arguments with blanks, quotes and backslashes in every position; CommandLineToArgvW reads a
// command line by the same rules as the child's C runtime.
const std::vector<std::wstring> TrickyArguments = {
    L"-Da=1", L"a b", L"tab\there", L"line\nbreak", L"", L"C:\\dir with space\\", L"C:\\dir\\", L"\"q x\"",
    L"a\"b", L"a\\\"b", L"a\\\\\"b", L"\\\\server\\share with space\\\\", L"\\\"", L"\"", L"\\", L"\"\"",
    L"a\\\\b c", L"x\\\\\\\" y\\", L"end\\\"",
};

std::vector<std::wstring> readBack(const std::wstring& commandLine) {
    int count = 0;
    wchar_t** argv = ::CommandLineToArgvW(commandLine.c_str(), &count);
    std::vector<std::wstring> result(argv, argv + (argv ? count : 0));
    ::LocalFree(argv);
    return result;
}

TEST(CommandLine, EveryArgumentComesBackAsItWasGiven) {
    for (const std::wstring program : {L"C:\\Program Files\\java.exe", L"worker.exe", L"C:\\tools\\", L""}) {
        for (const std::wstring& argument : TrickyArguments) {
            EXPECT_THAT(readBack(buildCommandLine(program, {argument})), ElementsAre(program, argument))
                << brisko::wideToUtf8(buildCommandLine(program, {argument}));
        }
        std::vector<std::wstring> all = {program};
        all.insert(all.end(), TrickyArguments.begin(), TrickyArguments.end());
        EXPECT_THAT(readBack(buildCommandLine(program, TrickyArguments)), ElementsAreArray(all));
    }
}

TEST(CommandLine, QuotesOnlyWhatNeedsIt) {
    EXPECT_EQ(buildCommandLine(L"C:\\Program Files\\java.exe", {L"-Da=1", L"a b", L"C:\\dir with space\\", L"a\"b"}),
              L"\"C:\\Program Files\\java.exe\" -Da=1 \"a b\" \"C:\\dir with space\\\\\" \"a\\\"b\"");
    EXPECT_EQ(buildCommandLine(L"worker.exe", {}), L"worker.exe");
}

struct TimeoutCase {
    const char* name;
    LONG stopTimeout;
    BOOL stopRan;
    int reason;
    DWORD killTimeout;
    DWORD expected;
};

class StopTimeouts : public ::testing::TestWithParam<TimeoutCase> {};

TEST_P(StopTimeouts, FollowTheRules) {
    const TimeoutCase& c = GetParam();
    EXPECT_EQ(finalStopTimeout(c.stopTimeout, c.stopRan, c.reason, c.killTimeout), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, StopTimeouts,
    ::testing::Values(TimeoutCase{"seconds", 30, TRUE, STOP_REASON_STOP, 20000, 30000},
                      TimeoutCase{"zero_after_a_stop_call_is_five_minutes", 0, TRUE, STOP_REASON_STOP, 20000, 300000},
                      TimeoutCase{"zero_without_a_stop_call_closes_at_once", 0, FALSE, STOP_REASON_STOP, 20000, 0},
                      TimeoutCase{"shutdown_is_held_to_the_kill_timeout", 600, TRUE, STOP_REASON_SHUTDOWN, 20000, 20000},
                      TimeoutCase{"shutdown_below_the_kill_timeout", 5, TRUE, STOP_REASON_SHUTDOWN, 20000, 5000},
                      TimeoutCase{"negative_is_no_limit", -1, TRUE, STOP_REASON_STOP, 20000, INFINITE},
                      TimeoutCase{"beyond_31_bits_is_no_limit", 5000000, TRUE, STOP_REASON_STOP, 20000, INFINITE},
                      TimeoutCase{"no_limit_on_shutdown_is_the_kill_timeout", -1, TRUE, STOP_REASON_SHUTDOWN, 20000,
                                  20000}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(SignalEvent, NameIsUpperCaseWithUnderscoresForSpaces) {
    wchar_t name[1024];
    ASSERT_TRUE(buildSignalEventName(L"Harbee svc 2", name, 1024));
    EXPECT_STREQ(name, L"Global\\HARBEE_SVC_2SIGNAL");
    EXPECT_FALSE(buildSignalEventName(std::wstring(2000, L'n').c_str(), name, 1024));
}

TEST(WorkerModes, FromTheirWords) {
    EXPECT_EQ(workerModeFor(L"JVM", FALSE), WORKER_MODE_JVM);
    EXPECT_EQ(workerModeFor(L"java", TRUE), WORKER_MODE_JAVA);
    EXPECT_EQ(workerModeFor(L"exe", FALSE), WORKER_MODE_EXE);
    EXPECT_EQ(workerModeFor(L"", FALSE), WORKER_MODE_EXE);
    EXPECT_EQ(workerModeFor(nullptr, FALSE), WORKER_MODE_EXE);
    EXPECT_EQ(workerModeFor(L"", TRUE), WORKER_MODE_NONE);
    EXPECT_EQ(workerModeFor(L"stop.exe", TRUE), WORKER_MODE_EXE);
}

}  // namespace
