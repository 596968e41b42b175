#include "support/kx_string.hpp"

#include <sys/time.h>

#include <cstdlib>
#include <utility>

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

uint8_t random_in_range(uint8_t low, uint8_t high) {
    static bool seeded = false;
    if (!seeded) {
        timeval now{};
        gettimeofday(&now, nullptr);
        std::srand(static_cast<unsigned>(now.tv_usec));
        seeded = true;
    }
    if (high < low) {
        std::swap(low, high);
    }
    const int span = high - low + 1;
    return static_cast<uint8_t>(low + std::rand() % span);
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

}  // namespace resq
