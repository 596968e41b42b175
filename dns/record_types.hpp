// Type mnemonics and the decoding of SOA data.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace resq {

/// Type codes of the six lookups and of the record data the writers translate.
enum type_code : uint32_t {
    type_a = 1,
    type_ns = 2,
    type_cname = 5,
    type_soa = 6,
    type_ptr = 12,
    type_mx = 15,
    type_txt = 16,
    type_aaaa = 28,
};

/// The mnemonic of a type number, "unk" for numbers without one.
std::string_view type_name(uint16_t type);

/// The decoded data of an SOA record.
struct soa_fields {
    std::string domain_name;    // MNAME
    std::string admin_mailbox;  // RNAME, kept in its dotted form
    uint32_t serial_num = 0;
    uint32_t refresh_sec = 0;
    uint32_t retry_sec = 0;
    uint32_t expire_sec = 0;
    uint32_t min_sec = 0;
};

/// Decodes the SOA data at `offset` of `message`; the bounds are those of the whole message.
/// False when a name does not decode or the five numbers would pass the end.
bool decode_soa(std::span<const uint8_t> message, uint32_t offset, soa_fields& soa);

}  // namespace resq
