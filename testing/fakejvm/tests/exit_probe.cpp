// jvm_exit_probe.exe MARKER CODE: creates a VM in jvm.dll beside it with an exit hook, then
// calls System.exit(CODE) on a worker thread as a host's stop call does. The exit hook and the
// program's own atexit handler append a line each to MARKER; a return from System.exit ends
// the probe with 99.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

#include "executable_path.h"
#include "jvm_host.h"

namespace {

std::wstring gMarker;

void Mark(const std::string& line) {
    if (FILE* file = _wfopen(gMarker.c_str(), L"ab")) {
        std::fprintf(file, "%s\n", line.c_str());
        std::fclose(file);
    }
}

void JNICALL ExitHook(jint code) { Mark("exit hook " + std::to_string(code)); }

void AtExit() { Mark("atexit"); }

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc != 3) return 2;
    gMarker = argv[1];
    const jint code = static_cast<jint>(std::wcstol(argv[2], nullptr, 10));
    std::atexit(AtExit);
    brisko::testing::JvmLibrary jvm(brisko::siblingPath(L"jvm.dll"));
    if (!jvm.complete()) return 3;
    brisko::testing::VmOptionList options;
    options.add("exit", reinterpret_cast<void*>(&ExitHook));
    JavaVMInitArgs args = options.args();
    JavaVM* vm = nullptr;
    JNIEnv* env = nullptr;
    if (jvm.create(&vm, reinterpret_cast<void**>(&env), &args) != JNI_OK) return 4;
    std::thread([&] {
        JNIEnv* own = nullptr;
        vm->AttachCurrentThread(reinterpret_cast<void**>(&own), nullptr);
        jclass system = own->FindClass("java/lang/System");
        own->CallStaticVoidMethod(system, own->GetStaticMethodID(system, "exit", "(I)V"), code);
    }).join();
    return 99;
}
