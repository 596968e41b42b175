// The record structure of the codec and the state of one exchange.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace resq {

/// A lookup (the `dns_query`) or one decoded entry of a reply. Plain value: copies copy all.
struct dns_record {
    std::vector<uint8_t> message;  // the query message, or a copy of the whole reply
    std::string dns_server;        // server address text of the attempt
    std::string query;             // name as given (lookup) or decoded owner name (entry)
    uint16_t dns_type = 0;
    uint16_t dns_class = 0;
    uint32_t ttl_secs = 0;
    uint16_t data_length = 0;
    uint32_t data_offset = 0;  // where the entry's data starts inside `message`
    uint64_t query_time = 0;   // 100-ns units since 1601-01-01 UTC
    uint16_t packet_id = 0;
    std::vector<uint8_t> data_bytes;  // copy of the data, answer entries only

    /// Empties both byte vectors and both texts and zeroes every number.
    void reset() { *this = dns_record{}; }
};

/// One attempt: what was sent, what came back, and the four decoded sections.
struct dns_exchange {
    std::vector<uint8_t> sent_bytes;
    uint32_t sent_size = 0;  // 0: nothing was sent
    std::vector<uint8_t> received_bytes;
    uint32_t received_size = 0;  // 0: nothing was received
    uint64_t reply_time = 0;
    std::vector<dns_record> questions;
    std::vector<dns_record> answers;
    std::vector<dns_record> authority;
    std::vector<dns_record> additional;

    /// Empties the byte vectors and lists and zeroes the sizes and the time stamp.
    void reset() { *this = dns_exchange{}; }
};

}  // namespace resq
