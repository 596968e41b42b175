#include "dns/reply_decoder.hpp"

#include <utility>

#include "dns/wire_reader.hpp"

namespace resq {

namespace {

constexpr std::size_t header_size = 12;
constexpr uint8_t qr_bit = 0x80;
constexpr uint8_t pointer_bits = 0xc0;

// Size of the fixed fields after an owner name: TYPE, CLASS, TTL, RDLENGTH.
constexpr std::size_t record_fixed_size = 10;
// Size of the fixed fields after a question name: QTYPE, QCLASS.
constexpr std::size_t question_fixed_size = 4;

// What every entry of one reply shares.
struct reply_context {
    std::span<const uint8_t> bytes;
    std::string_view server;
    uint64_t reply_time = 0;
    uint16_t reply_id = 0;

    void stamp(dns_record& entry) const {
        entry.dns_server.assign(server);
        entry.query_time = reply_time;
        entry.message.assign(bytes.begin(), bytes.end());
        entry.packet_id = reply_id;
    }
};

enum class section_kind { questions, answers, other_records };

// Decodes up to `count` entries of one section from `offset`, stopping at the end of the reply.
// False when a name does not decode or a record's data runs past the end.
bool decode_section(const reply_context& reply, uint16_t count, std::size_t& offset,
                    std::vector<dns_record>& list, section_kind kind) {
    for (unsigned i = 0; i < count && offset < reply.bytes.size(); ++i) {
        dns_record entry;
        const std::size_t name_size =
            decode_name(reply.bytes, static_cast<uint32_t>(offset), entry.query);
        if (name_size == 0) {
            return false;
        }
        offset += name_size;
        wire_reader fields(reply.bytes, offset);
        entry.dns_type = fields.u16();
        entry.dns_class = fields.u16();
        if (kind == section_kind::questions) {
            // QTYPE and QCLASS are not checked against the end: bytes past it read as zero, like
            // the zero-filled rest of a receive buffer.
            offset += question_fixed_size;
        } else {
            entry.ttl_secs = fields.u32();
            entry.data_length = fields.u16();
            // RDLENGTH is checked against what remains before anything is copied.
            if (fields.failed() || entry.data_length > fields.remaining()) {
                return false;
            }
            entry.data_offset = static_cast<uint32_t>(offset + record_fixed_size);
            if (kind == section_kind::answers) {
                fields.copy(entry.data_bytes, entry.data_length);
            }
            offset += record_fixed_size + entry.data_length;
        }
        reply.stamp(entry);
        list.push_back(std::move(entry));
    }
    return true;
}

}  // namespace

std::size_t decode_name(std::span<const uint8_t> message, uint32_t offset, std::string& out,
                        unsigned step_limit) {
    out.clear();
    if (message.size() < header_size || offset == 0 || offset > message.size()) {
        return 0;
    }
    wire_reader wire(message, offset);
    std::size_t consumed = 0;
    bool followed_pointer = false;
    unsigned steps = 0;
    for (;;) {
        const uint8_t length = wire.u8();
        if (wire.failed()) {
            break;
        }
        if ((length & pointer_bits) == pointer_bits) {
            // RFC 1035 4.1.4: a pointer is the 14 bits after the two set high bits. It may point
            // anywhere in the message, backwards or forwards; the step limit ends loops.
            const uint8_t low = wire.u8();
            const std::size_t target = static_cast<std::size_t>(length & 0x3f) << 8 | low;
            if (wire.failed() || !wire.seek(target)) {
                break;
            }
            if (!followed_pointer) {
                consumed += 2;
            }
            followed_pointer = true;
        } else if (length == 0) {
            return followed_pointer ? consumed : consumed + 1;
        } else {
            // Lengths 64 to 191 (high bits 01 or 10) are taken as plain lengths.
            if (!wire.copy(out, length)) {
                break;
            }
            out.push_back('.');
            if (!followed_pointer) {
                consumed += length + 1u;
            }
        }
        if (++steps >= step_limit) {
            break;
        }
    }
    out.clear();
    return 0;
}

std::size_t decode_reply(std::string_view server, uint64_t reply_time,
                         std::span<const uint8_t> reply, uint16_t& reply_id,
                         std::vector<dns_record>& questions, std::vector<dns_record>& answers,
                         std::vector<dns_record>& authority, std::vector<dns_record>& additional,
                         bool require_response) {
    questions.clear();
    answers.clear();
    authority.clear();
    additional.clear();

    // A reply shorter than the header is not refused: its missing bytes read as zero.
    wire_reader header(reply);
    const uint16_t id_low = header.u8();
    const uint16_t id_high = header.u8();
    const uint8_t flags_high = header.u8();
    header.u8();
    if (require_response && (flags_high & qr_bit) == 0) {
        return 0;
    }
    // Little-endian, the way the query's identifier was written.
    reply_id = static_cast<uint16_t>(id_high << 8 | id_low);
    const uint16_t question_count = header.u16();
    const uint16_t answer_count = header.u16();
    const uint16_t authority_count = header.u16();
    const uint16_t additional_count = header.u16();

    const reply_context context{reply, server, reply_time, reply_id};
    std::size_t offset = header_size;
    if (!decode_section(context, question_count, offset, questions, section_kind::questions) ||
        !decode_section(context, answer_count, offset, answers, section_kind::answers) ||
        !decode_section(context, authority_count, offset, authority, section_kind::other_records) ||
        !decode_section(context, additional_count, offset, additional,
                        section_kind::other_records)) {
        return 0;
    }
    return offset;
}

}  // namespace resq
