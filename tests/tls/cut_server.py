#!/usr/bin/env python3
"""A DNS over TLS server that hangs up in the middle of a pipeline, for the tests of a client's
connection reuse. It presents CERT (with KEY) on 127.0.0.1:PORT, answers the first AFTER queries
of a connection in the order they came, each by passing it on over UDP to 127.0.0.1:UPSTREAM and
sending back what comes back, then ends the connection with a TLS close_notify, leaving every
later query on it unanswered. Only the first CUTS connections are ended so (all of them when CUTS
is 0 or left out); later ones answer every query until the client closes. Prints "ready" once it
listens, then "resumed" or "new" for each handshake (whether the client resumed a TLS session);
runs until killed.

usage: cut_server.py CERT KEY PORT AFTER UPSTREAM [CUTS]
"""
import socket
import ssl
import struct
import sys
import threading


def read_exact(conn, size):
    data = b""
    while len(data) < size:
        chunk = conn.recv(size - len(data))
        if not chunk:
            return None
        data += chunk
    return data


def serve(raw, context, after, upstream, cut):
    try:
        conn = context.wrap_socket(raw, server_side=True)
    except (OSError, ssl.SSLError):
        raw.close()
        return
    print("resumed" if conn.session_reused else "new", flush=True)
    udp = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    udp.settimeout(2)
    try:
        answered = 0
        while not cut or answered < after:
            head = read_exact(conn, 2)
            if head is None:
                return
            query = read_exact(conn, struct.unpack("!H", head)[0])
            if query is None:
                return
            udp.sendto(query, ("127.0.0.1", upstream))
            reply = udp.recv(65535)
            conn.sendall(struct.pack("!H", len(reply)) + reply)
            answered += 1
        # close_notify first, as a server ending an idle or busy connection does; the client's
        # own close_notify is waited for briefly, so that queries already on the way are read
        # rather than answered by a reset.
        conn.settimeout(0.5)
        try:
            conn.unwrap()
        except (OSError, ssl.SSLError):
            pass
    except (OSError, ssl.SSLError):
        pass
    finally:
        udp.close()
        conn.close()


def main():
    if len(sys.argv) not in (6, 7):
        print(__doc__.strip().splitlines()[-1], file=sys.stderr)
        return 2
    cert, key, port, after, upstream = sys.argv[1:6]
    cuts = int(sys.argv[6]) if len(sys.argv) == 7 else 0
    context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
    context.load_cert_chain(cert, key)
    listener = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    listener.bind(("127.0.0.1", int(port)))
    listener.listen(64)
    print("ready", flush=True)
    accepted = 0
    while True:
        raw, _ = listener.accept()
        accepted += 1
        cut = cuts == 0 or accepted <= cuts
        threading.Thread(target=serve, args=(raw, context, int(after), int(upstream), cut),
                         daemon=True).start()


if __name__ == "__main__":
    sys.exit(main())
