#include "app/query_run.hpp"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/batch.hpp"
#include "app/lookup_engine.hpp"
#include "app/progress.hpp"
#include "dns/exchange.hpp"
#include "dns/query_builder.hpp"
#include "report/record_writer.hpp"
#include "support/args.hpp"
#include "support/descriptor_input.hpp"
#include "support/held_flush_buffer.hpp"
#include "support/kx_portable_dir.hpp"
#include "support/kx_string.hpp"
#include "support/kx_time.hpp"
#include "support/send_pacer.hpp"
#include "support/stop_signal.hpp"

namespace resq {

namespace {

/// Longest message print_error writes.
constexpr int error_message_limit = 4096;

bool wants_help(args& list) {
    return take_names_of("-h", list) || list.size() == 1;
}

// -version and --version, looked at before anything else so that no other option can fail first.
bool wants_version(args& list) {
    return take_names_of("-version", list);
}

std::string host_name() {
    char name[256] = {};
    if (gethostname(name, sizeof name - 1) != 0 || name[0] == '\0') {
        return "<unk>";
    }
    return name;
}

// The run's start in the date layout of a usable -dateformat (looked at, not removed), else
// mm/dd/yyyy, with the time to the second.
std::string start_time_text(const args& list) {
    args probe = list;
    std::string pattern;
    kx::datetime_layout layout;
    if (!get_option_value("-dateformat", pattern, probe) || !accept_date_pattern(pattern) ||
        !compile_datetime_layout(layout, to_lower(pattern), "hh:mm:ss", false)) {
        compile_datetime_layout(layout, "mm/dd/yyyy", "hh:mm:ss", false);
    }
    std::string date;
    std::string time;
    format_date_time(date, time, kx::capture_now(), layout);
    return date + " " + time + " UTC";
}

// The command line as typed; an argument holding a space is quoted, and a -pipe run shows that its
// names came from standard input.
std::string command_line_text(const args& list) {
    args probe = list;
    std::string text = has_option("-pipe", probe, true) ? "<filelist> ... | " : "";
    for (std::size_t i = 0; i < list.size(); ++i) {
        if (i != 0) {
            text += ' ';
        }
        const bool quote = list[i].find(' ') != std::string::npos;
        text += quote ? "'" + list[i] + "'" : list[i];
    }
    return text;
}

// Three lines: the banner, when and where the run started, and the command line.
report_header make_report_header(const args& list) {
    report_header header{std::string(banner), std::string(banner), list.front()};
    header.text += "\nrun started: " + start_time_text(list) + " on host: " + host_name() + '\n';
    header.text += "cmdline: " + command_line_text(list) + '\n';
    return header;
}

// The file a batch is read from (-f), closed when the run ends.
class input_file {
  public:
    input_file() = default;
    ~input_file() {
        if (fd_ != -1) {
            ::close(fd_);
        }
    }
    input_file(const input_file&) = delete;
    input_file& operator=(const input_file&) = delete;

    // Opens `path` for reading: 0, or the errno value of the failure (EISDIR for a directory,
    // whose reads would only fail later).
    int open(const std::string& path) {
        do {
            fd_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
        } while (fd_ == -1 && errno == EINTR && stop_signal() == 0);
        if (fd_ == -1) {
            return errno;
        }
        struct stat status {};
        if (::fstat(fd_, &status) == 0 && S_ISDIR(status.st_mode)) {
            return EISDIR;
        }
        return 0;
    }

    int descriptor() const { return fd_; }

  private:
    int fd_ = -1;
};

}  // namespace

report_server::report_server(const endpoint& server) : address(server.address_text()) {
    if (server.family() == AF_INET) {
        port = ntohs(reinterpret_cast<const sockaddr_in*>(server.address())->sin_port);
    } else if (server.family() == AF_INET6) {
        port = ntohs(reinterpret_cast<const sockaddr_in6*>(server.address())->sin6_port);
    }
}

void record_attempt(const run_hooks& hooks, const dns_exchange& attempt, const dns_record& query,
                    const exchange_target& target) {
    if (hooks.pcap != nullptr) {
        // TLS and HTTPS show what they carry as DNS over TCP, between the real ports.
        hooks.pcap->write_attempt(attempt, query, target.server,
                                  target.kind == transport::udp ? transport::udp : transport::tcp);
    }
    if (hooks.tally != nullptr) {
        hooks.tally->count_attempt(attempt, query);
    }
}

void print_error(const char* format, ...) {
    va_list arguments;
    va_start(arguments, format);
    va_list measure;
    va_copy(measure, arguments);
    const int length = std::vsnprintf(nullptr, 0, format, measure);
    va_end(measure);
    if (length < 0 || length > error_message_limit) {
        va_end(arguments);
        return;
    }
    std::vector<char> message(static_cast<std::size_t>(length) + 1);
    std::vsnprintf(message.data(), message.size(), format, arguments);
    va_end(arguments);
    progress_display::erase_current();
    // Erase whatever a progress display left on the terminal line first; a file or pipe gets the
    // message alone.
    if (::isatty(STDERR_FILENO) == 1) {
        std::cerr << "\x1b[2K\r" << std::string(27, ' ') << '\r' << std::flush;
    }
    std::cerr.write(message.data(), length);
    std::cerr.flush();
}

int run(int argc, const char* const* argv, std::istream& input, const run_hooks& hooks) {
    args list = make_args(argc, argv);
    if (list.empty()) {
        return exit_failure;
    }
    input_params options;
    // Not in the usage text: the documentation checks read the options from here.
    if (has_option("--list-options", list)) {
        list_options(std::cout);
        return exit_ok;
    }
    if (wants_version(list)) {
        std::cout << banner << '\n' << std::flush;
        return exit_ok;
    }
    if (wants_help(list)) {
        print_usage(std::cerr);
        return exit_ok;
    }
    const report_header header = make_report_header(list);
    // A run that stops early shows its header on standard output, but a JSON Lines report and
    // the data alone of -short hold nothing but their lines.
    const auto show_header = [&] {
        if (options.format != report_format::json && !options.view.short_answers) {
            std::cout << header.text << '\n' << std::flush;
        }
    };
    if (!options.parse_options(list)) {
        show_header();
        return exit_failure;
    }

    // Whatever can still stop the run is decided before the results file is opened, so a run that
    // fails never empties an earlier report; its header goes to standard output instead.
    const bool batch = options.batch_input || options.enumdir_set;
    dns_record query;
    if (!batch && options.query_name.empty()) {
        show_header();
        print_usage(std::cerr);
        return exit_failure;
    }
    std::string name_ascii;
    if (std::string why; !batch && !build_lookup(query, options.query_name, options.query_type,
                                                 true, options, name_ascii, why)) {
        show_header();
        if (!why.empty()) {
            print_error("%s: %s\n", why.c_str(), options.query_name.c_str());
        }
        print_error("prob building dns packet... aborting\n");
        return exit_failure;
    }
    // -f: the batch is read from the file through a buffer of its own, which waits as standard
    // input's does; "-" is standard input itself.
    input_file file;
    std::optional<descriptor_input> file_buffer;
    std::istream file_input(nullptr);
    if (!options.input_path.empty() && options.input_path != "-") {
        if (const int error = file.open(options.input_path); error != 0) {
            if (const int stop = stop_signal(); stop != 0) {
                return exit_signal_base + stop;
            }
            show_header();
            print_error("prob opening input file: %s: %s\n", options.input_path.c_str(),
                        std::strerror(error));
            return exit_failure;
        }
        file_buffer.emplace(file.descriptor());
        file_input.rdbuf(&*file_buffer);
    }
    if (options.enumdir_set && !kxportdir::readable_directory(options.enumdir_path)) {
        show_header();
        print_error("prob opening directory: %s\n", options.enumdir_path.c_str());
        return exit_failure;
    }

    // The evidence file is made before the results file, so that a path it cannot use leaves an
    // earlier report alone.
    pcap_writer pcap;
    run_hooks run_with = hooks;
    if (file_buffer) {
        run_with.input_buffer = &*file_buffer;
    }
    if (!options.pcap_path.empty()) {
        if (!pcap.open(options.pcap_path)) {
            // A FIFO waits for its reader; a stop signal ends that wait.
            if (const int stop = stop_signal(); stop != 0) {
                return exit_signal_base + stop;
            }
            show_header();
            print_error("prob opening pcap file: %s\n", options.pcap_path.c_str());
            return exit_failure;
        }
        run_with.pcap = &pcap;
    }
    batch_monitor monitor(options, batch);
    monitor.attach(run_with);
    send_pacer pacer(options.rate);
    if (pacer.limited()) {
        run_with.pacer = &pacer;
    }

    std::ofstream results;
    if (!options.out_path.empty()) {
        results.open(options.out_path,
                     std::ios::out | (options.append_output ? std::ios::app : std::ios::trunc));
        if (!results) {
            if (const int stop = stop_signal(); stop != 0) {
                return exit_signal_base + stop;
            }
            print_error("prob opening results file: %s for writing\n", options.out_path.c_str());
            return exit_failure;
        }
    }
    std::ostream& out = options.out_path.empty() ? std::cout : results;
    // A terminal is never written control bytes from the network, and gets each line as it is
    // written; files and pipes get the bytes as they came, in blocks of rows.
    const bool terminal = options.out_path.empty() && ::isatty(STDOUT_FILENO) == 1;
    std::optional<held_flush_buffer> held;
    std::ostream held_out(nullptr);
    if (!terminal) {
        held.emplace(*out.rdbuf());
        held_out.rdbuf(&*held);
        run_with.held_report = &*held;
    }
    const std::unique_ptr<record_writer> writer =
        make_record_writer(held ? held_out : out, options, terminal, options.view);
    writer->begin(header);
    // A run that stopped early still closes its report; its rows so far are kept. A single
    // lookup is a batch of one.
    bool completed = false;
    lookup_engine lookups(*writer, options, run_with, batch);
    if (const int error = lookups.start_error(); error != 0) {
        print_error("prob starting lookups: %s\n", std::strerror(error));
    } else if (batch) {
        completed = run_batch(lookups, options, file_buffer ? file_input : input, run_with);
    } else {
        lookups.add(0, query, name_ascii);
        completed = lookups.finish();
    }
    writer->end();
    const bool released = !held || held->release();
    monitor.finish();
    if (!writer->good() || !released) {
        print_error("prob writing results to %s\n",
                    options.out_path.empty() ? "standard output" : options.out_path.c_str());
        return exit_failure;
    }
    // Evidence that could not all be written must not pass for a complete capture.
    if (!options.pcap_path.empty() && !pcap.good()) {
        print_error("prob writing pcap file: %s\n", options.pcap_path.c_str());
        return exit_failure;
    }
    if (!completed) {
        return exit_failure;
    }
    // Stopped by a signal: the report holds what ended before the stop, and the status says so.
    if (const int stop = stop_signal(); stop != 0) {
        return exit_signal_base + stop;
    }
    // -exit_status: whether every lookup, some or none got a reply; a run of no lookups is 0.
    const run_tally& tally = monitor.tally();
    if (options.exit_status && tally.replied != tally.lookups) {
        return tally.replied == 0 ? exit_none_answered : exit_some_unanswered;
    }
    return exit_ok;
}

}  // namespace resq
