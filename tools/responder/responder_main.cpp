// resq_responder: the scripted loopback DNS responder as a program, for end-to-end tests and the
// README demo. Prints "ready" once listening; serves until SIGTERM/SIGINT or --count queries.
#include <atomic>
#include <charconv>
#include <csignal>
#include <cstdint>
#include <iostream>
#include <string>
#include <string_view>

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
        << "usage: resq_responder --address IPV4 [--address6 IPV6] [--port PORT] [--count N]\n";
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    std::string address;
    std::string address6;  // also listened on when given
    uint16_t port = 53;
    uint64_t count = 0;
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
        } else {
            return usage();
        }
    }
    if (address.empty()) {
        return usage();
    }

    struct sigaction action {};
    action.sa_handler = request_stop;
    sigemptyset(&action.sa_mask);
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGINT, &action, nullptr);

    resq::test_tools::responder responder;
    if (!responder.open(address, port) || (!address6.empty() && !responder.open_ipv6(address6))) {
        std::cerr << "resq_responder: " << responder.error() << '\n';
        return 1;
    }
    std::cout << "ready" << std::endl;
    responder.serve(stop_requested, count);
    return 0;
}
