#!/usr/bin/env bash
# scripts/setup.sh on a machine without apt and dpkg: it must carry on when
# CMake, a compiler, Qt and libsystemd are there, and stop when Qt is not.
#   check_setup_without_apt.sh SETUP_SCRIPT QT_MAJOR
set -uo pipefail
setup=$1
bin=$(mktemp -d)
trap 'rm -rf "$bin"' EXIT
# Only what setup.sh uses besides the package tools.
for tool in bash find grep cmake c++ g++ clang++ pkg-config minisign; do
    command -v "$tool" >/dev/null && ln -s "$(command -v "$tool")" "$bin/"
done

PATH=$bin QT_MAJOR=$2 bash "$setup" 2>"$bin/found.log"
[[ $? -eq 0 ]] && grep -q "carrying on" "$bin/found.log" || { echo "FAIL: with Qt $2:"; cat "$bin/found.log"; exit 1; }
PATH=$bin QT_MAJOR=99 bash "$setup" 2>"$bin/missing.log"
[[ $? -eq 1 ]] && grep -q "not found: Qt 99" "$bin/missing.log" || { echo "FAIL: with no Qt 99:"; cat "$bin/missing.log"; exit 1; }
echo "setup without apt: carries on with Qt $2, stops without Qt 99"
