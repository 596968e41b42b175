// The argument list and the option lookups shared by every option parser.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace resq {

/// The process arguments as texts, entry 0 the program name. Options are removed as they are
/// recognised, so no later lookup sees an option twice.
using args = std::vector<std::string>;

/// Builds the argument list; a null argument becomes an empty text.
args make_args(int argc, const char* const* argv);

/// Finds `name` (whole argument, any letter case) and takes the argument after it as `value`,
/// removing both. False when absent or when it is the last argument (then it stays in the list).
bool get_option_value(std::string_view name, std::string& value, args& list);

/// Finds `name` (whole argument, any letter case) and removes it unless `keep` is set.
bool has_option(std::string_view name, args& list, bool keep = false);

/// Reads an option's number: hexadecimal after an "x", octal after an "o", else signed decimal.
/// False (and `value` untouched) for an empty text, one that starts with no digit or sign, or one
/// with no digit of its base after its "x" or "o" ("two", "1x").
bool parse_number(std::string_view text, int32_t& value);

/// Reads an option's time in seconds: parse_number's forms, or a decimal fraction ("0.5", "1.25",
/// ".5") to the millisecond. False (and `value` untouched) where parse_number fails.
bool parse_seconds(std::string_view text, std::chrono::milliseconds& value);

/// Reads an unsigned number ("0x1f", "x1f", "o17", "'a'", decimal); `value` is 0 on failure,
/// which a hexadecimal or octal form without a digit of its base ("0x", "ox") is too.
bool read_unsigned(std::string_view text, uint32_t& value);

}  // namespace resq
