// jvm.dll as the runner uses it: loaded by path, entries by their Windows export names, the VM
// created with options and hooks, static String[] calls on worker threads, the standard
// streams redirected, System.exit and DestroyJavaVM. One VM per process: every test case runs
// in a process of its own.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <windows.h>

#include <atomic>
#include <cstdarg>
#include <cstdio>
#include <fstream>
#include <future>
#include <mutex>
#include <sstream>
#include <thread>

#include "executable_path.h"
#include "jni/jdk1_1_init_args.h"
#include "jvm_host.h"
#include "text.h"

namespace brisko::testing {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::Optional;

std::mutex gMessagesLock;
std::string gMessages;
std::atomic<int> gExitCode{-1};

jint JNICALL MessageHook(FILE*, const char* format, va_list args) {
    char text[1024];
    const int length = std::vsnprintf(text, sizeof text, format, args);
    std::lock_guard guard(gMessagesLock);
    gMessages += text;
    return length;
}

void JNICALL ExitHook(jint code) { gExitCode = code; }

std::string Messages() {
    std::lock_guard guard(gMessagesLock);
    return gMessages;
}

std::string ReadFile(const std::wstring& path) {
    std::ifstream file(wideToUtf8(path), std::ios::binary);
    std::stringstream text;
    text << file.rdbuf();
    return text.str();
}

std::string ClassPathOption() { return "-Djava.class.path=" + wideToAnsi(siblingPath(L"jvm_test_classes.dll")); }

class JvmDll : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(jvm.complete()) << "jvm.dll or one of its entries is missing"; }

    jint Create(VmOptionList& options, jboolean ignoreUnrecognized = JNI_FALSE, jint version = JNI_VERSION_1_4) {
        JavaVMInitArgs args = options.args(ignoreUnrecognized, version);
        return jvm.create(&vm, reinterpret_cast<void**>(&env), &args);
    }

    jsize CreatedVms() {
        JavaVM* found = nullptr;
        jsize count = -1;
        EXPECT_EQ(jvm.getCreated(&found, 1, &count), JNI_OK);
        if (count == 1) {
            EXPECT_EQ(found, vm);
        }
        return count;
    }

    JvmLibrary jvm{siblingPath(L"jvm.dll")};
    JavaVM* vm = nullptr;
    JNIEnv* env = nullptr;
};

TEST_F(JvmDll, ExportsTheJniEntriesPlainAndDecoratedAndTheDumpDecoratedOnly) {
    HMODULE module = jvm.module.get();
    for (const char* name : {"JNI_GetDefaultJavaVMInitArgs", "JNI_CreateJavaVM", "JNI_GetCreatedJavaVMs"})
        EXPECT_NE(::GetProcAddress(module, name), nullptr) << name;
#if defined(__i386__)
    EXPECT_EQ(::GetProcAddress(module, "JVM_DumpAllStacks"), nullptr);
#endif
}

TEST_F(JvmDll, DefaultArgumentsOfAVersion11BlockCarryTheJavaStackSize) {
    JDK1_1InitArgs block{};
    block.version = JNI_VERSION_1_1;
    EXPECT_EQ(jvm.getDefaultArgs(&block), JNI_ERR) << "a 1.1 block is no version the VM supports";
    EXPECT_EQ(block.version, JNI_VERSION_1_2);
    EXPECT_GT(block.javaStackSize, 0);
    EXPECT_LE(block.javaStackSize, 0x200000);
    JDK1_1InitArgs current{};
    current.version = JNI_VERSION_1_8;
    EXPECT_EQ(jvm.getDefaultArgs(&current), JNI_OK);
}

TEST_F(JvmDll, RefusesBadOptionsThroughTheMessageHookAndCanStillBeCreated) {
    struct Case {
        const char* option;
        jint version;
        jint status;
        const char* message;
    };
    for (const Case& c : {Case{"-Xfoo", JNI_VERSION_1_4, JNI_ERR, "Unrecognized option: -Xfoo"},
                          Case{"-Xmx12q", JNI_VERSION_1_4, JNI_EINVAL, "Invalid maximum heap size: -Xmx12q"},
                          Case{"-Xss", JNI_VERSION_1_4, JNI_EINVAL, "Invalid thread stack size: -Xss"},
                          Case{"-Xmx64m", JNI_VERSION_1_1, JNI_EVERSION, ""}}) {
        VmOptionList options;
        options.add("vfprintf", reinterpret_cast<void*>(&MessageHook)).add(c.option);
        EXPECT_EQ(Create(options, JNI_FALSE, c.version), c.status) << c.option;
        EXPECT_THAT(Messages(), HasSubstr(c.message)) << c.option;
        EXPECT_EQ(CreatedVms(), 0);
    }
    VmOptionList tolerant;
    tolerant.add("-Xfoo");
    ASSERT_EQ(Create(tolerant, JNI_TRUE), JNI_OK) << "ignoreUnrecognized takes what it does not know";
    EXPECT_EQ(CreatedVms(), 1);
    JavaVM* second = nullptr;
    JNIEnv* secondEnv = nullptr;
    JavaVMInitArgs args = tolerant.args(JNI_TRUE);
    EXPECT_EQ(jvm.create(&second, reinterpret_cast<void**>(&secondEnv), &args), JNI_EEXIST);
}

TEST_F(JvmDll, RecordsItsOptionsAndLoadsTheClassLibraryOfTheClassPath) {
    VmOptionList options;
    options.add("-Dtest.name=value")
        .add("-Dquoted=\"a b\"")
        .add(ClassPathOption())
        .add("vfprintf", reinterpret_cast<void*>(&MessageHook))
        .add("exit", reinterpret_cast<void*>(&ExitHook))
        .add("-Xms16m")
        .add("-Xmx64m")
        .add("-Xss512k");
    ASSERT_EQ(Create(options), JNI_OK) << Messages();
    EXPECT_EQ(CreatedVms(), 1);

    EXPECT_THAT(SystemProperty(env, "test.name"), Optional(std::wstring(L"value")));
    EXPECT_THAT(SystemProperty(env, "quoted"), Optional(std::wstring(L"\"a b\"")));
    EXPECT_THAT(SystemProperty(env, "test.onload.thread"), Optional(std::to_wstring(::GetCurrentThreadId())))
        << "the class library is loaded on the thread that creates the VM";

    jclass vmClass = env->FindClass("jdk/internal/misc/VM");
    auto arguments = static_cast<jobjectArray>(env->CallStaticObjectMethod(
        vmClass, env->GetStaticMethodID(vmClass, "getRuntimeArguments", "()[Ljava/lang/String;")));
    std::vector<std::string> recorded;
    for (jsize i = 0; i < env->GetArrayLength(arguments); ++i)
        recorded.push_back(wideToAnsi(JavaText(env, static_cast<jstring>(env->GetObjectArrayElement(arguments, i)))));
    EXPECT_THAT(recorded, ElementsAre("-Dtest.name=value", "-Dquoted=\"a b\"", ClassPathOption(), "-Xms16m",
                                      "-Xmx64m", "-Xss512k"));
    EXPECT_EQ(Messages(), "") << "nothing to complain about";
}

TEST_F(JvmDll, RunsTheStartClassOnAWorkerUntilTheStopClassEndsItThenDestroys) {
    VmOptionList options;
    options.add(ClassPathOption()).add("vfprintf", reinterpret_cast<void*>(&MessageHook));
    ASSERT_EQ(Create(options), JNI_OK);
    ASSERT_EQ(vm->DetachCurrentThread(), JNI_OK);

    auto start = std::async(std::launch::async, [&] {
        return CallStatic(vm, "test/Main", "main", {L"wait", L"a b", L""}, "start worker");
    });
    JNIEnv* own = nullptr;
    ASSERT_EQ(vm->AttachCurrentThread(reinterpret_cast<void**>(&own), nullptr), JNI_OK);
    for (int i = 0; i < 500 && !SystemProperty(own, "test.main.args"); ++i) ::Sleep(10);
    EXPECT_THAT(SystemProperty(own, "test.main.args"), Optional(std::wstring(L"wait|a b|")));
    jvm.dumpAllStacks(own, nullptr);
    EXPECT_THAT(Messages(), HasSubstr("\"start worker\""));
    ASSERT_EQ(vm->DetachCurrentThread(), JNI_OK);

    // DestroyJavaVM waits for the non-daemon worker, which runs until the stop call.
    auto destroyed = std::async(std::launch::async, [&] { return vm->DestroyJavaVM(); });
    EXPECT_EQ(destroyed.wait_for(std::chrono::milliseconds(300)), std::future_status::timeout);
    const JavaCall stop = CallStatic(vm, "test/Main", "stop", {}, "stop worker");
    EXPECT_TRUE(stop.ran && !stop.threw) << stop.failure;
    const JavaCall main = start.get();
    EXPECT_TRUE(main.ran && !main.threw) << main.failure;
    ASSERT_EQ(destroyed.wait_for(std::chrono::seconds(20)), std::future_status::ready);
    EXPECT_EQ(destroyed.get(), JNI_OK);

    EXPECT_EQ(CreatedVms(), 0);
    JNIEnv* late = nullptr;
    EXPECT_EQ(vm->AttachCurrentThread(reinterpret_cast<void**>(&late), nullptr), JNI_ERR);
    VmOptionList again;
    EXPECT_EQ(Create(again), JNI_ERR) << "a destroyed VM cannot be created again in the process";
}

TEST_F(JvmDll, StandardStreamsFollowTheRedirectionAndCarryAThrownStartException) {
    const std::wstring out = siblingPath(L"jvm_dll_test.out.txt");
    const std::wstring err = siblingPath(L"jvm_dll_test.err.txt");
    ::DeleteFileW(out.c_str());
    ::DeleteFileW(err.c_str());
    VmOptionList options;
    options.add(ClassPathOption()).add("exit", reinterpret_cast<void*>(&ExitHook));
    ASSERT_EQ(Create(options), JNI_OK);
    ASSERT_TRUE(RedirectStandardStream(env, "setErr", err));
    ASSERT_TRUE(RedirectStandardStream(env, "setOut", out));

    JavaCall printed;
    std::thread([&] { printed = CallStatic(vm, "test/Main", "main", {L"print", L"h\u00e9llo"}); }).join();
    EXPECT_TRUE(printed.ran && !printed.threw);
    JavaCall thrown;
    std::thread([&] { thrown = CallStatic(vm, "test/Main", "main", {L"throw"}, "start"); }).join();
    EXPECT_TRUE(thrown.ran && thrown.threw);

    EXPECT_EQ(ReadFile(out), "h\xc3\xa9llo\r\n");
    EXPECT_EQ(ReadFile(err), "h\xc3\xa9llo\r\nException in thread \"start\" java.lang.RuntimeException: start failed\r\n");
    EXPECT_EQ(gExitCode, -1) << "an exception is no exit";
    ::DeleteFileW(out.c_str());
    ::DeleteFileW(err.c_str());
}

TEST_F(JvmDll, SystemExitCallsTheExitHookThenEndsTheProcessWithItsCode) {
    const std::wstring marker = siblingPath(L"jvm_exit_probe.txt");
    ::DeleteFileW(marker.c_str());
    std::wstring commandLine = L"\"" + siblingPath(L"jvm_exit_probe.exe") + L"\" \"" + marker + L"\" 3";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info{};
    ASSERT_TRUE(::CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                                 &info));
    const UniqueHandle process(info.hProcess);
    const UniqueHandle thread(info.hThread);
    ASSERT_EQ(::WaitForSingleObject(process.get(), 30000), WAIT_OBJECT_0);
    DWORD code = 0;
    ::GetExitCodeProcess(process.get(), &code);
    EXPECT_EQ(code, 3u);
    EXPECT_EQ(ReadFile(marker), "exit hook 3\natexit\n") << "the host's exit handlers run after the hook";
    ::DeleteFileW(marker.c_str());
}

TEST_F(JvmDll, AClassLibraryThatIsMissingIsReportedAndItsClassesAreNotFound) {
    VmOptionList options;
    options.add("-Djava.class.path=missing.jar;" + wideToAnsi(siblingPath(L"no_such_library.dll")))
        .add("-Djava.library.path=" + wideToAnsi(siblingPath(L"")))
        .add("vfprintf", reinterpret_cast<void*>(&MessageHook));
    ASSERT_EQ(Create(options), JNI_OK);
    EXPECT_THAT(Messages(), HasSubstr("no_such_library.dll not loaded"));
    EXPECT_EQ(env->FindClass("test/Main"), nullptr);
    jthrowable missing = env->ExceptionOccurred();
    env->ExceptionClear();
    EXPECT_TRUE(env->IsInstanceOf(missing, env->FindClass("java/lang/NoClassDefFoundError")));

    jclass system = env->FindClass("java/lang/System");
    jmethodID load = env->GetStaticMethodID(system, "loadLibrary", "(Ljava/lang/String;)V");
    env->CallStaticVoidMethod(system, load, env->NewStringUTF("no_such_library"));
    jthrowable unsatisfied = env->ExceptionOccurred();
    env->ExceptionClear();
    EXPECT_TRUE(env->IsInstanceOf(unsatisfied, env->FindClass("java/lang/UnsatisfiedLinkError")));
    env->CallStaticVoidMethod(system, load, env->NewStringUTF("jvm_test_classes"));
    EXPECT_FALSE(env->ExceptionCheck()) << "a library in java.library.path loads";
}

}  // namespace
}  // namespace brisko::testing
