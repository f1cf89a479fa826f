#include "password_check.h"

#include <windows.h>

#include <array>
#include <cstddef>
#include <cstring>
#include <string_view>

#include "bcrypt.h"
#include "support_exports.h"

namespace brisko {
namespace {

constexpr std::string_view kBcryptPrefix = "bcrypt$";

}  // namespace

bool VerifyPasswordHash(const char* password, const char* storedHash) {
    // Other algorithms ("pbkdf2$", "pbkdf2_sha256$", ...) are never verified.
    if (std::strncmp(storedHash, kBcryptPrefix.data(), kBcryptPrefix.size()) != 0) return false;
    const char* setting = storedHash + kBcryptPrefix.size();

    std::array<char, 64> computed{};
    alignas(std::max_align_t) std::array<unsigned char, BCRYPT_SCRATCH_SIZE> scratch;
    crypt_bcrypt_rn(password, std::strlen(password), setting, std::strlen(setting),
                    reinterpret_cast<uint8_t*>(computed.data()), computed.size(), scratch.data(), scratch.size());
    ::SecureZeroMemory(scratch.data(), scratch.size());
    // A refused setting (bad subtype, cost or salt, or a failed self-test) leaves the buffer empty;
    // "bcrypt$" with nothing after it must not match that.
    if (computed[0] == '\0') return false;

    // The canonical string, NUL included: a trailing character or salt bits beyond the
    // significant ones make the stored text differ.
    return std::strcmp(computed.data(), setting) == 0;
}

}  // namespace brisko

extern "C" int __cdecl CheckPassword(const char* password, const char* storedHash) noexcept {
    if (password == nullptr || storedHash == nullptr) return 0;
    return brisko::VerifyPasswordHash(password, storedHash) ? 1 : 0;
}
