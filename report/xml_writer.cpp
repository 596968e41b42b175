// One record as a <data_entry> element, and the escaping every XML text goes through.
#include "report/xml_writer.hpp"

#include <charconv>
#include <span>

#include "dns/record_types.hpp"
#include "dns/reply_decoder.hpp"
#include "dns/wire_reader.hpp"
#include "report/kx_hex_view.hpp"
#include "support/kx_string.hpp"
#include "support/kx_time.hpp"

namespace resq {

namespace {

/// Length of the well-formed UTF-8 sequence that starts `text` and encodes a character XML 1.0
/// allows; 0 when the first byte must be escaped. Follows the well-formed byte table of the
/// Unicode standard, which rules out overlong forms, surrogates and values above U+10FFFF.
std::size_t xml_char_length(std::string_view text) {
    const auto byte = [&](std::size_t i) { return static_cast<uint8_t>(text[i]); };
    const uint8_t lead = byte(0);
    if (lead < 0x80) {
        // Of the C0 controls XML 1.0 carries only TAB, LF and CR.
        return lead >= 0x20 || lead == 0x09 || lead == 0x0a || lead == 0x0d ? 1 : 0;
    }
    std::size_t length = 0;
    uint8_t low = 0x80;  // bounds of the second byte; the later ones are always 0x80-0xbf
    uint8_t high = 0xbf;
    if (lead >= 0xc2 && lead <= 0xdf) {
        length = 2;
    } else if (lead >= 0xe0 && lead <= 0xef) {
        length = 3;
        if (lead == 0xe0) {
            low = 0xa0;  // below: overlong
        } else if (lead == 0xed) {
            high = 0x9f;  // above: UTF-16 surrogates
        }
    } else if (lead >= 0xf0 && lead <= 0xf4) {
        length = 4;
        if (lead == 0xf0) {
            low = 0x90;  // below: overlong
        } else if (lead == 0xf4) {
            high = 0x8f;  // above: beyond U+10FFFF
        }
    } else {
        return 0;  // a continuation byte, an overlong lead (c0, c1) or f5-ff
    }
    if (text.size() < length || byte(1) < low || byte(1) > high) {
        return 0;
    }
    for (std::size_t i = 2; i < length; ++i) {
        if (byte(i) < 0x80 || byte(i) > 0xbf) {
            return 0;
        }
    }
    // U+FFFE and U+FFFF are well-formed UTF-8 but not XML 1.0 characters.
    if (length == 3 && lead == 0xef && byte(1) == 0xbf && byte(2) >= 0xbe) {
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

/// The name at `offset` of the record's message, empty when it does not decode.
std::string name_at(const dns_record& record, uint64_t offset) {
    std::string name;
    if (offset > UINT32_MAX ||
        decode_name(record.message, static_cast<uint32_t>(offset), name) == 0) {
        name.clear();
    }
    return name;
}

void write_translated_data(std::ostream& out, const dns_record& record) {
    const std::span<const uint8_t> data = record_data(record);
    out << "<translated_data ";
    switch (record.dns_type) {
        case type_a:
            if (record.data_length == 4 && data.size() == 4) {
                wire_reader reader(data);
                std::string address;
                for (int i = 0; i < 4; ++i) {
                    if (i != 0) {
                        address += '.';
                    }
                    address += number_text(reader.u8());
                }
                write_attribute(out, "ipv4_addr", address);
            }
            break;
        case type_aaaa: {
            std::string address;
            ipv6_to_text(data.data(), data.size(), address);
            write_attribute(out, "ipv6_addr", address);
            break;
        }
        case type_mx:
            if (data.size() < 2) {
                // No room for a preference (also the row of an MX lookup itself).
                write_attribute(out, "preference", "");
                write_attribute(out, "mx_server", "");
            } else {
                wire_reader reader(data);
                std::string preference = number_text(reader.u16());
                if (preference.size() < 3) {
                    preference.insert(0, 3 - preference.size(), ' ');
                }
                write_attribute(out, "preference", preference);
                write_attribute(out, "mx_server",
                                name_at(record, uint64_t{record.data_offset} + 2));
            }
            break;
        case type_ns:
        case type_ptr:
        case type_cname:
            write_attribute(out, "domain_name", name_at(record, record.data_offset));
            break;
        case type_soa: {
            soa_fields soa;
            if (decode_soa(record.message, record.data_offset, soa)) {
                write_attribute(out, "domain_name", soa.domain_name);
                write_attribute(out, "admin_mailbox", soa.admin_mailbox);
                write_attribute(out, "serial_num", "0x" + number_text(soa.serial_num, 16));
                write_attribute(out, "refresh_sec", number_text(soa.refresh_sec));
                write_attribute(out, "retry_sec", number_text(soa.retry_sec));
                write_attribute(out, "expire_sec", number_text(soa.expire_sec));
                write_attribute(out, "min_sec", number_text(soa.min_sec));
            }
            break;
        }
        default:
            break;
    }
    out << "></translated_data>";
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
            const auto value = static_cast<uint8_t>(c);
            escaped += '\\';
            escaped += static_cast<char>('0' + value / 100);
            escaped += static_cast<char>('0' + value / 10 % 10);
            escaped += static_cast<char>('0' + value % 10);
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

bool ipv6_to_text(const uint8_t* bytes, std::size_t length, std::string& out) {
    out.clear();
    if (bytes == nullptr || length == 0) {
        return false;
    }
    wire_reader reader(std::span<const uint8_t>(bytes, length));
    const std::size_t groups = length / 2;
    bool in_run = false;
    bool run_used = false;
    for (std::size_t i = 0; i < groups; ++i) {
        const uint16_t group = reader.u16();
        if (group != 0) {
            out += number_text(group, 16);
            in_run = false;
        } else if (in_run) {
            continue;  // inside the compressed run: not even a separator
        } else if (run_used) {
            out += '0';
        } else {
            // The first zero group opens the one run written as "::".
            in_run = true;
            run_used = true;
            if (i == 0) {
                out += ':';
            }
        }
        if (i + 1 < groups) {
            out += ':';
        }
    }
    return true;
}

void write_xml_entry(const dns_record& record, std::ostream& out, const cmd_params& options,
                     std::string_view status) {
    std::string date_text;
    std::string time_text;
    format_date_time(date_text, time_text, kx::time(record.query_time, kx::type_time::filetime),
                     options.datetime_layout);

    std::string packet_id = number_text(record.packet_id, 16);
    packet_id.insert(0, 4 - packet_id.size(), '0');

    out << "<data_entry>";
    write_element(out, "query", record.query);
    write_element(out, "status", status);
    write_element(out, "packet_id", packet_id);
    write_element(out, "dns_server", record.dns_server);
    write_element(out, "query_date_utc", date_text);
    write_element(out, "query_time_utc", time_text);
    write_element(out, "dns_type", number_text(record.dns_type));
    write_element(out, "dns_type_name", type_name(record.dns_type));
    write_element(out, "dns_class", number_text(record.dns_class));
    write_element(out, "ttl_secs", number_text(record.ttl_secs));
    write_element(out, "data_length", number_text(record.data_length));
    write_element(out, "raw_data_hex", hex_text(record_data(record)));
    write_translated_data(out, record);
    out << "</data_entry>" << std::endl;
}

}  // namespace resq
