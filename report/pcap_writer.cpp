#include "report/pcap_writer.hpp"

#include <netinet/in.h>
#include <sys/socket.h>

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstring>

#include "support/kx_time.hpp"

namespace resq {

namespace {

// The pcap link type of packets that start with their IPv4 or IPv6 header.
constexpr uint32_t linktype_raw = 101;
// Larger than any packet written: 40 bytes of IPv6, 20 of TCP, 2 of length and 65535 of message.
constexpr uint32_t snapshot_length = 262144;
constexpr uint8_t protocol_tcp = 6;
constexpr uint8_t protocol_udp = 17;
constexpr uint8_t hop_limit = 64;
// TCP flags of every segment: PSH and ACK, as a message sent on an open connection carries.
constexpr uint8_t tcp_push_ack = 0x18;
// The first sequence number of each side of a synthetic connection.
constexpr uint32_t initial_sequence = 1;
// The largest value of the IP length fields: IPv4's counts its header, IPv6's does not.
constexpr std::size_t max_ip_length = 65535;
constexpr std::size_t tcp_header_size = 20;

// The address bytes (4 or 16) and the port of an endpoint.
struct address_bytes {
    std::array<uint8_t, 16> bytes{};
    std::size_t size = 0;
    uint16_t port = 0;
};

address_bytes bytes_of(const endpoint& peer) {
    address_bytes out;
    if (peer.family() == AF_INET) {
        sockaddr_in address{};
        std::memcpy(&address, peer.address(), sizeof address);
        std::memcpy(out.bytes.data(), &address.sin_addr, 4);
        out.size = 4;
        out.port = ntohs(address.sin_port);
    } else if (peer.family() == AF_INET6) {
        sockaddr_in6 address{};
        std::memcpy(&address, peer.address(), sizeof address);
        std::memcpy(out.bytes.data(), &address.sin6_addr, 16);
        out.size = 16;
        out.port = ntohs(address.sin6_port);
    }
    return out;
}

void put16(std::vector<uint8_t>& out, std::size_t at, uint32_t value) {
    out[at] = static_cast<uint8_t>(value >> 8);
    out[at + 1] = static_cast<uint8_t>(value);
}

void put32(std::vector<uint8_t>& out, std::size_t at, uint32_t value) {
    put16(out, at, value >> 16);
    put16(out, at + 2, value & 0xffff);
}

// The sum of 16-bit big-endian words that the internet checksum folds (RFC 1071).
uint32_t word_sum(std::span<const uint8_t> bytes, uint32_t sum = 0) {
    for (std::size_t i = 0; i < bytes.size(); i += 2) {
        const uint32_t low = i + 1 < bytes.size() ? bytes[i + 1] : 0;
        sum += (static_cast<uint32_t>(bytes[i]) << 8) | low;
        sum = (sum & 0xffff) + (sum >> 16);
    }
    return sum;
}

uint16_t fold(uint32_t sum) {
    while (sum > 0xffff) {
        sum = (sum & 0xffff) + (sum >> 16);
    }
    return static_cast<uint16_t>(~sum & 0xffff);
}

// Little-endian, the byte order the file's magic number is written in.
void append_le32(std::string& out, uint32_t value) {
    for (int shift = 0; shift < 32; shift += 8) {
        out += static_cast<char>((value >> shift) & 0xff);
    }
}

}  // namespace

std::vector<uint8_t> build_packet(const packet_path& path, std::span<const uint8_t> payload) {
    const address_bytes from = bytes_of(path.from);
    const address_bytes to = bytes_of(path.to);
    if (from.size == 0 || from.size != to.size) {
        return {};
    }
    const bool ipv6 = from.size == 16;
    const std::size_t ip_size = ipv6 ? 40 : 20;
    const bool tcp = path.kind != transport::udp;
    const std::size_t transport_size = tcp ? 20 : 8;
    const std::size_t segment_size = transport_size + payload.size();
    if (segment_size + (ipv6 ? 0 : ip_size) > max_ip_length) {
        return {};
    }
    std::vector<uint8_t> packet(ip_size + segment_size);
    const uint8_t protocol = tcp ? protocol_tcp : protocol_udp;
    const std::size_t source_at = ipv6 ? 8 : 12;
    if (ipv6) {
        packet[0] = 0x60;  // version 6, traffic class and flow label 0
        put16(packet, 4, static_cast<uint32_t>(segment_size));
        packet[6] = protocol;
        packet[7] = hop_limit;
    } else {
        packet[0] = 0x45;  // version 4, five words of header
        put16(packet, 2, static_cast<uint32_t>(packet.size()));
        put16(packet, 6, 0x4000);  // don't fragment
        packet[8] = hop_limit;
        packet[9] = protocol;
    }
    std::memcpy(&packet[source_at], from.bytes.data(), from.size);
    std::memcpy(&packet[source_at + from.size], to.bytes.data(), to.size);
    if (!ipv6) {
        put16(packet, 10, fold(word_sum(std::span(packet).first(20))));
    }

    const std::size_t at = ip_size;
    put16(packet, at, from.port);
    put16(packet, at + 2, to.port);
    if (tcp) {
        put32(packet, at + 4, path.sequence);
        put32(packet, at + 8, path.acknowledged);
        packet[at + 12] = 0x50;  // five words of header
        packet[at + 13] = tcp_push_ack;
        put16(packet, at + 14, 0xffff);  // window
    } else {
        put16(packet, at + 4, static_cast<uint32_t>(segment_size));
    }
    std::memcpy(&packet[at + transport_size], payload.data(), payload.size());
    // UDP over IPv4 may go without a checksum (0); TCP and UDP over IPv6 must carry one, summed
    // over the addresses, the protocol and the length (RFC 768, RFC 793, RFC 8200 8.1).
    if (tcp || ipv6) {
        uint32_t sum = word_sum(std::span(packet).subspan(source_at, 2 * from.size));
        sum += protocol;
        sum += static_cast<uint32_t>(segment_size);  // under 2^17: no carry lost
        sum = word_sum(std::span(packet).subspan(at), sum);
        uint16_t checksum = fold(sum);
        if (!tcp && checksum == 0) {
            checksum = 0xffff;  // a computed 0 is sent as all ones in UDP
        }
        put16(packet, at + (tcp ? 16 : 6), checksum);
    }
    return packet;
}

bool pcap_writer::open(const std::string& path) {
    file_.open(path, std::ios::out | std::ios::binary | std::ios::trunc);
    if (!file_) {
        return false;
    }
    std::string header;
    append_le32(header, 0xa1b2c3d4);
    append_le32(header, 2 | (4u << 16));  // version 2.4, two 16-bit fields
    append_le32(header, 0);               // time zone offset
    append_le32(header, 0);               // time stamp accuracy
    append_le32(header, snapshot_length);
    append_le32(header, linktype_raw);
    file_.write(header.data(), static_cast<std::streamsize>(header.size()));
    file_.flush();
    return good();
}

void pcap_writer::write_packet(uint64_t time, const std::vector<uint8_t>& packet) {
    if (packet.empty() || time < kx::filetime_unix_epoch) {
        return;
    }
    const uint64_t microseconds = (time - kx::filetime_unix_epoch) / 10;
    std::string record;
    append_le32(record, static_cast<uint32_t>(microseconds / 1000000));
    append_le32(record, static_cast<uint32_t>(microseconds % 1000000));
    append_le32(record, static_cast<uint32_t>(packet.size()));
    append_le32(record, static_cast<uint32_t>(packet.size()));
    file_.write(record.data(), static_cast<std::streamsize>(record.size()));
    file_.write(reinterpret_cast<const char*>(packet.data()),
                static_cast<std::streamsize>(packet.size()));
}

uint32_t pcap_writer::write_stream(uint64_t time, const packet_path& path,
                                   std::span<const uint8_t> bytes) {
    // A reply of up to 65,535 bytes and its length does not fit one packet: it goes as several
    // segments, as a sender bound by the IP length field would send it.
    const std::size_t ip_size = path.from.family() == AF_INET6 ? 0 : 20;
    const std::size_t largest = max_ip_length - ip_size - tcp_header_size;
    uint32_t sequence = path.sequence;
    for (std::size_t at = 0; at < bytes.size(); at += largest) {
        const std::span<const uint8_t> segment =
            bytes.subspan(at, std::min(largest, bytes.size() - at));
        write_packet(
            time,
            build_packet({path.from, path.to, path.kind, sequence, path.acknowledged}, segment));
        sequence += static_cast<uint32_t>(segment.size());
    }
    return sequence;
}

void pcap_writer::write_attempt(const dns_exchange& attempt, const dns_record& query,
                                const endpoint& server, transport kind) {
    if (attempt.sent_size == 0 || !attempt.sent_bytes) {
        return;
    }
    // Every socket that sends is connected, so its own address is the datagrams' source.
    const endpoint& local = attempt.local;
    const std::span<const uint8_t> sent(attempt.sent_bytes->data(), attempt.sent_size);
    const std::span<const uint8_t> received =
        attempt.received_bytes && attempt.received_size != 0
            ? std::span<const uint8_t>(attempt.received_bytes->data(), attempt.received_size)
            : std::span<const uint8_t>();
    if (kind == transport::udp) {
        write_packet(query.query_time, build_packet({local, server, kind}, sent));
        for (const passed_over_message& other : attempt.passed_over) {
            if (other.bytes) {
                write_packet(other.time, build_packet({server, local, kind}, *other.bytes));
            }
        }
        if (!received.empty()) {
            write_packet(attempt.reply_time, build_packet({server, local, kind}, received));
        }
    } else {
        // Each message after its two-byte length, as the stream carried them.
        const auto framed = [](std::span<const uint8_t> message) {
            std::vector<uint8_t> bytes = {static_cast<uint8_t>(message.size() >> 8),
                                          static_cast<uint8_t>(message.size() & 0xff)};
            bytes.insert(bytes.end(), message.begin(), message.end());
            return bytes;
        };
        const uint32_t after_question =
            write_stream(query.query_time,
                         {local, server, kind, initial_sequence, initial_sequence}, framed(sent));
        uint32_t sequence = initial_sequence;
        for (const passed_over_message& other : attempt.passed_over) {
            if (other.bytes) {
                sequence = write_stream(other.time, {server, local, kind, sequence, after_question},
                                        framed(*other.bytes));
            }
        }
        if (!received.empty()) {
            write_stream(attempt.reply_time, {server, local, kind, sequence, after_question},
                         framed(received));
        }
    }
    file_.flush();
}

}  // namespace resq
