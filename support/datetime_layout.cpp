#include "support/datetime_layout.hpp"

namespace resq {

bool accept_date_pattern(std::string_view pattern) {
    return pattern.size() == 8 || pattern.size() == 10;
}

bool accept_time_pattern(std::string_view pattern) {
    const bool length_ok = pattern.size() == 8 || (pattern.size() >= 12 && pattern.size() <= 18);
    return length_ok && pattern.find(':') != std::string_view::npos;
}

bool compile_datetime_layout(kx::datetime_layout& layout, std::string_view date_pattern,
                             std::string_view time_pattern, bool pair_flag) {
    using flag = kx::datetime_layout::date_flag;
    constexpr auto none = std::string_view::npos;
    layout = kx::datetime_layout{};
    if (pair_flag) {
        layout.time_flags = 0x01;
    }

    if (!date_pattern.empty()) {
        if (date_pattern.find('/') != none) {
            layout.date_separator = '/';
        } else if (date_pattern.find('-') != none) {
            layout.date_separator = '-';
        } else if (date_pattern.find(' ') != none) {
            layout.date_separator = ' ';
        }

        std::size_t month = date_pattern.find("mmm");
        if (month != none) {
            layout.date_flags |= flag::month_name;
        } else if ((month = date_pattern.find("mm")) != none) {
            layout.date_flags |= flag::month_number;
        } else {
            return false;
        }

        std::size_t year = date_pattern.find("yyyy");
        if (year != none) {
            layout.date_flags |= flag::four_digit_year;
        } else if ((year = date_pattern.find("yy")) != none) {
            layout.date_flags |= flag::two_digit_year;
        } else {
            return false;
        }

        const std::size_t day = date_pattern.find("dd");
        if (day == none) {
            return false;
        }
        if (date_pattern.find(',', day) != none) {
            layout.date_flags |= flag::comma_after_day;
        }

        if (day < month && month < year) {
            layout.date_flags |= flag::order_dmy;
        } else if (month < day && day < year) {
            layout.date_flags |= flag::order_mdy;
        } else if (year < month && month < day) {
            layout.date_flags |= flag::order_ymd;
        } else {
            return false;
        }
    }

    if (const std::size_t first = time_pattern.find("xxx"); first != none) {
        std::size_t digits = time_pattern.rfind('x') - first + 1;
        if (digits > 9) {
            digits = 9;
        }
        layout.time_flags = static_cast<uint8_t>(layout.time_flags | (digits << 1));
    }
    return true;
}

}  // namespace resq
