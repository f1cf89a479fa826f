// Libraries of native code in the VM: class libraries from the class path, whose JNI_OnLoad
// defines classes through the registry, and the libraries of System.loadLibrary, whose exports
// are bound to native methods.
#include <algorithm>
#include <cstdio>
#include <cwctype>

#include "internal.h"
#include "jni_names.h"
#include "text.h"

namespace brisko::fakejvm {
namespace {

using OnLoad = jint(JNICALL*)(JavaVM*, void*);

Jvm& Owner(FakeJvmClasses* classes) { return *static_cast<ClassRegistry*>(classes)->jvm; }

jint JNICALL DefineClass(FakeJvmClasses* classes, const char* name, const char* superclass) {
    if (!name || !*name) return JNI_EINVAL;
    Owner(classes).defineClass(name, superclass ? superclass : "java/lang/Object");
    return JNI_OK;
}

// A body of plain JNI inside the method machinery: it gets its own local frame, the receiver
// (or the class) and the arguments as local references, and its result back as an object.
MethodBody Adapt(Jvm& jvm, Class& owner, const SignatureKinds& kinds, bool isStatic, FakeJvmMethodBody body,
                 void* context) {
    return [&jvm, &owner, kinds, isStatic, body, context](Call& call) {
        JNIEnv* env = call.env();
        NativeFrame frame(jvm, env);
        const jobject self = isStatic ? jvm.classRef(env, &owner) : jvm.localRef(env, call.self());
        std::vector<jvalue> args(kinds.arguments.size());
        for (size_t i = 0; i < args.size(); ++i) {
            if (kinds.arguments[i] == 'L')
                args[i].l = jvm.localRef(env, call.object(i));
            else
                args[i] = call.argument(i).primitive;
        }
        const jvalue result = body(env, self, args.data(), context);
        Value value;
        if (kinds.result == 'L')
            value.object = jvm.resolve(result.l);
        else
            value.primitive = result;
        return value;
    };
}

jint JNICALL DefineMethod(FakeJvmClasses* classes, const char* className, const char* name, const char* signature,
                          jboolean isStatic, FakeJvmMethodBody body, void* context) {
    Jvm& jvm = Owner(classes);
    Class* owner = className ? jvm.findClass(className) : nullptr;
    if (!owner || !name || !signature || !body) return JNI_EINVAL;
    const SignatureKinds kinds = ParseSignature(signature);
    if (!kinds.valid) return JNI_EINVAL;
    const MethodBody adapted = Adapt(jvm, *owner, kinds, isStatic != JNI_FALSE, body, context);
    if (isStatic)
        owner->staticMethod(name, signature, adapted);
    else
        owner->method(name, signature, adapted);
    return JNI_OK;
}

void* JNICALL FindNative(FakeJvmClasses* classes, const char* className, const char* name, const char* signature) {
    if (!className || !name || !signature) return nullptr;
    return Owner(classes).findNative(className, name, signature);
}

OnLoad FindOnLoad(HMODULE library) {
    for (const std::string& name : OnLoadNames(kDecoratedExports))
        if (FARPROC entry = ::GetProcAddress(library, name.c_str()))
            return reinterpret_cast<OnLoad>(reinterpret_cast<void (*)()>(entry));
    return nullptr;
}

bool EndsWithDll(const std::wstring& path) {
    if (path.size() < 4) return false;
    std::wstring tail = path.substr(path.size() - 4);
    std::transform(tail.begin(), tail.end(), tail.begin(), [](wchar_t c) { return std::towlower(c); });
    return tail == L".dll";
}

std::wstring FullPath(const std::wstring& path) {
    const DWORD size = ::GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
    if (size == 0) return path;
    std::wstring full(size, L'\0');
    full.resize(::GetFullPathNameW(path.c_str(), size, full.data(), nullptr));
    return full;
}

}  // namespace

void InitClassRegistry(ClassRegistry& registry, Jvm& jvm) {
    registry.DefineClass = DefineClass;
    registry.DefineMethod = DefineMethod;
    registry.FindNative = FindNative;
    registry.jvm = &jvm;
}

std::wstring Jvm::loadNativeLibrary(const std::wstring& path) {
    HMODULE library = ::LoadLibraryW(path.c_str());
    if (!library) return path + L": Can't load this library (error " + std::to_wstring(::GetLastError()) + L")";
    {
        std::lock_guard guard(lock_);
        if (std::find(nativeLibraries_.begin(), nativeLibraries_.end(), library) != nativeLibraries_.end()) {
            ::FreeLibrary(library);  // loaded before: JNI_OnLoad runs once
            return {};
        }
    }
    jint version = JNI_VERSION_1_1;
    if (const OnLoad onLoad = FindOnLoad(library)) version = onLoad(vm(), nullptr);
    if (version != JNI_VERSION_1_1 && !IsSupportedJniVersion(version)) {
        ::FreeLibrary(library);
        char hex[16];
        std::snprintf(hex, sizeof hex, "0x%08lx", static_cast<unsigned long>(version));
        return L"unsupported JNI version " + utf8ToWide(hex) + L" required by " + path;
    }
    std::lock_guard guard(lock_);
    nativeLibraries_.push_back(library);
    return {};
}

void* Jvm::findNative(std::string_view className, std::string_view name, std::string_view signature) {
    std::vector<HMODULE> libraries;
    {
        std::lock_guard guard(lock_);
        libraries = nativeLibraries_;
    }
    for (const std::string& exportName : NativeMethodNames(className, name, signature, kDecoratedExports))
        for (HMODULE library : libraries)
            if (FARPROC entry = ::GetProcAddress(library, exportName.c_str()))
                return reinterpret_cast<void*>(entry);
    return nullptr;
}

void LoadClassLibraries(Jvm& jvm) {
    for (const std::wstring& element : SplitPathList(jvm.property("java.class.path").value_or(L""))) {
        if (!EndsWithDll(element)) continue;  // jars and folders hold nothing this VM can run
        const std::wstring path = FullPath(element);
        HMODULE library = ::LoadLibraryExW(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
        if (!library) {
            jvm.print("Class library %s not loaded (error %lu)\n", wideToUtf8(path).c_str(), ::GetLastError());
            continue;
        }
        const OnLoad onLoad = FindOnLoad(library);
        const jint version = onLoad ? onLoad(jvm.vm(), nullptr) : JNI_ERR;
        if (!IsSupportedJniVersion(version)) {
            jvm.print("Class library %s defined no classes (JNI_OnLoad answered %ld)\n", wideToUtf8(path).c_str(),
                      static_cast<long>(version));
            ::FreeLibrary(library);
        }
    }
}

}  // namespace brisko::fakejvm
