// The UDP socket, bound to an ephemeral port of 127.0.0.1 and connected to itself (loopback
// only).
#include "net/net_socket.hpp"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <optional>
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

    // Waits up to a second for a datagram and reads it with its arrival stamp.
    bool receive() {
        pollfd ready{socket.descriptor(), POLLIN, 0};
        return ::poll(&ready, 1, 1000) == 1 && socket.receive_stamped(buffer, size, arrived_ns);
    }

    net_socket socket;
    endpoint own;
    bytes buffer = bytes(65536);
    std::size_t size = 0;
    uint64_t arrived_ns = 0;
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
    EXPECT_FALSE(closed.receive_stamped(buffer, size, arrived_ns) || socket.receive_some({}, size));
    EXPECT_FALSE(closed.receive_some(buffer, size));
    EXPECT_FALSE(socket.receive_some(buffer, size));  // nothing waits: EAGAIN at once
    EXPECT_EQ(errno, EAGAIN);
    EXPECT_GT(deadline - steady_clock::now(), 4500ms);
    EXPECT_EQ(sent, 0u);
    EXPECT_TRUE(closed.create(transport::tcp, own));
}

// Each datagram whole, with the moment the kernel took it in on the wall clock: between the send
// and the read.
TEST_F(net_socket_on_loopback, carries_whole_datagrams_stamped_with_their_arrival) {
    // The largest UDP datagram over IPv4: 65535 less the IPv4 and UDP headers.
    for (const std::size_t length : {std::size_t{3}, std::size_t{65507}}) {
        const bytes sent(length, static_cast<uint8_t>(length));
        std::size_t count = 0;
        const auto before = std::chrono::system_clock::now().time_since_epoch();
        ASSERT_TRUE(socket.send_some(sent, count) && count == length);
        ASSERT_TRUE(receive());
        const auto after = std::chrono::system_clock::now().time_since_epoch();
        EXPECT_EQ(bytes(buffer.begin(), buffer.begin() + static_cast<std::ptrdiff_t>(size)), sent);
        const std::chrono::nanoseconds arrived(arrived_ns);
        EXPECT_TRUE(arrived >= before && arrived <= after);
    }
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
