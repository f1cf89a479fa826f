// Text rules of the library: the directory of a browser command, the autoconfig file names it
// writes and the known-browser match.
#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "install_dir.h"
#include "known_browsers.h"
#include "mozilla_autoconfig.h"
#include "text.h"

namespace brisko::testing {
namespace {

struct DirCase {
    const char* name;
    const wchar_t* command;
    std::optional<std::wstring> directory;
};

class InstallDirTest : public ::testing::TestWithParam<DirCase> {};

TEST_P(InstallDirTest, FindsTheDirectory) {
    const DirCase& c = GetParam();
    const auto found = InstallDirFromCommand(c.command);
    ASSERT_EQ(found.has_value(), c.directory.has_value());
    if (found) {
        EXPECT_EQ(std::wstring(*found), *c.directory);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Commands, InstallDirTest,
    ::testing::Values(
        DirCase{"QuotedWithArguments", LR"("C:\Program Files\Mozilla Firefox\firefox.exe" -osint -url "%1")",
                LR"(C:\Program Files\Mozilla Firefox\)"},
        DirCase{"PlainPath", LR"(C:\Program Files\SeaMonkey\seamonkey.exe)", LR"(C:\Program Files\SeaMonkey\)"},
        DirCase{"LeadingBlanks", L" \t\r\n\"C:\\ff\\firefox.exe\"", L"C:\\ff\\"},
        DirCase{"ForwardSlash", L"C:/apps/firefox/firefox.exe", L"C:/apps/firefox/"},
        DirCase{"UnquotedArgumentsWithSlash", LR"(C:\ff\firefox.exe -url http://x/y)", LR"(C:\ff\firefox.exe -url http://x/)"},
        DirCase{"UnclosedQuote", LR"("C:\ff\firefox.exe -url)", std::nullopt},
        DirCase{"NoSeparatorIsTheWholeToken", L"firefox.exe", L"firefox.exe"},
        DirCase{"SeparatorOnlyFirstIsNotTaken", L"\\firefox.exe", L"\\firefox.exe"},
        DirCase{"RootSeparatorAfterFirst", L"\\\\firefox.exe", L"\\\\"},
        DirCase{"EmptyQuotes", L"\"\" -url", std::nullopt},
        DirCase{"Blank", L"  \t ", std::nullopt},
        DirCase{"Empty", L"", std::nullopt},
        DirCase{"Null", nullptr, std::nullopt}),
    [](const auto& info) { return std::string(info.param.name); });

// The historical rows keep their places; today's browsers follow them.
TEST(KnownBrowsers, TableHasItsRowsAndEndsWithNull) {
    EXPECT_STREQ(KnownBrowsers[0], L"3b.exe");
    EXPECT_STREQ(KnownBrowsers[5], L"chromium.exe");
    EXPECT_STREQ(KnownBrowsers[8], L"firefox.exe");
    EXPECT_STREQ(KnownBrowsers[14], L"microsoftedge.exe");
    EXPECT_STREQ(KnownBrowsers[30], L"xbbrowser.exe");
    EXPECT_STREQ(KnownBrowsers[31], L"chrome.exe");
    EXPECT_STREQ(KnownBrowsers[32], L"msedge.exe");
    EXPECT_STREQ(KnownBrowsers[33], L"brave.exe");
    EXPECT_STREQ(KnownBrowsers[34], L"vivaldi.exe");
    EXPECT_EQ(KnownBrowsers[35], nullptr);
}

struct BrowserNameCase {
    const wchar_t* name;
    bool known;
};

TEST(KnownBrowsers, OnlyWholeNamesMatchIgnoringCase) {
    const BrowserNameCase cases[] = {
        {L"firefox.exe", true},        {L"FireFox.EXE", true},     {L"crazy browser.exe", true},
        {L"MicrosoftEdge.exe", true},  {L"xbbrowser.exe", true},   {L"3b.exe", true},
        {L"chrome.exe", true},         {L"msedge.exe", true},      {L"Brave.exe", true},
        {L"VIVALDI.EXE", true},        {L"chrome", false},         {L"msedge.exe.old", false},
        {L"firefox", false},           {L"firefox.exe ", false},   {L"firefox.exe.bak", false},
        {L"C:\\ff\\firefox.exe", false}, {L"notepad.exe", false},  {L"", false},
        {nullptr, false},
    };
    for (const auto& c : cases) EXPECT_EQ(IsKnownBrowser(c.name), c.known) << (c.name ? c.name : L"(null)");
}

MallocPtr<wchar_t> heapCopy(const wchar_t* text) {
    MallocPtr<wchar_t> copy(static_cast<wchar_t*>(std::malloc((std::wcslen(text) + 1) * sizeof(wchar_t))));
    std::wcscpy(copy.get(), text);
    return copy;
}

TEST(AutoconfigName, OnlyAPlainFileNameIsTaken) {
    const struct {
        const wchar_t* name;
        bool plain;
    } cases[] = {
        {L"velmora.cfg", true},
        {L"my autoconfig.cfg", true},
        {L"", false},
        {L".", false},
        {L"..", false},
        {L"..\\outside.cfg", false},
        {L"sub\\x.cfg", false},
        {L"sub/x.cfg", false},
        {L"C:\\x.cfg", false},
        {L"\\\\server\\share\\x.cfg", false},
        {L"c:x.cfg", false},
        {L"velmora.cfg:ads", false},
        {L"velmora.cfg::$DATA", false},
        {L"x.cfg:", false},
        {L":x.cfg", false},
    };
    for (const auto& c : cases) EXPECT_EQ(IsPlainAutoconfigName(c.name), c.plain) << wideToUtf8(c.name);
}

struct CandidateCase {
    const char* name;
    const wchar_t* consoleUser;  // null: any user
    bool packaged;
    const wchar_t* executable;
    const wchar_t* user;
    bool match;
};

TEST(KnownBrowsers, CandidateMatchesAKnownBrowserOfTheConsoleUser) {
    const CandidateCase cases[] = {
        {"SameUser", L"child", false, L"firefox.exe", L"child", true},
        {"UserDiffersInCaseOnly", L"Child", false, L"opera.exe", L"CHILD", true},
        {"OtherUser", L"child", false, L"firefox.exe", L"parent", false},
        {"AnyUserWithoutConsole", nullptr, false, L"firefox.exe", L"parent", true},
        {"LogonScreenMatchesNobody", L"", false, L"firefox.exe", L"child", false},
        {"PackagedNeverCounts", nullptr, true, L"MicrosoftEdge.exe", L"child", false},
        {"TodaysBrowser", L"child", false, L"msedge.exe", L"child", true},
        {"NotABrowser", L"child", false, L"notepad.exe", L"child", false},
    };
    for (const auto& c : cases) {
        BrowserSearch search;
        if (c.consoleUser) search.consoleUser = heapCopy(c.consoleUser);
        const ProcessCandidate candidate{c.packaged, 42, c.executable, nullptr, c.user};
        EXPECT_EQ(MatchBrowserCandidate(candidate, search), c.match) << c.name;
        EXPECT_EQ(search.found, c.match) << c.name;
    }
}

}  // namespace
}  // namespace brisko::testing
