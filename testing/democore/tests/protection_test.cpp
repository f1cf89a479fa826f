#include <gtest/gtest.h>

#include "protection.h"

namespace brisko::democore {
namespace {

using testing::Value;

const Clock::time_point kNow{};

TEST(Protection, AnswersChangeProtectionByPasswordAndShape) {
    struct Case {
        const char* name;
        std::vector<Value> values;
        int32_t result;
    };
    const Case cases[] = {
        {"right password", {std::string("secret"), false, int64_t{1000}}, kChangeDone},
        {"wrong password", {std::string("Secret"), false, int64_t{1000}}, kWrongPassword},
        {"missing duration", {std::string("secret"), false}, kMalformedRequest},
        {"enable not a boolean", {std::string("secret"), int64_t{0}, int64_t{1000}}, kMalformedRequest},
        {"password not a string", {int64_t{7}, false, int64_t{1000}}, kMalformedRequest},
    };
    for (const Case& c : cases) {
        Protection protection(std::string("secret"));
        EXPECT_EQ(protection.change(c.values, kNow), c.result) << c.name;
        EXPECT_EQ(protection.status(kNow).enabled, c.result != kChangeDone) << c.name;
    }
    Protection withoutPassword(std::nullopt);
    EXPECT_EQ(withoutPassword.change({std::string(""), false, int64_t{0}}, kNow), kWrongPassword);
}

TEST(Protection, ADisabledPeriodRunsOutAndAZeroDurationHasNoEnd) {
    Protection protection(std::string("pw"));
    ASSERT_EQ(protection.change({std::string("pw"), false, int64_t{60000}}, kNow), kChangeDone);
    EXPECT_EQ(protection.deadline(), kNow + std::chrono::minutes(1));
    const ProtectionStatus during = protection.status(kNow + std::chrono::seconds(15));
    EXPECT_FALSE(during.enabled);
    EXPECT_EQ(during.remainingMs, 45000);
    const ProtectionStatus after = protection.status(kNow + std::chrono::minutes(1));
    EXPECT_TRUE(after.enabled);
    EXPECT_EQ(after.remainingMs, 0);
    EXPECT_FALSE(protection.deadline());

    ASSERT_EQ(protection.change({std::string("pw"), false, int64_t{0}}, kNow), kChangeDone);
    EXPECT_FALSE(protection.status(kNow + std::chrono::hours(24)).enabled) << "no end time";
    ASSERT_EQ(protection.change({std::string("pw"), true, int64_t{5000}}, kNow), kChangeDone);
    EXPECT_TRUE(protection.status(kNow).enabled);
    EXPECT_FALSE(protection.deadline());
}

}  // namespace
}  // namespace brisko::democore
