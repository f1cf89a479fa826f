#pragma once
// Fake Firefox and SeaMonkey installations in a temporary folder, registered where Windows
// registers them, and the two source files the core would hand over. Everything is removed at
// the end. Uses the prefix's own machine-wide keys: hold the BROWSER_SETTINGS lock.
#include <windows.h>

#include <cwctype>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "registry_fixture.h"

namespace brisko::testing {

namespace fs = std::filesystem;

inline std::string fileText(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline void writeFile(const fs::path& file, const std::string& text) { std::ofstream(file, std::ios::binary) << text; }

inline std::wstring lowerCase(std::wstring text) {
    for (wchar_t& c : text) c = static_cast<wchar_t>(std::towlower(c));
    return text;
}

class FakeMozilla {
public:
    FakeMozilla() {
        clean();
        for (const auto& dir : {firefox, seamonkey, firefox32, firefox64}) fs::create_directories(dir / L"defaults" / L"pref");
        fs::create_directories(thunderbird);
        writeFile(cfgSource, cfgText);
        writeFile(prefsSource, prefsText);

        const std::wstring firefoxExe = (firefox / L"firefox.exe").wstring();
        setString(HKEY_CLASSES_ROOT, L"Applications\\firefox.exe\\shell\\open\\command", nullptr,
                  L"\"" + firefoxExe + L"\" -osint -url \"%1\"");
        // The same directory in other letter case.
        setString(HKEY_LOCAL_MACHINE, kAppPaths + std::wstring(L"\\firefox.exe"), nullptr, upperCase(firefoxExe));
        setString(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Clients\\StartMenuInternet\\seamonkey.exe\\shell\\open\\command",
                  nullptr, L"\"" + (seamonkey / L"seamonkey.exe").wstring() + L"\"");
        setString(HKEY_LOCAL_MACHINE, kAppPaths + std::wstring(L"\\seamonkey.exe"), nullptr,
                  (missing / L"seamonkey.exe").wstring());
        setString(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Mozilla\\Mozilla Firefox 32\\1.0 (x86)\\Main", L"PathToExe",
                  (firefox32 / L"FIREFOX.EXE").wstring(), KEY_WOW64_32KEY);
        setString(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Mozilla\\Mozilla Firefox 64\\1.0 (x64)\\Main", L"PathToExe",
                  (firefox64 / L"firefox.exe").wstring(), KEY_WOW64_64KEY);
        setString(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Mozilla\\Mozilla Thunderbird\\1.0\\Main", L"PathToExe",
                  (thunderbird / L"thunderbird.exe").wstring(), KEY_WOW64_32KEY);
    }
    ~FakeMozilla() { clean(); }
    FakeMozilla(const FakeMozilla&) = delete;
    FakeMozilla& operator=(const FakeMozilla&) = delete;

    // The directory as the search reports it: lower-cased, ending with its separator.
    static fs::path reported(const fs::path& dir) { return fs::path(lowerCase(dir.wstring() + L"\\")); }
    bool owns(const fs::path& reportedDir) const {
        return lowerCase(reportedDir.wstring()).starts_with(lowerCase(base.wstring()));
    }

    const fs::path base = fs::temp_directory_path() / (L"harbee-mozilla-" + std::to_wstring(::GetCurrentProcessId()));
    const fs::path firefox = base / L"Mozilla Firefox";  // application key and App Paths
    const fs::path seamonkey = base / L"SeaMonkey";       // StartMenuInternet
    const fs::path missing = base / L"Missing";           // App Paths of a folder that is gone
    const fs::path firefox32 = base / L"Firefox32";       // SOFTWARE\Mozilla, 32-bit view
    const fs::path firefox64 = base / L"Firefox64";       // SOFTWARE\Mozilla, 64-bit view
    const fs::path thunderbird = base / L"Thunderbird";   // another Mozilla product
    const fs::path cfgSource = base / L"source.cfg";
    const fs::path prefsSource = base / L"source.js";
    const std::string cfgText = std::string("// autoconfig\r\nlockPref(\"network.proxy.type\", 1);\n\0\xFF", 54);
    const std::string prefsText = "pref(\"general.config.filename\", \"velmora.cfg\");\n";

private:
    static constexpr wchar_t kAppPaths[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths";

    static std::wstring upperCase(std::wstring text) {
        for (wchar_t& c : text) c = static_cast<wchar_t>(std::towupper(c));
        return text;
    }

    void clean() {
        ::RegDeleteTreeW(HKEY_CLASSES_ROOT, L"Applications\\firefox.exe");
        ::RegDeleteTreeW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Clients\\StartMenuInternet\\seamonkey.exe");
        for (const wchar_t* name : {L"firefox.exe", L"seamonkey.exe"})
            ::RegDeleteTreeW(HKEY_LOCAL_MACHINE, (kAppPaths + std::wstring(L"\\") + name).c_str());
        deleteTreeInBothViews(HKEY_LOCAL_MACHINE, L"SOFTWARE", L"Mozilla");
        std::error_code error;
        fs::remove_all(base, error);
    }
};

}  // namespace brisko::testing
