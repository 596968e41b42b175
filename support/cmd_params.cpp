#include "support/cmd_params.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fstream>

#include "support/kx_string.hpp"

namespace resq {

namespace {

constexpr std::string_view default_separator = " | ";
constexpr std::size_t expansion_limit = 513;
// A variable whose value names itself would otherwise be expanded for ever.
constexpr int max_expansions = 64;

std::string join_command_line(const args& list) {
    std::string line;
    for (const std::string& entry : list) {
        if (!line.empty()) {
            line += ' ';
        }
        if (entry.find(' ') != std::string::npos) {
            line += '"' + entry + '"';
        } else {
            line += entry;
        }
    }
    return line;
}

// Options of other tools of the support library: they are taken off the line so that they
// cannot be mistaken for anything else, and have no effect here.
void consume_flag(std::string_view name, args& list) {
    has_option(name, list);
}
void consume_value(std::string_view name, args& list) {
    std::string ignored;
    get_option_value(name, ignored, list);
}
void consume_repeated_value(std::string_view name, args& list) {
    std::string ignored;
    while (get_option_value(name, ignored, list)) {
    }
}

bool refuse_sqlite(std::string_view name, args& list, std::ostream& err) {
    std::string ignored;
    if (get_option_value(name, ignored, list)) {
        err << "This option is not offered in this build\n";
        return true;
    }
    return false;
}

void write_diagnostics(const std::string& path, const std::string& command_line, args& list) {
    std::ofstream diags(path, std::ios::out | std::ios::trunc);
    if (!diags) {
        return;
    }
    diags << "->" << command_line << '\n';
    diags.flush();
    consume_flag("-l2", list);
    consume_flag("-l3", list);
}

// Opens `path` as the check below does, again when a signal cut the call short.
int open_for_check(const std::string& path, int flags) {
    int fd = -1;
    do {
        fd = ::open(path.c_str(), flags, 0606);
    } while (fd < 0 && errno == EINTR);
    return fd;
}

// Checks that the results file can be written without harming a file that is already there:
// a file this check creates is removed again, an existing one is opened without truncation and
// left as it is. The run creates or extends the file itself later. A FIFO or a device (a pipe to
// another program, /dev/stdout) is only looked at: opening a FIFO would wait for its reader, and
// closing it again would hand that reader an early end of file.
bool check_output_path(cmd_params& record, const std::string& value, const args& list,
                       std::ostream& err) {
    std::string path = expand_env_vars(value);
    std::replace(path.begin(), path.end(), '\\', '/');
    record.out_path = path;
    for (std::size_t i = 1; i < list.size(); ++i) {
        if (to_lower(list[i]) == "-append") {
            record.append_output = true;
            break;
        }
    }

    struct stat status = {};
    if (::stat(path.c_str(), &status) == 0 && !S_ISREG(status.st_mode) &&
        !S_ISDIR(status.st_mode)) {
        if (::faccessat(AT_FDCWD, path.c_str(), W_OK, AT_EACCESS) == 0) {
            return true;
        }
        err << "prob opening file " << path << " for output, aborting\n";
        return false;
    }
    int fd = open_for_check(path, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC);
    if (fd >= 0) {
        ::close(fd);
        std::remove(path.c_str());
        return true;
    }
    if (errno == EEXIST) {
        fd = open_for_check(path, O_WRONLY | O_CLOEXEC);
        if (fd >= 0) {
            ::close(fd);
            return true;
        }
    }
    err << "prob opening file " << path << " for output, aborting\n";
    return false;
}

void read_filters(cmd_params& record, args& list) {
    std::string value;
    while (get_option_value("-filter", value, list)) {
        build_filter_list(record.filter_list, value);
    }
    if (!record.filter_list.empty() && get_option_value("-filter_path", value, list)) {
        const std::string path = to_lower(value);
        for (filter_entry& entry : record.filter_list) {
            entry.pattern = path;
        }
    }
}

void read_date_time_patterns(cmd_params& record, args& list, std::ostream& err) {
    std::string value;
    if (get_option_value("-dateformat", value, list)) {
        if (accept_date_pattern(value)) {
            record.date_format = to_lower(value);
        } else {
            err << "invalid " << value << ", using default format\n";
        }
    }
    if (get_option_value("-timeformat", value, list)) {
        if (accept_time_pattern(value)) {
            record.time_format = to_lower(value);
        } else {
            err << "invalid " << value << ", using default format\n";
        }
    }
}

}  // namespace

cmd_params::cmd_params() {
    reset();
}

void cmd_params::reset() {
    out_path.clear();
    append_output = false;
    date_format = "yyyy-mm-dd";
    time_format = "hh:mm:ss.xxx";
    datetime_layout = kx::datetime_layout{};
    replace_char = '|';
    replace_with = ';';
    csv_separator = default_separator;
    compact_output = false;
    keep_time_space = true;
    quoted_fields = false;
    format = report_format::table;
    verbose = true;
    quiet = false;
    pair_datetime = false;
    filter_list.clear();
    batch_input = false;
    enumdir_path.clear();
    num_subdirs = 0;
    enumdir_set = false;
    command_line.clear();
}

bool cmd_params::parse_options(args& list, std::ostream& err) {
    if (list.empty()) {
        return false;
    }
    if (command_line.empty()) {
        command_line = join_command_line(list);
    }

    // The order below is fixed: where two options set the same field, the later one wins
    // whatever their order on the command line (-xml beats -csv, -multiline beats -xml, -json
    // beats them all).
    std::string value;
    if (has_option("-pair_datetime", list)) {
        pair_datetime = true;
    }
    if (get_option_value("-diags", value, list)) {
        write_diagnostics(value, command_line, list);
    }
    if (has_option("-csv", list)) {
        format = report_format::table;
        set_csv_separator(*this, ",", false);
        compact_output = !pair_datetime;
    }
    if (has_option("-csvgen", list)) {
        format = report_format::table;
        set_csv_separator(*this, ",", false);
        compact_output = true;
    }
    if (has_option("-csvl2t", list)) {
        format = report_format::table;
        set_csv_separator(*this, ",", false);
    }
    if (has_option("-bodyfile", list)) {
        format = report_format::table;
        set_csv_separator(*this, "|", false);
    }
    if (has_option("-xml", list)) {
        format = report_format::xml;
        set_csv_separator(*this, "", false);
    }
    if (has_option("-multiline", list)) {
        format = report_format::table;
        csv_separator.clear();
        replace_char = 0;
        replace_with = 0;
    }
    if (has_option("-json", list)) {
        format = report_format::json;
    }
    consume_value("-alias", list);
    consume_value("-aliaspath", list);
    consume_flag("-gzip", list);
    consume_flag("-zlib", list);
    consume_value("-threads", list);
    consume_flag("-zlibex", list);
    if (refuse_sqlite("-sqlite_log", list, err) || refuse_sqlite("-sqlite", list, err)) {
        return false;
    }
    consume_flag("-signal", list);
    consume_value("-hostname", list);
    consume_flag("-split_pathfile", list);
    consume_value("-username", list);
    consume_value("-cpuinst", list);
    consume_value("-cpu", list);
    consume_flag("-fragment_files", list);
    consume_flag("-separate_files", list);
    if (get_option_value("-out", value, list) || get_option_value("-outfile", value, list)) {
        if (!check_output_path(*this, value, list, err)) {
            return false;
        }
    }
    consume_value("-outdir", list);
    if (get_option_value("-enumdir", value, list)) {
        enumdir_path = expand_env_vars(value);
        enumdir_set = true;
    }
    if (get_option_value("-num_subdirs", value, list)) {
        read_unsigned(value, num_subdirs);
    }
    consume_value("-profile", list);
    if (has_option("-pipe", list)) {
        batch_input = true;
    }
    consume_repeated_value("-filter_skip", list);
    read_filters(*this, list);
    consume_repeated_value("-filter_sig", list);
    consume_value("-cmd_start_time", list);
    consume_value("-cmd_stop_time", list);
    consume_flag("-base10", list);
    consume_flag("-base16", list);
    if (get_option_value("-csv_separator", value, list)) {
        set_csv_separator(*this, value, false);
    }
    if (has_option("-enable_quoted_csv_fields", list)) {
        quoted_fields = true;
        if (csv_separator.find('\t') == std::string::npos) {
            csv_separator = std::string(trim_blanks(csv_separator));
        }
        keep_time_space = false;
        replace_char = 0;
    }
    if (has_option("-no_whitespace", list)) {
        compact_output = true;
        keep_time_space = false;
        std::erase(csv_separator, ' ');
    }
    read_date_time_patterns(*this, list, err);
    if (has_option("-verbose", list) || has_option("-v", list)) {
        verbose = true;
    }
    quiet = has_option("-quiet", list);

    // A pattern of accepted length whose tokens do not compile falls back to the defaults
    // rather than printing empty dates.
    if (!compile_datetime_layout(datetime_layout, date_format, time_format, pair_datetime)) {
        datetime_layout = kx::datetime_layout{};
    }
    return true;
}

void set_csv_separator(cmd_params& record, std::string_view text, bool comma_to_semicolon) {
    record.csv_separator = std::string(text);
    if (record.quoted_fields) {
        record.replace_char = 0;
        record.replace_with = 0;
        return;
    }
    const std::string lower = to_lower(text);
    if (lower.find('|') != std::string::npos) {
        record.replace_char = '|';
        record.replace_with = ';';
    } else if (lower.find(',') != std::string::npos) {
        record.replace_char = ',';
        record.replace_with = comma_to_semicolon ? ';' : ' ';
    } else {
        record.replace_char = 0;
        record.replace_with = 0;
        if (lower == "tab" || lower == "\\t") {
            record.csv_separator.assign(1, '\t');
        }
    }
}

std::string expand_env_vars(std::string_view text) {
    std::string result(text);
    std::size_t pos = 0;
    for (int expansions = 0; result.size() < expansion_limit && expansions < max_expansions;) {
        const std::size_t open = result.find('%', pos);
        if (open == std::string::npos) {
            break;
        }
        const std::size_t close = result.find('%', open + 1);
        if (close == std::string::npos) {
            break;
        }
        const std::string name = result.substr(open + 1, close - open - 1);
        const char* found = name.empty() ? nullptr : std::getenv(name.c_str());
        if (found != nullptr) {
            result.replace(open, close - open + 1, found);
            pos = open;
            ++expansions;
        } else {
            pos = close + 1;
        }
    }
    return result;
}

void build_filter_list(std::vector<filter_entry>& list, std::string_view value) {
    const std::string lower = to_lower(value);
    std::vector<std::string> pieces;
    if (lower.find('|') != std::string::npos) {
        split_fields(lower, '|', pieces, false, false, false);
    } else if (lower.find(',') != std::string::npos) {
        split_fields(lower, ',', pieces, false, false, false);
    } else if (!lower.empty()) {
        pieces.push_back(lower);
    }

    if (std::find(pieces.begin(), pieces.end(), "*") != pieces.end()) {
        filter_entry all;
        all.match_all = true;
        list.assign(1, all);
        return;
    }
    for (std::string& piece : pieces) {
        filter_entry entry;
        for (std::size_t star = piece.find('*'); star != std::string::npos;
             star = piece.find('*')) {
            if (star == 0) {
                entry.ends_with = true;
            } else if (star + 1 == piece.size()) {
                entry.starts_with = true;
            }
            piece.erase(star, 1);
        }
        entry.path_pattern = !piece.empty() && piece.front() == '/';
        entry.pattern = std::move(piece);
        list.push_back(std::move(entry));
    }
}

}  // namespace resq
