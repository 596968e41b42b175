#!/bin/sh
# The README's demo: resq against the project's scripted responder serving the demo zone
# demo.example. on 127.0.0.1:53 inside a private network namespace. Nothing leaves the machine.
#
#   demo/run.sh [BUILD_DIR]        (default: build)
set -eu
top=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$top/build}" && pwd)
resq="$build/app/resq"
responder="$build/tools/responder/resq_responder"
for program in "$resq" "$responder"; do
    if [ ! -x "$program" ]; then
        echo "demo: $program is missing; build first: cmake -S . -B build && cmake --build build -j2" >&2
        exit 1
    fi
done

if [ -z "${RESQ_IN_NETNS:-}" ]; then
    exec "$top/tests/tools/netns_run.sh" "$0" "$build"
fi

ready=$(mktemp)
"$responder" --address 127.0.0.1 >"$ready" &
responder_pid=$!
trap 'kill $responder_pid 2>/dev/null; rm -f "$ready"' EXIT
for _ in 1 2 3 4 5 6 7 8 9 10; do
    grep -q ready "$ready" && break
    sleep 0.2
done

show() {
    printf '\n$ resq %s\n' "$*"
    "$resq" "$@"
}
cd "$top"
show -url www.demo.example -server 127.0.0.1
show -mx demo.example -server 127.0.0.1
show -txt demo.example -server 127.0.0.1
show -url www.demo.example -server 127.0.0.1 -xml
show -mx demo.example -server 127.0.0.1 -xml
show -txt demo.example -server 127.0.0.1 -xml
# A batch: one name per line of standard input, several in flight, rows in input order.
names='www.demo.example\nnowhere.demo.example\ndemo.example\n'
printf '\n$ printf '"'%s'"' | resq -url_pipe -server 127.0.0.1 -csv -inflight 4\n' "$names"
printf '%b' "$names" | "$resq" -url_pipe -server 127.0.0.1 -csv -inflight 4
# What a reply said, in the columns chosen: the RCODE and flags tell NXDOMAIN from NODATA.
printf '\n$ printf '"'%s'"' | resq -url_pipe -server 127.0.0.1 -csv -fields query,rcode,flags,rtt,rdata\n' "$names"
printf '%b' "$names" | "$resq" -url_pipe -server 127.0.0.1 -csv -fields query,rcode,flags,rtt,rdata
# The answers alone, as dig +short prints them, asked dig-style.
show www.demo.example @127.0.0.1 -short
