#include "loop/thread_protection.h"

#include <process.h>

#include <atomic>
#include <memory>
#include <optional>
#include <string>

#include "agent_security.h"
#include "token_user.h"

namespace brisko {
namespace {

// Made once and kept for the life of the process: threads may attach until its very end.
struct ThreadProtection {
    UniqueSecurityDescriptor descriptor;
    SECURITY_ATTRIBUTES attributes{};
};

std::atomic<ThreadProtection*> protection{nullptr};

bool protectCurrentThread(const ThreadProtection& with) {
    return ::SetKernelObjectSecurity(::GetCurrentThread(),
                                     DACL_SECURITY_INFORMATION | PROTECTED_DACL_SECURITY_INFORMATION,
                                     with.descriptor.get()) != FALSE;
}

// Called by the loader on every new thread, under its lock: only the one system call.
void NTAPI threadAttached(PVOID, DWORD reason, PVOID) {
    if (reason != DLL_THREAD_ATTACH) return;
    if (const ThreadProtection* with = protection.load()) protectCurrentThread(*with);
}

unsigned __stdcall runBody(void* parameter) {
    const std::unique_ptr<std::function<void()>> body(static_cast<std::function<void()>*>(parameter));
    (*body)();
    return 0;
}

}  // namespace

// The executable's TLS callback list takes it: the loader calls it for each thread that attaches.
extern "C" {
__attribute__((section(".CRT$XLF"), used)) PIMAGE_TLS_CALLBACK briskoProtectAttachingThreads = threadAttached;
}

bool protectAgentThreads() {
    if (protection.load()) return true;
    UniqueHandle token;
    if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, token.put())) return false;
    const std::optional<std::wstring> user = TokenUserSid(token.get());
    if (!user) return false;
    auto made = std::make_unique<ThreadProtection>();
    made->descriptor = AgentOwnThreadDescriptor(*user);
    if (!made->descriptor) return false;
    made->attributes = {sizeof(SECURITY_ATTRIBUTES), made->descriptor.get(), FALSE};
    if (!protectCurrentThread(*made)) return false;
    protection = made.release();
    return true;
}

SECURITY_ATTRIBUTES* agentThreadAttributes() {
    ThreadProtection* with = protection.load();
    return with ? &with->attributes : nullptr;
}

UniqueHandle startAgentThread(std::function<void()> body) {
    auto parameter = std::make_unique<std::function<void()>>(std::move(body));
    UniqueHandle thread(reinterpret_cast<HANDLE>(
        ::_beginthreadex(agentThreadAttributes(), 0, &runBody, parameter.get(), 0, nullptr)));
    if (thread) parameter.release();
    return thread;
}

}  // namespace brisko
