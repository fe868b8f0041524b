#!/usr/bin/env bash
# Builds the Windows installer from a cross build (scripts/test-windows.sh),
# installs it silently under Wine into a scratch Wine folder and checks what a
# technician would get: the files, the Start-menu shortcut, and the installed
# updater checking and updating a simulated KD740B (offscreen, driven by
# tests/double/kd740_drive_plugin.cpp), then the installed console program
# kd740-flash.exe doing the same from another folder. The zip must hold the
# same programs.
#
#   scripts/check-installer-windows.sh BUILD_DIR
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:?usage: $0 BUILD_DIR}" && pwd)
qt=${KD740_QT_MINGW:-$HOME/.cache/kd740/qt5-mingw}
scratch=$(mktemp -d)
trap 'WINEPREFIX="$scratch/wine" wineserver -k 2>/dev/null || true; rm -rf "$scratch"' EXIT

failures=0
fail() {
    echo "FAIL: $*" >&2
    failures=$((failures + 1))
}
ok() {
    echo "ok - $*"
}

cmake --build "$build" -j"$(nproc)" --target kd740-updater kd740-flash kd740_install_files kd740drive
(cd "$build" && cpack -G "NSIS;ZIP" -B "$scratch/out" >"$scratch/cpack.log" 2>&1) || {
    cat "$scratch/cpack.log" >&2
    echo "FAIL: cpack could not build the installer" >&2
    exit 1
}
installers=("$scratch"/out/*.exe)
[[ ${#installers[@]} -eq 1 && -f ${installers[0]} ]] || { echo "FAIL: expected one installer, got: ${installers[*]}" >&2; exit 1; }
installer=${installers[0]}
echo "installer: $(basename "$installer") ($(du -h "$installer" | cut -f1))"
[[ $(basename "$installer") == kd740-updater-sim-*-win64.exe ]] || fail "the simulated build's installer is named $(basename "$installer")"
zip=("$scratch"/out/*.zip)
zipped=$(python3 -c 'import sys, zipfile; print("\n".join(zipfile.ZipFile(sys.argv[1]).namelist()))' "${zip[0]}" 2>/dev/null || true)
for file in kd740-updater.exe kd740-flash.exe kd_api.dll Qt5Core.dll firmware/kd740b_fpga_12.rbf; do
    grep -q "/$file\$" <<<"$zipped" || fail "not in the zip $(basename "${zip[0]}"): $file"
done

# A Wine folder of its own, so nothing of the test runs' Wine is reused, and
# no path to the build's Qt or MinGW: the installed copy must be complete.
export WINEPREFIX="$scratch/wine" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
unset WINEPATH
wine wineboot --init
wine "$installer" /S '/D=C:\KD740'   # NSIS takes /D= unquoted and last
wineserver --wait
dir="$WINEPREFIX/drive_c/KD740"

for file in kd740-updater.exe kd740-flash.exe kd_api.dll Qt5Core.dll Qt5Gui.dll Qt5Widgets.dll platforms/qwindows.dll \
            libstdc++-6.dll libgcc_s_seh-1.dll libwinpthread-1.dll Uninstall.exe \
            firmware/kd740a_boot_4.img firmware/kd740a_run_5.img firmware/kd740a_fpga_9.rbf \
            firmware/kd740b_boot_4.img firmware/kd740b_run_5.img firmware/kd740b_fpga_12.rbf \
            firmware/kd740c_fx3_v5.img firmware/kd740c_fpga_v3.rbf; do
    [[ -s $dir/$file ]] || fail "not installed: $file"
done
[[ ! -e $dir/libkd_api.dll && ! -e $dir/lib ]] || fail "import library or lib/ installed"

shortcut=$(find "$WINEPREFIX/drive_c" -path '*Start Menu*' -name 'KD740 Firmware Updater.lnk' | head -n1)
if [[ -z $shortcut ]]; then
    fail "no Start-menu shortcut"
else
    # A shortcut holds its target as a local path and its working folder
    # among its UTF-16 strings, each after its length.
    if ! strings -a "$shortcut" | grep -qxF 'C:\KD740\kd740-updater.exe'; then
        fail "shortcut target: $(strings -a "$shortcut" | tr '\n' ' ')"
    elif ! strings -el "$shortcut" | grep -qE '(^|[^[:alnum:]])C:\\KD740$'; then
        fail "shortcut working folder: $(strings -el "$shortcut" | tr '\n' ' ')"
    else
        ok "Start-menu shortcut starts kd740-updater.exe in the install folder"
    fi
fi

echo "--- installed files"
(cd "$dir" && find . -type f | sort)
echo "---"

# Started as the shortcut starts it, in the install folder, with the
# offscreen plugin of the Qt build and the driving plugin beside the installed
# ones; a KD740B at 4.5.10 is connected.
# The driving plugin also needs QtTest, which is not installed: it alone is
# put on the path.
mkdir -p "$scratch/plugins/platforms" "$scratch/plugins/generic" "$scratch/testlib"
cp "$qt/plugins/platforms/qoffscreen.dll" "$scratch/plugins/platforms/"
cp "$build/tests/drive/generic/kd740drive.dll" "$scratch/plugins/generic/"
cp "$qt/bin/Qt5Test.dll" "$scratch/testlib/"
cat >"$scratch/instrument.txt" <<'DESCRIPTION'
instrument
  model 1
  serial 1234
  link usb
  boot 4
  run 5
  fpga 10
DESCRIPTION
status=0
(cd "$dir" && env KDSIM_DEVICE="Z:$scratch/instrument.txt" KDSIM_SCALE=0 WINEPATH="Z:$scratch/testlib" \
    WINEQT_QPA_PLATFORM=offscreen WINEQT_QPA_GENERIC_PLUGINS=kd740drive WINEQT_PLUGIN_PATH="Z:$scratch/plugins" \
    WINEQT_QPA_FONTDIR=Z:/usr/share/fonts/truetype/dejavu WINEQT_FORCE_STDERR_LOGGING=1 \
    timeout 120 wine kd740-updater.exe >"$scratch/run.log" 2>&1) || status=$?
tr -d '\r' <"$scratch/run.log" >"$scratch/run.txt"
if [[ $status -eq 0 ]] && grep -qxF 'Found KD740B' "$scratch/run.txt" \
    && grep -qxF 'Serial 1234, with firmware 4.5.10' "$scratch/run.txt" \
    && grep -qxF 'Firmware requires update.' "$scratch/run.txt" \
    && grep -qxF 'Firmware updated successfully.' "$scratch/run.txt"; then
    ok "the installed updater checked and updated a simulated KD740B"
else
    fail "the installed updater's check and update (status $status): $(cat "$scratch/run.txt")"
fi

# The console program, started in another folder on the instrument as it
# was: it finds the images beside itself.
sed -i 's/^  fpga .*/  fpga 10/' "$scratch/instrument.txt"
status=0
(cd "$scratch" && env KDSIM_DEVICE="Z:$scratch/instrument.txt" KDSIM_SCALE=0 \
    timeout 120 wine "$dir/kd740-flash.exe" update >"$scratch/flash.log" 2>&1) || status=$?
tr -d '\r' <"$scratch/flash.log" >"$scratch/flash.txt"
if [[ $status -eq 0 ]] && grep -qxF 'Firmware requires update.' "$scratch/flash.txt" \
    && grep -qxF 'Firmware updated successfully.' "$scratch/flash.txt"; then
    ok "the installed kd740-flash.exe updated a simulated KD740B from another folder"
else
    fail "the installed kd740-flash.exe's update (status $status): $(cat "$scratch/flash.txt")"
fi

if [[ $failures -ne 0 ]]; then
    echo "installer check: $failures problem(s)" >&2
    exit 1
fi
echo "installer check: all passed"
