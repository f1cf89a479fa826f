#pragma once
// Package strings are read in French (France): the thread's locale while a manifest is read, and
// the C runtime's rules for comparing them, without touching the runtime's process-wide locale
// (setlocale would race with every other thread of the process).
#include <windows.h>

namespace brisko {

inline constexpr LCID kFrenchFrance = 1036;

// Lower case by the C runtime's rules for "French" (a locale object of its own, made once);
// ASCII only where the runtime has no French.
wchar_t FrenchLower(wchar_t c);

// French as the thread's locale for the life of the scope; the caller's is put back.
class FrenchThreadLocale {
public:
    FrenchThreadLocale() : saved_(::GetThreadLocale()) { ::SetThreadLocale(kFrenchFrance); }
    ~FrenchThreadLocale() { ::SetThreadLocale(saved_); }
    FrenchThreadLocale(const FrenchThreadLocale&) = delete;
    FrenchThreadLocale& operator=(const FrenchThreadLocale&) = delete;

private:
    LCID saved_;
};

}  // namespace brisko
