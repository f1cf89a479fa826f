#include "jvm_host.h"

#include "jni_names.h"

namespace brisko::testing {

std::string JvmExportName(const std::string& name, int argumentBytes) {
    return fakejvm::kDecoratedExports ? fakejvm::DecoratedName(name, argumentBytes) : name;
}

template <typename Function>
Function Entry(HMODULE module, const std::string& name, int argumentBytes) {
    return reinterpret_cast<Function>(
        reinterpret_cast<void (*)()>(::GetProcAddress(module, JvmExportName(name, argumentBytes).c_str())));
}

JvmLibrary::JvmLibrary(const std::wstring& path) : module(::LoadLibraryW(path.c_str())) {
    if (!module) return;
    getDefaultArgs = Entry<GetDefaultArgsFunction>(module.get(), "JNI_GetDefaultJavaVMInitArgs", 4);
    create = Entry<CreateVmFunction>(module.get(), "JNI_CreateJavaVM", 12);
    getCreated = Entry<GetCreatedVmsFunction>(module.get(), "JNI_GetCreatedJavaVMs", 12);
    dumpAllStacks = Entry<DumpAllStacksFunction>(module.get(), "JVM_DumpAllStacks", 8);
}

VmOptionList& VmOptionList::add(std::string option, void* extraInfo) {
    strings_.push_back(std::move(option));
    extras_.push_back(extraInfo);
    return *this;
}

JavaVMInitArgs VmOptionList::args(jboolean ignoreUnrecognized, jint version) {
    options_.clear();
    for (size_t i = 0; i < strings_.size(); ++i) options_.push_back({strings_[i].data(), extras_[i]});
    JavaVMInitArgs args{};
    args.version = version;
    args.nOptions = static_cast<jint>(options_.size());
    args.options = options_.data();
    args.ignoreUnrecognized = ignoreUnrecognized;
    return args;
}

JavaCall CallStatic(JavaVM* vm, const char* className, const char* method, const std::vector<std::wstring>& args,
                    const char* threadName) {
    JavaCall result;
    JNIEnv* env = nullptr;
    JavaVMAttachArgs attach{JNI_VERSION_1_4, const_cast<char*>(threadName), nullptr};
    if (vm->AttachCurrentThread(reinterpret_cast<void**>(&env), &attach) != JNI_OK) {
        result.failure = "attach";
        return result;
    }
    jclass stringClass = env->FindClass("java/lang/String");
    jclass target = env->FindClass(className);
    jmethodID id = target ? env->GetStaticMethodID(target, method, "([Ljava/lang/String;)V") : nullptr;
    if (!stringClass || !target || !id) {
        result.failure = !target ? "class" : "method";
        env->ExceptionClear();
        vm->DetachCurrentThread();
        return result;
    }
    jobjectArray array = env->NewObjectArray(static_cast<jsize>(args.size()), stringClass, nullptr);
    for (size_t i = 0; i < args.size(); ++i) {
        jstring text = env->NewString(reinterpret_cast<const jchar*>(args[i].c_str()), static_cast<jsize>(args[i].size()));
        env->SetObjectArrayElement(array, static_cast<jsize>(i), text);
        env->DeleteLocalRef(text);
    }
    env->CallStaticVoidMethod(target, id, array);
    result.ran = true;
    if (env->ExceptionCheck()) {
        env->ExceptionDescribe();
        result.threw = true;
    }
    vm->DetachCurrentThread();
    return result;
}

std::wstring JavaText(JNIEnv* env, jstring string) {
    if (!string) return {};
    const jchar* chars = env->GetStringChars(string, nullptr);
    std::wstring text(reinterpret_cast<const wchar_t*>(chars), static_cast<size_t>(env->GetStringLength(string)));
    env->ReleaseStringChars(string, chars);
    return text;
}

std::optional<std::wstring> SystemProperty(JNIEnv* env, const char* name) {
    jclass system = env->FindClass("java/lang/System");
    jmethodID get = env->GetStaticMethodID(system, "getProperty", "(Ljava/lang/String;)Ljava/lang/String;");
    jstring key = env->NewStringUTF(name);
    auto value = static_cast<jstring>(env->CallStaticObjectMethod(system, get, key));
    std::optional<std::wstring> result;
    if (value) result = JavaText(env, value);
    env->DeleteLocalRef(value);
    env->DeleteLocalRef(key);
    env->DeleteLocalRef(system);
    return result;
}

bool RedirectStandardStream(JNIEnv* env, const char* setter, const std::wstring& path) {
    jclass fileClass = env->FindClass("java/io/FileOutputStream");
    jclass printClass = env->FindClass("java/io/PrintStream");
    jclass system = env->FindClass("java/lang/System");
    jstring name = env->NewString(reinterpret_cast<const jchar*>(path.c_str()), static_cast<jsize>(path.size()));
    jobject file = env->NewObject(fileClass, env->GetMethodID(fileClass, "<init>", "(Ljava/lang/String;Z)V"), name,
                                  JNI_TRUE);
    if (!file) {
        env->ExceptionClear();
        return false;
    }
    jobject print = env->NewObject(printClass, env->GetMethodID(printClass, "<init>", "(Ljava/io/OutputStream;)V"), file);
    env->CallStaticVoidMethod(system, env->GetStaticMethodID(system, setter, "(Ljava/io/PrintStream;)V"), print);
    const bool done = !env->ExceptionCheck();
    env->ExceptionClear();
    for (jobject local : {static_cast<jobject>(fileClass), static_cast<jobject>(printClass),
                          static_cast<jobject>(system), static_cast<jobject>(name), file, print})
        env->DeleteLocalRef(local);
    return done;
}

}  // namespace brisko::testing
