// CheckPassword against the system's libxcrypt: for any password and stored hash text, the
// plug-in answers 1 exactly when the text is "bcrypt$" and a setting whose canonical hash
// libxcrypt computes from that password to the very same string, else 0. Null arguments are
// refused.
#include <crypt.h>

#include <cstdint>
#include <cstring>
#include <memory>
#include <string>

#include "fuzz_input.h"
#include "support_exports.h"

namespace {

constexpr std::string_view kPrefix = "bcrypt$";
// Every salt character libxcrypt's bcrypt takes.
constexpr char kSaltAlphabet[] = "./ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";

// libxcrypt's own answer for the text after "bcrypt$".
bool libxcryptMatches(const std::string& password, const std::string& setting) {
    const auto data = std::make_unique<crypt_data>();
    const char* hash = crypt_rn(password.c_str(), setting.c_str(), data.get(), sizeof(crypt_data));
    return hash && hash[0] != '*' && setting == hash;
}

// Costs above 05 only slow the run down; every other byte of the setting stays as fuzzed.
bool affordable(const std::string& setting) {
    if (setting.size() < 7 || setting.compare(0, 2, "$2") != 0 || setting[3] != '$') return true;
    return !(setting[4] >= '0' && setting[4] <= '9' && setting[5] >= '0' && setting[5] <= '9') ||
           (setting[4] - '0') * 10 + (setting[5] - '0') <= 5;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzInput input(data, size);
    const uint8_t form = input.byte();
    std::string password = input.narrow();
    password.resize(std::strlen(password.c_str()));
    // libxcrypt's public entry refuses longer passphrases; bcrypt reads 72 bytes of any.
    if (password.size() > CRYPT_MAX_PASSPHRASE_SIZE) return 0;
    std::string setting;
    if (form & 1) {
        // A well-formed setting with a fuzzed salt, and maybe the hash of this very password.
        static constexpr char kSubtypes[] = "abxy";
        setting = std::string("$2") + kSubtypes[form >> 1 & 3] + "$0" + static_cast<char>('4' + (form >> 3 & 1)) + "$";
        for (int i = 0; i < 22; ++i) setting += kSaltAlphabet[input.byte() & 63];
        if (form & 0x10) setting = crypt_rn(password.c_str(), setting.c_str(), std::make_unique<crypt_data>().get(),
                                            sizeof(crypt_data));
        if (form & 0x20 && !setting.empty()) setting.back() = input.narrow()[0];
    } else {
        setting = input.narrow();
    }
    setting.resize(std::strlen(setting.c_str()));
    if (!affordable(setting)) return 0;

    const std::string stored = (form & 0x40 ? std::string("pbkdf2$") : std::string(kPrefix)) + setting;
    const int answer = CheckPassword(password.c_str(), stored.c_str());
    FUZZ_CHECK(answer == ((!(form & 0x40) && libxcryptMatches(password, setting)) ? 1 : 0));
    FUZZ_CHECK(!CheckPassword(nullptr, stored.c_str()) && !CheckPassword(password.c_str(), nullptr));
    return 0;
}
