// One attempt of a lookup: send the query, wait for its reply, decode it.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>

#include "dns/dns_record.hpp"
#include "net/endpoint.hpp"
#include "net/net_socket.hpp"

namespace resq {

/// Port a DNS server is asked on unless another is given.
inline constexpr uint16_t dns_port = 53;

/// What every attempt of one lookup needs: the server, read once per run, the wait and the
/// transport.
struct exchange_target {
    endpoint server;                       // holding none, an attempt sends nothing
    std::string server_text;               // the report's server column (see display_text)
    std::chrono::milliseconds timeout{0};  // for the reply (over TCP from connecting on); <0 is 0
    transport kind = transport::udp;
};

/// Sends `query` to the target, decodes its reply; false: nothing sent, no whole reply, undecoded.
bool exchange(dns_exchange& attempt, dns_record& query, const exchange_target& target);

}  // namespace resq
