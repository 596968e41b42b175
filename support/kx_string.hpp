// Small text helpers of the support library.
#pragma once

#include <charconv>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace resq {

/// Splits `text` at `separator` into `fields` (emptied first unless `append`); with `trim` each
/// field loses surrounding white space, with `keep_empty` empty fields are kept. False only for an
/// empty text.
bool split_fields(std::string_view text, char separator, std::vector<std::string>& fields,
                  bool trim, bool keep_empty, bool append);

/// The ASCII lower-case form of `c`; other bytes are returned as they are.
constexpr char ascii_lower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

/// ASCII lower-case copy; other bytes are left as they are.
std::string to_lower(std::string_view text);

/// `value` as digits in `base` (lower-case letters above 9), without padding.
template <typename Number>
std::string number_text(Number value, int base = 10) {
    char buffer[24];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value, base);
    return std::string(buffer, result.ptr);
}

/// `text` without spaces, tabs, carriage returns and line feeds at either end.
std::string_view trim_blanks(std::string_view text);

/// Length of the well-formed UTF-8 sequence that starts `text` (the Unicode standard's table of
/// well-formed byte sequences: no overlong forms, surrogates or values above U+10FFFF); 0 when
/// its first byte starts none, or `text` is empty.
std::size_t utf8_length(std::string_view text);

}  // namespace resq
