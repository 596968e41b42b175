#!/bin/sh
# Runs a command where it may bind port 53 on loopback without touching any host service:
# inside a private network namespace (loopback only) when one can be made, else directly when
# running as root (the tests then use 127.0.0.x addresses of their own). Exits 77, which CTest
# counts as skipped, when neither is possible.
if [ "$#" -eq 0 ]; then
    echo "usage: netns_run.sh COMMAND [ARG...]" >&2
    exit 2
fi
if [ -z "$RESQ_IN_NETNS" ] && unshare -rn true 2>/dev/null; then
    exec unshare -rn env RESQ_IN_NETNS=1 sh -c 'ip link set lo up && exec "$@"' netns_run "$@"
fi
if [ -n "$RESQ_IN_NETNS" ] || [ "$(id -u)" = 0 ]; then
    exec "$@"
fi
echo "skipped: needs a private network namespace (unshare -rn) or root to bind port 53 on loopback" >&2
exit 77
