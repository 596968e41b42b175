#include "net/endpoint.hpp"

#include <arpa/inet.h>
#include <net/if.h>
#include <netinet/in.h>

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <cstring>
#include <string>

#include "support/text_forms.hpp"

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

// The interface a scope names: by name (lo), or by index in decimal when an interface has it.
uint32_t interface_index(const std::string& scope) {
    uint32_t index = 0;
    const auto [end, error] = std::from_chars(scope.data(), scope.data() + scope.size(), index);
    if (error == std::errc() && end == scope.data() + scope.size()) {
        char name[IF_NAMESIZE] = {};
        return if_indextoname(index, name) != nullptr ? index : 0;
    }
    return if_nametoindex(scope.c_str());
}

// "IPV6" as inet_pton reads it, or "IPV6%INTERFACE" for a link-local address (fe80::/10, or a
// multicast one of link scope): only there does the same address mean a peer per link.
bool parse_ipv6(std::string_view text, sockaddr_in6& out) {
    const std::size_t percent = text.find('%');
    // inet_pton ends at a NUL byte, so a text holding one is not taken for an address.
    if (text.find('\0') != std::string_view::npos ||
        inet_pton(AF_INET6, std::string(text.substr(0, percent)).c_str(), &out.sin6_addr) != 1) {
        return false;
    }
    if (percent == std::string_view::npos) {
        return true;
    }
    const uint8_t* bytes = out.sin6_addr.s6_addr;
    const bool link_local = (bytes[0] == 0xfe && (bytes[1] & 0xc0) == 0x80) ||
                            (bytes[0] == 0xff && (bytes[1] & 0x0f) == 0x02);
    out.sin6_scope_id = link_local ? interface_index(std::string(text.substr(percent + 1))) : 0;
    return out.sin6_scope_id != 0;
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

std::string endpoint::address_text() const {
    if (family() == AF_INET) {
        const auto in = address_of<sockaddr_in>(storage_);
        return ipv4_text(std::span(reinterpret_cast<const uint8_t*>(&in.sin_addr), 4));
    }
    if (family() == AF_INET6) {
        return ipv6_text(address_of<sockaddr_in6>(storage_).sin6_addr.s6_addr);
    }
    return {};
}

std::string endpoint::text(uint16_t default_port) const {
    std::string shown = address_text();
    uint16_t port = default_port;
    if (family() == AF_INET) {
        port = ntohs(address_of<sockaddr_in>(storage_).sin_port);
    } else if (family() == AF_INET6) {
        const auto in6 = address_of<sockaddr_in6>(storage_);
        if (in6.sin6_scope_id != 0) {
            char name[IF_NAMESIZE] = {};
            shown += '%';
            shown += if_indextoname(in6.sin6_scope_id, name) != nullptr
                         ? std::string(name)
                         : std::to_string(in6.sin6_scope_id);
        }
        port = ntohs(in6.sin6_port);
        // The brackets keep the port apart from the address's own colons (RFC 5952 6).
        if (port != default_port) {
            shown = '[' + shown + ']';
        }
    }
    return port == default_port ? shown : shown + ':' + std::to_string(port);
}

// "[IPV6]" with an optional ":PORT"; a text of one colon at most is "IPV4[:PORT]", the IPv4 address
// in every form inet_aton reads (127.0.0.1, 127.1, 0x7f.1, 2130706433); one with more colons is a
// bare IPv6 address. The port is decimal, 1 to 65535, else `default_port`. Host names, parts out
// of range, empty text and a bad port are refused.
bool parse_endpoint(std::string_view text, uint16_t default_port, endpoint& out) {
    uint16_t port = default_port;
    std::string_view host = text;
    if (text.starts_with('[')) {
        const std::size_t close = text.find(']');
        const std::string_view rest =
            close == std::string_view::npos ? "?" : text.substr(close + 1);
        if (!rest.empty() && !(rest.starts_with(':') && parse_port(rest.substr(1), port))) {
            return false;
        }
        host = text.substr(1, close - 1);
    } else if (const std::size_t colon = text.find(':'); colon == text.rfind(':')) {
        sockaddr_in address{};
        if ((colon != std::string_view::npos && !parse_port(text.substr(colon + 1), port)) ||
            !parse_ipv4(text.substr(0, colon), address.sin_addr)) {
            return false;
        }
        address.sin_family = AF_INET;
        address.sin_port = htons(port);
        return out.assign(reinterpret_cast<const sockaddr*>(&address), sizeof address);
    }
    sockaddr_in6 address{};
    if (!parse_ipv6(host, address)) {
        return false;
    }
    address.sin6_family = AF_INET6;
    address.sin6_port = htons(port);
    return out.assign(reinterpret_cast<const sockaddr*>(&address), sizeof address);
}

std::string display_text(std::string_view typed, const endpoint& peer, uint16_t default_port) {
    if (peer.family() == AF_INET && typed.find(':') == std::string_view::npos) {
        return std::string(typed);
    }
    return peer.text(default_port);
}

}  // namespace resq
