#!/usr/bin/env python3
"""A loopback DNS server for bench/hostile_memory.sh: answers every query with a reply of nearly
64 KiB made of the smallest records a server can send, so that the client's cost per record shows.

A query whose first label is "answers" gets its question and then as many 16-byte A answers (owner
compressed to the question) as fit; "questions" gets its own question and then as many five-byte
root questions as fit. Serves until killed."""
import socket
import struct
import sys

LIMIT = 65507  # the largest UDP payload over IPv4


def question_end(query):
    at = 12
    while query[at] != 0:
        at += 1 + query[at]
    return at + 5  # root byte, QTYPE, QCLASS


def reply_for(query):
    question = query[12:question_end(query)]
    first_label = question[1:1 + question[0]].lower()
    body = bytearray(question)
    if first_label == b"answers":
        record = b"\xc0\x0c\x00\x01\x00\x01\x00\x00\x00\x3c\x00\x04\xc0\x00\x02\x01"
        count = (LIMIT - 12 - len(body)) // len(record)
        body += record * count
        counts = (1, count, 0, 0)
    else:
        count = (LIMIT - 12 - len(body)) // 5
        body += b"\x00\x00\x01\x00\x01" * count
        counts = (1 + count, 0, 0, 0)
    header = query[:2] + b"\x81\x80" + struct.pack("!4H", *counts)
    return header + bytes(body)


def main():
    address = sys.argv[1] if len(sys.argv) > 1 else "127.0.0.1"
    server = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    server.bind((address, 53))
    print("ready", flush=True)
    while True:
        query, peer = server.recvfrom(4096)
        if len(query) > 12:
            server.sendto(reply_for(query), peer)


main()
