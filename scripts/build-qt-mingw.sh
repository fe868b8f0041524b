#!/usr/bin/env bash
# Builds Qt 5.15 (qtbase only) for 64-bit Windows with MinGW-w64 from Debian's
# own source package and installs it into a cache folder outside the checkout.
# A finished build is reused, so only the first run costs time.
# Prints the install prefix on its last line.
#   KD740_QT_MINGW  install prefix (default: ~/.cache/kd740/qt5-mingw)
#   JOBS            parallel jobs (default: 2)
set -euo pipefail
prefix=${KD740_QT_MINGW:-$HOME/.cache/kd740/qt5-mingw}
work=$prefix-work
jobs=${JOBS:-2}
stamp=$prefix/.kd740-complete

if [[ -f $stamp ]]; then
    echo "$prefix"
    exit 0
fi

sudo=""
[[ $(id -u) -ne 0 ]] && sudo="sudo"

# Qt's mkspec calls x86_64-w64-mingw32-g++; it must be the POSIX-threads
# variant the project uses, or Qt and the program need different C++ runtimes.
# Read whole first: grep -q may close the pipe early, and pipefail then fails the test.
compiler_info=$(x86_64-w64-mingw32-g++ -v 2>&1 || true)
if [[ $compiler_info != *'Thread model: posix'* ]]; then
    echo "build-qt-mingw: x86_64-w64-mingw32-g++ is not the POSIX-threads variant;" \
         "update-alternatives --set x86_64-w64-mingw32-g++ /usr/bin/x86_64-w64-mingw32-g++-posix" >&2
    exit 1
fi

# apt-get source needs source entries (enable_sources).
# shellcheck source=debian-source.sh
source "$(dirname "$0")/debian-source.sh"

fetch_source() {
    mkdir -p "$work"
    if ! compgen -G "$work/qtbase-opensource-src-*/configure" >/dev/null; then
        enable_sources
        (cd "$work" && apt-get source -qq qtbase-opensource-src) >&2
    fi
    dirname "$(compgen -G "$work/qtbase-opensource-src-*/configure" | head -n1)"
}

configure_qt() {
    local configure=$1
    local options=(
        -prefix "$prefix"
        # The target: Windows through MinGW-w64; the host tools (qmake, moc,
        # uic, rcc) are built for this Linux machine.
        -xplatform win32-g++
        -device-option CROSS_COMPILE=x86_64-w64-mingw32-
        -release
        -opensource -confirm-license
        -nomake examples -nomake tests
        # The updater draws with the raster engine; no GL, no ANGLE.
        -no-opengl
        # Windows has no session bus; the Linux keep-awake code is not built here.
        -no-dbus
        # Qt's own Unicode tables are enough for a small GUI.
        -no-icu
        # Debian's repacked source lacks the Wintab headers this needs.
        -no-feature-tabletevent
        # Modules the updater and its tests never load (printer: QtPrintSupport).
        -no-feature-sql
        -no-feature-network
        -no-feature-xml
        -no-feature-concurrent
        -no-feature-printer
        # Third-party libraries from Qt's bundled copies: nothing to cross-build.
        -qt-zlib
        -qt-pcre
        -qt-libpng
        -qt-libjpeg
        -qt-freetype
        -qt-harfbuzz
    )
    "$configure" "${options[@]}"
}

source_dir=$(fetch_source)
# Of the Windows platform plugins the updater loads only "windows";
# "direct2d" would compile that one a second time.
sed -i '/SUBDIRS += direct2d/d' "$source_dir/src/plugins/platforms/platforms.pro"
build=$work/build
mkdir -p "$build"
cd "$build"
[[ -f Makefile ]] || configure_qt "$source_dir/configure"
make -j"$jobs"
make install
touch "$stamp"
echo "$prefix"
