#!/usr/bin/env python3
"""Asks a DNS server the same questions with resq and with dig and compares the answers.

For every lookup, each record that resq reports (section, owner, type, class, TTL and translated
data) must match the record dig shows for the same question to the same server, in the same order;
the question rows that resq adds to an answer without answer records must match dig's question
section. The same lookups are repeated as one batch per lookup option, in the padded table and as
XML; the XML documents must be well-formed for xmllint and carry the same records.

usage: compare_dig.py RESQ SERVER WORKDIR
"""

import csv
import ipaddress
import re
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
    ("-url", "big.interop.test", "answer over 512 bytes: truncated, TC set"),
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
]

QTYPE = {"-url": "A", "-ip": "PTR", "-mx": "MX", "-ns": "NS", "-cname": "CNAME", "-txt": "TXT"}
TYPE_CODE = {"A": 1, "NS": 2, "CNAME": 5, "SOA": 6, "PTR": 12, "MX": 15, "TXT": 16, "AAAA": 28}
SECTION_LABEL = {"ANSWER": "answer", "AUTHORITY": "authority", "ADDITIONAL": "additions"}
XML_CHILDREN = ["query", "status", "packet_id", "dns_server", "query_date_utc", "query_time_utc",
                "dns_type", "dns_type_name", "dns_class", "ttl_secs", "data_length",
                "raw_data_hex", "translated_data"]
HEADER_WORDS = ["query", "comment", "status", "id", "DNSserv", "date", "time-UTC", "type", "tname",
                "class", "ttl", "size"]


class Expected:
    """One row that resq should report, derived from dig's view of the reply."""

    def __init__(self, section, status, owner, rtype, ttl, parts, attrs, raw):
        self.section = section
        self.status = status
        self.owner = owner
        self.rtype = rtype
        self.ttl = ttl
        self.parts = parts  # data column pieces, joined by the inner separator
        self.attrs = attrs  # XML translated_data attributes; None where the value is left open
        self.raw = raw  # record data bytes, None where dig does not show them (compressed names)

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


def translate(rtype, rdata):
    """Data column pieces, XML attributes and raw bytes that resq should show for dig's rdata."""
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


def dig(server, option, name):
    """dig's reply to the lookup, as the rows resq should report for it."""
    qname = reverse_name(name) if option == "-ip" else name
    result = run(["dig", "@" + server, "+noedns", "+norecurse", "+nocmd", "+noall", "+comments",
                  "+question", "+answer", "+authority", "+additional", "+ignore", "+tries=1",
                  "+time=2", qname, QTYPE[option]])
    questions, records, section = [], [], None
    for line in result.stdout.decode("latin-1").splitlines():
        heading = re.fullmatch(r";; (\w+) SECTION:", line)
        if heading:
            section = heading.group(1)
        elif section == "QUESTION" and line.startswith(";"):
            owner, rclass, rtype = line[1:].split()
            questions.append((owner, rclass, rtype))
        elif section in SECTION_LABEL and line and not line.startswith(";"):
            owner, ttl, rclass, rtype, rdata = line.split(None, 4)
            records.append((SECTION_LABEL[section], owner, rclass, rtype, int(ttl), rdata))
    if result.returncode != 0 or not questions:
        raise RuntimeError("dig failed for %s %s: %s" % (qname, QTYPE[option], result.stdout))
    rows = []
    if not any(r[0] == "answer" for r in records) and QTYPE[option] != "CNAME":
        for owner, rclass, rtype in questions:
            assert rclass == "IN"
            attrs = {"A": [], "TXT": [], "MX": None}.get(rtype, [("domain_name", "")])
            rows.append(Expected("question", "invalid", owner, rtype, 0, ["  <none>"], attrs, b""))
    for label, owner, rclass, rtype, ttl, rdata in records:
        assert rclass == "IN"
        parts, attrs, raw = translate(rtype, rdata)
        rows.append(Expected(label, "success", owner, rtype, ttl, parts, attrs, raw))
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
        if values[7] == "16":
            if i >= len(lines) - 1 or lines[i] != "":
                raise ValueError("no empty line after TXT row %r" % line)
            i += 1
    return rows


def compare_rows(rows, expected, table, server):
    """Differences between resq's table rows and the expected rows, as texts."""
    problems = []
    if len(rows) != len(expected):
        problems.append("resq reported %d rows, dig %d" % (len(rows), len(expected)))
    ids = set()
    for row, want in zip(rows, expected):
        size = "0" if want.raw == b"" else str(len(want.raw)) if want.raw is not None else None
        checks = [("comment", row[1], want.section), ("status", row[2], want.status),
                  ("query", row[0], want.owner), ("DNSserv", row[4], server),
                  ("type", row[7], str(TYPE_CODE[want.rtype])), ("tname", row[8], want.rtype),
                  ("class", row[9], "1"), ("ttl", row[10], str(want.ttl)),
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
        ids.add(row[3])
    if len(ids) > 1 or any(not re.fullmatch(r"[0-9a-f]+", i) or not 10 <= int(i, 16) <= 99
                           for i in ids):
        problems.append("packet ids %s are not one id from 10 to 99" % sorted(ids))
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
        checks = [("query", text["query"], want.owner), ("status", text["status"], want.status),
                  ("dns_server", text["dns_server"], server),
                  ("dns_type", text["dns_type"], str(TYPE_CODE[want.rtype])),
                  ("dns_type_name", text["dns_type_name"], want.rtype),
                  ("dns_class", text["dns_class"], "1"), ("ttl_secs", text["ttl_secs"],
                                                           str(want.ttl)),
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


def main():
    resq, server, workdir = sys.argv[1], sys.argv[2], Path(sys.argv[3])
    compact, padded = Table(True, server), Table(False, server)
    base = [resq, "-server", server, "-timeout", "2"]
    failed = 0
    expected_by_option = {}
    for number, (option, name, about) in enumerate(LOOKUPS):
        expected = dig(server, option, name)
        expected_by_option.setdefault(option, []).extend(expected)
        problems = []
        try:
            csv, table, xml = (run(base + [option, name] + form) for form in
                               (["-csv"], [], ["-xml"]))
            for form, result in (("-csv", csv), ("table", table), ("-xml", xml)):
                if result.returncode != 0 or result.stderr:
                    problems.append("%s run: exit status %d, standard error %r" %
                                    (form, result.returncode, result.stderr[:200]))
            rows = table_rows(csv.stdout, compact)
            problems += compare_rows(rows, expected, compact, server)
            problems += compare_rows(table_rows(table.stdout, padded), expected, padded, server)
            problems += compare_xml(xml.stdout, expected, [r[11] for r in rows],
                                    workdir / ("lookup%02d.xml" % number), server)
        except (ValueError, ET.ParseError, subprocess.TimeoutExpired) as error:
            problems.append(str(error))
        failed += bool(problems)
        print("%s %s %s (%s)" % ("FAIL" if problems else "ok  ", option, name[:40], about))
        for problem in problems:
            print("       " + problem)

    # The batch forms must report the same rows, one column header for the whole run.
    for option, expected in expected_by_option.items():
        names = "".join(name + "\n" for o, name, _ in LOOKUPS if o == option).encode()
        problems = []
        try:
            batch = run(base + [option + "_pipe", "-csv"], stdin=names)
            problems = compare_rows(table_rows(batch.stdout, compact), expected, compact, server)
            problems = [p for p in problems if not p.startswith("packet ids")]
        except (ValueError, subprocess.TimeoutExpired) as error:
            problems.append(str(error))
        failed += bool(problems)
        print("%s %s_pipe with %d names" % ("FAIL" if problems else "ok  ", option,
                                             names.count(b"\n")))
        for problem in problems:
            print("       " + problem)

    total = len(LOOKUPS) + len(expected_by_option)
    print("interop: %d of %d comparisons agree with dig" % (total - failed, total))
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
