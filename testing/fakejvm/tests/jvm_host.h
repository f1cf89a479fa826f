#pragma once
// A host's side of jvm.dll, as the runner has it: the library loaded by path, its entries
// found under their Windows export names, the option list, and static String[] calls on an
// attached thread.
#include <windows.h>

#include <jni.h>

#include <optional>
#include <string>
#include <vector>

#include "unique_handle.h"

namespace brisko::testing {

using GetDefaultArgsFunction = jint(JNICALL*)(void*);
using CreateVmFunction = jint(JNICALL*)(JavaVM**, void**, void*);
using GetCreatedVmsFunction = jint(JNICALL*)(JavaVM**, jsize, jsize*);
using DumpAllStacksFunction = void(JNICALL*)(JNIEnv*, jclass);

// The name of an entry in a 32-bit Windows VM (stdcall-decorated), or the plain 64-bit one.
std::string JvmExportName(const std::string& name, int argumentBytes);

struct JvmLibrary {
    UniqueModule module;
    GetDefaultArgsFunction getDefaultArgs = nullptr;
    CreateVmFunction create = nullptr;
    GetCreatedVmsFunction getCreated = nullptr;
    DumpAllStacksFunction dumpAllStacks = nullptr;

    explicit JvmLibrary(const std::wstring& path);
    bool complete() const { return getDefaultArgs && create && getCreated && dumpAllStacks; }
};

// The options of JNI_CreateJavaVM, strings kept alive with the list.
class VmOptionList {
public:
    VmOptionList& add(std::string option, void* extraInfo = nullptr);
    JavaVMInitArgs args(jboolean ignoreUnrecognized = JNI_FALSE, jint version = JNI_VERSION_1_4);

private:
    std::vector<std::string> strings_;
    std::vector<void*> extras_;
    std::vector<JavaVMOption> options_;
};

// What a static call left behind.
struct JavaCall {
    bool ran = false;     // class and method found, the call made
    bool threw = false;   // it ended with an exception, described on System.err
    std::string failure;  // "attach", "class" or "method" when it did not run
};

// Calls static void method(String[]) of a class with the arguments, on the calling thread,
// attached (as `threadName`) for the call and detached after it, as a host's worker does.
JavaCall CallStatic(JavaVM* vm, const char* className, const char* method, const std::vector<std::wstring>& args,
                    const char* threadName = "worker");

// System.getProperty on an attached thread; none when the property is not set.
std::optional<std::wstring> SystemProperty(JNIEnv* env, const char* name);

// Points System.out or System.err at a file as the runner does: FileOutputStream(path, true)
// wrapped in a PrintStream, handed to System.setOut or System.setErr.
bool RedirectStandardStream(JNIEnv* env, const char* setter, const std::wstring& path);

// The text of a Java string.
std::wstring JavaText(JNIEnv* env, jstring string);

}  // namespace brisko::testing
