#!/usr/bin/env python3
"""Installs the build into a scratch prefix and checks the layout that the
package and a plain `cmake --install --prefix` share: every file in place,
the binary finding kd_api beside it, and the installed command, started
from another folder, finding its images for whatever prefix was chosen.

  check_install.py CMAKE BUILD_DIR EXAMPLE_INSTRUMENT [--windows]

With --windows it checks the one folder of a Windows build instead; the
installer check (scripts/check-installer-windows.sh) runs that one.
"""

import os
import shutil
import subprocess
import sys
import tempfile

ICON_SIZES = [16, 32, 48, 64, 128, 256]


def desktop_keys(path):
    keys = {}
    with open(path, encoding="utf-8") as f:
        for line in f:
            if "=" in line and not line.startswith("#"):
                key, value = line.rstrip("\n").split("=", 1)
                keys[key] = value
    return keys


def package_facts(build):
    with open(os.path.join(build, "kd740-package.txt"), encoding="utf-8") as f:
        return dict(line.rstrip("\n").split("=", 1) for line in f if "=" in line)


def console_subsystem(path):
    """Whether a PE executable runs in a console: its optional header's
    Subsystem is IMAGE_SUBSYSTEM_WINDOWS_CUI (3)."""
    with open(path, "rb") as f:
        data = f.read(4096)
    header = int.from_bytes(data[0x3C:0x40], "little")
    return data[header:header + 4] == b"PE\0\0" and int.from_bytes(data[header + 92:header + 94], "little") == 3


def check(prefix, facts):
    failures = []
    for name in ("bin/kd740-updater", "libexec/kd740-updater/kd740-updater", "bin/kd740-flash",
                 "libexec/kd740-updater/kd740-flash"):
        if not os.access(os.path.join(prefix, name), os.X_OK):
            failures.append("no executable " + name)
    binary = os.path.join(prefix, "libexec", "kd740-updater", "kd740-updater")
    libdir = os.path.dirname(binary)
    libraries = os.listdir(libdir) if os.path.isdir(libdir) else []
    if not any(name.startswith("libkd_api.so") for name in libraries):
        failures.append("no libkd_api in libexec/kd740-updater")
    for name in ("share/doc/%s/copyright" % facts["package"], "share/metainfo/" + facts["metainfo"],
                 "share/man/man1/kd740-flash.1.gz"):
        if not os.path.isfile(os.path.join(prefix, name)):
            failures.append("no " + name)

    datadir = os.path.join(prefix, "share", "kd740-updater")
    firmware = os.path.join(datadir, "firmware")
    found = sorted(os.listdir(firmware)) if os.path.isdir(firmware) else []
    if found != sorted(facts["images"].split() + ["SHA256SUMS", "SHA256SUMS.minisig"]):
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
        # The command picks its own folder; a fixed Path would be wrong for any other prefix.
        if "Path" in keys:
            failures.append("desktop entry sets Path=%r" % keys["Path"])
        for key, value in (("Exec", "kd740-updater"), ("Icon", "kd740-updater"), ("Name", "KD740 Firmware Updater")):
            if keys.get(key) != value:
                failures.append("desktop %s=%r, expected %r" % (key, keys.get(key), value))

    if os.access(binary, os.X_OK):
        env = {k: v for k, v in os.environ.items() if k != "LD_LIBRARY_PATH"}
        ldd = subprocess.run(["ldd", binary], capture_output=True, text=True, env=env)
        api = [line for line in ldd.stdout.splitlines() if "libkd_api" in line]
        if len(api) != 1 or os.path.realpath(libdir) not in os.path.realpath(api[0].split("=>")[1].split("(")[0].strip()):
            failures.append("libkd_api does not resolve inside the prefix: %r" % api)
    flash = os.path.join(prefix, "bin", "kd740-flash")
    if os.access(flash, os.X_OK):
        ldd = subprocess.run(["ldd", flash], capture_output=True, text=True, env=env)
        widgets = [line.strip() for line in ldd.stdout.splitlines() if "Widgets" in line or "Gui" in line]
        if widgets or "libkd_api" not in ldd.stdout:
            failures.append("kd740-flash links %r, kd_api found: %s" % (widgets, "libkd_api" in ldd.stdout))
    return failures


def check_update(prefix, build, example, scratch):
    """Runs a check and an update through the installed command, started
    in a folder that holds no images."""
    elsewhere = os.path.join(scratch, "elsewhere")
    os.mkdir(elsewhere)
    instrument = os.path.join(scratch, "instrument.txt")
    shutil.copy(example, instrument)
    env = {k: v for k, v in os.environ.items() if k not in ("LD_LIBRARY_PATH", "KDSIM_TRACE")}
    env.update(QT_QPA_PLATFORM="offscreen", KDSIM_DEVICE=instrument, KDSIM_SCALE="0",
               LD_PRELOAD=os.path.join(build, "tests", "drive", "libkd740_drive.so"))
    result = subprocess.run([os.path.join(prefix, "bin", "kd740-updater")], cwd=elsewhere, env=env,
                            capture_output=True, text=True, timeout=120)
    if "\nFirmware updated successfully.\n" not in result.stdout:
        return ["no update through bin/kd740-updater from another folder (status %d):\n%s%s"
                % (result.returncode, result.stdout, result.stderr)]
    # The console program, in the same folder, on the instrument as it was.
    shutil.copy(example, instrument)
    del env["LD_PRELOAD"]
    result = subprocess.run([os.path.join(prefix, "bin", "kd740-flash"), "update"], cwd=elsewhere, env=env,
                            capture_output=True, text=True, timeout=120)
    if result.returncode != 0 or "\nFirmware updated successfully.\n" not in result.stdout:
        return ["no update through bin/kd740-flash from another folder (status %d):\n%s%s"
                % (result.returncode, result.stdout, result.stderr)]
    return []


def check_windows(prefix, facts):
    """One folder: the DLLs beside the executable, firmware/ where the
    Start-menu shortcut starts it, no import libraries."""
    failures = []
    for name in ["kd740-updater.exe", "kd740-flash.exe", "kd_api.dll", "Qt5Core.dll", "Qt5Gui.dll", "Qt5Widgets.dll",
                 "platforms/qwindows.dll", "styles/qwindowsvistastyle.dll", "libstdc++-6.dll",
                 "libgcc_s_seh-1.dll", "libwinpthread-1.dll", "licenses/LICENSE.txt", "licenses/LGPL-3.0.txt"]:
        if not os.path.isfile(os.path.join(prefix, name)):
            failures.append("no " + name)
    firmware = os.path.join(prefix, "firmware")
    found = sorted(os.listdir(firmware)) if os.path.isdir(firmware) else []
    if found != sorted(facts["images"].split() + ["SHA256SUMS", "SHA256SUMS.minisig"]):
        failures.append("images in firmware: %r" % found)
    flash = os.path.join(prefix, "kd740-flash.exe")
    if os.path.isfile(flash) and not console_subsystem(flash):
        failures.append("kd740-flash.exe is not a console program")
    if os.path.exists(os.path.join(prefix, "lib")):
        failures.append("lib/ installed: %r" % os.listdir(os.path.join(prefix, "lib")))
    return failures


def main():
    cmake, build, example = sys.argv[1:4]
    windows = "--windows" in sys.argv[4:]
    facts = package_facts(build)
    with tempfile.TemporaryDirectory() as scratch:
        prefix = os.path.join(scratch, "some prefix")  # a space catches unquoted paths
        result = subprocess.run([cmake, "--install", build, "--prefix", prefix], capture_output=True, text=True)
        if result.returncode != 0:
            print("FAIL: cmake --install failed:\n" + result.stdout + result.stderr)
            return 1
        if windows:
            failures = check_windows(prefix, facts)
        else:
            failures = check(prefix, facts)
        if not failures and not windows and facts["simulated"] == "yes":
            failures = check_update(prefix, build, example, scratch)
    for failure in failures:
        print("FAIL: " + failure)
    if not failures:
        print("install layout: all checks passed")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
