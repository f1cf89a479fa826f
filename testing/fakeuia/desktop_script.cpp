#include "desktop_script.h"

#include <algorithm>
#include <charconv>
#include <climits>
#include <vector>

namespace brisko::fakeuia {

namespace {

std::vector<std::string_view> words(std::string_view line) {
    std::vector<std::string_view> result;
    size_t position = 0;
    while (position < line.size()) {
        const size_t start = line.find_first_not_of(" \t\r\n", position);
        if (start == std::string_view::npos) break;
        const size_t end = std::min(line.find_first_of(" \t\r\n", start), line.size());
        result.push_back(line.substr(start, end - start));
        position = end;
    }
    return result;
}

bool number(std::string_view text, long long& value) {
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    return error == std::errc{} && end == text.data() + text.size();
}

std::string parseWindow(const std::vector<std::string_view>& parts, FakeWindow& window) {
    long long id = 0;
    if (parts.size() < 2 || !number(parts[1], id) || id <= 0 || id > INT_MAX) return "a window id above 0 is needed";
    window.id = static_cast<int>(id);
    bool hasProcess = false;
    for (size_t index = 2; index < parts.size(); ++index) {
        const std::string_view part = parts[index];
        const size_t equals = part.find('=');
        if (equals == std::string_view::npos) return "expected name=value: " + std::string(part);
        const std::string_view name = part.substr(0, equals), value = part.substr(equals + 1);
        if (name == "class") {
            window.className.assign(value.begin(), value.end());
            continue;
        }
        long long parsed = 0;
        if (!number(value, parsed) || parsed < 0 || parsed > UINT_MAX) return "not a number: " + std::string(part);
        if (name == "pid") {
            window.processId = static_cast<DWORD>(parsed);
            hasProcess = true;
        } else if (name == "type") {
            window.controlType = static_cast<int>(parsed);
        } else if (name == "state") {
            window.visualState = static_cast<int>(parsed);
        } else if (name == "parent") {
            window.parent = static_cast<int>(parsed);
        } else {
            return "unknown property: " + std::string(name);
        }
    }
    return hasProcess ? std::string() : "pid= is needed";
}

}  // namespace

std::string applyCommand(FakeDesktop& desktop, std::string_view line) {
    const std::vector<std::string_view> parts = words(line);
    if (parts.empty() || parts[0].starts_with('#')) return {};
    const std::string_view command = parts[0];
    if (command == "open" || command == "add") {
        FakeWindow window;
        if (std::string error = parseWindow(parts, window); !error.empty()) return error;
        if (command == "open") {
            desktop.openWindow(window);
        } else {
            desktop.addWindow(window);
        }
        return {};
    }
    long long id = 0;
    if (parts.size() < 2 || !number(parts[1], id) || id <= 0 || id > INT_MAX) return "a window id above 0 is needed";
    if (command == "close" && parts.size() == 2) {
        desktop.closeWindow(static_cast<int>(id));
        return {};
    }
    long long state = 0;
    if (command == "state" && parts.size() == 3 && number(parts[2], state)) {
        desktop.setVisualState(static_cast<int>(id), static_cast<int>(state));
        return {};
    }
    return "unknown command: " + std::string(line);
}

}  // namespace brisko::fakeuia
