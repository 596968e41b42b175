// Hex dumps of byte buffers, and the verbose packet block written after every attempt.
//
// Every dump line is assembled in a local text and written with ostream::write, so the dump never
// touches the stream's number base, fill or width: the table rows written after it keep whatever
// format state they had.
#include "report/kx_hex_view.hpp"

#include <algorithm>
#include <string>

#include "support/text_forms.hpp"

namespace kx {

namespace {

using resq::append_hex;

/// Writes the dump line of up to 16 bytes from `first`: offset, bytes in hexadecimal, characters.
void write_dump_line(std::string& line, const binary_data& data, uint32_t first) {
    const uint32_t count = std::min(16u, data.size() - first);
    line.clear();
    append_hex(line, first >> 16, 4);
    line.push_back(' ');
    append_hex(line, first & 0xffffu, 4);
    line += ":  ";
    for (uint32_t i = 0; i < count; ++i) {
        if (i == 8) {
            line.push_back(' ');  // gap between the two halves of the line
        }
        append_hex(line, data(first + i), 2);
        line.push_back(' ');
    }
    if (count < 16) {
        // Pad so the character column starts at the same place as on a full line.
        line.append(3 * (16 - count) + (count <= 8 ? 1 : 0), ' ');
    }
    line.push_back(' ');
    for (uint32_t i = 0; i < count; ++i) {
        const uint8_t byte = data(first + i);
        line.push_back(byte >= 0x20 && byte <= 0x7e ? static_cast<char>(byte) : '.');
    }
    line.push_back('\n');  // no flush: a 64 KB reply is 4096 lines
}

}  // namespace

void hex_dump(std::ostream& out, const binary_data& data) {
    std::string line;
    line.reserve(80);
    // 64-bit cursor: adding 16 near the top of the 32-bit range must not wrap.
    for (uint64_t first = 0; first < data.size(); first += 16) {
        write_dump_line(line, data, static_cast<uint32_t>(first));
        out.write(line.data(), static_cast<std::streamsize>(line.size()));
    }
}

}  // namespace kx

namespace resq {

namespace {

std::span<const uint8_t> message_bytes(const shared_message& message) {
    return message ? std::span<const uint8_t>(*message) : std::span<const uint8_t>();
}

}  // namespace

void dump_bytes(std::span<const uint8_t> bytes, std::ostream& out) {
    kx::hex_dump(out, kx::binary_data(bytes));
}

void write_verbose_block(std::ostream& out, const dns_exchange& attempt) {
    const std::string rule(79, '-');
    out << std::endl;
    out << rule << std::endl;
    if (attempt.sent_size != 0) {
        out << "packet that was sent" << std::endl;
        dump_bytes(message_bytes(attempt.sent_bytes), out);
        out << std::endl;
    }
    if (attempt.received_size != 0) {
        out << "packet that was recv'd" << std::endl;
        dump_bytes(message_bytes(attempt.received_bytes), out);
    }
    out << rule << std::endl;
    out << std::endl;
}

}  // namespace resq
