#!/usr/bin/env python3
"""Checks that every option the program accepts is documented where users look for it.

The options are read from the program's own option table, which it lists with the hidden
--list-options: one line per name with its kind and "offered" or "dropped". A dropped option is
taken only to be thrown away or refused and has no effect in resq: the manual page lists it, the
usage text and the completions leave it out. Every offered option must appear in the usage text
(printed by the program), in the manual page and in the zsh completion file. The bash completion
takes its options from the listing itself (bash_completion.sh checks that it does).

usage: check_options.py SOURCE_DIR RESQ_BINARY
"""
import pathlib
import re
import subprocess
import sys


def options_in_table(binary):
    """(offered, dropped): the option names with an effect, and those accepted without one."""
    listing = subprocess.run([binary, "--list-options"], capture_output=True, text=True,
                             check=True).stdout
    offered, dropped = set(), set()
    for line in listing.splitlines():
        name, _kind, role = line.split()
        # "/?" is no option-like word for the documents' scan; it is checked with -h.
        if name.startswith("-"):
            (offered if role == "offered" else dropped).add(name)
    return offered, dropped


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
    offered, dropped = options_in_table(binary)
    # A listing that held nothing would pass every check: it must hold the well-known options.
    for expected in ["-url", "-url_pipe", "-server", "-type", "-out", "-json", "--version"]:
        if expected not in offered:
            print(f"the option listing does not hold {expected}: check_options.py is out of date")
            return 1

    usage = subprocess.run([binary, "-h"], capture_output=True, text=True, check=False).stderr
    documents = {
        "usage text (resq -h)": (names_in(usage), offered),
        "man/resq.1": (names_in(man_text(root / "man/resq.1")), offered | dropped),
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
