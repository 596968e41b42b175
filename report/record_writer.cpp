#include "report/record_writer.hpp"

#include "report/json_writer.hpp"
#include "report/table_writer.hpp"
#include "report/xml_writer.hpp"

namespace resq {

std::unique_ptr<record_writer> make_record_writer(std::ostream& out, const cmd_params& options,
                                                  bool terminal) {
    switch (options.format) {
        case report_format::xml:
            return std::make_unique<xml_writer>(out, options, terminal);
        case report_format::json:
            return std::make_unique<json_writer>(out, options, terminal);
        case report_format::table:
            break;
    }
    return std::make_unique<table_writer>(out, options, terminal);
}

}  // namespace resq
