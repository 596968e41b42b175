#!/bin/bash
# The bash completion follows the program's own option listing: after "-" it offers exactly the
# options with an effect, after an option that takes a value nothing, and after -type the types.
# usage: bash_completion.sh COMPLETION_FILE RESQ_BINARY
. "$1"
resq=$2
failures=0
# complete WORD...: what the completion offers for the command line WORD..., sorted, one line.
complete_words() {
    COMP_WORDS=("$resq" "$@")
    COMP_CWORD=$#
    COMPREPLY=()
    _resq
    ((${#COMPREPLY[@]} == 0)) || printf '%s\n' "${COMPREPLY[@]}" | sort | tr '\n' ' '
}
expect() {
    if [ "$2" != "$3" ]; then
        printf 'FAIL: %s\n  expected: %s\n  got:      %s\n' "$1" "$2" "$3"
        failures=$((failures + 1))
    fi
}
offered=$("$resq" --list-options | awk '$3 == "offered" && $1 ~ /^-/ { print $1 }' | sort | tr '\n' ' ')
expect "every option with an effect after -" "$offered" "$(complete_words -)"
expect "the TLS options" "-tls -tls_ca -tls_insecure -tls_name " "$(complete_words -url x -tls)"
expect "nothing after an option that takes a value" "" "$(complete_words -timeout '')"
expect "the types after -type" "SOA SPF SRV SSHFP " "$(complete_words -type so; complete_words -type sp;
    complete_words -type sr; complete_words -type ss)"
exit $((failures != 0))
