#include "app/batch.hpp"

#include <chrono>
#include <cstring>
#include <string>

#include "app/lookup_engine.hpp"
#include "app/progress.hpp"
#include "dns/query_builder.hpp"
#include "support/descriptor_input.hpp"
#include "support/kx_filter.hpp"
#include "support/kx_portable_dir.hpp"
#include "support/stop_signal.hpp"
#include "support/text_forms.hpp"

namespace resq {

namespace {

/// How often a concurrent batch looks at an input that had nothing to read.
constexpr std::chrono::milliseconds input_poll_interval{20};

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
            append_decimal_escape(shown, byte);
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

namespace {

// The lines of a batch, read and counted one by one, and turned into queries.
class lookup_source {
  public:
    lookup_source(input_params& options, std::istream& input, const run_hooks& hooks)
        : options_(options), reader_(input, hooks.input_buffer), hooks_(hooks) {}

    // Opens standard input or the -enumdir walk; -num_subdirs gives the depth of the walk, one
    // level when it is not given.
    bool open() {
        return options_.enumdir_set
                   ? reader_.open_dir(options_.enumdir_path,
                                      options_.num_subdirs != 0 ? options_.num_subdirs : 1,
                                      options_.filter_list)
                   : reader_.open_stdin();
    }

    // Builds the query of the next accepted line into `query`; false at the end of the input or
    // once a read failed. A line that makes no query is skipped with a message.
    bool next(dns_record& query) {
        std::string line;
        run_tally* const counts = hooks_.tally;
        while (reader_.read_line(line, true)) {
            if (counts != nullptr) {
                count_line(*counts, line);
            }
            if (!accept_line(line, options_.filter_list)) {
                if (counts != nullptr) {
                    ++(line.empty() ? counts->blank_lines : counts->filtered_lines);
                }
                continue;
            }
            options_.query_name = line;
            if (build_query(query, options_.query_name, options_.query_type, options_.edns_size)) {
                return true;
            }
            // The report is unchanged, but the user must be able to tell that a name was not
            // looked up.
            print_error("skipping line %llu, prob building dns packet for: %s\n",
                        static_cast<unsigned long long>(reader_.line_number()),
                        printable_name(line).c_str());
            if (counts != nullptr) {
                ++counts->unbuildable_lines;
            }
        }
        return false;
    }

    uint64_t line_number() const { return reader_.line_number(); }

    // After next() returned false: true at the end of the input, false (with the message written)
    // when a read failed. A read cut short by a stop signal is no failure.
    bool ended_well() const {
        if (reader_.read_error() == 0 || stop_signal() != 0) {
            return true;
        }
        print_error("prob reading input: %s\n", std::strerror(reader_.read_error()));
        return false;
    }

  private:
    void count_line(run_tally& counts, const std::string& line) {
        ++counts.lines_read;
        if (options_.enumdir_set) {
            // The share of a walk: paths handed out of those listed so far.
            counts.bytes_read = counts.lines_read;
            counts.input_size = counts.lines_read + reader_.queued_paths();
        } else {
            counts.bytes_read += line.size() + 1;
        }
        if (hooks_.progress != nullptr) {
            hooks_.progress->update(counts);
        }
    }

    input_params& options_;
    kxportdir::stdin_stream_ex reader_;
    const run_hooks& hooks_;
};

}  // namespace

bool run_batch(lookup_engine& lookups, input_params& options, std::istream& input,
               const run_hooks& hooks) {
    dns_record query;
    lookup_source source(options, input, hooks);
    if (!source.open()) {
        return false;
    }
    // While standard input has no whole line, the lookups taken go on and their rows are written;
    // a stop signal ends the wait.
    descriptor_input* const input_buffer = hooks.input_buffer;
    if (input_buffer != nullptr) {
        input_buffer->set_wait([&lookups, input_buffer] {
            if (!lookups.busy()) {
                return input_buffer->wait_briefly(input_poll_interval);
            }
            lookups.run_for(input_poll_interval, input_buffer->descriptor());
            return stop_signal() == 0;
        });
    }
    // A stop signal ends the reading; what ended is still written.
    while (stop_signal() == 0 && source.next(query) && lookups.add(source.line_number(), query)) {
    }
    const bool finished = lookups.finish();
    if (input_buffer != nullptr) {
        input_buffer->set_wait({});
    }
    return finished && source.ended_well();
}

}  // namespace resq
