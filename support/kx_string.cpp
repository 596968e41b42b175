#include "support/kx_string.hpp"

namespace resq {

namespace {

constexpr std::string_view blanks = " \t\r\n";

void add_field(std::vector<std::string>& fields, std::string_view field, bool trim,
               bool keep_empty) {
    if (trim) {
        field = trim_blanks(field);
    }
    if (!field.empty() || keep_empty) {
        fields.emplace_back(field);
    }
}

}  // namespace

bool split_fields(std::string_view text, char separator, std::vector<std::string>& fields,
                  bool trim, bool keep_empty, bool append) {
    if (!append) {
        fields.clear();
    }
    if (text.empty()) {
        return false;
    }
    std::size_t start = 0;
    for (std::size_t pos = text.find(separator); pos != std::string_view::npos;
         pos = text.find(separator, start)) {
        add_field(fields, text.substr(start, pos - start), trim, keep_empty);
        start = pos + 1;
    }
    // The rest after the last separator; for a text ending in the separator this is the final
    // empty field, kept only with `keep_empty`.
    add_field(fields, text.substr(start), trim, keep_empty);
    return true;
}

std::string to_lower(std::string_view text) {
    std::string lower(text);
    for (char& c : lower) {
        c = ascii_lower(c);
    }
    return lower;
}

std::string_view trim_blanks(std::string_view text) {
    const std::size_t first = text.find_first_not_of(blanks);
    if (first == std::string_view::npos) {
        return {};
    }
    const std::size_t last = text.find_last_not_of(blanks);
    return text.substr(first, last - first + 1);
}

std::size_t utf8_length(std::string_view text) {
    const auto byte = [&](std::size_t i) { return static_cast<uint8_t>(text[i]); };
    if (text.empty()) {
        return 0;
    }
    const uint8_t lead = byte(0);
    std::size_t length = 0;
    uint8_t low = 0x80;  // bounds of the second byte; the later ones are always 0x80-0xbf
    uint8_t high = 0xbf;
    if (lead < 0x80) {
        return 1;
    } else if (lead >= 0xc2 && lead <= 0xdf) {
        length = 2;
    } else if (lead >= 0xe0 && lead <= 0xef) {
        length = 3;
        low = lead == 0xe0 ? 0xa0 : low;
        high = lead == 0xed ? 0x9f : high;
    } else if (lead >= 0xf0 && lead <= 0xf4) {
        length = 4;
        low = lead == 0xf0 ? 0x90 : low;
        high = lead == 0xf4 ? 0x8f : high;
    } else {
        return 0;
    }
    if (text.size() < length || byte(1) < low || byte(1) > high) {
        return 0;
    }
    for (std::size_t i = 2; i < length; ++i) {
        if (byte(i) < 0x80 || byte(i) > 0xbf) {
            return 0;
        }
    }
    return length;
}

}  // namespace resq
