// Building the query message of one lookup.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "dns/dns_record.hpp"
#include "dns/record_types.hpp"

namespace resq {

/// A client subnet as it goes on the wire (RFC 7871 6): the address cut to its prefix.
struct client_subnet {
    uint16_t family = 1;  // 1 IPv4, 2 IPv6 (address family numbers)
    uint8_t source_prefix = 0;
    std::vector<uint8_t> address;  // the bytes the prefix covers, bits past it zero
};

/// What a query carries beside its name and type: its class, header bits and OPT record.
struct query_options {
    uint16_t edns_size = 0;  // the OPT record's UDP payload size; 0: no OPT record
    uint16_t qclass = 1;     // IN
    bool recursion_desired = true;
    bool authentic_data = false;     // AD, asking whether the server validated (RFC 6840 5.7)
    bool checking_disabled = false;  // CD
    // The OPT record's content, left out with it when `edns_size` is 0.
    bool dnssec_ok = false;  // DO
    bool nsid = false;       // an empty NSID option (RFC 5001)
    std::optional<client_subnet> subnet;
};

/// Resets `query` and fills it with the query message for `name` and `type` (PTR: `name` is an
/// address text unless `reverse_ptr` is false), as `options` say. False, with `query` reset, when
/// the name cannot be encoded or no identifier can be drawn.
bool build_query(dns_record& query, std::string name, uint32_t type, const query_options& options,
                 bool reverse_ptr = true);

/// build_query with class IN, RD set and an OPT record advertising `edns_size` bytes unless that
/// is 0.
bool build_query(dns_record& query, std::string name, uint32_t type, uint16_t edns_size = 0);

/// Puts a COOKIE option holding `cookie` (the client cookie, then the server's when known) last
/// in the OPT record of a query build_query made, in place of any it held. False, with `query`
/// unchanged, when the query has no OPT record or the option would not fit.
bool set_query_cookie(dns_record& query, std::span<const uint8_t> cookie);

/// Reads "ADDRESS/PREFIX" or "ADDRESS" (/24 for IPv4, /56 for IPv6) into `out`, the address cut
/// to the prefix; "0/0" is IPv4 with no address. False for anything else.
bool parse_client_subnet(std::string_view text, client_subnet& out);

/// Encodes a dotted name as labels; one dot at the end (a fully qualified name) is allowed, and
/// "." alone is the root. False for an empty name, an empty label (two dots in a row, a leading
/// dot), a label longer than 63 bytes or a name longer than 255 bytes encoded.
bool encode_name(std::vector<uint8_t>& out, std::string_view name);

/// Encodes the reverse name of an address: the ip6.arpa name of an IPv6 address (RFC 3596 2.5),
/// else the in-addr.arpa name of the dotted fields reversed. False for an empty text, an empty
/// field, a field longer than 63 bytes or a name longer than 255 bytes encoded.
bool encode_reverse_name(std::vector<uint8_t>& out, std::string_view address);

/// Sets `id` to a fresh identifier drawn uniformly from 0 to 65535 out of the kernel's random
/// source. False, with `id` 0, when that source cannot be read.
bool make_packet_id(uint16_t& id);

}  // namespace resq
