#include "packages/package_locale.h"

#include <locale.h>
#include <wchar.h>

namespace brisko {
namespace {

class CrtLocale {
public:
    explicit CrtLocale(const char* name) : locale_(::_create_locale(LC_ALL, name)) {}
    ~CrtLocale() {
        if (locale_) ::_free_locale(locale_);
    }
    CrtLocale(const CrtLocale&) = delete;
    CrtLocale& operator=(const CrtLocale&) = delete;
    _locale_t get() const { return locale_; }

private:
    _locale_t locale_;
};

_locale_t FrenchCrtLocale() {
    static const CrtLocale french("French");
    return french.get();
}

}  // namespace

wchar_t FrenchLower(wchar_t c) {
    if (const _locale_t french = FrenchCrtLocale()) return static_cast<wchar_t>(::_towlower_l(c, french));
    return c >= L'A' && c <= L'Z' ? static_cast<wchar_t>(c - L'A' + L'a') : c;
}

}  // namespace brisko
