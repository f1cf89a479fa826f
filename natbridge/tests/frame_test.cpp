// The JNI frame linked in directly: strings, exceptions, thread start failures and the
// service-account filter.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <stdexcept>

#include "fake_jvm.h"
#include "java_core.h"
#include "jni/java_exceptions.h"
#include "jni/jni_strings.h"
#include "jni/jthread.h"
#include "session/session_system.h"
#include "system_events/session_user.h"
#include "system_events/system_event_thread_exports.h"

namespace brisko::testing {
namespace {

using ::testing::IsEmpty;
using ::testing::EndsWith;
using ::testing::StartsWith;

// The library registers the class when it is loaded; linked in, the test does it.
class EventLoopClass : public ::testing::Environment {
public:
    void SetUp() override { ASSERT_TRUE(RegisterEventLoopClass()); }
    void TearDown() override { UnregisterEventLoopClass(); }
};
const auto* const eventLoopClass = ::testing::AddGlobalTestEnvironment(new EventLoopClass);

class FrameTest : public ::testing::Test {
protected:
    fakejvm::Jvm jvm;
    JNIEnv* env = jvm.attachCurrentThread();
};

TEST_F(FrameTest, StringsCrossTheBoundaryWithNullMappedAsSpecified) {
    fakejvm::NativeFrame frame(jvm, env);
    EXPECT_EQ(ToWideString(env, nullptr), L"");
    EXPECT_EQ(ToJavaString(env, nullptr), nullptr);
    const std::wstring text{L'A', L'\x00e9', L'\xd83d', L'\xde00'};
    jstring java = ToJavaString(env, text.c_str());
    EXPECT_EQ(jvm.resolve(java)->text, text);
    EXPECT_EQ(ToWideString(env, java), text);
    EXPECT_EQ(jvm.resolve(ToJavaString(env, L"abcdef", 3))->text, L"abc");
    EXPECT_EQ(ToWideString(env, ToJavaString(env, L"")), L"");
    EXPECT_EQ(jvm.unreleasedStrings(), 0u);
    EXPECT_THAT(jvm.misuse(), IsEmpty());
}

TEST_F(FrameTest, ThrowJavaExceptionRaisesTheClassWithItsMessage) {
    fakejvm::NativeFrame frame(jvm, env);
    ThrowJavaException(env, "java/lang/IllegalArgumentException", "Invalid argument!");
    const auto pending = jvm.pendingException(::GetCurrentThreadId());
    ASSERT_NE(pending, nullptr);
    EXPECT_EQ(pending->javaClass().name(), "java/lang/IllegalArgumentException");
    EXPECT_EQ(pending->text, L"Invalid argument!");
    env->ExceptionClear();
}

TEST_F(FrameTest, ThrowJavaExceptionOfAnUnknownClassRaisesNothing) {
    fakejvm::NativeFrame frame(jvm, env);
    ThrowJavaException(env, "no/such/Exception", "Class not found");
    EXPECT_EQ(jvm.pendingException(::GetCurrentThreadId()), nullptr);
}

TEST_F(FrameTest, StartFailsWithTheConsoleLineWhenTheWindowCannotBeCreated) {
    JavaCore core(jvm);
    UnregisterEventLoopClass();
    ::testing::internal::CaptureStdout();
    jlong handle = 0;
    {
        fakejvm::NativeFrame frame(jvm, env);
        handle = Java_jni_com_brisko_desktop_windows_SystemEventThread_start(
            env, core.newObject(env), static_cast<jstring>(jvm.localRef(env, jvm.newString(L""))));
    }
    const std::string output = ::testing::internal::GetCapturedStdout();
    ASSERT_TRUE(RegisterEventLoopClass());
    EXPECT_EQ(handle, 0);
    EXPECT_THAT(output, StartsWith("CreateInstance: "));
    EXPECT_THAT(output, EndsWith("\n"));
    EXPECT_EQ(std::count(output.begin(), output.end(), '\n'), 1) << output;
    EXPECT_GT(output.size(), sizeof("CreateInstance: \r\n")) << "the system's text of the error";
    EXPECT_EQ(jvm.globalRefs(), 0u);
    EXPECT_EQ(jvm.attachedThreads(), 1u);
}

TEST_F(FrameTest, StartFailsWithoutAnEnvironmentWhenAttachFails) {
    JavaCore core(jvm);
    jvm.failNextAttach(JNI_ENOMEM);
    jlong handle = 0;
    {
        fakejvm::NativeFrame frame(jvm, env);
        handle = Java_jni_com_brisko_desktop_windows_SystemEventThread_start(
            env, core.newObject(env), static_cast<jstring>(jvm.localRef(env, jvm.newString(L""))));
    }
    EXPECT_EQ(handle, 0);
    EXPECT_EQ(jvm.globalRefs(), 0u);
    EXPECT_TRUE(fakejvm::Jvm::waitFor([] { return FindEventWindow() == nullptr; }));
    EXPECT_THAT(jvm.misuse(), IsEmpty());
}

TEST(RunOnEventThread, AnEmptyCallableFailsOnTheCallersThread) {
    JThread never;
    EXPECT_THROW(RunOnEventThread(never, std::function<void()>()), std::bad_function_call);
}

TEST(RunOnEventThread, WithoutAWindowTheCallableDoesNotRun) {
    JThread never;
    bool ran = false;
    RunOnEventThread(never, [&] { ran = true; });
    EXPECT_FALSE(ran);
}

// A started JThread whose handler raises for WM_APP; stopped and waited for at the end.
class RunningThread : public JThread {
public:
    RunningThread(fakejvm::Jvm& jvm, JNIEnv* env) : jvm_(jvm), core_(jvm) {
        fakejvm::NativeFrame frame(jvm, env);
        started_ = start(env, core_.newObject(env));
    }
    ~RunningThread() override {
        stop();
        fakejvm::Jvm::waitFor([&] { return window() == nullptr && jvm_.attachedThreads() == 1; });
    }
    bool handleMessage(HWND, UINT message, WPARAM, LPARAM) override {
        if (message == WM_APP) throw std::runtime_error("handler failed");
        return false;
    }
    bool started() const { return started_; }

private:
    fakejvm::Jvm& jvm_;
    JavaCore core_;
    bool started_ = false;
};

TEST_F(FrameTest, TheEventWindowRunsOnlyCallablesThatRunOnEventThreadWaitsFor) {
    RunningThread thread(jvm, env);
    ASSERT_TRUE(thread.started());
    bool ran = false;
    const std::function<void()> stranger = [&] { ran = true; };
    ::SendMessageW(thread.window(), kRunCallableMessage, reinterpret_cast<WPARAM>(&stranger), 0);
    ::SendMessageW(thread.window(), kRunCallableMessage, 0x1234, 0);
    EXPECT_FALSE(ran) << "a message from another sender runs nothing";
    RunOnEventThread(thread, stranger);
    EXPECT_TRUE(ran);
}

// 64-bit Wine happens to stop what escapes a window procedure; on 32-bit, an exception unwinding
// through the system's dispatch code ends the program.
TEST_F(FrameTest, ExceptionsStayOnTheEventThread) {
    RunningThread thread(jvm, env);
    ASSERT_TRUE(thread.started());
    EXPECT_NO_THROW(RunOnEventThread(thread, [] { throw std::runtime_error("callable failed"); }));
    ::SendMessageW(thread.window(), WM_APP, 0, 0);
    DWORD servedBy = 0;
    RunOnEventThread(thread, [&] { servedBy = ::GetCurrentThreadId(); });
    EXPECT_NE(servedBy, 0u) << "the thread goes on serving";
    EXPECT_NE(servedBy, ::GetCurrentThreadId());
}

struct UserNameCase {
    const wchar_t* name;
    bool reported;
};

class ServiceAccountFilter : public ::testing::TestWithParam<UserNameCase> {};

TEST_P(ServiceAccountFilter, Decides) { EXPECT_EQ(IsReportedUserName(GetParam().name), GetParam().reported); }

INSTANTIATE_TEST_SUITE_P(Names, ServiceAccountFilter,
                         ::testing::Values(UserNameCase{L"", false}, UserNameCase{L"ASPNET", false},
                                           UserNameCase{L"aspnet", false}, UserNameCase{L"AspNet", false},
                                           UserNameCase{L"HOST$", false}, UserNameCase{L"$", false},
                                           UserNameCase{L"sshd", false}, UserNameCase{L"SSHD", false},
                                           UserNameCase{L"UpdatusUser", false}, UserNameCase{L"updatususer", false},
                                           UserNameCase{L"ASPNETUSER", true}, UserNameCase{L"A", true},
                                           UserNameCase{L"sshd2", true}, UserNameCase{L"$alice", true},
                                           UserNameCase{L"alice", true}));

TEST(UserNameFromQuery, DropsOneTrailingNulOnly) {
    EXPECT_EQ(UserNameFromQuery(L"alice", 12), L"alice");
    EXPECT_EQ(UserNameFromQuery(L"alice", 10), L"alice");
    EXPECT_EQ(UserNameFromQuery(L"", 2), L"");
    EXPECT_EQ(UserNameFromQuery(L"", 0), L"");
    EXPECT_EQ(UserNameFromQuery(nullptr, 8), L"");
}

}  // namespace
}  // namespace brisko::testing
