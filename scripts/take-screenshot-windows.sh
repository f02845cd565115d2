#!/usr/bin/env bash
# Takes docs/screenshot-windows.png from the Windows program under Wine on a virtual X display: the
# window with its frame and icon, as Wine's own desktop draws it, showing the real datarefs list in
# tree view with a few branches opened and a leaf clicked, and the example commands list in a second
# tab. Usage: scripts/take-screenshot-windows.sh [build dir] [datarefs list]
# The branch names and the click position suit the simulator's own DataRefs.txt with Wine's fonts;
# with another list, adjust them.
set -euo pipefail
cd "$(dirname "$0")/.."
repo=$(pwd)
build=${1:-build-windows}
list=${2:-}
if [ -z "$list" ]; then
    for candidate in ../shared/data/DataRefs.txt ../../shared/data/DataRefs.txt; do
        [ -f "$candidate" ] && list=$candidate && break
    done
fi
[ -n "$list" ] && [ -f "$list" ] || { echo "no datarefs list: give its path as the second argument" >&2; exit 1; }
list=$(realpath "$list")
program="$repo/$build/refscope.exe"
[ -f "$program" ] || { echo "no $program: run 'make build-windows' first" >&2; exit 1; }
scripts/install-deps.sh wine wine64 fonts-wine xvfb xauth imagemagick xdotool

work=$(mktemp -d)
pids=()
cleanup() {
    [ -d "$work/wine" ] && WINEPREFIX="$work/wine" wineserver -k 2> /dev/null || true
    for pid in "${pids[@]}"; do kill "$pid" 2> /dev/null || true; done
    rm -rf "$work"
}
trap cleanup EXIT

export WINEPREFIX="$work/wine" WINEDEBUG=-all WINEDLLOVERRIDES=mscoree,mshtml=
wineboot -i > /dev/null 2>&1
# Wine draws its frames and dialogs with these; Debian's Wine does not find them where fonts-wine
# puts them, but it reads the prefix's own Fonts folder.
cp /usr/share/wine/fonts/*.ttf "$WINEPREFIX/drive_c/windows/Fonts/"

# The program reads its state from settings.ini in the directory it starts in; Wine's drive Z: is
# the root of the file system. The geometry leaves room above for the window's title bar.
cat > "$work/settings.ini" << INI
[class%20WinMain]
geometry=@Rect(4 27 1000 620)
openfiles\\1\\filepath=Z:$list
openfiles\\1\\istreeview=true
openfiles\\2\\filepath=Z:$repo/examples/Commands.txt
openfiles\\2\\istreeview=false
openfiles\\size=2
currtab=0
INI

Xvfb -displayfd 3 -screen 0 1280x800x24 -nolisten tcp 3> "$work/display" 2> /dev/null &
pids+=($!)
for _ in $(seq 50); do [ -s "$work/display" ] && break; sleep 0.1; done
export DISPLAY=":$(cat "$work/display")"

# Without a network of its own, the start-up update check stays on this machine.
isolate=()
unshare -n true 2> /dev/null && isolate=(unshare -n)
(cd "$work" && exec "${isolate[@]}" wine explorer /desktop=refscope,1008x651 "$program" > "$work/program.log" 2>&1) &
pids+=($!)
for _ in $(seq 100); do xdotool search --name 'Refscope\.' > /dev/null 2>&1 && break; sleep 0.2; done
sleep 2

# Open sim, cockpit2, gauges and indicators by typing their names, then click the leaf AoA_pilot.
xdotool mousemove 56 156 click 1
sleep 0.3
xdotool key Right
for branch in cockpit2 gauges indicators; do
    sleep 0.6
    xdotool type --delay 30 "$branch"
    sleep 0.6
    xdotool key Right
done
sleep 0.5
xdotool mousemove 160 471 click 1
sleep 0.5

import -window root -crop 1008x651+0+0 +repage -strip "$work/screenshot.png"
mv "$work/screenshot.png" docs/screenshot-windows.png
echo "wrote docs/screenshot-windows.png"
