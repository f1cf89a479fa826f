// CheckPassword, called through Support.dll as the setup program calls it, next to libxcrypt's
// bcrypt called directly with the same setting, at cost 10 and 12. The plug-in's own work (the
// prefix, the scratch area, the comparison) should vanish beside the hash.
#include <windows.h>

#include <array>
#include <cstdio>
#include <string>
#include <vector>

#include "bcrypt.h"
#include "bench_report.h"
#include "executable_path.h"
#include "proc_address.h"
#include "support_exports.h"
#include "unique_handle.h"

namespace {

using namespace brisko;
using namespace brisko::bench;

constexpr char kPassword[] = "correct horse battery staple";
constexpr char kSalt[] = "HarbeeSetupPasswordSaO";

// The bcrypt string of the password under setting, as the installer would have stored it.
std::string Bcrypt(const std::string& setting) {
    std::array<char, 64> output{};
    std::vector<unsigned char> scratch(BCRYPT_SCRATCH_SIZE);
    crypt_bcrypt_rn(kPassword, sizeof kPassword - 1, setting.c_str(), setting.size(),
                    reinterpret_cast<uint8_t*>(output.data()), output.size(), scratch.data(), scratch.size());
    return output.data();
}

bool measure(decltype(&::CheckPassword) checkPassword, int cost, int rounds) {
    char setting[32];
    std::snprintf(setting, sizeof setting, "$2b$%02d$%s", cost, kSalt);
    const std::string hash = Bcrypt(setting);
    const std::string stored = "bcrypt$" + hash;
    std::vector<double> plugin, direct, ratios;
    for (int round = 0; round < rounds; ++round) {
        auto start = Clock::now();
        if (!checkPassword(kPassword, stored.c_str())) {
            std::fprintf(stderr, "password_check_bench: no match at cost %d\n", cost);
            return false;
        }
        const double pluginSeconds = secondsSince(start);
        start = Clock::now();
        if (Bcrypt(hash) != hash) return false;
        const double directSeconds = secondsSince(start);
        plugin.push_back(pluginSeconds * 1000);
        direct.push_back(directSeconds * 1000);
        ratios.push_back(pluginSeconds / directSeconds);
    }
    const std::string name = "cost" + std::to_string(cost);
    report("check_password_" + name, median(plugin), "ms");
    report("bcrypt_" + name, median(direct), "ms");
    report("check_password_" + name + "_time_vs_bcrypt", median(ratios), "x");
    return true;
}

}  // namespace

int main() {
    const UniqueModule support(::LoadLibraryW(siblingPath(L"Support.dll").c_str()));
    const auto checkPassword = procAddress<decltype(&::CheckPassword)>(support.get(), "CheckPassword");
    if (!checkPassword) {
        std::fprintf(stderr, "password_check_bench: Support.dll or its CheckPassword is missing\n");
        return 1;
    }
    return measure(checkPassword, 10, 9) && measure(checkPassword, 12, 5) ? 0 : 1;
}
