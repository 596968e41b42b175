#include "support/option_table.hpp"

#include "support/kx_string.hpp"

namespace resq {

namespace {

bool is_digit(char c) {
    return c >= '0' && c <= '9';
}

bool all_digits(std::string_view text) {
    return !text.empty() && std::ranges::all_of(text, is_digit);
}

bool all_of_base(std::string_view text, int base) {
    return !text.empty() && std::ranges::all_of(text, [base](char c) {
        return base == 16 ? is_digit(c) || (c >= 'a' && c <= 'f') : c >= '0' && c < '8';
    });
}

bool whole_number(std::string_view text, bool fraction, bool quoted) {
    const std::string lower = to_lower(trim_blanks(text));
    std::string_view view(lower);
    if (quoted && view.size() == 3 && view.front() == '\'' && view.back() == '\'') {
        return true;
    }
    // Hexadecimal and octal after "x" or "o", with or without a leading 0.
    const std::string_view prefixed = view.starts_with('0') ? view.substr(1) : view;
    if (prefixed.starts_with('x') || prefixed.starts_with('o')) {
        return all_of_base(prefixed.substr(1), prefixed.front() == 'x' ? 16 : 8);
    }
    if (!view.empty() && (view.front() == '-' || view.front() == '+')) {
        view.remove_prefix(1);
    }
    const std::size_t point = view.find('.');
    if (point == std::string_view::npos) {
        return !view.empty() && std::ranges::all_of(view, is_digit);
    }
    const std::string_view whole = view.substr(0, point), part = view.substr(point + 1);
    return fraction && !part.empty() && std::ranges::all_of(whole, is_digit) &&
           std::ranges::all_of(part, is_digit);
}

bool same_name(std::string_view word, std::string_view name) {
    return word.size() == name.size() && to_lower(word) == to_lower(name);
}

}  // namespace

bool looks_like_option(std::string_view word) {
    return word.size() > 1 && word[0] == '-' && !is_digit(word[1]) && word[1] != '.';
}

std::vector<std::string_view> option_names(std::string_view names) {
    std::vector<std::string_view> result;
    while (!names.empty()) {
        const std::size_t blank = names.find(' ');
        if (blank != 0) {
            result.push_back(names.substr(0, blank));
        }
        names.remove_prefix(blank == std::string_view::npos ? names.size() : blank + 1);
    }
    return result;
}

option_found take_option(std::string_view names, option_kind kind, missing_value rule,
                         option_use& use) {
    args& list = use.list;
    for (std::string_view name : option_names(names)) {
        const auto at = std::ranges::find_if(
            list, [name](const std::string& word) { return same_name(word, name); });
        if (at == list.end()) {
            continue;
        }
        const bool last = at + 1 == list.end();
        if (kind == option_kind::flag ||
            (kind == option_kind::optional_value && (last || !all_digits(*(at + 1))))) {
            list.erase(at);
            return option_found::taken;
        }
        if (last) {
            if (rule == missing_value::lenient) {
                continue;  // left on the line, as another alias may still be present
            }
            return option_found::missing;
        }
        if (rule == missing_value::required &&
            ((at + 1)->empty() || looks_like_option(*(at + 1)))) {
            return option_found::missing;
        }
        use.value = *(at + 1);
        use.valued = true;
        list.erase(at, at + 2);
        return option_found::taken;
    }
    return option_found::absent;
}

void name_unknown_options(const args& list, std::ostream& err) {
    for (std::size_t i = 1; i < list.size(); ++i) {
        if (list[i].starts_with('-')) {
            err << "ignoring unknown option: " << list[i] << '\n';
        }
    }
}

void name_invalid_number(std::string_view option, std::string_view text, std::string_view used,
                         bool fraction, bool quoted, std::ostream& err) {
    if (!whole_number(text, fraction, quoted)) {
        err << "ignoring invalid " << option << " value: " << text << " (using " << used << ")\n";
    }
}

}  // namespace resq
