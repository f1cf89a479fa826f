#include "core_settings.h"

#include <algorithm>

#include "text.h"

namespace brisko::democore {
namespace {

std::wstring_view Trim(std::wstring_view text) {
    const auto blank = [](wchar_t c) { return c == L' ' || c == L'\t' || c == L'\r' || c == L'\n'; };
    while (!text.empty() && blank(text.front())) text.remove_prefix(1);
    while (!text.empty() && blank(text.back())) text.remove_suffix(1);
    return text;
}

std::optional<ProxyEndpoint> ParseProxy(std::wstring_view text) {
    const size_t colon = text.rfind(L':');
    if (colon == std::wstring_view::npos || colon == 0 || colon + 1 == text.size() || text.size() - colon > 6)
        return std::nullopt;
    int32_t port = 0;
    for (const wchar_t c : text.substr(colon + 1)) {
        if (c < L'0' || c > L'9') return std::nullopt;
        port = port * 10 + (c - L'0');
    }
    if (port == 0 || port > 65535) return std::nullopt;
    return ProxyEndpoint{wideToUtf8(text.substr(0, colon)), port};
}

}  // namespace

std::wstring NormalIdentifier(std::wstring_view identifier) {
    std::wstring normal(identifier);
    std::transform(normal.begin(), normal.end(), normal.begin(),
                   [](wchar_t c) { return c >= L'A' && c <= L'Z' ? static_cast<wchar_t>(c - L'A' + L'a') : c; });
    return normal;
}

SettingsResult ParseCoreSettings(const std::vector<std::wstring>& parameters) {
    SettingsResult result;
    CoreSettings& settings = result.settings;
    for (const std::wstring& parameter : parameters) {
        const size_t equals = parameter.find(L'=');
        const std::wstring name = parameter.substr(0, equals);
        const std::wstring value = equals == std::wstring::npos ? std::wstring() : parameter.substr(equals + 1);
        const bool hasValue = equals != std::wstring::npos && !value.empty();
        if (name == L"announce-logon" && equals == std::wstring::npos) {
            settings.announceLogon = true;
        } else if (name == L"agent" && equals != std::wstring::npos) {
            settings.agentPath = value;
        } else if (name == L"log" && hasValue) {
            settings.logPath = value;
        } else if (name == L"refuse" && hasValue) {
            settings.refused.insert(NormalIdentifier(value));
        } else if (name == L"refuse-file" && hasValue) {
            settings.refusedFile = value;
        } else if (name == L"relisten-event" && hasValue) {
            settings.relistenEvent = value;
        } else if (name == L"password" && equals != std::wstring::npos) {
            settings.password = value;
        } else if (const auto proxy = name == L"proxy" ? ParseProxy(value) : std::nullopt) {
            settings.proxy = proxy;
        } else {
            result.problems.push_back(parameter);
        }
    }
    return result;
}

std::set<std::wstring> ParseRefusedList(std::wstring_view text) {
    std::set<std::wstring> identifiers;
    while (!text.empty()) {
        const size_t end = text.find(L'\n');
        const std::wstring_view line = Trim(text.substr(0, end));
        text = end == std::wstring_view::npos ? std::wstring_view() : text.substr(end + 1);
        if (!line.empty() && line.front() != L'#') identifiers.insert(NormalIdentifier(line));
    }
    return identifiers;
}

}  // namespace brisko::democore
