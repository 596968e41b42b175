#!/bin/sh
# Inside a private network namespace (run through tests/tools/netns_run.sh): the installed resq
# asks the scripted responder on 127.0.0.1:53 for www.demo.example and must get its two addresses.
#
#   .ci/package_lookup.sh RESPONDER_BINARY
set -eu
responder=$1
ready=$(mktemp)
"$responder" --address 127.0.0.1 >"$ready" &
responder_pid=$!
trap 'kill $responder_pid 2>/dev/null; rm -f "$ready"' EXIT
for _ in 1 2 3 4 5 6 7 8 9 10 11 12 13 14 15 16 17 18 19 20; do
    grep -q ready "$ready" && break
    sleep 0.1
done
report=$(/usr/bin/resq -url www.demo.example -server 127.0.0.1 -json -exit_status)
echo "$report"
echo "$report" | grep -q '"status":"success"'
echo "$report" | grep -q '"address":"192.0.2.10"'
echo "$report" | grep -q '"address":"192.0.2.11"'
