#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "core_settings.h"

namespace brisko::democore {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

TEST(CoreSettings, ReadsEveryParameter) {
    const SettingsResult result =
        ParseCoreSettings({L"agent=C:\\p\\agent.exe", L"log=C:\\l\\core.log", L"refuse=win32:Notepad.exe",
                           L"refuse=winpkg:A.B_1", L"refuse-file=C:\\r.txt", L"password=s=cret", L"proxy=proxy.lan:3128",
                           L"announce-logon", L"relisten-event=Soak-Relisten"});
    EXPECT_THAT(result.problems, IsEmpty());
    const CoreSettings& s = result.settings;
    EXPECT_EQ(s.agentPath, L"C:\\p\\agent.exe");
    EXPECT_EQ(s.logPath, L"C:\\l\\core.log");
    EXPECT_THAT(s.refused, ElementsAre(L"win32:notepad.exe", L"winpkg:a.b_1"));
    EXPECT_EQ(s.refusedFile, L"C:\\r.txt");
    EXPECT_EQ(s.password, std::optional<std::wstring>(L"s=cret"));
    ASSERT_TRUE(s.proxy);
    EXPECT_EQ(s.proxy->host, "proxy.lan");
    EXPECT_EQ(s.proxy->port, 3128);
    EXPECT_TRUE(s.announceLogon);
    EXPECT_EQ(s.relistenEvent, L"Soak-Relisten");
}

TEST(CoreSettings, DefaultsAndEmptyValues) {
    const SettingsResult none = ParseCoreSettings({});
    EXPECT_EQ(none.settings.logPath, L"democore.log");
    EXPECT_EQ(none.settings.agentPath, L"");
    EXPECT_FALSE(none.settings.password);
    EXPECT_FALSE(none.settings.announceLogon);
    const SettingsResult empty = ParseCoreSettings({L"agent=", L"password="});
    EXPECT_THAT(empty.problems, IsEmpty());
    EXPECT_EQ(empty.settings.password, std::optional<std::wstring>(L"")) << "an empty password is a password";
}

TEST(CoreSettings, ReportsWhatItDoesNotUnderstand) {
    const SettingsResult result =
        ParseCoreSettings({L"agents=x", L"log=", L"refuse", L"proxy=host", L"proxy=host:0", L"proxy=:80",
                           L"proxy=h:65536", L"proxy=h:8o", L"announce-logon=yes", L"relisten-event=",
                           L""});
    EXPECT_THAT(result.problems, ElementsAre(L"agents=x", L"log=", L"refuse", L"proxy=host", L"proxy=host:0",
                                             L"proxy=:80", L"proxy=h:65536", L"proxy=h:8o", L"announce-logon=yes",
                                             L"relisten-event=", L""));
    EXPECT_FALSE(result.settings.proxy);
}

TEST(RefusedList, OneIdentifierALineWithoutBlanksOrComments) {
    EXPECT_THAT(ParseRefusedList(L"  win32:Game.exe \r\n# comment\n\n\twinpkg:x\r\nwin32:last.exe"),
                ElementsAre(L"win32:game.exe", L"win32:last.exe", L"winpkg:x"));
    EXPECT_THAT(ParseRefusedList(L""), IsEmpty());
}

}  // namespace
}  // namespace brisko::democore
