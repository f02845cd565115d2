#!/usr/bin/env bash
# Memory of many tiny records: 200 MB of lines that hold three tabs (50,000,000 records with an empty
# path and no fields) and 83 MB of 7-byte lines (11,857,142 distinct six-digit paths, out of order).
# For each file: peak memory and time of `refscope-cli show --format tsv` and of `refscope_bench
# --open` (the window's load: the list and both models, as a tab builds them), beside `LC_ALL=C sort`
# of the same file, in the same run; with an earlier build dir, its figures too. Prints a Markdown
# table, peak memory also as a multiple of the file. The files are deleted afterwards.
# Usage: bench/tiny-lines.sh [build dir] [earlier build dir]   (needs about 5 GB of free memory)
set -euo pipefail

build=${1:-build}
earlier=${2:-}
for dir in "$build" $earlier; do
    [ -x "$dir/cli/refscope-cli" ] && [ -x "$dir/bench/refscope_bench" ] \
        || { echo "no refscope-cli or refscope_bench in $dir: run 'make build' first" >&2; exit 1; }
done
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
head -c 200000000 < <(yes "$(printf '\t\t\t')") > "$work/tabs.txt"
awk 'BEGIN { for (i = 0; i < 11857142; ++i) printf "%06x\n", (i * 7919) % 11857142 }' > "$work/seven.txt"

# Peak memory (MiB, and as a multiple of size) and wall time of one run of a command: size, command.
measure() {
    local size=$1
    shift
    /usr/bin/time -f '%M %e' -o "$work/time" "$@" > /dev/null 2>&1 || true
    awk -v size="$size" '{ printf "%.0f MiB | %.1f s | %.1f×", $1 / 1024, $2, $1 * 1024 / size }' "$work/time"
}

echo "| file | what | build | peak | time | peak / file |"
echo "|---|---|---|---:|---:|---:|"
for name in tabs seven; do
    file="$work/$name.txt"
    size=$(stat -c %s "$file")
    echo "| $name.txt ($size bytes) | \`LC_ALL=C sort\` | | $(measure "$size" env LC_ALL=C sort "$file") |"
    for dir in $earlier "$build"; do
        label=$([ "$dir" = "$build" ] && echo now || echo earlier)
        show=$(measure "$size" "$dir/cli/refscope-cli" show "$file" --format tsv)
        echo "| | \`refscope-cli show --format tsv\` | $label | $show |"
        echo "| | \`refscope_bench --open\` | $label | $(measure "$size" "$dir/bench/refscope_bench" --open "$file") |"
    done
done
