#include "support/stop_signal.hpp"

#include <gtest/gtest.h>
#include <pthread.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <thread>

namespace {

// In a child process, as the handler stays installed and the request stays noted. A read that the
// signal restarted would keep waiting on the idle pipe past the first signal.
TEST(stop_signal, cuts_short_a_read_that_waits_and_notes_the_signal) {
    EXPECT_EXIT(
        {
            ::alarm(10);
            resq::catch_stop_signals();
            int ends[2];
            if (::pipe(ends) != 0) {
                std::exit(2);
            }
            const pthread_t reading = ::pthread_self();
            std::thread signaller([reading] {
                std::this_thread::sleep_for(std::chrono::milliseconds(200));
                ::pthread_kill(reading, SIGTERM);
            });
            char byte = 0;
            const bool interrupted = ::read(ends[0], &byte, 1) == -1 && errno == EINTR;
            signaller.join();
            std::exit(interrupted && resq::stop_signal() == SIGTERM ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), "");
}

}  // namespace
