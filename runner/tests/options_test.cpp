// The command line and the "WR_" environment into the option table, and the number and list
// syntaxes on their own.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <utility>
#include <vector>

#include "options/cmdline.h"
#include "options/value_syntax.h"
#include "runner_test_support.h"

namespace {

using runner_test::Environment;
using runner_test::PoolScope;
using runner_test::ScratchFolder;
using ::testing::HasSubstr;

// A row as text: strings as they are, lists as "a|b", numbers in decimal; then the state bits.
std::wstring rowText(OptionIndex index) {
    const OptionEntry& row = OptionTable[index];
    std::wstring text;
    if (row.flags & OPT_MULTI) {
        for (const wchar_t* entry = row.stringValue; entry && *entry; entry += wcslen(entry) + 1)
            text += (text.empty() ? L"" : L"|") + std::wstring(entry);
    } else if (row.flags & OPT_NUMBER) {
        text = std::to_wstring(row.numberValue);
    } else if (row.stringValue) {
        text = row.stringValue;
    }
    if (row.flags & OPT_SET) text += L" [set]";
    if (row.flags & OPT_APPEND) text += L" [append]";
    return text;
}

struct RowExpect {
    OptionIndex index;
    std::wstring text;
};

struct ParseCase {
    const char* name;
    std::vector<std::wstring> arguments;
    Environment environment;
    int command;                  // 0: the arguments are refused; -1: the environment is
    std::wstring serviceName;     // empty: the executable's base name
    std::vector<RowExpect> rows;  // every other row must stay unset
    std::string message;          // logged when refused
};

class ParseCommandLine : public ::testing::TestWithParam<ParseCase> {
protected:
    void SetUp() override {
        log_ = openLog(folder_.path().c_str(), L"options", 0);
        for (const auto& [name, value] : GetParam().environment) ::SetEnvironmentVariableW(name.c_str(), value.c_str());
    }
    void TearDown() override {
        for (const auto& [name, value] : GetParam().environment) ::SetEnvironmentVariableW(name.c_str(), nullptr);
    }
    std::string logText() const { return runner_test::readFile(log_->path); }

    ScratchFolder folder_{L"harbee-options"};
    PoolScope pools_;
    LogFile* log_ = nullptr;
};

TEST_P(ParseCommandLine, FillsTheTable) {
    const ParseCase& c = GetParam();
    std::vector<std::wstring> arguments{L"harbeesrv.exe"};
    arguments.insert(arguments.end(), c.arguments.begin(), c.arguments.end());
    std::vector<wchar_t*> argv;
    for (std::wstring& argument : arguments) argv.push_back(argument.data());

    CommandLine* commandLine = parseCommandLine(static_cast<int>(argv.size()), argv.data());
    if (!c.command) {
        EXPECT_EQ(commandLine, nullptr);
        EXPECT_THAT(logText(), HasSubstr(c.message));
        return;
    }
    ASSERT_NE(commandLine, nullptr) << logText();
    if (c.command < 0) {
        EXPECT_FALSE(applyEnvironmentOptions(commandLine));
        EXPECT_THAT(logText(), HasSubstr(c.message));
        return;
    }
    EXPECT_TRUE(applyEnvironmentOptions(commandLine));
    EXPECT_EQ(commandLine->command, c.command);
    EXPECT_EQ(std::wstring(commandLine->serviceName),
              c.serviceName.empty() ? std::wstring(commandLine->exeName) : c.serviceName);
    std::vector<bool> expected(OPTION_COUNT, false);
    for (const RowExpect& row : c.rows) {
        EXPECT_EQ(rowText(row.index), row.text) << "option " << brisko::wideToAnsi(OptionTable[row.index].name);
        expected[row.index] = true;
    }
    for (int i = 0; i < OPTION_COUNT; ++i) {
        if (!expected[i]) {
            EXPECT_FALSE(OptionTable[i].flags & OPT_SET) << brisko::wideToAnsi(OptionTable[i].name);
        }
    }
}

const std::wstring LongValue(9000, L'x');

INSTANTIATE_TEST_SUITE_P(
    Cases, ParseCommandLine,
    ::testing::Values(
        ParseCase{"no_arguments_run_the_executable_s_service", {}, {}, COMMAND_RUN, L"", {}, ""},
        ParseCase{"two_characters_run_and_read_nothing", {L"ab", L"--DisplayName=X"}, {}, COMMAND_RUN, L"", {}, ""},
        ParseCase{"dash_h_asks_for_help", {L"-h"}, {}, COMMAND_HELP, L"", {}, ""},
        ParseCase{"slash_question_mark_asks_for_help", {L"/?"}, {}, COMMAND_HELP, L"", {}, ""},
        ParseCase{"double_dash_help_asks_for_help", {L"--help", L"--DisplayName=X"}, {}, COMMAND_HELP, L"", {}, ""},
        ParseCase{"short_code_and_name", {L"//IS//MySvc", L"--DisplayName=X"}, {}, COMMAND_INSTALL, L"MySvc",
                  {{OPTION_DISPLAY_NAME, L"X [set]"}}, ""},
        ParseCase{"short_code_alone", {L"//IS"}, {}, COMMAND_INSTALL, L"", {}, ""},
        ParseCase{"short_code_without_name", {L"//IS//"}, {}, COMMAND_INSTALL, L"", {}, ""},
        ParseCase{"extra_slashes_before_the_name", {L"//IS///MySvc"}, {}, COMMAND_INSTALL, L"MySvc", {}, ""},
        ParseCase{"help_code", {L"//?"}, {}, COMMAND_HELP, L"", {}, ""},
        ParseCase{"word_and_name_starting_with_a_digit", {L"install", L"1abc"}, {}, COMMAND_INSTALL, L"1abc", {}, ""},
        ParseCase{"word_then_option", {L"install", L"--Jvm=auto"}, {}, COMMAND_INSTALL, L"",
                  {{OPTION_JVM, L"auto [set]"}}, ""},
        ParseCase{"name_with_a_slash_is_taken_as_given", {L"install", L"a/b"}, {}, COMMAND_INSTALL, L"a/b", {}, ""},
        ParseCase{"word_is_case_sensitive", {L"Install"}, {}, 0, L"", {}, "Unrecognized cmd option Install"},
        ParseCase{"pause_without_seconds_is_no_command", {L"pause"}, {}, 0, L"", {}, "Unrecognized cmd option pause"},
        ParseCase{"unknown_short_code_reported_as_cut", {L"//XX//Svc"}, {}, 0, L"", {}, "Unrecognized cmd option //XX\r"},
        ParseCase{"option_name_is_case_sensitive", {L"install", L"--jvm=x"}, {}, 0, L"", {},
                  "Unrecognized program option --jvm=x"},
        ParseCase{"option_without_value", {L"install", L"--StopTimeout"}, {}, 0, L"", {},
                  "Unrecognized program option --StopTimeout"},
        ParseCase{"value_in_the_next_argument", {L"install", L"--StopTimeout", L"30"}, {}, COMMAND_INSTALL, L"",
                  {{OPTION_STOP_TIMEOUT, L"30 [set]"}}, ""},
        ParseCase{"value_holding_an_equals_sign", {L"//IS//S", L"--DisplayName=a=b"}, {}, COMMAND_INSTALL, L"S",
                  {{OPTION_DISPLAY_NAME, L"a=b [set]"}}, ""},
        ParseCase{"list_split_at_semicolons", {L"//IS//S", L"--JvmOptions=-Xrs;-Dx=1"}, {}, COMMAND_INSTALL, L"S",
                  {{OPTION_JVM_OPTIONS, L"-Xrs|-Dx=1 [set]"}}, ""},
        ParseCase{"single_quotes_keep_a_semicolon", {L"//IS//S", L"--JvmOptions='-Dx=a;b'"}, {}, COMMAND_INSTALL,
                  L"S", {{OPTION_JVM_OPTIONS, L"-Dx=a;b [set]"}}, ""},
        ParseCase{"double_quotes_are_kept", {L"//IS//S", L"--JvmOptions=-Dn=\"a;b c\";-Dy"}, {}, COMMAND_INSTALL,
                  L"S", {{OPTION_JVM_OPTIONS, L"-Dn=\"a;b c\"|-Dy [set]"}}, ""},
        ParseCase{"two_arguments_give_two_entries", {L"//IS//S", L"--JvmOptions=-Da", L"--JvmOptions=-Db"}, {},
                  COMMAND_INSTALL, L"S", {{OPTION_JVM_OPTIONS, L"-Da|-Db [set]"}}, ""},
        ParseCase{"hash_separates_and_empty_entries_are_left_out", {L"//IS//S", L"--DependsOn=;A#B;;C;"}, {},
                  COMMAND_INSTALL, L"S", {{OPTION_DEPENDS_ON, L"A|B|C [set]"}}, ""},
        ParseCase{"plus_plus_appends_to_the_stored_list", {L"//US//S", L"++JvmOptions=-Da"}, {}, COMMAND_UPDATE, L"S",
                  {{OPTION_JVM_OPTIONS, L"-Da [set] [append]"}}, ""},
        ParseCase{"minus_minus_after_plus_plus_replaces", {L"//US//S", L"++JvmOptions=a", L"--JvmOptions=b"}, {},
                  COMMAND_UPDATE, L"S", {{OPTION_JVM_OPTIONS, L"b [set]"}}, ""},
        ParseCase{"password_is_marked_but_kept_nowhere", {L"//IS//S", L"--Password=secret"}, {}, COMMAND_INSTALL, L"S",
                  {{OPTION_PASSWORD, L" [set]"}}, ""},
        ParseCase{"parsing_stops_at_the_first_non_option", {L"//IS//S", L"--DisplayName=X", L"stray",
                  L"--Description=Y"}, {}, COMMAND_INSTALL, L"S", {{OPTION_DISPLAY_NAME, L"X [set]"}}, ""},
        ParseCase{"numbers_as_a_person_writes_them", {L"//IS//S", L"--Rotate= 3600 ", L"--JvmMx=-1", L"--JvmMs="},
                  {}, COMMAND_INSTALL, L"S",
                  {{OPTION_ROTATE, L"3600 [set]"}, {OPTION_JVM_MX, L"-1 [set]"}, {OPTION_JVM_MS, L"0 [set]"}}, ""},
        ParseCase{"number_with_a_unit_is_refused", {L"//IS//S", L"--StopTimeout=30s"}, {}, 0, L"", {},
                  "Invalid number '30s' for --StopTimeout"},
        ParseCase{"number_after_letters_is_refused", {L"//IS//S", L"--JvmMx=a12"}, {}, 0, L"", {},
                  "Invalid number 'a12' for --JvmMx"},
        ParseCase{"number_beyond_32_bits_is_refused", {L"//IS//S", L"--Rotate=99999999999"}, {}, 0, L"", {},
                  "Invalid number '99999999999' for --Rotate"},
        ParseCase{"largest_stop_timeout", {L"//IS//S", L"--StopTimeout=2147483"}, {}, COMMAND_INSTALL, L"S",
                  {{OPTION_STOP_TIMEOUT, L"2147483 [set]"}}, ""},
        ParseCase{"stop_timeout_a_wait_cannot_hold_is_refused", {L"//IS//S", L"--StopTimeout=2147484"}, {}, 0, L"",
                  {}, "Invalid --StopTimeout '2147484': seconds from 0 to 2147483"},
        ParseCase{"negative_stop_timeout_is_refused", {L"//IS//S", L"--StopTimeout=-1"}, {}, 0, L"", {},
                  "Invalid --StopTimeout '-1': seconds from 0 to 2147483"},
        ParseCase{"very_long_value", {L"//IS//S", L"--Description=" + LongValue}, {}, COMMAND_INSTALL, L"S",
                  {{OPTION_DESCRIPTION, LongValue + L" [set]"}}, ""},
        ParseCase{"environment_string_beats_the_command_line", {L"//IS//S", L"--StartClass=FromCommandLine"},
                  {{L"WR_StartClass", L"FromEnvironment"}}, COMMAND_INSTALL, L"S",
                  {{OPTION_START_CLASS, L"FromEnvironment [set]"}}, ""},
        ParseCase{"environment_number", {L"//IS//S"}, {{L"WR_JvmMx", L"512"}}, COMMAND_INSTALL, L"S",
                  {{OPTION_JVM_MX, L"512 [set]"}}, ""},
        ParseCase{"environment_number_with_junk_is_refused", {L"//IS//S"}, {{L"WR_StopTimeout", L"30s"}}, -1, L"S",
                  {}, "Invalid number '30s' for WR_StopTimeout"},
        ParseCase{"environment_list_replaces_and_appends_to_the_stored_one", {L"//IS//S", L"--JvmOptions=-Dcmd"},
                  {{L"WR_JvmOptions", L"-Da;'-Db;c'"}}, COMMAND_INSTALL, L"S",
                  {{OPTION_JVM_OPTIONS, L"-Da|-Db;c [set] [append]"}}, ""},
        ParseCase{"environment_value_too_long_is_ignored", {L"//IS//S"},
                  {{L"WR_Description", std::wstring(8191, L'y')}}, COMMAND_INSTALL, L"S", {}, ""},
        ParseCase{"environment_value_just_short_enough", {L"//IS//S"}, {{L"WR_LogPrefix", std::wstring(8190, L'y')}},
                  COMMAND_INSTALL, L"S", {{OPTION_LOG_PREFIX, std::wstring(8190, L'y') + L" [set]"}}, ""},
        ParseCase{"environment_never_sets_the_password", {L"//IS//S"}, {{L"WR_Password", L"secret"}},
                  COMMAND_INSTALL, L"S", {}, ""}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ParseCommandLineExecutable, NameLosesExeAndArchitectureSuffixes) {
    PoolScope pools;
    wchar_t program[] = L"harbeesrv.exe";
    wchar_t* argv[] = {program};
    CommandLine* commandLine = parseCommandLine(1, argv);
    ASSERT_NE(commandLine, nullptr);
    const std::wstring path = brisko::executablePath();
    EXPECT_EQ(std::wstring(commandLine->exeDir), path.substr(0, path.rfind(L'\\')));
    EXPECT_EQ(std::wstring(commandLine->exeName), L"runner_options_test");
}

TEST(ParseNumber, OnlyTheTrailingDigitsCount) {
    const struct {
        const wchar_t* text;
        LONG value;
    } cases[] = {
        {nullptr, 0},          {L"", 0},          {L"10", 10},           {L"  10", 10},
        {L"10 ", 0},           {L"5m", 0},        {L"a12", 12},          {L"-5", -5},
        {L"-", 0},             {L"000123", 123},  {L"2147483647", 2147483647},
        {L"2147483648", 2147483647},              {L"-2147483648", -2147483647 - 1},
        {L"99999999999999999999", 2147483647},    {L"-99999999999", -2147483647 - 1},
    };
    for (const auto& c : cases) EXPECT_EQ(parseNumber(c.text), c.value) << (c.text ? brisko::wideToAnsi(c.text) : "null");
}

TEST(ListText, PacksEntriesWithTwoNulsAtTheEnd) {
    PoolScope pools;
    const struct {
        const wchar_t* text;
        std::wstring packed;
    } cases[] = {
        {L"a;b", std::wstring(L"a\0b\0\0", 5)},
        {L"a#b", std::wstring(L"a\0b\0\0", 5)},
        {L"'a;b'", std::wstring(L"a;b\0\0", 5)},
        {L"\"a#b\"", std::wstring(L"\"a#b\"\0\0", 7)},
        {L"it's;x", std::wstring(L"its;x\0\0", 7)},
        {L";;", std::wstring(L"\0\0", 2)},
        {L"", std::wstring(L"\0\0", 2)},
    };
    for (const auto& c : cases) {
        LONG bytes = 0;
        const wchar_t* list = appendListText(MainPool, nullptr, c.text, &bytes);
        ASSERT_NE(list, nullptr);
        EXPECT_EQ(std::wstring(list, c.packed.size()), c.packed) << brisko::wideToAnsi(c.text);
        EXPECT_EQ(bytes, static_cast<LONG>(c.packed.size() * sizeof(wchar_t))) << brisko::wideToAnsi(c.text);
    }
}

TEST(ListText, JoinedListsKeepTheFirstEntriesFirst) {
    PoolScope pools;
    LONG bytes = 0;
    const wchar_t* first = appendListText(MainPool, nullptr, L"-Xrs;-Dx=1", &bytes);
    const wchar_t* second = appendListText(MainPool, nullptr, L"-Da", &bytes);
    const wchar_t* joined = joinLists(MainPool, first, second, &bytes);
    EXPECT_EQ(std::wstring(joined, 16), std::wstring(L"-Xrs\0-Dx=1\0-Da\0\0", 16));
    EXPECT_EQ(bytes, 32);
    EXPECT_EQ(std::wstring(joinLists(MainPool, nullptr, second, &bytes), 5), std::wstring(L"-Da\0\0", 5));
}

}  // namespace
