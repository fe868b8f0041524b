#!/usr/bin/env bash
# Builds the Windows installer from a cross build (scripts/test-windows.sh),
# installs it silently under Wine into a scratch Wine folder and checks what a
# technician would get: the installer's version block and manifest, the files
# with their licence texts, stripped DLLs, the Start-menu shortcut and the
# uninstall entry; the installed updater checking and updating a simulated
# KD740B (driven by tests/double/kd740_drive_plugin.cpp), once started in its
# own folder as the shortcut starts it (offscreen), once from an unrelated
# folder with its own Windows platform plugin and style on a virtual display,
# whose picture it saves; the installed console program kd740-flash.exe doing
# the same from an unrelated folder; that the zip holds the same programs;
# and that uninstalling leaves nothing behind.
#
#   scripts/check-installer-windows.sh BUILD_DIR
#
# The picture goes to docs/screenshot-windows.png of the checkout, or to
# KD740_SCREENSHOT. Needs: xvfb, icoutils, and what scripts/test-windows.sh needs.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:?usage: $0 BUILD_DIR}" && pwd)
qt=${KD740_QT_MINGW:-$HOME/.cache/kd740/qt5-mingw}
screenshot=$(realpath -m "${KD740_SCREENSHOT:-$root/docs/screenshot-windows.png}")
scratch=$(mktemp -d)
xvfb_pid=""
cleanup() {
    [[ -n $xvfb_pid ]] && { kill "$xvfb_pid" 2>/dev/null; wait "$xvfb_pid" 2>/dev/null; }
    WINEPREFIX="$scratch/wine" wineserver -k 2>/dev/null || true
    rm -rf "$scratch"
}
trap cleanup EXIT

failures=0
fail() {
    echo "FAIL: $*" >&2
    failures=$((failures + 1))
}
ok() {
    echo "ok - $*"
}
fact() { sed -n "s/^$1=//p" "$build/kd740-package.txt"; }
version=$(fact version)
package=$(fact package)

cmake --build "$build" -j"$(nproc)" --target kd740-updater kd740-flash kd740_install_files kd740drive
(cd "$build" && cpack -G "NSIS;ZIP" -B "$scratch/out" >"$scratch/cpack.log" 2>&1) || {
    cat "$scratch/cpack.log" >&2
    echo "FAIL: cpack could not build the installer" >&2
    exit 1
}
installers=("$scratch"/out/*.exe)
[[ ${#installers[@]} -eq 1 && -f ${installers[0]} ]] || { echo "FAIL: expected one installer, got: ${installers[*]}" >&2; exit 1; }
installer=${installers[0]}
echo "installer: $(basename "$installer") ($(stat -c %s "$installer") bytes)"
[[ $(basename "$installer") == kd740-updater-sim-*-win64.exe ]] || fail "the simulated build's installer is named $(basename "$installer")"
zip=("$scratch"/out/*.zip)
zipped=$(python3 -c 'import sys, zipfile; print("\n".join(zipfile.ZipFile(sys.argv[1]).namelist()))' "${zip[0]}" 2>/dev/null || true)
for file in kd740-updater.exe kd740-flash.exe kd_api.dll Qt5Core.dll firmware/kd740b_fpga_12.rbf; do
    grep -q "/$file\$" <<<"$zipped" || fail "not in the zip $(basename "${zip[0]}"): $file"
done

# What Explorer shows of the installer itself, and that Windows does not
# stretch its pages at high DPI.
info=$(wrestool -x --raw --type=16 "$installer" 2>/dev/null | strings -el | tr '\n' '|')
for pair in "ProductName|KD740 Firmware Updater" "ProductVersion|$version.0" "FileVersion|$version.0"; do
    [[ "|$info" == *"|$pair|"* ]] || fail "installer version block lacks $pair: $info"
done
wrestool -x --raw --type=24 "$installer" 2>/dev/null | grep '<dpiAware[^>]*>true</dpiAware>' >/dev/null \
    || fail "installer manifest is not DPI-aware"
grep -q 'MUI_PAGE_LICENSE ".*/licenses/LICENSE.txt"' "$scratch"/out/_CPack_Packages/*/NSIS/project.nsi \
    || fail "the installer's licence page is not licenses/LICENSE.txt"
ok "installer: version block $version.0, DPI-aware manifest, licence page"

# A Wine folder of its own, so nothing of the test runs' Wine is reused, and
# no path to the build's Qt or MinGW: the installed copy must be complete.
export WINEPREFIX="$scratch/wine" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
unset WINEPATH
wine wineboot --init
wine "$installer" /S '/D=C:\KD740'   # NSIS takes /D= unquoted and last
wineserver --wait
dir="$WINEPREFIX/drive_c/KD740"

licences=(LICENSE.txt README.txt LGPL-3.0.txt GPL-3.0.txt Qt-third-party-notices.txt
          GCC-runtime-library-exception.txt winpthreads.txt)
for file in kd740-updater.exe kd740-flash.exe kd_api.dll Qt5Core.dll Qt5Gui.dll Qt5Widgets.dll platforms/qwindows.dll \
            styles/qwindowsvistastyle.dll libstdc++-6.dll libgcc_s_seh-1.dll libwinpthread-1.dll Uninstall.exe \
            "${licences[@]/#/licenses/}" \
            firmware/kd740a_boot_4.img firmware/kd740a_run_5.img firmware/kd740a_fpga_9.rbf \
            firmware/kd740b_boot_4.img firmware/kd740b_run_5.img firmware/kd740b_fpga_12.rbf \
            firmware/kd740c_fx3_v5.img firmware/kd740c_fpga_v3.rbf firmware/SHA256SUMS firmware/SHA256SUMS.minisig; do
    [[ -s $dir/$file ]] || fail "not installed: $file"
done
(cd "$dir/firmware" && sha256sum --quiet --strict -c SHA256SUMS) || fail "SHA256SUMS does not match the images"
[[ ! -e $dir/libkd_api.dll && ! -e $dir/lib ]] || fail "import library or lib/ installed"

echo "--- installed files"
(cd "$dir" && find . -type f -printf '%10s %P\n' | sort -k2)
echo "--- $(du -sk "$dir" | cut -f1) KiB"

# The licence texts are Debian's, unchanged but for Windows line ends; the
# page starts with the product's own terms.
mkdir "$scratch/licenses"
for file in "${licences[@]}"; do
    tr -d '\r' <"$dir/licenses/$file" >"$scratch/licenses/$file"
done
text() { echo "$scratch/licenses/$1"; }
licences_ok=true
for pair in LGPL-3.0.txt:LGPL-3 GPL-3.0.txt:GPL-3; do
    cmp -s "$(text "${pair%%:*}")" "/usr/share/common-licenses/${pair#*:}" \
        || { fail "licenses/${pair%%:*} differs from /usr/share/common-licenses/${pair#*:}"; licences_ok=false; }
done
grep -qF "$(head -n1 "$root/packaging/terms.txt")" "$(text LICENSE.txt)" \
    || { fail "licenses/LICENSE.txt lacks the product's terms"; licences_ok=false; }
qt_work=$(sed -n 's/^KD740_QT_WORK:PATH=//p' "$build/CMakeCache.txt")
qt_source=$(sed -n 's/^Version: //p' "$qt_work"/qtbase-opensource-src_*.dsc 2>/dev/null)
grep -qF "apt-get source qtbase-opensource-src=${qt_source:-?}" "$(text README.txt)" \
    || { fail "licenses/README.txt does not name the Qt source ${qt_source:-(none in $qt_work)}"; licences_ok=false; }
for pair in "GCC-runtime-library-exception.txt:GCC RUNTIME LIBRARY EXCEPTION" \
            "winpthreads.txt:Files: mingw-w64-libraries/winpthreads/*" \
            "Qt-third-party-notices.txt:PCRE2" "Qt-third-party-notices.txt:Freetype 2" \
            "Qt-third-party-notices.txt:Unicode Character Database"; do
    grep -qF "${pair#*:}" "$(text "${pair%%:*}")" \
        || { fail "licenses/${pair%%:*} lacks '${pair#*:}'"; licences_ok=false; }
done
$licences_ok && ok "licences: Debian's LGPL-3.0 and GPL-3.0, Qt $qt_source's notices, GCC's exception, winpthreads'"
grep -q PLACEHOLDER "$(text LICENSE.txt)" && echo "note - the product's terms are still a placeholder (packaging/terms.txt)"

# Debugging sections would triple the download (libstdc++ alone: 23.7 MB).
unstripped=$(cd "$dir" && find . \( -name '*.dll' -o -name '*.exe' \) ! -name Uninstall.exe -printf '%P\n' | sort \
    | while read -r file; do
        if x86_64-w64-mingw32-objdump -h "$file" | grep ' \.debug_' >/dev/null; then echo "$file"; fi
    done)
if [[ -n $unstripped ]]; then
    fail "not stripped: $(echo $unstripped)"
else
    ok "DLLs and executables stripped ($(cd "$dir" && du -ck -- *.dll *.exe platforms/*.dll styles/*.dll | tail -n1 | cut -f1) KiB)"
fi

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

# The entry Settings > Apps lists, with the size it shows.
uninstall_key="HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\$package"
entry=$(wine reg query "$uninstall_key" 2>/dev/null | tr -d '\r')
size=$(awk '$1 == "EstimatedSize" && $2 == "REG_DWORD" { print $3 }' <<<"$entry")
[[ -n $size ]] && size=$((size))   # written as 0x...
installed=$(du -sk "$dir" | cut -f1)
if [[ -z $size ]]; then
    fail "uninstall entry $uninstall_key has no EstimatedSize: $entry"
elif ((size < installed * 9 / 10 || size > installed * 11 / 10)); then
    fail "uninstall entry size $size KiB, installed $installed KiB"
elif ! grep -qE "DisplayVersion +REG_SZ +$version\$" <<<"$entry"; then
    fail "uninstall entry version: $entry"
else
    ok "uninstall entry $package: version $version, $size KiB (installed: $installed KiB)"
fi

# Started as the shortcut starts it, in the install folder, with the
# offscreen plugin of the Qt build and the driving plugin beside the installed
# ones; a KD740B at 4.5.10 is connected.
# The driving plugin also needs QtTest, which is not installed: it alone is
# put on the path.
mkdir -p "$scratch/plugins/platforms" "$scratch/plugins/generic" "$scratch/drive/generic" "$scratch/testlib"
cp "$qt/plugins/platforms/qoffscreen.dll" "$scratch/plugins/platforms/"
cp "$build/tests/drive/generic/kd740drive.dll" "$scratch/plugins/generic/"
cp "$build/tests/drive/generic/kd740drive.dll" "$scratch/drive/generic/"
cp "$qt/bin/Qt5Test.dll" "$scratch/testlib/"
instrument() {
    cat >"$scratch/instrument.txt" <<'DESCRIPTION'
instrument
  model 1
  serial 1234
  link usb
  boot 4
  run 5
  fpga 10
DESCRIPTION
    rm -f "$scratch/trace.txt"
}
updated() {   # updated LOG: the log and the calls of a check and an update
    grep -qxF 'Found KD740B' "$1" && grep -qxF 'Serial 1234, with firmware 4.5.10' "$1" \
        && grep -qxF 'Firmware requires update.' "$1" && grep -qxF 'Firmware updated successfully.' "$1" \
        && grep -qE '^kdConfigUSBWriteFPGAProgram\(100, ".*[/\\]kd740-images-[^/\\"]+[/\\]kd740b_fpga_12\.rbf", ' "$scratch/trace.txt" \
        && grep -qx ' *fpga 12' "$scratch/instrument.txt"
}
instrument
status=0
(cd "$dir" && env KDSIM_DEVICE="Z:$scratch/instrument.txt" KDSIM_TRACE="Z:$scratch/trace.txt" KDSIM_SCALE=0 \
    WINEPATH="Z:$scratch/testlib" WINEQT_QPA_PLATFORM=offscreen WINEQT_QPA_GENERIC_PLUGINS=kd740drive \
    WINEQT_PLUGIN_PATH="Z:$scratch/plugins" WINEQT_QPA_FONTDIR=Z:/usr/share/fonts/truetype/dejavu \
    WINEQT_FORCE_STDERR_LOGGING=1 timeout 120 wine kd740-updater.exe >"$scratch/run.log" 2>&1) || status=$?
tr -d '\r' <"$scratch/run.log" >"$scratch/run.txt"
if [[ $status -eq 0 ]] && updated "$scratch/run.txt"; then
    ok "the installed updater, started in its folder, checked and updated a simulated KD740B"
else
    fail "the installed updater's check and update in its folder (status $status): $(cat "$scratch/run.txt")"
fi

# Started by its full name from a prompt in an unrelated folder, as from Run
# or a shortcut without a start folder, on a display at 100 %: only the
# driving plugin is added, so Qt loads the installed platform plugin and style.
mkdir "$scratch/elsewhere"
Xvfb -displayfd 3 -screen 0 1024x640x24 -dpi 96 -nolisten tcp 3>"$scratch/display" 2>"$scratch/xvfb.log" &
xvfb_pid=$!
for _ in $(seq 50); do
    [[ -s $scratch/display ]] && break
    sleep 0.1
done
[[ -s $scratch/display ]] || { echo "FAIL: Xvfb did not start: $(cat "$scratch/xvfb.log")" >&2; exit 1; }
instrument
status=0
(cd "$scratch/elsewhere" && env DISPLAY=":$(head -n1 "$scratch/display")" KDSIM_DEVICE="Z:$scratch/instrument.txt" \
    KDSIM_TRACE="Z:$scratch/trace.txt" KDSIM_SCALE=0 WINEPATH="Z:$scratch/testlib" \
    WINEQT_QPA_GENERIC_PLUGINS=kd740drive WINEQT_PLUGIN_PATH="Z:$scratch/drive" WINEQT_FORCE_STDERR_LOGGING=1 \
    KD740_DRIVE_SCREENSHOT="Z:$scratch/window.png" \
    timeout 180 wine 'C:\KD740\kd740-updater.exe' >"$scratch/elsewhere.log" 2>&1) || status=$?
tr -d '\r' <"$scratch/elsewhere.log" >"$scratch/elsewhere.txt"
if [[ $status -eq 0 ]] && updated "$scratch/elsewhere.txt" && grep -qxF 'platform windows' "$scratch/elsewhere.txt" \
    && grep -qxF 'style windowsvista' "$scratch/elsewhere.txt" && [[ -z $(ls -A "$scratch/elsewhere") ]]; then
    ok "started from an unrelated folder with its own platform plugin and style, it found its images and updated"
    cp "$scratch/window.png" "$screenshot"
    echo "picture: $screenshot"
else
    fail "the installed updater started from an unrelated folder (status $status): $(cat "$scratch/elsewhere.txt")
--- calls
$(cat "$scratch/trace.txt" 2>/dev/null)"
fi

# The console program by its full name from the same unrelated folder: it
# finds the images beside itself and makes the window's calls.
instrument
status=0
(cd "$scratch/elsewhere" && env KDSIM_DEVICE="Z:$scratch/instrument.txt" KDSIM_TRACE="Z:$scratch/trace.txt" \
    KDSIM_SCALE=0 timeout 120 wine 'C:\KD740\kd740-flash.exe' update >"$scratch/flash.log" 2>&1) || status=$?
tr -d '\r' <"$scratch/flash.log" >"$scratch/flash.txt"
if [[ $status -eq 0 ]] && updated "$scratch/flash.txt" && [[ -z $(ls -A "$scratch/elsewhere") ]]; then
    ok "the installed kd740-flash.exe, started from an unrelated folder, checked and updated a simulated KD740B"
else
    fail "the installed kd740-flash.exe from an unrelated folder (status $status): $(cat "$scratch/flash.txt")
--- calls
$(cat "$scratch/trace.txt" 2>/dev/null)"
fi

# Uninstalling removes every file, folder, shortcut and registry key.
wine 'C:\KD740\Uninstall.exe' /S
wineserver --wait
left=()
[[ -e $dir ]] && left+=("C:\\KD740: $(cd "$dir" && find . | tr '\n' ' ')")
menu=$(find "$WINEPREFIX/drive_c" -path '*Start Menu*' -iname '*KD740*' 2>/dev/null)
[[ -n $menu ]] && left+=("Start menu: $menu")
for key in "$uninstall_key" "HKLM\\Software\\$(fact vendor)\\$package"; do
    wine reg query "$key" >/dev/null 2>&1 && left+=("registry key $key")
done
if [[ ${#left[@]} -eq 0 ]]; then
    ok "uninstalling left nothing behind"
else
    fail "left after uninstalling: ${left[*]}"
fi

if [[ $failures -ne 0 ]]; then
    echo "installer check: $failures problem(s)" >&2
    exit 1
fi
echo "installer check: all passed"
