#!/usr/bin/env python3
"""Checks that every option the parsers accept is documented where users look for it.

The options are read from the parsers' own sources: every string literal that is a whole option
name ("-url", "--help"). An option taken there only to be dropped or refused (the first argument
of consume_flag, consume_value, consume_repeated_value or refuse_sqlite) has no effect in resq:
the manual page lists it, the usage text and the completions leave it out. Every other option must
appear in the usage text (printed by the program), in the manual page and in both completion files.

usage: check_options.py SOURCE_DIR RESQ_BINARY
"""
import pathlib
import re
import subprocess
import sys

PARSER_SOURCES = ["app/input_params.cpp", "support/cmd_params.cpp", "app/query_run.cpp"]
LITERAL = re.compile(r'"(--?[A-Za-z][A-Za-z0-9_]*)"')
DROPPED = re.compile(
    r'\b(?:consume_flag|consume_value|consume_repeated_value|refuse_sqlite)\(\s*"(-[A-Za-z0-9_]+)"')


def options_in_sources(root):
    """(offered, dropped): the option names with an effect, and those accepted without one."""
    every, dropped_only = set(), set()
    for name in PARSER_SOURCES:
        text = (root / name).read_text()
        every.update(LITERAL.findall(text))
        dropped_only.update(DROPPED.findall(text))
    # A name also used anywhere else (a real option of its own) counts as offered.
    for name in PARSER_SOURCES:
        text = (root / name).read_text()
        for option in LITERAL.findall(DROPPED.sub("", text)):
            dropped_only.discard(option)
    return every - dropped_only, dropped_only


def names_in(text):
    """The option-like words of a text: "-x" not preceded by a word character or another dash."""
    return set(re.findall(r"(?<![\w-])(--?[A-Za-z][A-Za-z0-9_]*)(?![\w])", text))


def man_text(path):
    """The manual page's source with roff's minus escapes and font changes undone."""
    text = path.read_text()
    text = re.sub(r"\\f[BIRP]", "", text)
    return text.replace("\\-", "-")


def main():
    root = pathlib.Path(sys.argv[1])
    binary = sys.argv[2]
    offered, dropped = options_in_sources(root)
    # A scanner that found nothing would pass every check: it must find the well-known options.
    for expected in ["-url", "-url_pipe", "-server", "-type", "-out", "-json", "--version"]:
        if expected not in offered:
            print(f"the parser scan did not find {expected}: check_options.py is out of date")
            return 1

    usage = subprocess.run([binary, "-h"], capture_output=True, text=True, check=False).stderr
    documents = {
        "usage text (resq -h)": (names_in(usage), offered),
        "man/resq.1": (names_in(man_text(root / "man/resq.1")), offered | dropped),
        "completions/resq.bash": (names_in((root / "completions/resq.bash").read_text()), offered),
        "completions/_resq": (names_in((root / "completions/_resq").read_text()), offered),
    }
    failed = False
    for document, (found, wanted) in documents.items():
        missing = sorted(wanted - found)
        if missing:
            failed = True
            print(f"{document} does not name: {' '.join(missing)}")
    print(f"{len(offered)} options offered, {len(dropped)} accepted without effect")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
