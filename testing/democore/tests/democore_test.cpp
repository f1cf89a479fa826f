// The demo core in jvm.dll as the runner will host it: the VM created by path with the core's
// library on the class path, its start method on a worker thread, its stop method on another.
// With the real natbridge.dll and the fake-desktop agent, the core's log shows a refused and an
// allowed application; an agent's socket alone shows the password check.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <windows.h>

#include <wtsapi32.h>

#include <algorithm>
#include <fstream>
#include <future>
#include <sstream>

#include "agent_client.h"
#include "desktop_session.h"
#include "executable_path.h"
#include "jvm_host.h"
#include "served_agents.h"
#include "test_core.h"
#include "text.h"

namespace brisko::testing {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

class DemoCore : public ::testing::Test {
protected:
    void SetUp() override {
        ::DeleteFileW(log.c_str());
        ::DeleteFileW(out.c_str());
        ASSERT_TRUE(jvm.complete());
        VmOptionList options;
        options.add("-Djava.class.path=" + wideToAnsi(siblingPath(L"democore.dll"))).add("-Xss1024k");
        JavaVMInitArgs args = options.args();
        JNIEnv* env = nullptr;
        ASSERT_EQ(jvm.create(&vm, reinterpret_cast<void**>(&env), &args), JNI_OK);
        ASSERT_TRUE(RedirectStandardStream(env, "setOut", out));
        vm->DetachCurrentThread();
    }

    void TearDown() override {
        if (started_.valid()) Stop();
        ::DeleteFileW(out.c_str());
    }

    void Start(std::vector<std::wstring> parameters) {
        parameters.push_back(L"log=" + log);
        started_ = std::async(std::launch::async, [this, parameters] {
            return CallStatic(vm, "demo/Core", "main", parameters, "start worker");
        });
    }

    JavaCall Stop() {
        const JavaCall stop = CallStatic(vm, "demo/Core", "stop", {}, "stop worker");
        EXPECT_TRUE(stop.ran && !stop.threw) << stop.failure;
        return started_.get();
    }


    const std::wstring log = siblingPath(L"democore_test.log");
    const std::wstring out = siblingPath(L"democore_test.out.txt");
    JvmLibrary jvm{siblingPath(L"jvm.dll")};
    JavaVM* vm = nullptr;

private:
    std::future<JavaCall> started_;
};

TEST_F(DemoCore, RefusedApplicationIsEndedAndAllowedOneIsFollowedFromStartToStop) {
    KillOnCloseJob job;
    Application refused = StartApplication(job, L"ident_notepad.exe");
    Application allowed = StartApplication(job, L"MyApp.EXE");
    ASSERT_TRUE(refused.process && allowed.process);
    const DesktopScript script("");
    const std::string user = wideToUtf8(sessionUser());

    Start({L"agent=" + siblingPath(kFakeDesktopAgent), L"refuse=win32:NOTEPAD.exe", L"password=secret",
           L"announce-logon"});
    std::vector<DWORD> agents;
    ASSERT_TRUE(pollUntil([&] { return !(agents = childProcesses(kFakeDesktopAgent)).empty(); }, kPatienceMs))
        << "no agent launched\n" << ReadText(log);
    // Only SYSTEM may end a launched agent, so it joins no job of this test: the stop ends it.
    const UniqueHandle agent(::OpenProcess(SYNCHRONIZE, FALSE, agents[0]));
    ASSERT_TRUE(agent);
    ASSERT_TRUE(WaitForCoreLine(log, "SessionUser(" + user + ")")) << "no agent reached the core\n" << ReadText(log);

    DesktopControl desktop;
    ASSERT_TRUE(desktop.connect()) << "the agent's fake desktop does not answer";
    ASSERT_EQ(FollowRefusedAndAllowed(desktop, refused, allowed, log, user), "") << ReadText(log);

    const JavaCall main = Stop();
    EXPECT_TRUE(main.ran && !main.threw) << main.failure;
    EXPECT_TRUE(Ended(agent)) << "stopping the core must end the agent";
    EXPECT_FALSE(Ended(allowed.process, 0)) << "an allowed application is left running";
    EXPECT_EQ(vm->DestroyJavaVM(), JNI_OK);

    const std::vector<std::string> lines = CoreLogLines(log);
    EXPECT_TRUE(InOrder(lines, {"core starting", "natbridge loaded", "listening on 127.0.0.1:3800",
                                "SystemEventThread started with agent " + wideToUtf8(siblingPath(kFakeDesktopAgent)),
                                "onSessionChange(" + user + ")", "SessionUser(" + user + ")",
                                "sent ProtectionStatus(true,0)",
                                "shouldStartApplication(win32:notepad.exe,Notepad," + user + ") -> refused",
                                "sent ApplicationBlocked(win32:notepad.exe,Notepad,2)",
                                "shouldStartApplication(win32:myapp.exe,MyApp.EXE," + user + ") -> allowed",
                                "didStartApplication(win32:myapp.exe,MyApp.EXE," + user + ")",
                                "didStopApplication(win32:myapp.exe," + user + ")", "stop requested",
                                "SystemEventThread stopped", "event thread ended", "agent listener closed",
                                "core stopped"}))
        << ReadText(log);
    EXPECT_EQ(ReadText(out), "demo core started\r\ndemo core stopped\r\n") << "System.out follows the redirection";
}

// The agent's socket, played by the test: the password decides, and every change is followed
// by the new protection status.
TEST_F(DemoCore, ChangeProtectionIsCheckedAgainstTheParentsPassword) {
    Start({L"agent=", L"password=secret", L"proxy=127.0.0.1:8080", L"bogus"});
    ASSERT_TRUE(WaitForCoreLine(log, "SystemEventThread started with agent ")) << ReadText(log);
    AgentClient agent;
    ASSERT_TRUE(agent.connect());
    const auto next = [&] {
        const std::optional<Message> message = agent.receive();
        return message ? std::make_tuple(message->id, message->channel, message->code, unpack(message->payload))
                       : std::make_tuple(0, uint16_t{99}, -1, std::vector<Value>{});
    };
    using Frame = std::tuple<int32_t, uint16_t, int32_t, std::vector<Value>>;

    ASSERT_TRUE(agent.send(frameBytes(1, 0, 1, pack({std::string("tester")}))));
    EXPECT_EQ(next(), Frame(0, 1, 0, {true, int64_t{0}}));
    EXPECT_EQ(next(), Frame(0, 1, 2, {std::string("127.0.0.1"), int64_t{8080}, std::string("127.0.0.1"), int64_t{8080}}));

    ASSERT_TRUE(agent.send(frameBytes(2, 2, 0, pack({std::string("wrong"), false, int64_t{600000}}))));
    EXPECT_EQ(next(), Frame(-2, 0, 3, {}));
    ASSERT_TRUE(agent.send(frameBytes(3, 2, 0, pack({std::string("secret")}))));
    EXPECT_EQ(next(), Frame(-3, 0, 1, {})) << "a request without enable and duration";
    ASSERT_TRUE(agent.send(frameBytes(4, 2, 0, pack({std::string("secret"), false, int64_t{600000}}))));
    EXPECT_EQ(next(), Frame(-4, 0, 0, {}));
    const Frame disabled = next();
    EXPECT_EQ(std::get<2>(disabled), 0);
    ASSERT_EQ(std::get<3>(disabled).size(), 2u);
    EXPECT_EQ(std::get<3>(disabled)[0], Value(false));
    EXPECT_GT(std::get<int64_t>(std::get<3>(disabled)[1]), 590000);
    ASSERT_TRUE(agent.send(frameBytes(5, 2, 0, pack({std::string("secret"), true, int64_t{0}}))));
    EXPECT_EQ(next(), Frame(-5, 0, 0, {}));
    EXPECT_EQ(next(), Frame(0, 1, 0, {true, int64_t{0}}));

    EXPECT_TRUE(Stop().ran);
    const std::vector<std::string> lines = CoreLogLines(log);
    EXPECT_TRUE(InOrder(lines, {"ignored parameter bogus", "SessionUser(tester)", "sent ProtectionStatus(true,0)",
                                "sent ProxyConfiguration(127.0.0.1,8080,127.0.0.1,8080)",
                                "ChangeProtection(false,600000) -> 3", "ChangeProtection() -> 1",
                                "ChangeProtection(false,600000) -> 0", "ChangeProtection(true,0) -> 0",
                                "SystemEventThread stopped", "event thread ended", "core stopped"}))
        << ReadText(log);
    EXPECT_EQ(ReadText(log).find("secret"), std::string::npos) << "the password never reaches the log";
}

// A core whose natbridge cannot be found ends its start method with the exception.
TEST_F(DemoCore, WithoutNatbridgeTheStartMethodThrows) {
    JNIEnv* env = nullptr;
    ASSERT_EQ(vm->AttachCurrentThread(reinterpret_cast<void**>(&env), nullptr), JNI_OK);
    jclass system = env->FindClass("java/lang/System");
    env->CallStaticObjectMethod(system,
                                env->GetStaticMethodID(system, "setProperty",
                                                       "(Ljava/lang/String;Ljava/lang/String;)Ljava/lang/String;"),
                                env->NewStringUTF("java.library.path"), env->NewStringUTF("Z:\\nowhere"));
    vm->DetachCurrentThread();
    const JavaCall main = CallStatic(vm, "demo/Core", "main", {L"log=" + log});
    EXPECT_TRUE(main.ran && main.threw);
    const std::vector<std::string> lines = CoreLogLines(log);
    EXPECT_THAT(lines, ElementsAre("core starting", "natbridge not loaded: no natbridge in java.library.path: Z:\\nowhere"));
}

}  // namespace
}  // namespace brisko::testing
