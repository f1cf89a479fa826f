// natbridge.dll loaded and called as the VM does: by its exported names, on a Java thread.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <cwctype>
#include <optional>
#include <string>
#include <vector>

#include "executable_path.h"
#include "fake_jvm.h"
#include "java_core.h"
#include "natbridge_exports.h"
#include "text.h"
#include "unique_handle.h"

namespace brisko::testing {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

// Once its session registration worked, the thread reports the console session. That report is
// posted to the thread, and the messages a test sends are served before it: a test waits for the
// report before it sends anything whose order it checks.
bool WaitForConsoleReport(const JavaCore& core) {
    return fakejvm::Jvm::waitFor([&] {
        for (const std::string& event : core.events())
            if (event.starts_with("onSessionChange(")) return true;
        return false;
    });
}

class NatbridgeDll : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(library) << "natbridge.dll not loaded: " << ::GetLastError();
        ASSERT_TRUE(start && stop && terminate && onLoad);
    }

    // Calls start in a native-method frame; the VM frees the call's local references afterwards.
    jlong Start(const wchar_t* agentPath) {
        fakejvm::NativeFrame frame(jvm, env);
        jstring path = agentPath ? static_cast<jstring>(jvm.localRef(env, jvm.newString(agentPath))) : nullptr;
        return start(env, core.newObject(env), path);
    }

    void Stop(jlong handle) {
        fakejvm::NativeFrame frame(jvm, env);
        stop(env, nullptr, handle);
    }

    // Stops the thread and waits until it detached from the VM.
    void StopAndWait(jlong handle) {
        Stop(handle);
        EXPECT_TRUE(fakejvm::Jvm::waitFor([&] { return jvm.attachedThreads() == 1 && !FindEventWindow(); }));
    }

    void ExpectCleanVm() {
        EXPECT_EQ(jvm.localRefsLeftAtDetach(), 0u);
        EXPECT_EQ(jvm.globalRefs(), 0u);
        EXPECT_EQ(jvm.unreleasedStrings(), 0u);
        EXPECT_THAT(jvm.misuse(), IsEmpty());
    }

    UniqueModule library{::LoadLibraryW(siblingPath(L"natbridge.dll").c_str())};
    StartFunction start = StartExport(library.get());
    StopFunction stop = StopExport(library.get());
    TerminateFunction terminate =
        Export<TerminateFunction>(library.get(), "Java_jni_com_brisko_desktop_windows_SystemEventThread_terminate", 24);
    OnLoadFunction onLoad = Export<OnLoadFunction>(library.get(), "JNI_OnLoad", 8);
    fakejvm::Jvm jvm;
    JNIEnv* env = jvm.attachCurrentThread();
    JavaCore core{jvm};
};

TEST_F(NatbridgeDll, OnLoadAnswersJni18) { EXPECT_EQ(onLoad(jvm.vm(), nullptr), 0x00010008); }

TEST_F(NatbridgeDll, StartWithANullPathFailsAndLeavesNothing) {
    EXPECT_EQ(Start(nullptr), 0);
    EXPECT_EQ(jvm.attachedThreads(), 1u);
    ExpectCleanVm();
}

TEST_F(NatbridgeDll, StartRunsAnAttachedEventThreadThatStopEnds) {
    const jlong handle = Start(L"");
    ASSERT_NE(handle, 0);
    EXPECT_NE(FindEventWindow(), nullptr);
    EXPECT_EQ(jvm.attachedThreads(), 2u);
    EXPECT_EQ(jvm.globalRefs(), 1u);

    const auto before = std::chrono::steady_clock::now();
    Stop(handle);
    EXPECT_LT(std::chrono::steady_clock::now() - before, std::chrono::seconds(1)) << "stop must return at once";
    EXPECT_TRUE(fakejvm::Jvm::waitFor([&] { return jvm.attachedThreads() == 1 && !FindEventWindow(); }));
    // Stop and terminate on an ended thread, a null handle and a handle that never was do nothing.
    Stop(handle);
    Stop(0);
    Stop(handle + 8);
    {
        fakejvm::NativeFrame frame(jvm, env);
        terminate(env, nullptr, handle, static_cast<jstring>(jvm.localRef(env, jvm.newString(L"win32:a.exe"))),
                  static_cast<jstring>(jvm.localRef(env, jvm.newString(L"alice"))));
    }
    ExpectCleanVm();
}

// The core may let go of the library while an event thread still runs: the thread keeps it
// loaded until it has ended, and then nothing of the library is left.
TEST_F(NatbridgeDll, TheLibraryStaysLoadedUntilItsEventThreadHasEnded) {
    const jlong handle = Start(L"");
    ASSERT_NE(handle, 0);
    library.reset();
    ASSERT_NE(::GetModuleHandleW(L"natbridge.dll"), nullptr);
    EXPECT_NE(FindEventWindow(), nullptr);

    Stop(handle);
    EXPECT_TRUE(fakejvm::Jvm::waitFor([] { return ::GetModuleHandleW(L"natbridge.dll") == nullptr; }));
    EXPECT_EQ(FindEventWindow(), nullptr);
    EXPECT_EQ(jvm.attachedThreads(), 1u);
    ExpectCleanVm();
}

struct MessageCase {
    const char* name;
    UINT message;
    WPARAM wParam;
    std::vector<DWORD> displayState;  // a power setting with these data, or none
    const char* expected;             // the one callback, or nothing
};

class NatbridgeMessages : public NatbridgeDll, public ::testing::WithParamInterface<MessageCase> {};

TEST_P(NatbridgeMessages, ReachTheRightCallback) {
    const MessageCase& c = GetParam();
    const jlong handle = Start(L"");
    ASSERT_NE(handle, 0);
    HWND window = FindEventWindow();
    ASSERT_TRUE(WaitForConsoleReport(core));
    core.clear();

    std::vector<BYTE> setting;
    LPARAM lParam = 0;
    if (!c.displayState.empty()) {
        setting.resize(offsetof(POWERBROADCAST_SETTING, Data) + c.displayState.size() * sizeof(DWORD));
        auto* data = reinterpret_cast<POWERBROADCAST_SETTING*>(setting.data());
        data->DataLength = static_cast<DWORD>(c.displayState.size() * sizeof(DWORD));
        std::memcpy(data->Data, c.displayState.data(), data->DataLength);
        lParam = reinterpret_cast<LPARAM>(setting.data());
    }
    ::SendMessageW(window, c.message, c.wParam, lParam);
    // A marker that always reports shows that everything before it has been handled.
    ::SendMessageW(window, WM_WTSSESSION_CHANGE, WTS_SESSION_UNLOCK, 1);
    ASSERT_TRUE(core.waitForEvents(1));
    std::vector<std::string> expected;
    if (c.expected) expected.push_back(c.expected);
    expected.push_back("onScreenLockedEvent(false)");
    EXPECT_EQ(core.events(), expected);
    EXPECT_FALSE(core.callbackThreads().contains(::GetCurrentThreadId()));

    StopAndWait(handle);
    ExpectCleanVm();
}

INSTANTIATE_TEST_SUITE_P(
    Events, NatbridgeMessages,
    ::testing::Values(
        MessageCase{"lock", WM_WTSSESSION_CHANGE, WTS_SESSION_LOCK, {}, "onScreenLockedEvent(true)"},
        MessageCase{"unlock", WM_WTSSESSION_CHANGE, WTS_SESSION_UNLOCK, {}, "onScreenLockedEvent(false)"},
        MessageCase{"remote_control", WM_WTSSESSION_CHANGE, WTS_SESSION_REMOTE_CONTROL, {}, nullptr},
        MessageCase{"display_off", WM_POWERBROADCAST, PBT_POWERSETTINGCHANGE, {0}, "onScreenSleepEvent(true)"},
        MessageCase{"display_on", WM_POWERBROADCAST, PBT_POWERSETTINGCHANGE, {1}, "onScreenSleepEvent(false)"},
        MessageCase{"display_dimmed", WM_POWERBROADCAST, PBT_POWERSETTINGCHANGE, {2}, "onScreenSleepEvent(false)"},
        MessageCase{"setting_of_other_size", WM_POWERBROADCAST, PBT_POWERSETTINGCHANGE, {0, 0}, nullptr},
        MessageCase{"suspend", WM_POWERBROADCAST, PBT_APMSUSPEND, {}, "onSystemSleepEvent(true)"},
        MessageCase{"resume", WM_POWERBROADCAST, PBT_APMRESUMESUSPEND, {}, "onSystemSleepEvent(false)"},
        MessageCase{"automatic_resume", WM_POWERBROADCAST, PBT_APMRESUMEAUTOMATIC, {}, "onSystemSleepEvent(false)"},
        MessageCase{"power_status", WM_POWERBROADCAST, PBT_APMPOWERSTATUSCHANGE, {}, nullptr},
        MessageCase{"console_disconnect_of_unknown_session", WM_WTSSESSION_CHANGE, WTS_CONSOLE_DISCONNECT, {},
                    nullptr}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(NatbridgeDll, LogonReportsTheSessionUserAndLogoffReportsNull) {
    const jlong handle = Start(L"");
    ASSERT_NE(handle, 0);
    HWND window = FindEventWindow();
    ASSERT_TRUE(WaitForConsoleReport(core));
    core.clear();
    const DWORD console = ::WTSGetActiveConsoleSessionId();
    ::SendMessageW(window, WM_WTSSESSION_CHANGE, WTS_SESSION_LOGON, console);
    ::SendMessageW(window, WM_WTSSESSION_CHANGE, WTS_CONSOLE_DISCONNECT, console);
    ::SendMessageW(window, WM_WTSSESSION_CHANGE, WTS_SESSION_LOGOFF, console);
    ::SendMessageW(window, WM_WTSSESSION_CHANGE, WTS_CONSOLE_CONNECT, console);
    ASSERT_TRUE(core.waitForEvents(3));
    const auto events = core.events();
    ASSERT_EQ(events.size(), 3u);
    EXPECT_NE(events[0], "onSessionChange(null)") << "the console user of the session";
    EXPECT_EQ(events[1], "onSessionChange(null)");
    EXPECT_EQ(events[2], "onSessionChange(null)");
    StopAndWait(handle);
    ExpectCleanVm();
}

TEST_F(NatbridgeDll, AMissingCallbackIsLookedUpOnceAndTheThreadGoesOn) {
    fakejvm::Jvm otherJvm;
    JNIEnv* otherEnv = otherJvm.attachCurrentThread();
    JavaCore partial(otherJvm, CoreOptions{{"onScreenLockedEvent"}, {}, true, {}, {}});
    jlong handle = 0;
    {
        fakejvm::NativeFrame frame(otherJvm, otherEnv);
        handle = start(otherEnv, partial.newObject(otherEnv),
                       static_cast<jstring>(otherJvm.localRef(otherEnv, otherJvm.newString(L""))));
    }
    ASSERT_NE(handle, 0);
    HWND window = FindEventWindow();
    ASSERT_TRUE(WaitForConsoleReport(partial));
    for (int i = 0; i < 3; ++i) ::SendMessageW(window, WM_WTSSESSION_CHANGE, WTS_SESSION_LOCK, 1);
    ::SendMessageW(window, WM_POWERBROADCAST, PBT_APMSUSPEND, 0);
    EXPECT_TRUE(fakejvm::Jvm::waitFor([&] {
        const auto events = partial.events();
        return !events.empty() && events.back() == "onSystemSleepEvent(true)";
    }));
    EXPECT_EQ(otherJvm.methodLookups("onScreenLockedEvent"), 1u);
    {
        fakejvm::NativeFrame frame(otherJvm, otherEnv);
        stop(otherEnv, nullptr, handle);
    }
    EXPECT_TRUE(fakejvm::Jvm::waitFor([&] { return otherJvm.attachedThreads() == 1; }));
    EXPECT_EQ(otherJvm.localRefsLeftAtDetach(), 0u);
    EXPECT_THAT(otherJvm.misuse(), IsEmpty());
}

TEST_F(NatbridgeDll, AnExceptionOfACallbackDoesNotReachTheNextJniCall) {
    fakejvm::Jvm otherJvm;
    JNIEnv* otherEnv = otherJvm.attachCurrentThread();
    JavaCore raising(otherJvm, CoreOptions{{}, {"onScreenLockedEvent", "onSessionChange"}, true, {}, {}});
    jlong handle = 0;
    {
        fakejvm::NativeFrame frame(otherJvm, otherEnv);
        handle = start(otherEnv, raising.newObject(otherEnv),
                       static_cast<jstring>(otherJvm.localRef(otherEnv, otherJvm.newString(L""))));
    }
    ASSERT_NE(handle, 0);
    HWND window = FindEventWindow();
    ASSERT_TRUE(WaitForConsoleReport(raising));
    ::SendMessageW(window, WM_WTSSESSION_CHANGE, WTS_SESSION_LOCK, 1);
    ::SendMessageW(window, WM_WTSSESSION_CHANGE, WTS_SESSION_LOCK, 1);
    ::SendMessageW(window, WM_POWERBROADCAST, PBT_APMSUSPEND, 0);
    EXPECT_TRUE(fakejvm::Jvm::waitFor([&] {
        const auto events = raising.events();
        return !events.empty() && events.back() == "onSystemSleepEvent(true)";
    }));
    {
        fakejvm::NativeFrame frame(otherJvm, otherEnv);
        stop(otherEnv, nullptr, handle);
    }
    EXPECT_TRUE(fakejvm::Jvm::waitFor([&] { return otherJvm.attachedThreads() == 1; }));
    EXPECT_EQ(otherJvm.localRefsLeftAtDetach(), 0u);
    EXPECT_THAT(otherJvm.misuse(), IsEmpty());
}

// The facts about the host come from the real system calls, which Wine answers.
class NatbridgeHost : public NatbridgeDll {
protected:
    std::optional<std::wstring> CallString(const char* name) {
        const auto function = Export<StaticStringFunction>(library.get(), name, 8);
        EXPECT_NE(function, nullptr) << name;
        if (!function) return std::nullopt;
        fakejvm::NativeFrame frame(jvm, env);
        const fakejvm::ObjectPtr result = jvm.resolve(function(env, nullptr));
        EXPECT_EQ(jvm.pendingException(::GetCurrentThreadId()), nullptr);
        if (!result) return std::nullopt;
        return result->text;
    }
};

TEST_F(NatbridgeHost, HostNameIsTheComputerName) {
    wchar_t name[MAX_COMPUTERNAME_LENGTH + 1];
    DWORD length = MAX_COMPUTERNAME_LENGTH + 1;
    ASSERT_TRUE(::GetComputerNameW(name, &length));
    EXPECT_EQ(CallString("Java_jni_com_brisko_desktop_windows_Utils_getHostName"), std::wstring(name, length));
    ExpectCleanVm();
}

TEST_F(NatbridgeHost, HostIdentifierIsAUuidAndStaysTheSame) {
    const auto identifier = CallString("Java_jni_com_brisko_desktop_windows_Utils_getHostIdentifier");
    ASSERT_TRUE(identifier);
    // The product UUID, or the machine GUID where it is a placeholder: 8-4-4-4-12 hexadecimal digits.
    ASSERT_EQ(identifier->size(), 36u) << wideToUtf8(*identifier);
    for (size_t i = 0; i < identifier->size(); ++i) {
        const bool dash = i == 8 || i == 13 || i == 18 || i == 23;
        EXPECT_TRUE(dash ? (*identifier)[i] == L'-' : std::iswxdigit((*identifier)[i])) << wideToUtf8(*identifier);
    }
    EXPECT_EQ(CallString("Java_jni_com_brisko_desktop_windows_Utils_getHostIdentifier"), identifier);
    ExpectCleanVm();
}

TEST_F(NatbridgeHost, ApplicationSupportDirectoryIsTheSharedDataFolder) {
    wchar_t programData[MAX_PATH];
    const DWORD length = ::GetEnvironmentVariableW(L"ProgramData", programData, MAX_PATH);
    ASSERT_GT(length, 0u);
    EXPECT_EQ(CallString("Java_jni_com_brisko_desktop_windows_Utils_getApplicationSupportDirectory"),
              std::wstring(programData, length));
    ExpectCleanVm();
}

TEST_F(NatbridgeHost, UsersHoldTheAccountOfThisProcess) {
    const auto getUsers =
        Export<StaticObjectFunction>(library.get(), "Java_jni_com_brisko_desktop_windows_SystemUsers_getUsers", 8);
    ASSERT_NE(getUsers, nullptr);
    wchar_t user[256];
    DWORD length = 256;
    ASSERT_TRUE(::GetUserNameW(user, &length));
    {
        fakejvm::NativeFrame frame(jvm, env);
        const fakejvm::ObjectPtr map = jvm.resolve(getUsers(env, nullptr));
        ASSERT_NE(map, nullptr);
        EXPECT_THAT(map->entries, ::testing::Contains(::testing::Key(::testing::Truly([&](const fakejvm::ObjectPtr& key) {
                        return key && key->text == std::wstring(user);
                    }))));
    }
    ExpectCleanVm();
}

// A string the VM cannot make ends the export with null and the VM's error pending for the
// caller; no JNI call follows it.
TEST_F(NatbridgeHost, AStringTheVmCannotMakeReachesTheCallerAsNull) {
    const char* const names[] = {
        "Java_jni_com_brisko_desktop_windows_Utils_getHostName",
        "Java_jni_com_brisko_desktop_windows_Utils_getHostIdentifier",
        "Java_jni_com_brisko_desktop_windows_Utils_getApplicationSupportDirectory",
        "Java_jni_com_brisko_desktop_windows_SystemUsers_getUsers",
    };
    for (const char* name : names) {
        const auto function = Export<StaticObjectFunction>(library.get(), name, 8);
        ASSERT_NE(function, nullptr) << name;
        {
            fakejvm::NativeFrame frame(jvm, env);
            jvm.failStringAfter(0);
            EXPECT_EQ(function(env, nullptr), nullptr) << name;
        }
        const fakejvm::ObjectPtr pending = jvm.pendingException(::GetCurrentThreadId());
        ASSERT_NE(pending, nullptr) << name;
        EXPECT_EQ(pending->javaClass().name(), "java/lang/OutOfMemoryError") << name;
        env->ExceptionClear();
    }
    ExpectCleanVm();
}

TEST_F(NatbridgeHost, InstalledPackagesReportNothingWhereThereIsNoPackageManager) {
    const auto getInstalledPackages = Export<InstalledPackagesFunction>(
        library.get(), "Java_jni_com_brisko_desktop_windows_Utils_getInstalledPackages", 12);
    ASSERT_NE(getInstalledPackages, nullptr);
    int reports = 0;
    jvm.defineClass("jni/com/brisko/desktop/windows/Utils")
        .staticMethod("didFoundPackage", "(Ljava/lang/String;Ljava/lang/String;Ljava/lang/String;ILjava/util/Set;)V",
                      [&](fakejvm::Call&) {
                          ++reports;
                          return fakejvm::Value{};
                      });
    {
        fakejvm::NativeFrame frame(jvm, env);
        getInstalledPackages(env, env->FindClass("jni/com/brisko/desktop/windows/Utils"),
                             jvm.localRef(env, jvm.newInstance(*jvm.findClass("java/util/HashSet"))));
        EXPECT_EQ(jvm.pendingException(::GetCurrentThreadId()), nullptr);
    }
    EXPECT_EQ(reports, 0);
    ExpectCleanVm();
}

}  // namespace
}  // namespace brisko::testing
