#include "known_browsers.h"

#include <cwchar>

namespace brisko {

const wchar_t* const KnownBrowsers[36] = {
    L"3b.exe",
    L"acoobrowser.exe",
    L"aexplore.exe",
    L"amaya.exe",
    L"avant.exe",
    L"chromium.exe",
    L"crazy browser.exe",
    L"dillo.exe",
    L"firefox.exe",
    L"flock.exe",
    L"iexplore.exe",
    L"k-meleon.exe",
    L"lynx.exe",
    L"maxthon.exe",
    L"microsoftedge.exe",
    L"midori.exe",
    L"mozilla.exe",
    L"navigator.exe",
    L"netscape.exe",
    L"opera.exe",
    L"orange_browser.exe",
    L"phaseout.exe",
    L"safari.exe",
    L"sbrowser.exe",
    L"seamonkey.exe",
    L"shenzbrowser.exe",
    L"sleipnir.exe",
    L"smartbro.exe",
    L"spacetime.exe",
    L"woobrowser.exe",
    L"xbbrowser.exe",
    // Today's browsers, after the historical rows.
    L"chrome.exe",
    L"msedge.exe",
    L"brave.exe",
    L"vivaldi.exe",
    nullptr,
};

bool IsKnownBrowser(const wchar_t* executableName) {
    if (!executableName) return false;
    for (const wchar_t* const* row = KnownBrowsers; *row; ++row)
        if (_wcsicmp(executableName, *row) == 0) return true;
    return false;
}

bool MatchBrowserCandidate(const ProcessCandidate& candidate, BrowserSearch& search) {
    if (candidate.packaged) return false;
    if (search.consoleUser && (!candidate.userName || _wcsicmp(candidate.userName, search.consoleUser.get()) != 0))
        return false;
    if (!IsKnownBrowser(candidate.executableName)) return false;
    search.found = true;
    return true;
}

}  // namespace brisko
