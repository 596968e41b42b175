// Time values (100-ns units since 1601-01-01 UTC) and their UTC date and time texts.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "support/datetime_layout.hpp"

namespace kx {

/// Source kinds of a time value; this program uses only the filetime kind.
enum class type_time : uint32_t { filetime = 1 };

/// Broken-down UTC fields, in the order of the classic SYSTEMTIME record.
struct _windows_systemtime {
    uint16_t year = 0;
    uint16_t month = 0;        // 1-12
    uint16_t day_of_week = 0;  // 0 = Sunday
    uint16_t day = 0;          // 1-31
    uint16_t hour = 0;
    uint16_t minute = 0;
    uint16_t second = 0;
    uint16_t millisecond = 0;
};

/// 100-ns units between 1601-01-01 and 1970-01-01.
inline constexpr uint64_t filetime_unix_epoch = 116444736000000000ull;

/// A time value with its UTC fields; not valid for 0, values of 2^63 and above, or years outside
/// 1900-3000.
class time {
  public:
    time() = default;
    time(uint64_t value, type_time kind);

    bool valid() const { return valid_; }
    uint64_t value() const { return value_; }
    int64_t unix_seconds() const { return unix_seconds_; }
    const _windows_systemtime& utc() const { return utc_; }
    uint64_t microsecond() const { return microsecond_; }
    uint64_t nanosecond() const { return nanosecond_; }

  private:
    int64_t unix_seconds_ = 0;
    uint64_t value_ = 0;
    _windows_systemtime utc_{};
    uint64_t microsecond_ = 0;
    uint64_t nanosecond_ = 0;
    bool valid_ = false;
};

/// The current moment, at microsecond resolution.
time capture_now();

/// The wall clock in nanoseconds since 1970: what the kernel's receive stamps are compared with.
uint64_t wall_clock_ns();

/// Nanoseconds since 1970 as a filetime value (100-ns units since 1601), the report's times.
inline uint64_t filetime_of_unix_ns(uint64_t unix_ns) {
    return unix_ns / 100 + filetime_unix_epoch;
}

}  // namespace kx

namespace resq {

/// Fills the UTC date and time texts of `t` in `layout` (the defaults when it is empty).
/// False, with both texts empty, when `t` is not valid.
bool format_date_time(std::string& date_text, std::string& time_text, const kx::time& t,
                      const kx::datetime_layout& layout);

/// Width of the date column: the pattern's length when it is 8 or 10, else 0.
std::size_t date_pattern_width(std::string_view pattern);
/// Width of the time column: 8 for "hh:mm:ss"-like patterns, the length for 12 to 18 characters
/// holding ":" and ".xxx", else 0.
std::size_t time_pattern_width(std::string_view pattern);

}  // namespace resq
