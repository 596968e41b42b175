// The UDP socket, bound to an ephemeral port of 127.0.0.1 and sending to itself (loopback only).
#include "net/net_socket.hpp"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <pthread.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <thread>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

namespace resq {
namespace {

using std::chrono::steady_clock;
using bytes = std::vector<uint8_t>;

constexpr uint32_t loopback = 0x7f000001;  // 127.0.0.1, host order

bool descriptor_open(int fd) {
    return ::fcntl(fd, F_GETFD) != -1;
}

// The socket under test, bound to 127.0.0.1 so that it can be its own far end.
class net_socket_on_loopback : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(socket.create(1, AF_INET));
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(loopback);
        socklen_t len = sizeof addr;
        ASSERT_EQ(::bind(socket.descriptor(), reinterpret_cast<sockaddr*>(&addr), len), 0);
        ::getsockname(socket.descriptor(), reinterpret_cast<sockaddr*>(&addr), &len);
        own_port = ntohs(addr.sin_port);
    }

    // Receives into `buffer` with the given time-out, timing the call.
    std::size_t receive(int32_t timeout_secs, bool host_order = true) {
        const auto start = steady_clock::now();
        const std::size_t size =
            socket.recv_from(buffer.data(), buffer.size(), address, port, timeout_secs, host_order);
        waited = std::chrono::duration<double>(steady_clock::now() - start).count();
        return size;
    }

    net_socket socket;
    uint16_t own_port = 0;
    bytes buffer = bytes(65536);
    uint32_t address = 0;
    uint32_t port = 0;
    double waited = 0;
};

TEST_F(net_socket_on_loopback, ignores_sigpipe_and_refuses_unknown_kinds_and_empty_transfers) {
    struct sigaction current {};
    sigaction(SIGPIPE, nullptr, &current);
    EXPECT_EQ(current.sa_handler, SIG_IGN);  // set by the first socket of the process
    net_socket closed;
    EXPECT_FALSE(closed.create(3, AF_INET));
    EXPECT_EQ(closed.descriptor(), -1);
    EXPECT_FALSE(closed.send_to(buffer.data(), 1, htonl(loopback), own_port));
    EXPECT_FALSE(socket.send_to(nullptr, 1, htonl(loopback), own_port));
    EXPECT_FALSE(socket.send_to(buffer.data(), 0, htonl(loopback), own_port));
    const auto start = steady_clock::now();  // none of these may wait
    EXPECT_FALSE(closed.wait_readable(start + std::chrono::seconds(5)));
    EXPECT_EQ(closed.recv_from(buffer.data(), 1, address, port, 5, true), 0u);
    EXPECT_EQ(socket.recv_from(nullptr, 1, address, port, 5, true), 0u);
    EXPECT_EQ(socket.recv_from(buffer.data(), 0, address, port, 5, true), 0u);
    EXPECT_LT(std::chrono::duration<double>(steady_clock::now() - start).count(), 0.5);
}

TEST_F(net_socket_on_loopback, carries_datagrams_up_to_the_largest_whole_and_reports_the_sender) {
    // The largest UDP datagram over IPv4: 65535 less the IPv4 and UDP headers.
    for (const std::size_t size : {std::size_t{3}, std::size_t{65507}}) {
        const bool host_order = size == 3;  // else the sender comes back in network order
        const bytes sent(size, static_cast<uint8_t>(size));
        ASSERT_TRUE(socket.send_to(sent.data(), size, htonl(loopback), own_port));
        ASSERT_EQ(receive(1, host_order), size);
        EXPECT_EQ(bytes(buffer.begin(), buffer.begin() + static_cast<std::ptrdiff_t>(size)), sent);
        EXPECT_EQ(address, host_order ? loopback : htonl(loopback));
        EXPECT_EQ(port, host_order ? own_port : htons(own_port));
    }
}

TEST_F(net_socket_on_loopback,
       waits_not_at_all_below_one_second_and_the_whole_time_out_through_signals) {
    for (const int32_t timeout_secs : {0, -5}) {
        EXPECT_EQ(receive(timeout_secs), 0u);
        EXPECT_LT(waited, 0.5);
    }
    ASSERT_TRUE(socket.send_to(buffer.data(), 2, htonl(loopback), own_port));
    ASSERT_TRUE(socket.wait_readable(steady_clock::now() + std::chrono::seconds(1)));
    EXPECT_EQ(receive(0), 2u);  // what already waits is read

    struct sigaction action {};
    struct sigaction previous {};
    action.sa_handler = [](int) {};  // no SA_RESTART: the wait sees EINTR
    sigaction(SIGUSR1, &action, &previous);
    std::thread interrupter([waiter = pthread_self()] {
        for (int i = 0; i < 3; ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(200));
            pthread_kill(waiter, SIGUSR1);
        }
    });
    EXPECT_EQ(receive(1), 0u);
    interrupter.join();
    sigaction(SIGUSR1, &previous, nullptr);
    EXPECT_GE(waited, 0.9);
    EXPECT_LT(waited, 3.0);
}

TEST_F(net_socket_on_loopback, hands_the_descriptor_over_on_moves_and_closes_it_once) {
    const int fd = socket.descriptor();
    {
        net_socket second(std::move(socket));
        EXPECT_EQ(socket.descriptor(), -1);
        net_socket third;
        ASSERT_TRUE(third.create(1, AF_INET));
        const int replaced = third.descriptor();
        third = std::move(second);
        EXPECT_FALSE(descriptor_open(replaced));
        EXPECT_EQ(third.descriptor(), fd);
    }
    EXPECT_FALSE(descriptor_open(fd));  // closed on destruction
    ASSERT_TRUE(socket.create(1, AF_INET));
    const int old_fd = socket.descriptor();
    EXPECT_TRUE(socket.close());
    EXPECT_TRUE(socket.close());
    // The system hands out the lowest free number, so this takes the closed one over.
    const int reused = ::socket(AF_INET, SOCK_DGRAM, 0);
    ASSERT_EQ(reused, old_fd);
    socket.end();
    EXPECT_TRUE(descriptor_open(reused));
    ::close(reused);
}

}  // namespace
}  // namespace resq
