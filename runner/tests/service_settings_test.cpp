// What the runner tells the service control manager, worked out without it. The failure actions
// in particular: Wine's manager accepts them but neither keeps nor applies them.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "runner_test_support.h"
#include "service/service_settings.h"

namespace {

TEST(ServiceSettings, RestartFiveSecondsAfterAFailureCountedPerDay) {
    SERVICE_FAILURE_ACTIONSW actions{};
    SC_ACTION restart{};
    fillRestartOnFailure(&actions, &restart);
    EXPECT_EQ(actions.dwResetPeriod, 86400u);
    EXPECT_EQ(actions.lpRebootMsg, nullptr);
    EXPECT_EQ(actions.lpCommand, nullptr);
    ASSERT_EQ(actions.cActions, 1u);
    EXPECT_EQ(actions.lpsaActions, &restart);
    EXPECT_EQ(restart.Type, SC_ACTION_RESTART);
    EXPECT_EQ(restart.Delay, 5000u);
}

TEST(ServiceSettings, NamesRefuseControlCharactersAndPathSigns) {
    const struct {
        const wchar_t* name;
        wchar_t bad;
    } cases[] = {{L"", 0},       {L"Harbee Svc-1.x", 0}, {L"a/b", L'/'}, {L"a\\b", L'\\'}, {L"a:b", L':'},
                 {L"a<b", L'<'}, {L"a|b", L'|'},         {L"a?b", L'?'}, {L"a*b", L'*'},   {L"a\"b", L'"'},
                 {L"a\x1D", L'\x1D'}, {L"a\x1E", 0}};
    for (const auto& c : cases) EXPECT_EQ(invalidServiceNameCharacter(c.name), c.bad) << brisko::wideToAnsi(c.name);
}

TEST(ServiceSettings, ImagePathQuotesWhatHoldsASpace) {
    const struct {
        const wchar_t* executable;
        const wchar_t* name;
        const wchar_t* image;
    } cases[] = {
        {L"C:\\Harbee\\harbeesrv.exe", L"Svc", L"C:\\Harbee\\harbeesrv.exe //RS//Svc"},
        {L"C:\\Program Files\\Harbee\\harbeesrv.exe", L"My Svc",
         L"\"C:\\Program Files\\Harbee\\harbeesrv.exe\" //RS//\"My Svc\""},
        {L"\"C:\\Program Files\\harbeesrv.exe\" --x", L"Svc", L"\"C:\\Program Files\\harbeesrv.exe\" --x //RS//Svc"},
    };
    for (const auto& c : cases) {
        wchar_t image[512];
        ASSERT_TRUE(buildImagePath(c.executable, c.name, image, 512));
        EXPECT_STREQ(image, c.image);
    }
    wchar_t tooSmall[16];
    EXPECT_FALSE(buildImagePath(L"C:\\Harbee\\harbeesrv.exe", L"Svc", tooSmall, 16));
}

TEST(ServiceSettings, TypesAndStartTypesFromTheirWords) {
    EXPECT_EQ(serviceTypeFor(nullptr), static_cast<DWORD>(SERVICE_WIN32_OWN_PROCESS));
    EXPECT_EQ(serviceTypeFor(L"Interactive"), static_cast<DWORD>(SERVICE_WIN32_OWN_PROCESS | SERVICE_INTERACTIVE_PROCESS));
    EXPECT_EQ(installStartType(L"AUTO"), static_cast<DWORD>(SERVICE_AUTO_START));
    EXPECT_EQ(installStartType(L"manual"), static_cast<DWORD>(SERVICE_DEMAND_START));
    EXPECT_EQ(installStartType(nullptr), static_cast<DWORD>(SERVICE_DEMAND_START));
    EXPECT_EQ(updateStartType(L"auto"), static_cast<DWORD>(SERVICE_AUTO_START));
    EXPECT_EQ(updateStartType(L"Manual"), static_cast<DWORD>(SERVICE_DEMAND_START));
    EXPECT_EQ(updateStartType(L"disabled"), static_cast<DWORD>(SERVICE_NO_CHANGE));
}

TEST(ServiceSettings, DependenciesAlwaysEndWithTcpip) {
    runner_test::PoolScope pools;
    EXPECT_EQ(std::wstring(buildDependencies(MainPool, nullptr), 7), std::wstring(L"Tcpip\0\0", 7));
    const wchar_t dependsOn[] = L"Afd\0Dhcp\0";
    EXPECT_EQ(std::wstring(buildDependencies(MainPool, dependsOn), 16), std::wstring(L"Afd\0Dhcp\0Tcpip\0\0", 16));
}

TEST(ServiceSettings, PendingServicesAreLookedAtEveryTenthOfTheirHintWithinOneToTenSeconds) {
    const struct {
        DWORD hint;
        DWORD poll;
    } cases[] = {{0, 1000}, {5000, 1000}, {30000, 3000}, {100000, 10000}, {600000, 10000}};
    for (const auto& c : cases) EXPECT_EQ(pendingPollMs(c.hint), c.poll) << c.hint;
}

}  // namespace
