#!/usr/bin/env bash
# Checks a built Debian package of Refscope: Debian's own checker (lintian) finds no error and no
# warning, its control data, its file list, the desktop entry, AppStream listing and icons it installs,
# its copyright file and changelog, its manual pages and bash completion, that the installed program
# finds its libraries, and that it starts.
# Usage: scripts/check-package.sh path/to/refscope_<version>_<arch>.deb
set -euo pipefail

deb=${1:?usage: $0 refscope_VERSION_ARCH.deb}
[ -f "$deb" ] || { echo "no package $deb" >&2; exit 1; }
failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }
pass() { echo "ok: $*"; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# Control data.
field() { dpkg-deb -f "$deb" "$1"; }
[ "$(field Package)" = refscope ] && pass "Package: refscope" || fail "Package is '$(field Package)'"
case "$(basename "$deb")" in
    "refscope_$(field Version)_$(field Architecture).deb") pass "file name matches version and architecture" ;;
    *) fail "file name $(basename "$deb") does not match $(field Version) / $(field Architecture)" ;;
esac
depends=$(field Depends)
for lib in libqt5core5a libqt5gui5 libqt5widgets5 libqt5network5 libqt5websockets5; do
    grep -Eq "(^|, )$lib( |,|$)" <<< "$depends" && pass "Depends on $lib" || fail "Depends lacks $lib: $depends"
done
for name in Maintainer Description Section Homepage; do
    [ -n "$(field "$name")" ] && pass "$name: $(field "$name" | head -n 1)" || fail "no $name"
done

# Debian's checker at its default level: errors and warnings. It prints nothing for a clean package.
if lintian --fail-on error,warning "$deb" > "$work/lintian.log" 2>&1; then
    pass "lintian: no error, no warning"
else
    fail "lintian:"
    cat "$work/lintian.log" >&2
fi

# File list. The desktop entry and the AppStream listing are named after the program's id.
dpkg-deb -c "$deb" | awk '{ print $NF }' > "$work/files"
metainfo_file=$(grep -E '^\./usr/share/metainfo/[^/]+\.metainfo\.xml$' "$work/files" || true)
app_id=$(basename "$metainfo_file" .metainfo.xml)
[ "$(wc -w <<< "$app_id")" -eq 1 ] && pass "one AppStream listing, id $app_id" \
    || fail "not one metainfo file under /usr/share/metainfo: $metainfo_file"
doc=./usr/share/doc/refscope
expected=(./usr/bin/refscope ./usr/bin/refscope-cli ./usr/share/man/man1/refscope.1.gz
    ./usr/share/man/man1/refscope-cli.1.gz ./usr/share/bash-completion/completions/refscope-cli
    "./usr/share/applications/$app_id.desktop"
    "$doc/copyright" "$doc/changelog.gz" "$doc/examples/DataRefs.txt" "$doc/examples/Commands.txt")
for size in 16 24 32 48 64 128 256; do
    expected+=("./usr/share/icons/hicolor/${size}x${size}/apps/refscope.png")
done
for file in "${expected[@]}"; do
    grep -qxF "$file" "$work/files" && pass "contains $file" || fail "lacks $file"
done

# What the files say, unpacked into a throw-away root.
root="$work/root"
dpkg-deb -x "$deb" "$root"
metainfo="$root/usr/share/metainfo/$app_id.metainfo.xml"
if [ -f "$metainfo" ]; then
    appstreamcli validate --no-net "$metainfo" > "$work/appstream.log" 2>&1 \
        && pass "AppStream listing validates" || { fail "AppStream listing does not validate:"; cat "$work/appstream.log" >&2; }
    grep -qF "<release version=\"$(field Version)\"" "$metainfo" && pass "AppStream lists release $(field Version)" \
        || fail "AppStream lists no release $(field Version)"
fi
entry="$root/usr/share/applications/$app_id.desktop"
if [ -f "$entry" ]; then
    desktop-file-validate "$entry" && pass "desktop entry validates" || fail "desktop entry does not validate"
    grep -qx 'Name=Refscope' "$entry" && pass "menu entry is named Refscope" || fail "menu entry is not named Refscope"
    exec_name=$(sed -n 's/^Exec=\([^ ]*\).*/\1/p' "$entry")
    [ -x "$root/usr/bin/$exec_name" ] && pass "Exec=$exec_name is installed" || fail "Exec=$exec_name is not in /usr/bin"
    icon=$(sed -n 's/^Icon=//p' "$entry")
    for size in 16 24 32 48 64 128 256; do
        png="$root/usr/share/icons/hicolor/${size}x${size}/apps/$icon.png"
        # The PNG header holds width and height as big-endian 32-bit numbers from byte 16.
        dims=$(od -An -tu1 -j16 -N8 "$png" 2> /dev/null | awk '{ print $1*16777216+$2*65536+$3*256+$4 "x" $5*16777216+$6*65536+$7*256+$8 }')
        [ "$dims" = "${size}x${size}" ] && pass "icon $icon at ${size}x${size}" || fail "icon $png is '$dims'"
    done
fi

# The copyright file in Debian's machine-readable format: every licence a Files paragraph names has a
# paragraph of its own with its text.
copyright="$root/usr/share/doc/refscope/copyright"
if [ -f "$copyright" ]; then
    head -n 1 "$copyright" | grep -qx 'Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/' \
        && pass "copyright file is machine-readable" || fail "copyright file lacks its Format line"
    unexplained=$(awk '/^Files:/ { files = 1 } /^$/ { files = 0 }
        /^License: / { name = $2; if (files) named[name] = 1; else { getline; if (/^ /) explained[name] = 1 } }
        END { for (n in named) if (!(n in explained)) print n }' "$copyright")
    [ -z "$unexplained" ] && pass "copyright file gives the text of each licence" \
        || fail "copyright file lacks the text of: $unexplained"
fi
changelog="$root/usr/share/doc/refscope/changelog.gz"
if [ -f "$changelog" ]; then
    zcat "$changelog" > "$work/changelog"
    newest=$(dpkg-parsechangelog -l "$work/changelog" -S Version)
    [ "$newest" = "$(field Version)" ] && pass "changelog's newest entry is $newest" \
        || fail "changelog's newest entry is '$newest', the package $(field Version)"
fi
# lintian has rendered the manual pages and would have told of groff's warnings.
man="$root/usr/share/man/man1/refscope.1.gz"
[ -f "$man" ] && zcat "$man" | grep -q 'refscope\\-cli (1)' && pass "refscope(1) points to refscope-cli(1)" \
    || fail "refscope(1) does not point to refscope-cli(1)"

binary="$root/usr/bin/refscope"
if [ -x "$binary" ]; then
    missing=$(ldd "$binary" | grep 'not found' || true)
    [ -z "$missing" ] && pass "every library of the program is found" || fail "missing libraries: $missing"

    # Start the installed program without a display and end it after a few seconds: still running
    # then (timeout's 124) means it came up. Its start-up update check must not leave this machine,
    # so the run needs a network namespace of its own.
    if unshare -n true 2> /dev/null; then
        mkdir "$work/cwd"
        status=0
        (cd "$work/cwd" && QT_QPA_PLATFORM=offscreen timeout 3 unshare -n "$binary" > "$work/run.log" 2>&1) || status=$?
        if [ "$status" -eq 124 ]; then
            pass "installed program starts and keeps running"
        else
            fail "installed program ended with status $status:"
            cat "$work/run.log" >&2
        fi
    else
        echo "note: no network namespace available here; the start-up run is left out"
    fi
fi

# The command line answers from the package's own files: its version, its manual page, and a
# search of the example list it ships.
cli="$root/usr/bin/refscope-cli"
if [ -x "$cli" ]; then
    version=$("$cli" --version || true)
    [[ "$version" == "refscope-cli $(field Version | sed 's/~.*//')"* ]] && pass "refscope-cli --version: $version" \
        || fail "refscope-cli --version says '$version'"
    man="$root/usr/share/man/man1/refscope-cli.1.gz"
    [ -f "$man" ] && zcat "$man" | grep -q '^\.SH.*OPTIONS' && pass "refscope-cli(1) has its options" \
        || fail "refscope-cli(1) lacks an OPTIONS section"
    completion="$root/usr/share/bash-completion/completions/refscope-cli"
    [ -f "$completion" ] && bash -c '. "$1" && complete -p refscope-cli' bash "$completion" > /dev/null \
        && pass "the bash completion registers refscope-cli" || fail "the bash completion does not register refscope-cli"
    found=$("$cli" search "$root/usr/share/doc/refscope/examples/DataRefs.txt" sim/ --format tsv | wc -l)
    [ "$found" -gt 1 ] && pass "refscope-cli searches the example list ($((found - 1)) records)" \
        || fail "refscope-cli found nothing in the example list"
fi

if [ "$failures" -ne 0 ]; then
    echo "$failures check(s) failed for $deb" >&2
    exit 1
fi
echo "package $(basename "$deb") is sound"
