#include "support/kx_time.hpp"

#include <gtest/gtest.h>

#include <array>
#include <ctime>

namespace resq {
namespace {

kx::time at(uint64_t filetime) {
    return kx::time(filetime, kx::type_time::filetime);
}
kx::time at_unix_second(int64_t secs) {
    return at(static_cast<uint64_t>(secs) * 10'000'000ull + kx::filetime_unix_epoch);
}

TEST(kx_time, agrees_with_gmtime_from_1900_to_3000_is_valid_only_there_and_captures_now) {
    // Every day from 1900 to 2999, drifting a second a day so that every time of day comes round.
    using fields = std::array<int64_t, 9>;
    for (int64_t secs = -2208988800LL; secs < 32503680000LL; secs += 86401) {
        const kx::time t = at_unix_second(secs);
        const kx::_windows_systemtime& u = t.utc();
        const time_t clock = static_cast<time_t>(secs);
        std::tm e{};
        gmtime_r(&clock, &e);
        ASSERT_EQ((fields{u.year, u.month, u.day, u.day_of_week, u.hour, u.minute, u.second,
                          t.unix_seconds(), t.valid()}),
                  (fields{e.tm_year + 1900, e.tm_mon + 1, e.tm_mday, e.tm_wday, e.tm_hour, e.tm_min,
                          e.tm_sec, secs, true}));
    }
    // Not valid for zero, the epoch's first second or values of 2^63 and above either.
    constexpr uint64_t year_1900 = 94354848000000000ull, year_3001 = 441796896000000000ull;
    for (const uint64_t value : {uint64_t{0}, kx::filetime_unix_epoch + 9'999'999,
                                 uint64_t{1} << 63, year_1900 - 1, year_3001}) {
        EXPECT_FALSE(at(value).valid()) << value;
    }
    EXPECT_TRUE(at(year_1900).valid() && at(year_3001 - 1).valid());
    const std::time_t before = std::time(nullptr);
    const kx::time now = kx::capture_now();
    EXPECT_TRUE(now.valid() && now.unix_seconds() >= before && now.value() % 10 == 0);
    EXPECT_LE(now.unix_seconds(), std::time(nullptr));
}

TEST(kx_time, formats_every_example_pattern_and_nothing_for_an_invalid_time_nor_a_bad_pattern) {
    const auto formatted = [](const kx::time& t, const char* date_pattern,
                              const char* time_pattern) {
        kx::datetime_layout layout;
        compile_datetime_layout(layout, date_pattern, time_pattern, false);
        std::string date = "old", time = "old";
        return (format_date_time(date, time, t, layout) ? "" : "false:") + date + "|" + time;
    };
    const kx::time t = at(134409205451234567ull);  // 2026-12-05 05:02:25.1234567 UTC
    const char* const cases[][3] = {
        {"yyyy-mm-dd", "hh:mm:ss", "2026-12-05|05:02:25"},
        {"mm/dd/yyyy", "hh:mm:ss.xxx", "12/05/2026|05:02:25.123"},
        {"dd/mm/yy", "hh:mm:ss.xxxx", "05/12/26|05:02:25.1234"},
        {"mmm dd, yy", "hh:mm:ss.xxxxx", "Dec 05, 26|05:02:25.12345"},
        {"yyyymmdd", "hh:mm:ss.xxx  x", "2026/12/05|05:02:25.123456"},  // first xxx to last x
        {"dd-mmm-yy", "hh:mm:ss.xxxxxxx", "05-Dec-26|05:02:25.1234567"},
        {"mmm/dd/yy", "hh.mm.ss xxxxxxxx", "Dec/05/26|05:02:25.12345670"},
        {"yyyy mm dd", "hh:mm:ss.xxxxxxxxxxx", "2026 12 05|05:02:25.123456700"},  // nine at most
        {"", "", "2026-12-05|05:02:25.123"}};  // an empty layout writes the defaults
    for (const auto& c : cases) {
        EXPECT_EQ(formatted(t, c[0], c[1]), c[2]) << c[0] << " " << c[1];
    }
    EXPECT_EQ(formatted(at(0), "yyyy-mm-dd", "hh:mm:ss"), "false:|");
    std::string months;  // from 2005-01-01, 31 days at a time lands in each month in turn
    for (int64_t secs = 1104537600; months.size() < 12 * 7; secs += 31 * 86400) {
        months += formatted(at_unix_second(secs), "dd mmm yy", "hh:mm:ss").substr(3, 7);
    }
    EXPECT_EQ(
        months,
        "Jan 05|Feb 05|Mar 05|Apr 05|May 05|Jun 05|Jul 05|Aug 05|Sep 05|Oct 05|Nov 05|Dec 05|");
    // Patterns are taken by length (the columns sized to them); a date without a known order is
    // not.
    EXPECT_EQ(date_pattern_width("yyyymmdd") + date_pattern_width("mmm dd, yy"), 18u);
    EXPECT_EQ(time_pattern_width("hh:mm:ss") + time_pattern_width("hh:mm:ss.xxxxxxxxx"), 26u);
    EXPECT_EQ(date_pattern_width("yyyy/mm/dd/") + time_pattern_width("hh:mm:ss.abc"), 0u);
    EXPECT_TRUE(accept_date_pattern("whatever!!") && accept_time_pattern("hh:mm:ss.abc") &&
                accept_time_pattern("hh:mm:ss"));
    EXPECT_FALSE(accept_date_pattern("yyyy/mm/dd/") || accept_date_pattern("dd/mm/y"));
    for (const char* refused : {"hh-mm-ss", "hh:mm:ss.x", "hh:mm:ss.xxxxxxxxxxx"}) {
        EXPECT_FALSE(accept_time_pattern(refused) || time_pattern_width(refused) != 0) << refused;
    }
    kx::datetime_layout layout;  // no month, no year, no day, an order that is not offered
    for (const char* date : {"yyyy-dd-xx", "mm-dd-xxxx", "mm/yyyy/xx", "yyyy/dd/mm"}) {
        EXPECT_FALSE(compile_datetime_layout(layout, date, "hh:mm:ss.xxx", false)) << date;
    }
}

}  // namespace
}  // namespace resq
