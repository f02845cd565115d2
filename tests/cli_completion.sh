#!/usr/bin/env bash
# The bash completion of refscope-cli offers what a user would type next: commands, sim commands,
# options, formats, and files where a FILE goes but not where a TEXT does.
# Usage: cli_completion.sh path/to/refscope-cli.bash
set -u
. "${1:?usage: $0 refscope-cli.bash}"
cd "$(mktemp -d)" && touch DataRefs.txt Dashboard.txt
failures=0
# The words as bash splits them, "=" apart; the last is the one being completed.
offers() {
    local expected=$1
    shift
    COMP_WORDS=(refscope-cli "$@")
    COMP_CWORD=$#
    COMPREPLY=()
    _refscope_cli
    local got="${COMPREPLY[*]}"
    if [ "$got" = "$expected" ]; then
        echo "ok: refscope-cli $* -> $got"
    else
        echo "FAIL: refscope-cli $*: '$got', not '$expected'"
        failures=$((failures + 1))
    fi
}
offers "show search sim" s
offers "list diff get watch set run find" sim ""
offers "text tsv csv jsonl" diff a b --format ""
offers "text tsv csv jsonl list paths" search DataRefs.txt --format = ""
offers "always" show DataRefs.txt --color = al
offers "--ignore-case" search DataRefs.txt --i
offers "--hold --sim --udp --help" sim run x --
offers "--for --help" sim find --
offers "DataRefs.txt Dashboard.txt" show Da
offers "DataRefs.txt" diff DataRefs.txt --format = csv Dat
offers "" search DataRefs.txt Da
offers "DataRefs.txt" sim list --with Dat
[ "$(complete -p refscope-cli)" = "complete -F _refscope_cli refscope-cli" ] || { echo "FAIL: not registered"; failures=$((failures + 1)); }
exit $((failures > 0))
