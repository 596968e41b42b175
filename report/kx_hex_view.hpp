// Hex dumps of byte buffers, and the verbose packet block of every attempt.
#pragma once

#include <cstdint>
#include <ostream>
#include <span>
#include <string>

#include "dns/dns_record.hpp"

namespace kx {

/// A borrowed view of the bytes to dump.
class binary_data {
  public:
    explicit binary_data(std::span<const uint8_t> bytes) : bytes_(bytes) {}

    /// The byte at `index`; 0 at or past size().
    uint8_t operator()(uint32_t index) const { return index < bytes_.size() ? bytes_[index] : 0; }
    uint32_t size() const {
        return bytes_.size() > UINT32_MAX ? UINT32_MAX : static_cast<uint32_t>(bytes_.size());
    }

  private:
    std::span<const uint8_t> bytes_;
};

/// Writes the standard dump of the bytes, 16 to a line, each line led by its offset.
void hex_dump(std::ostream& out, const binary_data& data);

}  // namespace kx

namespace resq {

/// The standard dump of a whole message with offsets; nothing for an empty message.
void dump_bytes(std::span<const uint8_t> bytes, std::ostream& out);

/// The -verbose block after an attempt: the packet sent and the packet received, between rules.
void write_verbose_block(std::ostream& out, const dns_exchange& attempt);

}  // namespace resq
