#include "support/kx_time.hpp"

#include <gtest/gtest.h>

#include <ctime>

#include "support/datetime_layout.hpp"

namespace resq {
namespace {

// 2026-12-05 05:02:25.1234567 UTC, a Saturday.
constexpr uint64_t sample = 134409205451234567ull;

kx::datetime_layout compiled(const char* date_pattern, const char* time_pattern) {
    kx::datetime_layout layout;
    compile_datetime_layout(layout, date_pattern, time_pattern, false);
    return layout;
}

TEST(kx_time, converts_a_value_into_utc_fields_and_fractions) {
    const kx::time t(sample, kx::type_time::filetime);
    ASSERT_TRUE(t.valid());
    EXPECT_EQ(t.unix_seconds(), 1796446945);
    const kx::_windows_systemtime& utc = t.utc();
    EXPECT_EQ(utc.year, 2026);
    EXPECT_EQ(utc.month, 12);
    EXPECT_EQ(utc.day_of_week, 6);
    EXPECT_EQ(utc.day, 5);
    EXPECT_EQ(utc.hour, 5);
    EXPECT_EQ(utc.minute, 2);
    EXPECT_EQ(utc.second, 25);
    EXPECT_EQ(utc.millisecond, 123);
    EXPECT_EQ(t.microsecond(), 123456u);
    EXPECT_EQ(t.nanosecond(), 123456700u);
}

TEST(kx_time, agrees_with_gmtime_across_leap_years_and_centuries) {
    // Every day from 1900 to 2999 (each cycle's last day included), the clock drifting a second
    // a day so that every time of day comes round.
    for (int64_t secs = -2208988800LL; secs < 32503680000LL; secs += 86401) {
        const uint64_t value =
            static_cast<uint64_t>(secs) * 10'000'000ull + kx::filetime_unix_epoch;
        const kx::time t(value, kx::type_time::filetime);
        const time_t clock = static_cast<time_t>(secs);
        std::tm expected{};
        gmtime_r(&clock, &expected);
        ASSERT_TRUE(t.valid()) << secs;
        ASSERT_EQ(t.utc().year, expected.tm_year + 1900) << secs;
        ASSERT_EQ(t.utc().month, expected.tm_mon + 1) << secs;
        ASSERT_EQ(t.utc().day, expected.tm_mday) << secs;
        ASSERT_EQ(t.utc().day_of_week, expected.tm_wday) << secs;
        ASSERT_EQ(t.utc().hour, expected.tm_hour) << secs;
        ASSERT_EQ(t.utc().minute, expected.tm_min) << secs;
        ASSERT_EQ(t.utc().second, expected.tm_sec) << secs;
    }
}

TEST(kx_time, refuses_zero_the_epoch_second_big_values_and_years_out_of_range) {
    constexpr uint64_t year_1900 = 94354848000000000ull;
    constexpr uint64_t year_3001 = 441796896000000000ull;
    EXPECT_FALSE(kx::time(0, kx::type_time::filetime).valid());
    EXPECT_FALSE(kx::time(kx::filetime_unix_epoch + 9'999'999, kx::type_time::filetime).valid());
    EXPECT_FALSE(kx::time(uint64_t{1} << 63, kx::type_time::filetime).valid());
    EXPECT_FALSE(kx::time(year_1900 - 1, kx::type_time::filetime).valid());
    EXPECT_TRUE(kx::time(year_1900, kx::type_time::filetime).valid());
    EXPECT_TRUE(kx::time(year_3001 - 1, kx::type_time::filetime).valid());
    EXPECT_FALSE(kx::time(year_3001, kx::type_time::filetime).valid());
    const kx::time first(1, kx::type_time::filetime);
    EXPECT_EQ(first.utc().year, 1601);
    EXPECT_EQ(first.utc().day_of_week, 1);  // a Monday
}

TEST(kx_time, formats_every_example_pattern) {
    const kx::time t(sample, kx::type_time::filetime);
    const struct {
        const char* date_pattern;
        const char* time_pattern;
        const char* date;
        const char* time;
    } cases[] = {
        {"yyyy-mm-dd", "hh:mm:ss", "2026-12-05", "05:02:25"},
        {"mm/dd/yyyy", "hh:mm:ss.xxx", "12/05/2026", "05:02:25.123"},
        {"dd/mm/yy", "hh:mm:ss.xxxx", "05/12/26", "05:02:25.1234"},
        {"mmm dd, yy", "hh:mm:ss.xxxxx", "Dec 05, 26", "05:02:25.12345"},
        {"yyyymmdd", "hh:mm:ss.xxxxxx", "2026/12/05", "05:02:25.123456"},
        {"dd-mmm-yy", "hh:mm:ss.xxxxxxx", "05-Dec-26", "05:02:25.1234567"},
        {"mmm/dd/yy", "hh.mm.ss xxxxxxxx", "Dec/05/26", "05:02:25.12345670"},
        {"yyyy mm dd", "hh:mm:ss.xxxxxxxxx", "2026 12 05", "05:02:25.123456700"},
    };
    for (const auto& c : cases) {
        std::string date = "old";
        std::string time = "old";
        EXPECT_TRUE(format_date_time(date, time, t, compiled(c.date_pattern, c.time_pattern)));
        EXPECT_EQ(date, c.date) << c.date_pattern;
        EXPECT_EQ(time, c.time) << c.time_pattern;
    }
}

TEST(kx_time, formats_defaults_for_an_empty_layout_and_nothing_for_an_invalid_time) {
    std::string date;
    std::string time;
    EXPECT_TRUE(format_date_time(date, time, kx::time(sample, kx::type_time::filetime), {}));
    EXPECT_EQ(date + " " + time, "2026-12-05 05:02:25.123");
    EXPECT_FALSE(format_date_time(date, time, kx::time(0, kx::type_time::filetime),
                                  compiled("yyyy-mm-dd", "hh:mm:ss.xxx")));
    EXPECT_EQ(date + time, "");
}

TEST(kx_time, names_every_month_and_pads_early_dates) {
    const char* names[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                           "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    // 2005-01-01 00:00:00 UTC, stepping 31 days lands in each month in turn.
    uint64_t value = 1104537600ull * 10'000'000ull + kx::filetime_unix_epoch;
    const kx::datetime_layout layout = compiled("dd mmm yy", "hh:mm:ss");
    for (const char* name : names) {
        std::string date;
        std::string time;
        ASSERT_TRUE(format_date_time(date, time, kx::time(value, kx::type_time::filetime), layout));
        EXPECT_EQ(date.substr(3, 3), name);
        EXPECT_EQ(date.substr(7), "05");
        value += 31ull * 86400 * 10'000'000ull;
    }
}

TEST(kx_time, sizes_the_date_and_time_columns) {
    EXPECT_EQ(date_pattern_width("yyyymmdd") + date_pattern_width("mmm dd, yy"), 18u);
    EXPECT_EQ(date_pattern_width("yyyy/mm/dd/"), 0u);
    EXPECT_EQ(time_pattern_width("hh:mm:ss"), 8u);
    EXPECT_EQ(time_pattern_width("hh:mm:ss.xxxxxxxxx"), 18u);
    for (const char* refused : {"hh-mm-ss", "hh:mm:ss.abc", "hh:mm:ss.xxxxxxxxxxx"}) {
        EXPECT_EQ(time_pattern_width(refused), 0u) << refused;
    }
}

TEST(kx_time, captures_now_to_the_microsecond) {
    const std::time_t before = std::time(nullptr);
    const kx::time now = kx::capture_now();
    ASSERT_TRUE(now.valid());
    EXPECT_GE(now.unix_seconds(), before);
    EXPECT_LE(now.unix_seconds(), std::time(nullptr));
    EXPECT_EQ(now.value() % 10, 0u);
}

}  // namespace
}  // namespace resq
