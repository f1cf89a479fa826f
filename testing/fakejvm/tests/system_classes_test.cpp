// The library classes and the class registry of the in-process VM.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "executable_path.h"
#include "fake_jvm.h"
#include "text.h"

namespace brisko::fakejvm {
namespace {

using ::testing::IsEmpty;

class LibraryClasses : public ::testing::Test {
protected:
    std::wstring Text(jobject string) {
        const auto s = static_cast<jstring>(string);
        const jchar* chars = env->GetStringChars(s, nullptr);
        std::wstring text(reinterpret_cast<const wchar_t*>(chars), static_cast<size_t>(env->GetStringLength(s)));
        env->ReleaseStringChars(s, chars);
        return text;
    }

    // Whether the pending exception is of that class; clears it.
    bool Threw(const char* className) {
        jthrowable pending = env->ExceptionOccurred();
        env->ExceptionClear();
        return pending && env->IsInstanceOf(pending, env->FindClass(className));
    }

    Jvm jvm;
    JNIEnv* env = jvm.attachCurrentThread();
    jclass system = env->FindClass("java/lang/System");
};

TEST_F(LibraryClasses, ObjectArraysHoldTheirElementsAndCheckTheirBounds) {
    jclass stringClass = env->FindClass("java/lang/String");
    jobjectArray array = env->NewObjectArray(2, stringClass, nullptr);
    ASSERT_NE(array, nullptr);
    EXPECT_EQ(env->GetArrayLength(array), 2);
    env->SetObjectArrayElement(array, 1, env->NewStringUTF("b"));
    EXPECT_EQ(env->GetObjectArrayElement(array, 0), nullptr);
    EXPECT_EQ(Text(env->GetObjectArrayElement(array, 1)), L"b");
    EXPECT_EQ(jvm.resolve(array)->javaClass().name(), "[Ljava/lang/String;");
    EXPECT_EQ(env->GetObjectArrayElement(array, 2), nullptr);
    EXPECT_TRUE(Threw("java/lang/ArrayIndexOutOfBoundsException"));
    EXPECT_NE(env->FindClass("[Ljava/lang/String;"), nullptr);
    EXPECT_THAT(jvm.misuse(), IsEmpty());
}

TEST_F(LibraryClasses, SystemPropertiesComeFromTheOptionsAndCanBeSet) {
    VmOptions options;
    options.properties["given"] = "1";
    jvm.configure(options);
    jmethodID get = env->GetStaticMethodID(system, "getProperty", "(Ljava/lang/String;)Ljava/lang/String;");
    jmethodID set = env->GetStaticMethodID(system, "setProperty", "(Ljava/lang/String;Ljava/lang/String;)Ljava/lang/String;");
    EXPECT_EQ(Text(env->CallStaticObjectMethod(system, get, env->NewStringUTF("given"))), L"1");
    EXPECT_EQ(Text(env->CallStaticObjectMethod(system, get, env->NewStringUTF("java.class.path"))), L".");
    EXPECT_EQ(env->CallStaticObjectMethod(system, get, env->NewStringUTF("absent")), nullptr);
    EXPECT_EQ(Text(env->CallStaticObjectMethod(system, set, env->NewStringUTF("given"), env->NewStringUTF("2"))), L"1");
    EXPECT_EQ(jvm.property("given"), std::optional<std::wstring>(L"2"));
    env->CallStaticObjectMethod(system, get, nullptr);
    EXPECT_TRUE(Threw("java/lang/NullPointerException"));
}

TEST_F(LibraryClasses, SystemErrRedirectedToAFileTakesPrintsAndDescribedExceptions) {
    const std::wstring path = siblingPath(L"fakejvm_test.err.txt");
    ::DeleteFileW(path.c_str());
    jclass fileClass = env->FindClass("java/io/FileOutputStream");
    jclass printClass = env->FindClass("java/io/PrintStream");
    jobject file = env->NewObject(fileClass, env->GetMethodID(fileClass, "<init>", "(Ljava/lang/String;Z)V"),
                                  env->NewStringUTF(wideToUtf8(path).c_str()), JNI_TRUE);
    ASSERT_NE(file, nullptr);
    jobject print = env->NewObject(printClass, env->GetMethodID(printClass, "<init>", "(Ljava/io/OutputStream;)V"), file);
    env->CallStaticVoidMethod(system, env->GetStaticMethodID(system, "setErr", "(Ljava/io/PrintStream;)V"), print);
    jobject err = env->GetStaticObjectField(system, env->GetStaticFieldID(system, "err", "Ljava/io/PrintStream;"));
    EXPECT_TRUE(env->IsSameObject(err, print));
    env->CallVoidMethod(err, env->GetMethodID(printClass, "println", "(Ljava/lang/String;)V"), env->NewStringUTF("line"));
    env->ThrowNew(env->FindClass("java/lang/IllegalStateException"), "broken");
    env->ExceptionDescribe();
    EXPECT_FALSE(env->ExceptionCheck());

    std::stringstream text;
    text << std::ifstream(wideToUtf8(path), std::ios::binary).rdbuf();
    EXPECT_EQ(text.str(), "line\r\nException in thread \"Thread-0\" java.lang.IllegalStateException: broken\r\n");

    jobject missing = env->NewObject(fileClass, env->GetMethodID(fileClass, "<init>", "(Ljava/lang/String;Z)V"),
                                     env->NewStringUTF("Z:\\no\\such\\folder\\file.txt"), JNI_TRUE);
    EXPECT_EQ(missing, nullptr);
    EXPECT_TRUE(Threw("java/io/FileNotFoundException"));
    EXPECT_THAT(jvm.misuse(), IsEmpty());
}

// A body of a class library: counts its calls and answers its argument twice over.
jvalue JNICALL Twice(JNIEnv* env, jobject self, const jvalue* args, void* context) {
    ++*static_cast<int*>(context);
    jvalue result{};
    if (!env->IsInstanceOf(self, env->FindClass("java/lang/Class"))) return result;
    const auto text = static_cast<jstring>(args[1].l);
    const char* utf = env->GetStringUTFChars(text, nullptr);
    std::string twice = std::string(utf) + utf;
    env->ReleaseStringUTFChars(text, utf);
    result.l = args[0].i == 2 ? env->NewStringUTF(twice.c_str()) : nullptr;
    return result;
}

jvalue JNICALL Raise(JNIEnv* env, jobject, const jvalue*, void*) {
    env->ThrowNew(env->FindClass("java/lang/IllegalStateException"), "raised");
    return jvalue{};
}

TEST_F(LibraryClasses, ClassRegistryDefinesClassesWhoseBodiesArePlainJni) {
    FakeJvmClasses* registry = nullptr;
    ASSERT_EQ(jvm.vm()->GetEnv(reinterpret_cast<void**>(&registry), FAKEJVM_CLASSES_VERSION), JNI_OK);
    int calls = 0;
    EXPECT_EQ(registry->DefineClass(registry, "lib/Base", nullptr), JNI_OK);
    EXPECT_EQ(registry->DefineClass(registry, "lib/Tool", "lib/Base"), JNI_OK);
    EXPECT_EQ(registry->DefineMethod(registry, "lib/Tool", "twice", "(ILjava/lang/String;)Ljava/lang/String;", JNI_TRUE,
                                     Twice, &calls),
              JNI_OK);
    EXPECT_EQ(registry->DefineMethod(registry, "lib/Base", "raise", "()V", JNI_FALSE, Raise, nullptr), JNI_OK);
    EXPECT_EQ(registry->DefineMethod(registry, "lib/None", "x", "()V", JNI_TRUE, Raise, nullptr), JNI_EINVAL);
    EXPECT_EQ(registry->DefineMethod(registry, "lib/Tool", "x", "(Q)V", JNI_TRUE, Raise, nullptr), JNI_EINVAL);

    const size_t localsBefore = jvm.localRefs(::GetCurrentThreadId());
    jclass tool = env->FindClass("lib/Tool");
    jmethodID twice = env->GetStaticMethodID(tool, "twice", "(ILjava/lang/String;)Ljava/lang/String;");
    EXPECT_EQ(Text(env->CallStaticObjectMethod(tool, twice, 2, env->NewStringUTF("ab"))), L"abab");
    EXPECT_EQ(env->CallStaticObjectMethod(tool, twice, 1, env->NewStringUTF("ab")), nullptr);
    EXPECT_EQ(calls, 2);
    EXPECT_EQ(jvm.localRefs(::GetCurrentThreadId()), localsBefore + 4) << "the body's own locals are released";

    jobject object = env->AllocObject(tool);
    env->CallVoidMethod(object, env->GetMethodID(tool, "raise", "()V"));
    EXPECT_TRUE(Threw("java/lang/IllegalStateException"));
    EXPECT_EQ(registry->FindNative(registry, "lib/Tool", "twice", "(ILjava/lang/String;)Ljava/lang/String;"), nullptr)
        << "no library of System.loadLibrary has it";
    EXPECT_THAT(jvm.misuse(), IsEmpty());
}

}  // namespace
}  // namespace brisko::fakejvm
