#include "support/kx_time.hpp"

#include <sys/time.h>
#include <time.h>

#include <array>

namespace kx {

namespace {

constexpr uint64_t units_per_second = 10'000'000;
constexpr uint64_t units_per_day = units_per_second * 86'400;
constexpr uint64_t days_per_400_years = 146'097;
constexpr uint64_t days_per_100_years = 36'524;  // a century whose last year is not leap
constexpr uint64_t days_per_4_years = 1'461;

bool is_leap(uint64_t year) {
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

// Splits a day count since 1601-01-01 into year, month and day. 1601 starts a 400-year cycle,
// so each cycle ends with the one century (and each century with the one 4-year group) that has
// an extra day; the min() calls keep that last day inside the final group.
void set_calendar_date(_windows_systemtime& utc, uint64_t days) {
    const uint64_t cycles = days / days_per_400_years;
    days %= days_per_400_years;
    uint64_t centuries = days / days_per_100_years;
    centuries = centuries > 3 ? 3 : centuries;
    days -= centuries * days_per_100_years;
    const uint64_t groups = days / days_per_4_years;
    days -= groups * days_per_4_years;
    uint64_t years = days / 365;
    years = years > 3 ? 3 : years;
    days -= years * 365;

    const uint64_t year = 1601 + cycles * 400 + centuries * 100 + groups * 4 + years;
    std::array<uint64_t, 12> month_days = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (is_leap(year)) {
        month_days[1] = 29;
    }
    uint16_t month = 0;
    while (month < 11 && days >= month_days[month]) {
        days -= month_days[month];
        ++month;
    }
    utc.year = static_cast<uint16_t>(year);
    utc.month = static_cast<uint16_t>(month + 1);
    utc.day = static_cast<uint16_t>(days + 1);
}

}  // namespace

time::time(uint64_t value, type_time kind) : value_(value) {
    if (kind != type_time::filetime || value == 0 || value >= (uint64_t{1} << 63)) {
        return;
    }
    unix_seconds_ = (static_cast<int64_t>(value) - static_cast<int64_t>(filetime_unix_epoch)) /
                    static_cast<int64_t>(units_per_second);

    const uint64_t days = value / units_per_day;
    const uint64_t in_day = value % units_per_day;
    set_calendar_date(utc_, days);
    utc_.day_of_week = static_cast<uint16_t>((days + 1) % 7);  // 1601-01-01 was a Monday
    const uint64_t seconds = in_day / units_per_second;
    utc_.hour = static_cast<uint16_t>(seconds / 3600);
    utc_.minute = static_cast<uint16_t>(seconds / 60 % 60);
    utc_.second = static_cast<uint16_t>(seconds % 60);

    const uint64_t fraction = value % units_per_second;
    utc_.millisecond = static_cast<uint16_t>(fraction / 10'000);
    microsecond_ = fraction / 10;
    nanosecond_ = fraction * 100;

    valid_ = unix_seconds_ != 0 && utc_.year >= 1900 && utc_.year <= 3000;
}

uint64_t wall_clock_ns() {
    timespec now{};
    ::clock_gettime(CLOCK_REALTIME, &now);
    return static_cast<uint64_t>(now.tv_sec) * 1'000'000'000u + static_cast<uint64_t>(now.tv_nsec);
}

time capture_now() {
    timeval now{};
    gettimeofday(&now, nullptr);
    const uint64_t value = static_cast<uint64_t>(now.tv_sec) * units_per_second +
                           static_cast<uint64_t>(now.tv_usec) * 10 + filetime_unix_epoch;
    return time(value, type_time::filetime);
}

}  // namespace kx

namespace resq {

namespace {

constexpr std::array<std::string_view, 12> month_names = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                                          "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

// Appends `value` in decimal, padded with "0" on the left to `width` digits.
void append_padded(std::string& text, uint64_t value, std::size_t width) {
    std::string digits = std::to_string(value);
    if (digits.size() < width) {
        text.append(width - digits.size(), '0');
    }
    text += digits;
}

void append_year(std::string& text, uint16_t year, uint8_t flags) {
    if ((flags & kx::datetime_layout::two_digit_year) != 0 &&
        (flags & kx::datetime_layout::four_digit_year) == 0) {
        append_padded(text, year % 100, 2);
    } else {
        append_padded(text, year, 4);
    }
}

void append_month(std::string& text, uint16_t month, uint8_t flags) {
    if ((flags & kx::datetime_layout::month_name) != 0) {
        text += month_names[(month - 1u) % 12u];
    } else {
        append_padded(text, month, 2);
    }
}

void format_date(std::string& text, const kx::_windows_systemtime& utc,
                 const kx::datetime_layout& layout) {
    using kx::datetime_layout;
    const uint8_t flags = layout.date_flags;
    const char separator =
        layout.date_separator != 0 ? static_cast<char>(layout.date_separator) : '/';
    if ((flags & datetime_layout::order_mdy) != 0) {
        append_month(text, utc.month, flags);
        text += separator;
        append_padded(text, utc.day, 2);
        if ((flags & datetime_layout::comma_after_day) != 0 && separator == ' ') {
            text += ',';
        }
        text += separator;
        append_year(text, utc.year, flags);
    } else if ((flags & datetime_layout::order_dmy) != 0) {
        append_padded(text, utc.day, 2);
        text += separator;
        append_month(text, utc.month, flags);
        text += separator;
        append_year(text, utc.year, flags);
    } else if ((flags & datetime_layout::order_ymd) != 0) {
        append_year(text, utc.year, flags);
        text += separator;
        append_month(text, utc.month, flags);
        text += separator;
        append_padded(text, utc.day, 2);
    }
}

// The fraction of the second with `digits` digits, always truncated: the millisecond field for
// up to three digits, the microsecond for up to six, the nanosecond beyond.
uint64_t fraction_value(const kx::time& t, unsigned digits) {
    uint64_t value = t.nanosecond();
    unsigned precision = 9;
    if (digits <= 3) {
        value = t.utc().millisecond;
        precision = 3;
    } else if (digits <= 6) {
        value = t.microsecond();
        precision = 6;
    }
    for (; precision > digits; --precision) {
        value /= 10;
    }
    return value;
}

void format_time(std::string& text, const kx::time& t, unsigned digits) {
    const kx::_windows_systemtime& utc = t.utc();
    append_padded(text, utc.hour, 2);
    text += ':';
    append_padded(text, utc.minute, 2);
    text += ':';
    append_padded(text, utc.second, 2);
    if (digits > 9) {
        digits = 9;
    }
    if (digits > 0) {
        text += '.';
        append_padded(text, fraction_value(t, digits), digits);
    }
}

}  // namespace

bool format_date_time(std::string& date_text, std::string& time_text, const kx::time& t,
                      const kx::datetime_layout& layout) {
    date_text.clear();
    time_text.clear();
    if (!t.valid()) {
        return false;
    }
    if (layout.empty()) {
        kx::datetime_layout defaults;
        defaults.date_separator = '-';
        defaults.date_flags = kx::datetime_layout::month_number |
                              kx::datetime_layout::four_digit_year | kx::datetime_layout::order_ymd;
        format_date(date_text, t.utc(), defaults);
        format_time(time_text, t, 3);
        return true;
    }
    format_date(date_text, t.utc(), layout);
    format_time(time_text, t, layout.fraction_digits());
    return true;
}

std::size_t date_pattern_width(std::string_view pattern) {
    return (pattern.size() == 8 || pattern.size() == 10) ? pattern.size() : 0;
}

std::size_t time_pattern_width(std::string_view pattern) {
    const bool has_colon = pattern.find(':') != std::string_view::npos;
    if (pattern.size() == 8 && has_colon) {
        return 8;
    }
    if (pattern.size() >= 12 && pattern.size() <= 18 && has_colon &&
        pattern.find(".xxx") != std::string_view::npos) {
        return pattern.size();
    }
    return 0;
}

}  // namespace resq
