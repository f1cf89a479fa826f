#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <thread>

#include "fake_jvm.h"

namespace brisko::fakejvm {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

class FakeJvmTest : public ::testing::Test {
protected:
    Jvm jvm;
    JNIEnv* env = jvm.attachCurrentThread();
};

TEST_F(FakeJvmTest, StringsRoundTripInUtf16AndModifiedUtf8) {
    const std::wstring text{L'a', L'\0', L'\x00e9', L'\xd83d', L'\xde00'};
    jstring string = env->NewString(reinterpret_cast<const jchar*>(text.data()), static_cast<jsize>(text.size()));
    EXPECT_EQ(env->GetStringLength(string), 5);
    const char* utf = env->GetStringUTFChars(string, nullptr);
    EXPECT_EQ(std::string(utf), std::string("a\xC0\x80\xC3\xA9\xED\xA0\xBD\xED\xB8\x80"));
    jstring back = env->NewStringUTF(utf);
    env->ReleaseStringUTFChars(string, utf);
    const jchar* chars = env->GetStringChars(back, nullptr);
    EXPECT_EQ(std::wstring(reinterpret_cast<const wchar_t*>(chars), 5), text);
    env->ReleaseStringChars(back, chars);
    EXPECT_EQ(jvm.unreleasedStrings(), 0u);
    EXPECT_THAT(jvm.misuse(), IsEmpty());
}

TEST_F(FakeJvmTest, CallsMethodsThatTheTestDefines) {
    std::vector<std::wstring> seen;
    Class& core = jvm.defineClass("test/Core");
    core.method("greet", "(Ljava/lang/String;Z)Z", [&](Call& call) {
        seen.push_back(call.string(0).value_or(L"<null>"));
        return Value::boolean(!call.boolean(1));
    });
    jobject object = jvm.localRef(env, jvm.newInstance(core));
    jclass javaClass = env->GetObjectClass(object);
    jmethodID greet = env->GetMethodID(javaClass, "greet", "(Ljava/lang/String;Z)Z");
    ASSERT_NE(greet, nullptr);
    EXPECT_TRUE(env->CallBooleanMethod(object, greet, env->NewStringUTF("hi"), JNI_FALSE));
    EXPECT_FALSE(env->CallBooleanMethod(object, greet, nullptr, JNI_TRUE));
    EXPECT_THAT(seen, ElementsAre(L"hi", L"<null>"));
}

TEST_F(FakeJvmTest, MissingMethodLeavesNoSuchMethodErrorPendingAndFlagsTheNextCall) {
    jobject object = jvm.localRef(env, jvm.newInstance(jvm.defineClass("test/Empty")));
    jclass javaClass = env->GetObjectClass(object);
    EXPECT_EQ(env->GetMethodID(javaClass, "absent", "()V"), nullptr);
    ASSERT_TRUE(env->ExceptionCheck());
    EXPECT_EQ(jvm.pendingException(::GetCurrentThreadId())->javaClass().name(), "java/lang/NoSuchMethodError");
    env->DeleteLocalRef(javaClass);
    EXPECT_THAT(jvm.misuse(), IsEmpty());
    env->GetObjectClass(object);
    EXPECT_THAT(jvm.misuse(), ElementsAre("GetObjectClass called with an exception pending"));
    env->ExceptionClear();
    EXPECT_FALSE(env->ExceptionCheck());
}

TEST_F(FakeJvmTest, CountsReferencesPerThreadAndReportsLeaksAtDetach) {
    const ObjectPtr object = jvm.newString(L"x");
    jobject global = nullptr;
    size_t leftInside = 0;
    std::thread([&] {
        JNIEnv* own = jvm.attachCurrentThread();
        jobject local = jvm.localRef(own, object);
        global = own->NewGlobalRef(local);
        jvm.localRef(own, object);
        own->DeleteLocalRef(local);
        leftInside = jvm.localRefs(::GetCurrentThreadId());
        jvm.detachCurrentThread();
    }).join();
    EXPECT_EQ(leftInside, 1u);
    EXPECT_EQ(jvm.localRefsLeftAtDetach(), 1u);
    EXPECT_EQ(jvm.globalRefs(), 1u);
    env->DeleteGlobalRef(global);
    EXPECT_EQ(jvm.globalRefs(), 0u);
    EXPECT_EQ(jvm.resolve(global), nullptr);
    EXPECT_THAT(jvm.misuse(), ElementsAre("use of a deleted reference"));
}

TEST_F(FakeJvmTest, FlagsALocalReferenceUsedOnAnotherThread) {
    jobject local = jvm.localRef(env, jvm.newString(L"x"));
    std::thread([&] {
        JNIEnv* own = jvm.attachCurrentThread();
        EXPECT_EQ(own->NewGlobalRef(local), nullptr);
        jvm.detachCurrentThread();
    }).join();
    EXPECT_THAT(jvm.misuse(), ElementsAre("local reference used on another thread"));
}

TEST_F(FakeJvmTest, NativeFrameReleasesTheLocalsOfACall) {
    const size_t before = jvm.localRefs(::GetCurrentThreadId());
    {
        NativeFrame frame(jvm, env);
        env->NewStringUTF("a");
        env->FindClass("java/lang/String");
        EXPECT_EQ(jvm.localRefs(::GetCurrentThreadId()), before + 2);
    }
    EXPECT_EQ(jvm.localRefs(::GetCurrentThreadId()), before);
}

TEST_F(FakeJvmTest, HashMapAndSetThroughJni) {
    jclass mapClass = env->FindClass("java/util/HashMap");
    jobject map = env->NewObject(mapClass, env->GetMethodID(mapClass, "<init>", "()V"));
    jmethodID put = env->GetMethodID(mapClass, "put", "(Ljava/lang/Object;Ljava/lang/Object;)Ljava/lang/Object;");
    EXPECT_EQ(env->CallObjectMethod(map, put, env->NewStringUTF("k"), env->NewStringUTF("1")), nullptr);
    jobject previous = env->CallObjectMethod(map, put, env->NewStringUTF("k"), env->NewStringUTF("2"));
    EXPECT_EQ(jvm.resolve(previous)->text, L"1");
    ASSERT_EQ(jvm.resolve(map)->entries.size(), 1u);
    EXPECT_EQ(jvm.resolve(map)->entries[0].second->text, L"2");

    jclass setClass = env->FindClass("java/util/HashSet");
    jobject set = env->NewObject(setClass, env->GetMethodID(setClass, "<init>", "()V"));
    jmethodID add = env->GetMethodID(env->FindClass("java/util/Set"), "add", "(Ljava/lang/Object;)Z");
    EXPECT_TRUE(env->CallBooleanMethod(set, add, env->NewStringUTF("a")));
    EXPECT_FALSE(env->CallBooleanMethod(set, add, env->NewStringUTF("a")));
    EXPECT_EQ(jvm.resolve(set)->elements.size(), 1u);
    EXPECT_THAT(jvm.misuse(), IsEmpty());
}

TEST_F(FakeJvmTest, FindClassOfAnUnknownClassRaisesNoClassDefFoundError) {
    EXPECT_EQ(env->FindClass("no/Such"), nullptr);
    ASSERT_TRUE(env->ExceptionCheck());
    EXPECT_EQ(jvm.pendingException(::GetCurrentThreadId())->javaClass().name(), "java/lang/NoClassDefFoundError");
    env->ExceptionClear();
}

TEST_F(FakeJvmTest, ARemovedClassIsNotFoundButItsObjectsKeepWorking) {
    jclass mapClass = env->FindClass("java/util/HashMap");
    jobject map = env->NewObject(mapClass, env->GetMethodID(mapClass, "<init>", "()V"));
    jvm.removeClass("java/util/HashMap");
    EXPECT_EQ(env->FindClass("java/util/HashMap"), nullptr);
    env->ExceptionClear();
    jmethodID size = env->GetMethodID(mapClass, "size", "()I");
    EXPECT_EQ(env->CallIntMethod(map, size), 0);
    jvm.defineClass("java/util/HashMap", "");
    jclass bare = env->FindClass("java/util/HashMap");
    EXPECT_EQ(env->GetMethodID(bare, "<init>", "()V"), nullptr);
    env->ExceptionClear();
    EXPECT_THAT(jvm.misuse(), IsEmpty());
}

TEST_F(FakeJvmTest, ThrowNewLeavesTheMessage) {
    EXPECT_EQ(env->ThrowNew(env->FindClass("java/lang/IllegalArgumentException"), "Invalid argument!"), JNI_OK);
    const ObjectPtr pending = jvm.pendingException(::GetCurrentThreadId());
    ASSERT_NE(pending, nullptr);
    EXPECT_EQ(pending->text, L"Invalid argument!");
    env->ExceptionClear();
}

TEST_F(FakeJvmTest, AttachCanBeMadeToFail) {
    jvm.failNextAttach(JNI_ENOMEM);
    std::thread([&] {
        JNIEnv* own = nullptr;
        JavaVM* vm = jvm.vm();
        EXPECT_EQ(vm->AttachCurrentThreadAsDaemon(reinterpret_cast<void**>(&own), nullptr), JNI_ENOMEM);
        EXPECT_EQ(vm->GetEnv(reinterpret_cast<void**>(&own), JNI_VERSION_1_8), JNI_EDETACHED);
        EXPECT_EQ(vm->AttachCurrentThreadAsDaemon(reinterpret_cast<void**>(&own), nullptr), JNI_OK);
        vm->DetachCurrentThread();
    }).join();
}

}  // namespace
}  // namespace brisko::fakejvm
