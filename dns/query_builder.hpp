// Building the query message of one lookup.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "dns/dns_record.hpp"
#include "dns/record_types.hpp"

namespace resq {

/// Resets `query` and fills it with the query message for `name` and `type` (PTR: `name` is an
/// address text unless `reverse_ptr` is false), with an OPT record advertising `edns_size` bytes
/// unless that is 0. False, with `query` reset, when the name cannot be encoded or no identifier
/// can be drawn.
bool build_query(dns_record& query, std::string name, uint32_t type, uint16_t edns_size = 0,
                 bool reverse_ptr = true);

/// Encodes a dotted name as labels; empty fields (extra dots) are dropped. False for an empty
/// name, a name of dots only, a label longer than 63 bytes or a name longer than 255 bytes encoded.
bool encode_name(std::vector<uint8_t>& out, std::string_view name);

/// Encodes the reverse name of an address: the ip6.arpa name of an IPv6 address (RFC 3596 2.5),
/// else the in-addr.arpa name of the dotted fields reversed. False for an empty text, a field
/// longer than 63 bytes or a name longer than 255 bytes encoded.
bool encode_reverse_name(std::vector<uint8_t>& out, std::string_view address);

/// Sets `id` to a fresh identifier drawn uniformly from 0 to 65535 out of the kernel's random
/// source. False, with `id` 0, when that source cannot be read.
bool make_packet_id(uint16_t& id);

}  // namespace resq
