// One record as a row of the padded table or of delimiter-separated values.
//
// Each line is assembled in a local text and written with ostream::write, then ended with
// std::endl, so the writer neither depends on nor changes the stream's format state.
#include "report/table_writer.hpp"

#include <charconv>
#include <cstddef>
#include <string>

#include "dns/record_types.hpp"
#include "dns/reply_decoder.hpp"
#include "dns/wire_reader.hpp"
#include "report/kx_hex_view.hpp"
#include "support/kx_string.hpp"
#include "support/kx_time.hpp"

namespace resq {

namespace {

enum class align { left, right };

/// Column widths of the padded form; the compact form uses none of them.
struct column_widths {
    std::size_t name = 40;
    std::size_t section = 9;
    std::size_t status = 7;
    std::size_t id = 4;
    std::size_t server = 0;
    std::size_t date = 0;
    std::size_t time = 0;
    std::size_t type = 4;
    std::size_t type_name = 6;
    std::size_t dns_class = 5;
    std::size_t ttl = 6;
    std::size_t size = 4;
};

column_widths widths_for(const dns_record& record, const cmd_params& options) {
    if (options.compact_output) {
        return column_widths{0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    }
    column_widths widths;
    // The server column is as wide as the -server text. Every row carries that text in
    // dns_server (the exchange stores it in the query and in every decoded entry), so the
    // record's own copy gives the width.
    widths.server = record.dns_server.size();
    widths.date = date_pattern_width(options.date_format);
    widths.time = time_pattern_width(options.time_format);
    return widths;
}

/// Appends `text` padded with `fill` to `width`; a longer text is written whole.
void put(std::string& line, std::string_view text, std::size_t width, align side, char fill = ' ') {
    const std::size_t pad = text.size() < width ? width - text.size() : 0;
    if (side == align::right) {
        line.append(pad, fill);
    }
    line += text;
    if (side == align::left) {
        line.append(pad, fill);
    }
}

/// Carriage returns and line feeds become spaces, so no text can start a row of its own.
std::string one_line(std::string text) {
    for (char& c : text) {
        if (c == '\r' || c == '\n') {
            c = ' ';
        }
    }
    return text;
}

/// The name at `offset` of the record's message on one line; false when it does not decode.
bool name_at(const dns_record& record, std::size_t offset, std::string& name) {
    if (offset > UINT32_MAX ||
        decode_name(record.message, static_cast<uint32_t>(offset), name) == 0) {
        return false;
    }
    name = one_line(std::move(name));
    return true;
}

std::string ipv4_text(std::span<const uint8_t> data) {
    wire_reader reader(data);
    std::string text;
    for (int i = 0; i < 4; ++i) {
        if (i != 0) {
            text.push_back('.');
        }
        text += number_text(reader.u8());
    }
    return text;
}

/// AAAA data as all its 16-bit groups, none shortened.
std::string ipv6_groups_text(std::span<const uint8_t> data) {
    wire_reader reader(data);
    std::string text;
    for (std::size_t group = 0; group < data.size() / 2; ++group) {
        if (group != 0) {
            text.push_back(':');
        }
        text += number_text(reader.u16(), 16);
    }
    return text;
}

std::string soa_number(uint32_t value) {
    std::string digits = number_text(value, 16);
    return "0x" + std::string(8 - digits.size(), '0') + digits;
}

/// The data column; `txt_row` is set for TXT rows, which are followed by an empty line.
std::string data_text(const dns_record& record, std::string_view inner, bool& txt_row) {
    txt_row = false;
    if (record.data_length == 0) {
        return "  <none>";
    }
    const std::span<const uint8_t> data = record_data(record);
    std::string name;
    switch (record.dns_type) {
        case type_a:
            return data.size() == 4 && record.data_length == 4 ? ipv4_text(data) : hex_text(data);
        case type_aaaa:
            return ipv6_groups_text(data);
        case type_mx: {
            if (data.size() < 2) {
                return hex_text(data);  // no room for the preference
            }
            wire_reader reader(data);
            std::string text = number_text(reader.u16());
            text += inner;
            text +=
                name_at(record, std::size_t{record.data_offset} + 2, name) ? name : hex_text(data);
            return text;
        }
        case type_ns:
        case type_ptr:
        case type_cname:
            return name_at(record, record.data_offset, name) ? name : hex_text(data);
        case type_soa: {
            soa_fields soa;
            if (!decode_soa(record.message, record.data_offset, soa)) {
                return hex_text(data);
            }
            std::string text = one_line(soa.domain_name);
            for (const std::string& part : {one_line(soa.admin_mailbox), soa_number(soa.serial_num),
                                            soa_number(soa.refresh_sec), soa_number(soa.retry_sec),
                                            soa_number(soa.expire_sec), soa_number(soa.min_sec)}) {
                text += inner;
                text += part;
            }
            return text;
        }
        case type_txt:  // the character-strings as they stand, length bytes included
            txt_row = true;
            return one_line(std::string(record.data_bytes.begin(), record.data_bytes.end()));
        default:
            return hex_text(data);
    }
}

void end_line(std::ostream& out, const std::string& line) {
    out.write(line.data(), static_cast<std::streamsize>(line.size()));
    out << std::endl;
}

}  // namespace

void write_table_row(const dns_record& record, std::ostream& out, std::string_view section,
                     std::string_view status, cmd_params& options) {
    const column_widths widths = widths_for(record, options);
    const std::string_view separator = options.csv_separator;
    const std::string_view time_gap = options.compact_output && !options.keep_time_space ? "" : " ";

    if (options.header_pending) {
        std::string header;
        const std::pair<std::string_view, std::size_t> columns[] = {
            {"query", widths.name},      {"comment", widths.section}, {"status", widths.status},
            {"id", widths.id},           {"DNSserv", widths.server},  {"date", widths.date},
            {"time-UTC", widths.time},   {"type", widths.type},       {"tname", widths.type_name},
            {"class", widths.dns_class}, {"ttl", widths.ttl},         {"size", widths.size}};
        for (const auto& [word, width] : columns) {
            if (word == "time-UTC") {
                header += time_gap;
            }
            put(header, word, width, align::left);
            header += separator;
        }
        header += "data";
        end_line(out, header);
        options.header_pending = false;
    }

    std::string name = record.query;
    if (options.replace_char != 0) {
        for (char& c : name) {
            if (c == options.replace_char) {
                c = options.replace_with;
            }
        }
    }
    name = one_line(std::move(name));

    std::string date_text;
    std::string time_text;
    format_date_time(date_text, time_text, kx::time(record.query_time, kx::type_time::filetime),
                     options.datetime_layout);

    std::string row;
    row.reserve(160);
    const auto column = [&](std::string_view text, std::size_t width, align side, char fill = ' ') {
        put(row, text, width, side, fill);
        row += separator;
    };
    column(name, widths.name, align::left);
    column(section, widths.section, align::left);
    column(status, widths.status, align::left);
    column(number_text(record.packet_id, 16), widths.id, align::right, '0');
    column(record.dns_server, widths.server, align::right);
    column(date_text, widths.date, align::left);
    row += time_gap;
    column(time_text, widths.time, align::left);
    column(number_text(record.dns_type), widths.type, align::right);
    column(type_name(record.dns_type), widths.type_name, align::right);
    column(number_text(record.dns_class), widths.dns_class, align::right);
    column(number_text(record.ttl_secs), widths.ttl, align::right);
    column(number_text(record.data_length), widths.size, align::right);

    bool txt_row = false;
    row += data_text(record, options.compact_output ? ";" : "; ", txt_row);
    end_line(out, row);
    if (txt_row) {
        out << std::endl;
    }
}

}  // namespace resq
