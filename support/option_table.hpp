// Options described once: each entry of a table names an option, says what it takes, reads it
// and carries its usage lines. The reader, the usage text and the listing follow from the table.
#pragma once

#include <algorithm>
#include <cstdint>
#include <functional>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "support/args.hpp"

namespace resq {

/// What an option takes from the words after it.
enum class option_kind {
    flag,            // nothing
    value,           // the next word
    optional_value,  // the next word when it is decimal digits ("-edns [size]"), else nothing
    repeated,        // the next word, and each further occurrence its own next word
};

/// When a value option counts as missing its value (an error that stops the run).
enum class missing_value {
    required,  // last, an empty value, or the next word looks like an option
    at_end,    // only when last
    lenient,   // never: an option that is last is left on the line and named as unknown
};

/// What a handler is given besides the record.
struct option_use {
    std::string_view name;  // the entry's canonical name
    std::string value;      // the value taken; empty for a flag
    bool valued = false;    // a value was taken (an optional value may be absent)
    args& list;             // the words not taken yet
    std::ostream& err;      // where messages go
};

/// Where an entry is read when its `order` is not given: after the options of the original set.
inline constexpr int default_option_order = 800;

/// One option (or, without names, lines of the usage text only).
template <typename Record>
struct option_entry {
    /// An entry of these names (blank-separated) and the defaults: a flag, read at the default
    /// order, its value required; chain the setters below so that an entry is one expression:
    /// entry("-pcap").takes(option_kind::value).reads(...).lines("...").
    explicit option_entry(std::string_view option_names = {}) : names(option_names) {}

    /// Sets what the option takes.
    option_entry& takes(option_kind taken) {
        kind = taken;
        return *this;
    }
    /// Sets the handler that reads the option.
    option_entry& reads(std::function<bool(Record&, option_use&)> read) {
        handler = std::move(read);
        return *this;
    }
    /// Sets its usage lines.
    option_entry& lines(std::string_view usage) {
        help = usage;
        return *this;
    }
    /// Sets where it is read among the others.
    option_entry& at(int read_order) {
        order = read_order;
        return *this;
    }
    /// Sets when its value counts as missing.
    option_entry& if_missing(missing_value rule) {
        missing = rule;
        return *this;
    }
    /// Marks it as taken without effect.
    option_entry& dropped() {
        effect = false;
        return *this;
    }
    /// Makes it required, with the message written when it is not given.
    option_entry& needed(std::string_view message) {
        absent_message = message;
        return *this;
    }
    /// Looks for it only where `when` holds.
    option_entry& only_if(std::function<bool(const Record&)> when) {
        taken_if = std::move(when);
        return *this;
    }

    /// Its names separated by blanks, the canonical one first: "-out -outfile". Aliases are
    /// looked for in this order; the first present is taken. Empty: usage lines only.
    std::string_view names;
    option_kind kind = option_kind::flag;
    /// Reads the option into the record; false stops the run (the message has been written).
    /// Empty: the option is not read by the table's reader but elsewhere (help, version), or by
    /// another entry's handler; it is still listed and documented.
    std::function<bool(Record&, option_use&)> handler;
    /// Lines of the usage text, verbatim, '\n' between lines; empty: none.
    std::string_view help;
    /// Entries are read in increasing order whatever the order of the command line, so where two
    /// options set the same field the later-read one wins.
    int order = default_option_order;
    missing_value missing = missing_value::required;
    /// False: an option of another tool, taken off the line so that it is not mistaken for
    /// anything else, without effect here (documented in the manual page only).
    bool effect = true;
    /// Written, and the run stopped, when the option is not given; empty: the option is optional.
    std::string_view absent_message;
    /// When set, the option is only looked for where this holds after the earlier entries.
    std::function<bool(const Record&)> taken_if;
};

/// True for a word that names an option rather than a value: "-" and a letter or other
/// character; "-1", "-.5" and a lone "-" are values.
bool looks_like_option(std::string_view word);

/// The blank-separated names of an entry, in order.
std::vector<std::string_view> option_names(std::string_view names);

/// The result of looking for an option on the line.
enum class option_found { absent, taken, missing };

/// Looks for the first of `names` present in `list` and takes it, with its value for the value
/// kinds, into `use`. `missing` where the rule says the value is missing (nothing is removed).
option_found take_option(std::string_view names, option_kind kind, missing_value rule,
                         option_use& use);

/// Writes "ignoring unknown option: WORD" for each word after the program name that starts with
/// "-": what no entry took.
void name_unknown_options(const args& list, std::ostream& err);

/// Writes "ignoring invalid OPTION value: TEXT (using USED)" unless `text` is wholly a number in
/// one of the forms the option's reader takes (decimal, 0x hexadecimal, 0o octal, and a decimal
/// fraction where `fraction` is set; a quoted character where `quoted` is set).
void name_invalid_number(std::string_view option, std::string_view text, std::string_view used,
                         bool fraction, bool quoted, std::ostream& err);

/// Reads the options of `table` from `list` in the table's read order, removing what it takes;
/// false when an entry stopped the run (the message has been written to `err`).
template <typename Record>
bool read_options(const std::vector<option_entry<Record>>& table, Record& record, args& list,
                  std::ostream& err) {
    std::vector<const option_entry<Record>*> entries;
    for (const option_entry<Record>& entry : table) {
        if (!entry.names.empty() && entry.handler) {
            entries.push_back(&entry);
        }
    }
    std::ranges::stable_sort(entries, {}, &option_entry<Record>::order);
    for (const option_entry<Record>* entry : entries) {
        if (entry->taken_if && !entry->taken_if(record)) {
            continue;
        }
        bool seen = false;
        while (true) {
            option_use use{option_names(entry->names).front(), {}, false, list, err};
            const option_found found = take_option(entry->names, entry->kind, entry->missing, use);
            if (found == option_found::missing) {
                err << "missing value for " << use.name << '\n';
                return false;
            }
            if (found == option_found::absent) {
                break;
            }
            seen = true;
            if (entry->handler && !entry->handler(record, use)) {
                return false;
            }
            if (entry->kind != option_kind::repeated) {
                break;
            }
        }
        if (!seen && !entry->absent_message.empty()) {
            err << entry->absent_message << '\n';
            return false;
        }
    }
    return true;
}

/// Writes the usage lines of the table's entries, in table order.
template <typename Record>
void write_usage(const std::vector<option_entry<Record>>& table, std::ostream& out) {
    for (const option_entry<Record>& entry : table) {
        if (!entry.help.empty()) {
            out << entry.help << '\n';
        }
    }
}

/// Writes one line per option name: the name, its kind ("flag", "value", "optional", "repeated")
/// and "offered" or "dropped" (taken without effect); for the documentation checks.
template <typename Record>
void write_option_listing(const std::vector<option_entry<Record>>& table, std::ostream& out) {
    constexpr std::string_view kinds[] = {"flag", "value", "optional", "repeated"};
    for (const option_entry<Record>& entry : table) {
        for (std::string_view name : option_names(entry.names)) {
            out << name << ' ' << kinds[static_cast<std::size_t>(entry.kind)] << ' '
                << (entry.effect ? "offered" : "dropped") << '\n';
        }
    }
}

}  // namespace resq
