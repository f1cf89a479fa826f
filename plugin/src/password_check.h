#pragma once
// Verifies a password against the stored hash text the setup program holds.

namespace brisko {

// Both pointers are non-null. True only for a "bcrypt$" hash whose canonical bcrypt string,
// recomputed from the password, equals the stored one exactly.
bool VerifyPasswordHash(const char* password, const char* storedHash);

}  // namespace brisko
