#include "agent_link.h"

#include "text.h"

namespace brisko::democore {
namespace {

// Notifications on channel 1.
constexpr uint8_t kProtectionStatus = 0;
constexpr uint8_t kApplicationBlocked = 1;
constexpr uint8_t kProxyConfiguration = 2;

std::string Describe(const std::vector<testing::Value>& values) {
    std::string text;
    for (const testing::Value& value : values) {
        if (!text.empty()) text += ",";
        if (const auto* b = std::get_if<bool>(&value))
            text += *b ? "true" : "false";
        else if (const auto* i = std::get_if<int64_t>(&value))
            text += std::to_string(*i);
        else if (const auto* s = std::get_if<std::string>(&value))
            text += *s;
        else
            text += "nil";
    }
    return text;
}

void Append(std::vector<uint8_t>& bytes, const std::vector<uint8_t>& more) { bytes.insert(bytes.end(), more.begin(), more.end()); }

}  // namespace

AgentLink::AgentLink(CoreLog& log, const CoreSettings& settings)
    : log_(log),
      proxy_(settings.proxy),
      protection_(settings.password ? std::optional<std::string>(wideToAnsi(*settings.password)) : std::nullopt),
      core_(makeCore()) {}

std::unique_ptr<testing::TestCore> AgentLink::makeCore() {
    auto core = std::make_unique<testing::TestCore>(3800, false);
    core->react({[this](int connection) {
                     log_.write("agent connected (connection " + std::to_string(connection) + ")");
                 },
                 [this](int connection) {
                     log_.write("agent disconnected (connection " + std::to_string(connection) + ")");
                 },
                 [this](const testing::Frame& frame) { return answer(frame); }});
    return core;
}

AgentLink::~AgentLink() = default;

// The port can still be held for a moment by a core that has just ended (its process winding
// down), so binding is retried for a few seconds.
bool AgentLink::listen() {
    for (int attempt = 0; attempt < 40; ++attempt) {
        if (core_->listen()) return true;
        ::Sleep(250);
    }
    return false;
}

void AgentLink::close() {
    const std::lock_guard guard(coreLock_);
    core_.reset();
}

bool AgentLink::reopen(DWORD pauseMs) {
    close();
    ::Sleep(pauseMs);
    std::unique_ptr<testing::TestCore> core = makeCore();
    testing::TestCore& listener = *core;
    {
        const std::lock_guard guard(coreLock_);
        core_ = std::move(core);
    }
    for (int attempt = 0; attempt < 40; ++attempt) {
        if (listener.listen()) return true;
        ::Sleep(250);
    }
    return false;
}

std::vector<uint8_t> AgentLink::answer(const testing::Frame& frame) {
    std::vector<uint8_t> reply;
    if (frame.id >= 0 && frame.channel == 0 && frame.code == 1) {
        log_.write("SessionUser(" + Describe(frame.values) + ")");
        std::string status;
        reply = protectionStatusFrame(&status);
        log_.write("sent ProtectionStatus(" + status + ")");
        if (proxy_) {
            const std::vector<testing::Value> values{proxy_->host, int64_t{proxy_->port}, proxy_->host,
                                                     int64_t{proxy_->port}};
            Append(reply, testing::frameBytes(0, 1, kProxyConfiguration, testing::pack(values)));
            log_.write("sent ProxyConfiguration(" + Describe(values) + ")");
        }
    } else if (frame.id >= 0 && frame.channel == 2 && frame.code == 0) {
        const int32_t result = protection_.change(frame.values, Clock::now());
        std::string request = "ChangeProtection(";
        if (frame.values.size() >= 3) request += Describe({frame.values[1], frame.values[2]});
        log_.write(request + ") -> " + std::to_string(result));
        reply = testing::responseBytes(frame.id, result);
        if (result == kChangeDone) {
            std::string status;
            Append(reply, protectionStatusFrame(&status));
            log_.write("sent ProtectionStatus(" + status + ")");
        }
    } else {
        log_.write("ignored frame id " + std::to_string(frame.id) + " channel " + std::to_string(frame.channel) +
                   " code " + std::to_string(frame.code));
    }
    return reply;
}

std::vector<uint8_t> AgentLink::protectionStatusFrame(std::string* description) {
    const ProtectionStatus status = protection_.status(Clock::now());
    const std::vector<testing::Value> values{status.enabled, status.remainingMs};
    *description = Describe(values);
    return testing::frameBytes(0, 1, kProtectionStatus, testing::pack(values));
}

void AgentLink::sendApplicationBlocked(const std::wstring& applicationId, const std::wstring& name, int32_t reason) {
    const std::vector<testing::Value> values{wideToUtf8(applicationId), wideToAnsi(name), int64_t{reason}};
    const std::lock_guard guard(coreLock_);
    const bool sent = core_ && core_->sendNotification(kApplicationBlocked, testing::pack(values));
    log_.write((sent ? "sent ApplicationBlocked(" : "no agent for ApplicationBlocked(") + Describe(values) + ")");
}

void AgentLink::sendProtectionStatus() {
    std::string status;
    const std::vector<uint8_t> frame = protectionStatusFrame(&status);
    const std::lock_guard guard(coreLock_);
    const bool sent = core_ && core_->sendRaw(frame);
    log_.write((sent ? "sent ProtectionStatus(" : "no agent for ProtectionStatus(") + status + ")");
}

}  // namespace brisko::democore
