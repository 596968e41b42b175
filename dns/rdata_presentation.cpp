#include "dns/rdata_presentation.hpp"

#include <algorithm>
#include <chrono>
#include <optional>
#include <string_view>
#include <type_traits>
#include <utility>
#include <variant>
#include <vector>

#include "dns/edns_options.hpp"
#include "dns/record_types.hpp"
#include "dns/wire_reader.hpp"
#include "support/kx_string.hpp"
#include "support/text_forms.hpp"

namespace resq {

namespace {

using text = std::optional<std::string>;

std::string upper_hex(std::span<const uint8_t> bytes) {
    return hex_text(bytes, {}, hex_case::upper);
}

// RFC 3597 5: "\#", the length, and the bytes in hexadecimal when there are any.
std::string unknown_form(std::span<const uint8_t> data) {
    std::string form = "\\# " + number_text(data.size());
    if (!data.empty()) {
        form += ' ';
        form += upper_hex(data);
    }
    return form;
}

// A character-string between double quotes: '"' and '\' behind a backslash, bytes outside
// printable ASCII as decimal escapes; spaces stay as they are.
void append_quoted(std::string& out, std::string_view chars) {
    out += '"';
    append_master_text(out, chars, "\"\\", false);
    out += '"';
}

std::string quoted(std::string_view chars) {
    std::string out;
    append_quoted(out, chars);
    return out;
}

// Seconds since 1970 as YYYYMMDDHHmmSS in UTC (RFC 4034 3.2).
std::string signature_time(uint32_t value) {
    using namespace std::chrono;
    const sys_seconds moment{seconds{value}};
    const sys_days day = floor<days>(moment);
    const year_month_day date{day};
    const hh_mm_ss clock{moment - day};
    std::string digits = number_text(static_cast<int>(date.year()));
    for (const auto part : {static_cast<unsigned>(date.month()), static_cast<unsigned>(date.day()),
                            static_cast<unsigned>(clock.hours().count()),
                            static_cast<unsigned>(clock.minutes().count()),
                            static_cast<unsigned>(clock.seconds().count())}) {
        digits += static_cast<char>('0' + part / 10);
        digits += static_cast<char>('0' + part % 10);
    }
    return digits;
}

std::string_view svc_key_name(uint16_t key) {
    switch (key) {
        case svc_mandatory:
            return "mandatory";
        case svc_alpn:
            return "alpn";
        case svc_no_default_alpn:
            return "no-default-alpn";
        case svc_port:
            return "port";
        case svc_ipv4hint:
            return "ipv4hint";
        case svc_ech:
            return "ech";
        case svc_ipv6hint:
            return "ipv6hint";
        case svc_dohpath:
            return "dohpath";
        default:
            return {};
    }
}

std::string svc_key_text(uint16_t key) {
    const std::string_view name = svc_key_name(key);
    return name.empty() ? "key" + number_text(key) : std::string(name);
}

// "key=value" of one SvcParam (RFC 9460 2.1), its value already checked against its key.
std::string svc_param_text(const svc_param& param) {
    std::string out = svc_key_text(param.key);
    const std::span<const uint8_t> value(param.value);
    wire_reader reader(value);
    std::string list;
    const auto item = [&](const std::string& entry) {
        list += list.empty() ? "" : ",";
        list += entry;
    };
    switch (param.key) {
        case svc_no_default_alpn:
            return out;
        case svc_mandatory:
            while (reader.remaining() != 0) {
                item(svc_key_text(reader.u16()));
            }
            return out + "=" + list;
        case svc_alpn:
            // A value-list: ',' and '\' inside an id are escaped once for the list and once more
            // for the quoted string (RFC 9460 A.1).
            while (reader.remaining() != 0) {
                std::string id;
                reader.copy(id, reader.u8());
                std::string escaped;
                for (const char c : id) {
                    escaped += c == ',' || c == '\\' ? "\\" : "";
                    escaped += c;
                }
                item(escaped);
            }
            return out + "=" + quoted(list);
        case svc_port:
            return out + "=" + number_text(reader.u16());
        case svc_ipv4hint:
        case svc_ipv6hint: {
            const std::size_t size = param.key == svc_ipv4hint ? 4 : 16;
            std::vector<uint8_t> address;
            while (reader.copy(address, size)) {
                item(size == 4 ? ipv4_text(address) : ipv6_text(address));
                address.clear();
            }
            return out + "=" + list;
        }
        case svc_ech:
            return out + "=" + base64_text(value);
        default: {
            // Other keys: their value as a quoted string, or the key alone when it is empty.
            std::string chars;
            reader.copy(chars, value.size());
            return chars.empty() ? out : out + "=" + quoted(chars);
        }
    }
}

// The bytes of `chars` with each byte outside printable ASCII as ".", as dig shows an NSID.
std::string printable_text(std::span<const uint8_t> chars) {
    std::string out;
    for (const uint8_t byte : chars) {
        out += byte >= 0x20 && byte < 0x7f ? static_cast<char>(byte) : '.';
    }
    return out;
}

// One option as dig writes it on its own line, without the leading "; ": "NSID: 6e 73 ("ns")",
// "ECS: 192.0.2.0/24/0", "COOKIE: CLIENT SERVER", "EDE: 18 (Prohibited): (text)". An option
// without a decoder, or whose data does not decode, is its name (or OPT and its code) and its
// bytes in hexadecimal after "=".
std::string edns_option_text(const edns_option& option) {
    const std::string_view name = edns_option_name(option.code);
    std::string out = name.empty() ? "OPT" + number_text(option.code) : std::string(name);
    const auto typed = [&](const auto& value) -> bool {
        using kind = std::decay_t<decltype(value)>;
        if constexpr (std::is_same_v<kind, nsid_value>) {
            if (value.id.empty()) {
                return true;  // as asked in a query: no identifier yet
            }
            out += ":";
            for (const uint8_t byte : value.id) {
                out += byte < 0x10 ? " 0" : " ";
                out += number_text(byte, 16);
            }
            out += " (\"" + printable_text(value.id) + "\")";
        } else if constexpr (std::is_same_v<kind, client_subnet_value>) {
            out += ": " + client_subnet_address(value) + "/" + number_text(value.source_prefix) +
                   "/" + number_text(value.scope_prefix);
        } else if constexpr (std::is_same_v<kind, cookie_value>) {
            out += ": " + hex_text(value.client);
            if (!value.server.empty()) {
                out += " " + hex_text(value.server);
            }
        } else if constexpr (std::is_same_v<kind, extended_error_value>) {
            out += ": " + number_text(value.info_code);
            const std::string_view meaning = extended_error_name(value.info_code);
            if (!meaning.empty()) {
                out += " (" + std::string(meaning) + ")";
            }
            if (!value.extra_text.empty()) {
                const auto* chars = reinterpret_cast<const uint8_t*>(value.extra_text.data());
                out += ": (" + printable_text({chars, value.extra_text.size()}) + ")";
            }
        } else {
            return false;
        }
        return true;
    };
    if (!std::visit(typed, decode_edns_option(option)) && !option.data.empty()) {
        out += "=" + upper_hex(option.data);
    }
    return out;
}

// The master-file text of each kind of decoded data; empty where the data does not fill its
// fields exactly, which the caller shows in the RFC 3597 form.
struct presenter {
    std::size_t data_size;

    text operator()(const raw_rdata&) const { return std::nullopt; }

    text operator()(const ipv4_rdata& value) const { return ipv4_text(value.address); }

    text operator()(const ipv6_rdata& value) const {
        std::string address = ipv6_text(value.address);
        return address.empty() ? std::nullopt : text(address);
    }

    text operator()(const name_rdata& value) const {
        return value.name && value.exact ? text(value.name->escaped()) : std::nullopt;
    }

    text operator()(const mx_rdata& value) const {
        if (!value.preference || !value.exchange || !value.exact) {
            return std::nullopt;
        }
        return number_text(*value.preference) + " " + value.exchange->escaped();
    }

    text operator()(const soa_fields& soa) const {
        if (!soa.exact) {
            return std::nullopt;
        }
        std::string out = soa.domain_name.escaped() + " " + soa.admin_mailbox.escaped();
        for (const uint32_t number :
             {soa.serial_num, soa.refresh_sec, soa.retry_sec, soa.expire_sec, soa.min_sec}) {
            out += " " + number_text(number);
        }
        return out;
    }

    text operator()(const txt_rdata& value) const {
        // The strings fill the data only when none was cut short; RFC 1035 3.3.14 asks for one.
        std::size_t size = 0;
        std::string out;
        for (const std::string& string : value.strings) {
            size += 1 + string.size();
            out += out.empty() ? "" : " ";
            append_quoted(out, string);
        }
        return size == data_size && size != 0 ? text(out) : std::nullopt;
    }

    text operator()(const srv_rdata& value) const {
        return number_text(value.priority) + " " + number_text(value.weight) + " " +
               number_text(value.port) + " " + value.target.escaped();
    }

    text operator()(const caa_rdata& value) const {
        return number_text(value.flags) + " " + value.tag + " " + quoted(value.value);
    }

    text operator()(const naptr_rdata& value) const {
        return number_text(value.order) + " " + number_text(value.preference) + " " +
               quoted(value.flags) + " " + quoted(value.services) + " " + quoted(value.regexp) +
               " " + value.replacement.escaped();
    }

    text operator()(const ds_rdata& value) const {
        return number_text(value.key_tag) + " " + number_text(value.algorithm) + " " +
               number_text(value.digest_type) + " " + upper_hex(value.digest);
    }

    text operator()(const dnskey_rdata& value) const {
        return number_text(value.flags) + " " + number_text(value.protocol) + " " +
               number_text(value.algorithm) + " " + base64_text(value.public_key);
    }

    text operator()(const rrsig_rdata& value) const {
        return type_mnemonic(value.type_covered) + " " + number_text(value.algorithm) + " " +
               number_text(value.labels) + " " + number_text(value.original_ttl) + " " +
               signature_time(value.expiration) + " " + signature_time(value.inception) + " " +
               number_text(value.key_tag) + " " + value.signer_name.escaped() + " " +
               base64_text(value.signature);
    }

    text operator()(const nsec_rdata& value) const {
        if (!value.complete) {
            return std::nullopt;
        }
        std::string out = value.next_name.escaped();
        for (const uint16_t type : value.types) {
            out += " " + type_mnemonic(type);
        }
        return out;
    }

    text operator()(const tlsa_rdata& value) const {
        return number_text(value.usage) + " " + number_text(value.selector) + " " +
               number_text(value.matching_type) + " " + upper_hex(value.data);
    }

    text operator()(const sshfp_rdata& value) const {
        return number_text(value.algorithm) + " " + number_text(value.fingerprint_type) + " " +
               upper_hex(value.fingerprint);
    }

    text operator()(const svcb_rdata& value) const {
        if (!value.complete) {
            return std::nullopt;
        }
        std::string out = number_text(value.priority) + " " + value.target.escaped();
        for (const svc_param& param : value.params) {
            out += " " + svc_param_text(param);
        }
        return out;
    }

    text operator()(const opt_rdata& value) const {
        // OPT has no master-file form; this one names each field as dig's EDNS lines do.
        if (!value.complete) {
            return std::nullopt;
        }
        std::string out = "udp=" + number_text(value.udp_size) +
                          " ercode=" + number_text(value.extended_rcode) +
                          " version=" + number_text(value.version);
        if (value.dnssec_ok) {
            out += " flags=do";
        }
        if ((value.flags & 0x7fff) != 0) {
            out += " z=0x" + number_text(value.flags & 0x7fff, 16);
        }
        for (const edns_option& option : value.options) {
            out += "; " + edns_option_text(option);
        }
        return out;
    }
};

}  // namespace

std::string rdata_presentation(const dns_record& record) {
    return rdata_presentation(record, decode_rdata(record));
}

std::string rdata_presentation(const dns_record& record, const rdata_value& value) {
    if (record.section == section_kind::question) {
        return {};
    }
    const text form = std::visit(presenter{record.data().size()}, value);
    return form ? *form : unknown_form(record.data());
}

}  // namespace resq
