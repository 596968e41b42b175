#include "support/text_forms.hpp"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <algorithm>

#include "support/kx_string.hpp"

namespace resq {

namespace {

constexpr std::string_view lower_digits = "0123456789abcdef";
constexpr std::string_view upper_digits = "0123456789ABCDEF";

std::string_view digits_of(hex_case letters) {
    return letters == hex_case::upper ? upper_digits : lower_digits;
}

// The 16-bit group `index` of `address`, most significant byte first.
unsigned group_at(std::span<const uint8_t> address, std::size_t index) {
    return static_cast<unsigned>(address[2 * index]) << 8 | address[2 * index + 1];
}

}  // namespace

void append_decimal_escape(std::string& out, uint8_t byte) {
    out += '\\';
    out += static_cast<char>('0' + byte / 100);
    out += static_cast<char>('0' + byte / 10 % 10);
    out += static_cast<char>('0' + byte % 10);
}

void append_master_text(std::string& out, std::string_view bytes, std::string_view specials,
                        bool escape_space) {
    for (const char c : bytes) {
        const auto byte = static_cast<uint8_t>(c);
        if (byte < 0x20 || byte >= 0x7f || (escape_space && byte == 0x20)) {
            append_decimal_escape(out, byte);
            continue;
        }
        if (specials.find(c) != std::string_view::npos) {
            out += '\\';
        }
        out += c;
    }
}

void append_hex(std::string& out, uint32_t value, int digits, hex_case letters) {
    const std::string_view table = digits_of(letters);
    for (int shift = (digits - 1) * 4; shift >= 0; shift -= 4) {
        out += table[value >> shift & 0x0fu];
    }
}

std::string hex_text(std::span<const uint8_t> bytes, std::string_view separator, hex_case letters) {
    std::string hex;
    hex.reserve(bytes.size() * (2 + separator.size()));
    for (const uint8_t byte : bytes) {
        if (!hex.empty()) {
            hex += separator;
        }
        append_hex(hex, byte, 2, letters);
    }
    return hex;
}

std::string base64_text(std::span<const uint8_t> bytes) {
    constexpr std::string_view alphabet =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string encoded;
    encoded.reserve((bytes.size() + 2) / 3 * 4);
    // Each three bytes become four characters; a last group of one or two bytes is padded.
    for (std::size_t at = 0; at < bytes.size(); at += 3) {
        const std::size_t count = std::min<std::size_t>(3, bytes.size() - at);
        uint32_t group = 0;
        for (std::size_t i = 0; i < 3; ++i) {
            group = group << 8 | (i < count ? bytes[at + i] : 0u);
        }
        for (std::size_t i = 0; i < 4; ++i) {
            encoded += i <= count ? alphabet[group >> (18 - 6 * i) & 0x3f] : '=';
        }
    }
    return encoded;
}

std::string base64url_text(std::span<const uint8_t> bytes) {
    std::string encoded = base64_text(bytes);
    std::erase(encoded, '=');
    std::ranges::replace(encoded, '+', '-');
    std::ranges::replace(encoded, '/', '_');
    return encoded;
}

std::string ipv4_text(std::span<const uint8_t> address) {
    std::string dotted;
    for (const uint8_t byte : address) {
        if (!dotted.empty()) {
            dotted += '.';
        }
        dotted += number_text(byte);
    }
    return dotted;
}

std::string ipv6_text(std::span<const uint8_t> address) {
    in6_addr bytes{};
    char text[INET6_ADDRSTRLEN] = {};
    if (address.size() != sizeof bytes.s6_addr) {
        return {};
    }
    std::copy(address.begin(), address.end(), bytes.s6_addr);
    return inet_ntop(AF_INET6, &bytes, text, sizeof text) != nullptr ? text : std::string();
}

std::string ipv6_groups_text(std::span<const uint8_t> address) {
    std::string text;
    for (std::size_t group = 0; group < address.size() / 2; ++group) {
        if (group != 0) {
            text += ':';
        }
        text += number_text(group_at(address, group), 16);
    }
    return text;
}

std::string ipv6_first_run_text(std::span<const uint8_t> address) {
    std::string text;
    const std::size_t groups = address.size() / 2;
    bool in_run = false;
    bool run_used = false;
    for (std::size_t i = 0; i < groups; ++i) {
        const unsigned group = group_at(address, i);
        if (group != 0) {
            text += number_text(group, 16);
            in_run = false;
        } else if (in_run) {
            continue;  // inside the compressed run: not even a separator
        } else if (run_used) {
            text += '0';
        } else {
            // The first zero group opens the one run written as "::".
            in_run = true;
            run_used = true;
            if (i == 0) {
                text += ':';
            }
        }
        if (i + 1 < groups) {
            text += ':';
        }
    }
    return text;
}

std::size_t terminal_control_length(std::string_view text) {
    if (text.empty()) {
        return 0;
    }
    const auto lead = static_cast<uint8_t>(text[0]);
    if (lead < 0x80) {
        return (lead < 0x20 && lead != '\t') || lead == 0x7f ? 1 : 0;
    }
    const std::size_t length = utf8_length(text);
    if (length == 0) {
        return lead <= 0x9f ? 1 : 0;
    }
    return length == 2 && lead == 0xc2 && static_cast<uint8_t>(text[1]) <= 0x9f ? 2 : 0;
}

std::string terminal_safe(std::string_view text, std::string_view lead) {
    std::string shown;
    shown.reserve(text.size());
    while (!text.empty()) {
        std::size_t control = terminal_control_length(text);
        if (control == 0) {
            // A well-formed sequence goes whole, so none of its bytes is taken for a lead.
            const std::size_t length = std::max<std::size_t>(1, utf8_length(text));
            shown.append(text.substr(0, length));
            text.remove_prefix(length);
            continue;
        }
        for (; control != 0; --control) {
            shown += lead;
            append_decimal_escape(shown, static_cast<uint8_t>(text.front()));
            text.remove_prefix(1);
        }
    }
    return shown;
}

}  // namespace resq
