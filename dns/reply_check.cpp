#include "dns/reply_check.hpp"

#include <algorithm>
#include <cstddef>
#include <string>

#include "dns/record_types.hpp"
#include "dns/reply_decoder.hpp"
#include "dns/wire_reader.hpp"
#include "support/kx_string.hpp"

namespace resq {

namespace {

constexpr std::size_t header_size = 12;
// The question follows the header.
constexpr uint32_t question_offset = 12;

constexpr uint8_t rcode_formerr = 1;
constexpr uint8_t rcode_notimp = 4;

// A name in master-file form: each byte of it takes at most four characters ("\ddd"), and a name
// holds at most 253 label bytes in at least one label.
constexpr std::size_t max_escaped_name = 4 * 253 + 1;

struct question {
    std::string name;
    uint16_t type = 0;
    uint16_t dns_class = 0;

    question() { name.reserve(max_escaped_name); }
};

// Reads the only question of `message` into `out`. False when the message holds none or several,
// or its one question does not decode or is cut short.
bool read_question(std::span<const uint8_t> message, question& out) {
    wire_reader header(message, 4);
    if (header.u16() != 1 || header.failed()) {
        return false;
    }
    // In master-file form a dot inside a label is escaped, so "a.b" as one label and "a" "b" as
    // two do not compare equal.
    const std::size_t name_size =
        decode_name(message, question_offset, out.name, name_step_limit, name_form::escaped);
    if (name_size == 0) {
        return false;
    }
    wire_reader fields(message, question_offset + name_size);
    out.type = fields.u16();
    out.dns_class = fields.u16();
    return !fields.failed();
}

// Whether `message` is a FORMERR or NOTIMP that leaves the question out, as a server that could
// not parse the query or does not know its opcode may send: no records but maybe its OPT record.
bool is_refusal_without_question(std::span<const uint8_t> message) {
    wire_reader header(message, 3);
    const uint8_t rcode = header.u8() & 0x0f;
    const uint16_t question_count = header.u16();
    const uint16_t answer_count = header.u16();
    const uint16_t authority_count = header.u16();
    const uint16_t additional_count = header.u16();
    if (header.failed() || (rcode != rcode_formerr && rcode != rcode_notimp) ||
        question_count != 0 || answer_count != 0 || authority_count != 0 || additional_count > 1) {
        return false;
    }
    if (additional_count == 0) {
        return true;
    }
    wire_reader opt(message, header_size);
    const uint8_t owner = opt.u8();
    const uint16_t type = opt.u16();
    opt.skip(6);  // CLASS (payload size), TTL (extended RCODE, version, flags)
    const uint16_t data_length = opt.u16();
    return !opt.failed() && owner == 0 && type == type_opt && data_length <= opt.remaining();
}

}  // namespace

reply_verdict check_reply(std::span<const uint8_t> query, std::span<const uint8_t> message) {
    if (message.size() < header_size) {
        return reply_verdict::too_short;
    }
    if (query.size() < header_size) {
        return reply_verdict::other_question;
    }
    // The identifier's two bytes are compared as they lie, whatever order it was written in.
    if (message[0] != query[0] || message[1] != query[1]) {
        return reply_verdict::other_id;
    }
    if (is_refusal_without_question(message)) {
        return reply_verdict::reply;
    }
    // Every datagram of a batch comes through here: the names decode into buffers kept from one
    // call to the next, which hold the longest name without growing.
    thread_local question asked;
    thread_local question echoed;
    if (!read_question(query, asked) || !read_question(message, echoed)) {
        return reply_verdict::other_question;
    }
    const auto same_letter = [](char a, char b) { return ascii_lower(a) == ascii_lower(b); };
    const bool same = echoed.type == asked.type && echoed.dns_class == asked.dns_class &&
                      std::ranges::equal(echoed.name, asked.name, same_letter);
    return same ? reply_verdict::reply : reply_verdict::other_question;
}

}  // namespace resq
