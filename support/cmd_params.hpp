// The common option record shared by the tools of the support library, and its parser.
#pragma once

#include <cstdint>
#include <iostream>
#include <string>
#include <string_view>
#include <vector>

#include "support/args.hpp"
#include "support/datetime_layout.hpp"
#include "support/option_table.hpp"

namespace resq {

/// One -filter pattern: its text without "*", lower-cased, and where the stars stood.
struct filter_entry {
    std::string pattern;
    bool match_all = false;     // the pattern was "*"
    bool ends_with = false;     // the pattern began with "*"
    bool starts_with = false;   // the pattern ended with "*"
    bool path_pattern = false;  // the remaining text begins with "/"
};

/// The form of the report: rows of a table (padded or separated values), an XML document, or
/// JSON Lines (one object per attempt).
enum class report_format { table, xml, json };

/// Output format, separator, date and time layout, results file, batch input and filters.
class cmd_params {
  public:
    cmd_params();
    virtual ~cmd_params() = default;
    cmd_params(const cmd_params&) = default;
    cmd_params& operator=(const cmd_params&) = default;

    /// Sets every field to its default.
    void reset();

    /// Recognises and removes the common options, in a fixed order; false when the run must stop
    /// (the message, if any, has been written to `err`).
    bool parse_options(args& list, std::ostream& err = std::cerr);

    /// Keeps the command line as typed, once, for -diags; before any option is taken.
    void begin_options(const args& list);

    /// Compiles the date and time patterns read, falling back to the default layout.
    void settle_datetime_layout();

    std::string out_path;
    bool append_output = false;  // -append: the results file is extended, not rewritten
    std::string date_format;
    std::string time_format;
    kx::datetime_layout datetime_layout;
    char replace_char = '|';
    char replace_with = ';';
    std::string csv_separator;
    bool compact_output = false;
    bool keep_time_space = true;
    bool quoted_fields = false;
    report_format format = report_format::table;
    bool verbose = true;
    bool quiet = false;  // -quiet: no progress line on standard error
    bool pair_datetime = false;
    std::vector<filter_entry> filter_list;
    bool batch_input = false;
    std::string enumdir_path;
    uint32_t num_subdirs = 0;
    bool enumdir_set = false;
    std::string command_line;
};

/// The common options in the order they are read, with no usage lines: each program places
/// and words them in its own usage text.
const std::vector<option_entry<cmd_params>>& common_options();

/// Sets the column separator and the name replacement that protects it.
void set_csv_separator(cmd_params& record, std::string_view text, bool comma_to_semicolon);

/// Replaces every %NAME% whose variable is set by its value.
std::string expand_env_vars(std::string_view text);

/// Appends the entries of one -filter value to `list`.
void build_filter_list(std::vector<filter_entry>& list, std::string_view value);

}  // namespace resq
