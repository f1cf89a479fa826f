#pragma once
// The core's end of the agent protocol on 127.0.0.1:3800 ("spp2" frames, MessagePack
// payloads), over the test core's listener: it logs what agents send, answers ChangeProtection
// against the parents' password, and tells agents the protection status, the proxy and the
// applications it refused.
#include <memory>
#include <optional>
#include <string>

#include "core_log.h"
#include "core_settings.h"
#include "protection.h"
#include "test_core.h"

namespace brisko::democore {

class AgentLink {
public:
    AgentLink(CoreLog& log, const CoreSettings& settings);
    ~AgentLink();

    bool listen();  // false when the port stays taken
    void close();   // the listener and any agent connection
    // Closes both as close() does and listens again after a pause.
    bool reopen(DWORD pauseMs);

    // Sent to the connected agent, if any; each send is logged.
    void sendApplicationBlocked(const std::wstring& applicationId, const std::wstring& name, int32_t reason);
    void sendProtectionStatus();

    // When the current disabled period ends, if there is one.
    std::optional<Clock::time_point> protectionDeadline() const { return protection_.deadline(); }

private:
    std::unique_ptr<testing::TestCore> makeCore();
    std::vector<uint8_t> answer(const testing::Frame& frame);
    std::vector<uint8_t> protectionStatusFrame(std::string* description);

    CoreLog& log_;
    std::optional<ProxyEndpoint> proxy_;
    Protection protection_;
    // Sends from the event thread may meet close() from the core's main thread.
    std::mutex coreLock_;
    std::unique_ptr<testing::TestCore> core_;
};

}  // namespace brisko::democore
