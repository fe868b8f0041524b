#!/usr/bin/env bash
# Installs the Debian packages the build needs; with --windows also those of
# the Windows cross build and its Wine run; with --ci those and the ones of the
# packaging, sanitizer and static checks. Skips apt when all are present.
set -euo pipefail

packages=(build-essential cmake qtbase5-dev qtbase5-dev-tools xvfb xauth fonts-dejavu-core)
# dpkg-dev and xz-utils unpack Qt's Debian source; perl runs its configure.
windows=(g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 wine wine64 nsis dpkg-dev xz-utils perl python3)
case "${1:-}" in
--windows) packages+=("${windows[@]}") ;;
--ci)
    packages+=("${windows[@]}" imagemagick icoutils file fakeroot
               clang-tidy clang-format xdotool desktop-file-utils)
    ;;
esac

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
