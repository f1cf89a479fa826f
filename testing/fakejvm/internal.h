#pragma once
// What the function tables share with the Jvm: the per-thread environment and the references.
#include <string>
#include <vector>

#include "fake_jvm.h"

namespace brisko::fakejvm {

struct Reference {
    ObjectPtr object;
    bool global = false;
    bool live = true;
    DWORD thread = 0;
};

// The JNIEnv of one attached thread. Never freed while the Jvm lives, so that a stale
// environment is reported rather than crashing.
struct ThreadEnv : JNIEnv_ {
    Jvm* jvm = nullptr;
    DWORD threadId = 0;
    std::string name;
    bool attached = true;
    bool daemon = false;
    // Local reference frames; the first is the thread's own, never popped.
    std::vector<std::vector<Reference*>> frames;
    ObjectPtr pending;
};

struct VmHandle : JavaVM_ {
    Jvm* owner = nullptr;
};

// The table class libraries receive (fakejvm_classes.h), tied to its VM.
struct ClassRegistry : FakeJvmClasses {
    Jvm* jvm = nullptr;
};

const JNINativeInterface_* EnvFunctions();
const JNIInvokeInterface_* InvokeFunctions();
void DefineBuiltinClasses(Jvm& jvm);
// java/lang/System, the standard streams and files, jdk/internal/misc/VM.
void DefineSystemClasses(Jvm& jvm);
void InitClassRegistry(ClassRegistry& registry, Jvm& jvm);
// The elements of a ";"-separated list such as the class path, empty ones included.
std::vector<std::wstring> SplitPathList(std::wstring_view list);

// Loads every DLL of the class path and lets its JNI_OnLoad define its classes, on the thread
// that creates the VM; a library that cannot be loaded or answers no version is reported as a
// VM message and left out.
void LoadClassLibraries(Jvm& jvm);

// The kinds of a method signature: one letter per argument and the result
// ('L' for every reference, arrays included).
struct SignatureKinds {
    std::string arguments;
    char result = 'V';
    bool valid = false;
};
SignatureKinds ParseSignature(std::string_view signature);

}  // namespace brisko::fakejvm
