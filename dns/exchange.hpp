// One attempt of a lookup: send the query, wait for the reply, decode it.
#pragma once

#include <cstdint>
#include <string>

#include "dns/dns_record.hpp"

namespace resq {

/// UDP port of every DNS server this tool asks.
inline constexpr uint16_t dns_port = 53;

/// Sends `query` to `server` (dotted IPv4) and decodes the one reply that comes from it within
/// `timeout_secs`. True when a response carrying the query's identifier was decoded without error.
/// `ipv6` is accepted and has no effect.
bool exchange(dns_exchange& attempt, dns_record& query, const std::string& server,
              int32_t timeout_secs, bool ipv6);

}  // namespace resq
