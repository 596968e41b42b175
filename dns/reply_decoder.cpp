#include "dns/reply_decoder.hpp"

#include <string_view>
#include <utility>

#include "dns/record_types.hpp"
#include "dns/wire_reader.hpp"
#include "support/text_forms.hpp"

namespace resq {

namespace {

constexpr std::size_t header_size = 12;
constexpr uint8_t pointer_bits = 0xc0;

// RFC 1035 2.3.4: a name is at most 255 bytes on the wire once expanded, length bytes and the
// closing zero included. Without the limit, records that all point at one name of thousands of
// bytes would each cost a copy of it.
constexpr std::size_t max_name_octets = 255;

// Size of the fixed fields after an owner name: TYPE, CLASS, TTL, RDLENGTH.
constexpr std::size_t record_fixed_size = 10;
// Size of the fixed fields after a question name: QTYPE, QCLASS.
constexpr std::size_t question_fixed_size = 4;

// What every entry of one reply shares.
struct reply_context {
    const shared_message& message;
    std::span<const uint8_t> bytes;
    uint64_t reply_time = 0;
    uint16_t reply_id = 0;
};

// Decodes up to `count` entries of one section from `offset`, stopping at the end of the reply.
// False when a name does not decode or a record's data runs past the end.
bool decode_section(const reply_context& reply, uint16_t count, std::size_t& offset,
                    std::vector<dns_record>& list, section_kind section) {
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
        if (section == section_kind::question) {
            // QTYPE and QCLASS are not checked against the end: bytes past it read as zero, like
            // the zero-filled rest of a receive buffer.
            offset += question_fixed_size;
        } else {
            entry.ttl_secs = fields.u32();
            entry.data_length = fields.u16();
            // RDLENGTH is checked against what remains before the entry is kept.
            if (fields.failed() || entry.data_length > fields.remaining()) {
                return false;
            }
            entry.data_offset = static_cast<uint32_t>(offset + record_fixed_size);
            offset += record_fixed_size + entry.data_length;
        }
        entry.message = reply.message;
        entry.section = section;
        entry.query_time = reply.reply_time;
        entry.packet_id = reply.reply_id;
        list.push_back(std::move(entry));
    }
    return true;
}

// Appends a label's bytes in master-file form, escaped as dig writes names: the characters that
// have a meaning in a zone file behind a backslash, and bytes outside printable ASCII (space
// included) as a backslash and three decimal digits.
void append_escaped_label(std::string& out, std::string_view label) {
    append_master_text(out, label, ".\\\"();@$", true);
}

// Walks the possibly compressed name at `offset`, handing each label's bytes to `on_label` in
// order. Returns the bytes the name occupies at `offset`; 0 when it does not decode, after which
// the labels handed over are to be dropped.
template <typename OnLabel>
std::size_t walk_name(std::span<const uint8_t> message, uint32_t offset, unsigned step_limit,
                      OnLabel on_label) {
    if (message.size() < header_size || offset == 0 || offset > message.size()) {
        return 0;
    }
    wire_reader wire(message, offset);
    std::size_t consumed = 0;
    std::size_t expanded = 0;  // the name's length on the wire with its pointers replaced
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
            // Lengths 64 to 191 (high bits 01 or 10) are taken as plain lengths. The closing zero
            // byte still has to fit after this label.
            expanded += length + 1u;
            if (expanded + 1 > max_name_octets) {
                break;
            }
            const std::size_t label_offset = wire.offset();
            if (!wire.skip(length)) {
                break;
            }
            on_label(
                std::string_view(reinterpret_cast<const char*>(&message[label_offset]), length));
            if (!followed_pointer) {
                consumed += length + 1u;
            }
        }
        if (++steps >= step_limit) {
            break;
        }
    }
    return 0;
}

}  // namespace

std::string dns_name::raw() const {
    std::string text;
    for (const std::string& label : labels) {
        text += label;
        text += '.';
    }
    return text;
}

std::string dns_name::escaped() const {
    if (labels.empty()) {
        return ".";
    }
    std::string text;
    for (const std::string& label : labels) {
        append_escaped_label(text, label);
        text += '.';
    }
    return text;
}

std::size_t decode_name(std::span<const uint8_t> message, uint32_t offset, dns_name& out,
                        unsigned step_limit) {
    out.labels.clear();
    const std::size_t size = walk_name(message, offset, step_limit, [&](std::string_view label) {
        out.labels.emplace_back(label);
    });
    if (size == 0) {
        out.labels.clear();
    }
    return size;
}

std::size_t decode_name(std::span<const uint8_t> message, uint32_t offset, std::string& out,
                        unsigned step_limit, name_form form) {
    out.clear();
    const std::size_t size = walk_name(message, offset, step_limit, [&](std::string_view label) {
        if (form == name_form::escaped) {
            append_escaped_label(out, label);
        } else {
            out += label;
        }
        out += '.';
    });
    if (size == 0) {
        out.clear();
    }
    return size;
}

std::size_t decode_reply(const shared_message& reply, uint64_t reply_time, dns_exchange& attempt,
                         bool require_response) {
    attempt.header = reply_header{};
    attempt.questions.clear();
    attempt.answers.clear();
    attempt.authority.clear();
    attempt.additional.clear();
    if (!reply) {
        return 0;
    }
    const std::span<const uint8_t> bytes(*reply);

    // A reply shorter than the header is not refused: its missing bytes read as zero.
    //  0  1  2  3  4  5  6  7  8  9 10 11 12 13 14 15
    // |                      ID                       |
    // |QR|  Opcode   |AA|TC|RD|RA| Z|AD|CD|   RCODE   |
    // |          QDCOUNT, ANCOUNT, NSCOUNT, ARCOUNT   |
    wire_reader wire(bytes);
    reply_header& header = attempt.header;
    header.id = wire.u16();
    const uint8_t flags_high = wire.u8();
    const uint8_t flags_low = wire.u8();
    header.qr = (flags_high & 0x80) != 0;
    header.opcode = static_cast<uint8_t>(flags_high >> 3 & 0x0f);
    header.aa = (flags_high & 0x04) != 0;
    header.tc = (flags_high & 0x02) != 0;
    header.rd = (flags_high & 0x01) != 0;
    header.ra = (flags_low & 0x80) != 0;
    header.ad = (flags_low & 0x20) != 0;
    header.cd = (flags_low & 0x10) != 0;
    header.rcode = static_cast<uint8_t>(flags_low & 0x0f);
    header.full_rcode = header.rcode;
    header.question_count = wire.u16();
    header.answer_count = wire.u16();
    header.authority_count = wire.u16();
    header.additional_count = wire.u16();
    if (require_response && !header.qr) {
        return 0;
    }

    // The report's packet id reads the identifier little-endian, the way the query wrote it.
    const auto reply_id = static_cast<uint16_t>((header.id & 0xff) << 8 | header.id >> 8);
    const reply_context context{reply, bytes, reply_time, reply_id};
    std::size_t offset = header_size;
    const bool decoded = decode_section(context, header.question_count, offset, attempt.questions,
                                        section_kind::question) &&
                         decode_section(context, header.answer_count, offset, attempt.answers,
                                        section_kind::answer) &&
                         decode_section(context, header.authority_count, offset, attempt.authority,
                                        section_kind::authority) &&
                         decode_section(context, header.additional_count, offset,
                                        attempt.additional, section_kind::additional);
    // The first OPT record carries the upper eight bits of the RCODE in its TTL's top byte.
    for (const dns_record& entry : attempt.additional) {
        if (entry.dns_type == type_opt) {
            header.full_rcode = static_cast<uint16_t>((entry.ttl_secs >> 24) << 4 | header.rcode);
            break;
        }
    }
    return decoded ? offset : 0;
}

}  // namespace resq
