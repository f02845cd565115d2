#!/usr/bin/env bash
# Times refscope-cli's sim commands against the stand-in simulator beside curl fetching the same list
# documents, in the same run, and measures the CPU time of a long watch through the web API and one
# through UDP. Prints a Markdown table.
# Usage: bench/sim.sh [build dir]
set -euo pipefail

build=${1:-build}
cli="$build/cli/refscope-cli"
standin="$build/tests/sim-standin"
[ -x "$cli" ] && [ -x "$standin" ] || { echo "no $cli or $standin: run 'make build' first" >&2; exit 1; }
command -v curl > /dev/null || { echo "bench/sim.sh needs curl" >&2; exit 1; }

work=$(mktemp -d)
# 10,000 datarefs (2,000 of them arrays of 4 to 16 elements) and 3,000 commands; the first 500
# datarefs change ten times a second.
"$standin" --generate 10000 2000 3000 --changing 500 > "$work/port" &
standin_pid=$!
trap 'kill $standin_pid; rm -rf "$work"' EXIT
for _ in $(seq 50); do [ -s "$work/port" ] && break; sleep 0.1; done
address="127.0.0.1:$(head -n 1 "$work/port")"
udp="127.0.0.1:$(sed -n 2p "$work/port")"
api="http://$address/api"

. "$(dirname "$0")/timing.sh"
curl_get() { for path in "$@"; do curl -s -H 'Accept: application/json' "$api/$path"; done; }

row() { # name, figure, reference name, reference figure
    awk -v n="$1" -v a="$2" -v r="$3" -v b="$4" 'BEGIN { printf "| %s | %s | %s | %s | %.2f× |\n", n, a, r, b, a / b }'
}

echo "| work, stand-in simulator | refscope-cli | reference | reference figure | ratio |"
echo "|---|---:|---|---:|---:|"
row "sim list, 10,000 datarefs, 2,000 arrays (ms)" "$(best_ms "$cli" sim list --sim "$address" --format tsv)" \
    "curl: capabilities, count, datarefs" "$(best_ms curl_get capabilities v2/datarefs/count v2/datarefs)"
row "sim list --commands, 3,000 commands (ms)" "$(best_ms "$cli" sim list --commands --sim "$address" --format tsv)" \
    "curl: capabilities, count, commands" "$(best_ms curl_get capabilities v2/datarefs/count v2/commands)"
"$cli" sim list --sim "$address" --format tsv | wc -l | sed 's/^/\nRecords of sim list, with the header row: /'

# 500 values changing ten times a second, watched for 30 s: user and system CPU seconds.
mapfile -t names < <("$cli" sim list --sim "$address" --format tsv | cut -f1 | grep '/value_' | sort -t_ -k3,3n | head -n 500)
cpu=$(/usr/bin/time -f '%U %S' "$cli" sim watch "${names[@]}" --for 30 --sim "$address" --format jsonl 2>&1 > "$work/watch.jsonl" \
    | tail -n 1 | awk '{ printf "%.2f", $1 + $2 }')
lines=$(wc -l < "$work/watch.jsonl")
echo
echo "sim watch of ${#names[@]} datarefs changing 10 times a second, 30 s: $lines lines, CPU $cpu s" \
    "($(awk -v c="$cpu" 'BEGIN { printf "%.2f", c / 30 * 100 }') % of one core)"

# The same watch over UDP: each value asked for 10 times a second, every one answered each time.
cpu=$(/usr/bin/time -f '%U %S' "$cli" sim watch --udp "$udp" "${names[@]}" --for 30 --format jsonl 2>&1 > "$work/watch-udp.jsonl" \
    | tail -n 1 | awk '{ printf "%.2f", $1 + $2 }')
lines=$(wc -l < "$work/watch-udp.jsonl")
echo "sim watch --udp of ${#names[@]} datarefs changing 10 times a second, 30 s: $lines lines, CPU $cpu s" \
    "($(awk -v c="$cpu" 'BEGIN { printf "%.2f", c / 30 * 100 }') % of one core)"
