#!/usr/bin/env bash
# Installs the Debian packages the build needs; with --windows also those of
# the Windows cross build and its Wine run; with --ci those and the ones of the
# packaging, sanitizer, static and fuzzing checks, for both Qt versions. Skips apt
# when all are present. QT_MAJOR=6 in the environment picks Qt 6.
#
# Without apt and dpkg it names the packages to install and carries on when
# CMake, a C++ compiler and Qt are there.
set -euo pipefail

qt_major=${QT_MAJOR:-5}
qt5=(qtbase5-dev qtbase5-dev-tools)
qt6=(qt6-base-dev qt6-base-dev-tools)
# dpkg-dev and xz-utils unpack Qt's Debian source; perl runs its configure.
# icoutils reads the installer's version block and manifest. autoconf,
# automake and libtool make libsodium's configure from its Debian source.
windows=(g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 wine wine64 nsis dpkg-dev xz-utils perl python3 icoutils
         autoconf automake libtool)
# libsodium checks the images' signatures; minisign signs the tests' folders.
packages=(build-essential cmake pkg-config libsystemd-dev libsodium-dev minisign xvfb xauth fonts-dejavu-core dbus)
if [[ "${1:-}" == "--ci" ]]; then
    packages+=("${qt5[@]}" "${qt6[@]}" "${windows[@]}" imagemagick file fakeroot
               clang-tidy clang-format clang libclang-rt-dev xdotool desktop-file-utils lintian appstream
               at-spi2-core python3-pyatspi)
    # A real window manager for the window's frame, and xprop to ask it.
    packages+=(openbox x11-utils)
elif [[ "${1:-}" == "--windows" ]]; then
    packages+=("${qt5[@]}" "${windows[@]}")
elif [[ $qt_major == 6 ]]; then
    packages+=("${qt6[@]}")
else
    packages+=("${qt5[@]}")
fi

qt_found() {
    local dir
    for dir in ${CMAKE_PREFIX_PATH:+${CMAKE_PREFIX_PATH//:/ }} /usr/lib /usr/lib64 /usr/local/lib /usr/local/lib64 /opt; do
        [[ -d $dir ]] && find "$dir" -maxdepth 5 -name "Qt${qt_major}WidgetsConfig.cmake" -print -quit 2>/dev/null | grep -q . \
            && return 0
    done
    return 1
}

if ! command -v apt-get >/dev/null || ! command -v dpkg-query >/dev/null; then
    echo "setup: no apt/dpkg here, so nothing is installed. Install your system's" >&2
    echo "  equivalents of these Debian packages: ${packages[*]}" >&2
    echo "  (the README names them for Fedora and Arch)" >&2
    lacking=()
    command -v cmake >/dev/null || lacking+=(CMake)
    command -v c++ >/dev/null || command -v g++ >/dev/null || command -v clang++ >/dev/null \
        || lacking+=("a C++ compiler")
    qt_found || lacking+=("Qt ${qt_major} Widgets (Qt${qt_major}WidgetsConfig.cmake)")
    pkg-config --exists libsystemd 2>/dev/null || lacking+=("libsystemd's sd-bus with pkg-config")
    pkg-config --exists libsodium 2>/dev/null || lacking+=("libsodium with pkg-config")
    command -v minisign >/dev/null || lacking+=(minisign)
    if [[ ${#lacking[@]} -ne 0 ]]; then
        echo "setup: not found: ${lacking[*]}" >&2
        exit 1
    fi
    echo "setup: CMake, a C++ compiler, Qt ${qt_major}, libsystemd, libsodium and minisign found; carrying on" >&2
    exit 0
fi

missing=()
for package in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" || missing+=("$package")
done
[[ ${#missing[@]} -eq 0 ]] && exit 0

sudo=""
[[ $(id -u) -ne 0 ]] && sudo="sudo"
echo "Installing: ${missing[*]}"
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
