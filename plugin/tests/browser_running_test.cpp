// BrowserRunning through the loaded plug-in, with copies of a waiting program started under
// browsers' names as this test's own user (who is the console user under Wine).
#include <gtest/gtest.h>

#include <cwctype>
#include <string>

#include "support_library.h"
#include "test_processes.h"

namespace brisko::testing {
namespace {

struct BrowserCase {
    const wchar_t* program;
    int running;
};

std::string TestName(const wchar_t* program) {
    std::string name;
    for (const wchar_t* c = program; *c; ++c) name += std::iswalnum(*c) ? static_cast<char>(*c) : '_';
    return name;
}

class BrowserRunningTest : public ::testing::TestWithParam<BrowserCase> {
protected:
    void SetUp() override { ASSERT_TRUE(support.loaded()); }
    SupportLibrary support;
};

TEST_F(BrowserRunningTest, NoBrowserNoAnswer) { EXPECT_EQ(support.browserRunning(), 0); }

TEST_P(BrowserRunningTest, CountsKnownBrowsersByTheirWholeName) {
    const BrowserCase& c = GetParam();
    ChildProcess program = ChildProcess::sibling(c.program);
    ASSERT_TRUE(program);
    ASSERT_NE(waitForChild(::GetCurrentProcessId(), c.program), 0u);
    EXPECT_EQ(support.browserRunning(), c.running);
    program.end();
    EXPECT_EQ(support.browserRunning(), 0);
}

INSTANTIATE_TEST_SUITE_P(Programs, BrowserRunningTest,
                         ::testing::Values(BrowserCase{L"firefox.exe", 1},
                                           BrowserCase{L"FireFox.EXE", 1},  // letter case does not matter
                                           BrowserCase{L"crazy browser.exe", 1},
                                           BrowserCase{L"xbbrowser.exe", 1},
                                           BrowserCase{L"chrome.exe", 1},
                                           BrowserCase{L"msedge.exe", 1},
                                           BrowserCase{L"brave.exe", 1},
                                           BrowserCase{L"vivaldi.exe", 1},
                                           BrowserCase{L"notepad.exe", 0},  // not in the table
                                           BrowserCase{L"firefox.exe.exe", 0},
                                           BrowserCase{L"myfirefox.exe", 0}),
                         [](const auto& info) { return TestName(info.param.program); });

}  // namespace
}  // namespace brisko::testing
