#include "lifecycle/worker_settings.h"

#include <cstring>
#include <cwchar>

#include "foundation/failure.h"
#include "foundation/log.h"
#include "lifecycle/service_run.h"
#include "lifecycle/stop_rules.h"
#include "options/options.h"
#include "registry/system_registry.h"
#include "text.h"

namespace {

char* ansiCopy(const wchar_t* text) {
    if (!text) return nullptr;
    const std::string ansi = brisko::wideToAnsi(text);
    auto* copy = static_cast<char*>(poolAlloc(MainPool, ansi.size() + 1));
    if (copy) std::memcpy(copy, ansi.c_str(), ansi.size() + 1);
    return copy;
}

// Each entry of a packed list in the ANSI code page, packed the same way.
char* ansiListCopy(const wchar_t* list) {
    if (!list) return nullptr;
    std::string packed;
    for (const wchar_t* entry = list; *entry; entry += std::wcslen(entry) + 1) packed += brisko::wideToAnsi(entry) + '\0';
    auto* copy = static_cast<char*>(poolAlloc(MainPool, packed.size() + 2));
    if (copy) std::memcpy(copy, packed.data(), packed.size());
    return copy;
}

// "com.example.Main" as "com/example/Main"; "Main" when none is given.
char* slashClassName(const wchar_t* className) {
    char* name = ansiCopy(className && *className ? className : L"Main");
    for (char* c = name; c && *c; ++c) {
        if (*c == '.') *c = '/';
    }
    return name;
}

wchar_t* javaHome() {
    const wchar_t* setting = optionString(OPTION_JAVA_HOME);
    if (!setting || !*setting || ::lstrcmpiW(setting, L"jdk") == 0) return findJavaHome(FALSE);
    if (::lstrcmpiW(setting, L"jre") == 0) return findJavaHome(TRUE);
    return poolStrdup(MainPool, setting);
}

void setOptionText(OptionIndex index, const wchar_t* home, const wchar_t* tail) {
    const size_t chars = std::wcslen(home) + std::wcslen(tail) + 1;
    auto* text = static_cast<wchar_t*>(poolAlloc(MainPool, chars * sizeof(wchar_t)));
    if (!text) return;
    _snwprintf(text, chars, L"%s%s", home, tail);
    OptionTable[index].stringValue = text;
}

bool isEmpty(OptionIndex index) { return !optionString(index) || !*optionString(index); }

// java.exe of the home becomes the image, and its folder the working directory unless one is set.
void useJavaExecutable(const wchar_t* home, OptionIndex image, OptionIndex path) {
    setOptionText(image, home, L"\\bin\\java.exe");
    if (isEmpty(path)) setOptionText(path, home, L"\\bin");
}

void fillCall(JavaWorkerParams* call, OptionIndex className, OptionIndex method, OptionIndex params) {
    call->classPath = ansiCopy(optionString(OPTION_CLASSPATH));
    call->options = ansiListCopy(optionString(OPTION_JVM_OPTIONS));
    call->initialHeapMb = optionNumber(OPTION_JVM_MS);
    call->maxHeapMb = optionNumber(OPTION_JVM_MX);
    call->stackKb = optionNumber(OPTION_JVM_SS);
    call->logJniMessages = optionNumber(OPTION_LOG_JNI_MESSAGES);
    call->className = slashClassName(optionString(className));
    call->methodName = ansiCopy(optionString(method));
    call->params = optionString(params);
    call->libraryPath = optionString(OPTION_LIBRARY_PATH);
}

}  // namespace

BOOL prepareWorkerSettings() {
    RunState.startMode = workerModeFor(optionString(OPTION_START_MODE), FALSE);
    RunState.stopMode = workerModeFor(optionString(OPTION_STOP_MODE), TRUE);
    if (RunState.startMode == WORKER_MODE_JAVA || RunState.stopMode == WORKER_MODE_JAVA) {
        const wchar_t* home = javaHome();
        if (!home) {
            LOG_FAILURE(0, "Unable to find Java Runtime Environment.");
            return FALSE;
        }
        if (RunState.startMode == WORKER_MODE_JAVA) useJavaExecutable(home, OPTION_START_IMAGE, OPTION_START_PATH);
        if (RunState.stopMode == WORKER_MODE_JAVA) useJavaExecutable(home, OPTION_STOP_IMAGE, OPTION_STOP_PATH);
    }
    if (RunState.startMode == WORKER_MODE_JVM || RunState.stopMode == WORKER_MODE_JVM) {
        const wchar_t* jvm = optionString(OPTION_JVM);
        RunState.jvmPath = jvm && *jvm && std::wcscmp(jvm, L"auto") != 0 ? jvm : nullptr;
        fillCall(&RunState.startCall, OPTION_START_CLASS, OPTION_START_METHOD, OPTION_START_PARAMS);
        fillCall(&RunState.stopCall, OPTION_STOP_CLASS, OPTION_STOP_METHOD, OPTION_STOP_PARAMS);
    }
    return TRUE;
}
