# Timing helpers of the benchmark scripts, which source this file; $work is their scratch folder.

# Best of five wall-clock runs of a command, process start included, in milliseconds.
best_ms() {
    local best=""
    for _ in 1 2 3 4 5; do
        local start end us
        start=$(date +%s%N)
        # Into a file: GNU grep stops at the first match when its output is /dev/null.
        "$@" > "$work/output.txt" || true
        end=$(date +%s%N)
        us=$(( (end - start) / 1000 ))
        if [ -z "$best" ] || [ "$us" -lt "$best" ]; then best=$us; fi
    done
    awk -v us="$best" 'BEGIN { printf "%.1f", us / 1000 }'
}

# Peak memory (maximum resident set) of a command, in MiB.
peak_mib() {
    /usr/bin/time -f '%M' "$@" 2>&1 > /dev/null | tail -n 1 | awk '{ printf "%.1f", $1 / 1024 }'
}

sort_key() { LC_ALL=C sort -t"$tab" -k1,1 "$1"; }
