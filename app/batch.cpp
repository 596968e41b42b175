#include "app/batch.hpp"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <optional>
#include <string>
#include <utility>

#include "app/lookup_engine.hpp"
#include "app/progress.hpp"
#include "dns/query_builder.hpp"
#include "support/descriptor_input.hpp"
#include "support/idn_name.hpp"
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

std::vector<std::string> typed_fields(std::string_view line) {
    std::vector<std::string> fields;
    std::size_t at = 0;
    while ((at = line.find_first_not_of(" \t", at)) != std::string_view::npos) {
        const std::size_t end = std::min(line.find_first_of(" \t", at), line.size());
        fields.emplace_back(line.substr(at, end - at));
        at = end;
    }
    return fields;
}

bool build_lookup(dns_record& query, const std::string& name, uint32_t type, bool reverse_ptr,
                  const input_params& options, std::string& ascii, std::string& why) {
    ascii.clear();
    why.clear();
    std::string sent = name;
    if (options.idn && has_non_ascii(name) && !to_a_labels(name, sent, why)) {
        why = "cannot convert to A-labels (" + why + ")";
        query.reset();
        return false;
    }
    if (!build_query(query, sent, type, options.query_controls, reverse_ptr)) {
        return false;
    }
    // The report shows the name as typed; JSON adds the form sent when -idn asked for it.
    query.query = name;
    if (options.idn) {
        ascii = std::move(sent);
    }
    return true;
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

    // Builds the query of the next accepted line into `query` (`ascii`: the name sent, with
    // -idn); false at the end of the input or once a read failed. A line that makes no query is
    // skipped with a message.
    bool next(dns_record& query, std::string& ascii) {
        std::string line;
        run_tally* const counts = hooks_.tally;
        while (reader_.read_line(line, true)) {
            if (counts != nullptr) {
                count_line(*counts, line);
            }
            // Physical lines, before any filter: every run of a split counts them alike, and
            // their reports merge by line number.
            const uint64_t number = reader_.line_number();
            if (options_.shard_count != 0 &&
                (number < options_.shard_index ||
                 (number - options_.shard_index) % options_.shard_count != 0)) {
                if (counts != nullptr) {
                    ++counts->other_shard_lines;
                }
                continue;
            }
            if (!accept_line(line, options_.filter_list)) {
                if (counts != nullptr) {
                    ++(line.empty() ? counts->blank_lines : counts->filtered_lines);
                }
                continue;
            }
            std::string name = line;
            uint32_t type = options_.query_type;
            std::string why;
            if (options_.typed_lines) {
                std::vector<std::string> fields = typed_fields(line);
                if (fields.empty()) {
                    if (counts != nullptr) {
                        ++counts->blank_lines;
                    }
                    continue;
                }
                name = fields[0];
                const std::optional<uint16_t> typed =
                    fields.size() == 2 ? parse_type(fields[1]) : std::nullopt;
                if (fields.size() > 2) {
                    why = "more than a name and a type: " + printable_name(fields[2]);
                } else if (fields.size() == 2 && !typed) {
                    why = "unknown record type: " + printable_name(fields[1]);
                } else if (typed) {
                    type = *typed;
                }
            }
            options_.query_name = name;
            // An address is turned into its reverse name only when the run itself asks for PTR
            // records (-ip_pipe): a PTR line of a query file already holds the name to ask for.
            if (why.empty() && build_lookup(query, name, type, options_.query_type == type_ptr,
                                            options_, ascii, why)) {
                return true;
            }
            // The report is unchanged, but the user must be able to tell that a name was not
            // looked up.
            if (why.empty()) {
                print_error("skipping line %llu, prob building dns packet for: %s\n",
                            static_cast<unsigned long long>(reader_.line_number()),
                            printable_name(line).c_str());
            } else {
                print_error("skipping line %llu, %s: %s\n",
                            static_cast<unsigned long long>(reader_.line_number()), why.c_str(),
                            printable_name(line).c_str());
            }
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
    std::string ascii;
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
    while (stop_signal() == 0 && source.next(query, ascii) &&
           lookups.add(source.line_number(), query, ascii)) {
    }
    const bool finished = lookups.finish();
    if (input_buffer != nullptr) {
        input_buffer->set_wait({});
    }
    return finished && source.ended_well();
}

}  // namespace resq
