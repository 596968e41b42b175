#!/usr/bin/env python3
"""The round trips of DNS queries over UDP as seen on the wire, for bench/burst.sh.

  wire_rtt.py capture FILE        captures the datagrams of port 53 on the loopback interface into
                                  the pcap file FILE (tcpdump -r reads it) until SIGTERM or SIGINT,
                                  then prints "captured N dropped D" (D: the capture's own drops)
  wire_rtt.py pair FILE [JSON]    pairs each query with its reply by client address, port and
                                  message id, and prints the count and the median and 99th
                                  percentile of the round trip in ms; with the JSON Lines report
                                  of the same run, also those of resq's rtt_ms less the wire's,
                                  attempt by attempt (matched by id and name)

tcpdump itself cannot write a capture inside an `unshare -rn` namespace (it fails to hand the
file or itself to its own user), so this takes packets from a packet socket the way libpcap does
on loopback: each datagram once, as it arrives (the copy going out is left out by the filter),
stamped by the kernel.
"""
import ctypes
import json
import signal
import socket
import struct
import sys

SOL_PACKET = 263
PACKET_STATISTICS = 6
SO_TIMESTAMPNS = 35
SO_ATTACH_FILTER = 26
ETH_P_ALL = 3
SNAP = 160


def capture(path):
    sock = socket.socket(socket.AF_PACKET, socket.SOCK_RAW, socket.htons(ETH_P_ALL))
    # Classic BPF: keep incoming IPv4 UDP datagrams from or to port 53, cut to SNAP bytes.
    program = [
        (0x20, 0, 0, 0xFFFFF004),  # ld pkttype (SKF_AD_OFF + SKF_AD_PKTTYPE)
        (0x15, 9, 0, 4),  # jeq PACKET_OUTGOING -> drop
        (0x28, 0, 0, 12),  # ldh ethertype
        (0x15, 0, 7, 0x0800),  # jne IPv4 -> drop
        (0x30, 0, 0, 23),  # ldb IP protocol
        (0x15, 0, 5, 17),  # jne UDP -> drop
        (0x28, 0, 0, 34),  # ldh source port (no IP options on loopback)
        (0x15, 2, 0, 53),  # jeq 53 -> keep
        (0x28, 0, 0, 36),  # ldh destination port
        (0x15, 0, 1, 53),  # jne 53 -> drop
        (0x06, 0, 0, SNAP),  # ret SNAP: keep
        (0x06, 0, 0, 0),  # ret 0: drop
    ]
    code = b"".join(struct.pack("HBBI", *insn) for insn in program)
    instructions = ctypes.create_string_buffer(code)
    sock.setsockopt(socket.SOL_SOCKET, SO_ATTACH_FILTER,
                    struct.pack("HL", len(program), ctypes.addressof(instructions)))
    sock.setsockopt(socket.SOL_SOCKET, socket.SO_RCVBUF, 1 << 26)
    sock.setsockopt(socket.SOL_SOCKET, SO_TIMESTAMPNS, 1)
    sock.bind(("lo", 0))
    stop = []
    signal.signal(signal.SIGTERM, lambda *_: stop.append(1))
    signal.signal(signal.SIGINT, lambda *_: stop.append(1))
    sock.settimeout(0.1)
    packets = []
    print("ready", flush=True)
    while True:
        try:
            data, ancillary, _, _ = sock.recvmsg(SNAP, 64)
        except socket.timeout:
            if stop:
                break
            continue
        except InterruptedError:
            continue
        seconds, nanoseconds = 0, 0
        for level, kind, value in ancillary:
            if level == socket.SOL_SOCKET and kind == SO_TIMESTAMPNS:
                seconds, nanoseconds = struct.unpack("qq", value[:16])
        packets.append((seconds, nanoseconds, data))
    seen, dropped = struct.unpack("II", sock.getsockopt(SOL_PACKET, PACKET_STATISTICS, 8))
    with open(path, "wb") as out:
        # pcap with nanosecond stamps, Ethernet link type (loopback has a zeroed Ethernet header)
        out.write(struct.pack("IHHiIII", 0xA1B23C4D, 2, 4, 0, 0, 65535, 1))
        for seconds, nanoseconds, data in packets:
            out.write(struct.pack("IIII", seconds, nanoseconds, len(data), len(data)))
            out.write(data)
    print(f"captured {len(packets)} dropped {dropped}")


def read_pcap(path):
    with open(path, "rb") as source:
        raw = source.read()
    scale = 1e-9 if struct.unpack("I", raw[:4])[0] == 0xA1B23C4D else 1e-6
    at = 24
    while at + 16 <= len(raw):
        seconds, fraction, length, _ = struct.unpack("IIII", raw[at : at + 16])
        yield seconds + fraction * scale, raw[at + 16 : at + 16 + length]
        at += 16 + length


def qname(message):
    labels, at = [], 12
    while at < len(message) and message[at] != 0:
        size = message[at]
        labels.append(message[at + 1 : at + 1 + size].decode("ascii", "replace"))
        at += 1 + size
    return ".".join(labels)


def percentiles(values):
    values = sorted(values)
    if not values:
        return "none"
    median = values[len(values) // 2]
    p99 = values[min(len(values) - 1, int(len(values) * 0.99))]
    return f"{len(values)} median {median:.3f} p99 {p99:.3f} max {values[-1]:.3f}"


def pair(path, report=None):
    waiting = {}
    wire = {}
    for stamp, frame in read_pcap(path):
        ip = frame[14:]
        header = (ip[0] & 0x0F) * 4
        source, target = ip[12:16], ip[16:20]
        source_port, target_port = struct.unpack("!HH", ip[header : header + 4])
        message = ip[header + 8 :]
        if len(message) < 12:
            continue
        ident = struct.unpack("!H", message[:2])[0]
        if target_port == 53 and not message[2] & 0x80:
            waiting.setdefault((source, source_port, ident), []).append((stamp, qname(message)))
        elif source_port == 53 and message[2] & 0x80:
            queries = waiting.get((target, target_port, ident))
            if queries:
                sent, name = queries.pop(0)
                wire[(ident, name.lower())] = (stamp - sent) * 1000
    unanswered = sum(len(queries) for queries in waiting.values())
    print(f"wire rtt ms: {percentiles(wire.values())}; queries without a reply {unanswered}")
    if report:
        excess = []
        with open(report) as lines:
            for line in lines:
                attempt = json.loads(line)
                key = (attempt.get("id"), attempt["name"].rstrip(".").lower())
                if "rtt_ms" in attempt and key in wire:
                    excess.append(attempt["rtt_ms"] - wire[key])
        print(f"resq rtt_ms less wire rtt, ms: {percentiles(excess)}")


if __name__ == "__main__":
    if len(sys.argv) >= 3 and sys.argv[1] == "capture":
        capture(sys.argv[2])
    elif len(sys.argv) >= 3 and sys.argv[1] == "pair":
        pair(sys.argv[2], sys.argv[3] if len(sys.argv) > 3 else None)
    else:
        sys.exit(__doc__)
