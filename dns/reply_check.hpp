// Telling a query's reply from any other message that reaches its socket: a forgery, a late reply
// to an earlier query, or garbage. Only what the reply must echo of the query is checked here;
// what the reply then says is for the decoder.
#pragma once

#include <cstdint>
#include <span>

namespace resq {

/// Why a datagram (or TCP message) received for a query is or is not its reply.
enum class reply_verdict : uint8_t { reply, too_short, other_id, other_question };

/// Checks `message` against the query message `query` (as sent): a reply holds at least a whole
/// 12-byte header, carries the query's id bytes, and echoes its question (the name in any letter
/// case, RFC 4343). A FORMERR or NOTIMP with no records, or with only an OPT record, may leave the
/// question out. The QR bit is not looked at. A query without a whole header and one question has
/// no reply: other_question.
reply_verdict check_reply(std::span<const uint8_t> query, std::span<const uint8_t> message);

}  // namespace resq
