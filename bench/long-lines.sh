#!/usr/bin/env bash
# Lines of a gigabyte and more through refscope-cli: the heap overflow a search of a 2 GB line once
# caused, and the line limit at its edge, wherever the line starts and in both ways of loading
# (`show` loads every line, `search` copies out the lines that hold its text). Builds each input in a
# temporary folder, as a sparse file where it can (the long line is "sim/long needle " and then NUL
# bytes), runs the command and prints a Markdown table: exit status (or the signal), the first line
# on stderr, wall time and peak memory. The files are deleted afterwards.
# Usage: bench/long-lines.sh [build dir]   (needs about 7 GB of free memory; little disk)
set -uo pipefail

build=${1:-build}
cli="$build/cli/refscope-cli"
[ -x "$cli" ] || { echo "no $cli: run 'make build' first" >&2; exit 1; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
file="$work/list.txt"
limit=$((1 << 30))

# 64-byte lines (63 bytes and a line feed) of one text, count bytes of them.
lines_of() { yes "$(printf '%-63s' "$1" | tr ' ' x)" | head -c "$2"; }

# A file whose line at offset is length bytes long, then optionally a line feed and one more line.
# The bytes before it are 64-byte lines: 16 of 17 hold "needle", the rest do not.
make_file() {
    local offset=$1 length=$2 after=$3 holding=$(($1 / 17 * 16 / 64 * 64))
    : > "$file"
    lines_of "sim/needle/" $holding >> "$file"
    lines_of "sim/other/" $((offset - holding)) >> "$file"
    printf 'sim/long needle ' >> "$file"
    truncate -s $((offset + length)) "$file"
    [ "$after" = yes ] && printf '\nsim/after\tint needle\n' >> "$file"
    return 0
}

run() { # description, show or search
    local what=$1 command=$2 start end status err
    local arguments=(show "$file" --format tsv)
    [ "$command" = search ] && arguments=(search "$file" needle --format tsv)
    start=$(date +%s%N)
    /usr/bin/time -f '%M' -o "$work/rss" "$cli" "${arguments[@]}" > /dev/null 2> "$work/err"
    status=$?
    end=$(date +%s%N)
    err=$(grep -v '^Command terminated' "$work/err" | head -n 1 | sed "s|$work/||")
    # time(1) reports a killed child as status 128 + signal.
    if [ "$status" -gt 128 ]; then status="signal $((status - 128)) ($(kill -l $((status - 128))))"; fi
    printf '| %s | `%s` | %s | %s | %.1f s | %d MiB |\n' "$what" "$command" "$status" "${err:-–}" \
        "$(awk -v ns=$((end - start)) 'BEGIN { print ns / 1e9 }')" $(( $(tail -n 1 "$work/rss" 2>/dev/null || echo 0) / 1024 ))
}

echo "| input | command | exit | stderr | time | peak |"
echo "|---|---|---|---|---:|---:|"
# The input of the overflow: 1 MiB of lines that hold the text, 64 KiB of others, then one line of
# 2,147,000,000 bytes, no line feed.
make_file 1114112 2147000000 no
run "2,147,000,000-byte line at 1,114,112, no line feed" search
# A line of 1.5 GB at the same place: a search and a show.
make_file 1114112 1500000000 no
run "1.5 GB line at 1,114,112" search
run "1.5 GB line at 1,114,112" show
# The limit's edge: a line one byte short of 1 GiB, and one of 1 GiB, at the start and after other
# lines, at the end of the file and followed by another line.
[ -n "${ONLY_FIRST:-}" ] && exit 0
for offset in 0 1114112; do
    for after in no yes; do
        for length in $((limit - 1)) $limit; do
            make_file $offset $length $after
            where="at $offset$([ $after = yes ] && echo ", then a line" || echo ", no line feed")"
            run "$length-byte line $where" show
            run "$length-byte line $where" search
        done
    done
done
