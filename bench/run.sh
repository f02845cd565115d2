#!/usr/bin/env bash
# Runs every benchmark and the reference commands on the same files in the same session, and prints
# each figure beside its reference and their ratio, as a Markdown table.
# Usage: bench/run.sh [build dir] [earlier build dir]
# With an earlier build dir (say, one built from main), its figures are printed in a column of their
# own, measured in the same run.
set -euo pipefail

build=${1:-build}
earlier=${2:-}
[ -x "$build/bench/refscope_bench" ] || { echo "no $build/bench/refscope_bench: run 'make build' first" >&2; exit 1; }
shared=${REFSCOPE_SHARED_DATA:-$(cd "$(dirname "$0")/.." && pwd)/../shared/data}
tab=$(printf '\t')

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
data="$work/data"
mkdir "$data"
"$build/bench/refscope_bench" --generate "$data"
export REFSCOPE_BENCH_DATA="$data" REFSCOPE_SHARED_DATA="$shared"

files=()
[ -f "$shared/DataRefs.txt" ] && files+=("$shared/DataRefs.txt")
for f in gen_10k.txt gen_100k.txt wide_100k.txt gen_1M.txt; do files+=("$data/$f"); done
large="$data/gen_1M.txt"

. "$(dirname "$0")/timing.sh"
five_sorts() { for _ in 1 2 3 4 5; do sort_key "$1"; done; }

# Reference figures: "name ms" lines.
refs="$work/refs.txt"
: > "$refs"
for f in "${files[@]}"; do
    echo "sort:$(basename "$f")$tab$(best_ms sort_key "$f")" >> "$refs"
done
echo "five_sorts:gen_1M.txt$tab$(best_ms five_sorts "$large")" >> "$refs"
for text in "no such text" "_cht_1" "system, as"; do
    echo "grep:$text$tab$(best_ms grep -F -c "$text" "$large")" >> "$refs"
done

# Benchmark figures of one build: "name ms" lines, the best of three repetitions. Cases that may
# break the process (the deep ones) and the tab benchmarks run one to a process; a broken one is
# reported as such.
measure() {
    local dir=$1 out=$2
    : > "$out"
    for f in "${files[@]}"; do
        echo "open:$(basename "$f")$tab$(best_ms "$dir/bench/refscope_bench" --open "$f")" >> "$out"
        [ -x /usr/bin/time ] && echo "open_mib:$(basename "$f")$tab$(peak_mib "$dir/bench/refscope_bench" --open "$f")" >> "$out"
    done
    run_bench "$dir/bench/refscope_bench" '-^(deep_|chain_)' "$out"
    for name in $("$dir/bench/refscope_bench" --benchmark_list_tests=true --benchmark_filter='^(deep_|chain_)'); do
        run_bench "$dir/bench/refscope_bench" "^${name}\$" "$out"
    done
    # The tab benchmarks report different counters, which one CSV report cannot hold.
    local IFS=$'\n'
    for name in $("$dir/bench/refscope_bench_tab" --benchmark_list_tests=true 2> /dev/null); do
        run_bench "$dir/bench/refscope_bench_tab" "^${name}\$" "$out"
    done
}

run_bench() {
    local program=$1 filter=$2 out=$3 csv="$work/bench.csv"
    if ! "$program" --benchmark_filter="$filter" --benchmark_format=csv --benchmark_repetitions=3 \
        2> "$work/stderr.txt" > "$csv"; then
        local name=${filter//[\^\$]/}
        echo "${name%/iterations:*}${tab}broken" >> "$out"
        { echo "$program $filter broke:"; tail -n 5 "$work/stderr.txt"; } >&2
        return
    fi
    awk -F, -v OFS="$tab" '
        /^"/ {
            gsub(/"/, "", $1)
            sub(/\/iterations:[0-9]+/, "", $1)
            if ($1 ~ /_(mean|median|stddev|cv)$/) next
            if ($9 == "true") { if (!($1 in best)) { order[++n] = $1; best[$1] = "error" } next }
            ms = $3
            if ($5 == "us") ms /= 1000
            if ($5 == "ns") ms /= 1000000
            if (!($1 in best)) { order[++n] = $1; best[$1] = ms }
            else if (ms < best[$1]) best[$1] = ms
        }
        END {
            for (i = 1; i <= n; ++i) {
                v = best[order[i]]
                if (v == "error") print order[i], v; else printf "%s\t%.2f\n", order[i], v
            }
        }
    ' "$csv" >> "$out"
}

measure "$build" "$work/now.txt"
[ -n "$earlier" ] && measure "$earlier" "$work/earlier.txt"
[ -n "$earlier" ] || : > "$work/earlier.txt"

# The reference of each figure, by its name.
reference_of() {
    case "$1" in
        open_mib:*) echo "file_mib:${1#open_mib:}" ;;
        open:*) echo "sort:${1#open:}" ;;
        tab_search_list_none/*) echo "grep:no such text" ;;
        tab_search_list_1pc/*) echo "grep:_cht_1" ;;
        tab_search_list_50pc/*) echo "grep:system, as" ;;
        startup_five/*) echo "five_sorts:gen_1M.txt" ;;
        startup_five_tabs/*) echo "sort:DataRefs.txt" ;;
        */*) echo "sort:${1##*/}" ;;
        *) echo "" ;;
    esac
}
for f in "${files[@]}"; do
    awk -v n="file_mib:$(basename "$f")" -v s="$(stat -c %s "$f")" 'BEGIN { printf "%s\t%.1f\n", n, s / 1048576 }' >> "$refs"
done

if [ -n "$earlier" ]; then
    echo "| figure | earlier | now | reference | reference figure | earlier ratio | now ratio |"
    echo "|---|---:|---:|---|---:|---:|---:|"
else
    echo "| figure | now | reference | reference figure | ratio |"
    echo "|---|---:|---|---:|---:|"
fi
while IFS=$tab read -r name value; do
    ref=$(reference_of "$name")
    refValue=$(awk -F "$tab" -v r="$ref" '$1 == r { print $2 }' "$refs")
    before=$(awk -F "$tab" -v r="$name" '$1 == r { print $2 }' "$work/earlier.txt")
    ratio() { awk -v a="$1" -v b="$refValue" 'BEGIN { if (a ~ /^[0-9.]+$/ && b > 0) printf "%.2f", a / b; else print "" }'; }
    unit="ms"
    case "$name" in open_mib:*) unit="MiB" ;; esac
    if [ -n "$earlier" ]; then
        echo "| $name | ${before:-–} | $value | ${ref:-} | ${refValue:-} | $(ratio "${before:-x}") | $(ratio "$value") |"
    else
        echo "| $name | $value | ${ref:-} | ${refValue:-} | $(ratio "$value") |"
    fi
done < "$work/now.txt"
echo
echo "Units: ms, except open_mib and file_mib (MiB). Reference commands: sort = LC_ALL=C sort -t<TAB> -k1,1 FILE;"
echo "five_sorts = that sort five times in a row on gen_1M.txt; grep = grep -F -c TEXT gen_1M.txt."
