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
/// IPv4 address text). False, with `query` reset, when the name cannot be encoded.
bool build_query(dns_record& query, std::string name, uint32_t type);

/// Encodes a dotted name as labels; empty fields (extra dots) are dropped. False for an empty
/// name, a name of dots only, a label longer than 63 bytes or a name longer than 255 bytes encoded.
bool encode_name(std::vector<uint8_t>& out, std::string_view name);

/// Encodes the in-addr.arpa name of a dotted address, field by field reversed. False for an empty
/// text, a field longer than 63 bytes or a name longer than 255 bytes encoded.
bool encode_reverse_name(std::vector<uint8_t>& out, std::string_view address);

/// A fresh identifier from 10 to 99.
uint16_t make_packet_id();

}  // namespace resq
