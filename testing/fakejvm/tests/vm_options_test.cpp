// The VM's reading of its options and the JNI names it binds natives by: pure, no VM.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "jni_names.h"
#include "vm_options.h"

namespace brisko::fakejvm {
namespace {

using ::testing::ElementsAre;

VmOptionsResult Parse(std::vector<std::string> strings, jboolean ignoreUnrecognized = JNI_FALSE,
                      std::vector<void*> extras = {}) {
    std::vector<JavaVMOption> options;
    extras.resize(strings.size());
    for (size_t i = 0; i < strings.size(); ++i) options.push_back({strings[i].data(), extras[i]});
    JavaVMInitArgs args{JNI_VERSION_1_4, static_cast<jint>(options.size()), options.data(), ignoreUnrecognized};
    return ParseVmOptions(args);
}

void JNICALL Exit(jint) {}

struct Refusal {
    const char* option;
    jint status;
    const char* message;
};

class RefusedOption : public ::testing::TestWithParam<Refusal> {};

TEST_P(RefusedOption, FailsWithTheVmsComplaint) {
    const VmOptionsResult result = Parse({"-Dfine=1", GetParam().option});
    EXPECT_EQ(result.status, GetParam().status);
    EXPECT_EQ(result.message, GetParam().message);
}

INSTANTIATE_TEST_SUITE_P(
    Options, RefusedOption,
    ::testing::Values(Refusal{"-Xfoo", JNI_ERR, "Unrecognized option: -Xfoo"},
                      Refusal{"-cp", JNI_ERR, "Unrecognized option: -cp"},
                      Refusal{"-Xmx", JNI_EINVAL, "Invalid maximum heap size: -Xmx"},
                      Refusal{"-Xmx0m", JNI_EINVAL, "Invalid maximum heap size: -Xmx0m"},
                      Refusal{"-Xms1x", JNI_EINVAL, "Invalid initial heap size: -Xms1x"},
                      Refusal{"-Xss-1k", JNI_EINVAL, "Invalid thread stack size: -Xss-1k"},
                      Refusal{"-D=x", JNI_EINVAL, "Invalid system property: -D=x"}));

TEST(VmOptions, ReadsPropertiesSizesAndHooksAndRecordsTheRest) {
    const VmOptionsResult result =
        Parse({"-Da=1", "-Dempty", "-Da=2", "exit", "-Xms128m", "-Xmx1G", "-Xss256k", "-Xrs", "-XX:+UseG1GC",
               "-verbose:gc", "-Djava.class.path=C:\\core\\core.dll"},
              JNI_FALSE, {nullptr, nullptr, nullptr, reinterpret_cast<void*>(&Exit)});
    ASSERT_EQ(result.status, JNI_OK) << result.message;
    const VmOptions& options = result.options;
    EXPECT_EQ(options.properties.at("a"), "2");
    EXPECT_EQ(options.properties.at("empty"), "");
    EXPECT_EQ(options.properties.at("java.class.path"), "C:\\core\\core.dll");
    EXPECT_EQ(options.initialHeap, int64_t{128} << 20);
    EXPECT_EQ(options.maxHeap, int64_t{1} << 30);
    EXPECT_EQ(options.threadStack, 256 * 1024);
    EXPECT_TRUE(options.reduceSignals);
    EXPECT_EQ(options.hooks.exit, &Exit);
    EXPECT_EQ(options.hooks.vfprintf, nullptr);
    EXPECT_THAT(options.arguments, ElementsAre("-Da=1", "-Dempty", "-Da=2", "-Xms128m", "-Xmx1G", "-Xss256k", "-Xrs",
                                               "-XX:+UseG1GC", "-verbose:gc", "-Djava.class.path=C:\\core\\core.dll"));
}

TEST(VmOptions, DefaultsAndTolerance) {
    const VmOptionsResult none = Parse({});
    EXPECT_EQ(none.options.properties.at("java.class.path"), ".");
    EXPECT_EQ(Parse({"-Xfoo", "--bar"}, JNI_TRUE).status, JNI_OK);
    EXPECT_EQ(Parse({"-Xms64m", "-Xmx32m"}).status, JNI_EINVAL);
}

TEST(MemorySize, Units) {
    EXPECT_EQ(ParseMemorySize("4096"), 4096);
    EXPECT_EQ(ParseMemorySize("2k"), 2048);
    EXPECT_EQ(ParseMemorySize("3G"), int64_t{3} << 30);
    for (const char* bad : {"", "m", "1.5m", "12q", "-1", "99999999999999999999"}) EXPECT_EQ(ParseMemorySize(bad), -1) << bad;
}

TEST(JniNames, MangledAndDecoratedAsTheVmLooksThemUp) {
    EXPECT_EQ(MangleJniName("jni/com/brisko/desktop/windows/SystemEventThread"),
              "jni_com_brisko_desktop_windows_SystemEventThread");
    EXPECT_EQ(MangleJniName("a_b;[\xc3\xa9"), "a_1b_2_3_000e9");
    EXPECT_THAT(NativeMethodNames("jni/com/brisko/desktop/windows/SystemEventThread", "terminate",
                                  "(JLjava/lang/String;Ljava/lang/String;)V", true),
                ElementsAre("_Java_jni_com_brisko_desktop_windows_SystemEventThread_terminate@24",
                            "_Java_jni_com_brisko_desktop_windows_SystemEventThread_terminate__JLjava_lang_String_2Ljava_"
                            "lang_String_2@24",
                            "Java_jni_com_brisko_desktop_windows_SystemEventThread_terminate",
                            "Java_jni_com_brisko_desktop_windows_SystemEventThread_terminate__JLjava_lang_String_2Ljava_"
                            "lang_String_2"));
    EXPECT_EQ(NativeMethodNames("p/C", "m", "([[I[Ljava/lang/String;DZ)V", true)[0], "_Java_p_C_m@28");
    EXPECT_THAT(NativeMethodNames("p/C", "m", "()J", false), ElementsAre("Java_p_C_m", "Java_p_C_m__"));
    EXPECT_THAT(OnLoadNames(true), ElementsAre("_JNI_OnLoad@8", "JNI_OnLoad"));
}

}  // namespace
}  // namespace brisko::fakejvm
