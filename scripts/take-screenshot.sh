#!/usr/bin/env bash
# Takes docs/screenshot.png from the built program on a virtual X display: the real datarefs list
# in tree view with a few branches opened and a leaf clicked, and the example commands list in a
# second tab. Usage: scripts/take-screenshot.sh [build dir] [datarefs list]
# Given the Windows build (build-windows, holding refscope.exe), it takes docs/screenshot-windows.png
# instead: the program under Wine, in Wine's own desktop, which draws the window's frame and icon.
# The branch names and the click position suit the simulator's own DataRefs.txt at Debian's
# default font size, and with Wine's fonts; with another list, adjust them.
set -euo pipefail
cd "$(dirname "$0")/.."
repo=$(pwd)
build=${1:-build}
list=${2:-}
if [ -z "$list" ]; then
    for candidate in ../shared/data/DataRefs.txt ../../shared/data/DataRefs.txt; do
        [ -f "$candidate" ] && list=$candidate && break
    done
fi
[ -n "$list" ] && [ -f "$list" ] || { echo "no datarefs list: give its path as the second argument" >&2; exit 1; }
list=$(realpath "$list")

# Where the picture goes, and where the window's rows are: the first row (sim) and the leaf to click.
if [ -f "$repo/$build/refscope.exe" ]; then
    windows=true
    program="$repo/$build/refscope.exe"
    shot=docs/screenshot-windows.png
    size=1008x651
    # The title bar sits above the stored geometry; Wine's drive Z: is the root of the file system.
    geometry="4 27 1000 620"
    drive=Z:
    firstRow="56 156"
    leaf="160 471"
    scripts/install-deps.sh wine wine64 fonts-wine xvfb imagemagick xdotool
else
    windows=false
    program="$repo/$build/refscope"
    shot=docs/screenshot.png
    size=1000x620
    geometry="0 0 1000 620"
    drive=
    firstRow="56 139"
    leaf="150 496"
    [ -x "$program" ] || { echo "no $program: run 'make build' first" >&2; exit 1; }
    scripts/install-deps.sh xvfb imagemagick xdotool
fi

work=$(mktemp -d)
pids=()
cleanup() {
    if $windows && [ -d "$work/wine" ]; then
        WINEPREFIX="$work/wine" wineserver -k 2> /dev/null || true
    fi
    for pid in "${pids[@]}"; do kill "$pid" 2> /dev/null || true; done
    rm -rf "$work"
}
trap cleanup EXIT

if $windows; then
    export WINEPREFIX="$work/wine" WINEDEBUG=-all WINEDLLOVERRIDES=mscoree,mshtml=
    wineboot -i > /dev/null 2>&1
    # Wine draws its frames and dialogs with these; Debian's Wine does not look where fonts-wine
    # puts them, but it reads the prefix's own Fonts folder.
    cp /usr/share/wine/fonts/*.ttf "$WINEPREFIX/drive_c/windows/Fonts/"
fi

# The program reads its state from settings.ini in the directory it starts in.
cat > "$work/settings.ini" << INI
[class%20WinMain]
geometry=@Rect($geometry)
openfiles\\1\\filepath=$drive$list
openfiles\\1\\istreeview=true
openfiles\\2\\filepath=$drive$repo/examples/Commands.txt
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
start=("$program")
$windows && start=(wine explorer "/desktop=refscope,$size" "$program")
(cd "$work" && exec "${isolate[@]}" "${start[@]}" > "$work/program.log" 2>&1) &
pids+=($!)
for _ in $(seq 100); do xdotool search --name 'Refscope\.' > /dev/null 2>&1 && break; sleep 0.2; done
sleep 2

# Open sim, cockpit2, gauges and indicators by typing their names, then click the leaf AoA_pilot.
xdotool mousemove $firstRow click 1
sleep 0.3
xdotool key Right
for branch in cockpit2 gauges indicators; do
    sleep 0.6
    xdotool type --delay 30 "$branch"
    sleep 0.6
    xdotool key Right
done
sleep 0.5
xdotool mousemove $leaf click 1
sleep 0.5

import -window root -crop "$size+0+0" +repage -strip "$work/screenshot.png"
mv "$work/screenshot.png" "$shot"
echo "wrote $shot"
