// Record data in master-file form: the text a zone file holds after the type, as RFC 1035 5.1
// and the RFC of each type write it, and the RFC 3597 form for data that has no decoder or does
// not decode.
//
// The text is the one `dig +noall +answer` shows, but for three choices: hexadecimal and base64
// fields stay one word where dig breaks them every 56 characters, SvcParamKey 7 is named dohpath
// (RFC 9461) where dig 9.18 writes key7, and OPT, which has no master-file form, is written as
// named fields ("udp=1232 ercode=0 version=0 flags=do NSID=6E73").
#pragma once

#include <string>

#include "dns/dns_record.hpp"
#include "dns/record_types.hpp"

namespace resq {

/// The data of `record` in master-file form; empty for a question, which carries none.
std::string rdata_presentation(const dns_record& record);

/// The same, from the data `value` that decode_rdata() gave for `record`.
std::string rdata_presentation(const dns_record& record, const rdata_value& value);

}  // namespace resq
