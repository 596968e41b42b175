#include "support/stop_signal.hpp"

#include <csignal>

namespace resq {

namespace {

volatile std::sig_atomic_t requested = 0;

constexpr int stop_signals[] = {SIGINT, SIGTERM};

void note_stop(int number) {
    requested = number;
}

}  // namespace

void catch_stop_signals() {
    struct sigaction action = {};
    action.sa_handler = note_stop;
    sigemptyset(&action.sa_mask);
    // The second signal finds the default action back in place and ends the process. No
    // SA_RESTART: a restarted read of an idle pipe or open of a FIFO would keep the run waiting
    // past the first signal, and the second would then end it with its report cut short.
    action.sa_flags = static_cast<int>(SA_RESETHAND);
    for (const int number : stop_signals) {
        // A signal ignored from the start (a background job of a shell) stays ignored.
        struct sigaction current = {};
        if (sigaction(number, nullptr, &current) == 0 && current.sa_handler != SIG_IGN) {
            sigaction(number, &action, nullptr);
        }
    }
}

int stop_signal() {
    return requested;
}

}  // namespace resq
