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
    // A fraction runs from the first "xxx" to the last x, nine digits at most.
    // clang-format off
    const struct { const char *date, *time; bool pair, ok; uint8_t sep, date_flags, time_flags; }
    cases[] = {
        {"yyyy-mm-dd", "hh:mm:ss", false, true, '-', 0x02 | 0x04 | 0x80, 0},
        {"mm/dd/yyyy", "hh:mm:ss.xxx  x", false, true, '/', 0x02 | 0x04 | 0x40, 6 << 1},
        {"dd/mm/yy", "hh:mm:ss.xxxxxxxxx", false, true, '/', 0x02 | 0x08 | 0x20, 9 << 1},
        {"yyyymmdd", "hh:mm:ss.xxxxxxxxxxx", false, true, 0, 0x02 | 0x04 | 0x80, 9 << 1},
        {"mmm dd, yy", "hh:mm:ss.xxx", false, true, ' ', 0x01 | 0x08 | 0x10 | 0x40, 3 << 1},
        {"", "hh:mm:ss.xxx", true, true, 0, 0, 0x01 | 3 << 1},  // bit 0: the pair flag
        {"yyyy-dd-xx", "hh:mm:ss.xxx", false, false, '-', 0, 0},  // no month: stops before the time
        {"mm-dd-xxxx", "hh:mm:ss.xxx", false, false, '-', 0x02, 0},  // no year
        {"mm/yyyy/xx", "hh:mm:ss.xxx", false, false, '/', 0x02 | 0x04, 0},  // no day
        {"yyyy/dd/mm", "hh:mm:ss.xxx", false, false, '/', 0x02 | 0x04, 0}};  // unsupported order
    // clang-format on
    for (const auto& c : cases) {
        kx::datetime_layout layout;
        EXPECT_EQ(compile_datetime_layout(layout, c.date, c.time, c.pair), c.ok) << c.date;
        EXPECT_EQ(layout.date_separator, c.sep) << c.date;
        EXPECT_EQ(layout.date_flags, c.date_flags) << c.date;
        EXPECT_EQ(layout.time_flags, c.time_flags) << c.time;
    }
}

}  // namespace
}  // namespace resq
