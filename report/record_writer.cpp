#include "report/record_writer.hpp"

#include <algorithm>
#include <utility>

#include "report/json_writer.hpp"
#include "report/short_writer.hpp"
#include "report/table_writer.hpp"
#include "report/xml_writer.hpp"
#include "support/kx_string.hpp"

namespace resq {

namespace {

// The names -fields takes, lower case: today's columns by their header words, then the new ones.
constexpr std::pair<std::string_view, report_field> field_names[] = {
    {"query", report_field::query},
    {"comment", report_field::comment},
    {"status", report_field::status},
    {"id", report_field::id},
    {"dnsserv", report_field::server},
    {"date", report_field::date},
    {"time", report_field::time},
    {"type", report_field::type},
    {"tname", report_field::type_name},
    {"class", report_field::dns_class},
    {"ttl", report_field::ttl},
    {"size", report_field::size},
    {"data", report_field::data},
    {"rcode", report_field::rcode},
    {"flags", report_field::flags},
    {"rtt", report_field::rtt},
    {"transport", report_field::transport},
    {"attempt", report_field::attempt},
    {"line", report_field::line},
    {"rdata", report_field::rdata},
};

}  // namespace

bool parse_report_fields(std::string_view list, std::vector<report_field>& fields,
                         std::string& bad) {
    fields.clear();
    while (true) {
        const std::size_t comma = list.find(',');
        const std::string_view word = list.substr(0, comma);
        const std::string name = to_lower(word);
        const auto* const known =
            std::find_if(std::begin(field_names), std::end(field_names),
                         [&](const auto& entry) { return entry.first == name; });
        if (known == std::end(field_names) ||
            std::find(fields.begin(), fields.end(), known->second) != fields.end()) {
            bad = std::string(word);
            return false;
        }
        fields.push_back(known->second);
        if (comma == std::string_view::npos) {
            return true;
        }
        list.remove_prefix(comma + 1);
    }
}

std::unique_ptr<record_writer> make_record_writer(std::ostream& out, const cmd_params& options,
                                                  bool terminal, const report_view& view,
                                                  std::ostream& err) {
    switch (options.format) {
        case report_format::xml:
            return std::make_unique<xml_writer>(out, options, terminal);
        case report_format::json:
            return std::make_unique<json_writer>(out, options, terminal);
        case report_format::table:
            break;
    }
    if (view.short_answers) {
        return std::make_unique<short_writer>(out, err, options, terminal);
    }
    return std::make_unique<table_writer>(out, options, terminal, view.fields);
}

}  // namespace resq
