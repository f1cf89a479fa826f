#pragma once
// What the user should read, in each language the agent speaks; the table for this process is
// the one Windows picks for its user interface language.
#include <windows.h>

#include <string>

#include "text.h"

namespace brisko::testing {

struct UiTexts {
    const wchar_t* language;
    std::wstring tooltip, about, parentsSettings, enableNow, disable;
    std::wstring blockedSuffix, timeRange, quota, denied;
    std::wstring disabledTitle, countdownPrefix, enabledTitle;
    std::wstring dialogTitle, question, passwordLabel, disableButton, cancelButton;
    std::wstring aboutCaption, aboutNotice;
    std::wstring errorTitle, wrongPassword, unexpectedError;

    std::wstring blocked(const std::string& ansiName) const { return ansiToWide(ansiName) + blockedSuffix; }
    std::wstring countdown(long long minutes) const { return countdownPrefix + std::to_wstring(minutes) + L"mn"; }
};

inline const UiTexts kEnglish{
    L"en",
    L"Corvel Harbee Juvo", L"About\x2026", L"Parents Settings", L"Enable now", L"Temporarily disable",
    L" blocked!", L"Denied time range", L"Quota exhausted", L"Application denied",
    L"Corvel Harbee Juvo disabled", L"Enabling again in ", L"Corvel Harbee Juvo enabled",
    L"Temporarily disable Corvel Harbee Juvo",
    L"For how long would you like disable the Web protection and usage tracking?", L"Parents password", L"Disable",
    L"Cancel",
    L"About Corvel Harbee Juvo", L"Copyright \xA9 Corvel. All rights reserved.",
    L"Error", L"Incorrect password", L"Unexpected error"};

inline const UiTexts kFrench{
    L"fr",
    L"Corvel Harbee Juvo", L"\xC0 propos\x2026", L"R\xE9glages Parents", L"R\xE9" L"activer tout de suite",
    L"D\xE9sactivation temporaire\x2026",
    L" bloqu\xE9" L"e!", L"Horaire non autoris\xE9", L"Quota \xE9puis\xE9", L"Application interdite",
    L"Corvel Harbee Juvo d\xE9sactiv\xE9", L"R\xE9" L"activation dans ", L"Corvel Harbee Juvo activ\xE9",
    L"D\xE9sactivation temporaire de Corvel Harbee Juvo",
    L"Pour combien de temps souhaitez-vous d\xE9sactiver la protection Web et le suivi des usages?",
    L"Mot de passe des parents", L"D\xE9sactiver", L"Annuler",
    L"\xC0 propos de Corvel Harbee Juvo", L"Copyright \xA9 Corvel. Tous droits r\xE9serv\xE9s.",
    L"Erreur", L"Mot de passe incorrect", L"Erreur inattendue"};

inline const UiTexts& uiTexts() {
    return PRIMARYLANGID(::GetUserDefaultUILanguage()) == LANG_FRENCH ? kFrench : kEnglish;
}

}  // namespace brisko::testing
