// Log files: names, line layout, levels, rotation on a test clock, the default place, and two
// processes writing into one file.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <windows.h>

#include <cstdio>
#include <regex>
#include <string>
#include <vector>

#include "foundation/log_names.h"
#include "foundation/wide_format.h"
#include "runner_test_support.h"

namespace {

using runner_test::lines;
using runner_test::PoolScope;
using runner_test::readFile;
using runner_test::ScratchFolder;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::Not;

SYSTEMTIME FakeNow;
void fakeClock(SYSTEMTIME* now) { *now = FakeNow; }

SYSTEMTIME at(int day, int hour, int minute, int second) {
    SYSTEMTIME time{};
    time.wYear = 2024;
    time.wMonth = 3;
    time.wDay = static_cast<WORD>(day);
    time.wHour = static_cast<WORD>(hour);
    time.wMinute = static_cast<WORD>(minute);
    time.wSecond = static_cast<WORD>(second);
    return time;
}

std::string fileNameOf(const wchar_t* path) {
    const std::wstring text(path);
    return brisko::wideToAnsi(text.substr(text.rfind(L'\\') + 1));
}

TEST(LogFileNames, DateAndTimeFollowTheRotationInterval) {
    const struct {
        LONG rotate;
        BOOL rotated;
        const wchar_t* name;
    } cases[] = {
        {0, FALSE, L"\\p.2024-03-05.log"},          {86400, FALSE, L"\\p.2024-03-05.log"},
        {3600, FALSE, L"\\p.2024-03-05.000000.log"}, {86399, FALSE, L"\\p.2024-03-05.000000.log"},
        {3600, TRUE, L"\\p.2024-03-05.140709.log"},  {86400, TRUE, L"\\p.2024-03-05.log"},
        {-5, FALSE, L"\\p.2024-03-05.log"},
    };
    for (const auto& c : cases) {
        wchar_t name[64];
        ASSERT_TRUE(formatLogFileName(name, 64, L"p", at(5, 14, 7, 9), c.rotate, c.rotated));
        EXPECT_STREQ(name, c.name) << c.rotate << (c.rotated ? " rotated" : " opened");
    }
    wchar_t tooSmall[8];
    EXPECT_FALSE(formatLogFileName(tooSmall, 8, L"p", at(5, 0, 0, 0), 0, FALSE));
}

TEST(LogFileNames, PathsInTheLogDirectory) {
    ScratchFolder folder(L"harbee-log-paths");
    setLogClock(fakeClock);
    FakeNow = at(5, 14, 7, 9);
    wchar_t path[4096];
    ASSERT_TRUE(logFilePath(L"svc-stdout", folder.path().c_str(), TRUE, 0, path, 4096));
    EXPECT_EQ(std::wstring(path), folder.path() + L"\\svc-stdout.2024-03-05.log");
    ASSERT_TRUE(logFilePath(L"svc-stdout", folder.path().c_str(), TRUE, 3600, path, 4096));
    EXPECT_EQ(std::wstring(path), folder.path() + L"\\svc-stdout.2024-03-05.000000.log");
    ASSERT_TRUE(logFilePath(L"svc.pid", folder.path().c_str(), FALSE, 0, path, 4096));
    EXPECT_EQ(std::wstring(path), folder.path() + L"\\svc.pid");
    EXPECT_FALSE(logFilePath(L"svc.pid", std::wstring(5000, L'd').c_str(), FALSE, 0, path, 4096));
    setLogClock(nullptr);
}

TEST(LogDefaults, FileIsTamsinDaemonInTheOstrelFolderOfTheSystemDirectory) {
    PoolScope pools;
    LogFile* log = openLog(nullptr, nullptr, 0);
    wchar_t system[MAX_PATH];
    ::GetSystemDirectoryW(system, MAX_PATH);
    EXPECT_EQ(std::wstring(log->path),
              std::wstring(system) + L"\\LogFiles\\Ostrel\\tamsin-daemon." + runner_test::dateText() + L".log");
    const std::string marker = "default place " + std::to_string(::GetCurrentProcessId());
    LOG_INFO("%s", marker.c_str());
    EXPECT_THAT(readFile(log->path), HasSubstr(marker));
}

TEST(LogDefaults, UnwritableFolderLeavesMessagesOnStandardError) {
    PoolScope pools;
    LogFile* log = openLog(L"Q:\\no\\such\\drive", L"x", 0);
    EXPECT_EQ(log->file, nullptr);
    EXPECT_EQ(log->level, LOG_LEVEL_WARN);
    EXPECT_EQ(LOG_INFO("below the level of standard error"), 0);
}

class LogLines : public ::testing::Test {
protected:
    void SetUp() override {
        setLogClock(fakeClock);
        FakeNow = at(5, 6, 7, 8);
        log_ = openLog(folder_.path().c_str(), L"lines", 0);
        ASSERT_NE(log_->file, nullptr);
    }
    void TearDown() override { setLogClock(nullptr); }

    std::vector<std::string> written() const { return lines(readFile(log_->path)); }
    static std::string thread() {
        char text[16];
        std::snprintf(text, sizeof(text), "[%5lu] ", ::GetCurrentThreadId());
        return text;
    }
    static std::string source(int line) {
        char text[32];
        std::snprintf(text, sizeof(text), "(%10s:%-4d) ", "log_test.cpp", line);
        return text;
    }
    static std::string systemText(DWORD code) {
        char text[512] = "";
        ::FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0, text,
                         sizeof(text), nullptr);
        std::string result(text);
        while (!result.empty() && (result.back() == '\n' || result.back() == '\r')) result.pop_back();
        return result;
    }

    ScratchFolder folder_{L"harbee-log-lines"};
    PoolScope pools_;
    LogFile* log_ = nullptr;
};

TEST_F(LogLines, TimeTagThreadAndTextInThatOrder) {
    ::SetLastError(0);
    LOG_INFO("hello %d %S", 5, L"wide");
    LOG_WARN("careful");
    LOG_DEBUG("not at info level");
    const std::string stamp = "[2024-03-05 06:07:08] ";
    EXPECT_THAT(written(), ElementsAre(stamp + "[info]  " + thread() + "hello 5 wide", stamp + "[warn]  " + thread() + "careful"));
}

TEST_F(LogLines, DebugLevelAddsTheSourcePlace) {
    setLogLevel(L"DEBUG");
    ::SetLastError(0);
    const int line = __LINE__ + 1;
    LOG_DEBUG("with source");
    setLogLevel(L"verbose");
    LOG_DEBUG("still debug");
    setLogLevel(L"error");
    LOG_WARN("filtered");
    EXPECT_THAT(written(), ElementsAre("[2024-03-05 06:07:08] [debug] " + source(line) + thread() + "with source",
                                       "[2024-03-05 06:07:08] [debug] " + source(line + 2) + thread() + "still debug"));
}

TEST_F(LogLines, SystemTextFollowsErrorsAndTheLastErrorIsKept) {
    ::SetLastError(0);
    const int line = __LINE__ + 1;
    LOG_SYSTEM_ERROR();
    ::SetLastError(ERROR_ACCESS_DENIED);
    LOG_ERROR("could not %s", "open");
    EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    const std::string head = "[2024-03-05 06:07:08] [error] " + thread();
    EXPECT_THAT(written(), ElementsAre(head + "Unknown error code occured in (log_test.cpp:" + std::to_string(line) + ") ",
                                       head + "could not open", head + systemText(ERROR_ACCESS_DENIED)));
}

TEST_F(LogLines, EveryCharacterOfTheTextIsKept) {
    ::SetLastError(0);
    LOG_INFO("Service '%S' name %S, class %s", L"\u0422\u0435\u0441\u0442", L"\u03a9mega \u20ac \U0001F600", "a.B");
    EXPECT_THAT(written(), ElementsAre("[2024-03-05 06:07:08] [info]  " + thread() +
                                       brisko::wideToUtf8(L"Service '\u0422\u0435\u0441\u0442' name \u03a9mega \u20ac "
                                                          L"\U0001F600, class a.B")));
}

TEST(WideFormat, StringsAndCharactersKeepTheirSizes) {
    const struct {
        const char* format;
        const wchar_t* wide;
    } cases[] = {
        {"%s and %S", L"%hs and %ls"}, {"%10s:%-4d", L"%10hs:%-4d"}, {"%.*S", L"%.*ls"}, {"%c%C", L"%hc%lc"},
        {"100%% %s", L"100%% %hs"},     {"%hs %ls %ws", L"%hs %ls %ws"}, {"%I64d %I64s", L"%I64d %I64s"},
        {"%#08x %5lu", L"%#08x %5lu"},   {"trailing %", L"trailing %"},
    };
    for (const auto& c : cases) EXPECT_EQ(widenFormat(c.format), c.wide) << c.format;
}

TEST_F(LogLines, OneLineEndAndAtMost1024Characters) {
    ::SetLastError(0);
    LOG_INFO("ends with its own line end\r\n");
    LOG_INFO("%s", std::string(3000, 'x').c_str());
    const std::string text = readFile(log_->path);
    EXPECT_THAT(text, HasSubstr("ends with its own line end\r\n["));
    EXPECT_THAT(text, Not(HasSubstr("\r\n\r\n")));
    const std::vector<std::string> all = lines(text);
    ASSERT_EQ(all.size(), 2u);
    EXPECT_EQ(all[1].substr(all[1].find('x')), std::string(1024, 'x'));
}

class LogRotation : public ::testing::Test {
protected:
    void SetUp() override { setLogClock(fakeClock); }
    void TearDown() override { setLogClock(nullptr); }
    void write(const SYSTEMTIME& now, const char* text) {
        FakeNow = now;
        ::SetLastError(0);
        LOG_INFO("%s", text);
    }
    std::string file(const std::wstring& name) const { return readFile(folder_.file(name)); }

    ScratchFolder folder_{L"harbee-log-rotation"};
    PoolScope pools_;
};

TEST_F(LogRotation, HourlyLogMovesToAFileNamedForTheRotation) {
    FakeNow = at(5, 10, 0, 0);
    LogFile* log = openLog(folder_.path().c_str(), L"rot", 3600);
    EXPECT_EQ(fileNameOf(log->path), "rot.2024-03-05.000000.log");
    write(at(5, 10, 0, 0), "first");
    write(at(5, 10, 59, 59), "same hour");
    write(at(5, 11, 0, 0), "next file");
    write(at(5, 11, 30, 0), "still next");
    EXPECT_EQ(fileNameOf(log->path), "rot.2024-03-05.110000.log");
    EXPECT_THAT(lines(file(L"rot.2024-03-05.000000.log")),
                ElementsAre(HasSubstr("first"), HasSubstr("same hour")));
    EXPECT_THAT(lines(file(L"rot.2024-03-05.110000.log")),
                ElementsAre(HasSubstr("next file"), HasSubstr("still next")));
}

TEST_F(LogRotation, DailyRotationNamesTheNewDay) {
    FakeNow = at(5, 10, 0, 0);
    openLog(folder_.path().c_str(), L"daily", 86400);
    write(at(5, 23, 0, 0), "day five");
    write(at(6, 10, 0, 0), "day six");
    EXPECT_THAT(lines(file(L"daily.2024-03-05.log")), ElementsAre(HasSubstr("day five")));
    EXPECT_THAT(lines(file(L"daily.2024-03-06.log")), ElementsAre(HasSubstr("day six")));
}

TEST_F(LogRotation, NoRotationKeepsTheStartDateForEver) {
    FakeNow = at(5, 10, 0, 0);
    openLog(folder_.path().c_str(), L"never", 0);
    write(at(5, 10, 0, 0), "start");
    write(at(9, 10, 0, 0), "four days on");
    EXPECT_THAT(lines(file(L"never.2024-03-05.log")), ElementsAre(HasSubstr("start"), HasSubstr("four days on")));
    EXPECT_FALSE(runner_test::fileExists(folder_.file(L"never.2024-03-09.log")));
}

TEST(LogSharing, TwoProcessesWritingAtOnceLoseAndTearNoLine) {
    ScratchFolder folder(L"harbee-log-sharing");
    constexpr int Count = 3000;
    std::vector<std::wstring> tags{L"A", L"B"};
    std::vector<brisko::UniqueHandle> writers;
    for (const std::wstring& tag : tags) {
        std::wstring commandLine = L"\"" + brisko::siblingPath(L"log_writer.exe") + L"\" \"" + folder.path() +
                                   L"\" shared " + tag + L" " + std::to_wstring(Count);
        STARTUPINFOW startup{};
        startup.cb = sizeof(startup);
        PROCESS_INFORMATION info{};
        ASSERT_TRUE(::CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                                     &startup, &info));
        ::CloseHandle(info.hThread);
        writers.emplace_back(info.hProcess);
    }
    for (const auto& writer : writers) {
        ASSERT_EQ(::WaitForSingleObject(writer.get(), 120000), WAIT_OBJECT_0);
        DWORD code = 1;
        ::GetExitCodeProcess(writer.get(), &code);
        EXPECT_EQ(code, 0u);
    }

    const std::regex wellFormed(
        R"(\[\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\] \[info\]  \[ *\d+\] ([AB]) (\d{5}) the quick brown fox jumps over the lazy dog)");
    int next[2] = {0, 0};
    bool interleaved = false;
    char previous = 0;
    int switches = 0;
    const std::string text = readFile(folder.file(L"shared." + runner_test::dateText() + L".log"));
    for (const std::string& line : lines(text)) {
        std::smatch match;
        ASSERT_TRUE(std::regex_match(line, match, wellFormed)) << "torn line: " << line;
        const char tag = match[1].str()[0];
        EXPECT_EQ(std::stoi(match[2].str()), next[tag - 'A']++) << line;
        if (previous && previous != tag) ++switches;
        previous = tag;
    }
    interleaved = switches > 1;
    EXPECT_EQ(next[0], Count);
    EXPECT_EQ(next[1], Count);
    if (!interleaved) std::printf("note: the two writers did not overlap in this run\n");
}

}  // namespace
