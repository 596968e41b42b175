// Fuzz target: a whole reply through the decoder, then every decoder of record data and every
// report writer on each entry.
#include <cstddef>
#include <cstdint>
#include <span>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "dns/record_types.hpp"
#include "dns/reply_decoder.hpp"
#include "report/report_exchange.hpp"
#include "support/cmd_params.hpp"

namespace {

void check_entry(const resq::dns_record& entry) {
    // The data of every decoded entry lies inside its copy of the reply.
    if (entry.data_offset + std::size_t{entry.data_length} > entry.message.size()) {
        __builtin_trap();
    }
    if (!entry.data_bytes.empty() && entry.data_bytes.size() != entry.data_length) {
        __builtin_trap();
    }
    (void)resq::type_name(entry.dns_type);
    resq::soa_fields soa;
    (void)resq::decode_soa(entry.message, entry.data_offset, soa);
    std::string name;
    (void)resq::decode_name(entry.message, entry.data_offset, name);
    (void)resq::decode_name(entry.message, entry.data_offset + 2, name);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    const std::span<const uint8_t> reply(data, size);
    uint16_t reply_id = 0;
    std::vector<resq::dns_record> questions, answers, authority, additional;
    resq::decode_reply("127.0.0.1", 0, reply, reply_id, questions, answers, authority, additional,
                       true);
    for (const auto* list : {&questions, &answers, &authority, &additional}) {
        for (const resq::dns_record& entry : *list) {
            check_entry(entry);
        }
    }
    // Both report forms of the whole attempt, as the query run writes them.
    resq::dns_exchange attempt;
    attempt.sent_size = 1;
    attempt.received_size = static_cast<uint32_t>(size);
    attempt.questions = std::move(questions);
    attempt.answers = std::move(answers);
    attempt.authority = std::move(authority);
    attempt.additional = std::move(additional);
    const resq::dns_record query;
    resq::cmd_params options;
    std::ostringstream out;
    resq::report_exchange(out, attempt, query, options);
    options.xml_output = true;
    resq::report_exchange(out, attempt, query, options);
    return 0;
}
