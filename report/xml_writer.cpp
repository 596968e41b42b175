// The XML report: one <data_entry> element per row inside a <logdata> document, and the escaping
// every XML text goes through.
#include "report/xml_writer.hpp"

#include <charconv>
#include <span>
#include <sstream>
#include <variant>

#include "dns/rdata_presentation.hpp"
#include "dns/record_types.hpp"
#include "support/kx_string.hpp"
#include "support/kx_time.hpp"
#include "support/overloaded.hpp"
#include "support/text_forms.hpp"

namespace resq {

namespace {

/// Length of the well-formed UTF-8 sequence that starts `text` and encodes a character XML 1.0
/// allows; 0 when the first byte must be escaped.
std::size_t xml_char_length(std::string_view text) {
    const auto lead = static_cast<uint8_t>(text.front());
    if (lead < 0x80) {
        // Of the C0 controls XML 1.0 carries only TAB, LF and CR.
        return lead >= 0x20 || lead == 0x09 || lead == 0x0a || lead == 0x0d ? 1 : 0;
    }
    const std::size_t length = utf8_length(text);
    // U+FFFE and U+FFFF are well-formed UTF-8 but not XML 1.0 characters.
    if (length == 3 && text.substr(0, 2) == "\xef\xbf" && static_cast<uint8_t>(text[2]) >= 0xbe) {
        return 0;
    }
    return length;
}

void write_element(std::ostream& out, std::string_view tag, std::string_view value) {
    out << '<' << tag << '>';
    write_xml_escaped(out, value);
    out << "</" << tag << '>';
}

void write_attribute(std::ostream& out, std::string_view name, std::string_view value) {
    out << ' ' << name << "=\"";
    write_xml_escaped(out, value);
    out << '"';
}

/// The attributes of <translated_data>; none for data this report does not translate.
void write_translated_data(std::ostream& out, const dns_record& record) {
    out << "<translated_data ";
    std::visit(overloaded{
                   // Raw data, and data of types this report has never translated: no attributes.
                   [](const auto&) {},
                   [&](const ipv4_rdata& value) {
                       write_attribute(out, "ipv4_addr", ipv4_text(value.address));
                   },
                   [&](const ipv6_rdata& value) {
                       write_attribute(out, "ipv6_addr", ipv6_first_run_text(value.address));
                   },
                   [&](const name_rdata& value) {
                       write_attribute(out, "domain_name", value.name ? value.name->raw() : "");
                   },
                   [&](const mx_rdata& value) {
                       // Without room for a preference (also the row of an MX lookup itself) both
                       // stay empty.
                       std::string preference;
                       if (value.preference) {
                           preference = number_text(*value.preference);
                           if (preference.size() < 3) {
                               preference.insert(0, 3 - preference.size(), ' ');
                           }
                       }
                       write_attribute(out, "preference", preference);
                       write_attribute(out, "mx_server",
                                       value.exchange ? value.exchange->raw() : "");
                   },
                   [&](const soa_fields& soa) {
                       write_attribute(out, "domain_name", soa.domain_name.raw());
                       write_attribute(out, "admin_mailbox", soa.admin_mailbox.raw());
                       write_attribute(out, "serial_num", "0x" + number_text(soa.serial_num, 16));
                       write_attribute(out, "refresh_sec", number_text(soa.refresh_sec));
                       write_attribute(out, "retry_sec", number_text(soa.retry_sec));
                       write_attribute(out, "expire_sec", number_text(soa.expire_sec));
                       write_attribute(out, "min_sec", number_text(soa.min_sec));
                   },
               },
               decode_rdata(record));
    out << "></translated_data>";
}

// The header as the body of an XML comment: escaped like every other XML text, and without the
// "--" that a comment may not hold.
std::string xml_comment_text(const std::string& header) {
    std::ostringstream escaped;
    write_xml_escaped(escaped, header);
    std::string text = escaped.str();
    for (std::size_t at = text.find("--"); at != std::string::npos; at = text.find("--", at)) {
        text.replace(at + 1, 1, "\\045");
    }
    return text;
}

}  // namespace

void write_xml_escaped(std::ostream& out, std::string_view text) {
    std::string escaped;
    escaped.reserve(text.size());
    while (!text.empty()) {
        const char c = text.front();
        const std::size_t length = xml_char_length(text);
        if (length == 0) {
            // Backslash and three decimal digits: readable, and reversible since "\" is doubled.
            append_decimal_escape(escaped, static_cast<uint8_t>(c));
            text.remove_prefix(1);
            continue;
        }
        switch (c) {
            case '&':
                escaped += "&amp;";
                break;
            case '<':
                escaped += "&lt;";
                break;
            case '>':
                escaped += "&gt;";
                break;
            case '"':
                escaped += "&quot;";
                break;
            case '\'':
                escaped += "&apos;";
                break;
            case '\\':
                escaped += "\\\\";
                break;
            default:
                escaped.append(text.substr(0, length));
                break;
        }
        text.remove_prefix(length);
    }
    out.write(escaped.data(), static_cast<std::streamsize>(escaped.size()));
}

void write_xml_entry(std::ostream& out, const report_row& row, const cmd_params& options) {
    const dns_record& record = row.record;
    std::string date_text;
    std::string time_text;
    format_date_time(date_text, time_text, kx::time(record.query_time, kx::type_time::filetime),
                     options.datetime_layout);

    std::string packet_id = number_text(record.packet_id, 16);
    packet_id.insert(0, 4 - packet_id.size(), '0');

    out << "<data_entry>";
    write_element(out, "query", record.query);
    write_element(out, "status", row.status);
    write_element(out, "packet_id", packet_id);
    write_element(out, "dns_server", row.server);
    write_element(out, "query_date_utc", date_text);
    write_element(out, "query_time_utc", time_text);
    write_element(out, "dns_type", number_text(record.dns_type));
    write_element(out, "dns_type_name", type_name(record.dns_type));
    write_element(out, "dns_class", number_text(record.dns_class));
    write_element(out, "ttl_secs", number_text(record.ttl_secs));
    write_element(out, "data_length", number_text(record.data_length));
    write_element(out, "raw_data_hex", hex_text(record.data(), " "));
    write_translated_data(out, record);
    out << "</data_entry>" << std::endl;
}

void xml_writer::begin(const report_header& header) {
    // The header block is kept as a comment after the declaration, so that the document stays
    // well-formed.
    out_ << "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<!--\n"
         << xml_comment_text(header.text) << "-->\n\n<logdata tool=\"";
    write_xml_escaped(out_, header.banner);
    out_ << "\" cmdline=\"";
    write_xml_escaped(out_, header.program);
    out_ << "\">\n" << std::flush;
}

void xml_writer::row(const report_row& row) {
    if (!terminal_) {
        write_xml_entry(out_, row, options_);
        return;
    }
    // XML keeps CR, LF, DEL and C1 controls, which a terminal would act on; its backslashes
    // are doubled, so the escapes stay unambiguous. The entry's own line end stays.
    std::ostringstream entry;
    write_xml_entry(entry, row, options_);
    std::string text = entry.str();
    text.pop_back();
    const std::string shown = terminal_safe(text) + '\n';
    out_.write(shown.data(), static_cast<std::streamsize>(shown.size()));
    out_.flush();
}

void xml_writer::end() {
    out_ << "</logdata>\n";
    out_.flush();
}

}  // namespace resq
