// Type mnemonics and the decoding of SOA data.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace resq {

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
