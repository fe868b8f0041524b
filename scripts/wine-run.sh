#!/usr/bin/env bash
# Runs a program of the Windows build under Wine: CTest's emulator for the
# cross build, and usable by hand (scripts/wine-run.sh build-windows/kd740-updater.exe).
#   KD740_QT_MINGW  the Qt of scripts/build-qt-mingw.sh (default: ~/.cache/kd740/qt5-mingw)
#   WINEPREFIX      Wine's folder (default: ~/.cache/kd740/wine, made on first use)
set -euo pipefail
qt=${KD740_QT_MINGW:-$HOME/.cache/kd740/qt5-mingw}
export WINEPREFIX=${WINEPREFIX:-$HOME/.cache/kd740/wine}
export WINEDEBUG=${WINEDEBUG:--all}
# No prompts to install Wine's .NET and HTML engines.
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}

# Qt's DLLs and MinGW's runtime (libstdc++, libgcc, winpthread) are found
# through the path, as an installed copy finds them beside the executable.
runtime() { dirname "$(x86_64-w64-mingw32-g++-posix -print-file-name="$1")"; }
export WINEPATH="$qt/bin;$(runtime libstdc++-6.dll);$(runtime libwinpthread-1.dll)${WINEPATH:+;$WINEPATH}"

# Unix paths reach Windows programs through Wine's drive Z:.
export QT_PLUGIN_PATH=${QT_PLUGIN_PATH:-Z:$qt/plugins}
# The offscreen plugin reads fonts from a folder on Windows; the tests
# measure text in the font the Linux runs use.
export QT_QPA_FONTDIR=${QT_QPA_FONTDIR:-Z:/usr/share/fonts/truetype/dejavu}
# Without a console attached, QtTest and qDebug write to the debugger.
export QT_FORCE_STDERR_LOGGING=1

# Wine keeps QT_* variables from Windows programs unless they come as WINEQT_*.
while IFS='=' read -r -d '' name value; do
    [[ $name == QT_* ]] && export "WINE$name=$value"
done < <(env -0)

exec wine "$@"
