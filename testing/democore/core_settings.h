#pragma once
// The demo core's parameters: the String[] of its start method, one "name=value" (or bare
// name) each. Pure.
//   agent=PATH        the agent that SystemEventThread launches in every session (none: no agents)
//   log=PATH          the log of everything the core sees (default: democore.log)
//   refuse=ID         an application identifier to refuse, such as win32:notepad.exe (repeatable)
//   refuse-file=PATH  a file of identifiers to refuse, one a line, read at every decision
//   password=TEXT     the parents' password that ChangeProtection must carry (none: every
//                     request is answered "wrong password")
//   proxy=HOST:PORT   sent to every agent as its HTTP and HTTPS proxy
//   announce-logon    after the first session report, announce a logon of the console session
//                     to the event thread, as Windows does when a user logs on; Wine lists no
//                     sessions, so without it no agent is launched there
//   relisten-event=NAME  a named event; each time it is set, the core closes its listener and
//                     its agent's connection and listens again two seconds later (a fault that
//                     scripts/soak.sh injects)
#include <cstdint>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace brisko::democore {

struct ProxyEndpoint {
    std::string host;  // UTF-8, as the agent takes it
    int32_t port = 0;
};

struct CoreSettings {
    std::wstring agentPath;
    std::wstring logPath = L"democore.log";
    std::set<std::wstring> refused;
    std::wstring refusedFile;
    std::optional<std::wstring> password;
    std::optional<ProxyEndpoint> proxy;
    bool announceLogon = false;
    std::wstring relistenEvent;
};

struct SettingsResult {
    CoreSettings settings;
    std::vector<std::wstring> problems;  // parameters that were not understood (and ignored)
};

SettingsResult ParseCoreSettings(const std::vector<std::wstring>& parameters);

// Identifiers of a refusal file: one a line, blanks around them and lines starting with "#"
// ignored.
std::set<std::wstring> ParseRefusedList(std::wstring_view text);

// Application identifiers compare without regard to ASCII case.
std::wstring NormalIdentifier(std::wstring_view identifier);

}  // namespace brisko::democore
