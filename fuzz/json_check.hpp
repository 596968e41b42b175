// A structural check of JSON text (RFC 8259), written apart from the writer it checks: values,
// nesting, string escapes, numbers and UTF-8 (by code point: no overlong forms, surrogates or
// values past U+10FFFF).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace resq::fuzzing {

class json_check {
  public:
    /// True when `text` is exactly one JSON value, with nothing but white space around it.
    static bool valid(std::string_view text) {
        json_check check(text);
        if (!check.value(0)) {
            return false;
        }
        check.space();
        return check.at_ == text.size();
    }

  private:
    explicit json_check(std::string_view text) : text_(text) {}

    bool more() const { return at_ < text_.size(); }
    bool next_is(char c) const { return more() && text_[at_] == c; }
    bool take(char c) { return next_is(c) && (++at_, true); }
    void space() {
        while (more() && std::string_view(" \t\r\n").find(text_[at_]) != std::string_view::npos) {
            ++at_;
        }
    }
    bool digits() {
        const std::size_t start = at_;
        while (more() && text_[at_] >= '0' && text_[at_] <= '9') {
            ++at_;
        }
        return at_ > start;
    }

    bool value(int depth) {
        space();
        if (!more() || depth > 256) {
            return false;
        }
        for (const std::string_view word : {"true", "false", "null"}) {
            if (text_.substr(at_).starts_with(word)) {
                at_ += word.size();
                return true;
            }
        }
        if (take('{')) {
            return members(depth, '}', true);
        }
        if (take('[')) {
            return members(depth, ']', false);
        }
        if (next_is('"')) {
            return string();
        }
        take('-');
        if (!take('0') && !digits()) {
            return false;
        }
        if (take('.') && !digits()) {
            return false;
        }
        if (take('e') || take('E')) {
            if (!take('+')) {
                take('-');
            }
            return digits();
        }
        return true;
    }

    bool members(int depth, char close, bool object) {
        space();
        if (take(close)) {
            return true;
        }
        do {
            space();
            if (object && !(string() && (space(), take(':')))) {
                return false;
            }
            if (!value(depth + 1)) {
                return false;
            }
            space();
        } while (take(','));
        return take(close);
    }

    bool string() {
        if (!take('"')) {
            return false;
        }
        while (more()) {
            const auto c = static_cast<uint8_t>(text_[at_++]);
            if (c == '"') {
                return true;
            }
            if (c < 0x20 || (c == '\\' && !escape()) || (c >= 0x80 && !utf8(c))) {
                return false;
            }
        }
        return false;
    }

    bool escape() {
        if (take('u')) {
            for (int i = 0; i < 4; ++i, ++at_) {
                if (!more() || std::string_view("0123456789abcdefABCDEF").find(text_[at_]) ==
                                   std::string_view::npos) {
                    return false;
                }
            }
            return true;
        }
        return more() &&
               std::string_view("\"\\/bfnrt").find(text_[at_++]) != std::string_view::npos;
    }

    // The rest of the character whose first byte `lead` was just read.
    bool utf8(uint8_t lead) {
        const int length = lead >= 0xf0 ? 4 : lead >= 0xe0 ? 3 : lead >= 0xc0 ? 2 : 0;
        if (length == 0 || lead >= 0xf8) {
            return false;
        }
        uint32_t code = lead & (0x7fu >> length);
        for (int i = 1; i < length; ++i, ++at_) {
            if (!more() || (static_cast<uint8_t>(text_[at_]) & 0xc0) != 0x80) {
                return false;
            }
            code = code << 6 | (static_cast<uint8_t>(text_[at_]) & 0x3fu);
        }
        const uint32_t least = length == 2 ? 0x80 : length == 3 ? 0x800 : 0x10000;
        return code >= least && code <= 0x10ffff && (code < 0xd800 || code > 0xdfff);
    }

    std::string_view text_;
    std::size_t at_ = 0;
};

}  // namespace resq::fuzzing
