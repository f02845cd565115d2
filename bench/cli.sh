#!/usr/bin/env bash
# Times refscope-cli on the generated list of a million records beside the commands that do the
# same work, in the same run, and prints a Markdown table of each figure, its reference and their
# ratio. Usage: bench/cli.sh [build dir]
set -euo pipefail

build=${1:-build}
cli="$build/cli/refscope-cli"
[ -x "$cli" ] && [ -x "$build/bench/refscope_bench" ] || { echo "no $cli or refscope_bench: run 'make build' first" >&2; exit 1; }
tab=$(printf '\t')

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
"$build/bench/refscope_bench" --generate "$work" > /dev/null
old="$work/gen_1M.txt"
new="$work/gen_1M_next.txt"
# The next release of the list: 2 % of its records differ from the old one's, a half of them
# changed (another type), a quarter gone and a quarter new.
awk -F "$tab" -v OFS="$tab" '
    NR > 1 && NR % 200 == 1 { next }
    NR > 1 && NR % 100 == 0 { $2 = $2 "x" }
    { print }
    NR > 1 && NR % 200 == 2 { print "sim/next/added_" NR, "int", "y", "", "Added in the next release" }
' "$old" > "$new"

. "$(dirname "$0")/timing.sh"
sort_comm() {
    sort_key "$old" > "$work/old.sorted"
    sort_key "$new" > "$work/new.sorted"
    LC_ALL=C comm -3 "$work/old.sorted" "$work/new.sorted"
}

row() { # name, figure, reference name, reference figure
    awk -v n="$1" -v a="$2" -v r="$3" -v b="$4" 'BEGIN { printf "| %s | %s | %s | %s | %.2f× |\n", n, a, r, b, a / b }'
}

echo "| work, generated 1M-record lists | refscope-cli | reference | reference figure | ratio |"
echo "|---|---:|---|---:|---:|"
row "show --format tsv (ms)" "$(best_ms "$cli" show "$old" --format tsv)" \
    "LC_ALL=C sort -t<TAB> -k1,1" "$(best_ms sort_key "$old")"
for text in "_cht_1" "system, as"; do
    count=$(grep -F -c "$text" "$old" || true)
    row "search \"$text\" --format tsv, $count lines (ms)" "$(best_ms "$cli" search "$old" "$text" --format tsv)" \
        "grep -F" "$(best_ms grep -F "$text" "$old")"
    row "search \"$text\", text format (ms)" "$(best_ms "$cli" search "$old" "$text")" \
        "grep -F" "$(best_ms grep -F "$text" "$old")"
done
row "diff, 2 % differ (ms)" "$(best_ms "$cli" diff "$old" "$new")" "sort both, comm -3" "$(best_ms sort_comm)"
both=$(( $(stat -c %s "$old") + $(stat -c %s "$new") ))
row "diff, peak memory (MiB)" "$(peak_mib "$cli" diff "$old" "$new")" "both files" \
    "$(awk -v s="$both" 'BEGIN { printf "%.1f", s / 1048576 }')"
row "show, peak memory (MiB)" "$(peak_mib "$cli" show "$old" --format tsv)" "the file" \
    "$(awk -v s="$(stat -c %s "$old")" 'BEGIN { printf "%.1f", s / 1048576 }')"

# The real list fifty times over: search with and without -i (ASCII letters either case) beside
# grep -F and grep -i -F, which folds ASCII alone in the C locale.
shared=${REFSCOPE_SHARED_DATA:-$(cd "$(dirname "$0")/.." && pwd)/../shared/data}
if [ -f "$shared/DataRefs.txt" ]; then
    real="$work/DataRefs_x50.txt"
    head -n 1 "$shared/DataRefs.txt" > "$real"
    for _ in $(seq 50); do tail -n +2 "$shared/DataRefs.txt"; done >> "$real"
    for text in engine n1_percent; do
        count=$(grep -F -c "$text" "$real" || true)
        row "DataRefs.txt ×50: search \"$text\", $count lines (ms)" "$(best_ms "$cli" search "$real" "$text")" \
            "grep -F" "$(best_ms grep -F "$text" "$real")"
        count=$(LC_ALL=C grep -i -F -c "$text" "$real" || true)
        row "DataRefs.txt ×50: search -i \"$text\", $count lines (ms)" "$(best_ms "$cli" search "$real" "$text" -i)" \
            "LC_ALL=C grep -i -F" "$(best_ms env LC_ALL=C grep -i -F "$text" "$real")"
    done
fi
"$cli" diff "$old" "$new" --stat | sed 's/^/\nThe lists differ in: /'
