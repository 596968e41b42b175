// Hex dumps of byte buffers, and the verbose packet block of every attempt.
#pragma once

#include <cstdint>
#include <ostream>
#include <span>
#include <string>
#include <vector>

#include "dns/dns_record.hpp"

namespace kx {

/// A view of bytes to dump: borrowed from the caller, or an owned copy.
class binary_data {
  public:
    enum mode : uint32_t { hexadecimal = 2, dump_layout = 4 };

    binary_data(const std::vector<uint8_t>& bytes, bool copy);
    binary_data(const uint8_t* bytes, uint32_t size, bool copy);
    virtual ~binary_data() = default;

    /// The byte at `index`, which must be below size().
    uint8_t operator()(uint32_t index) const;
    uint32_t size() const { return m_num_data; }

    uint32_t display_mode = hexadecimal;

  private:
    uint32_t m_num_data = 0;
    std::vector<uint8_t> owned_bytes;
    bool owns_copy = false;
    const uint8_t* data_ptr = nullptr;
};

/// Writes one dump line (offset column, up to 16 bytes in hexadecimal, the characters), no end.
void write_dump_line(std::ostream& out, const binary_data& data, uint32_t first, uint32_t count,
                     uint64_t offset, bool show_offset);

/// Writes the standard dump of bytes [start, min(end, size)), 16 to a line.
void hex_dump(std::ostream& out, const binary_data& data, uint32_t start, uint32_t end,
              uint64_t base_offset, bool show_offset);

}  // namespace kx

namespace resq {

/// The standard dump of a whole byte vector with offsets; nothing for an empty vector.
void dump_bytes(const std::vector<uint8_t>& bytes, std::ostream& out);

/// The record's data: `data_length` bytes of `message` from `data_offset`, cut at its end.
std::span<const uint8_t> record_data(const dns_record& record);

/// The bytes as two-digit lower-case hexadecimal numbers joined by single spaces.
std::string hex_text(std::span<const uint8_t> bytes);

/// The -verbose block after an attempt: the packet sent and the packet received, between rules.
void write_verbose_block(std::ostream& out, const dns_exchange& attempt);

}  // namespace resq
