#!/bin/sh
# Runs resq and dig side by side against a private NSD serving the zones of this folder and
# compares what they report (compare_dig.py). Meant to run inside a private network namespace
# (tests/tools/netns_run.sh). Exits 77, which CTest counts as skipped, when a tool is missing,
# except on CI (CI=true), where a missing tool fails the test.
# usage: run_interop.sh RESQ_BINARY
if [ "$#" -ne 1 ]; then
    echo "usage: run_interop.sh RESQ_BINARY" >&2
    exit 2
fi
resq=$(readlink -f "$1")
here=$(dirname "$(readlink -f "$0")")
PATH=$PATH:/usr/sbin:/sbin

missing=
for tool in nsd:nsd dig:bind9-dnsutils xmllint:libxml2-utils python3:python3; do
    if ! command -v "${tool%%:*}" >/dev/null 2>&1; then
        missing="$missing ${tool%%:*} (package ${tool#*:})"
    fi
done
if [ -n "$missing" ]; then
    if [ "$CI" = true ]; then
        echo "interop: missing on CI:$missing" >&2
        exit 1
    fi
    echo "skipped: missing$missing" >&2
    exit 77
fi
if [ ! -x "$resq" ]; then
    echo "interop: no resq binary at $1" >&2
    exit 1
fi

NSD_LIB=$here/nsd_lib.sh
. "$NSD_LIB"
rundir=$(mktemp -d "${TMPDIR:-/tmp}/resq-interop.XXXXXX") || exit 1
trap 'nsd_stop; rm -rf "$rundir"' EXIT
trap 'exit 1' HUP INT TERM

# In a namespace of our own NSD also listens on ::1, on port 53 and on another port; as root
# without one, where ::1 is the host's, on its IPv4 address alone.
addr=$(nsd_default_addr)
listen=$addr
servers=
if [ -n "$RESQ_IN_NETNS" ]; then
    listen="$addr ::1 ::1@8053"
    servers="::1 [::1]:8053"
fi
nsd_start "$rundir" "$listen" \
    interop.test "$here/interop.test.zone" \
    2.0.192.in-addr.arpa "$here/2.0.192.in-addr.arpa.zone" || exit 1
# shellcheck disable=SC2086 # one argument per server
python3 "$here/compare_dig.py" "$resq" "$addr" "$rundir" $servers
