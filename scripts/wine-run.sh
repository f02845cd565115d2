#!/usr/bin/env bash
# Runs a Windows program of the build under Wine; CTest's emulator for the Windows build.
# Usage: scripts/wine-run.sh WINEPREFIX PROGRAM [ARGUMENTS...]
#
# Wine keeps the Unix environment's QT_ variables from Windows programs (they are meant for the
# system's own Qt). The ones set here, such as the tests' QT_QPA_PLATFORM, go into the Wine prefix's
# user environment instead, which every program started in that prefix receives.
set -euo pipefail
export WINEPREFIX=$1
shift
export WINEDEBUG=${WINEDEBUG:--all}
# No offer to install Mono or Gecko when the prefix is made.
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}
# Qt sends a program's messages, the tests' results among them, to the debugger unless told otherwise.
export QT_FORCE_STDERR_LOGGING=1
# The offscreen platform of a Windows Qt reads its fonts from one folder, by default inside the kit,
# which has none. It gets the fonts the Linux tests draw with (Wine's drive Z: is the root).
fonts=/usr/share/fonts/truetype/dejavu
if [ -z "${QT_QPA_FONTDIR:-}" ] && [ -d "$fonts" ]; then
    export QT_QPA_FONTDIR=Z:$fonts
fi

wanted=$(env | grep '^QT_' | sort || true)
mkdir -p "$WINEPREFIX"
(
    # Tests start side by side: one of them makes the prefix and sets its environment.
    flock 9
    [ -f "$WINEPREFIX/system.reg" ] || wineboot -i > /dev/null 2>&1
    stamp=$WINEPREFIX/qt-environment
    set_before=$(cat "$stamp" 2> /dev/null || true)
    if [ "$set_before" != "$wanted" ]; then
        while IFS='=' read -r name _; do
            if [ -n "$name" ] && ! grep -q "^$name=" <<< "$wanted"; then
                wine reg delete 'HKCU\Environment' /v "$name" /f > /dev/null 2>&1 || true
            fi
        done <<< "$set_before"
        while IFS='=' read -r name value; do
            if [ -n "$name" ]; then
                wine reg add 'HKCU\Environment' /v "$name" /d "$value" /f > /dev/null
            fi
        done <<< "$wanted"
        printf '%s' "$wanted" > "$stamp"
    fi
) 9> "$WINEPREFIX.lock"
exec wine "$@"
