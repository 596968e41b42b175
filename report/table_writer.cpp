// One record as a row of the padded table or of delimiter-separated values.
//
// Each line is assembled in a local text and written with ostream::write, then ended with
// std::endl, so the writer neither depends on nor changes the stream's format state.
#include "report/table_writer.hpp"

#include <charconv>
#include <cstddef>
#include <span>
#include <string>
#include <variant>

#include "dns/rdata_presentation.hpp"
#include "dns/record_types.hpp"
#include "dns/wire_reader.hpp"
#include "report/kx_hex_view.hpp"
#include "support/kx_string.hpp"
#include "support/kx_time.hpp"
#include "support/overloaded.hpp"
#include "support/text_forms.hpp"

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

column_widths widths_for(std::string_view server, const cmd_params& options) {
    if (options.compact_output) {
        return column_widths{0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    }
    column_widths widths;
    // The server column is as wide as the -server text.
    widths.server = server.size();
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

std::string soa_number(uint32_t value) {
    std::string digits = number_text(value, 16);
    return "0x" + std::string(8 - digits.size(), '0') + digits;
}

/// The data column; `txt_row` is set for TXT rows, which are followed by an empty line. Data the
/// table does not translate, or that did not decode, is shown as hexadecimal bytes.
std::string data_text(const dns_record& record, std::string_view inner, bool& txt_row) {
    txt_row = false;
    if (record.data_length == 0) {
        return "  <none>";
    }
    const std::string hex = hex_text(record.data(), " ");
    return std::visit(
        overloaded{
            // Raw data, and data of types this report has never translated: hexadecimal.
            [&](const auto&) { return hex; },
            [&](const ipv4_rdata& value) { return ipv4_text(value.address); },
            [&](const ipv6_rdata& value) { return ipv6_groups_text(value.address); },
            [&](const name_rdata& value) { return value.name ? one_line(value.name->raw()) : hex; },
            [&](const mx_rdata& value) {
                if (!value.preference) {
                    return hex;  // no room for the preference
                }
                return number_text(*value.preference) + std::string(inner) +
                       (value.exchange ? one_line(value.exchange->raw()) : hex);
            },
            [&](const soa_fields& soa) {
                std::string text = one_line(soa.domain_name.raw());
                for (const std::string& part :
                     {one_line(soa.admin_mailbox.raw()), soa_number(soa.serial_num),
                      soa_number(soa.refresh_sec), soa_number(soa.retry_sec),
                      soa_number(soa.expire_sec), soa_number(soa.min_sec)}) {
                    text += inner;
                    text += part;
                }
                return text;
            },
            [&](const txt_rdata&) {
                // The character-strings as they stand, length bytes included; shown for answers
                // only.
                txt_row = true;
                const std::span<const uint8_t> data = record.data();
                return record.section == section_kind::answer
                           ? one_line(std::string(data.begin(), data.end()))
                           : std::string();
            },
        },
        decode_rdata(record));
}

/// A field of separated values as a CSV reader reads it back (RFC 4180): between double quotes,
/// inner quotes doubled, when it holds the separator, a double quote, CR or LF; else as it is.
std::string separated_field(std::string_view text, std::string_view separator) {
    const bool quote = (!separator.empty() && text.find(separator) != std::string_view::npos) ||
                       text.find_first_of("\"\r\n") != std::string_view::npos;
    if (!quote) {
        return std::string(text);
    }
    std::string field = "\"";
    for (const char c : text) {
        field += c;
        if (c == '"') {
            field += '"';
        }
    }
    field += '"';
    return field;
}

/// The space before the time column, which the compact form drops unless asked to keep it.
std::string_view time_gap(const cmd_params& options) {
    return options.compact_output && !options.keep_time_space ? "" : " ";
}

void end_line(std::ostream& out, const std::string& line) {
    out.write(line.data(), static_cast<std::streamsize>(line.size()));
    out << std::endl;
}

}  // namespace

void write_table_row(std::ostream& out, const report_row& row, const cmd_params& options,
                     bool terminal) {
    const dns_record& record = row.record;
    const column_widths widths = widths_for(row.server, options);
    const std::string_view separator = options.csv_separator;

    std::string name = record.query;
    if (options.replace_char != 0) {
        for (char& c : name) {
            if (c == options.replace_char) {
                c = options.replace_with;
            }
        }
    }
    name = one_line(std::move(name));
    if (terminal) {
        name = terminal_safe(name);
    }

    std::string date_text;
    std::string time_text;
    format_date_time(date_text, time_text, kx::time(record.query_time, kx::type_time::filetime),
                     options.datetime_layout);

    std::string line;
    line.reserve(160);
    // Compact rows are separated values: a field that would split the row is quoted.
    const auto column = [&](std::string_view text, std::size_t width, align side, char fill = ' ') {
        if (options.compact_output) {
            put(line, separated_field(text, separator), width, side, fill);
        } else {
            put(line, text, width, side, fill);
        }
        line += separator;
    };
    column(name, widths.name, align::left);
    column(row.section, widths.section, align::left);
    column(row.status, widths.status, align::left);
    column(number_text(record.packet_id, 16), widths.id, align::right, '0');
    column(row.server, widths.server, align::right);
    column(date_text, widths.date, align::left);
    line += time_gap(options);
    column(time_text, widths.time, align::left);
    column(number_text(record.dns_type), widths.type, align::right);
    column(type_name(record.dns_type), widths.type_name, align::right);
    column(number_text(record.dns_class), widths.dns_class, align::right);
    column(number_text(record.ttl_secs), widths.ttl, align::right);
    column(number_text(record.data_length), widths.size, align::right);

    bool txt_row = false;
    std::string data = data_text(record, options.compact_output ? ";" : "; ", txt_row);
    if (terminal) {
        data = terminal_safe(data);
    }
    line += options.compact_output ? separated_field(data, separator) : data;
    end_line(out, line);
    if (txt_row) {
        out << std::endl;
    }
}

void table_writer::begin(const report_header& header) {
    out_ << header.text << '\n' << std::flush;
}

void table_writer::row(const report_row& row) {
    if (header_pending_) {
        // The column names, padded to the widths of the first row.
        const column_widths widths = widths_for(row.server, options_);
        std::string header;
        const std::pair<std::string_view, std::size_t> columns[] = {
            {"query", widths.name},      {"comment", widths.section}, {"status", widths.status},
            {"id", widths.id},           {"DNSserv", widths.server},  {"date", widths.date},
            {"time-UTC", widths.time},   {"type", widths.type},       {"tname", widths.type_name},
            {"class", widths.dns_class}, {"ttl", widths.ttl},         {"size", widths.size}};
        for (const auto& [word, width] : columns) {
            if (word == "time-UTC") {
                header += time_gap(options_);
            }
            put(header, word, width, align::left);
            header += options_.csv_separator;
        }
        header += "data";
        end_line(out_, header);
        header_pending_ = false;
    }
    write_table_row(out_, row, options_, terminal_);
}

void table_writer::end_attempt(const attempt_info& attempt) {
    if (options_.verbose) {
        write_verbose_block(out_, attempt.exchange);
    }
}

void table_writer::end() {
    out_.flush();
}

}  // namespace resq
