// The real harbeesrv.exe from its command line to its exit code, standard error and files.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <windows.h>

#include <regex>
#include <string>
#include <vector>

#include "runner_test_support.h"

namespace {

using namespace runner_test;
using ::testing::HasSubstr;
using ::testing::IsEmpty;
using ::testing::Not;

struct ExitCase {
    const char* name;
    std::wstring arguments;
    Environment environment;
    DWORD exitCode;
    std::vector<std::string> errorTexts;
};

class ExitCodes : public ::testing::TestWithParam<ExitCase> {};

TEST_P(ExitCodes, CommandLineGivesItsCodeAndMessages) {
    const ExitCase& c = GetParam();
    const ProcessResult result = runRunner(c.arguments, c.environment);
    EXPECT_EQ(result.exitCode, c.exitCode) << result.error;
    // Standard error is in text mode here: its "\n" arrive as "\r\n".
    std::string error = result.error;
    std::erase(error, '\r');
    for (const std::string& text : c.errorTexts) EXPECT_THAT(error, HasSubstr(text));
}

const std::wstring Missing = L"HarbeeNoSuchService";
const std::wstring LongText(9000, L'v');

INSTANTIATE_TEST_SUITE_P(
    Cases, ExitCodes,
    ::testing::Values(
        ExitCase{"help", L"help", {}, 0,
                 {"Usage: harbeesrv command [ServiceName] [--options]\n", "  help                   This page\n",
                  "  pause   [Num Seconds]  Sleep for n Seconds (defaults to 60)\n", "  Options:\n  --Description\n",
                  "  --PidFile\n  --Rotate\n"}},
        ExitCase{"help_code", L"//?", {}, 0, {"Usage: harbeesrv"}},
        ExitCase{"version", L"version", {}, 0, {"Tamsin Daemon Service Runner version 1.0.0.0/Win"}},
        ExitCase{"version_code", L"//VS//", {}, 0, {"Tamsin Daemon Service Runner version"}},
        ExitCase{"pause_code_alone", L"//PP", {}, 0, {}},
        ExitCase{"pause_word", L"pause 1", {}, 0, {}},
        ExitCase{"unknown_word", L"Install", {}, 1, {"Unrecognized cmd option Install", "Invalid command line arguments"}},
        ExitCase{"pause_without_seconds", L"pause", {}, 1,
                 {"Unrecognized cmd option pause", "Invalid command line arguments"}},
        ExitCase{"unknown_option", L"install --jvm=x", {}, 1, {"Unrecognized program option --jvm=x"}},
        ExitCase{"option_without_value", L"install --StopTimeout", {}, 1,
                 {"Unrecognized program option --StopTimeout"}},
        ExitCase{"start_without_stored_options", L"start " + Missing, {}, 2,
                 {"The system cannot find the Registry key for service 'HarbeeNoSuchService'", "Load configuration failed"}},
        ExitCase{"stop_without_stored_options", L"//SS//" + Missing, {}, 2, {"Load configuration failed"}},
        ExitCase{"run_without_stored_options", L"run " + Missing, {}, 2, {"Load configuration failed"}},
        ExitCase{"service_without_stored_options", L"//RS//" + Missing, {}, 2, {"Load configuration failed"}},
        ExitCase{"two_characters_run_the_executable_s_service", L"-h", {}, 2,
                 {"The system cannot find the Registry key for service 'harbeesrv'"}},
        ExitCase{"install_name_with_a_slash", L"install a/b", {}, 8,
                 {"Service 'a/b' contains invalid character '/'\n", "\nFailed to install service\n"}},
        ExitCase{"install_name_outside_the_code_page", L"install \u0422\u0435\u0441\u0442/\u03a9", {}, 8,
                 {brisko::wideToUtf8(L"Service '\u0422\u0435\u0441\u0442/\u03a9' contains invalid character '/'\n")}},
        ExitCase{"install_name_too_long", L"//IS//" + std::wstring(300, L'n'), {}, 8,
                 {"Service name too long nnnn", "Failed to install service"}},
        ExitCase{"update_name_with_a_slash", L"//US//a/b", {}, 7,
                 {"contains invalid character '/'", "Failed to update service parameters"}},
        ExitCase{"delete_missing_service", L"delete " + Missing, {}, 9,
                 {"Unable to delete 'HarbeeNoSuchService' service", "Failed to delete service"}},
        ExitCase{"very_long_option_value", L"version --Description=" + LongText, {}, 0, {"version"}},
        ExitCase{"very_long_environment_value", L"version", {{L"WR_LogPath", LongText}}, 0, {"version"}},
        ExitCase{"very_long_log_folder", L"version --LogPath=C:\\" + LongText, {}, 0,
                 {"Unable to create logger at", "Tamsin Daemon Service Runner version"}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ProgramFailures, StandardErrorEndsWithTheSystemTextAndTheFailure) {
    const ProcessResult result = runRunner(L"//IS//bad:name");
    EXPECT_EQ(result.exitCode, 8u);
    EXPECT_TRUE(std::regex_search(result.error, std::regex("[^\r\n]+\r\nFailed to install service\r\n$")))
        << result.error;
}

TEST(ProgramPause, SleepsTheSecondsAfterTheCode) {
    const ProcessResult result = runRunner(L"//PP//2");
    EXPECT_EQ(result.exitCode, 0u);
    EXPECT_GE(result.elapsedMs, 1900u);
    EXPECT_THAT(result.error, IsEmpty());
}

class StandardStreams : public ::testing::Test {
protected:
    std::wstring dated(const std::wstring& name) const { return folder_.file(name + L"." + dateText() + L".log"); }
    ScratchFolder folder_{L"harbee-streams"};
};

TEST_F(StandardStreams, AutoAppendsToADatedFileAndStandardErrorFollows) {
    for (int run = 0; run < 2; ++run) {
        const ProcessResult result = runRunner(L"version \"--LogPath=" + folder_.path() + L"\" --StdOutput=AUTO");
        ASSERT_EQ(result.exitCode, 0u);
        EXPECT_THAT(result.error, Not(HasSubstr("Tamsin Daemon Service Runner")));
    }
    const std::string text = readFile(dated(L"harbeesrv-stdout"));
    EXPECT_EQ(std::regex_search(text, std::regex("Service Runner version[^]*Service Runner version")), true) << text;
    EXPECT_FALSE(fileExists(dated(L"harbeesrv-stderr")));
}

TEST_F(StandardStreams, NamedFilesAreEmptiedAtEveryStart) {
    const std::wstring output = folder_.file(L"out.txt");
    const std::wstring error = folder_.file(L"err.txt");
    for (const std::wstring& file : {output, error}) {
        const brisko::UniqueFile old(::CreateFileW(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
        DWORD written = 0;
        ::WriteFile(old.get(), "old content", 11, &written, nullptr);
    }
    const ProcessResult result = runRunner(L"version \"--LogPath=" + folder_.path() + L"\" \"--StdOutput=" + output +
                                           L"\" \"--StdError=" + error + L"\"");
    ASSERT_EQ(result.exitCode, 0u);
    EXPECT_EQ(readFile(output), "");
    EXPECT_THAT(readFile(error), HasSubstr("Tamsin Daemon Service Runner version"));
    EXPECT_THAT(readFile(error), Not(HasSubstr("old content")));
}

TEST_F(StandardStreams, AutoStandardErrorAlone) {
    const ProcessResult result = runRunner(L"help \"--LogPath=" + folder_.path() + L"\" --StdError=auto");
    ASSERT_EQ(result.exitCode, 0u);
    EXPECT_THAT(readFile(dated(L"harbeesrv-stderr")), HasSubstr("Usage: harbeesrv"));
    EXPECT_FALSE(fileExists(dated(L"harbeesrv-stdout")));
}

TEST_F(StandardStreams, LogAndItsLinesForACommand) {
    const ProcessResult result = runRunner(L"version \"--LogPath=" + folder_.path() +
                                           L"\" --LogPrefix=runner --LogLevel=debug --Rotate=3600");
    ASSERT_EQ(result.exitCode, 0u);
    const std::string log = readFile(folder_.file(L"runner." + dateText() + L".000000.log"));
    EXPECT_THAT(log, HasSubstr("Tamsin Daemon wendrow log initialized"));
    EXPECT_THAT(log, HasSubstr("Log will rotate each 3600 seconds."));
    EXPECT_THAT(log, HasSubstr("Tamsin Daemon wendrow (1.0.0.0 "));
    EXPECT_THAT(log, HasSubstr("Tamsin Daemon wendrow finished"));
}

}  // namespace
