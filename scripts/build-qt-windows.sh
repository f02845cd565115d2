#!/usr/bin/env bash
# Provides the static Qt kit that the Windows build links: Qt 5.15 (qtbase and QtWebSockets) for
# 64-bit Windows, cross-built with MinGW-w64 from Debian's own source packages.
#
# Usage: scripts/build-qt-windows.sh [prefix] [archive]
#   prefix   where the kit lives; default ${XDG_CACHE_HOME:-~/.cache}/refscope/qt5-mingw64-static
#   archive  a ready kit, qt5-mingw64-static-<version>.tar.xz; default: the one under ../shared/toolchains
#            when it exists. Give "none" to build from source even when an archive is there.
#
# Nothing happens when the prefix already holds a kit of this Qt version with QtWebSockets (a kit
# unpacked before it carried the module is unpacked again). Otherwise the archive is
# unpacked, or, without one, the source is fetched with apt-get source and built (about half an hour on
# two cores, several GB of disk in a temporary directory). Set QT_BUILD_JOBS for the number of jobs.
set -euo pipefail

qt_version=5.15.8
kit_name=qt5-mingw64-static
cache=${XDG_CACHE_HOME:-$HOME/.cache}/refscope
prefix=$(realpath -m "${1:-$cache/$kit_name}")
archive=${2:-}
[ -n "$archive" ] && [ "$archive" != none ] && archive=$(realpath "$archive")
triple=x86_64-w64-mingw32
cd "$(dirname "$0")/.."

kit_version() {
    local file="$1/lib/cmake/Qt5Core/Qt5CoreConfigVersion.cmake"
    [ -f "$file" ] && sed -n 's/^set(PACKAGE_VERSION "\?\([0-9.]*\)"\?)$/\1/p' "$file"
}

# Qt's link lines name the Windows system libraries in mixed case; MinGW ships them in lower case.
link_system_libraries() {
    for lib in Secur32 Crypt32; do
        ln -sfn "/usr/$triple/lib/lib${lib,,}.a" "$prefix/lib/lib$lib.a"
    done
}

kit_ready() {
    [ "$(kit_version "$1")" = "$qt_version" ] && [ -f "$1/lib/libQt5WebSockets.a" ]
}

if kit_ready "$prefix"; then
    link_system_libraries
    echo "Qt $qt_version for Windows is ready in $prefix"
    exit 0
fi

if [ -z "$archive" ]; then
    for candidate in ../shared/toolchains ../../shared/toolchains; do
        if [ -f "$candidate/$kit_name-$qt_version.tar.xz" ]; then
            archive=$candidate/$kit_name-$qt_version.tar.xz
            break
        fi
    done
fi

mkdir -p "$(dirname "$prefix")"
if [ -n "$archive" ] && [ "$archive" != none ]; then
    scripts/install-deps.sh g++-mingw-w64-x86-64-posix xz-utils
    echo "Unpacking $archive into $prefix"
    unpack=$(mktemp -d "$(dirname "$prefix")/unpack.XXXXXX")
    trap 'rm -rf "$unpack"' EXIT
    tar -xJf "$archive" -C "$unpack"
    kit_ready "$unpack/$kit_name" || { echo "$archive holds no Qt $qt_version kit with QtWebSockets" >&2; exit 1; }
    rm -rf "$prefix"
    mv "$unpack/$kit_name" "$prefix"
    link_system_libraries
    exit 0
fi

echo "No kit archive: building Qt $qt_version for Windows from Debian's source into $prefix"
scripts/install-deps.sh g++-mingw-w64-x86-64-posix dpkg-dev perl python3 xz-utils
work=$(mktemp -d "${TMPDIR:-/tmp}/qt-windows.XXXXXX")
trap 'rm -rf "$work"' EXIT
# apt fetches as its own unprivileged user, who must be able to write here.
chmod 755 "$work"

# A private apt state with deb-src entries for the suites the system already uses, so the system's
# own configuration stays as it is and no root is needed to fetch the source.
mkdir -p "$work/apt/parts" "$work/apt/lists/partial" "$work/apt/cache/archives/partial"
for sources in /etc/apt/sources.list.d/*.sources; do
    [ -f "$sources" ] && sed 's/^Types:.*\bdeb\b.*$/Types: deb-src/' "$sources" > "$work/apt/parts/$(basename "$sources")"
done
for list in /etc/apt/sources.list /etc/apt/sources.list.d/*.list; do
    [ -f "$list" ] && sed -n 's/^deb \(.*\)$/deb-src \1/p' "$list" >> "$work/apt/parts/deb-src.list"
done
apt=(-o Dir::Etc::SourceList=/dev/null -o Dir::Etc::SourceParts="$work/apt/parts"
     -o Dir::State::Lists="$work/apt/lists" -o Dir::Cache="$work/apt/cache")
# A source that offers no deb-src index only warns; a missing qtbase source stops below.
apt-get -q "${apt[@]}" update || echo "some deb-src indexes could not be fetched; going on" >&2
(cd "$work" && apt-get -q "${apt[@]}" source qtbase-opensource-src qtwebsockets-opensource-src)
source_dir=$(find "$work" -maxdepth 1 -type d -name "qtbase-opensource-src-$qt_version*" | head -n 1)
[ -n "$source_dir" ] || { echo "Debian's source is not Qt $qt_version" >&2; exit 1; }

# The kit is built with the POSIX-threads variant of MinGW, whatever the system's alternatives say.
mkdir -p "$work/bin"
for tool in gcc g++; do
    ln -s "/usr/bin/$triple-$tool-posix" "$work/bin/$triple-$tool"
done
export PATH="$work/bin:$PATH"

# Debian's source lacks the Wintab header, hence no tablet events; the rest keeps the kit small and
# free of libraries a Windows user would have to bring along.
mkdir -p "$work/build"
cd "$work/build"
"$source_dir/configure" -prefix "$prefix" \
    -xplatform win32-g++ -device-option CROSS_COMPILE=$triple- -platform linux-g++ \
    -static -static-runtime -release -opensource -confirm-license \
    -nomake examples -nomake tests \
    -no-opengl -no-dbus -no-icu -no-openssl -schannel \
    -qt-zlib -qt-libpng -qt-libjpeg -qt-pcre -qt-harfbuzz -qt-freetype \
    -no-feature-sql -no-sql-sqlite -no-feature-testlib_selfcover -no-feature-tabletevent
make -j"${QT_BUILD_JOBS:-$(nproc)}"
rm -rf "$prefix"
make install
link_system_libraries

# QtWebSockets into the same prefix, with the kit's own qmake: its module headers first, then the
# library alone.
sockets_dir=$(find "$work" -maxdepth 1 -type d -name "qtwebsockets-opensource-src-$qt_version*" | head -n 1)
[ -n "$sockets_dir" ] || { echo "Debian's QtWebSockets source is not Qt $qt_version" >&2; exit 1; }
(cd "$sockets_dir" && "$prefix/bin/syncqt.pl" -module QtWebSockets -version "$qt_version" -outdir "$sockets_dir")
mkdir -p "$work/build-websockets"
cd "$work/build-websockets"
"$prefix/bin/qmake" "$sockets_dir/qtwebsockets.pro"
make -j"${QT_BUILD_JOBS:-$(nproc)}" sub-src
make install
[ -f "$prefix/include/QtWebSockets/QWebSocket" ] || cp -r "$sockets_dir/include/QtWebSockets" "$prefix/include/"
echo "Qt $qt_version for Windows is ready in $prefix"
