#include "app/query_run.hpp"

#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <limits>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "app/batch.hpp"
#include "dns/exchange.hpp"
#include "dns/query_builder.hpp"
#include "report/kx_hex_view.hpp"
#include "report/report_exchange.hpp"
#include "report/xml_writer.hpp"
#include "support/args.hpp"
#include "support/kx_portable_dir.hpp"
#include "support/kx_string.hpp"
#include "support/kx_time.hpp"

namespace resq {

namespace {

/// Longest message print_error writes.
constexpr int error_message_limit = 4096;

bool wants_help(args& list) {
    bool help = false;
    for (const char* option : {"-h", "-help", "/?", "--help"}) {
        help = has_option(option, list) || help;
    }
    return help || list.size() == 1;
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
std::string make_header_text(const args& list) {
    std::string header(banner);
    header += "\nrun started: " + start_time_text(list) + " on host: " + host_name() + '\n';
    header += "cmdline: " + command_line_text(list) + '\n';
    return header;
}

// The header as the body of an XML comment: escaped like every other XML text, and without the
// "--" that a comment may not hold.
std::string xml_comment_text(const std::string& header) {
    std::ostringstream escaped;
    write_xml_escaped(escaped, header);
    std::string text = escaped.str();
    for (std::size_t at = text.find("--"); at != std::string::npos; at = text.find("--", at)) {
        text.replace(at + 1, 1, "\\045");
    }
    return text;
}

// The header block, and in XML mode the document start with the header kept as a comment after the
// declaration, so that the document stays well-formed.
void write_report_start(std::ostream& out, const std::string& header, const std::string& program,
                        const input_params& options) {
    if (!options.xml_output) {
        out << header << '\n' << std::flush;
        return;
    }
    out << "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<!--\n"
        << xml_comment_text(header) << "-->\n\n<logdata tool=\"";
    write_xml_escaped(out, banner);
    out << "\" cmdline=\"";
    write_xml_escaped(out, program);
    out << "\">\n" << std::flush;
}

// exchange waits whole seconds: a fraction is rounded up, so no reply gets less time than asked.
int32_t exchange_timeout(std::chrono::milliseconds timeout) {
    const int64_t seconds = std::chrono::ceil<std::chrono::seconds>(timeout).count();
    return static_cast<int32_t>(std::min<int64_t>(seconds, std::numeric_limits<int32_t>::max()));
}

// sleep_for resumes after a signal, so the delay is served in full.
void sleep_in_full(std::chrono::milliseconds delay) {
    std::this_thread::sleep_for(delay);
}

// Standard input may be a non-blocking descriptor with nothing in it yet: wait until it has data
// or its writer is gone.
bool wait_for_standard_input() {
    pollfd input{STDIN_FILENO, POLLIN, 0};
    int ready = 0;
    do {
        ready = ::poll(&input, 1, -1);
    } while (ready < 0 && errno == EINTR);
    return ready > 0;
}

}  // namespace

run_hooks system_hooks() {
    return run_hooks{sleep_in_full, wait_for_standard_input};
}

bool run_query(std::ostream& out, dns_exchange& attempt, dns_record& query, input_params& options,
               const run_hooks& hooks) {
    // Counted in 64 bits so that the largest -retry value cannot overflow the attempt count.
    const int64_t attempts = static_cast<int64_t>(options.retries) + 1;
    bool success = false;
    for (int64_t count = 0; count < attempts && !success; ++count) {
        success = exchange(attempt, query, options.server, exchange_timeout(options.timeout),
                           options.ipv6);
        report_exchange(out, attempt, query, options);
        options.header_pending = false;
        if (options.verbose && !options.xml_output) {
            write_verbose_block(out, attempt);
        }
        if (!success && options.delay > std::chrono::milliseconds::zero()) {
            hooks.sleep(options.delay);
        }
    }
    return true;
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
    if (wants_help(list)) {
        print_usage(std::cerr);
        return exit_ok;
    }
    const std::string program = list.front();
    const std::string header = make_header_text(list);
    if (!options.parse_options(list)) {
        std::cout << header << '\n' << std::flush;
        return exit_failure;
    }

    // Whatever can still stop the run is decided before the results file is opened, so a run that
    // fails never empties an earlier report; its header goes to standard output instead.
    const bool batch = options.batch_input || options.enumdir_set;
    dns_record query;
    dns_exchange attempt;
    if (!batch && options.query_name.empty()) {
        std::cout << header << '\n' << std::flush;
        print_usage(std::cerr);
        return exit_failure;
    }
    if (!batch && !build_query(query, options.query_name, options.query_type)) {
        std::cout << header << '\n' << std::flush;
        print_error("prob building dns packet... aborting\n");
        return exit_failure;
    }
    if (options.enumdir_set && !kxportdir::readable_directory(options.enumdir_path)) {
        std::cout << header << '\n' << std::flush;
        print_error("prob opening directory: %s\n", options.enumdir_path.c_str());
        return exit_failure;
    }

    std::ofstream results;
    if (!options.out_path.empty()) {
        results.open(options.out_path,
                     std::ios::out | (options.append_output ? std::ios::app : std::ios::trunc));
        if (!results) {
            print_error("prob opening results file: %s for writing\n", options.out_path.c_str());
            return exit_failure;
        }
    }
    std::ostream& out = options.out_path.empty() ? std::cout : results;
    write_report_start(out, header, program, options);

    // A batch that stopped early still closes its report; its rows so far are kept.
    bool completed = true;
    if (batch) {
        completed = run_batch(out, attempt, query, options, input, hooks);
    } else {
        options.header_pending = true;
        run_query(out, attempt, query, options, hooks);
    }
    if (options.xml_output) {
        out << "</logdata>\n";
    }
    out.flush();
    if (!out) {
        print_error("prob writing results to %s\n",
                    options.out_path.empty() ? "standard output" : options.out_path.c_str());
        return exit_failure;
    }
    return completed ? exit_ok : exit_failure;
}

}  // namespace resq
