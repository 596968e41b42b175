#include "tools/responder/responder.hpp"

#include <arpa/inet.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <ctime>
#include <span>

#include "dns/wire_reader.hpp"
#include "tools/responder/fixtures.hpp"

namespace resq::test_tools {

namespace {

// The loopback address host resolvers commonly listen on; never taken as a second address.
constexpr uint32_t host_resolver_address = 0x7f000035;  // 127.0.0.53

// How often the serving loop looks at its stop flag while idle.
constexpr std::chrono::milliseconds idle_tick(50);

// The real reply after a misdirected one is held back this long, so the misdirected one is
// surely the first the client sees.
constexpr std::chrono::milliseconds real_reply_delay(100);

// Datagrams taken or sent with one system call.
constexpr std::size_t datagram_batch = 32;

constexpr uint16_t type_a = 1;
constexpr uint16_t type_aaaa = 28;
constexpr uint16_t type_null = 10;
// TTL of the records of the hostile behaviours' long replies.
constexpr uint32_t behaviour_ttl = 60;
// TTL of the records of synthetic names.
constexpr uint32_t synthetic_ttl = 300;

// The name in lower case with one final dot, as parse_query gives it: "." for the root.
std::string canonical_name(std::string_view name) {
    std::string out(name);
    for (char& c : out) {
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    if (out.empty() || out.back() != '.') {
        out += '.';
    }
    return out;
}

// Slots of the relay's name hash a percentage stands for.
unsigned band_width(double percent) {
    return static_cast<unsigned>(std::lround(percent * relay_slots / 100));
}

bool valid_percent(double percent) {
    return percent >= 0 && percent <= 100;  // false for NaN too
}

struct parsed_query {
    uint8_t id_low = 0;
    uint8_t id_high = 0;
    bool recursion_desired = false;
    uint8_t flags_low = 0;  // the header's second flags byte: RA, Z, AD, CD, RCODE
    std::string name;       // lower case, every label followed by "."; "." for the root
    uint16_t type = 0;
    std::vector<uint8_t> question;  // the question as received, copied into replies
    std::vector<uint8_t> opt;       // the OPT record as received, echoed in replies; empty: none
};

// Reads the header and the first question of a query. False for responses, queries without a
// question and names that are compressed (no resolver compresses the name of a query) or cut.
bool parse_query(std::span<const uint8_t> data, parsed_query& out) {
    wire_reader reader(data);
    out.id_low = reader.u8();
    out.id_high = reader.u8();
    const uint8_t flags = reader.u8();
    out.flags_low = reader.u8();
    const uint16_t question_count = reader.u16();
    reader.skip(4);
    const uint16_t additional_count = reader.u16();
    if (reader.failed() || (flags & 0x80) != 0 || question_count == 0) {
        return false;
    }
    out.recursion_desired = (flags & 0x01) != 0;
    const std::size_t question_start = reader.offset();
    for (;;) {
        const uint8_t length = reader.u8();
        if (reader.failed() || length > 63) {
            return false;
        }
        if (length == 0) {
            break;
        }
        std::string label;
        if (!reader.copy(label, length)) {
            return false;
        }
        for (char& c : label) {
            c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        }
        out.name += label;
        out.name += '.';
    }
    if (out.name.empty()) {
        out.name = ".";
    }
    out.type = reader.u16();
    reader.skip(2);  // class
    if (reader.failed()) {
        return false;
    }
    wire_reader question(data, question_start);
    if (!question.copy(out.question, reader.offset() - question_start)) {
        return false;
    }
    // An OPT record right after the question (root owner, type 41) is kept whole; anything else
    // there is ignored.
    wire_reader opt(data, reader.offset());
    const bool is_opt = additional_count != 0 && opt.u8() == 0 && opt.u16() == 41;
    opt.skip(6);  // CLASS, TTL
    if (is_opt && opt.skip(opt.u16())) {
        wire_reader whole(data, reader.offset());
        whole.copy(out.opt, opt.offset() - reader.offset());
    }
    return true;
}

// Appends `opt` to `reply` as its last additional record, counted in ARCOUNT; a reply shorter
// than a header stays as it is.
void add_opt(std::vector<uint8_t>& reply, std::span<const uint8_t> opt) {
    wire_reader counts(reply, 10);
    const auto additional_count = static_cast<uint16_t>(counts.u16() + 1);
    if (opt.empty() || counts.failed()) {
        return;
    }
    reply[10] = static_cast<uint8_t>(additional_count >> 8);
    reply[11] = static_cast<uint8_t>(additional_count & 0xff);
    reply.insert(reply.end(), opt.begin(), opt.end());
}

// The OPT record of an echo.test. reply: the query's, with a COOKIE option holding a client
// cookie alone (8 bytes) given echo_server_cookie after it.
std::vector<uint8_t> echoed_opt(std::span<const uint8_t> opt) {
    constexpr std::size_t fixed = 11;  // owner, TYPE, CLASS, TTL, RDLENGTH
    if (opt.size() < fixed) {
        return {};
    }
    std::vector<uint8_t> out(opt.begin(), opt.begin() + fixed);
    wire_reader options(opt, fixed);
    while (options.remaining() >= 4) {
        const uint16_t code = options.u16();
        const uint16_t length = options.u16();
        std::vector<uint8_t> data;
        if (!options.copy(data, length)) {
            break;
        }
        if (code == 10 && length == 8) {
            data.insert(data.end(), std::begin(echo_server_cookie), std::end(echo_server_cookie));
        }
        for (const unsigned value : {unsigned{code}, static_cast<unsigned>(data.size())}) {
            out.push_back(static_cast<uint8_t>(value >> 8));
            out.push_back(static_cast<uint8_t>(value & 0xff));
        }
        out.insert(out.end(), data.begin(), data.end());
    }
    const std::size_t length = out.size() - fixed;
    out[fixed - 2] = static_cast<uint8_t>(length >> 8);
    out[fixed - 1] = static_cast<uint8_t>(length & 0xff);
    return out;
}

// A reply made of a header piece, the query's own question and one entry, with the query's id.
std::vector<uint8_t> assemble(std::span<const uint8_t> header, const parsed_query& query,
                              std::span<const uint8_t> entry) {
    std::vector<uint8_t> reply(header.begin(), header.end());
    reply.insert(reply.end(), query.question.begin(), query.question.end());
    reply.insert(reply.end(), entry.begin(), entry.end());
    reply[0] = query.id_low;
    reply[1] = query.id_high;
    return reply;
}

// The reply without an answer of the nodata, refused, servfail and badvers behaviours: the
// question, the RCODE, and for nodata an SOA in authority, for badvers an OPT in additional.
std::vector<uint8_t> no_answer(const parsed_query& query, behaviour what) {
    const bool soa = what == behaviour::nodata;
    const bool opt = what == behaviour::badvers;
    const std::span<const uint8_t> none;
    std::vector<uint8_t> reply = assemble(answer_header, query,
                                          soa   ? root_nxdomain_soa
                                          : opt ? badvers_opt
                                                : none);
    reply[3] = what == behaviour::refused ? 0x85 : what == behaviour::servfail ? 0x82 : 0x80;
    reply[7] = 0;  // ANCOUNT
    reply[9] = soa ? 1 : 0;
    reply[11] = opt ? 1 : 0;
    return reply;
}

bool under_demo_zone(const std::string& name) {
    return name == "demo.example." || name.ends_with(".demo.example.");
}

// The reply of a name outside the behaviour zones: its fixture, else NXDOMAIN.
std::vector<uint8_t> normal_reply(const parsed_query& query) {
    if (const reply_fixture* fixture = find_fixture(query.name, query.type)) {
        std::vector<uint8_t> reply(fixture->bytes.begin(), fixture->bytes.end());
        if (reply.size() >= 2) {
            reply[0] = query.id_low;
            reply[1] = query.id_high;
        }
        return reply;
    }
    return assemble(nxdomain_header, query,
                    under_demo_zone(query.name) ? demo_nxdomain_soa : root_nxdomain_soa);
}

void put_u16(std::vector<uint8_t>& out, unsigned value) {
    out.push_back(static_cast<uint8_t>((value >> 8) & 0xff));
    out.push_back(static_cast<uint8_t>(value & 0xff));
}

void put_u32(std::vector<uint8_t>& out, uint32_t value) {
    put_u16(out, value >> 16);
    put_u16(out, value & 0xffff);
}

// The authoritative NOERROR reply to a query for a name of the synthetic zone `zone` (lower case,
// final dot) with name hash `hash`: the derived A or AAAA record, else no answer and the zone's
// SOA (ns.ZONE hostmaster.ZONE 1 7200 900 1209600 300) in authority. Names in the records point
// into the question.
std::vector<uint8_t> synthetic_reply(const parsed_query& query, std::string_view zone,
                                     uint64_t hash) {
    const bool address = query.type == type_a || query.type == type_aaaa;
    std::vector<uint8_t> reply = {query.id_low,
                                  query.id_high,
                                  static_cast<uint8_t>(query.recursion_desired ? 0x85 : 0x84),
                                  0x00,  // QR, AA, RD as asked; NOERROR
                                  0x00,
                                  0x01,  // QDCOUNT 1
                                  0x00,
                                  static_cast<uint8_t>(address ? 1 : 0),  // ANCOUNT
                                  0x00,
                                  static_cast<uint8_t>(address ? 0 : 1),  // NSCOUNT
                                  0x00,
                                  0x00};  // ARCOUNT
    reply.insert(reply.end(), query.question.begin(), query.question.end());
    if (query.type == type_a) {
        put_u16(reply, 0xc00c);  // the question's name
        put_u16(reply, type_a);
        put_u16(reply, 1);  // class IN
        put_u32(reply, synthetic_ttl);
        put_u16(reply, 4);
        reply.insert(reply.end(),
                     {10, static_cast<uint8_t>(hash >> 48), static_cast<uint8_t>(hash >> 40),
                      static_cast<uint8_t>(hash >> 32)});
    } else if (query.type == type_aaaa) {
        put_u16(reply, 0xc00c);
        put_u16(reply, type_aaaa);
        put_u16(reply, 1);
        put_u32(reply, synthetic_ttl);
        put_u16(reply, 16);
        reply.insert(reply.end(), {0xfd, 0, 0, 0, 0, 0, 0, 0});
        for (int shift = 56; shift >= 0; shift -= 8) {
            reply.push_back(static_cast<uint8_t>(hash >> shift));
        }
    } else {
        // The zone is the end of the question's name; in wire form one byte longer than as text,
        // except the root, one byte either way.
        const std::size_t zone_wire = zone == "." ? 1 : zone.size() + 1;
        const auto zone_pointer =
            static_cast<unsigned>(0xc000 + 12 + query.question.size() - 4 - zone_wire);
        put_u16(reply, zone_pointer);
        put_u16(reply, 6);  // type SOA
        put_u16(reply, 1);
        put_u32(reply, synthetic_ttl);
        put_u16(reply, 38);  // RDLENGTH
        reply.insert(reply.end(), {2, 'n', 's'});
        put_u16(reply, zone_pointer);
        reply.insert(reply.end(), {10, 'h', 'o', 's', 't', 'm', 'a', 's', 't', 'e', 'r'});
        put_u16(reply, zone_pointer);
        for (const uint32_t value : {1u, 7200u, 900u, 1209600u, synthetic_ttl}) {
            put_u32(reply, value);
        }
    }
    return reply;
}

// A reply of `budget` bytes at most: the answer header, the question and as many A records as
// fit. For the pointer bomb a NULL record owned by the question comes first, its data a name of
// bomb_labels labels of 63 octets, and every A record (192.0.2.1) is owned by a pointer to that
// name; else record i is 198.18.(i / 256).(i % 256), owned by the question's name.
std::vector<uint8_t> filled_reply(const parsed_query& query, std::size_t budget, bool bomb) {
    std::vector<uint8_t> reply(answer_header.begin(), answer_header.end());
    reply[0] = query.id_low;
    reply[1] = query.id_high;
    reply.insert(reply.end(), query.question.begin(), query.question.end());
    unsigned owner = 0xc00c;
    unsigned count = 0;
    if (bomb) {
        put_u16(reply, 0xc00c);
        put_u16(reply, type_null);
        put_u16(reply, 1);  // class IN
        put_u32(reply, behaviour_ttl);
        put_u16(reply, bomb_labels * 64 + 1);
        // Below the 14 bits of a pointer: the question's name has 255 octets at most.
        owner = static_cast<unsigned>(0xc000 | reply.size());
        for (unsigned label = 0; label < bomb_labels; ++label) {
            reply.push_back(63);
            reply.insert(reply.end(), 63, 'b');
        }
        reply.push_back(0);
        count = 1;
    }
    constexpr std::size_t a_record = 16;
    for (unsigned i = 0; reply.size() + a_record <= budget; ++i, ++count) {
        put_u16(reply, owner);
        put_u16(reply, type_a);
        put_u16(reply, 1);
        put_u32(reply, behaviour_ttl);
        put_u16(reply, 4);
        if (bomb) {
            reply.insert(reply.end(), {192, 0, 2, 1});
        } else {
            reply.insert(reply.end(),
                         {198, 18, static_cast<uint8_t>(i >> 8), static_cast<uint8_t>(i & 0xff)});
        }
    }
    reply[6] = static_cast<uint8_t>(count >> 8);
    reply[7] = static_cast<uint8_t>(count & 0xff);
    return reply;
}

// A forged reply to victim.forge-next.test. A with identifier bytes `first`, `second`.
std::vector<uint8_t> forged_reply(uint8_t first, uint8_t second) {
    std::vector<uint8_t> reply(answer_header.begin(), answer_header.end());
    reply[0] = first;
    reply[1] = second;
    reply.insert(reply.end(), victim_question.begin(), victim_question.end());
    reply.insert(reply.end(), forged_answer.begin(), forged_answer.end());
    return reply;
}

// Sends all of `bytes` on a connection, waiting a bounded time for room: a reply of 64 KiB can
// outgrow what the socket takes at once. A connection that takes nothing for a second is given up.
void send_whole(int fd, std::span<const uint8_t> bytes) {
    std::size_t at = 0;
    while (at < bytes.size()) {
        const ssize_t n =
            ::send(fd, bytes.data() + at, bytes.size() - at, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n > 0) {
            at += static_cast<std::size_t>(n);
            continue;
        }
        if (n == -1 && errno == EINTR) {
            continue;
        }
        pollfd entry{fd, POLLOUT, 0};
        if (n == 0 || (errno != EAGAIN && errno != EWOULDBLOCK) || ::poll(&entry, 1, 1000) != 1) {
            return;
        }
    }
}

bool is_fixture_name(std::string_view name) {
    return std::ranges::any_of(all_fixtures(),
                               [name](const reply_fixture& f) { return f.name == name; });
}

// Whether `name` equals or lies under `zone` (both lower case, final dot) at a label boundary.
bool in_zone(std::string_view name, std::string_view zone) {
    return name == zone || zone == "." ||
           (name.size() > zone.size() && name.ends_with(zone) &&
            name[name.size() - zone.size() - 1] == '.');
}

sockaddr_in ipv4_address(uint32_t address_host_order, uint16_t port) {
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(port);
    addr.sin_addr.s_addr = htonl(address_host_order);
    return addr;
}

uint16_t port_of(const sockaddr_storage& address) {
    if (address.ss_family == AF_INET6) {
        sockaddr_in6 in6{};
        std::memcpy(&in6, &address, sizeof in6);
        return ntohs(in6.sin6_port);
    }
    sockaddr_in in{};
    std::memcpy(&in, &address, sizeof in);
    return ntohs(in.sin_port);
}

std::string address_text(uint32_t address_host_order, uint16_t port) {
    in_addr addr{};
    addr.s_addr = htonl(address_host_order);
    char text[INET_ADDRSTRLEN] = {};
    inet_ntop(AF_INET, &addr, text, sizeof text);
    return std::string(text) + ":" + std::to_string(port);
}

// The message after its length in two bytes, as DNS over TCP carries it.
std::vector<uint8_t> framed(const std::vector<uint8_t>& message) {
    std::vector<uint8_t> bytes = {static_cast<uint8_t>(message.size() >> 8),
                                  static_cast<uint8_t>(message.size() & 0xff)};
    bytes.insert(bytes.end(), message.begin(), message.end());
    return bytes;
}

// Asks for large socket buffers on a datagram socket that takes queries: under load the queries
// of a burst wait there while the serving thread waits for the processor. The kernel caps the
// sizes at its maximum.
void enlarge_buffers(int fd) {
    const int size = 4 << 20;
    ::setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &size, sizeof size);
    ::setsockopt(fd, SOL_SOCKET, SO_SNDBUF, &size, sizeof size);
}

// A socket of `type` bound to the address and port, listening when it is a stream; -1 with
// `error` set when that fails.
int bind_socket(int type, uint32_t address_host_order, uint16_t port, std::string& error) {
    const int fd = ::socket(AF_INET, type | SOCK_CLOEXEC, 0);
    if (fd == -1) {
        error = std::string("socket: ") + std::strerror(errno);
        return -1;
    }
    // A listener started again must not wait for the connections of the one before to expire.
    const int on = 1;
    if (type == SOCK_STREAM) {
        ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    }
    const sockaddr_in addr = ipv4_address(address_host_order, port);
    if (::bind(fd, reinterpret_cast<const sockaddr*>(&addr), sizeof addr) == -1 ||
        (type == SOCK_STREAM && ::listen(fd, SOMAXCONN) == -1)) {
        error =
            "cannot bind " + address_text(address_host_order, port) + ": " + std::strerror(errno);
        ::close(fd);
        return -1;
    }
    return fd;
}

}  // namespace

uint64_t synthetic_hash(std::string_view name) {
    uint64_t hash = 0xcbf29ce484222325;  // FNV-1a offset basis and prime
    for (const char c : canonical_name(name)) {
        hash = (hash ^ static_cast<unsigned char>(c)) * 0x100000001b3;
    }
    return hash;
}

bool relay_settings::valid() const {
    const double shares[] = {drop_percent, drop_all_percent, late_percent, twice_percent};
    unsigned slots = 0;
    for (const double share : shares) {
        if (!valid_percent(share)) {
            return false;
        }
        slots += band_width(share);
    }
    return slots <= relay_slots && delay.count() >= 0 && late_delay.count() >= 0;
}

relay_band relay_settings::band_of(std::string_view name) const {
    const auto slot = static_cast<unsigned>(synthetic_hash(name) % relay_slots);
    unsigned end = 0;
    const std::pair<double, relay_band> bands[] = {{drop_percent, relay_band::drop_first},
                                                   {drop_all_percent, relay_band::drop_all},
                                                   {late_percent, relay_band::late_first},
                                                   {twice_percent, relay_band::twice}};
    for (const auto& [percent, band] : bands) {
        end += band_width(percent);
        if (slot < end) {
            return band;
        }
    }
    return relay_band::answered;
}

bool responder::set_relay(const relay_settings& settings) {
    if (!settings.valid()) {
        return false;
    }
    relay_ = settings;
    if (!relay_.synthetic_zone.empty()) {
        relay_.synthetic_zone = canonical_name(relay_.synthetic_zone);
    }
    queries_by_name_.clear();
    return true;
}

responder::~responder() {
    stop();
    close_all();
}

void responder::close_all() {
    while (!connections_.empty()) {
        close_connection(connections_.back().fd);
    }
    for (int* fd :
         {&listen_fd_, &listen6_fd_, &stream_listen_fd_, &other_address_fd_, &other_port_fd_}) {
        if (*fd != -1) {
            ::close(*fd);
            *fd = -1;
        }
    }
}

bool responder::open(const std::string& address, uint16_t port) {
    stop();
    close_all();
    error_.clear();
    in_addr parsed{};
    if (inet_pton(AF_INET, address.c_str(), &parsed) != 1) {
        error_ = "not an IPv4 address: " + address;
        return false;
    }
    address_ = ntohl(parsed.s_addr);
    other_address_ = address_ + 1;
    if (other_address_ == host_resolver_address) {
        ++other_address_;
    }
    listen_fd_ = bind_socket(SOCK_DGRAM, address_, port, error_);
    if (listen_fd_ == -1) {
        return false;
    }
    enlarge_buffers(listen_fd_);
    sockaddr_in bound{};
    socklen_t bound_len = sizeof bound;
    ::getsockname(listen_fd_, reinterpret_cast<sockaddr*>(&bound), &bound_len);
    port_ = ntohs(bound.sin_port);
    stream_listen_fd_ = bind_socket(SOCK_STREAM, address_, port_, error_);
    other_address_fd_ = bind_socket(SOCK_DGRAM, other_address_, port_, error_);
    other_port_fd_ = bind_socket(SOCK_DGRAM, address_, 0, error_);
    if (stream_listen_fd_ == -1 || other_address_fd_ == -1 || other_port_fd_ == -1) {
        close_all();
        return false;
    }
    return true;
}

bool responder::open_ipv6(const std::string& address) {
    error_.clear();
    if (listen6_fd_ != -1) {
        ::close(listen6_fd_);
    }
    sockaddr_in6 addr{};
    addr.sin6_family = AF_INET6;
    addr.sin6_port = htons(port_);
    if (listen_fd_ == -1 || inet_pton(AF_INET6, address.c_str(), &addr.sin6_addr) != 1) {
        error_ = "no IPv4 socket open, or not an IPv6 address: " + address;
        return false;
    }
    listen6_fd_ = ::socket(AF_INET6, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (listen6_fd_ == -1 ||
        ::bind(listen6_fd_, reinterpret_cast<const sockaddr*>(&addr), sizeof addr) == -1) {
        error_ =
            "cannot bind [" + address + "]:" + std::to_string(port_) + ": " + std::strerror(errno);
        close_all();
        return false;
    }
    enlarge_buffers(listen6_fd_);
    return true;
}

void responder::queue(int from_fd, const sockaddr_storage& to, std::vector<uint8_t> bytes,
                      std::chrono::milliseconds delay, delivery how) {
    // A client over IPv6 is answered from the IPv6 socket; the misdirecting sockets are IPv4
    // only, so what they would send it is dropped.
    if (how == delivery::datagram && to.ss_family == AF_INET6) {
        from_fd = from_fd == listen_fd_ ? listen6_fd_ : -1;
    }
    pending_reply reply{
        arrived_ + relay_.delay + delay, queued_++, from_fd, to, std::move(bytes), how};
    // Arrival times only grow, so with the relay's delay alone the queue stays in order of due
    // time and a reply joins its end.
    if (delay.count() == 0 && (steady_.empty() || steady_.back().due <= reply.due)) {
        steady_.push_back(std::move(reply));
    } else {
        const std::pair key(reply.due, reply.order);
        scheduled_.emplace(key, std::move(reply));
    }
}

responder::pending_reply* responder::next_pending() {
    pending_reply* first = steady_.empty() ? nullptr : &steady_.front();
    if (!scheduled_.empty()) {
        pending_reply& other = scheduled_.begin()->second;
        if (first == nullptr ||
            std::pair(other.due, other.order) < std::pair(first->due, first->order)) {
            first = &other;
        }
    }
    return first;
}

void responder::pop_pending(const pending_reply* reply) {
    if (!steady_.empty() && reply == &steady_.front()) {
        steady_.pop_front();
    } else {
        scheduled_.erase(scheduled_.begin());
    }
}

void responder::send_due() {
    const auto now = clock::now();
    std::vector<int> hung_up;
    // Datagrams due now from one socket, taken off the queues but not yet sent.
    std::vector<pending_reply> batch;
    const auto flush = [&batch] {
        std::array<mmsghdr, datagram_batch> messages{};
        std::array<iovec, datagram_batch> pieces{};
        for (std::size_t i = 0; i < batch.size(); ++i) {
            pieces[i] = {batch[i].bytes.data(), batch[i].bytes.size()};
            messages[i].msg_hdr.msg_name = &batch[i].to;
            messages[i].msg_hdr.msg_namelen =
                batch[i].to.ss_family == AF_INET6 ? sizeof(sockaddr_in6) : sizeof(sockaddr_in);
            messages[i].msg_hdr.msg_iov = &pieces[i];
            messages[i].msg_hdr.msg_iovlen = 1;
        }
        for (std::size_t at = 0; at < batch.size();) {
            const int sent = ::sendmmsg(batch.front().from_fd, &messages[at],
                                        static_cast<unsigned>(batch.size() - at), 0);
            // A datagram that cannot go is passed over, as a lost one would be.
            at += sent > 0 ? static_cast<std::size_t>(sent) : 1;
        }
        batch.clear();
    };
    // In order of due time, and of queueing for replies due at once, so a misdirected reply and
    // the real one, or the pieces of a framed reply, leave as scripted.
    for (;;) {
        pending_reply* next = next_pending();
        const bool due = next != nullptr && next->due <= now;
        if (!due || next->how != delivery::datagram || batch.size() == datagram_batch ||
            (!batch.empty() && batch.front().from_fd != next->from_fd)) {
            flush();
        }
        if (!due) {
            break;
        }
        if (next->how == delivery::datagram) {
            if (next->from_fd != -1) {
                batch.push_back(std::move(*next));
            }
        } else if (next->how == delivery::stream) {
            send_whole(next->from_fd, next->bytes);
        } else {
            hung_up.push_back(next->from_fd);
        }
        pop_pending(next);
    }
    for (const int fd : hung_up) {
        close_connection(fd);
    }
}

void responder::queue_framing_fault(int stream_fd, behaviour what, std::vector<uint8_t> bytes) {
    const sockaddr_storage none{};
    const auto send = [&](std::vector<uint8_t> piece, unsigned delay_ms) {
        queue(stream_fd, none, std::move(piece), std::chrono::milliseconds(delay_ms),
              delivery::stream);
    };
    switch (what) {
        case behaviour::tcp_split: {
            // The length's first byte, the rest of the length and the header, then the rest.
            const std::size_t cuts[] = {0, 1, 14, bytes.size()};
            for (unsigned piece = 0; piece < 3; ++piece) {
                send({bytes.begin() + static_cast<std::ptrdiff_t>(cuts[piece]),
                      bytes.begin() + static_cast<std::ptrdiff_t>(cuts[piece + 1])},
                     piece * split_pause_ms);
            }
            break;
        }
        case behaviour::tcp_bytewise:
            for (std::size_t at = 0; at < bytes.size(); ++at) {
                send({bytes[at]}, static_cast<unsigned>(at) * byte_pause_ms);
            }
            break;
        case behaviour::tcp_cut:
            bytes.resize(bytes.size() / 2);
            send(std::move(bytes), 0);
            queue(stream_fd, none, {}, std::chrono::milliseconds(0), delivery::hang_up);
            break;
        case behaviour::tcp_overlong: {
            const std::size_t promised = bytes.size() - 2 + 16;
            bytes[0] = static_cast<uint8_t>(promised >> 8);
            bytes[1] = static_cast<uint8_t>(promised & 0xff);
            send(std::move(bytes), 0);
            break;
        }
        default:  // tcp_hangup
            queue(stream_fd, none, {}, std::chrono::milliseconds(0), delivery::hang_up);
            break;
    }
}

void responder::take_query(std::span<const uint8_t> data, const sockaddr_storage& client,
                           int stream_fd, clock::time_point arrived) {
    ++queries_seen_;
    last_client_port_ = port_of(client);
    arrived_ = arrived;
    parsed_query query;
    if (!parse_query(data, query)) {
        return;
    }
    const unsigned nth = ++queries_by_name_[query.name];
    // Over TCP a reply has one way back, the connection: one scripted to leave from another
    // address or port is not sent, and every other one is framed. A query's OPT record comes
    // back in every reply.
    const auto reply = [&](int from_fd, std::vector<uint8_t> bytes,
                           std::chrono::milliseconds delay = std::chrono::milliseconds(0)) {
        add_opt(bytes, query.opt);
        if (stream_fd == -1) {
            queue(from_fd, client, std::move(bytes), delay);
        } else if (from_fd == listen_fd_) {
            queue(stream_fd, client, framed(bytes), delay, delivery::stream);
        }
    };
    const behaviour what = behaviour_for(query.name);
    if (what == behaviour::normal && !relay_.synthetic_zone.empty() &&
        in_zone(query.name, relay_.synthetic_zone) && !is_fixture_name(query.name)) {
        const relay_band band = relay_.band_of(query.name);
        if (band == relay_band::drop_all || (band == relay_band::drop_first && nth == 1)) {
            return;
        }
        std::vector<uint8_t> bytes =
            synthetic_reply(query, relay_.synthetic_zone, synthetic_hash(query.name));
        if (band == relay_band::late_first && nth == 1) {
            reply(listen_fd_, std::move(bytes), relay_.late_delay - relay_.delay);
        } else if (band == relay_band::twice) {
            reply(listen_fd_, bytes);
            reply(listen_fd_, std::move(bytes));
        } else {
            reply(listen_fd_, std::move(bytes));
        }
        return;
    }
    std::vector<uint8_t> answer = assemble(answer_header, query, behaviour_answer);
    switch (what) {
        case behaviour::normal:
            reply(listen_fd_, normal_reply(query));
            break;
        case behaviour::silent:
            break;
        case behaviour::late:
            reply(listen_fd_, answer, std::chrono::milliseconds(late_reply_ms));
            break;
        case behaviour::wrong_id:
            ++answer[0];
            reply(listen_fd_, answer);
            break;
        case behaviour::wrong_id_then_ok:
            if (nth == 1) {
                ++answer[0];
            }
            reply(listen_fd_, answer);
            break;
        case behaviour::wrong_id_first: {
            std::vector<uint8_t> wrong = assemble(answer_header, query, spoofed_answer);
            ++wrong[0];
            reply(listen_fd_, wrong);
            reply(listen_fd_, answer, real_reply_delay);
            break;
        }
        case behaviour::other_question_first: {
            // Byte 13 is the first letter of the first label; digits have no letter case.
            std::vector<uint8_t> other = assemble(answer_header, query, spoofed_answer);
            other[13] = other[13] == '0' ? '1' : '0';
            reply(listen_fd_, other);
            reply(listen_fd_, answer, real_reply_delay);
            break;
        }
        case behaviour::upper_case:
            // Length bytes are below 64, so only the letters of the name change.
            for (std::size_t at = answer_header.size();
                 at + 4 < answer_header.size() + query.question.size(); ++at) {
                if (answer[at] >= 'a' && answer[at] <= 'z') {
                    answer[at] = static_cast<uint8_t>(answer[at] - 'a' + 'A');
                }
            }
            reply(listen_fd_, answer);
            break;
        case behaviour::no_qr:
            answer[2] &= 0x7f;
            reply(listen_fd_, answer);
            break;
        case behaviour::short_reply:
            answer.resize(2);
            reply(listen_fd_, answer);
            break;
        case behaviour::malformed:
            reply(listen_fd_, assemble(answer_header, query, overlong_answer));
            break;
        case behaviour::other_address:
            reply(other_address_fd_, answer);
            break;
        case behaviour::other_port:
            reply(other_port_fd_, answer);
            break;
        case behaviour::other_address_then_ok:
            reply(other_address_fd_, assemble(answer_header, query, spoofed_answer));
            reply(listen_fd_, answer, real_reply_delay);
            break;
        case behaviour::other_port_then_ok:
            reply(other_port_fd_, assemble(answer_header, query, spoofed_answer));
            reply(listen_fd_, answer, real_reply_delay);
            break;
        case behaviour::flaky:
            if (nth > flaky_silent_queries) {
                reply(listen_fd_, answer);
            }
            break;
        case behaviour::nodata:
        case behaviour::refused:
        case behaviour::servfail:
        case behaviour::badvers:
            reply(listen_fd_, no_answer(query, what));
            break;
        case behaviour::echo:
            answer[2] = static_cast<uint8_t>(0x80 | (query.recursion_desired ? 0x01 : 0));
            answer[3] = query.flags_low & 0x30;  // AD, CD
            query.opt = echoed_opt(query.opt);
            reply(listen_fd_, answer);
            break;
        case behaviour::hostile:
            reply(listen_fd_, assemble(answer_header, query, hostile_txt));
            break;
        case behaviour::truncated:
            reply(listen_fd_, stream_fd == -1 ? assemble(truncated_header, query, {}) : answer);
            break;
        case behaviour::forge_next:
            if (query.name == "victim.forge-next.test.") {
                reply(listen_fd_, assemble(answer_header, query, victim_answer), real_reply_delay);
                break;
            }
            reply(listen_fd_, answer);
            // Over UDP only: a connection is never carried over to the next lookup.
            if (stream_fd == -1) {
                const std::chrono::milliseconds pause(forge_pause_ms);
                for (unsigned id = forged_low_first; id <= forged_low_last; ++id) {
                    reply(listen_fd_, forged_reply(static_cast<uint8_t>(id), 0), pause);
                }
                // 97 is odd, so the second byte runs through every value as the first does.
                for (unsigned i = 0; i < forged_spread; ++i) {
                    reply(listen_fd_,
                          forged_reply(static_cast<uint8_t>(i), static_cast<uint8_t>(97 * i + 13)),
                          pause);
                }
            }
            break;
        case behaviour::qdzero_first: {
            std::vector<uint8_t> forged(answer.begin(), answer.begin() + 12);
            forged[5] = 0;  // QDCOUNT 0
            // The owner is the question's name written out (its type and class left off), the
            // record the answer's past its pointer.
            forged.insert(forged.end(), query.question.begin(), query.question.end() - 4);
            forged.insert(forged.end(), forged_answer.begin() + 2, forged_answer.end());
            reply(listen_fd_, forged);
            reply(listen_fd_, answer, real_reply_delay);
            break;
        }
        case behaviour::runts_first:
            for (const std::ptrdiff_t size : {1, 3, 11}) {
                reply(listen_fd_, std::vector<uint8_t>(answer.begin(), answer.begin() + size));
            }
            reply(listen_fd_, answer, real_reply_delay);
            break;
        case behaviour::formerr_bare: {
            std::vector<uint8_t> bare = {query.id_low, query.id_high};
            bare.insert(bare.end(), formerr_header.begin() + 2, formerr_header.end());
            reply(listen_fd_, bare);
            break;
        }
        case behaviour::pointer_bomb:
        case behaviour::big:
            // The query's OPT record is added after, within the datagram's limit.
            reply(listen_fd_, filled_reply(query, largest_datagram - query.opt.size(),
                                           what == behaviour::pointer_bomb));
            break;
        case behaviour::huge:
            reply(listen_fd_, stream_fd == -1
                                  ? assemble(truncated_header, query, {})
                                  : filled_reply(query, largest_message - query.opt.size(), false));
            break;
        case behaviour::tcp_split:
        case behaviour::tcp_bytewise:
        case behaviour::tcp_cut:
        case behaviour::tcp_overlong:
        case behaviour::tcp_hangup:
        case behaviour::tcp_stall:
        case behaviour::tcp_other_first:
            if (stream_fd == -1) {
                reply(listen_fd_, assemble(truncated_header, query, {}));
            } else if (what == behaviour::tcp_other_first) {
                std::vector<uint8_t> other = assemble(answer_header, query, spoofed_answer);
                ++other[0];
                reply(listen_fd_, other);
                reply(listen_fd_, answer);
            } else if (what != behaviour::tcp_stall) {
                add_opt(answer, query.opt);
                queue_framing_fault(stream_fd, what, framed(answer));
            }
            break;
    }
}

void responder::accept_connection() {
    connection accepted{-1, {}, {}};
    socklen_t client_len = sizeof accepted.client;
    accepted.fd = ::accept4(stream_listen_fd_, reinterpret_cast<sockaddr*>(&accepted.client),
                            &client_len, SOCK_NONBLOCK | SOCK_CLOEXEC);
    if (accepted.fd == -1) {
        return;
    }
    // Every piece of a split reply leaves in a segment of its own, not held back for the next.
    const int on = 1;
    ::setsockopt(accepted.fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    connections_.push_back(std::move(accepted));
}

void responder::read_connection(int fd) {
    const auto it = std::ranges::find(connections_, fd, &connection::fd);
    if (it == connections_.end()) {
        return;
    }
    uint8_t buffer[4096];
    const ssize_t n = ::recv(fd, buffer, sizeof buffer, MSG_DONTWAIT);
    if (n == 0 || (n == -1 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR)) {
        close_connection(fd);
        return;
    }
    if (n < 0) {
        return;
    }
    std::vector<uint8_t>& received = it->received;
    received.insert(received.end(), buffer, buffer + n);
    // Every whole query on the connection, each after its two-byte length.
    for (;;) {
        wire_reader length(received);
        const std::size_t size = length.u16();
        if (length.failed() || received.size() < 2 + size) {
            return;
        }
        const std::vector<uint8_t> query(received.begin() + 2,
                                         received.begin() + static_cast<std::ptrdiff_t>(2 + size));
        received.erase(received.begin(), received.begin() + static_cast<std::ptrdiff_t>(2 + size));
        take_query(query, it->client, fd, clock::now());
    }
}

void responder::close_connection(int fd) {
    // What was still to go on the connection goes nowhere: its descriptor may be reused.
    const auto on_connection = [fd](const pending_reply& reply) {
        return reply.how != delivery::datagram && reply.from_fd == fd;
    };
    std::erase_if(steady_, on_connection);
    std::erase_if(scheduled_, [&](const auto& entry) { return on_connection(entry.second); });
    std::erase_if(connections_, [fd](const connection& c) { return c.fd == fd; });
    ::close(fd);
}

bool responder::read_datagrams(int fd, uint64_t most) {
    constexpr std::size_t largest = 65536;
    receive_buffers_.resize(datagram_batch * largest);
    std::array<mmsghdr, datagram_batch> messages{};
    std::array<iovec, datagram_batch> pieces{};
    std::array<sockaddr_storage, datagram_batch> clients{};
    const std::size_t count = std::min<uint64_t>(most, datagram_batch);
    for (std::size_t i = 0; i < count; ++i) {
        pieces[i] = {receive_buffers_.data() + i * largest, largest};
        messages[i].msg_hdr.msg_name = &clients[i];
        messages[i].msg_hdr.msg_namelen = sizeof clients[i];
        messages[i].msg_hdr.msg_iov = &pieces[i];
        messages[i].msg_hdr.msg_iovlen = 1;
    }
    const int received =
        ::recvmmsg(fd, messages.data(), static_cast<unsigned>(count), MSG_DONTWAIT, nullptr);
    // Delays count from the moment the whole batch is in.
    const auto arrived = clock::now();
    for (std::size_t i = 0; received > 0 && i < static_cast<std::size_t>(received); ++i) {
        take_query({static_cast<const uint8_t*>(pieces[i].iov_base), messages[i].msg_len},
                   clients[i], -1, arrived);
    }
    return received == static_cast<int>(datagram_batch);
}

void responder::serve(const std::atomic<bool>& stop, uint64_t limit) {
    std::vector<pollfd> entries;
    for (;;) {
        send_due();
        const uint64_t seen = queries_seen_.load();
        const bool limit_reached = limit != 0 && seen >= limit;
        if (stop.load() || (limit_reached && !has_pending())) {
            return;
        }
        auto wait = std::chrono::nanoseconds(idle_tick);
        if (const pending_reply* next = next_pending()) {
            wait = std::clamp(std::chrono::nanoseconds(next->due - clock::now()),
                              std::chrono::nanoseconds(0), wait);
        }
        const timespec timeout{0, static_cast<long>(wait.count())};
        // ppoll passes over the IPv6 entry while its descriptor is -1.
        entries.assign(
            {{listen_fd_, POLLIN, 0}, {listen6_fd_, POLLIN, 0}, {stream_listen_fd_, POLLIN, 0}});
        for (const connection& c : connections_) {
            entries.push_back({c.fd, POLLIN, 0});
        }
        // Past the limit only the replies still due are sent; no further query is read.
        const int ready =
            ::ppoll(entries.data(), limit_reached ? 0 : entries.size(), &timeout, nullptr);
        if (ready <= 0) {
            continue;  // time-out, or a signal to look at the stop flag for
        }
        // A few batches at most before the replies that fell due meanwhile are sent.
        for (std::size_t i = 0; i < 2; ++i) {
            bool more = (entries[i].revents & POLLIN) != 0;
            for (int batch = 0; more && batch < 8 && (limit == 0 || queries_seen_ < limit);
                 ++batch) {
                more = read_datagrams(entries[i].fd,
                                      limit == 0 ? datagram_batch : limit - queries_seen_.load());
            }
        }
        if ((entries[2].revents & POLLIN) != 0) {
            accept_connection();
        }
        for (std::size_t i = 3; i < entries.size(); ++i) {
            if (entries[i].revents != 0) {
                read_connection(entries[i].fd);
            }
        }
    }
}

void responder::start() {
    stop();
    stop_requested_ = false;
    thread_ = std::thread([this] { serve(stop_requested_); });
}

void responder::stop() {
    stop_requested_ = true;
    if (thread_.joinable()) {
        thread_.join();
    }
}

}  // namespace resq::test_tools
