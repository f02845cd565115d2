#!/usr/bin/env bash
# Runs one whole working session (tests/tst_session: both lists opened, toggled, searched, copied
# from, cleared, tabs closed, quit) under valgrind's memcheck. Fails on memory errors and on definite
# leaks; suppressions cover only what Qt and the system libraries keep until exit.
# Usage: scripts/valgrind-session.sh [folder with DataRefs.txt and Commands.txt]
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh valgrind
make build
data="${1:-}"
if [ -z "$data" ] && [ -f ../shared/data/DataRefs.txt ] && [ -f ../shared/data/Commands.txt ]; then
    data="$(cd ../shared/data && pwd)"
fi
log="${BUILD:-build}/valgrind-session.log"
echo "Session data: ${data:-generated lists}; log: $log"
status=0
REFSCOPE_SESSION_DATA="$data" QT_QPA_PLATFORM=offscreen \
    valgrind --tool=memcheck --leak-check=full --show-leak-kinds=definite --errors-for-leak-kinds=definite \
    --error-exitcode=99 --num-callers=30 --suppressions=scripts/valgrind.supp --log-file="$log" \
    "${BUILD:-build}/tests/tst_session" || status=$?
grep -E "ERROR SUMMARY|definitely lost|indirectly lost|possibly lost|still reachable" "$log" || true
exit $status
