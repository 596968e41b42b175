// Replies of the scripted responder, assembled by hand so that a fault of the codec under test
// cannot hide itself by also producing the bytes it is checked against.
//
// Behaviour by query name. A name chooses the behaviour of the zone it equals or lies under, so
// a test can pick one per lookup and get fresh per-name state with a label of its own in front
// (a.flaky.test., b.flaky.test.). Counting state lives for one responder run. "The answer" is
// answer_header + the query's question + behaviour_answer: one A record 192.0.2.1, TTL 60.
//
//   zone                      reply
//   silent.test.              none
//   late.test.                the answer, sent late_reply_ms (1500 ms) after the query
//   wrongid.test.             the answer with identifier byte 0 increased by one
//   wrongid-then-ok.test.     first query for the name as wrongid.test., every later one right
//   wrongid-first.test.       spoofed_answer with identifier byte 0 increased by one, then the
//                             answer as for otheraddr-then-ok.test.
//   otherquestion-first.test. spoofed_answer with the question's first letter replaced by a
//                             digit (a question for another name), then the answer as above
//   upcase.test.              the answer with the question's name in upper case
//   noqr.test.                the answer with the QR bit cleared
//   short.test.               only the two identifier bytes of the answer
//   malformed.test.           the answer with overlong_answer: RDLENGTH 255, four data bytes
//   otheraddr.test.           the answer, sent from the listening address plus one, same port
//   otherport.test.           the answer, sent from the listening address, another port
//   otheraddr-then-ok.test.   spoofed_answer (198.51.100.66) from the address plus one, then the
//                             answer from the listening socket
//   otherport-then-ok.test.   spoofed_answer from another port, then the answer as above
//   flaky.test.               no reply to the first flaky_silent_queries (2) queries for the
//                             name, the answer to every later one
//   nodata.test.              NOERROR, no answer, the root's SOA (root_nxdomain_soa) in authority
//   refused.test.             REFUSED, the question alone
//   servfail.test.            SERVFAIL, the question alone
//   badvers.test.             RCODE 0 in the header, badvers_opt in additional: BADVERS (16)
//   hostile.test.             one TXT answer of hostile_txt: quotes, a backslash, control bytes
//                             and bytes that are not UTF-8; the owner is the question's name
//   truncated.test.           over UDP truncated_header + the question (TC set, no answer);
//                             over TCP the answer
//   echo.test.                the answer with RD, AD and CD as the query set them (RA clear),
//                             its question as asked (class included), and its OPT record with a
//                             COOKIE option of a client cookie alone given echo_server_cookie
//
// Hostile servers, for a lookup that must not be fooled or worn out by what comes back:
//
//   forge-next.test.          the answer, then over UDP forge_pause_ms (20 ms) later, to the
//                             client's address and port, forged replies to the next lookup a
//                             client reusing its socket may make: victim_question with
//                             forged_answer (6.6.6.6), QR set, NOERROR, one per identifier: bytes
//                             {10, 0} to {99, 0} (resq's identifiers, low byte first), then
//                             forged_spread (256) more, bytes {i, (97 i + 13) mod 256}, so that
//                             each byte takes every value. victim.forge-next.test. itself gets
//                             answer_header + its question + victim_answer (192.0.2.99) after
//                             100 ms, so that forgeries sent meanwhile arrive first
//   qdzero.test.              a reply with the query's identifier, QDCOUNT 0 and one answer
//                             forged_answer owned by the query's name written out (no question),
//                             then after 100 ms the answer
//   runt.test.                datagrams of 1, 3 and 11 bytes, each the start of the answer (its
//                             identifier as far as it goes), then after 100 ms the answer
//   formerr-bare.test.        formerr_header alone (FORMERR, no question, no record) plus the
//                             query's OPT record as always: a real reply a client must take
//   pointer-bomb.test.        a reply of largest_datagram (65507) bytes at most, OPT included:
//                             the question, one NULL record owned by the question's name whose
//                             data is a name of bomb_labels (94) labels of 63 octets (6017 octets
//                             on the wire, far past the 255 a name may have), then as many A
//                             records 192.0.2.1 as fit, each owned by a pointer to that name; a
//                             decoder without the 255-octet limit makes each owner 6016 bytes of
//                             text. Over TCP the same message, framed
//   big.test.                 a well-formed reply of largest_datagram bytes at most, OPT
//                             included: the question and as many A records as fit, owners
//                             compressed to the question, record i 198.18.(i / 256).(i mod 256),
//                             TTL 60. Over TCP the same message, framed
//   huge.test.                over UDP the truncated reply of truncated.test.; over TCP a reply
//                             as big.test.'s but of largest_message (65535) bytes at most: its
//                             frame does not fit one IP packet
//
// Over TCP (the same address and port) every reply is sent after its two-byte length, on the
// connection the query came in on; one scripted to leave from another address or port is not
// sent at all, and the others keep their order and delays. The zones below script the framing
// over TCP; over UDP each gives the truncated reply of truncated.test., so that a client that
// falls back to TCP meets the fault too.
//
//   tcp-split.test.           the framed answer in three pieces, split_pause_ms (50 ms) apart:
//                             the length's first byte, the rest up to the question, the rest
//   tcp-bytewise.test.        the framed answer one byte per segment, byte_pause_ms (2 ms) apart
//   tcp-cut.test.             the first half of the framed answer, then the connection closed
//   tcp-overlong.test.        the answer after a length 16 larger; the connection stays open
//   tcp-hangup.test.          the connection closed without a reply
//   tcp-stall.test.           no reply; the connection stays open until the client closes it
//   tcp-other-first.test.     spoofed_answer with identifier byte 0 increased by one, framed,
//                             then at once the framed answer on the same connection
//   anything else             the complete fixture for the name and type (table below), else
//                             NXDOMAIN: nxdomain_header + the question + an SOA, that of
//                             demo.example. for names under it, else one owned by the root
//
// Complete fixtures, the demo zone demo.example. (answers for other types are NXDOMAIN):
//   www.demo.example.          A     192.0.2.10, 192.0.2.11 (TTL 300); NS ns1 in authority
//   www.demo.example.          AAAA  2001:db8::10
//   demo.example.              MX    10 mail.demo.example. (exchange compressed to the question)
//   demo.example.              TXT   "first string" "second"
//   demo.example.              NS    ns1, ns2; A of ns1 in additional (owner points into data)
//   demo.example.              SOA   ns1.demo.example. hostmaster.demo.example. 2024010101 ...
//   alias.demo.example.        CNAME www.demo.example.
//   10.2.0.192.in-addr.arpa.   PTR   www.demo.example. (uncompressed)
#include "tools/responder/fixtures.hpp"

#include <array>

namespace resq::test_tools {

namespace {

constexpr uint8_t www_a[] = {
    0x00, 0x00,  // identifier, patched by the responder
    0x85, 0x80,  // QR, AA, RD, RA; NOERROR
    0x00, 0x01,  // QDCOUNT 1
    0x00, 0x02,  // ANCOUNT 2
    0x00, 0x01,  // NSCOUNT 1
    0x00, 0x00,  // ARCOUNT 0
    // question, offset 12
    3, 'w', 'w', 'w',                      // label "www"
    4, 'd', 'e', 'm', 'o',                 // label "demo", offset 16
    7, 'e', 'x', 'a', 'm', 'p', 'l', 'e',  // label "example"
    0x00,                                  // root
    0x00, 0x01,                            // type A
    0x00, 0x01,                            // class IN
    // answer 1, offset 34
    0xc0, 0x0c,              // name: pointer to 12, www.demo.example.
    0x00, 0x01,              // type A
    0x00, 0x01,              // class IN
    0x00, 0x00, 0x01, 0x2c,  // TTL 300
    0x00, 0x04,              // RDLENGTH 4
    192, 0, 2, 10,           // 192.0.2.10
    // answer 2, offset 50
    0xc0, 0x0c,              // name: pointer to 12
    0x00, 0x01,              // type A
    0x00, 0x01,              // class IN
    0x00, 0x00, 0x01, 0x2c,  // TTL 300
    0x00, 0x04,              // RDLENGTH 4
    192, 0, 2, 11,           // 192.0.2.11
    // authority, offset 66
    0xc0, 0x10,              // name: pointer to 16, demo.example.
    0x00, 0x02,              // type NS
    0x00, 0x01,              // class IN
    0x00, 0x00, 0x0e, 0x10,  // TTL 3600
    0x00, 0x06,              // RDLENGTH 6
    3, 'n', 's', '1',        // label "ns1"
    0xc0, 0x10,              // pointer to 16, demo.example.
};

constexpr uint8_t www_aaaa[] = {
    0x00, 0x00,  // identifier
    0x85, 0x80,  // QR, AA, RD, RA; NOERROR
    0x00, 0x01,  // QDCOUNT 1
    0x00, 0x01,  // ANCOUNT 1
    0x00, 0x00,  // NSCOUNT 0
    0x00, 0x00,  // ARCOUNT 0
    // question, offset 12
    3, 'w', 'w', 'w',                      // label "www"
    4, 'd', 'e', 'm', 'o',                 // label "demo"
    7, 'e', 'x', 'a', 'm', 'p', 'l', 'e',  // label "example"
    0x00,                                  // root
    0x00, 0x1c,                            // type AAAA
    0x00, 0x01,                            // class IN
    // answer, offset 34
    0xc0, 0x0c,              // name: pointer to 12
    0x00, 0x1c,              // type AAAA
    0x00, 0x01,              // class IN
    0x00, 0x00, 0x0e, 0x10,  // TTL 3600
    0x00, 0x10,              // RDLENGTH 16
    0x20, 0x01, 0x0d, 0xb8,  // 2001:db8:
    0x00, 0x00, 0x00, 0x00,  //   0:0:
    0x00, 0x00, 0x00, 0x00,  //   0:0:
    0x00, 0x00, 0x00, 0x10,  //   0:10
};

constexpr uint8_t demo_mx[] = {
    0x00, 0x00,  // identifier
    0x85, 0x80,  // QR, AA, RD, RA; NOERROR
    0x00, 0x01,  // QDCOUNT 1
    0x00, 0x01,  // ANCOUNT 1
    0x00, 0x00,  // NSCOUNT 0
    0x00, 0x00,  // ARCOUNT 0
    // question, offset 12
    4, 'd', 'e', 'm', 'o',                 // label "demo"
    7, 'e', 'x', 'a', 'm', 'p', 'l', 'e',  // label "example"
    0x00,                                  // root
    0x00, 0x0f,                            // type MX
    0x00, 0x01,                            // class IN
    // answer, offset 30
    0xc0, 0x0c,              // name: pointer to 12, demo.example.
    0x00, 0x0f,              // type MX
    0x00, 0x01,              // class IN
    0x00, 0x00, 0x0e, 0x10,  // TTL 3600
    0x00, 0x09,              // RDLENGTH 9
    0x00, 0x0a,              // preference 10
    4, 'm', 'a', 'i', 'l',   // label "mail"
    0xc0, 0x0c,              // pointer to 12, demo.example.
};

constexpr uint8_t demo_txt[] = {
    0x00, 0x00,  // identifier
    0x85, 0x80,  // QR, AA, RD, RA; NOERROR
    0x00, 0x01,  // QDCOUNT 1
    0x00, 0x01,  // ANCOUNT 1
    0x00, 0x00,  // NSCOUNT 0
    0x00, 0x00,  // ARCOUNT 0
    // question, offset 12
    4, 'd', 'e', 'm', 'o',                 // label "demo"
    7, 'e', 'x', 'a', 'm', 'p', 'l', 'e',  // label "example"
    0x00,                                  // root
    0x00, 0x10,                            // type TXT
    0x00, 0x01,                            // class IN
    // answer, offset 30
    0xc0, 0x0c,                                                      // name: pointer to 12
    0x00, 0x10,                                                      // type TXT
    0x00, 0x01,                                                      // class IN
    0x00, 0x00, 0x0e, 0x10,                                          // TTL 3600
    0x00, 0x14,                                                      // RDLENGTH 20
    12, 'f', 'i', 'r', 's', 't', ' ', 's', 't', 'r', 'i', 'n', 'g',  // string "first string"
    6, 's', 'e', 'c', 'o', 'n', 'd',                                 // string "second"
};

constexpr uint8_t demo_ns[] = {
    0x00, 0x00,  // identifier
    0x85, 0x80,  // QR, AA, RD, RA; NOERROR
    0x00, 0x01,  // QDCOUNT 1
    0x00, 0x02,  // ANCOUNT 2
    0x00, 0x00,  // NSCOUNT 0
    0x00, 0x01,  // ARCOUNT 1
    // question, offset 12
    4, 'd', 'e', 'm', 'o',                 // label "demo"
    7, 'e', 'x', 'a', 'm', 'p', 'l', 'e',  // label "example"
    0x00,                                  // root
    0x00, 0x02,                            // type NS
    0x00, 0x01,                            // class IN
    // answer 1, offset 30
    0xc0, 0x0c,              // name: pointer to 12
    0x00, 0x02,              // type NS
    0x00, 0x01,              // class IN
    0x00, 0x01, 0x51, 0x80,  // TTL 86400
    0x00, 0x06,              // RDLENGTH 6
    3, 'n', 's', '1',        // label "ns1", offset 42
    0xc0, 0x0c,              // pointer to 12
    // answer 2, offset 48
    0xc0, 0x0c,              // name: pointer to 12
    0x00, 0x02,              // type NS
    0x00, 0x01,              // class IN
    0x00, 0x01, 0x51, 0x80,  // TTL 86400
    0x00, 0x06,              // RDLENGTH 6
    3, 'n', 's', '2',        // label "ns2"
    0xc0, 0x0c,              // pointer to 12
    // additional, offset 66
    0xc0, 0x2a,              // name: pointer to 42, ns1.demo.example.
    0x00, 0x01,              // type A
    0x00, 0x01,              // class IN
    0x00, 0x01, 0x51, 0x80,  // TTL 86400
    0x00, 0x04,              // RDLENGTH 4
    192, 0, 2, 53,           // 192.0.2.53
};

constexpr uint8_t demo_soa[] = {
    0x00, 0x00,  // identifier
    0x85, 0x80,  // QR, AA, RD, RA; NOERROR
    0x00, 0x01,  // QDCOUNT 1
    0x00, 0x01,  // ANCOUNT 1
    0x00, 0x00,  // NSCOUNT 0
    0x00, 0x00,  // ARCOUNT 0
    // question, offset 12
    4, 'd', 'e', 'm', 'o',                 // label "demo"
    7, 'e', 'x', 'a', 'm', 'p', 'l', 'e',  // label "example"
    0x00,                                  // root
    0x00, 0x06,                            // type SOA
    0x00, 0x01,                            // class IN
    // answer, offset 30
    0xc0, 0x0c,                                            // name: pointer to 12
    0x00, 0x06,                                            // type SOA
    0x00, 0x01,                                            // class IN
    0x00, 0x00, 0x0e, 0x10,                                // TTL 3600
    0x00, 0x27,                                            // RDLENGTH 39
    3, 'n', 's', '1',                                      // MNAME label "ns1"
    0xc0, 0x0c,                                            //   pointer to 12
    10, 'h', 'o', 's', 't', 'm', 'a', 's', 't', 'e', 'r',  // RNAME label "hostmaster"
    0xc0, 0x0c,                                            //   pointer to 12
    0x78, 0xa3, 0xf1, 0x75,                                // serial 2024010101
    0x00, 0x00, 0x1c, 0x20,                                // refresh 7200
    0x00, 0x00, 0x03, 0x84,                                // retry 900
    0x00, 0x12, 0x75, 0x00,                                // expire 1209600
    0x00, 0x00, 0x01, 0x2c,                                // minimum 300
};

constexpr uint8_t alias_cname[] = {
    0x00, 0x00,  // identifier
    0x85, 0x80,  // QR, AA, RD, RA; NOERROR
    0x00, 0x01,  // QDCOUNT 1
    0x00, 0x01,  // ANCOUNT 1
    0x00, 0x00,  // NSCOUNT 0
    0x00, 0x00,  // ARCOUNT 0
    // question, offset 12
    5, 'a', 'l', 'i', 'a', 's',            // label "alias"
    4, 'd', 'e', 'm', 'o',                 // label "demo", offset 18
    7, 'e', 'x', 'a', 'm', 'p', 'l', 'e',  // label "example"
    0x00,                                  // root
    0x00, 0x05,                            // type CNAME
    0x00, 0x01,                            // class IN
    // answer, offset 36
    0xc0, 0x0c,              // name: pointer to 12
    0x00, 0x05,              // type CNAME
    0x00, 0x01,              // class IN
    0x00, 0x00, 0x0e, 0x10,  // TTL 3600
    0x00, 0x06,              // RDLENGTH 6
    3, 'w', 'w', 'w',        // label "www"
    0xc0, 0x12,              // pointer to 18, demo.example.
};

constexpr uint8_t reverse_ptr[] = {
    0x00, 0x00,  // identifier
    0x85, 0x80,  // QR, AA, RD, RA; NOERROR
    0x00, 0x01,  // QDCOUNT 1
    0x00, 0x01,  // ANCOUNT 1
    0x00, 0x00,  // NSCOUNT 0
    0x00, 0x00,  // ARCOUNT 0
    // question, offset 12
    2, '1', '0',                           // label "10"
    1, '2',                                // label "2"
    1, '0',                                // label "0"
    3, '1', '9', '2',                      // label "192"
    7, 'i', 'n', '-', 'a', 'd', 'd', 'r',  // label "in-addr"
    4, 'a', 'r', 'p', 'a',                 // label "arpa"
    0x00,                                  // root
    0x00, 0x0c,                            // type PTR
    0x00, 0x01,                            // class IN
    // answer, offset 41
    0xc0, 0x0c,                            // name: pointer to 12
    0x00, 0x0c,                            // type PTR
    0x00, 0x01,                            // class IN
    0x00, 0x00, 0x0e, 0x10,                // TTL 3600
    0x00, 0x12,                            // RDLENGTH 18
    3, 'w', 'w', 'w',                      // label "www"
    4, 'd', 'e', 'm', 'o',                 // label "demo"
    7, 'e', 'x', 'a', 'm', 'p', 'l', 'e',  // label "example"
    0x00,                                  // root
};

constexpr uint8_t answer_header_bytes[] = {
    0x00, 0x00,  // identifier
    0x81, 0x80,  // QR, RD, RA; NOERROR
    0x00, 0x01,  // QDCOUNT 1
    0x00, 0x01,  // ANCOUNT 1
    0x00, 0x00,  // NSCOUNT 0
    0x00, 0x00,  // ARCOUNT 0
};

constexpr uint8_t nxdomain_header_bytes[] = {
    0x00, 0x00,  // identifier
    0x85, 0x83,  // QR, AA, RD, RA; NXDOMAIN
    0x00, 0x01,  // QDCOUNT 1
    0x00, 0x00,  // ANCOUNT 0
    0x00, 0x01,  // NSCOUNT 1
    0x00, 0x00,  // ARCOUNT 0
};

constexpr uint8_t truncated_header_bytes[] = {
    0x00, 0x00,  // identifier
    0x83, 0x80,  // QR, TC, RD, RA; NOERROR
    0x00, 0x01,  // QDCOUNT 1
    0x00, 0x00,  // ANCOUNT 0
    0x00, 0x00,  // NSCOUNT 0
    0x00, 0x00,  // ARCOUNT 0
};

constexpr uint8_t behaviour_answer_bytes[] = {
    0xc0, 0x0c,              // name: pointer to 12, the question
    0x00, 0x01,              // type A
    0x00, 0x01,              // class IN
    0x00, 0x00, 0x00, 0x3c,  // TTL 60
    0x00, 0x04,              // RDLENGTH 4
    192,  0,    2,    1,     // 192.0.2.1
};

constexpr uint8_t spoofed_answer_bytes[] = {
    0xc0, 0x0c,              // name: pointer to 12
    0x00, 0x01,              // type A
    0x00, 0x01,              // class IN
    0x00, 0x00, 0x00, 0x3c,  // TTL 60
    0x00, 0x04,              // RDLENGTH 4
    198,  51,   100,  66,    // 198.51.100.66
};

constexpr uint8_t overlong_answer_bytes[] = {
    0xc0, 0x0c,              // name: pointer to 12
    0x00, 0x01,              // type A
    0x00, 0x01,              // class IN
    0x00, 0x00, 0x00, 0x3c,  // TTL 60
    0x00, 0xff,              // RDLENGTH 255, past the end of the message
    192,  0,    2,    1,     // the four bytes present
};

constexpr uint8_t demo_nxdomain_soa_bytes[] = {
    4,    'd',  'e',  'm',  'o',                                // owner label "demo"
    7,    'e',  'x',  'a',  'm', 'p', 'l', 'e',                 //   label "example"
    0x00,                                                       //   root
    0x00, 0x06,                                                 // type SOA
    0x00, 0x01,                                                 // class IN
    0x00, 0x00, 0x01, 0x2c,                                     // TTL 300
    0x00, 0x3f,                                                 // RDLENGTH 63
    3,    'n',  's',  '1',                                      // MNAME label "ns1"
    4,    'd',  'e',  'm',  'o',                                //   label "demo"
    7,    'e',  'x',  'a',  'm', 'p', 'l', 'e',                 //   label "example"
    0x00,                                                       //   root
    10,   'h',  'o',  's',  't', 'm', 'a', 's', 't', 'e', 'r',  // RNAME label "hostmaster"
    4,    'd',  'e',  'm',  'o',                                //   label "demo"
    7,    'e',  'x',  'a',  'm', 'p', 'l', 'e',                 //   label "example"
    0x00,                                                       //   root
    0x78, 0xa3, 0xf1, 0x75,                                     // serial 2024010101
    0x00, 0x00, 0x1c, 0x20,                                     // refresh 7200
    0x00, 0x00, 0x03, 0x84,                                     // retry 900
    0x00, 0x12, 0x75, 0x00,                                     // expire 1209600
    0x00, 0x00, 0x01, 0x2c,                                     // minimum 300
};

constexpr uint8_t root_nxdomain_soa_bytes[] = {
    0x00,                                                       // owner: root
    0x00, 0x06,                                                 // type SOA
    0x00, 0x01,                                                 // class IN
    0x00, 0x00, 0x01, 0x2c,                                     // TTL 300
    0x00, 0x34,                                                 // RDLENGTH 52
    2,    'n',  's',                                            // MNAME label "ns"
    7,    'i',  'n',  'v',  'a', 'l', 'i', 'd',                 //   label "invalid"
    0x00,                                                       //   root
    10,   'h',  'o',  's',  't', 'm', 'a', 's', 't', 'e', 'r',  // RNAME label "hostmaster"
    7,    'i',  'n',  'v',  'a', 'l', 'i', 'd',                 //   label "invalid"
    0x00,                                                       //   root
    0x00, 0x00, 0x00, 0x01,                                     // serial 1
    0x00, 0x00, 0x1c, 0x20,                                     // refresh 7200
    0x00, 0x00, 0x03, 0x84,                                     // retry 900
    0x00, 0x12, 0x75, 0x00,                                     // expire 1209600
    0x00, 0x00, 0x01, 0x2c,                                     // minimum 300
};

constexpr uint8_t badvers_opt_bytes[] = {
    0x00,                    // owner: root
    0x00, 0x29,              // type OPT
    0x10, 0x00,              // UDP payload size 4096
    0x01, 0x00, 0x00, 0x00,  // extended RCODE 1 (with header RCODE 0: 16), version 0, flags 0
    0x00, 0x00,              // RDLENGTH 0
};

constexpr uint8_t hostile_txt_bytes[] = {
    0xc0, 0x0c,                                        // name: pointer to 12, the question
    0x00, 0x10,                                        // type TXT
    0x00, 0x01,                                        // class IN
    0x00, 0x00, 0x00, 0x3c,                            // TTL 60
    0x00, 0x1a,                                        // RDLENGTH 26
    10,                                                // string of 10: say "hi" and a backslash
    's',  'a',  'y',  ' ',  '"',  'h', 'i', '"', ' ',  //
    '\\',                                              //
    5,                                                 // string of 5:
    0x00, 0x01, '\t', 0x1b, 0x7f,                      //   NUL, SOH, TAB, ESC, DEL
    8,                                                 // string of 8:
    0xff,                                              //   a byte no UTF-8 has
    0xc3, 'x',                                         //   a lead byte without its follower
    0xc3, 0xa9,                                        //   e with acute accent, well formed
    0xed, 0xa0, 0x80,                                  //   a UTF-16 surrogate in UTF-8 form
};

constexpr uint8_t forged_answer_bytes[] = {
    0xc0, 0x0c,              // name: pointer to 12, the question
    0x00, 0x01,              // type A
    0x00, 0x01,              // class IN
    0x00, 0x00, 0x00, 0x3c,  // TTL 60
    0x00, 0x04,              // RDLENGTH 4
    6,    6,    6,    6,     // 6.6.6.6
};

constexpr uint8_t victim_answer_bytes[] = {
    0xc0, 0x0c,              // name: pointer to 12, the question
    0x00, 0x01,              // type A
    0x00, 0x01,              // class IN
    0x00, 0x00, 0x00, 0x3c,  // TTL 60
    0x00, 0x04,              // RDLENGTH 4
    192,  0,    2,    99,    // 192.0.2.99
};

constexpr uint8_t victim_question_bytes[] = {
    6,    'v',  'i', 'c', 't', 'i', 'm',                      // label "victim"
    10,   'f',  'o', 'r', 'g', 'e', '-', 'n', 'e', 'x', 't',  // label "forge-next"
    4,    't',  'e', 's', 't',                                // label "test"
    0x00,                                                     // root
    0x00, 0x01,                                               // type A
    0x00, 0x01,                                               // class IN
};

constexpr uint8_t formerr_header_bytes[] = {
    0x00, 0x00,  // identifier
    0x81, 0x81,  // QR, RD, RA; FORMERR
    0x00, 0x00,  // QDCOUNT 0
    0x00, 0x00,  // ANCOUNT 0
    0x00, 0x00,  // NSCOUNT 0
    0x00, 0x00,  // ARCOUNT 0
};

constexpr std::array fixtures{
    reply_fixture{"www.demo.example.", 1, www_a},
    reply_fixture{"www.demo.example.", 28, www_aaaa},
    reply_fixture{"demo.example.", 15, demo_mx},
    reply_fixture{"demo.example.", 16, demo_txt},
    reply_fixture{"demo.example.", 2, demo_ns},
    reply_fixture{"demo.example.", 6, demo_soa},
    reply_fixture{"alias.demo.example.", 5, alias_cname},
    reply_fixture{"10.2.0.192.in-addr.arpa.", 12, reverse_ptr},
};

struct zone_behaviour {
    std::string_view zone;
    behaviour what;
};

constexpr std::array zones{
    zone_behaviour{"silent.test.", behaviour::silent},
    zone_behaviour{"late.test.", behaviour::late},
    zone_behaviour{"wrongid.test.", behaviour::wrong_id},
    zone_behaviour{"wrongid-then-ok.test.", behaviour::wrong_id_then_ok},
    zone_behaviour{"wrongid-first.test.", behaviour::wrong_id_first},
    zone_behaviour{"otherquestion-first.test.", behaviour::other_question_first},
    zone_behaviour{"upcase.test.", behaviour::upper_case},
    zone_behaviour{"noqr.test.", behaviour::no_qr},
    zone_behaviour{"short.test.", behaviour::short_reply},
    zone_behaviour{"malformed.test.", behaviour::malformed},
    zone_behaviour{"otheraddr.test.", behaviour::other_address},
    zone_behaviour{"otherport.test.", behaviour::other_port},
    zone_behaviour{"otheraddr-then-ok.test.", behaviour::other_address_then_ok},
    zone_behaviour{"otherport-then-ok.test.", behaviour::other_port_then_ok},
    zone_behaviour{"flaky.test.", behaviour::flaky},
    zone_behaviour{"nodata.test.", behaviour::nodata},
    zone_behaviour{"refused.test.", behaviour::refused},
    zone_behaviour{"servfail.test.", behaviour::servfail},
    zone_behaviour{"badvers.test.", behaviour::badvers},
    zone_behaviour{"hostile.test.", behaviour::hostile},
    zone_behaviour{"truncated.test.", behaviour::truncated},
    zone_behaviour{"tcp-split.test.", behaviour::tcp_split},
    zone_behaviour{"tcp-bytewise.test.", behaviour::tcp_bytewise},
    zone_behaviour{"tcp-cut.test.", behaviour::tcp_cut},
    zone_behaviour{"tcp-overlong.test.", behaviour::tcp_overlong},
    zone_behaviour{"tcp-hangup.test.", behaviour::tcp_hangup},
    zone_behaviour{"forge-next.test.", behaviour::forge_next},
    zone_behaviour{"qdzero.test.", behaviour::qdzero_first},
    zone_behaviour{"runt.test.", behaviour::runts_first},
    zone_behaviour{"formerr-bare.test.", behaviour::formerr_bare},
    zone_behaviour{"pointer-bomb.test.", behaviour::pointer_bomb},
    zone_behaviour{"big.test.", behaviour::big},
    zone_behaviour{"tcp-stall.test.", behaviour::tcp_stall},
    zone_behaviour{"tcp-other-first.test.", behaviour::tcp_other_first},
    zone_behaviour{"echo.test.", behaviour::echo},
    zone_behaviour{"huge.test.", behaviour::huge},
};

}  // namespace

const std::span<const uint8_t> answer_header{answer_header_bytes};
const std::span<const uint8_t> nxdomain_header{nxdomain_header_bytes};
const std::span<const uint8_t> truncated_header{truncated_header_bytes};
const std::span<const uint8_t> behaviour_answer{behaviour_answer_bytes};
const std::span<const uint8_t> spoofed_answer{spoofed_answer_bytes};
const std::span<const uint8_t> overlong_answer{overlong_answer_bytes};
const std::span<const uint8_t> demo_nxdomain_soa{demo_nxdomain_soa_bytes};
const std::span<const uint8_t> root_nxdomain_soa{root_nxdomain_soa_bytes};
const std::span<const uint8_t> badvers_opt{badvers_opt_bytes};
const std::span<const uint8_t> hostile_txt{hostile_txt_bytes};
const std::span<const uint8_t> forged_answer{forged_answer_bytes};
const std::span<const uint8_t> victim_answer{victim_answer_bytes};
const std::span<const uint8_t> victim_question{victim_question_bytes};
const std::span<const uint8_t> formerr_header{formerr_header_bytes};

const reply_fixture* find_fixture(std::string_view name, uint16_t type) {
    for (const auto& fixture : fixtures) {
        if (fixture.name == name && fixture.type == type) {
            return &fixture;
        }
    }
    return nullptr;
}

std::span<const reply_fixture> all_fixtures() {
    return fixtures;
}

behaviour behaviour_for(std::string_view name) {
    for (const auto& entry : zones) {
        if (name == entry.zone) {
            return entry.what;
        }
        // Under the zone only at a label boundary: x-silent.test. is not under silent.test.
        if (name.size() > entry.zone.size() && name.ends_with(entry.zone) &&
            name[name.size() - entry.zone.size() - 1] == '.') {
            return entry.what;
        }
    }
    return behaviour::normal;
}

}  // namespace resq::test_tools
