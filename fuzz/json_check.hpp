// A structural check of JSON text (RFC 8259), written apart from the writer it checks: values,
// nesting, escapes, numbers, and UTF-8 by code point (no overlong form, surrogate or value past
// U+10FFFF).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace resq::fuzzing {

class json_check {
  public:
    /// True when `text` is exactly one JSON value, with nothing but white space around it.
    static bool valid(std::string_view text) {
        json_check check{text};
        return check.value(0) && check.space() == text.size();
    }

  private:
    explicit json_check(std::string_view text) : s_(text) {}

    // Steps over the next byte when `set` holds it.
    bool take(std::string_view set) {
        return at_ < s_.size() && set.find(s_[at_]) != set.npos && ++at_ != 0;
    }
    std::size_t space() {
        while (take(" \t\r\n")) {
        }
        return at_;
    }
    bool digits() {
        const std::size_t from = at_;
        while (take("0123456789")) {
        }
        return at_ > from;
    }

    bool value(int depth) {
        space();
        for (const std::string_view word : {"true", "false", "null"}) {
            if (s_.substr(at_).starts_with(word)) {
                return (at_ += word.size()) != 0;
            }
        }
        if (take("{[")) {
            const bool object = s_[at_ - 1] == '{';
            const std::string_view close = object ? "}" : "]";
            if (space(), take(close)) {
                return true;
            }
            do {  // a member: its name and a colon in an object, then a value
                if (depth > 256 || (object && !(space(), string() && (space(), take(":")))) ||
                    !value(depth + 1)) {
                    return false;
                }
                space();
            } while (take(","));
            return take(close);
        }
        if (at_ < s_.size() && s_[at_] == '"') {
            return string();
        }
        take("-");
        return (take("0") || digits()) && (!take(".") || digits()) &&
               (!take("eE") || (take("+-"), digits()));
    }

    bool string() {
        constexpr std::string_view hex = "0123456789abcdefABCDEF";
        if (!take("\"")) {
            return false;
        }
        while (at_ < s_.size()) {
            const auto c = static_cast<uint8_t>(s_[at_++]);
            if (c == '"') {
                return true;
            }
            if (c < 0x20 || (c >= 0x80 && !utf8(c)) ||
                (c == '\\' && !take("\"\\/bfnrt") &&
                 !(take("u") && take(hex) && take(hex) && take(hex) && take(hex)))) {
                return false;
            }
        }
        return false;
    }

    // The rest of the character whose first byte `lead` was just read.
    bool utf8(uint8_t lead) {
        const int length = lead >= 0xf8   ? 0
                           : lead >= 0xf0 ? 4
                           : lead >= 0xe0 ? 3
                           : lead >= 0xc0 ? 2
                                          : 0;
        uint32_t code = lead & (0x7fu >> length);
        for (int i = 1; i < length; ++i, ++at_) {
            if (at_ >= s_.size() || (static_cast<uint8_t>(s_[at_]) & 0xc0) != 0x80) {
                return false;
            }
            code = code << 6 | (static_cast<uint8_t>(s_[at_]) & 0x3fu);
        }
        const uint32_t least = length == 2 ? 0x80 : length == 3 ? 0x800 : 0x10000;
        return length != 0 && code >= least && code <= 0x10ffff && (code < 0xd800 || code > 0xdfff);
    }

    std::string_view s_;
    std::size_t at_ = 0;
};

}  // namespace resq::fuzzing
