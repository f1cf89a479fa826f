// CheckPassword through the loaded plug-in. Expected hashes come from the system's libxcrypt
// on the build machine (crypt(3) under the salt "HarbeeSetupPasswordSaO") and from libxcrypt's
// own known-answer table, never from the code under test.
#include <gtest/gtest.h>

#include <cctype>
#include <string>

#include "support_library.h"

namespace brisko::testing {
namespace {

struct PasswordCase {
    const char* name;
    const char* password;
    const char* stored;
    bool matches;
};

std::string TestName(const char* name) {
    std::string result;
    for (const char c : std::string(name)) result += std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
    return result;
}

// 72 'a's: bcrypt reads no further.
#define A72 "aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa"

const PasswordCase kCases[] = {
    {"a right", "hunter2", "bcrypt$$2a$04$HarbeeSetupPasswordSaOjyLLy.7tAi5wr.ccIUXWoYvDFoBlmN.", true},
    {"a wrong", "hunter3", "bcrypt$$2a$04$HarbeeSetupPasswordSaOjyLLy.7tAi5wr.ccIUXWoYvDFoBlmN.", false},
    {"b right", "hunter2", "bcrypt$$2b$04$HarbeeSetupPasswordSaOjyLLy.7tAi5wr.ccIUXWoYvDFoBlmN.", true},
    {"b wrong", "Hunter2", "bcrypt$$2b$04$HarbeeSetupPasswordSaOjyLLy.7tAi5wr.ccIUXWoYvDFoBlmN.", false},
    {"x right", "hunter2", "bcrypt$$2x$04$HarbeeSetupPasswordSaOjyLLy.7tAi5wr.ccIUXWoYvDFoBlmN.", true},
    {"x wrong", "hunter", "bcrypt$$2x$04$HarbeeSetupPasswordSaOjyLLy.7tAi5wr.ccIUXWoYvDFoBlmN.", false},
    {"y right", "hunter2", "bcrypt$$2y$04$HarbeeSetupPasswordSaOjyLLy.7tAi5wr.ccIUXWoYvDFoBlmN.", true},
    {"y wrong", "hunter22", "bcrypt$$2y$04$HarbeeSetupPasswordSaOjyLLy.7tAi5wr.ccIUXWoYvDFoBlmN.", false},
    {"cost 05", "hunter2", "bcrypt$$2b$05$HarbeeSetupPasswordSaOm4kziJSFfvmXEpRqS0uRd5O0soejDUa", true},
    {"empty password", "", "bcrypt$$2b$04$HarbeeSetupPasswordSaOebnfaOJdr.8i1RJs81WQE/B1RzjCoJK", true},

    // High bytes: a, b and y hash them correctly (a with its countermeasure against hashes of
    // the old sign-extension fault), x reproduces that fault.
    {"a high bit", "\xff\xff\xa3", "bcrypt$$2a$04$HarbeeSetupPasswordSaO8m7yyX81z40npEVduwZMhjcuaybzAxy", true},
    {"b high bit", "\xff\xff\xa3", "bcrypt$$2b$04$HarbeeSetupPasswordSaOs2YdNqH6i8azpb7RRnKuRGu2ZQrUjtS", true},
    {"x high bit", "\xa3", "bcrypt$$2x$04$HarbeeSetupPasswordSaOs2YdNqH6i8azpb7RRnKuRGu2ZQrUjtS", true},
    {"y high bit", "\xa3", "bcrypt$$2y$04$HarbeeSetupPasswordSaOUcxpaKq6BVh.tpGmvgyVESM2RrCsJ6.", true},
    {"x is not y for high bytes", "\xa3", "bcrypt$$2x$04$HarbeeSetupPasswordSaOUcxpaKq6BVh.tpGmvgyVESM2RrCsJ6.", false},
    {"a is not b under its countermeasure", "\xff\xff\xa3",
     "bcrypt$$2a$04$HarbeeSetupPasswordSaOs2YdNqH6i8azpb7RRnKuRGu2ZQrUjtS", false},

    // Passwords over 72 bytes count by their first 72.
    {"73 bytes match on 72", A72 "X", "bcrypt$$2b$04$HarbeeSetupPasswordSaOp1JC57MFfea9OcRbjd92yOyKT4khDMi", true},
    {"the 72nd byte counts", "aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaX",
     "bcrypt$$2b$04$HarbeeSetupPasswordSaOjn2WtJcApg5/X/sUeX9/0QcnAzN/Mlu", false},
    {"very long password", A72 A72 A72 A72 A72 A72 A72 A72,
     "bcrypt$$2b$04$HarbeeSetupPasswordSaOp1JC57MFfea9OcRbjd92yOyKT4khDMi", true},

    // The stored text must be the canonical bcrypt string exactly.
    {"cost 03", "hunter2", "bcrypt$$2b$03$HarbeeSetupPasswordSaOjyLLy.7tAi5wr.ccIUXWoYvDFoBlmN.", false},
    {"cost 32", "hunter2", "bcrypt$$2b$32$HarbeeSetupPasswordSaOjyLLy.7tAi5wr.ccIUXWoYvDFoBlmN.", false},
    {"cost one digit", "hunter2", "bcrypt$$2b$4$HarbeeSetupPasswordSaOjyLLy.7tAi5wr.ccIUXWoYvDFoBlmN.", false},
    {"trailing newline", "hunter2", "bcrypt$$2b$04$HarbeeSetupPasswordSaOjyLLy.7tAi5wr.ccIUXWoYvDFoBlmN.\n", false},
    {"trailing space", "hunter2", "bcrypt$$2b$04$HarbeeSetupPasswordSaOjyLLy.7tAi5wr.ccIUXWoYvDFoBlmN. ", false},
    {"hash one short", "hunter2", "bcrypt$$2b$04$HarbeeSetupPasswordSaOjyLLy.7tAi5wr.ccIUXWoYvDFoBlmN", false},
    {"setting without hash", "hunter2", "bcrypt$$2b$04$HarbeeSetupPasswordSaO", false},
    // 'P' carries a bit beyond the two that the last salt character holds; bcrypt reads it as 'O'.
    {"non-canonical last salt character", "hunter2",
     "bcrypt$$2b$04$HarbeeSetupPasswordSaPjyLLy.7tAi5wr.ccIUXWoYvDFoBlmN.", false},
    {"invalid salt character", "hunter2", "bcrypt$$2b$04$Harbee!etupPasswordSaOjyLLy.7tAi5wr.ccIUXWoYvDFoBlmN.", false},
    {"invalid hash character", "hunter2", "bcrypt$$2b$04$HarbeeSetupPasswordSaOjyLLy.7tAi5wr.ccIUXWoYvDFoBlm!.", false},
    {"unknown subtype", "hunter2", "bcrypt$$2c$04$HarbeeSetupPasswordSaOjyLLy.7tAi5wr.ccIUXWoYvDFoBlmN.", false},
    {"upper-case subtype", "hunter2", "bcrypt$$2B$04$HarbeeSetupPasswordSaOjyLLy.7tAi5wr.ccIUXWoYvDFoBlmN.", false},
    {"no dollar after cost", "hunter2", "bcrypt$$2b$04_HarbeeSetupPasswordSaOjyLLy.7tAi5wr.ccIUXWoYvDFoBlmN.", false},

    // Only the exact "bcrypt$" prefix is verified.
    {"prefix in capitals", "hunter2", "BCRYPT$$2b$04$HarbeeSetupPasswordSaOjyLLy.7tAi5wr.ccIUXWoYvDFoBlmN.", false},
    {"prefix capitalised", "hunter2", "Bcrypt$$2b$04$HarbeeSetupPasswordSaOjyLLy.7tAi5wr.ccIUXWoYvDFoBlmN.", false},
    {"no prefix", "hunter2", "$2b$04$HarbeeSetupPasswordSaOjyLLy.7tAi5wr.ccIUXWoYvDFoBlmN.", false},
    {"pbkdf2", "hunter2", "pbkdf2$20000$salt$c2VjcmV0", false},
    {"pbkdf2_sha256", "hunter2", "pbkdf2_sha256$260000$salt$c2VjcmV0c2VjcmV0", false},
    {"pbkdf2_sha256 carrying bcrypt", "hunter2",
     "pbkdf2_sha256$$2b$04$HarbeeSetupPasswordSaOjyLLy.7tAi5wr.ccIUXWoYvDFoBlmN.", false},
    {"prefix alone", "", "bcrypt$", false},
    {"empty hash", "", "", false},

    {"null password", nullptr, "bcrypt$$2b$04$HarbeeSetupPasswordSaOebnfaOJdr.8i1RJs81WQE/B1RzjCoJK", false},
    {"null hash", "hunter2", nullptr, false},
    {"both null", nullptr, nullptr, false},
};

class CheckPasswordTest : public ::testing::TestWithParam<PasswordCase> {
protected:
    SupportLibrary support;
};

// The whole 32-bit result is exactly 1 or 0, for callers that declare it int or BOOL (as setup
// scripts do) and for those that read only its low byte.
TEST_P(CheckPasswordTest, AnswersExactlyOneOrZero) {
    ASSERT_TRUE(support.loaded());
    const PasswordCase& c = GetParam();
    EXPECT_EQ(support.checkPassword(c.password, c.stored), c.matches ? 1 : 0);
    EXPECT_EQ(support.checkPasswordAsBool(c.password, c.stored), c.matches);
}

INSTANTIATE_TEST_SUITE_P(Hashes, CheckPasswordTest, ::testing::ValuesIn(kCases),
                         [](const auto& info) { return TestName(info.param.name); });

// libxcrypt's known answers for every bcrypt subtype, each with its right password and a wrong one.
struct KnownAnswer {
    const char* setting;
    const char* expected;
    const char* input;
};

#define INCLUDE_bcrypt 1
#define INCLUDE_bcrypt_a 1
#define INCLUDE_bcrypt_x 1
#define INCLUDE_bcrypt_y 1
#define TEST_bcrypt
#define TEST_bcrypt_a
#define TEST_bcrypt_x
#define TEST_bcrypt_y
const KnownAnswer kKnownAnswers[] = {
#include KNOWN_ANSWER_TABLE
};

TEST(CheckPasswordKnownAnswers, MatchEveryVectorAndRefuseAnOtherPassword) {
    SupportLibrary support;
    ASSERT_TRUE(support.loaded());
    ASSERT_GT(std::size(kKnownAnswers), 1000u);
    for (const KnownAnswer& answer : kKnownAnswers) {
        const std::string stored = std::string("bcrypt$") + answer.expected;
        EXPECT_EQ(support.checkPassword(answer.input, stored.c_str()), 1) << stored;
        const std::string other = std::string(answer.input).substr(0, 71) + "\x01";
        EXPECT_EQ(support.checkPassword(other.c_str(), stored.c_str()), 0) << stored;
    }
}

}  // namespace
}  // namespace brisko::testing
