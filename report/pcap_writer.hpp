// The evidence file: every message an attempt sent and received, as packets of a classic pcap file.
#pragma once

#include <cstdint>
#include <fstream>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "dns/dns_record.hpp"
#include "net/endpoint.hpp"
#include "net/net_socket.hpp"

namespace resq {

/// Where one captured message went: its addresses and ports, its transport, and for TCP the
/// sequence and acknowledgement numbers of its segment.
struct packet_path {
    const endpoint& from;
    const endpoint& to;
    transport kind = transport::udp;
    uint32_t sequence = 0;
    uint32_t acknowledged = 0;
};

/// An IPv4 or IPv6 packet (by the family of `path.from`) carrying `payload` in one UDP datagram
/// or TCP segment; empty when the endpoints hold no address or differ in family, or when the
/// payload does not fit one packet.
std::vector<uint8_t> build_packet(const packet_path& path, std::span<const uint8_t> payload);

/// Writes a pcap file (microsecond time stamps, raw IP packets) of the messages of each attempt.
class pcap_writer {
  public:
    /// Creates or empties the file at `path` and writes its header; false when it cannot.
    bool open(const std::string& path);

    /// Writes the query `attempt` sent to `server` over `kind` at the query's time, then every
    /// message its socket received at its time (those passed over, then the reply), then flushes;
    /// a message that was not sent or received is left out. Over TCP the two directions are
    /// streams of framed messages, written as segments that each fit one packet.
    void write_attempt(const dns_exchange& attempt, const dns_record& query, const endpoint& server,
                       transport kind);

    /// False once a write to the file has failed.
    bool good() const { return static_cast<bool>(file_); }

  private:
    void write_packet(uint64_t time, const std::vector<uint8_t>& packet);
    // Writes `bytes` of one direction of a connection as segments from `path.sequence` on, each
    // as large as one packet allows; returns the sequence number after them.
    uint32_t write_stream(uint64_t time, const packet_path& path, std::span<const uint8_t> bytes);

    std::ofstream file_;
};

}  // namespace resq
