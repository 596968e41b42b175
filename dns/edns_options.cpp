#include "dns/edns_options.hpp"

#include <arpa/inet.h>
#include <sys/socket.h>

#include <array>
#include <utility>

#include "dns/wire_reader.hpp"

namespace resq {

namespace {

// RFC 7873 4: a client cookie is 8 bytes; a server cookie 8 to 32.
constexpr std::size_t client_cookie_size = 8;
constexpr std::size_t min_server_cookie = 8;
constexpr std::size_t max_server_cookie = 32;

edns_option_value decode_client_subnet(const std::vector<uint8_t>& data) {
    wire_reader wire(data);
    client_subnet_value value;
    value.family = wire.u16();
    value.source_prefix = wire.u8();
    value.scope_prefix = wire.u8();
    const std::size_t full = value.family == 1 ? 4 : value.family == 2 ? 16 : 0;
    // RFC 7871 6: the address holds just the bytes the source prefix covers.
    const std::size_t used = (std::size_t{value.source_prefix} + 7) / 8;
    if (wire.failed() || full == 0 || value.source_prefix > full * 8 ||
        value.scope_prefix > full * 8 || wire.remaining() != used) {
        return std::monostate{};
    }
    wire.copy(value.address, used);
    value.address.resize(full, 0);
    return value;
}

edns_option_value decode_cookie(const std::vector<uint8_t>& data) {
    if (data.size() < client_cookie_size) {
        return std::monostate{};
    }
    const std::size_t server = data.size() - client_cookie_size;
    if (server != 0 && (server < min_server_cookie || server > max_server_cookie)) {
        return std::monostate{};
    }
    const auto split = data.begin() + client_cookie_size;
    return cookie_value{{data.begin(), split}, {split, data.end()}};
}

}  // namespace

edns_option_value decode_edns_option(const edns_option& option) {
    switch (option.code) {
        case edns_nsid:
            return nsid_value{option.data};
        case edns_client_subnet:
            return decode_client_subnet(option.data);
        case edns_cookie:
            return decode_cookie(option.data);
        case edns_extended_error: {
            if (option.data.size() < 2) {
                return std::monostate{};
            }
            extended_error_value value;
            value.info_code = static_cast<uint16_t>(option.data[0] << 8 | option.data[1]);
            value.extra_text.assign(option.data.begin() + 2, option.data.end());
            return value;
        }
        default:
            return std::monostate{};
    }
}

std::string_view edns_option_name(uint16_t code) {
    constexpr std::pair<uint16_t, std::string_view> names[] = {
        {3, "NSID"},     {5, "DAU"},     {6, "DHU"},         {7, "N3U"},         {8, "ECS"},
        {9, "EXPIRE"},   {10, "COOKIE"}, {11, "KEEPALIVE"},  {12, "PADDING"},    {13, "CHAIN"},
        {14, "KEY-TAG"}, {15, "EDE"},    {16, "CLIENT-TAG"}, {17, "SERVER-TAG"},
    };
    for (const auto& [number, name] : names) {
        if (number == code) {
            return name;
        }
    }
    return {};
}

std::string_view extended_error_name(uint16_t info_code) {
    constexpr std::array<std::string_view, 30> names = {
        "Other Error",
        "Unsupported DNSKEY Algorithm",
        "Unsupported DS Digest Type",
        "Stale Answer",
        "Forged Answer",
        "DNSSEC Indeterminate",
        "DNSSEC Bogus",
        "Signature Expired",
        "Signature Not Yet Valid",
        "DNSKEY Missing",
        "RRSIGs Missing",
        "No Zone Key Bit Set",
        "NSEC Missing",
        "Cached Error",
        "Not Ready",
        "Blocked",
        "Censored",
        "Filtered",
        "Prohibited",
        "Stale NXDOMAIN Answer",
        "Not Authoritative",
        "Not Supported",
        "No Reachable Authority",
        "Network Error",
        "Invalid Data",
        "Signature Expired before Valid",
        "Too Early",
        "Unsupported NSEC3 Iterations Value",
        "Unable to conform to policy",
        "Synthesized",
    };
    return info_code < names.size() ? names[info_code] : std::string_view();
}

std::string client_subnet_address(const client_subnet_value& value) {
    const int family = value.family == 1 ? AF_INET : value.family == 2 ? AF_INET6 : AF_UNSPEC;
    char text[INET6_ADDRSTRLEN] = {};
    if (family == AF_UNSPEC || value.address.size() != (family == AF_INET ? 4u : 16u) ||
        inet_ntop(family, value.address.data(), text, sizeof text) == nullptr) {
        return {};
    }
    return text;
}

}  // namespace resq
