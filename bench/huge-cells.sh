#!/usr/bin/env bash
# Writes records whose one cell is hundreds of megabytes in every format of refscope-cli and prints
# a Markdown table: how each run ended, the bytes it wrote, its time and its peak memory, beside
# the peak of the same command whose reader goes away after the first byte (the program stops at
# its first write, so for a program that writes as it goes this is the loader's own peak). With an
# earlier build dir, that build runs the same commands in the same run. Needs about 1.2 GB of disk
# in TMPDIR and 2 GB of memory (an earlier build that held whole cells took up to 8 GB).
# Usage: bench/huge-cells.sh [build dir] [earlier build dir]
set -euo pipefail

builds=("${1:-build}")
[ $# -ge 2 ] && builds+=("$2")
for build in "${builds[@]}"; do
    [ -x "$build/cli/refscope-cli" ] || { echo "no $build/cli/refscope-cli: run 'make build' first" >&2; exit 1; }
done

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# A datarefs record whose description is 400 MB of 0x01 (a control byte, which JSON escapes as six
# bytes), and a commands record whose path is 750 MB of 0xFF (each byte no UTF-8: U+FFFD, three
# bytes when written).
{ printf '2 header\nsim/big\tint\ty\tunits\t'; head -c 400000000 /dev/zero | tr '\0' '\001'; printf '\n'; } \
    > "$work/description_400M_0x01.txt"
{ head -c 750000000 /dev/zero | tr '\0' '\377'; printf ' A command\n'; } > "$work/path_750M_0xFF.txt"

# One run: "how it ended | bytes written | seconds | peak MiB" of the command, its output counted.
measure() {
    /usr/bin/time -f 'time %e %M %x' "$@" 2> "$work/stderr" | wc -c > "$work/bytes" || true
    local ended message
    if grep -q 'terminated by signal' "$work/stderr"; then
        ended="signal $(sed -n 's/.*terminated by signal \([0-9]*\).*/\1/p' "$work/stderr")"
    else
        ended="exit $(awk '/^time/ { print $4 }' "$work/stderr")"
        message=$(grep '^refscope-cli:' "$work/stderr" | head -n 1 | cut -c 1-60 || true)
        [ -n "$message" ] && ended="$ended, \`$message\`"
    fi
    awk -v e="$ended" -v b="$(cat "$work/bytes")" '/^time/ { printf "%s | %.0f | %.1f | %.0f", e, b, $2, $3 / 1024 }' \
        "$work/stderr"
}

echo "| file | build | format | ended | bytes written | s | peak MiB |"
echo "|---|---|---|---|---:|---:|---:|"
for file in "$work"/description_400M_0x01.txt "$work"/path_750M_0xFF.txt; do
    name=$(basename "$file")
    for build in "${builds[@]}"; do
        cli="$build/cli/refscope-cli"
        for format in text tsv csv jsonl; do
            echo "| $name | $build | $format | $(measure "$cli" show "$file" --format "$format") |"
        done
        # The reader goes at the first byte: the loader's peak and the first slice written.
        /usr/bin/time -f '%M' "$cli" show "$file" --format tsv 2> "$work/stderr" | head -c 1 > /dev/null || true
        echo "| $name | $build | tsv, reader gone after 1 byte | | | | $(awk '{ v = $1 } END { printf "%.0f", v / 1024 }' "$work/stderr") |"
    done
done
