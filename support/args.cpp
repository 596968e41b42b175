#include "support/args.hpp"

#include <limits>
#include <utility>

#include "support/kx_string.hpp"

namespace resq {

namespace {

bool same_option(std::string_view entry, std::string_view name) {
    if (entry.size() != name.size()) {
        return false;
    }
    for (std::size_t i = 0; i < entry.size(); ++i) {
        if (ascii_lower(entry[i]) != ascii_lower(name[i])) {
            return false;
        }
    }
    return true;
}

args::iterator find_option(std::string_view name, args& list) {
    for (auto it = list.begin(); it != list.end(); ++it) {
        if (same_option(*it, name)) {
            return it;
        }
    }
    return list.end();
}

int digit_value(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return 99;
}

// Reads digits of `base` from `pos` until the first character that is not one, leaving `pos`
// there; a value that overflows sticks at the largest 64-bit value, as strtoul would.
uint64_t read_digits(std::string_view text, std::size_t& pos, int base) {
    constexpr uint64_t most = std::numeric_limits<uint64_t>::max();
    uint64_t value = 0;
    for (; pos < text.size(); ++pos) {
        const int digit = digit_value(text[pos]);
        if (digit >= base) {
            break;
        }
        const auto d = static_cast<uint64_t>(digit);
        const auto b = static_cast<uint64_t>(base);
        value = (value > (most - d) / b) ? most : value * b + d;
    }
    return value;
}

// An unsigned reading in the manner of strtoul: leading blanks and a sign are accepted, a minus
// negates the result modulo 2^32. False, with `value` 0, when no digit follows the blanks and the
// sign (strtoul's "no conversion"), so that a word such as "two" is not taken for a number.
bool read_unsigned_base(std::string_view text, int base, uint32_t& value) {
    std::size_t pos = 0;
    while (pos < text.size() && (text[pos] == ' ' || text[pos] == '\t')) {
        ++pos;
    }
    bool negative = false;
    if (pos < text.size() && (text[pos] == '-' || text[pos] == '+')) {
        negative = text[pos] == '-';
        ++pos;
    }
    const std::size_t first_digit = pos;
    uint64_t number = read_digits(text, pos, base);
    if (number > std::numeric_limits<uint32_t>::max()) {
        number = std::numeric_limits<uint32_t>::max();
    }
    const auto narrow = static_cast<uint32_t>(number);
    value = negative ? static_cast<uint32_t>(0u - narrow) : narrow;
    return pos != first_digit;
}

bool is_digit(char c) {
    return c >= '0' && c <= '9';
}

}  // namespace

args make_args(int argc, const char* const* argv) {
    args list;
    for (int i = 0; i < argc; ++i) {
        list.emplace_back(argv[i] != nullptr ? argv[i] : "");
    }
    return list;
}

bool get_option_value(std::string_view name, std::string& value, args& list) {
    const auto it = find_option(name, list);
    if (it == list.end() || it + 1 == list.end()) {
        return false;
    }
    value = *(it + 1);
    list.erase(it, it + 2);
    return true;
}

bool has_option(std::string_view name, args& list, bool keep) {
    const auto it = find_option(name, list);
    if (it == list.end()) {
        return false;
    }
    if (!keep) {
        list.erase(it);
    }
    return true;
}

bool parse_number(std::string_view text, int32_t& value) {
    if (text.empty()) {
        return false;
    }
    const std::string copy = to_lower(trim_blanks(text));
    const std::string_view view(copy);
    // The first "x" (else "o") starts a hexadecimal (octal) number, wherever it stands.
    for (const auto& [letter, base] : {std::pair{'x', 16}, std::pair{'o', 8}}) {
        if (const std::size_t at = view.find(letter); at != std::string_view::npos) {
            uint32_t number = 0;
            if (!read_unsigned_base(view.substr(at + 1), base, number)) {
                return false;
            }
            value = static_cast<int32_t>(number);
            return true;
        }
    }
    if (view.empty() || !(view[0] == '-' || view[0] == '+' || is_digit(view[0]))) {
        return false;
    }
    const bool negative = view[0] == '-';
    std::size_t pos = (view[0] == '-' || view[0] == '+') ? 1 : 0;
    // Values outside the 32-bit range are clamped, as strtol followed by a range check would.
    constexpr uint64_t limit = static_cast<uint64_t>(std::numeric_limits<int32_t>::max()) + 1;
    uint64_t magnitude = read_digits(view, pos, 10);
    if (negative) {
        magnitude = magnitude > limit ? limit : magnitude;
        value = static_cast<int32_t>(-static_cast<int64_t>(magnitude));
    } else {
        magnitude = magnitude > limit - 1 ? limit - 1 : magnitude;
        value = static_cast<int32_t>(magnitude);
    }
    return true;
}

bool parse_seconds(std::string_view text, std::chrono::milliseconds& value) {
    const std::string copy = to_lower(trim_blanks(text));
    // A decimal fraction: a sign, digits (possibly none), a point and at least one digit.
    const std::size_t sign = !copy.empty() && (copy[0] == '-' || copy[0] == '+') ? 1 : 0;
    const std::size_t point = copy.find_first_not_of("0123456789", sign);
    const bool fraction = point != std::string::npos && copy[point] == '.' &&
                          point + 1 < copy.size() && is_digit(copy[point + 1]) &&
                          copy.find_first_of("xo") == std::string::npos;
    int32_t whole = 0;
    if (!(fraction && point == sign) && !parse_number(text, whole)) {
        return false;
    }
    int64_t millis = int64_t{whole} * 1000;
    if (fraction) {
        // Thousandths only: further digits are below what any wait here can tell apart.
        int64_t part = 0;
        int64_t weight = 100;
        for (std::size_t at = point + 1; at < copy.size() && is_digit(copy[at]) && weight != 0;
             ++at, weight /= 10) {
            part += (copy[at] - '0') * weight;
        }
        millis += copy[0] == '-' ? -part : part;
    }
    value = std::chrono::milliseconds(millis);
    return true;
}

bool read_unsigned(std::string_view text, uint32_t& value) {
    value = 0;
    if (text.empty()) {
        return false;
    }
    const std::string copy = to_lower(trim_blanks(text));
    const std::string_view view(copy);
    if (view.empty()) {
        return false;
    }
    if (view.size() > 1 && view[1] == 'x') {
        return read_unsigned_base(view.substr(2), 16, value);
    }
    if (view[0] == 'x') {
        return read_unsigned_base(view.substr(1), 16, value);
    }
    if (view[0] == 'o') {
        return read_unsigned_base(view.substr(1), 8, value);
    }
    if (!(view[0] == '-' || view[0] == '+' || is_digit(view[0]))) {
        // A quoted character such as 'a' stands for its code.
        if (view.size() == 3 && view[0] == '\'' && view[2] == '\'') {
            value = static_cast<unsigned char>(view[1]);
            return true;
        }
        return false;
    }
    // A sign without digits reads as 0, as strtoul gives it.
    read_unsigned_base(view, 10, value);
    return true;
}

}  // namespace resq
