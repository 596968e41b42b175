#include "support/stop_signal.hpp"

#include <csignal>

namespace resq {

namespace {

volatile std::sig_atomic_t requested = 0;

void note_stop(int number) {
    requested = number;
}

}  // namespace

void catch_stop_signals() {
    struct sigaction action = {};
    action.sa_handler = note_stop;
    sigemptyset(&action.sa_mask);
    // The second signal finds the default action back in place and ends the process.
    action.sa_flags = static_cast<int>(SA_RESTART | SA_RESETHAND);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}

int stop_signal() {
    return requested;
}

void clear_stop_signal() {
    requested = 0;
}

}  // namespace resq
