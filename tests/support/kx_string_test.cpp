#include "support/kx_string.hpp"

#include <gtest/gtest.h>

namespace resq {
namespace {

using fields = std::vector<std::string>;

TEST(kx_string, split_fields_trims_keeps_empty_fields_and_appends_on_request) {
    const struct {
        const char* text;
        bool trim, keep_empty;
        fields expected;
    } cases[] = {
        {" a , b ", false, false, {" a ", " b "}},
        {" a , b ", true, false, {"a", "b"}},
        {"a,,b,", false, false, {"a", "b"}},
        {"a,,b,", false, true, {"a", "", "b", ""}},
        {" , ", true, false, {}},
        {"single", false, false, {"single"}},
    };
    for (const auto& c : cases) {
        fields out = {"stale"};
        EXPECT_TRUE(split_fields(c.text, ',', out, c.trim, c.keep_empty, false)) << c.text;
        EXPECT_EQ(out, c.expected) << c.text;
    }
    fields out = {"x"};
    EXPECT_TRUE(split_fields("y|z", '|', out, false, false, true));
    EXPECT_EQ(out, (fields{"x", "y", "z"}));
    EXPECT_FALSE(split_fields("", '|', out, false, false, false));
    EXPECT_TRUE(out.empty());
}

TEST(kx_string, random_in_range_stays_within_its_bounds_in_either_order) {
    bool seen_low = false;
    bool seen_high = false;
    for (int i = 0; i < 2000; ++i) {
        const uint8_t forward = random_in_range(10, 99);
        const uint8_t reversed = random_in_range(99, 10);
        ASSERT_TRUE(forward >= 10 && forward <= 99 && reversed >= 10 && reversed <= 99);
        seen_low = seen_low || forward == 10;
        seen_high = seen_high || forward == 99;
    }
    EXPECT_TRUE(seen_low && seen_high);
    EXPECT_EQ(random_in_range(7, 7), 7);
}

}  // namespace
}  // namespace resq
