// One record as a row of the padded table or of delimiter-separated values.
//
// Each line is assembled in a local text and written with ostream::write, then ended with
// std::endl, so the writer neither depends on nor changes the stream's format state.
#include "report/table_writer.hpp"

#include <algorithm>
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

column_widths widths_for(const report_row& row, const cmd_params& options) {
    if (options.compact_output) {
        return column_widths{0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    }
    column_widths widths;
    // The server column is as wide as the widest server text, so that the rows of several
    // servers line up.
    widths.server = std::max(row.server.size(), row.server_width);
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

/// The query column's name: the separator's replacement made, CR and LF as spaces, and control
/// bytes shown as `\ddd` on a terminal.
std::string shown_name(const dns_record& record, const cmd_params& options, bool terminal) {
    // The root asked as "." is shown as every decoded root name is: empty.
    std::string name = record.query == "." ? std::string() : record.query;
    if (options.replace_char != 0) {
        for (char& c : name) {
            if (c == options.replace_char) {
                c = options.replace_with;
            }
        }
    }
    name = one_line(std::move(name));
    return terminal ? terminal_safe(std::move(name)) : name;
}

/// How a chosen field is headed and laid out in the padded form; data of any length gets the
/// width of a name.
struct field_layout {
    std::string_view header;
    std::size_t width;
    align side;
    char fill = ' ';
};

field_layout layout_of(report_field field, const column_widths& widths) {
    switch (field) {
        case report_field::query:
            return {"query", widths.name, align::left};
        case report_field::comment:
            return {"comment", widths.section, align::left};
        case report_field::status:
            return {"status", widths.status, align::left};
        case report_field::id:
            return {"id", widths.id, align::right, '0'};
        case report_field::server:
            return {"DNSserv", widths.server, align::right};
        case report_field::date:
            return {"date", widths.date, align::left};
        case report_field::time:
            return {"time-UTC", widths.time, align::left};
        case report_field::type:
            return {"type", widths.type, align::right};
        case report_field::type_name:
            return {"tname", widths.type_name, align::right};
        case report_field::dns_class:
            return {"class", widths.dns_class, align::right};
        case report_field::ttl:
            return {"ttl", widths.ttl, align::right};
        case report_field::size:
            return {"size", widths.size, align::right};
        case report_field::data:
            return {"data", widths.name, align::left};
        case report_field::rcode:
            return {"rcode", 9, align::left};  // BADCOOKIE, RCODE4095
        case report_field::flags:
            return {"flags", 20, align::left};  // all seven set
        case report_field::rtt:
            return {"rtt", 9, align::right};
        case report_field::transport:
            return {"transport", 9, align::left};
        case report_field::attempt:
            return {"attempt", 7, align::right};
        case report_field::line:
            return {"line", 6, align::right};
        case report_field::rdata:
            return {"rdata", widths.name, align::left};
    }
    return {"", 0, align::left};
}

/// The reply's flags that are set, in header order, separated by spaces.
std::string flags_text(const reply_header& header) {
    std::string text;
    const set_flags flags = flags_set(header);
    for (std::string_view flag : flags.list()) {
        text += text.empty() ? "" : " ";
        text += flag;
    }
    return text;
}

/// The round trip in milliseconds with three decimals; empty without a reply or its times.
std::string rtt_text(const attempt_info& attempt) {
    const uint64_t sent = attempt.query.query_time;
    const uint64_t received = attempt.exchange.reply_time;
    if (attempt.exchange.received_size == 0 || sent == 0 || received < sent) {
        return {};
    }
    // 100-ns units to microseconds, then split without rounding through a double.
    const uint64_t micro = (received - sent) / 10;
    const std::string fraction = number_text(micro % 1000);
    return number_text(micro / 1000) + "." + std::string(3 - fraction.size(), '0') + fraction;
}

/// The text of one chosen field of a row, unpadded and unquoted; `txt_row` is set when the
/// data field holds a TXT row. Fields of the attempt's reply are empty without one.
std::string field_text(report_field field, const report_row& row, const cmd_params& options,
                       bool terminal, bool& txt_row) {
    const dns_record& record = row.record;
    const attempt_info* const attempt = row.attempt;
    const bool header_known = attempt != nullptr && attempt->exchange.received_size >= 12;
    switch (field) {
        case report_field::query:
            return shown_name(record, options, terminal);
        case report_field::comment:
            return std::string(row.section);
        case report_field::status:
            return std::string(row.status);
        case report_field::id:
            return number_text(record.packet_id, 16);
        case report_field::server:
            return std::string(row.server);
        case report_field::date:
        case report_field::time: {
            std::string date_text;
            std::string time_text;
            format_date_time(date_text, time_text,
                             kx::time(record.query_time, kx::type_time::filetime),
                             options.datetime_layout);
            return field == report_field::date ? date_text : time_text;
        }
        case report_field::type:
            return number_text(record.dns_type);
        case report_field::type_name:
            return std::string(type_name(record.dns_type));
        case report_field::dns_class:
            return number_text(record.dns_class);
        case report_field::ttl:
            return number_text(record.ttl_secs);
        case report_field::size:
            return number_text(record.data_length);
        case report_field::data: {
            std::string data = data_text(record, options.compact_output ? ";" : "; ", txt_row);
            return terminal ? terminal_safe(std::move(data)) : data;
        }
        case report_field::rcode:
            return header_known ? rcode_name(attempt->exchange.header.full_rcode) : std::string();
        case report_field::flags:
            return header_known ? flags_text(attempt->exchange.header) : std::string();
        case report_field::rtt:
            return attempt != nullptr ? rtt_text(*attempt) : std::string();
        case report_field::transport:
            if (attempt == nullptr) {
                return {};
            }
            return transport_name(attempt->kind);
        case report_field::attempt:
            return attempt != nullptr ? number_text(attempt->number) : std::string();
        case report_field::line:
            return attempt != nullptr && attempt->line != 0 ? number_text(attempt->line)
                                                            : std::string();
        case report_field::rdata:
            // Master-file text escapes every byte a terminal could act on.
            return record.section == section_kind::question ? std::string()
                                                            : rdata_presentation(record);
    }
    return {};
}

/// Writes one row of the chosen fields: each padded to its width but the last, separated as the
/// table is; the empty line after a TXT row only when the data field is shown.
void write_field_row(std::ostream& out, const report_row& row,
                     const std::vector<report_field>& fields, const cmd_params& options,
                     bool terminal) {
    const column_widths widths = widths_for(row, options);
    std::string line;
    line.reserve(160);
    bool txt_row = false;
    for (std::size_t i = 0; i < fields.size(); ++i) {
        const field_layout layout = layout_of(fields[i], widths);
        if (fields[i] == report_field::time) {
            line += time_gap(options);
        }
        std::string text = field_text(fields[i], row, options, terminal, txt_row);
        if (options.compact_output) {
            text = separated_field(text, options.csv_separator);
        }
        if (i + 1 == fields.size()) {
            line += text;
            break;
        }
        put(line, text, options.compact_output ? 0 : layout.width, layout.side, layout.fill);
        line += options.csv_separator;
    }
    end_line(out, line);
    if (txt_row) {
        out << std::endl;
    }
}

/// The header line of the chosen fields, laid out as the rows are.
std::string field_header(const std::vector<report_field>& fields, const report_row& row,
                         const cmd_params& options) {
    const column_widths widths = widths_for(row, options);
    std::string header;
    for (std::size_t i = 0; i < fields.size(); ++i) {
        const field_layout layout = layout_of(fields[i], widths);
        if (fields[i] == report_field::time) {
            header += time_gap(options);
        }
        if (i + 1 == fields.size()) {
            header += layout.header;
            break;
        }
        put(header, layout.header, options.compact_output ? 0 : layout.width, align::left);
        header += options.csv_separator;
    }
    return header;
}

}  // namespace

void write_table_row(std::ostream& out, const report_row& row, const cmd_params& options,
                     bool terminal) {
    const dns_record& record = row.record;
    const column_widths widths = widths_for(row, options);
    const std::string_view separator = options.csv_separator;

    const std::string name = shown_name(record, options, terminal);

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
    if (!fields_.empty()) {
        if (header_pending_) {
            end_line(out_, field_header(fields_, row, options_));
            header_pending_ = false;
        }
        write_field_row(out_, row, fields_, options_, terminal_);
        return;
    }
    if (header_pending_) {
        // The column names, padded to the widths of the first row.
        const column_widths widths = widths_for(row, options_);
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
