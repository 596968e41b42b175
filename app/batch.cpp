#include "app/batch.hpp"

#include <cstdio>
#include <cstring>
#include <string>

#include "app/progress.hpp"
#include "dns/query_builder.hpp"
#include "support/kx_filter.hpp"
#include "support/kx_portable_dir.hpp"

namespace resq {

namespace {

/// Longest part of a skipped name quoted in its message, so the message stays readable.
constexpr std::size_t quoted_name_limit = 80;

// The name as it can be shown on a terminal: printable ASCII as is, every other byte as a
// backslash and three decimal digits, cut after quoted_name_limit bytes.
std::string printable_name(std::string_view name) {
    std::string shown;
    for (const char c : name.substr(0, quoted_name_limit)) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte >= 0x20 && byte < 0x7f && byte != '\\') {
            shown += c;
        } else {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\%03u", byte);
            shown += escaped;
        }
    }
    if (name.size() > quoted_name_limit) {
        shown += "...";
    }
    return shown;
}

}  // namespace

bool accept_line(std::string_view line, const std::vector<filter_entry>& filters) {
    return !line.empty() && filter_matches(line, filters);
}

bool run_batch(record_writer& writer, dns_exchange& attempt, dns_record& query,
               input_params& options, std::istream& input, const run_hooks& hooks) {
    kxportdir::stdin_stream_ex reader(input, hooks.wait_input);
    // -num_subdirs gives the depth of the walk; one level when it is not given.
    const bool opened = options.enumdir_set
                            ? reader.open_dir(options.enumdir_path,
                                              options.num_subdirs != 0 ? options.num_subdirs : 1,
                                              options.filter_list)
                            : reader.open_stdin();
    if (!opened) {
        return false;
    }
    std::string line;
    run_tally* const counts = hooks.tally;
    while (reader.read_line(line, true)) {
        if (counts != nullptr) {
            ++counts->lines_read;
            if (options.enumdir_set) {
                // The share of a walk: paths handed out of those listed so far.
                counts->bytes_read = counts->lines_read;
                counts->input_size = counts->lines_read + reader.queued_paths();
            } else {
                counts->bytes_read += line.size() + 1;
            }
            if (hooks.progress != nullptr) {
                hooks.progress->update(*counts);
            }
        }
        if (!accept_line(line, options.filter_list)) {
            if (counts != nullptr) {
                ++(line.empty() ? counts->blank_lines : counts->filtered_lines);
            }
            continue;
        }
        options.query_name = line;
        if (!build_query(query, options.query_name, options.query_type, options.edns_size)) {
            // The report is unchanged, but the user must be able to tell that a name was not
            // looked up.
            print_error("skipping line %llu, prob building dns packet for: %s\n",
                        static_cast<unsigned long long>(reader.line_number()),
                        printable_name(line).c_str());
            if (counts != nullptr) {
                ++counts->unbuildable_lines;
            }
            continue;
        }
        run_query(writer, attempt, query, options, hooks, reader.line_number());
        if (options.delay > std::chrono::milliseconds::zero()) {
            hooks.sleep(options.delay);
        }
        if (!writer.good()) {
            return false;
        }
    }
    if (reader.read_error() != 0) {
        print_error("prob reading input: %s\n", std::strerror(reader.read_error()));
        return false;
    }
    return writer.good();
}

}  // namespace resq
