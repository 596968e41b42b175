// The compiled form of the -dateformat and -timeformat patterns.
#pragma once

#include <cstdint>
#include <string_view>

namespace kx {

/// Twelve bytes that tell the date and time formatter what to write.
struct datetime_layout {
    enum date_flag : uint8_t {
        month_name = 0x01,
        month_number = 0x02,
        four_digit_year = 0x04,
        two_digit_year = 0x08,
        comma_after_day = 0x10,
        order_dmy = 0x20,
        order_mdy = 0x40,
        order_ymd = 0x80,
    };

    uint8_t date_separator = 0;  // '/', '-', ' ' or 0 when the pattern has none
    uint8_t date_flags = 0;      // date_flag bits
    uint8_t time_flags = 0;      // bit 0: pair flag; bits 1-4: fraction digits of the seconds

    /// A layout with no separator and no flags is empty: the default patterns apply.
    bool empty() const { return date_separator == 0 && date_flags == 0 && time_flags == 0; }
    unsigned fraction_digits() const { return (time_flags >> 1) & 0x0fu; }
};

}  // namespace kx

namespace resq {

/// A -dateformat value is accepted when it is 8 or 10 characters long.
bool accept_date_pattern(std::string_view pattern);
/// A -timeformat value is accepted when it is 8 or 12 to 18 characters long and holds a ":".
bool accept_time_pattern(std::string_view pattern);

/// Compiles the lower-case patterns into `layout`. False when the date pattern lacks a token or
/// has an unsupported order; what was set before the stop stays (the time part is then left out).
bool compile_datetime_layout(kx::datetime_layout& layout, std::string_view date_pattern,
                             std::string_view time_pattern, bool pair_flag);

}  // namespace resq
