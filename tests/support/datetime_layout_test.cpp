#include "support/datetime_layout.hpp"

#include <gtest/gtest.h>

namespace resq {
namespace {

TEST(datetime_layout, accepts_patterns_by_length_and_colon) {
    EXPECT_TRUE(accept_date_pattern("yyyymmdd") && accept_date_pattern("whatever!!"));
    EXPECT_FALSE(accept_date_pattern("yyyy/mm/dd/") || accept_date_pattern("dd/mm/y"));
    EXPECT_TRUE(accept_time_pattern("hh:mm:ss") && accept_time_pattern("hh:mm:ss.abc") &&
                accept_time_pattern("hh:mm:ss.xxxxxxxxx"));
    EXPECT_FALSE(accept_time_pattern("hh-mm-ss") || accept_time_pattern("hh:mm:ss.x") ||
                 accept_time_pattern("hh:mm:ss.xxxxxxxxxxx"));
}

TEST(datetime_layout, compiles_the_date_and_stops_with_what_it_has_on_a_bad_one) {
    const struct {
        const char* pattern;
        bool ok;
        uint8_t separator, flags;
    } cases[] = {
        {"yyyy-mm-dd", true, '-', 0x02 | 0x04 | 0x80},
        {"mm/dd/yyyy", true, '/', 0x02 | 0x04 | 0x40},
        {"dd/mm/yy", true, '/', 0x02 | 0x08 | 0x20},
        {"mmm dd, yy", true, ' ', 0x01 | 0x08 | 0x10 | 0x40},
        {"yyyymmdd", true, 0, 0x02 | 0x04 | 0x80},
        {"yyyy-dd-xx", false, '-', 0},
        {"mm-dd-xxxx", false, '-', 0x02},
        {"mm/yyyy/xx", false, '/', 0x02 | 0x04},
        {"yyyy/dd/mm", false, '/', 0x02 | 0x04},
    };
    for (const auto& c : cases) {
        kx::datetime_layout layout;
        EXPECT_EQ(compile_datetime_layout(layout, c.pattern, "hh:mm:ss.xxx", false), c.ok)
            << c.pattern;
        EXPECT_EQ(layout.date_separator, c.separator) << c.pattern;
        EXPECT_EQ(layout.date_flags, c.flags) << c.pattern;
        // A failed date leaves the time part out.
        EXPECT_EQ(layout.fraction_digits(), c.ok ? 3u : 0u) << c.pattern;
        EXPECT_EQ(layout.highest_year, 2600);
    }
}

TEST(datetime_layout, counts_fraction_digits_from_the_first_xxx_to_the_last_x) {
    const struct {
        const char* pattern;
        unsigned digits;
    } cases[] = {
        {"hh:mm:ss", 0},        {"hh:mm:ss.abc", 0},       {"hh:mm:ss.xxxxxx", 6},
        {"hh:mm:ss.xxx  x", 6}, {"hh:mm:ss.xxxxxxxxx", 9}, {"hh:mm:ss.xxxxxxxxxxx", 9},
    };
    for (const auto& c : cases) {
        kx::datetime_layout layout;
        EXPECT_TRUE(compile_datetime_layout(layout, "", c.pattern, true)) << c.pattern;
        EXPECT_EQ(layout.fraction_digits(), c.digits) << c.pattern;
        EXPECT_EQ(layout.time_flags & 0x01, 0x01);  // the pair flag
    }
}

}  // namespace
}  // namespace resq
