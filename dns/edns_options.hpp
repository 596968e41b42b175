// The options of an OPT record that carry fields of their own: NSID (RFC 5001), client subnet
// (RFC 7871), cookies (RFC 7873) and extended DNS errors (RFC 8914), decoded into typed values.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "dns/record_types.hpp"

namespace resq {

/// EDNS option codes with a decoder, and what a query may carry.
enum edns_code : uint16_t {
    edns_nsid = 3,
    edns_client_subnet = 8,
    edns_cookie = 10,
    edns_extended_error = 15,
};

/// NSID: the server's identifier, any bytes, often printable.
struct nsid_value {
    std::vector<uint8_t> id;
};

/// Client subnet: the address family (1 IPv4, 2 IPv6), both prefix lengths and the address,
/// padded with zero bytes to its whole size.
struct client_subnet_value {
    uint16_t family = 0;
    uint8_t source_prefix = 0;
    uint8_t scope_prefix = 0;
    std::vector<uint8_t> address;
};

/// Cookies: the client's eight bytes, and the server's 8 to 32 bytes when it sent one.
struct cookie_value {
    std::vector<uint8_t> client;
    std::vector<uint8_t> server;
};

/// Extended DNS error: the INFO-CODE and the EXTRA-TEXT as received.
struct extended_error_value {
    uint16_t info_code = 0;
    std::string extra_text;
};

/// The typed value of an option; monostate for a code without a decoder or data whose sizes do
/// not fit its code.
using edns_option_value = std::variant<std::monostate, nsid_value, client_subnet_value,
                                       cookie_value, extended_error_value>;

/// Decodes `option` by its code.
edns_option_value decode_edns_option(const edns_option& option);

/// The mnemonic of an option code (IANA DNS EDNS0 Option Codes); empty for other codes.
std::string_view edns_option_name(uint16_t code);

/// The name of an extended DNS error INFO-CODE (RFC 8914 4 and IANA); empty for other codes.
std::string_view extended_error_name(uint16_t info_code);

/// The address of a decoded client subnet in text form; empty for an unknown family.
std::string client_subnet_address(const client_subnet_value& value);

}  // namespace resq
