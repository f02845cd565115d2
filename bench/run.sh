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

# Peak memory (maximum resident set, MiB) of loading a file and building its tree once, beside
# that of the sort on the same file.
peak_mib() {
    /usr/bin/time -f '%M' "$@" 2>&1 > /dev/null | tail -n 1 | awk '{ printf "%.1f", $1 / 1024 }'
}
if [ -x /usr/bin/time ]; then
    echo "peak memory, MiB (open = load + sort + tree, as a tab does)"
    printf "%-26s %12s %12s\n" "file" "open" "sort"
    for f in "${files[@]}"; do
        printf "%-26s %12s %12s\n" "$(basename "$f")" "$(peak_mib "$bench" --open "$f")" \
            "$(LC_ALL=C peak_mib sort "$f")"
    done
    echo
fi

REFSCOPE_BENCH_DATA="$work" REFSCOPE_SHARED_DATA="$shared" \
    "$bench" --benchmark_format=csv --benchmark_repetitions=3 2> /dev/null > "$work/bench.csv"

# The best of the three repetitions of each benchmark, beside the best of five sorts.
awk -F, -v sorts="$work/sort.txt" '
    BEGIN { while ((getline line < sorts) > 0) { split(line, p, " "); sortms[p[1]] = p[2] } }
    /^"/ {
        gsub(/"/, "", $1)
        if ($1 ~ /_(mean|median|stddev|cv)$/) next
        ms = $3
        if ($5 == "us") ms /= 1000
        if ($5 == "ns") ms /= 1000000
        if (!($1 in best)) { order[++n] = $1; best[$1] = ms }
        else if (ms < best[$1]) best[$1] = ms
    }
    END {
        printf "%-26s %12s %12s %8s\n", "benchmark", "ms", "sort ms", "ratio"
        for (i = 1; i <= n; ++i) {
            name = order[i]
            split(name, parts, "/")
            s = sortms[parts[2]]
            printf "%-26s %12.2f %12.2f %8.2f\n", name, best[name], s, (s > 0 ? best[name] / s : 0)
        }
    }
' "$work/bench.csv"
