#include "core.h"

#include <wtsapi32.h>

#include <algorithm>
#include <fstream>
#include <sstream>

#include "java.h"
#include "text.h"

namespace brisko::democore {
namespace {

constexpr const char* kEventThreadClass = "jni/com/brisko/desktop/windows/SystemEventThread";
// ApplicationBlocked's reason for an application that is not allowed at all.
constexpr int32_t kNotAllowed = 2;
// How long the listener stays closed when the relisten event is set.
constexpr DWORD kRelistenPauseMs = 2000;

std::string Quoted(const std::optional<std::wstring>& text) { return text ? wideToUtf8(*text) : "null"; }

// natbridge's event window in this process: class "Brisko::EventLoop", title "Windows Message Queue".
HWND EventWindow() {
    for (HWND window = ::FindWindowExW(nullptr, nullptr, L"Brisko::EventLoop", L"Windows Message Queue"); window;
         window = ::FindWindowExW(nullptr, window, L"Brisko::EventLoop", L"Windows Message Queue")) {
        DWORD process = 0;
        ::GetWindowThreadProcessId(window, &process);
        if (process == ::GetCurrentProcessId()) return window;
    }
    return nullptr;
}

std::wstring ReadText(const std::wstring& path) {
    std::ifstream file(wideToUtf8(path), std::ios::binary);
    std::stringstream text;
    text << file.rdbuf();
    return utf8ToWide(text.str());
}

}  // namespace

// Never destroyed: System.exit ends the process under a running core, and its listener must
// not be torn down on threads that are already gone.
Core& Core::instance() {
    static Core* core = new Core;
    return *core;
}

void Core::run(JNIEnv* env, const std::vector<std::wstring>& parameters) {
    const SettingsResult parsed = ParseCoreSettings(parameters);
    settings_ = parsed.settings;
    if (!log_.open(settings_.logPath)) {
        Throw(env, "java/lang/IllegalArgumentException", "cannot open the log " + wideToUtf8(settings_.logPath));
        return;
    }
    log_.write("core starting");
    for (const std::wstring& problem : parsed.problems) log_.write("ignored parameter " + wideToUtf8(problem));

    if (!LoadLibrary(env, L"natbridge")) {
        log_.write("natbridge not loaded: " + PendingMessage(env));
        return;
    }
    const auto start = reinterpret_cast<StartFunction>(
        registry_->FindNative(registry_, kEventThreadClass, "start", "(Ljava/lang/String;)J"));
    const auto stop = reinterpret_cast<StopFunction>(registry_->FindNative(registry_, kEventThreadClass, "stop", "(J)V"));
    if (!start || !stop) {
        log_.write("natbridge has no SystemEventThread start and stop");
        Throw(env, "java/lang/UnsatisfiedLinkError", "SystemEventThread natives not found in natbridge");
        return;
    }
    log_.write("natbridge loaded");

    link_ = std::make_unique<AgentLink>(log_, settings_);
    log_.write(link_->listen() ? "listening on 127.0.0.1:3800" : "cannot listen on 127.0.0.1:3800");

    jclass eventThreadClass = env->FindClass(kEventThreadClass);
    jobject object = env->AllocObject(eventThreadClass);
    jstring agentPath = NewJavaString(env, settings_.agentPath);
    const jlong handle = start(env, object, agentPath);
    env->DeleteLocalRef(agentPath);
    {
        const std::lock_guard guard(lock_);
        target_ = env->NewGlobalRef(object);
        handle_ = handle;
        stopThread_ = stop;
    }
    env->DeleteLocalRef(object);
    env->DeleteLocalRef(eventThreadClass);
    if (handle == 0) {
        log_.write("SystemEventThread start failed");
        link_->close();
        Throw(env, "java/lang/IllegalStateException", "SystemEventThread start failed");
        return;
    }
    log_.write("SystemEventThread started with agent " + wideToUtf8(settings_.agentPath));
    PrintLine(env, L"demo core started");
    // A stop that came while the thread was starting found no thread to stop.
    if (::WaitForSingleObject(stopRequested_.get(), 0) == WAIT_OBJECT_0) stopEventThread(env);

    waitForStop();
    waitForEventThreadEnd();
    link_->close();
    log_.write("agent listener closed");
    {
        const std::lock_guard guard(lock_);
        env->DeleteGlobalRef(std::exchange(target_, nullptr));
    }
    PrintLine(env, L"demo core stopped");
    log_.write("core stopped");
}

// Blocks until stop; meanwhile the end of a disabled period re-enables protection and tells
// the agent.
void Core::waitForStop() {
    const UniqueHandle relisten(settings_.relistenEvent.empty()
                                    ? nullptr
                                    : ::CreateEventW(nullptr, FALSE, FALSE, settings_.relistenEvent.c_str()));
    const HANDLE events[] = {stopRequested_.get(), relisten.get()};
    for (;;) {
        DWORD timeout = INFINITE;
        if (const auto deadline = link_->protectionDeadline()) {
            const auto left = std::chrono::ceil<std::chrono::milliseconds>(*deadline - Clock::now()).count();
            timeout = static_cast<DWORD>(std::clamp<long long>(left, 0, 60000));
        }
        const DWORD woken = ::WaitForMultipleObjects(relisten ? 2 : 1, events, FALSE, timeout);
        if (woken == WAIT_OBJECT_0) return;
        if (woken == WAIT_OBJECT_0 + 1) {
            log_.write("agent listener closed for a while");
            log_.write(link_->reopen(kRelistenPauseMs) ? "listening again on 127.0.0.1:3800"
                                                       : "cannot listen again on 127.0.0.1:3800");
            continue;
        }
        if (const auto deadline = link_->protectionDeadline(); deadline && Clock::now() >= *deadline) {
            log_.write("disabled period over");
            link_->sendProtectionStatus();
        }
    }
}

// The event thread ends by itself once stopped (after it has ended every agent); the core
// waits for that so that its log tells when everything is down.
void Core::waitForEventThreadEnd() {
    for (int i = 0; i < 300 && EventWindow(); ++i) ::Sleep(100);
    log_.write(EventWindow() ? "event thread still running after 30 s" : "event thread ended");
}

void Core::stop(JNIEnv* env) {
    log_.write("stop requested");
    ::SetEvent(stopRequested_.get());
    stopEventThread(env);
}

// Once, by whichever of stop and run comes to it first.
void Core::stopEventThread(JNIEnv* env) {
    StopFunction stopThread = nullptr;
    jobject target = nullptr;
    jlong handle = 0;
    {
        const std::lock_guard guard(lock_);
        stopThread = stopThread_;
        target = target_;
        handle = std::exchange(handle_, 0);
    }
    if (handle == 0) return;
    stopThread(env, target, handle);
    log_.write("SystemEventThread stopped");
}

void Core::sessionChanged(const std::optional<std::wstring>& user) {
    log_.write("onSessionChange(" + Quoted(user) + ")");
    bool first = false;
    {
        const std::lock_guard guard(lock_);
        first = !std::exchange(sessionReported_, true);
    }
    if (!first || !settings_.announceLogon) return;
    const DWORD console = ::WTSGetActiveConsoleSessionId();
    if (HWND window = EventWindow(); window && ::PostMessageW(window, WM_WTSSESSION_CHANGE, WTS_SESSION_LOGON, console))
        log_.write("announced a logon of console session " + std::to_string(console));
}

void Core::event(const std::string& line) { log_.write(line); }

bool Core::refuses(const std::wstring& id) {
    const std::wstring normal = NormalIdentifier(id);
    if (settings_.refused.contains(normal)) return true;
    return !settings_.refusedFile.empty() && ParseRefusedList(ReadText(settings_.refusedFile)).contains(normal);
}

bool Core::shouldStartApplication(const std::wstring& id, const std::wstring& name, const std::wstring& user) {
    const bool refused = refuses(id);
    log_.write("shouldStartApplication(" + wideToUtf8(id) + "," + wideToUtf8(name) + "," + wideToUtf8(user) + ") -> " +
               (refused ? "refused" : "allowed"));
    if (refused && link_) link_->sendApplicationBlocked(id, name, kNotAllowed);
    return !refused;
}

}  // namespace brisko::democore
