#include "net/endpoint.hpp"

#include <arpa/inet.h>
#include <netinet/in.h>

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <cstring>
#include <string>

namespace resq {

namespace {

// The storage as the address of one family; copied out, so no pointer is read as another type.
template <typename Address>
Address address_of(const sockaddr_storage& storage) {
    Address address;
    std::memcpy(&address, &storage, sizeof address);
    return address;
}

// inet_aton reads the numeric forms, but it also ignores whatever follows a blank; only letters,
// digits and dots are let through to it, so "127.0.0.1 x" is refused.
bool parse_ipv4(std::string_view text, in_addr& out) {
    const bool plain = std::ranges::all_of(text, [](char c) {
        return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
               c == '.';
    });
    return plain && !text.empty() && inet_aton(std::string(text).c_str(), &out) != 0;
}

// Decimal digits only (no sign, no blank), 1 to 65535.
bool parse_port(std::string_view text, uint16_t& out) {
    uint32_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || value == 0 ||
        value > UINT16_MAX) {
        return false;
    }
    out = static_cast<uint16_t>(value);
    return true;
}

}  // namespace

socklen_t endpoint::size() const {
    switch (family()) {
        case AF_INET:
            return sizeof(sockaddr_in);
        case AF_INET6:
            return sizeof(sockaddr_in6);
        default:
            return 0;
    }
}

bool endpoint::assign(const sockaddr* address, socklen_t size) {
    storage_ = sockaddr_storage{};
    if (address == nullptr || (address->sa_family != AF_INET && address->sa_family != AF_INET6)) {
        return false;
    }
    const sa_family_t family = address->sa_family;
    const socklen_t needed = family == AF_INET ? sizeof(sockaddr_in) : sizeof(sockaddr_in6);
    if (size < needed) {
        return false;
    }
    std::memcpy(&storage_, address, needed);
    return true;
}

bool endpoint::operator==(const endpoint& other) const {
    if (family() != other.family()) {
        return false;
    }
    if (family() == AF_INET) {
        const auto a = address_of<sockaddr_in>(storage_);
        const auto b = address_of<sockaddr_in>(other.storage_);
        return a.sin_addr.s_addr == b.sin_addr.s_addr && a.sin_port == b.sin_port;
    }
    if (family() == AF_INET6) {
        // The scope belongs to a link-local address: fe80::1 on two links is two peers.
        const auto a = address_of<sockaddr_in6>(storage_);
        const auto b = address_of<sockaddr_in6>(other.storage_);
        return std::memcmp(&a.sin6_addr, &b.sin6_addr, sizeof a.sin6_addr) == 0 &&
               a.sin6_port == b.sin6_port && a.sin6_scope_id == b.sin6_scope_id;
    }
    return true;
}

// The address in every form inet_aton reads (127.0.0.1, 127.1, 0x7f.1, 2130706433), then ":PORT"
// in decimal, 1 to 65535, or `default_port` without it. Host names, parts out of range, empty
// text and a bad port are refused.
bool parse_endpoint(std::string_view text, uint16_t default_port, endpoint& out) {
    // One colon at most: IPv6 texts, which hold several, are not read yet.
    const std::size_t colon = text.find(':');
    uint16_t port = default_port;
    if (colon != std::string_view::npos && !parse_port(text.substr(colon + 1), port)) {
        return false;
    }
    sockaddr_in address{};
    if (!parse_ipv4(text.substr(0, colon), address.sin_addr)) {
        return false;
    }
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    return out.assign(reinterpret_cast<const sockaddr*>(&address), sizeof address);
}

}  // namespace resq
