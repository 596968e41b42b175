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

void write_diagnostics(const std::string& path, const std::string& command_line, args& list) {
    std::ofstream diags(path, std::ios::out | std::ios::trunc);
    if (!diags) {
        return;
    }
    diags << "->" << command_line << '\n';
    diags.flush();
    // The logging levels of the other tools go with -diags only.
    has_option("-l2", list);
    has_option("-l3", list);
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

namespace {

// -dateformat or -timeformat: a pattern `accept` takes, kept in lower case; any other falls back
// to the default with a message.
option_entry<cmd_params> pattern_option(std::string_view name, bool (*accept)(std::string_view),
                                        std::string cmd_params::*field, int order) {
    return option_entry<cmd_params>(name)
        .takes(option_kind::value)
        .reads([accept, field](cmd_params& r, option_use& use) {
            if (accept(use.value)) {
                r.*field = to_lower(use.value);
            } else {
                use.err << "invalid " << use.value << ", using default format\n";
            }
            return true;
        })
        .at(order)
        .if_missing(missing_value::lenient);
}

}  // namespace

const std::vector<option_entry<cmd_params>>& common_options() {
    using entry = option_entry<cmd_params>;
    using kind = option_kind;
    constexpr missing_value lenient = missing_value::lenient;
    // Options of other tools of the support library: taken off the line so that they cannot be
    // mistaken for anything else, with no effect here.
    const auto dropped = [](std::string_view names, option_kind taken, int order) {
        return entry(names)
            .takes(taken)
            .reads([](cmd_params&, option_use&) { return true; })
            .at(order)
            .if_missing(lenient)
            .dropped();
    };
    const auto refused = [](cmd_params&, option_use& use) {
        use.err << "This option is not offered in this build\n";
        return false;
    };
    const auto table_form = [](cmd_params& r, std::string_view separator) {
        r.format = report_format::table;
        set_csv_separator(r, separator, false);
    };
    // The order numbers are fixed: where two options set the same field, the later one wins
    // whatever their order on the command line (-xml beats -csv, -multiline beats -xml, -json
    // beats them all).
    static const std::vector<entry> table = {
        entry("-pair_datetime")
            .reads([](cmd_params& r, option_use&) { return r.pair_datetime = true; })
            .at(100),
        entry("-diags")
            .takes(kind::value)
            .reads([](cmd_params& r, option_use& use) {
                write_diagnostics(use.value, r.command_line, use.list);
                return true;
            })
            .at(102)
            .if_missing(lenient),
        // Taken by -diags only.
        entry("-l2 -l3").dropped(),
        entry("-csv")
            .reads([table_form](cmd_params& r, option_use&) {
                table_form(r, ",");
                r.compact_output = !r.pair_datetime;
                return true;
            })
            .at(104),
        entry("-csvgen")
            .reads([table_form](cmd_params& r, option_use&) {
                table_form(r, ",");
                return r.compact_output = true;
            })
            .at(106),
        entry("-csvl2t")
            .reads([table_form](cmd_params& r, option_use&) {
                table_form(r, ",");
                return true;
            })
            .at(108),
        entry("-bodyfile")
            .reads([table_form](cmd_params& r, option_use&) {
                table_form(r, "|");
                return true;
            })
            .at(110),
        entry("-xml")
            .reads([](cmd_params& r, option_use&) {
                r.format = report_format::xml;
                set_csv_separator(r, "", false);
                return true;
            })
            .at(112),
        entry("-multiline")
            .reads([](cmd_params& r, option_use&) {
                r.format = report_format::table;
                r.csv_separator.clear();
                r.replace_char = 0;
                r.replace_with = 0;
                return true;
            })
            .at(114),
        entry("-json")
            .reads([](cmd_params& r, option_use&) {
                r.format = report_format::json;
                return true;
            })
            .at(116),
        dropped("-alias", kind::value, 118),
        dropped("-aliaspath", kind::value, 120),
        dropped("-gzip", kind::flag, 122),
        dropped("-zlib", kind::flag, 124),
        dropped("-threads", kind::value, 126),
        dropped("-zlibex", kind::flag, 128),
        entry("-sqlite_log")
            .takes(kind::value)
            .reads(refused)
            .at(130)
            .if_missing(lenient)
            .dropped(),
        entry("-sqlite").takes(kind::value).reads(refused).at(132).if_missing(lenient).dropped(),
        dropped("-signal", kind::flag, 134),
        dropped("-hostname", kind::value, 136),
        dropped("-split_pathfile", kind::flag, 138),
        dropped("-username", kind::value, 140),
        dropped("-cpuinst", kind::value, 142),
        dropped("-cpu", kind::value, 144),
        dropped("-fragment_files", kind::flag, 146),
        dropped("-separate_files", kind::flag, 148),
        // Without a file name the report would silently go to standard output.
        entry("-out -outfile")
            .takes(kind::value)
            .reads([](cmd_params& r, option_use& use) {
                return check_output_path(r, use.value, use.list, use.err);
            })
            .at(150)
            .if_missing(missing_value::at_end),
        dropped("-outdir", kind::value, 152),
        entry("-enumdir")
            .takes(kind::value)
            .reads([](cmd_params& r, option_use& use) {
                r.enumdir_path = expand_env_vars(use.value);
                return r.enumdir_set = true;
            })
            .at(154)
            .if_missing(lenient),
        entry("-num_subdirs")
            .takes(kind::value)
            .reads([](cmd_params& r, option_use& use) {
                read_unsigned(use.value, r.num_subdirs);
                name_invalid_number(use.name, use.value, std::to_string(r.num_subdirs), false, true,
                                    use.err);
                return true;
            })
            .at(156)
            .if_missing(lenient),
        dropped("-profile", kind::value, 158),
        entry("-pipe")
            .reads([](cmd_params& r, option_use&) { return r.batch_input = true; })
            .at(160),
        dropped("-filter_skip", kind::repeated, 162),
        entry("-filter")
            .takes(kind::repeated)
            .reads([](cmd_params& r, option_use& use) {
                build_filter_list(r.filter_list, use.value);
                return true;
            })
            .at(164)
            .if_missing(lenient),
        // Left on the line, and named as unknown, without a -filter to apply to.
        entry("-filter_path")
            .takes(kind::value)
            .reads([](cmd_params& r, option_use& use) {
                const std::string path = to_lower(use.value);
                for (filter_entry& filter : r.filter_list) {
                    filter.pattern = path;
                }
                return true;
            })
            .at(166)
            .if_missing(lenient)
            .only_if([](const cmd_params& r) { return !r.filter_list.empty(); }),
        dropped("-filter_sig", kind::repeated, 168),
        dropped("-cmd_start_time", kind::value, 170),
        dropped("-cmd_stop_time", kind::value, 172),
        dropped("-base10", kind::flag, 174),
        dropped("-base16", kind::flag, 176),
        entry("-csv_separator")
            .takes(kind::value)
            .reads([](cmd_params& r, option_use& use) {
                set_csv_separator(r, use.value, false);
                return true;
            })
            .at(178)
            .if_missing(lenient),
        entry("-enable_quoted_csv_fields")
            .reads([](cmd_params& r, option_use&) {
                r.quoted_fields = true;
                if (r.csv_separator.find('\t') == std::string::npos) {
                    r.csv_separator = std::string(trim_blanks(r.csv_separator));
                }
                r.keep_time_space = false;
                r.replace_char = 0;
                return true;
            })
            .at(180),
        entry("-no_whitespace")
            .reads([](cmd_params& r, option_use&) {
                r.compact_output = true;
                r.keep_time_space = false;
                std::erase(r.csv_separator, ' ');
                return true;
            })
            .at(182),
        pattern_option("-dateformat", accept_date_pattern, &cmd_params::date_format, 184),
        pattern_option("-timeformat", accept_time_pattern, &cmd_params::time_format, 186),
        entry("-verbose -v")
            .reads([](cmd_params& r, option_use&) { return r.verbose = true; })
            .at(188),
        entry("-quiet").reads([](cmd_params& r, option_use&) { return r.quiet = true; }).at(190),
    };
    return table;
}

void cmd_params::begin_options(const args& list) {
    if (command_line.empty()) {
        command_line = join_command_line(list);
    }
}

void cmd_params::settle_datetime_layout() {
    // A pattern of accepted length whose tokens do not compile falls back to the defaults
    // rather than printing empty dates.
    if (!compile_datetime_layout(datetime_layout, date_format, time_format, pair_datetime)) {
        datetime_layout = kx::datetime_layout{};
    }
}

bool cmd_params::parse_options(args& list, std::ostream& err) {
    if (list.empty()) {
        return false;
    }
    begin_options(list);
    if (!read_options(common_options(), *this, list, err)) {
        return false;
    }
    settle_datetime_layout();
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
