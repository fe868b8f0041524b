#!/usr/bin/env python3
"""Fails if an executable or shared library built in the build tree has an
empty entry in its RUNPATH or RPATH: the loader reads one as the current
directory, so a program started in a writable folder could load a library
planted there.

  check_runpath.py READELF BUILD_DIR NAME...

Each NAME must be among the files checked, so that a scan finding nothing
cannot pass.
"""

import os
import re
import subprocess
import sys

SEARCH_PATH = re.compile(r"\((RPATH|RUNPATH)\)\s+Library r(?:un)?path: \[(.*)\]")


def elf_binaries(build):
    for folder, subfolders, files in os.walk(build):
        # CMake's own probes of the compiler are not ours.
        subfolders[:] = [name for name in subfolders if name != "CMakeFiles"]
        for name in files:
            path = os.path.join(folder, name)
            if os.path.islink(path) or not os.path.isfile(path):
                continue
            with open(path, "rb") as f:
                header = f.read(18)
            # Executables and shared objects; not objects or archives.
            if header[:4] == b"\x7fELF" and header[16] in (2, 3):
                yield path


def main():
    readelf, build, required = sys.argv[1], sys.argv[2], set(sys.argv[3:])
    failures = []
    checked = set()
    for path in elf_binaries(build):
        checked.add(os.path.basename(path))
        dynamic = subprocess.run([readelf, "-d", path], capture_output=True, text=True).stdout
        for kind, value in SEARCH_PATH.findall(dynamic):
            if "" in value.split(":"):
                failures.append("%s: %s [%s] has an empty entry" % (os.path.relpath(path, build), kind, value))
    for name in sorted(required - checked):
        failures.append("%s was not found in %s" % (name, build))
    for failure in failures:
        print("FAIL: " + failure)
    if not failures:
        print("%d binaries checked, no empty search path entries" % len(checked))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
