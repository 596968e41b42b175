// The UDP socket against a plain peer socket on 127.0.0.1 (ephemeral ports, loopback only).
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

using std::chrono::duration;
using std::chrono::steady_clock;

constexpr uint32_t loopback = 0x7f000001;  // 127.0.0.1, host order

// A bound UDP socket on 127.0.0.1 that plays the far end.
struct peer {
    int fd = ::socket(AF_INET, SOCK_DGRAM, 0);
    uint16_t port = 0;

    peer() {
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(loopback);
        ::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
        socklen_t len = sizeof addr;
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len);
        port = ntohs(addr.sin_port);
    }
    ~peer() { ::close(fd); }

    // Receives one datagram and sends `reply` back to its sender.
    std::vector<uint8_t> answer(const std::vector<uint8_t>& reply) const {
        std::vector<uint8_t> got(70000);
        sockaddr_in from{};
        socklen_t len = sizeof from;
        const ssize_t n =
            ::recvfrom(fd, got.data(), got.size(), 0, reinterpret_cast<sockaddr*>(&from), &len);
        got.resize(n < 0 ? 0 : static_cast<std::size_t>(n));
        ::sendto(fd, reply.data(), reply.size(), 0, reinterpret_cast<sockaddr*>(&from), len);
        return got;
    }
};

double seconds_since(steady_clock::time_point start) {
    return duration<double>(steady_clock::now() - start).count();
}

bool descriptor_open(int fd) {
    return ::fcntl(fd, F_GETFD) != -1;
}

// Each test runs in a process of its own, so this construction is the process's first.
TEST(net_socket, starts_closed_and_leaves_sigpipe_ignored) {
    const net_socket socket;
    EXPECT_EQ(socket.descriptor(), -1);
    EXPECT_EQ(socket.socket_type(), 3);
    EXPECT_EQ(socket.address_family(), 0);
    struct sigaction current {};
    sigaction(SIGPIPE, nullptr, &current);
    EXPECT_EQ(current.sa_handler, SIG_IGN);
}

TEST(net_socket, create_maps_kind_one_to_a_udp_socket_and_refuses_unknown_kinds) {
    net_socket socket;
    EXPECT_FALSE(socket.create(3, AF_INET));
    EXPECT_EQ(socket.descriptor(), -1);
    EXPECT_EQ(socket.socket_type(), 3);  // an unknown kind keeps the old type
    ASSERT_TRUE(socket.create(1, AF_INET));
    EXPECT_EQ(socket.socket_type(), SOCK_DGRAM);
    EXPECT_EQ(socket.address_family(), AF_INET);
    EXPECT_NE(socket.descriptor(), -1);
}

TEST(net_socket, refuses_to_send_or_receive_without_data_buffer_or_socket) {
    net_socket closed;
    uint8_t byte = 1;
    uint32_t address = 0;
    uint32_t port = 0;
    EXPECT_FALSE(closed.send_to(&byte, 1, htonl(loopback), 53));
    EXPECT_EQ(closed.recv_from(&byte, 1, address, port, 5, true), 0u);
    EXPECT_FALSE(closed.wait_readable(steady_clock::now() + std::chrono::seconds(5)));

    net_socket open;
    ASSERT_TRUE(open.create(1, AF_INET));
    EXPECT_FALSE(open.send_to(nullptr, 1, htonl(loopback), 53));
    EXPECT_FALSE(open.send_to(&byte, 0, htonl(loopback), 53));
    const auto start = steady_clock::now();
    EXPECT_EQ(open.recv_from(nullptr, 1, address, port, 5, true), 0u);
    EXPECT_EQ(open.recv_from(&byte, 0, address, port, 5, true), 0u);
    EXPECT_LT(seconds_since(start), 0.5);  // refused at once, no wait
}

TEST(net_socket, carries_a_datagram_both_ways_and_reports_the_sender) {
    const peer far_end;
    net_socket socket;
    ASSERT_TRUE(socket.create(1, AF_INET));
    const std::vector<uint8_t> query{0x2a, 0x00, 0x01};
    ASSERT_TRUE(socket.send_to(query.data(), query.size(), htonl(loopback), far_end.port));
    EXPECT_EQ(far_end.answer({0x2a, 0x00, 0x81, 0x80}), query);

    std::vector<uint8_t> buffer(16);
    uint32_t address = 0;
    uint32_t port = 0;
    ASSERT_EQ(socket.recv_from(buffer.data(), buffer.size(), address, port, 1, true), 4u);
    EXPECT_EQ(buffer[2], 0x81);
    EXPECT_EQ(address, loopback);
    EXPECT_EQ(port, far_end.port);

    // Without the host-order flag the sender comes back in network order. The largest UDP
    // datagram (65535 less the IPv4 and UDP headers) arrives whole.
    ASSERT_TRUE(socket.send_to(query.data(), query.size(), htonl(loopback), far_end.port));
    far_end.answer(std::vector<uint8_t>(65507, 0x5a));
    buffer.resize(65536);
    ASSERT_EQ(socket.recv_from(buffer.data(), buffer.size(), address, port, 1, false), 65507u);
    EXPECT_EQ(address, htonl(loopback));
    EXPECT_EQ(port, htons(far_end.port));
}

TEST(net_socket, time_out_of_zero_or_below_reads_only_what_already_waits) {
    net_socket socket;
    ASSERT_TRUE(socket.create(1, AF_INET));
    uint8_t buffer[8];
    uint32_t address = 0;
    uint32_t port = 0;
    const auto start = steady_clock::now();
    EXPECT_EQ(socket.recv_from(buffer, sizeof buffer, address, port, 0, true), 0u);
    EXPECT_EQ(socket.recv_from(buffer, sizeof buffer, address, port, -5, true), 0u);
    EXPECT_LT(seconds_since(start), 0.5);

    const peer far_end;
    ASSERT_TRUE(socket.send_to(buffer, 1, htonl(loopback), far_end.port));
    far_end.answer({7, 7});
    ASSERT_TRUE(socket.wait_readable(steady_clock::now() + std::chrono::seconds(1)));
    EXPECT_EQ(socket.recv_from(buffer, sizeof buffer, address, port, 0, true), 2u);
}

void ignore_signal(int) {}

TEST(net_socket, waits_the_whole_time_out_through_signals) {
    struct sigaction action {};
    action.sa_handler = ignore_signal;  // no SA_RESTART: the wait sees EINTR
    sigemptyset(&action.sa_mask);
    struct sigaction previous {};
    sigaction(SIGUSR1, &action, &previous);

    net_socket socket;
    ASSERT_TRUE(socket.create(1, AF_INET));
    const pthread_t waiter = pthread_self();
    std::thread interrupter([waiter] {
        for (int i = 0; i < 3; ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(200));
            pthread_kill(waiter, SIGUSR1);
        }
    });
    uint8_t buffer[8];
    uint32_t address = 0;
    uint32_t port = 0;
    const auto start = steady_clock::now();
    const std::size_t got = socket.recv_from(buffer, sizeof buffer, address, port, 1, true);
    const double waited = seconds_since(start);
    interrupter.join();
    sigaction(SIGUSR1, &previous, nullptr);
    EXPECT_EQ(got, 0u);
    EXPECT_GE(waited, 0.9);
    EXPECT_LT(waited, 3.0);
}

TEST(net_socket, end_after_close_leaves_a_reused_descriptor_alone) {
    net_socket socket;
    ASSERT_TRUE(socket.create(1, AF_INET));
    const int old_fd = socket.descriptor();
    EXPECT_TRUE(socket.close());
    EXPECT_EQ(socket.descriptor(), -1);
    EXPECT_TRUE(socket.close());
    // The system hands out the lowest free number, so this takes the old one over.
    const int reused = ::socket(AF_INET, SOCK_DGRAM, 0);
    ASSERT_EQ(reused, old_fd);
    socket.end();
    EXPECT_TRUE(descriptor_open(reused));
    ::close(reused);
}

TEST(net_socket, moving_hands_the_descriptor_over_and_destruction_closes_it) {
    int fd = -1;
    {
        net_socket first;
        ASSERT_TRUE(first.create(1, AF_INET));
        fd = first.descriptor();
        net_socket second(std::move(first));
        EXPECT_EQ(first.descriptor(), -1);
        EXPECT_EQ(second.descriptor(), fd);
        net_socket third;
        ASSERT_TRUE(third.create(1, AF_INET));
        const int replaced = third.descriptor();
        third = std::move(second);
        EXPECT_FALSE(descriptor_open(replaced));
        EXPECT_EQ(third.descriptor(), fd);
        EXPECT_TRUE(descriptor_open(fd));
    }
    EXPECT_FALSE(descriptor_open(fd));
}

}  // namespace
}  // namespace resq
