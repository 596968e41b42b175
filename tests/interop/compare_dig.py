#!/usr/bin/env python3
"""Asks a DNS server the same questions with resq and with dig and compares the answers.

For every lookup, each record that resq reports (section, owner, type, class, TTL and translated
data, or the data bytes for types the reports show in hexadecimal) must match the record dig shows
for the same question to the same server, in the same order; the question rows that resq adds to
an answer without answer records must match dig's question section. Every lookup is made in the
padded table, as separated values and as XML, the XML documents well-formed for xmllint, once for
each way of asking in VARIANTS: over UDP, over TCP, with a TCP fallback after a truncated reply,
with EDNS and over each further server address. Over UDP the lookups are also repeated as one
batch per lookup option, and the rdata field (-fields) of every record must equal dig's data text.

usage: compare_dig.py RESQ SERVER WORKDIR [SERVER...]
"""

import csv
import io
import ipaddress
import re
import struct
import subprocess
import sys
import xml.etree.ElementTree as ET
from pathlib import Path

LONG_NAME = ".".join(["a" * 63, "b" * 63, "c" * 63, "d" * 48]) + ".interop.test"

# (lookup option, name as typed, what the case covers)
LOOKUPS = [
    ("-url", "interop.test", "apex address, NS in authority, glue A and AAAA in additional"),
    ("-url", "HOST.Interop.Test", "letter case of the question kept in every owner name"),
    ("-url", "www.interop.test", "CNAME followed by the address of its target"),
    ("-url", "alias.interop.test", "chain of two CNAMEs"),
    ("-url", "ext.interop.test", "CNAME leaving the zone"),
    ("-url", "nope.interop.test", "NXDOMAIN: question row, SOA in authority"),
    ("-url", "www.sub.interop.test", "referral: NS in authority, glue in additional"),
    ("-url", "big.interop.test", "answer over 512 bytes: TC set over UDP without EDNS"),
    ("-url", "to-big.interop.test", "CNAME to an answer over 512 bytes"),
    ("-url", "unknown.example", "name outside the zones: REFUSED"),
    ("-url", LONG_NAME, "owner name of 255 wire bytes"),
    ("-url", "to-long.interop.test", "CNAME whose target has 255 wire bytes"),
    ("-mx", "interop.test", "MX exchange compressed against the question"),
    ("-mx", LONG_NAME, "MX exchange equal to a 255-byte question"),
    ("-mx", "host.interop.test", "NODATA: question row, SOA in authority"),
    ("-ns", "interop.test", "apex NS with A and AAAA in additional"),
    ("-ns", "sub.interop.test", "NS of a delegation, answered as a referral"),
    ("-cname", "www.interop.test", "CNAME asked for itself"),
    ("-cname", "host.interop.test", "NODATA for a CNAME query: no question row"),
    ("-cname", "nope.interop.test", "NXDOMAIN for a CNAME query: no question row"),
    ("-txt", "interop.test", "TXT of one string"),
    ("-txt", "txt.interop.test", "TXT of several strings with quotes and a backslash"),
    ("-txt", "crlf.interop.test", "TXT with CR, LF, TAB, an empty string and UTF-8"),
    ("-txt", "long-txt.interop.test", "TXT with a 255-byte string"),
    ("-ip", "192.0.2.7", "reverse lookup"),
    ("-ip", "192.0.2.25", "reverse lookup with two PTR records"),
    ("-ip", "192.0.2.99", "reverse lookup of an address without PTR: NXDOMAIN"),
    ("-txt", "many-txt.interop.test", "TXT set over 512 bytes: TC set over UDP without EDNS"),
    ("-aaaa", "host.interop.test", "AAAA of a link-local address"),
    ("-url -type AAAA", "ns2.interop.test", "AAAA asked with -type"),
    ("-aaaa", "nope.interop.test", "NXDOMAIN for AAAA: question row, SOA in authority"),
    ("-soa", "interop.test", "SOA of the apex"),
    ("-url -type SOA", "www.interop.test", "SOA asked of a CNAME: the CNAME, SOA in authority"),
    ("-srv", "_sip._udp.interop.test", "SRV, targets in and below the zone"),
    ("-url -type srv", "_sip._udp.interop.test", "SRV asked with a lower-case -type"),
    ("-caa", "interop.test", "CAA, one record with the critical flag"),
    ("-url -type NAPTR", "sip.interop.test", "NAPTR: empty strings, a regexp, the root as target"),
    ("-url -type DS", "sub.interop.test", "DS of a delegation, answered by the parent"),
    ("-url -type DS", "host.interop.test", "NODATA for DS: question row, SOA in authority"),
    ("-url -type DNSKEY", "interop.test", "DNSKEY of an unsigned zone, served as data"),
    ("-url -type RRSIG", "host.interop.test", "RRSIG, served as data"),
    ("-url -type NSEC", "host.interop.test", "NSEC with type bitmap windows 0 and 255"),
    ("-url -type TLSA", "_443._tcp.host.interop.test", "TLSA"),
    ("-url -type SSHFP", "host.interop.test", "SSHFP"),
    ("-url -type SVCB", "_dns.host.interop.test", "SVCB with alpn, port and a numbered key"),
    ("-url -type HTTPS", "interop.test", "HTTPS with the root as target and address hints"),
    ("-url -type TYPE65280", "host.interop.test", "RFC 3597 type, without mnemonic or decoder"),
    ("-url -type 65280", "host.interop.test", "the same type asked by number"),
    ("-any", "host.interop.test", "ANY of a name that has records of many types"),
]

# Ways of asking every lookup: (what, resq options, index of the server in the command line, dig
# options, whether every reply must come whole). The first, plain UDP, is the one the batches
# repeat and the one whose truncated replies -tcp_fallback reports before its TCP attempt. dig
# without +ignore retries a truncated reply over TCP, as -tcp_fallback does.
VARIANTS = [
    ("over UDP", [], 0, ["+ignore"], False),
    ("over TCP", ["-tcp"], 0, ["+tcp"], True),
    ("with -tcp_fallback", ["-tcp_fallback"], 0, [], True),
    ("with -edns 4096", ["-edns", "4096"], 0,
     ["+ignore", "+edns=0", "+bufsize=4096", "+nocookie"], True),
    ("over UDP", [], 1, ["+ignore"], False),
    ("over UDP", [], 2, ["+ignore"], False),
]

QTYPE = {"-url": "A", "-ip": "PTR", "-mx": "MX", "-ns": "NS", "-cname": "CNAME", "-txt": "TXT",
         "-aaaa": "AAAA", "-soa": "SOA", "-srv": "SRV", "-caa": "CAA", "-any": "ANY"}
# The types the reports translate; the data of every other type is shown in hexadecimal.
TRANSLATED = {"A", "NS", "CNAME", "SOA", "PTR", "MX", "TXT", "AAAA"}
TYPE_CODE = {"A": 1, "NS": 2, "CNAME": 5, "SOA": 6, "PTR": 12, "MX": 15, "TXT": 16, "AAAA": 28,
             "SRV": 33, "NAPTR": 35, "OPT": 41, "DS": 43, "SSHFP": 44, "RRSIG": 46, "NSEC": 47,
             "DNSKEY": 48, "TLSA": 52, "SVCB": 64, "HTTPS": 65, "CAA": 257}
# The XML attributes of a question row, by type: empty names and addresses; none for the rest;
# left open (None) for MX.
QUESTION_ATTRS = {"NS": [("domain_name", "")], "PTR": [("domain_name", "")],
                  "CNAME": [("domain_name", "")], "AAAA": [("ipv6_addr", "")], "MX": None}
# dig's options for every question: the reply as it came, each section with its heading.
DIG_OPTIONS = ["+nosplit", "+noedns", "+norecurse", "+nocmd", "+noall", "+comments", "+question", "+answer",
               "+authority", "+additional", "+tries=1", "+time=2"]
# Options of a reply's OPT record that dig shows by name: their option codes.
EDNS_OPTION = {"EDE": 15}
SECTION_LABEL = {"ANSWER": "answer", "AUTHORITY": "authority", "ADDITIONAL": "additions"}
XML_CHILDREN = ["query", "status", "packet_id", "dns_server", "query_date_utc", "query_time_utc",
                "dns_type", "dns_type_name", "dns_class", "ttl_secs", "data_length",
                "raw_data_hex", "translated_data"]
HEADER_WORDS = ["query", "comment", "status", "id", "DNSserv", "date", "time-UTC", "type", "tname",
                "class", "ttl", "size"]


class Expected:
    """One row that resq should report, derived from dig's view of the reply."""

    def __init__(self, section, status, owner, rtype, ttl, parts, attrs, raw, attempt,
                 rclass="1"):
        self.section = section
        self.status = status
        self.owner = owner
        self.rtype = rtype
        self.ttl = ttl
        self.parts = parts  # data column pieces, joined by the inner separator
        self.attrs = attrs  # XML translated_data attributes; None where the value is left open
        self.raw = raw  # record data bytes, None where dig does not show them (compressed names)
        self.attempt = attempt  # 0, or 1 for the TCP attempt after a truncated reply
        self.rclass = rclass  # class column: 1 (IN), or the payload size of an OPT record

    def type_columns(self):
        """resq's type number and name. resq names a type without a mnemonic "unk" where dig
        writes TYPE and the number (RFC 3597)."""
        if self.rtype in TYPE_CODE:
            return str(TYPE_CODE[self.rtype]), self.rtype
        return self.rtype[len("TYPE"):], "unk"

    def data(self, inner):
        return inner.join(self.parts)


def ipv6_groups(text):
    packed = ipaddress.IPv6Address(text).packed
    return [packed[i] << 8 | packed[i + 1] for i in range(0, 16, 2)], packed


def ipv6_xml_text(groups):
    """The XML writer's colon form: the first run of zero groups, however short, becomes '::'."""
    out, in_run, run_used = [], False, False
    for i, group in enumerate(groups):
        if group:
            out.append("%x" % group)
            in_run = False
        elif in_run:
            continue
        elif run_used:
            out.append("0")
        else:
            in_run = run_used = True
            if i == 0:
                out.append(":")
        if i + 1 < len(groups):
            out.append(":")
    return "".join(out)


def txt_rdata(text):
    """Rebuilds the wire form (length byte, then bytes) of dig's quoted TXT strings."""
    out, i = bytearray(), 0
    while i < len(text):
        if text[i] != '"':
            i += 1
            continue
        i += 1
        piece = bytearray()
        while text[i] != '"':
            if text[i] == "\\" and text[i + 1:i + 4].isdigit():
                piece.append(int(text[i + 1:i + 4]))
                i += 4
            elif text[i] == "\\":
                piece += text[i + 1].encode("latin-1")
                i += 2
            else:
                piece += text[i].encode("latin-1")
                i += 1
        out.append(len(piece))
        out += piece
        i += 1
    return bytes(out)


def translate(rtype, rdata, raw):
    """Data column pieces, XML attributes and raw bytes that resq should show for dig's rdata;
    `raw` holds the data bytes, which dig shows in RFC 3597 form."""
    if rtype not in TRANSLATED:
        return [" ".join("%02x" % b for b in raw) or "  <none>"], [], raw
    if rtype == "A":
        return [rdata], [("ipv4_addr", rdata)], bytes(int(b) for b in rdata.split("."))
    if rtype == "AAAA":
        groups, packed = ipv6_groups(rdata)
        return [":".join("%x" % g for g in groups)], [("ipv6_addr", ipv6_xml_text(groups))], packed
    if rtype == "MX":
        pref, name = rdata.split()
        return [pref, name], [("preference", "%3d" % int(pref)), ("mx_server", name)], None
    if rtype in ("NS", "PTR", "CNAME"):
        return [rdata], [("domain_name", rdata)], None
    if rtype == "SOA":
        mname, rname, *numbers = rdata.split()
        serial, refresh, retry, expire, minimum = (int(n) for n in numbers)
        parts = [mname, rname] + ["0x%08x" % int(n) for n in numbers]
        attrs = [("domain_name", mname), ("admin_mailbox", rname), ("serial_num", "0x%x" % serial),
                 ("refresh_sec", str(refresh)), ("retry_sec", str(retry)),
                 ("expire_sec", str(expire)), ("min_sec", str(minimum))]
        return parts, attrs, None
    if rtype == "TXT":
        raw = txt_rdata(rdata)
        text = raw.decode("latin-1").replace("\r", " ").replace("\n", " ")
        return [text], [], raw
    raise ValueError("no translation known for type " + rtype)


def run(command, stdin=b""):
    return subprocess.run(command, input=stdin, capture_output=True, timeout=60)


def reverse_name(address):
    return ".".join(reversed(address.split("."))) + ".in-addr.arpa"


def question_of(lookup, name):
    """The name and type a lookup asks for: the type of its -type, else of its lookup option."""
    words = lookup.split()
    qtype = words[words.index("-type") + 1].upper() if "-type" in words else QTYPE[words[0]]
    qname = reverse_name(name) if words[0] == "-ip" else name
    return qname, "TYPE" + qtype if qtype.isdigit() else qtype


class Reply:
    """One reply as dig shows it."""

    def __init__(self, retried):
        self.retried = retried  # dig asked again over TCP, its UDP reply being truncated
        self.flags = []
        self.questions = []  # (owner, class, type)
        self.records = []  # (section label, owner, class, type, TTL, data in presentation form)
        self.opt = None  # version, DO bit, payload size and option bytes of the OPT record


def parse_replies(text):
    """dig's replies, in order, from its output with comments."""
    replies, section, retried = [], None, False
    for line in text.splitlines():
        heading = re.fullmatch(r";; (\w+) (?:PSEUDO)?SECTION:", line)
        if line == ";; Truncated, retrying in TCP mode.":
            retried = True
        elif line.startswith(";; ->>HEADER<<-"):
            replies.append(Reply(retried))
            section, retried = None, False
        elif line.startswith(";; flags:"):
            replies[-1].flags = line[len(";; flags:"):].split(";")[0].split()
        elif heading:
            section = heading.group(1)
        elif section == "QUESTION" and line.startswith(";") and not line.startswith(";;"):
            replies[-1].questions.append(tuple(line[1:].split()))
        elif section == "OPT" and line:
            edns = re.fullmatch(r"; EDNS: version: (\d+), flags:([\w ]*); udp: (\d+)", line)
            option = re.fullmatch(r"; (\w+): (\d+)(?: \([^)]*\))?", line)
            if edns:
                replies[-1].opt = [int(edns.group(1)), "do" in edns.group(2).split(),
                                   edns.group(3), b""]
            elif option and option.group(1) in EDNS_OPTION:
                replies[-1].opt[3] += struct.pack("!HHH", EDNS_OPTION[option.group(1)], 2,
                                                  int(option.group(2)))
            else:
                raise ValueError("dig shows an EDNS option not known here: %r" % line)
        elif section in SECTION_LABEL and line and not line.startswith(";"):
            owner, ttl, rclass, rtype, rdata = line.split(None, 4)
            replies[-1].records.append((SECTION_LABEL[section], owner, rclass, rtype, int(ttl),
                                        rdata))
    return replies


def dig_replies(server, options, questions):
    """dig's replies to the questions, all asked in one run (dig takes long to start): for each
    question the reply as dig presents it and the same reply in RFC 3597 form, which shows the
    data bytes of every record."""
    bracketed = re.fullmatch(r"\[(.+)\]:(\d+)", server)
    host, port = bracketed.groups() if bracketed else (server, "53")
    command = ["dig", "@" + host, "-p", port] + DIG_OPTIONS + options
    for qname, qtype in questions:
        command += [qname, qtype, qname, qtype, "+unknownformat"]
    result = run(command)
    replies = parse_replies(result.stdout.decode("latin-1"))
    if result.returncode != 0 or len(replies) != 2 * len(questions):
        raise RuntimeError("dig %s: %d replies to %d questions: %s" %
                           (" ".join(options), len(replies), 2 * len(questions), result.stdout))
    return list(zip(replies[0::2], replies[1::2]))


def rfc3597_bytes(rdata):
    """The bytes of data in RFC 3597 form: \\# LENGTH HEX..."""
    marker, length, *words = rdata.split()
    data = bytes.fromhex("".join(words))
    if marker != "\\#" or len(data) != int(length):
        raise ValueError("not in RFC 3597 form: %r" % rdata)
    return data


def expected_rows(reply, generic, qtype, attempt):
    """The rows resq should report for one of dig's replies; `generic` is the same reply in
    RFC 3597 form."""
    rows = []
    if not any(r[0] == "answer" for r in reply.records) and qtype != "CNAME":
        for owner, rclass, rtype in reply.questions:
            assert rclass == "IN"
            rows.append(Expected("question", "invalid", owner, rtype, 0, ["  <none>"],
                                 QUESTION_ATTRS.get(rtype, []), b"", attempt))
    if len(generic.records) != len(reply.records):
        raise RuntimeError("dig's two forms of a reply hold different records")
    for (label, owner, rclass, rtype, ttl, rdata), same in zip(reply.records, generic.records):
        assert rclass == "IN"
        parts, attrs, raw = translate(rtype, rdata, rfc3597_bytes(same[5]))
        rows.append(Expected(label, "success", owner, rtype, ttl, parts, attrs, raw, attempt))
    if reply.opt:
        # Its owner is the root, which resq shows as an empty name; its TTL field holds the
        # version and the DO bit (RFC 6891 6.1.3).
        version, dnssec_ok, size, data = reply.opt
        parts, attrs, raw = translate("OPT", None, data)
        rows.append(Expected("additions", "success", "", "OPT", version << 16 | dnssec_ok << 15,
                             parts, attrs, raw, attempt, size))
    return rows


class Table:
    """Layout of one table form: separator, inner separator and padding of each column."""

    def __init__(self, compact, server):
        self.compact = compact
        self.sep = "," if compact else " | "
        self.inner = ";" if compact else "; "
        width = (lambda w: 0) if compact else (lambda w: w)
        # (width, right-aligned) per column before the data column
        self.columns = [(width(40), False), (width(9), False), (width(7), False),
                        (width(4), True), (width(len(server)), True), (width(10), False),
                        (width(12), False), (width(4), True), (width(6), True), (width(5), True),
                        (width(6), True), (width(4), True)]

    def field(self, text):
        """A compact field as a CSV reader reads it back: quoted when it would split the row."""
        if self.compact and (self.sep in text or any(c in text for c in '"\r\n')):
            return '"' + text.replace('"', '""') + '"'
        return text

    def line(self, values):
        cells = []
        for i, (value, (w, right)) in enumerate(zip(values, self.columns)):
            cell = value.rjust(w, "0" if i == 3 else " ") if right else value.ljust(w)
            cells.append(self.field((" " if i == 6 else "") + cell))
        return self.sep.join(cells + [self.field(values[12])])

    def header(self):
        words = [w.ljust(c[0]) for w, c in zip(HEADER_WORDS, self.columns)]
        words[6] = " " + words[6]
        return self.sep.join(words + ["data"])


def table_rows(output, table):
    """Splits a table report into rows of 13 texts; raises on a malformed layout."""
    lines = output.decode("latin-1").split("\n")
    header = table.header()
    if header not in lines:
        raise ValueError("no column header line %r" % header)
    i = lines.index(header) + 1
    rows = []
    while i < len(lines):
        line = lines[i]
        if line == "":
            if i == len(lines) - 1:
                break
            raise ValueError("empty line after row %r" % lines[i - 1])
        if table.compact:
            values = next(csv.reader([line], delimiter=table.sep, strict=True))
        else:
            values = line.split(table.sep, 12)
        if len(values) != 13:
            raise ValueError("row without 13 columns: %r" % line)
        values = [v.strip() for v in values[:6]] + [values[6][1:].strip()] + \
            [v.strip() for v in values[7:12]] + [values[12]]
        if table.line(values) != line:
            raise ValueError("row not laid out as %r: %r" % (table.line(values), line))
        rows.append(values)
        i += 1
        if values[7] == "16" and values[11] != "0":  # a TXT row with data (not a question)
            if i >= len(lines) - 1 or lines[i] != "":
                raise ValueError("no empty line after TXT row %r" % line)
            i += 1
    return rows


def compare_rows(rows, expected, table, server):
    """Differences between resq's table rows and the expected rows, as texts."""
    problems = []
    if len(rows) != len(expected):
        problems.append("resq reported %d rows, dig %d" % (len(rows), len(expected)))
    ids = {}
    for row, want in zip(rows, expected):
        size = "0" if want.raw == b"" else str(len(want.raw)) if want.raw is not None else None
        code, name = want.type_columns()
        checks = [("comment", row[1], want.section), ("status", row[2], want.status),
                  ("query", row[0], want.owner), ("DNSserv", row[4], server),
                  ("type", row[7], code), ("tname", row[8], name),
                  ("class", row[9], want.rclass), ("ttl", row[10], str(want.ttl)),
                  ("data", row[12], want.data(table.inner))]
        if size is not None:
            checks.append(("size", row[11], size))
        for column, got, wanted in checks:
            if got != wanted:
                problems.append("%s %s: %s is %r, dig says %r" %
                                (want.owner, want.rtype, column, got, wanted))
        if not re.fullmatch(r"\d{4}-\d\d-\d\d", row[5]) or \
                not re.fullmatch(r"\d\d:\d\d:\d\d\.\d{3}", row[6]):
            problems.append("date or time malformed: %r %r" % (row[5], row[6]))
        ids.setdefault(want.attempt, set()).add(row[3])
    if any(len(group) > 1 for group in ids.values()) or \
            any(not re.fullmatch(r"[0-9a-f]{1,4}", i) for group in ids.values() for i in group):
        problems.append("packet ids %s are not one id of 1 to 4 hex digits per attempt" %
                        sorted(ids.values()))
    return problems


def compare_xml(output, expected, sizes, path, server):
    """Checks the XML report with xmllint, then its entries against the expected rows."""
    start = output.find(b"<?xml")
    if start < 0:
        return ["no XML declaration"]
    document = output[start:]
    path.write_bytes(document)
    lint = run(["xmllint", "--noout", str(path)])
    if lint.returncode != 0:
        return ["xmllint: " + lint.stderr.decode("latin-1").strip()]
    problems = []
    lines = document.decode("latin-1").split("\n")
    entries = [line for line in lines if line.startswith("<data_entry>")]
    for line in entries:
        if not line.endswith("</data_entry>") or \
                not re.search(r'<translated_data (?: \w+="[^"]*")*></translated_data>', line):
            problems.append("entry not laid out on one line as expected: %r" % line)
    found = ET.fromstring(document).findall("data_entry")
    if len(found) != len(expected) or len(entries) != len(expected):
        problems.append("%d XML entries, dig has %d records" % (len(found), len(expected)))
    for entry, want, size in zip(found, expected, sizes):
        tags = [child.tag for child in entry]
        if tags != XML_CHILDREN:
            problems.append("%s: elements %s" % (want.owner, tags))
            continue
        text = {child.tag: child.text or "" for child in entry}
        raw_hex = text["raw_data_hex"].split()
        code, name = want.type_columns()
        checks = [("query", text["query"], want.owner), ("status", text["status"], want.status),
                  ("dns_server", text["dns_server"], server), ("dns_type", text["dns_type"], code),
                  ("dns_type_name", text["dns_type_name"], name),
                  ("dns_class", text["dns_class"], want.rclass),
                  ("ttl_secs", text["ttl_secs"], str(want.ttl)),
                  ("data_length", text["data_length"], size),
                  ("raw_data_hex length", str(len(raw_hex)), size)]
        if want.raw is not None:
            checks.append(("raw_data_hex", text["raw_data_hex"], " ".join(
                "%02x" % b for b in want.raw)))
        if want.attrs is not None:
            checks.append(("translated_data", list(entry.find("translated_data").attrib.items()),
                           want.attrs))
        for element, got, wanted in checks:
            if got != wanted:
                problems.append("%s %s: XML %s is %r, expected %r" %
                                (want.owner, want.rtype, element, got, wanted))
        if not re.fullmatch(r"[0-9a-f]{4}", text["packet_id"]):
            problems.append("XML packet_id malformed: %r" % text["packet_id"])
    return problems


def compare_lookup(command, expected, server, xml_path):
    """What differs between the expected rows and resq's report in the three forms."""
    compact, padded = Table(True, server), Table(False, server)
    problems = []
    try:
        csv, table, xml = (run(command + form) for form in (["-csv"], [], ["-xml"]))
        for form, result in (("-csv", csv), ("table", table), ("-xml", xml)):
            if result.returncode != 0 or result.stderr:
                problems.append("%s run: exit status %d, standard error %r" %
                                (form, result.returncode, result.stderr[:200]))
        rows = table_rows(csv.stdout, compact)
        problems += compare_rows(rows, expected, compact, server)
        problems += compare_rows(table_rows(table.stdout, padded), expected, padded, server)
        problems += compare_xml(xml.stdout, expected, [r[11] for r in rows], xml_path, server)
    except (ValueError, ET.ParseError, subprocess.TimeoutExpired) as error:
        problems.append(str(error))
    return problems


def compare_rdata(command, reply):
    """What differs between dig's data text of each record and resq's rdata field, which is
    empty on question rows; the OPT record, which dig shows apart, is left out."""
    result = run(command + ["-csv", "-fields", "comment,tname,rdata"])
    text = result.stdout.decode("latin-1")
    rows = list(csv.reader(io.StringIO(text[text.find("\n\n") + 2:], newline="")))[1:]
    got = [(row[0], row[2]) for row in rows if row[1] != "OPT" and row[0] != "question"]
    wanted = [(label, rdata) for label, _, _, _, _, rdata in reply.records]
    problems = ["rdata of a question row: %r" % row[2] for row in rows
                if row[0] == "question" and row[2]]
    if len(got) != len(wanted):
        problems.append("%d rows with rdata, dig has %d records" % (len(got), len(wanted)))
    for (section, data), (label, expected) in zip(got, wanted):
        if (section, data) != (label, expected):
            problems.append("rdata %s %r, dig shows %s %r" % (section, data, label, expected))
    return problems


def report(problems, text):
    print("%s %s" % ("FAIL" if problems else "ok  ", text))
    for problem in problems:
        print("       " + problem)
    return bool(problems)


def dig_short(server, name, qtype, *options):
    """dig's +short lines for one question."""
    return run(["dig", "@" + server, "+short", "+norecurse", name, qtype] + list(options)) \
        .stdout.decode().splitlines()


def compare_controls(resq, server, workdir):
    """The client's own calls and controls against dig: a dig-style call, a file of typed lines,
    an IDN name, RD cleared and the server's NSID. Returns the number of comparisons that failed."""
    failed = 0
    short = [resq, "-timeout", "2", "-norecurse", "-short"]
    got = run(short[:1] + ["host.interop.test", "@" + server, "AAAA"] + short[1:]).stdout
    failed += report([] if got.decode().splitlines() == dig_short(server, "host.interop.test", "AAAA")
                     else ["resq printed %r" % got], "dig-style call NAME @SERVER TYPE")

    queries = workdir / "typed.txt"
    queries.write_text("interop.test MX\nhost.interop.test\nns2.interop.test AAAA\n")
    got = run(short + ["-server", server, "-f", str(queries), "-typed_lines"]).stdout
    wanted = ["interop.test\t" + line for line in dig_short(server, "interop.test", "MX")] + \
        ["host.interop.test\t" + line for line in dig_short(server, "host.interop.test", "A")] + \
        ["ns2.interop.test\t" + line for line in dig_short(server, "ns2.interop.test", "AAAA")]
    failed += report([] if got.decode().splitlines() == wanted else
                     ["resq printed %r, dig %r" % (got, wanted)], "-f FILE -typed_lines, mixed types")

    got = run(short + ["-server", server, "-idn", "-url", "b\u00fccher.interop.test"]).stdout
    wanted = dig_short(server, "xn--bcher-kva.interop.test", "A")
    failed += report([] if got.decode().splitlines() == wanted and wanted else
                     ["resq printed %r, dig %r" % (got, wanted)], "-idn sends the A-label")

    got = run([resq, "-server", server, "-url", "host.interop.test", "-norecurse", "-nsid", "-csv",
               "-fields", "flags,tname,rdata"]).stdout.decode()
    dig = run(["dig", "@" + server, "+norecurse", "+nsid", "host.interop.test"]).stdout.decode()
    problems = [] if "\nqr aa,A,192.0.2.7\n" in got else ["no row with the flags qr aa: %r" % got]
    # CSV doubles the quotes of a field that holds some.
    problems += [] if 'NSID: 72 65 73 71 2d 69 6e 74 65 72 6f 70 (""resq-interop"")' in got and \
        '("resq-interop")' in dig else ["NSID not shown as dig shows it: %r" % got]
    failed += report(problems, "-norecurse clears RD; -nsid shows the server's NSID")
    return failed


def main():
    resq, workdir = sys.argv[1], Path(sys.argv[3])
    servers = [sys.argv[2]] + sys.argv[4:]
    questions = [question_of(lookup, name) for lookup, name, _ in LOOKUPS]
    failed = total = retried = 0
    udp_replies, by_lookup = None, {}
    for variant, (what, options, index, dig_options, whole) in enumerate(VARIANTS):
        if index >= len(servers):
            print("skipped: the lookups %s to server %d, which is not given" % (what, index + 1))
            continue
        server = servers[index]
        replies = dig_replies(server, dig_options, questions)
        udp_replies = udp_replies or replies
        for number, ((lookup, name, about), (_, qtype), (reply, generic), udp) in \
                enumerate(zip(LOOKUPS, questions, replies, udp_replies)):
            expected = expected_rows(reply, generic, qtype, int(reply.retried))
            if reply.retried:
                # The truncated UDP reply comes first, as resq reports it.
                expected = expected_rows(*udp, qtype, 0) + expected
                retried += 1
            problems = ["dig's reply has TC set: asked %s it should come whole" % what] \
                if whole and "tc" in reply.flags else []
            words = lookup.split()
            command = [resq, "-server", server, "-timeout", "2", words[0], name] + words[1:]
            problems += compare_lookup(command + options, expected, server,
                                       workdir / ("lookup%d-%02d.xml" % (variant, number)))
            if variant == 0:
                by_lookup.setdefault(lookup, []).extend(expected)
                if not reply.retried:
                    problems += compare_rdata(command + options, reply)
            failed += report(problems, "%s %s %s to %s (%s)" %
                             (lookup, name[:40], what, server, about))
            total += 1

    # The batch forms must report the same rows, one column header for the whole run, one
    # lookup after another or many in flight (the rows still in input order).
    for lookup, expected in by_lookup.items():
        for concurrency in ([], ["-inflight", "8"]):
            words = lookup.split()
            names = "".join(name + "\n" for o, name, _ in LOOKUPS if o == lookup).encode()
            compact = Table(True, servers[0])
            problems = []
            try:
                batch = run([resq, "-server", servers[0], "-timeout", "2", words[0] + "_pipe"] +
                            words[1:] + ["-csv"] + concurrency, stdin=names)
                problems = compare_rows(table_rows(batch.stdout, compact), expected, compact,
                                        servers[0])
                problems = [p for p in problems if not p.startswith("packet ids")]
            except (ValueError, subprocess.TimeoutExpired) as error:
                problems.append(str(error))
            failed += report(problems, "%s with %d names on standard input" %
                             (" ".join([words[0] + "_pipe"] + words[1:] + concurrency),
                              names.count(b"\n")))
            total += 1

    failed += compare_controls(resq, servers[0], workdir)
    total += 4

    # A truncated reply must have been retried over TCP, or -tcp_fallback went untested.
    failed += report([] if retried else ["no reply was truncated"],
                     "%d lookups fell back to TCP" % retried)
    total += 1
    print("interop: %d of %d comparisons agree with dig" % (total - failed, total))
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
