#!/usr/bin/env bash
# Start-up with a settings.ini of 100 MB, in one run: the program's store (made over the file,
# which it looks at and checks first, then the window's group read) beside a bare QSettings that
# reads the same file the same way. Prints a Markdown table of the best of seven of each, with
# their ratio, wall-clock and processor time, and the peak memory of one start.
# Usage: bench/settings.sh [build dir]
set -euo pipefail

build=${1:-build}
program="$build/bench/refscope_bench"
[ -x "$program" ] || { echo "no $program: run 'make build' first" >&2; exit 1; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
. "$(dirname "$0")/timing.sh"

# A store as the program writes it, grown to 100 MB: 215,000 remembered tabs, each with its file,
# header state, view mode and open branches.
plain="$work/settings_100M.ini"
awk 'BEGIN {
    print "[class%20WinMain]"
    print "geometry=@Rect(2 2 800 600)"
    header = "@ByteArray(\\0\\0\\0\\xff\\0\\0\\0\\0\\0\\0\\0\\x1\\0\\0\\0\\0\\0\\0\\0\\0\\0\\0\\0\\0\\0\\0\\0\\0\\0\\0\\x5\\x30\\0\\0\\0\\x5\\x1\\x1\\0\\0\\0\\0\\0\\0\\0\\0\\0\\0\\0\\0\\x64\\xff\\xff\\xff\\xff\\0\\0\\0\\x81\\0\\0\\0\\0\\0\\0\\0\\x5\\0\\0\\x1,\\0\\0\\0\\x1\\0\\0\\0\\0\\0\\0\\0\\x64\\0\\0\\0\\x1\\0\\0\\0\\0\\0\\0\\x3\\xe8\\0\\0\\0\\0\\x64)"
    for (i = 1; i <= 215000; ++i) {
        printf "openfiles\\%d\\filepath=/home/pilot/X-Plane 12/Resources/plugins/DataRefTool/DataRefs_%d.txt\n", i, i
        printf "openfiles\\%d\\header=%s\n", i, header
        printf "openfiles\\%d\\istreeview=true\n", i
        printf "openfiles\\%d\\treeexpands=0000, 0010, 00, 000100, 001000, 0020\n", i
    }
    print "openfiles\\size=215000"
    print "currtab=0"
}' > "$plain"
# The same with one value the toolkit would decode from a stream that claims 2^31 elements.
variant="$work/settings_100M_variant.ini"
awk 'NR == 430000 { print "openfiles\\107500\\geometry=@Variant(\\0\\0\\0\\t\\x7f\\xff\\xff\\xff)" } { print }' \
    "$plain" > "$variant"

best() { sort -n | head -n 1; }
runs="$work/runs.txt"
: > "$runs"
for _ in 1 2 3 4 5 6 7; do
    echo "qsettings $("$program" --qsettings "$plain" 2> /dev/null)" >> "$runs"
    echo "store $("$program" --store "$plain" 2> /dev/null)" >> "$runs"
    echo "store_variant $("$program" --store "$variant" 2> /dev/null)" >> "$runs"
done
figure() { awk -v c="$1" -v f="$2" '$1 == c { print $f }' "$runs" | best; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", a / b }'; }

qWall=$(figure qsettings 2)
qCpu=$(figure qsettings 3)
echo "File: $(stat -c %s "$plain") bytes; with the streamed value $(stat -c %s "$variant") bytes."
echo
echo "| start-up | wall ms | / QSettings | processor ms | / QSettings | peak MiB |"
echo "|---|---:|---:|---:|---:|---:|"
echo "| QSettings alone, settings_100M.ini | $qWall | 1.00 | $qCpu | 1.00 | $(peak_mib "$program" --qsettings "$plain") |"
for c in store store_variant; do
    file=$plain
    [ "$c" = store_variant ] && file=$variant
    wall=$(figure "$c" 2)
    cpu=$(figure "$c" 3)
    echo "| store, $(basename "$file") | $wall | $(ratio "$wall" "$qWall") | $cpu | $(ratio "$cpu" "$qCpu") | $(peak_mib "$program" --store "$file") |"
done
