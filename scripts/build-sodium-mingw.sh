#!/usr/bin/env bash
# Builds libsodium for 64-bit Windows with MinGW-w64 from Debian's own source
# package, as a static library, into a cache folder outside the checkout, so
# that the Windows programs check the images' signatures with the same code
# as the Linux ones and ship no further DLL. A finished build is reused.
# Prints the install prefix on its last line.
#   KD740_SODIUM_MINGW  install prefix (default: ~/.cache/kd740/sodium-mingw)
#   JOBS                parallel jobs (default: 2)
set -euo pipefail
prefix=${KD740_SODIUM_MINGW:-$HOME/.cache/kd740/sodium-mingw}
work=$prefix-work
jobs=${JOBS:-2}
stamp=$prefix/.kd740-complete

if [[ -f $stamp ]]; then
    echo "$prefix"
    exit 0
fi

sudo=""
[[ $(id -u) -ne 0 ]] && sudo="sudo"
# shellcheck source=debian-source.sh
source "$(dirname "$0")/debian-source.sh"

mkdir -p "$work"
if ! compgen -G "$work/libsodium-*/configure.ac" >/dev/null; then
    enable_sources
    (cd "$work" && apt-get source -qq libsodium) >&2
fi
source_dir=$(dirname "$(compgen -G "$work/libsodium-*/configure.ac" | head -n1)")
# Debian's source is the project's tree, without a generated configure: its
# build makes one with autoreconf, and so does this.
if [[ ! -x $source_dir/configure ]]; then
    (cd "$source_dir" && autoreconf -fi) >&2
fi

# Its own build folder, so that a failed build starts again from a clean one.
rm -rf "$work/build"
mkdir -p "$work/build"
(
    cd "$work/build"
    "$source_dir/configure" --host=x86_64-w64-mingw32 --prefix="$prefix" \
        --disable-shared --enable-static --disable-dependency-tracking \
        CC=x86_64-w64-mingw32-gcc-posix >&2
    make -j"$jobs" >&2
    make install >&2
)
touch "$stamp"
echo "$prefix"
