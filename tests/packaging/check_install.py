#!/usr/bin/env python3
"""Installs the build into a scratch prefix and checks the layout that the
package and a plain `cmake --install --prefix` share: every file in place,
the desktop entry starting the program where its images are, for whatever
prefix was chosen, and the binary finding kd_api beside it.

  check_install.py CMAKE BUILD_DIR [--windows]
"""

import os
import subprocess
import sys
import tempfile

IMAGES = sorted([
    "kd740a_boot_4.img", "kd740a_run_5.img", "kd740a_fpga_9.rbf",
    "kd740b_boot_4.img", "kd740b_run_5.img", "kd740b_fpga_12.rbf",
    "kd740c_fx3_v5.img", "kd740c_fpga_v3.rbf",
])
ICON_SIZES = [16, 32, 48, 64, 128, 256]


def desktop_keys(path):
    keys = {}
    with open(path, encoding="utf-8") as f:
        for line in f:
            if "=" in line and not line.startswith("#"):
                key, value = line.rstrip("\n").split("=", 1)
                keys[key] = value
    return keys


def check(prefix):
    failures = []
    binary = os.path.join(prefix, "bin", "kd740-updater")
    if not os.access(binary, os.X_OK):
        failures.append("no executable bin/kd740-updater")
    libdir = os.path.join(prefix, "lib", "kd740-updater")
    libraries = os.listdir(libdir) if os.path.isdir(libdir) else []
    if not any(name.startswith("libkd_api.so") for name in libraries):
        failures.append("no libkd_api in lib/kd740-updater")

    datadir = os.path.join(prefix, "share", "kd740-updater")
    firmware = os.path.join(datadir, "firmware")
    found = sorted(os.listdir(firmware)) if os.path.isdir(firmware) else []
    if found != IMAGES:
        failures.append("images in share/kd740-updater/firmware: %r" % found)

    for size in ICON_SIZES:
        icon = os.path.join(prefix, "share", "icons", "hicolor", "%dx%d" % (size, size), "apps", "kd740-updater.png")
        try:
            with open(icon, "rb") as f:
                header = f.read(24)
        except OSError:
            failures.append("no %d px icon" % size)
            continue
        if header[:8] != b"\x89PNG\r\n\x1a\n" or header[16:24] != size.to_bytes(4, "big") * 2:
            failures.append("%d px icon is not a %dx%d PNG" % (size, size, size))

    entry = os.path.join(prefix, "share", "applications", "kd740-updater.desktop")
    if not os.path.isfile(entry):
        failures.append("no desktop entry")
    else:
        keys = desktop_keys(entry)
        # Path must be absolute and follow the prefix, or the program starts
        # where it finds no images.
        if keys.get("Path") != datadir:
            failures.append("desktop Path=%r, expected %r" % (keys.get("Path"), datadir))
        for key, value in (("Exec", "kd740-updater"), ("Icon", "kd740-updater"), ("Name", "KD740 Firmware Updater")):
            if keys.get(key) != value:
                failures.append("desktop %s=%r, expected %r" % (key, keys.get(key), value))

    if os.access(binary, os.X_OK):
        env = {k: v for k, v in os.environ.items() if k != "LD_LIBRARY_PATH"}
        ldd = subprocess.run(["ldd", binary], capture_output=True, text=True, env=env)
        api = [line for line in ldd.stdout.splitlines() if "libkd_api" in line]
        if len(api) != 1 or os.path.realpath(libdir) not in os.path.realpath(api[0].split("=>")[1].split("(")[0].strip()):
            failures.append("libkd_api does not resolve inside the prefix: %r" % api)
    return failures


def check_windows(prefix):
    """One folder: the DLLs beside the executable, firmware/ where the
    Start-menu shortcut starts it, no import libraries."""
    failures = []
    for name in ["kd740-updater.exe", "kd_api.dll", "Qt5Core.dll", "Qt5Gui.dll", "Qt5Widgets.dll",
                 "platforms/qwindows.dll", "libstdc++-6.dll", "libgcc_s_seh-1.dll", "libwinpthread-1.dll"]:
        if not os.path.isfile(os.path.join(prefix, name)):
            failures.append("no " + name)
    firmware = os.path.join(prefix, "firmware")
    found = sorted(os.listdir(firmware)) if os.path.isdir(firmware) else []
    if found != IMAGES:
        failures.append("images in firmware: %r" % found)
    if os.path.exists(os.path.join(prefix, "lib")):
        failures.append("lib/ installed: %r" % os.listdir(os.path.join(prefix, "lib")))
    return failures


def main():
    cmake, build = sys.argv[1], sys.argv[2]
    windows = "--windows" in sys.argv[3:]
    with tempfile.TemporaryDirectory() as scratch:
        prefix = os.path.join(scratch, "some prefix")  # a space catches unquoted paths
        result = subprocess.run([cmake, "--install", build, "--prefix", prefix], capture_output=True, text=True)
        if result.returncode != 0:
            print("FAIL: cmake --install failed:\n" + result.stdout + result.stderr)
            return 1
        failures = check_windows(prefix) if windows else check(prefix)
    for failure in failures:
        print("FAIL: " + failure)
    if not failures:
        print("install layout: all checks passed")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
