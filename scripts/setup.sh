#!/usr/bin/env bash
# Installs the Debian packages the build needs; with --ci also those of the
# packaging, sanitizer and static checks. Skips apt when all are present.
set -euo pipefail

packages=(build-essential cmake qtbase5-dev qtbase5-dev-tools xvfb xauth fonts-dejavu-core dbus)
if [[ "${1:-}" == "--ci" ]]; then
    packages+=(imagemagick binutils-mingw-w64-x86-64 icoutils dpkg-dev file fakeroot
               clang-tidy clang-format xdotool python3 desktop-file-utils
               g++-mingw-w64-x86-64-posix)
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
