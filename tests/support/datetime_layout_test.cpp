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

TEST(datetime_layout, compiles_both_patterns_and_stops_with_what_it_has_on_a_bad_date) {
    const struct {
        const char *date, *time;
        bool ok;
        uint8_t separator, date_flags, fraction_digits;
    } cases[] = {
        {"yyyy-mm-dd", "hh:mm:ss", true, '-', 0x02 | 0x04 | 0x80, 0},
        {"mm/dd/yyyy", "hh:mm:ss.xxx  x", true, '/', 0x02 | 0x04 | 0x40, 6},  // first xxx to last x
        {"dd/mm/yy", "hh:mm:ss.xxxxxxxxx", true, '/', 0x02 | 0x08 | 0x20, 9},
        {"yyyymmdd", "hh:mm:ss.xxxxxxxxxxx", true, 0, 0x02 | 0x04 | 0x80, 9},
        {"mmm dd, yy", "hh:mm:ss.xxx", true, ' ', 0x01 | 0x08 | 0x10 | 0x40, 3},
        {"yyyy-dd-xx", "hh:mm:ss.xxx", false, '-', 0, 0},     // no month, and no time part after it
        {"mm-dd-xxxx", "hh:mm:ss.xxx", false, '-', 0x02, 0},  // no year
        {"mm/yyyy/xx", "hh:mm:ss.xxx", false, '/', 0x02 | 0x04, 0},  // no day
        {"yyyy/dd/mm", "hh:mm:ss.xxx", false, '/', 0x02 | 0x04, 0},  // unsupported order
    };
    for (const auto& c : cases) {
        kx::datetime_layout layout;
        EXPECT_EQ(compile_datetime_layout(layout, c.date, c.time, false), c.ok) << c.date;
        EXPECT_EQ(layout.date_separator, c.separator) << c.date;
        EXPECT_EQ(layout.date_flags, c.date_flags) << c.date;
        EXPECT_EQ(layout.time_flags, c.fraction_digits << 1) << c.time;
    }
    kx::datetime_layout paired;
    EXPECT_TRUE(compile_datetime_layout(paired, "", "hh:mm:ss.xxx", true));
    EXPECT_EQ(paired.time_flags, 0x01 | 3 << 1);  // bit 0: the pair flag
}

}  // namespace
}  // namespace resq
