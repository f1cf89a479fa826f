#pragma once
// The options of JNI_CreateJavaVM as the VM reads them: system properties, the class path,
// heap and stack sizes, and the host's hooks. Pure: no VM is touched.
#include <jni.h>

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "jni/jdk1_1_init_args.h"

namespace brisko::fakejvm {

struct VmHooks {
    JvmVfprintfHook vfprintf = nullptr;
    JvmExitHook exit = nullptr;
    JvmAbortHook abort = nullptr;
};

struct VmOptions {
    // Every option string but the hooks, in the order given (what the VM reports as its
    // runtime arguments).
    std::vector<std::string> arguments;
    // -Dname=value, the last one of a name wins; java.class.path is "." unless given.
    std::map<std::string, std::string, std::less<>> properties;
    VmHooks hooks;
    // Bytes; 0 when not given.
    int64_t initialHeap = 0;
    int64_t maxHeap = 0;
    int64_t threadStack = 0;
    // -Xrs: the VM leaves the console's control events alone.
    bool reduceSignals = false;
};

struct VmOptionsResult {
    jint status = JNI_OK;  // JNI_ERR for an unrecognized option, JNI_EINVAL for a bad value
    std::string message;   // the VM's complaint, without line end
    VmOptions options;
};

VmOptionsResult ParseVmOptions(const JavaVMInitArgs& args);

// "64m", "512k", "1g", "4096": the bytes, or -1 when the text is not a size.
int64_t ParseMemorySize(std::string_view text);

// The JNI versions this VM accepts from a host or a library.
bool IsSupportedJniVersion(jint version);

}  // namespace brisko::fakejvm
