// The address and port of a peer of a socket, and the reading of the address texts users type.
#pragma once

#include <sys/socket.h>

#include <cstdint>
#include <string>
#include <string_view>

namespace resq {

/// A peer's family (AF_INET or AF_INET6), address and port; by default none (AF_UNSPEC).
struct endpoint {
    /// AF_INET or AF_INET6; AF_UNSPEC when the endpoint holds none.
    int family() const { return storage_.ss_family; }
    /// The socket address, for the system calls.
    const sockaddr* address() const { return reinterpret_cast<const sockaddr*>(&storage_); }
    /// The size of the socket address of this family; 0 when the endpoint holds none.
    socklen_t size() const;
    /// Takes over a socket address the system gave; false, holding none, for another family.
    bool assign(const sockaddr* address, socklen_t size);
    /// Equal in family, address and port; two endpoints that hold none are equal.
    bool operator==(const endpoint& other) const;
    /// Canonical text: "192.0.2.53", "2001:db8::53" (RFC 5952), then ":PORT" ("[IPV6]:PORT")
    /// when the port is not `default_port`; empty when the endpoint holds none.
    std::string text(uint16_t default_port) const;
    /// The address alone ("192.0.2.53", "2001:db8::53"), without scope or port; empty when the
    /// endpoint holds none.
    std::string address_text() const;

  private:
    sockaddr_storage storage_{};
};

/// Reads "IPV4[:PORT]" (any inet_aton form: 127.1, 0x7f.1), "IPV6" or "[IPV6]:PORT" (a link-local
/// one may name its interface: fe80::1%lo); false, `out` kept, for any other text.
bool parse_endpoint(std::string_view text, uint16_t default_port, endpoint& out);

/// How a report shows the endpoint `typed` was read as: an IPv4 address typed without a port as
/// typed, since stored reports hold it so; any other form as its canonical text.
std::string display_text(std::string_view typed, const endpoint& peer, uint16_t default_port);

}  // namespace resq
