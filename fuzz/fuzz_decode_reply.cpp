// Fuzz target: a whole reply through the decoder, then the record-data decoder, the master-file
// form and every report writer on each entry; the JSON line must be valid JSON.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "dns/rdata_presentation.hpp"
#include "dns/record_types.hpp"
#include "dns/reply_decoder.hpp"
#include "fuzz/json_check.hpp"
#include "report/record_writer.hpp"
#include "report/report_exchange.hpp"
#include "support/cmd_params.hpp"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    const auto reply = std::make_shared<const std::vector<uint8_t>>(data, data + size);
    resq::dns_exchange attempt;
    resq::decode_reply(reply, 0, attempt, true);
    for (const auto* list :
         {&attempt.questions, &attempt.answers, &attempt.authority, &attempt.additional}) {
        for (const resq::dns_record& entry : *list) {
            // Every entry shares the one reply, and its data lies inside it.
            if (entry.message != reply ||
                entry.data_offset + std::size_t{entry.data_length} > size) {
                __builtin_trap();
            }
            (void)resq::decode_rdata(entry);
            (void)resq::rdata_presentation(entry);
        }
    }
    // Every report form of the whole attempt, as the query run writes them.
    attempt.sent_size = 1;
    attempt.received_size = static_cast<uint32_t>(size);
    attempt.received_bytes = reply;
    const resq::dns_record query;
    resq::cmd_params options;
    for (const auto format :
         {resq::report_format::table, resq::report_format::xml, resq::report_format::json}) {
        options.format = format;
        std::ostringstream out;
        const auto writer = resq::make_record_writer(out, options);
        resq::report_exchange(*writer, {attempt, query});
        writer->end();
        // JSON Lines: one line, which is one JSON value on its own.
        const std::string text = out.str();
        if (format == resq::report_format::json &&
            (!text.ends_with('\n') || text.find('\n') + 1 != text.size() ||
             !resq::fuzzing::json_check::valid(text))) {
            __builtin_trap();
        }
    }
    return 0;
}
