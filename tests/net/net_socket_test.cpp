// The UDP socket, bound to an ephemeral port of 127.0.0.1 and connected to itself (loopback
// only).
#include "net/net_socket.hpp"

#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <optional>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

namespace resq {
namespace {

using namespace std::chrono_literals;
using std::chrono::steady_clock;
using bytes = std::vector<uint8_t>;

// The socket under test, bound to 127.0.0.1 and connected to itself, so that it is its own far
// end.
class net_socket_on_loopback : public ::testing::Test {
  protected:
    void SetUp() override {
        sockaddr_storage bound{};
        socklen_t bound_size = sizeof bound;
        ASSERT_TRUE(parse_endpoint("127.0.0.1", 0, own) && socket.create(transport::udp, own));
        ASSERT_EQ(::bind(socket.descriptor(), own.address(), own.size()), 0);
        ::getsockname(socket.descriptor(), reinterpret_cast<sockaddr*>(&bound), &bound_size);
        ASSERT_TRUE(own.assign(reinterpret_cast<sockaddr*>(&bound), bound_size));
        bool in_progress = true;
        ASSERT_TRUE(socket.connect_to(own, in_progress));
        EXPECT_FALSE(in_progress);
    }

    // Waits until `wait` from now and reads; false, and `waited` seconds, when nothing came.
    bool receive(steady_clock::duration wait) {
        const auto start = steady_clock::now();
        const bool got =
            socket.wait_ready(POLLIN, start + wait) && socket.receive_some(buffer, size);
        waited = std::chrono::duration<double>(steady_clock::now() - start).count();
        return got;
    }

    net_socket socket;
    endpoint own;
    bytes buffer = bytes(65536);
    std::size_t size = 0;
    double waited = 0;
};

TEST_F(net_socket_on_loopback, ignores_sigpipe_and_refuses_at_once_what_it_cannot_carry) {
    EXPECT_EQ(std::signal(SIGPIPE, SIG_IGN), SIG_IGN);  // set by the first socket of the process
    net_socket closed;
    std::size_t sent = 0;
    bool in_progress = false;
    EXPECT_FALSE(closed.create(transport::udp, endpoint{}));  // no address family
    EXPECT_FALSE(closed.send_some(buffer, sent) || socket.send_some({}, sent));
    EXPECT_FALSE(closed.connect_to(own, in_progress));
    const auto deadline = steady_clock::now() + 5s;  // none of these waits
    EXPECT_FALSE(closed.wait_ready(POLLIN, deadline) || socket.receive_some({}, size));
    EXPECT_FALSE(closed.receive_some(buffer, size));
    EXPECT_FALSE(socket.receive_some(buffer, size));  // nothing waits: EAGAIN at once
    EXPECT_EQ(errno, EAGAIN);
    EXPECT_GT(deadline - steady_clock::now(), 4500ms);
    EXPECT_EQ(sent, 0u);
    EXPECT_TRUE(closed.create(transport::tcp, own));
}

TEST_F(net_socket_on_loopback, carries_whole_datagrams_and_waits_through_signals_to_the_deadline) {
    // The largest UDP datagram over IPv4: 65535 less the IPv4 and UDP headers.
    for (const std::size_t length : {std::size_t{3}, std::size_t{65507}}) {
        const bytes sent(length, static_cast<uint8_t>(length));
        std::size_t count = 0;
        ASSERT_TRUE(socket.send_some(sent, count) && count == length);
        ASSERT_TRUE(receive(1s));
        EXPECT_EQ(bytes(buffer.begin(), buffer.begin() + static_cast<std::ptrdiff_t>(size)), sent);
    }
    EXPECT_FALSE(receive(-5s));
    EXPECT_LT(waited, 0.5);  // a deadline already past: no wait at all
    struct sigaction action = {}, previous = {};
    action.sa_handler = [](int) {};  // no SA_RESTART: the wait sees EINTR
    sigaction(SIGUSR1, &action, &previous);
    std::thread interrupter([waiter = pthread_self()] {
        for (int i = 0; i < 3; ++i) {
            std::this_thread::sleep_for(200ms);
            pthread_kill(waiter, SIGUSR1);
        }
    });
    EXPECT_FALSE(receive(1s));
    interrupter.join();
    sigaction(SIGUSR1, &previous, nullptr);
    EXPECT_TRUE(waited >= 0.9 && waited < 3.0) << waited;
}

TEST_F(net_socket_on_loopback, closes_the_descriptor_once_on_close_or_destruction) {
    std::optional<net_socket> other(std::in_place);
    ASSERT_TRUE(other->create(transport::udp, own));
    int fd = other->descriptor();
    other.reset();
    EXPECT_EQ(::fcntl(fd, F_GETFD), -1);
    fd = socket.descriptor();
    EXPECT_TRUE(socket.close() && socket.close());
    // The system hands out the lowest free number, so this takes the closed one over.
    const int reused = ::socket(AF_INET, SOCK_DGRAM, 0);
    ASSERT_EQ(reused, fd);
    socket.end();
    EXPECT_NE(::fcntl(reused, F_GETFD), -1);
    ::close(reused);
}

}  // namespace
}  // namespace resq
