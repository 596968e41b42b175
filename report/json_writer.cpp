// JSON Lines: one object per attempt, written whole when the attempt ends.
//
// The text is assembled by hand in one buffer and written with one call per attempt. Every
// string goes through append_string(), which keeps the line valid UTF-8 and RFC 8259 JSON
// whatever bytes a server sent: a control character or a byte that is not well-formed UTF-8
// becomes an RFC 1035 "\DDD" escape inside the string. Names and strings as received have their
// backslashes written "\\" as well, so a reader undoes the escapes without ambiguity and nothing
// is lost; texts in master-file form (the "data" field, names of the later record types) carry
// their own escapes and are only escaped for JSON. The record's data is decoded once: its names
// are written as received or in master-file form from the same decoded labels.
#include "report/json_writer.hpp"

#include <array>
#include <charconv>
#include <concepts>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>
#include <type_traits>
#include <utility>
#include <variant>
#include <vector>

#include "dns/edns_options.hpp"
#include "dns/rdata_presentation.hpp"
#include "dns/record_types.hpp"
#include "report/report_exchange.hpp"
#include "support/kx_string.hpp"
#include "support/kx_time.hpp"
#include "support/text_forms.hpp"

namespace resq {

namespace {

/// Where a text comes from: bytes as received, or text already in master-file form.
enum class text_kind { bytes, presentation };

/// Appends `text` as a JSON string (see the top of this file).
void append_string(std::string& out, std::string_view text, text_kind kind = text_kind::bytes) {
    out += '"';
    while (!text.empty()) {
        const auto byte = static_cast<uint8_t>(text.front());
        const std::size_t length = utf8_length(text);
        if (length == 0 || byte < 0x20 || byte == 0x7f) {
            // "\DDD", its backslash escaped for JSON.
            out += '\\';
            append_decimal_escape(out, byte);
            text.remove_prefix(1);
            continue;
        }
        if (byte == '\\') {
            out += kind == text_kind::bytes ? "\\\\\\\\" : "\\\\";
        } else if (byte == '"') {
            out += "\\\"";
        } else {
            out.append(text.data(), length);
        }
        text.remove_prefix(length);
    }
    out += '"';
}

void append_number(std::string& out, std::unsigned_integral auto value) {
    char digits[24];
    const auto end = std::to_chars(digits, digits + sizeof digits, value).ptr;
    out.append(digits, end);
}

/// Appends the name of the next member, after a comma unless it is the first of its object.
void key(std::string& out, std::string_view name) {
    if (out.back() != '{') {
        out += ',';
    }
    out += '"';
    out += name;
    out += "\":";
}

void field(std::string& out, std::string_view name, std::string_view text,
           text_kind kind = text_kind::bytes) {
    key(out, name);
    append_string(out, text, kind);
}

void field(std::string& out, std::string_view name, std::unsigned_integral auto value) {
    key(out, name);
    append_number(out, value);
}

void flag_field(std::string& out, std::string_view name, bool value) {
    key(out, name);
    out += value ? "true" : "false";
}

/// Lower-case hexadecimal digits, two per byte, between double quotes.
void hex_field(std::string& out, std::string_view name, std::span<const uint8_t> bytes) {
    key(out, name);
    out += '"';
    out += hex_text(bytes);
    out += '"';
}

/// An array of the strings `each` gives for the items.
template <typename Items, typename Each>
void array_field(std::string& out, std::string_view name, const Items& items, Each each) {
    key(out, name);
    out += '[';
    for (const auto& item : items) {
        if (out.back() != '[') {
            out += ',';
        }
        each(item);
    }
    out += ']';
}

/// The fields an EDNS option's data decodes to, after its code and bytes: its name when it has
/// one, and the typed fields of NSID, client subnet, cookies and extended errors.
void append_option_fields(std::string& out, const edns_option& option) {
    if (const std::string_view name = edns_option_name(option.code); !name.empty()) {
        field(out, "name", name);
    }
    const auto typed = [&](const auto& value) {
        using kind = std::decay_t<decltype(value)>;
        if constexpr (std::is_same_v<kind, nsid_value>) {
            hex_field(out, "nsid_hex", value.id);
            const auto* chars = reinterpret_cast<const char*>(value.id.data());
            field(out, "nsid_text", std::string_view(chars, value.id.size()));
        } else if constexpr (std::is_same_v<kind, client_subnet_value>) {
            field(out, "family", value.family);
            field(out, "source_prefix", value.source_prefix);
            field(out, "scope_prefix", value.scope_prefix);
            field(out, "address", client_subnet_address(value));
        } else if constexpr (std::is_same_v<kind, cookie_value>) {
            hex_field(out, "client_cookie", value.client);
            if (!value.server.empty()) {
                hex_field(out, "server_cookie", value.server);
            }
        } else if constexpr (std::is_same_v<kind, extended_error_value>) {
            field(out, "info_code", value.info_code);
            field(out, "info_name", extended_error_name(value.info_code));
            field(out, "extra_text", value.extra_text);
        }
    };
    std::visit(typed, decode_edns_option(option));
}

/// UTC in RFC 3339 with microseconds ("2026-12-06T10:29:38.261042Z"); empty for no valid time.
std::string utc_text(uint64_t value) {
    const kx::time when(value, kx::type_time::filetime);
    if (!when.valid()) {
        return {};
    }
    const kx::_windows_systemtime& utc = when.utc();
    char text[32];
    const auto two = [&](char* at, unsigned number) {
        at[0] = static_cast<char>('0' + number / 10 % 10);
        at[1] = static_cast<char>('0' + number % 10);
    };
    two(text, utc.year / 100u);
    two(text + 2, utc.year % 100u);
    text[4] = '-';
    two(text + 5, utc.month);
    text[7] = '-';
    two(text + 8, utc.day);
    text[10] = 'T';
    two(text + 11, utc.hour);
    text[13] = ':';
    two(text + 14, utc.minute);
    text[16] = ':';
    two(text + 17, utc.second);
    text[19] = '.';
    uint64_t micro = when.microsecond();
    for (int i = 25; i >= 20; --i) {
        text[i] = static_cast<char>('0' + micro % 10);
        micro /= 10;
    }
    text[26] = 'Z';
    return std::string(text, 27);
}

std::string_view failure_text(exchange_failure failure) {
    switch (failure) {
        case exchange_failure::none:
            break;
        case exchange_failure::not_sent:
            return "not sent";
        case exchange_failure::not_bound:
            return "source address not usable";
        case exchange_failure::connection_refused:
            return "connection refused";
        case exchange_failure::no_connection:
            return "no connection";
        case exchange_failure::timed_out:
            return "timed out";
        case exchange_failure::port_unreachable:
            return "timed out, port unreachable";
        case exchange_failure::connection_closed:
            return "connection closed";
        case exchange_failure::empty_message:
            return "empty message";
        case exchange_failure::not_response:
            return "not a response";
        case exchange_failure::malformed:
            return "malformed reply";
        case exchange_failure::tls_unknown_ca:
            return "tls: unknown CA";
        case exchange_failure::tls_name_mismatch:
            return "tls: name mismatch";
        case exchange_failure::tls_expired:
            return "tls: certificate expired";
        case exchange_failure::tls_protocol:
            return "tls: protocol";
        case exchange_failure::tls_handshake_timeout:
            return "tls: handshake timed out";
        case exchange_failure::http_status:
            return "http";
    }
    return {};
}

/// The fields of each kind of typed record data; `presentation` is the record's master-file
/// text, which already holds the address of A and AAAA data.
struct typed_fields {
    std::string& out;
    const std::string& presentation;

    void operator()(const raw_rdata&) const {}

    void operator()(const ipv4_rdata&) const { field(out, "address", presentation); }

    void operator()(const ipv6_rdata& value) const {
        if (value.address.size() == 16) {
            field(out, "address", presentation);
        }
    }

    void operator()(const name_rdata& value) const {
        if (value.name) {
            field(out, "target", value.name->raw());
        }
    }

    void operator()(const mx_rdata& value) const {
        if (value.preference) {
            field(out, "preference", *value.preference);
        }
        if (value.exchange) {
            field(out, "exchange", value.exchange->raw());
        }
    }

    void operator()(const soa_fields& soa) const {
        field(out, "mname", soa.domain_name.raw());
        field(out, "rname", soa.admin_mailbox.raw());
        field(out, "serial", soa.serial_num);
        field(out, "refresh", soa.refresh_sec);
        field(out, "retry", soa.retry_sec);
        field(out, "expire", soa.expire_sec);
        field(out, "minimum", soa.min_sec);
    }

    void operator()(const txt_rdata& value) const {
        array_field(out, "strings", value.strings,
                    [&](const std::string& string) { append_string(out, string); });
    }

    void operator()(const srv_rdata& value) const {
        field(out, "priority", value.priority);
        field(out, "weight", value.weight);
        field(out, "port", value.port);
        field(out, "target", value.target.escaped(), text_kind::presentation);
    }

    void operator()(const caa_rdata& value) const {
        field(out, "flags", value.flags);
        field(out, "tag", value.tag);
        field(out, "value", value.value);
    }

    void operator()(const naptr_rdata& value) const {
        field(out, "order", value.order);
        field(out, "preference", value.preference);
        field(out, "flags", value.flags);
        field(out, "services", value.services);
        field(out, "regexp", value.regexp);
        field(out, "replacement", value.replacement.escaped(), text_kind::presentation);
    }

    void operator()(const ds_rdata& value) const {
        field(out, "key_tag", value.key_tag);
        field(out, "algorithm", value.algorithm);
        field(out, "digest_type", value.digest_type);
        hex_field(out, "digest", value.digest);
    }

    void operator()(const dnskey_rdata& value) const {
        field(out, "flags", value.flags);
        field(out, "protocol", value.protocol);
        field(out, "algorithm", value.algorithm);
        field(out, "public_key", base64_text(value.public_key));
    }

    void operator()(const rrsig_rdata& value) const {
        field(out, "type_covered", type_mnemonic(value.type_covered));
        field(out, "algorithm", value.algorithm);
        field(out, "labels", value.labels);
        field(out, "original_ttl", value.original_ttl);
        field(out, "expiration", value.expiration);
        field(out, "inception", value.inception);
        field(out, "key_tag", value.key_tag);
        field(out, "signer_name", value.signer_name.escaped(), text_kind::presentation);
        field(out, "signature", base64_text(value.signature));
    }

    void operator()(const nsec_rdata& value) const {
        field(out, "next_name", value.next_name.escaped(), text_kind::presentation);
        array_field(out, "types", value.types,
                    [&](uint16_t type) { append_string(out, type_mnemonic(type)); });
        flag_field(out, "complete", value.complete);
    }

    void operator()(const tlsa_rdata& value) const {
        field(out, "usage", value.usage);
        field(out, "selector", value.selector);
        field(out, "matching_type", value.matching_type);
        hex_field(out, "certificate_data", value.data);
    }

    void operator()(const sshfp_rdata& value) const {
        field(out, "algorithm", value.algorithm);
        field(out, "fingerprint_type", value.fingerprint_type);
        hex_field(out, "fingerprint", value.fingerprint);
    }

    void operator()(const svcb_rdata& value) const {
        field(out, "priority", value.priority);
        field(out, "target", value.target.escaped(), text_kind::presentation);
        array_field(out, "params", value.params, [&](const svc_param& param) {
            out += '{';
            field(out, "key", param.key);
            hex_field(out, "value_hex", param.value);
            out += '}';
        });
        flag_field(out, "complete", value.complete);
    }

    void operator()(const opt_rdata& value) const {
        field(out, "udp_size", value.udp_size);
        field(out, "extended_rcode", value.extended_rcode);
        field(out, "version", value.version);
        flag_field(out, "dnssec_ok", value.dnssec_ok);
        field(out, "flags", value.flags);
        array_field(out, "options", value.options, [&](const edns_option& option) {
            out += '{';
            field(out, "code", option.code);
            hex_field(out, "data_hex", option.data);
            append_option_fields(out, option);
            out += '}';
        });
        flag_field(out, "complete", value.complete);
    }
};

void append_record(std::string& out, const dns_record& record) {
    out += '{';
    field(out, "name", record.query);
    field(out, "type", type_mnemonic(record.dns_type));
    field(out, "type_code", record.dns_type);
    field(out, "class_code", record.dns_class);
    if (record.section != section_kind::question) {
        field(out, "ttl", record.ttl_secs);
        field(out, "rdlength", record.data_length);
        hex_field(out, "rdata_hex", record.data());
        const rdata_value value = decode_rdata(record);
        const std::string presentation = rdata_presentation(record, value);
        field(out, "data", presentation, text_kind::presentation);
        std::visit(typed_fields{out, presentation}, value);
    }
    out += '}';
}

void section_field(std::string& out, std::string_view name, const std::vector<dns_record>& list) {
    array_field(out, name, list, [&](const dns_record& record) { append_record(out, record); });
}

}  // namespace

void json_writer::begin(const report_header& header) {
    static_cast<void>(header);
}

void json_writer::row(const report_row& row) {
    static_cast<void>(row);
}

void json_writer::end_attempt(const attempt_info& attempt) {
    const dns_exchange& exchange = attempt.exchange;
    const dns_record& query = attempt.query;
    std::string& out = line_;
    out.clear();
    out += '{';
    field(out, "name", query.query);
    if (!attempt.name_ascii.empty()) {
        field(out, "name_ascii", attempt.name_ascii);
    }
    const std::string qtype = type_mnemonic(query.dns_type);
    field(out, "qtype", qtype);
    field(out, "qtype_code", query.dns_type);
    field(out, "qclass_code", query.dns_class);
    field(out, "server", attempt.address);
    field(out, "port", attempt.port);
    field(out, "transport", transport_name(attempt.kind));
    field(out, "attempt", attempt.number);
    if (attempt.line != 0) {
        field(out, "line", attempt.line);
    }
    field(out, "status", status_text(attempt_status(exchange)));
    const std::string_view error = failure_text(exchange.failure);
    if (exchange.failure == exchange_failure::http_status) {
        field(out, "error", std::string(error) + ' ' + std::to_string(exchange.http_status));
    } else if (!error.empty()) {
        field(out, "error", error);
    }
    if (attempt.tls_insecure) {
        flag_field(out, "tls_insecure", true);
    }
    // Messages received that were no reply (too short, another id or question): spoofing
    // attempts or stale replies, shown only when there were any.
    if (exchange.discarded != 0) {
        field(out, "discarded", exchange.discarded);
    }
    // The query wrote its identifier low byte first; on the wire it reads the other way round.
    field(out, "id", static_cast<uint16_t>((query.packet_id & 0xff) << 8 | query.packet_id >> 8));
    const std::string sent = utc_text(query.query_time);
    if (!sent.empty()) {
        field(out, "sent", sent);
    }
    const bool replied = exchange.received_size != 0;
    if (replied) {
        field(out, "received", utc_text(exchange.reply_time));
    }
    if (replied && query.query_time != 0 && exchange.reply_time >= query.query_time) {
        // 100-ns units to milliseconds with three decimals, without rounding through a double.
        const uint64_t micro = (exchange.reply_time - query.query_time) / 10;
        key(out, "rtt_ms");
        append_number(out, micro / 1000);
        out += '.';
        out += static_cast<char>('0' + micro / 100 % 10);
        out += static_cast<char>('0' + micro / 10 % 10);
        out += static_cast<char>('0' + micro % 10);
    }

    // The header is known once a reply was taken: every reply holds a whole header.
    const reply_header& header = exchange.header;
    const bool header_known = exchange.received_size >= 12;
    std::string summary;
    if (header_known) {
        const uint16_t rcode = exchange.header.full_rcode;
        summary = rcode_name(rcode);
        field(out, "rcode", summary);
        field(out, "rcode_code", rcode);
        const set_flags flags = flags_set(header);
        array_field(out, "flags", flags.list(),
                    [&](std::string_view flag) { append_string(out, flag); });
        field(out, "opcode", header.opcode);
        const std::size_t answers = exchange.answers.size();
        summary += ", ";
        append_number(summary, answers);
        summary += answers == 1 ? " answer" : " answers";
        if (header.tc) {
            summary += ", truncated";
        }
    }
    section_field(out, "questions", exchange.questions);
    section_field(out, "answers", exchange.answers);
    section_field(out, "authority", exchange.authority);
    section_field(out, "additional", exchange.additional);
    if (options_.verbose) {
        hex_field(out, "query_hex", query.bytes());
        if (replied && exchange.received_bytes) {
            hex_field(out, "reply_hex", *exchange.received_bytes);
        }
    }

    // For timeline tools (Timesketch): the time, what it stands for, and one readable line.
    if (!sent.empty()) {
        field(out, "datetime", sent);
    }
    field(out, "timestamp_desc", "DNS query sent");
    if (!error.empty()) {
        summary += summary.empty() ? "" : ", ";
        summary += error;
    }
    field(out, "message",
          qtype + " " + query.query + " @" + std::string(attempt.address) + ": " + summary);
    out += "}\n";
    if (terminal_) {
        // The strings escape every C0 control, DEL and byte of no UTF-8 character already; a
        // terminal would still act on a C1 control, which is valid UTF-8.
        out.pop_back();
        out = terminal_safe(out, "\\") + '\n';
    }
    out_.write(out.data(), static_cast<std::streamsize>(out.size()));
    out_.flush();
}

void json_writer::end() {
    out_.flush();
}

}  // namespace resq
