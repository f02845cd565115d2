#!/usr/bin/env bash
# Runs the data benchmarks and times `LC_ALL=C sort` on the same files in the same session, then
# prints each benchmark beside the sort and their ratio. Usage: bench/run.sh [build dir]
set -euo pipefail

build=${1:-build}
bench="$build/bench/refscope_bench"
[ -x "$bench" ] || { echo "no $bench: run 'make build' first" >&2; exit 1; }
shared=${REFSCOPE_SHARED_DATA:-$(cd "$(dirname "$0")/.." && pwd)/../shared/data}

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
"$bench" --generate "$work"

files=()
[ -f "$shared/DataRefs.txt" ] && files+=("$shared/DataRefs.txt")
for f in gen_10k.txt gen_100k.txt wide_100k.txt gen_1M.txt; do files+=("$work/$f"); done

# Best of five, in milliseconds.
best_ms() {
    local best=""
    for _ in 1 2 3 4 5; do
        local start end ms
        start=$(date +%s%N)
        "$@" > /dev/null
        end=$(date +%s%N)
        ms=$(( (end - start) / 1000 ))
        if [ -z "$best" ] || [ "$ms" -lt "$best" ]; then best=$ms; fi
    done
    awk -v us="$best" 'BEGIN { printf "%.3f", us / 1000 }'
}

: > "$work/sort.txt"
for f in "${files[@]}"; do
    echo "$(basename "$f") $(LC_ALL=C best_ms sort "$f")" >> "$work/sort.txt"
done

# Peak memory of one load with its tree, through the benchmark binary on the largest file.
peak=""
if [ -x /usr/bin/time ]; then
    peak=$( { /usr/bin/time -f '%M' "$bench" --generate "$work/peak" > /dev/null; } 2>&1 || true)
fi

REFSCOPE_BENCH_DATA="$work" REFSCOPE_SHARED_DATA="$shared" \
    "$bench" --benchmark_format=csv --benchmark_repetitions=1 2> /dev/null > "$work/bench.csv"

awk -F, -v sorts="$work/sort.txt" '
    BEGIN {
        while ((getline line < sorts) > 0) { split(line, p, " "); sortms[p[1]] = p[2] }
        printf "%-26s %12s %12s %8s\n", "benchmark", "ms", "sort ms", "ratio"
    }
    /^"/ {
        gsub(/"/, "", $1)
        split($1, parts, "/")
        file = parts[2]
        ms = $3
        if ($5 == "us") ms /= 1000
        if ($5 == "ns") ms /= 1000000
        s = sortms[file]
        printf "%-26s %12.2f %12.2f %8.2f\n", $1, ms, s, (s > 0 ? ms / s : 0)
    }
' "$work/bench.csv"
