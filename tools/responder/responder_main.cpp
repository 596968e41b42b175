// resq_responder: the scripted loopback DNS responder as a program, for end-to-end tests and the
// README demo, and as a latency relay for concurrency tests and benchmarks (the relay options;
// see relay_settings in responder.hpp). Prints "ready" once listening; serves until SIGTERM/SIGINT
// or --count queries.
#include <atomic>
#include <charconv>
#include <chrono>
#include <csignal>
#include <cstdint>
#include <iostream>
#include <string>
#include <string_view>

#include <sys/resource.h>

#include "tools/responder/responder.hpp"

namespace {

// Set from the signal handler; lock-free, so the handler may store to it.
std::atomic<bool> stop_requested{false};

void request_stop(int) {
    stop_requested = true;
}

template <typename Number>
bool parse_number(std::string_view text, Number& out) {
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), out);
    return error == std::errc() && end == text.data() + text.size();
}

int usage() {
    std::cerr
        << "usage: resq_responder --address IPV4 [--address6 IPV6] [--port PORT] [--count N]\n"
           "         [--delay-ms MS] [--synthetic ZONE] [--drop PCT] [--drop-all PCT]\n"
           "         [--late PCT] [--late-ms MS] [--twice PCT]\n"
           "  --delay-ms MS    send every reply MS milliseconds after its query came\n"
           "  --synthetic ZONE answer any name under ZONE that no fixture or behaviour zone\n"
           "                   takes: A 10.x.y.z, AAAA fd00::/64 from a hash of the name,\n"
           "                   TTL 300; other types NODATA\n"
           "  Shares of the synthetic names, in percent (fractions allowed, 100 at most in all),\n"
           "  chosen by the slot FNV-1a-64(lower-case name with final dot) % 10000 in consecutive\n"
           "  ranges in this order, each percent * 100 slots wide:\n"
           "  --drop PCT       first query ignored, later ones answered\n"
           "  --drop-all PCT   never answered\n"
           "  --late PCT       first query answered after --late-ms MS (default 1500)\n"
           "  --twice PCT      every reply sent twice\n";
    return 2;
}

// Milliseconds, as a whole number.
bool parse_milliseconds(std::string_view text, std::chrono::milliseconds& out) {
    unsigned value = 0;
    if (!parse_number(text, value)) {
        return false;
    }
    out = std::chrono::milliseconds(value);
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    std::string address;
    std::string address6;  // also listened on when given
    uint16_t port = 53;
    uint64_t count = 0;
    resq::test_tools::relay_settings relay;
    for (int i = 1; i < argc; ++i) {
        const std::string_view option = argv[i];
        if (i + 1 >= argc) {
            return usage();
        }
        const std::string_view value = argv[++i];
        if (option == "--address") {
            address = value;
        } else if (option == "--address6") {
            address6 = value;
        } else if (option == "--port") {
            if (!parse_number(value, port)) {
                return usage();
            }
        } else if (option == "--count") {
            if (!parse_number(value, count)) {
                return usage();
            }
        } else if (option == "--delay-ms") {
            if (!parse_milliseconds(value, relay.delay)) {
                return usage();
            }
        } else if (option == "--late-ms") {
            if (!parse_milliseconds(value, relay.late_delay)) {
                return usage();
            }
        } else if (option == "--synthetic") {
            relay.synthetic_zone = value;
        } else if (option == "--drop" || option == "--drop-all" || option == "--late" ||
                   option == "--twice") {
            double& share = option == "--drop"       ? relay.drop_percent
                            : option == "--drop-all" ? relay.drop_all_percent
                            : option == "--late"     ? relay.late_percent
                                                     : relay.twice_percent;
            if (!parse_number(value, share)) {
                return usage();
            }
        } else {
            return usage();
        }
    }
    if (address.empty() || !relay.valid()) {
        return usage();
    }

    struct sigaction action {};
    action.sa_handler = request_stop;
    sigemptyset(&action.sa_mask);
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGINT, &action, nullptr);

    // Thousands of clients may hold a connection open at once (tcp-stall.test.): as many
    // descriptors as the hard limit allows.
    rlimit files{};
    if (getrlimit(RLIMIT_NOFILE, &files) == 0 && files.rlim_cur < files.rlim_max) {
        files.rlim_cur = files.rlim_max;
        setrlimit(RLIMIT_NOFILE, &files);
    }

    resq::test_tools::responder responder;
    responder.set_relay(relay);
    if (!responder.open(address, port) || (!address6.empty() && !responder.open_ipv6(address6))) {
        std::cerr << "resq_responder: " << responder.error() << '\n';
        return 1;
    }
    std::cout << "ready" << std::endl;
    responder.serve(stop_requested, count);
    return 0;
}
