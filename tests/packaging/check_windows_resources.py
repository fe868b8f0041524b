#!/usr/bin/env python3
"""Compiles a program's Windows resource script with windres and checks what
the compiled resources hold: the icon group, the manifest and the version block
naming the program.

  check_windows_resources.py --rc FILE --program NAME --version X.Y.Z [--windres PROG] [--icotool PROG]
  check_windows_resources.py --self-test --rc FILE --version X.Y.Z ...

--self-test compiles broken copies of the resources and expects each to be
rejected for the right reason, so a check that passes everything is caught.
Exit status: 0 pass, 1 fail, 77 skipped (no windres).
"""

import argparse
import os
import re
import shutil
import struct
import subprocess
import sys
import tempfile
import xml.etree.ElementTree as ET

RT_ICON, RT_GROUP_ICON, RT_VERSION, RT_MANIFEST = 3, 14, 16, 24
ICON_SIZES = [16, 32, 48, 64, 128, 256]
PNG_SIGNATURE = b"\x89PNG\r\n\x1a\n"
ASM_V1 = "urn:schemas-microsoft-com:asm.v1"
ASM_V3 = "urn:schemas-microsoft-com:asm.v3"


def align4(offset):
    return (offset + 3) & ~3


def read_name(data, offset):
    """A RES type or name: 0xFFFF then a 16-bit ordinal, or a NUL-ended UTF-16 string."""
    (first,) = struct.unpack_from("<H", data, offset)
    if first == 0xFFFF:
        (ordinal,) = struct.unpack_from("<H", data, offset + 2)
        return ordinal, offset + 4
    end = offset
    while struct.unpack_from("<H", data, end)[0] != 0:
        end += 2
    return data[offset:end].decode("utf-16-le"), end + 2


def parse_res(data):
    """Maps (type, name) to the resource bytes of a Win32 .res file."""
    resources = {}
    offset = 0
    while offset + 8 <= len(data):
        data_size, header_size = struct.unpack_from("<II", data, offset)
        rtype, after = read_name(data, offset + 8)
        name, _ = read_name(data, after)
        body = offset + header_size
        # The file opens with an empty entry that only marks it as 32-bit.
        if not (data_size == 0 and rtype == 0):
            resources[(rtype, name)] = data[body:body + data_size]
        offset = align4(body + data_size)
    return resources


def check_icons(resources, failures, icotool):
    group = resources.get((RT_GROUP_ICON, "IDI_ICON1"))
    if group is None:
        failures.append("no icon group named IDI_ICON1")
        return
    _, kind, count = struct.unpack_from("<HHH", group, 0)
    if kind != 1:
        failures.append("IDI_ICON1 is not an icon group (type %d)" % kind)
    found = []
    ico_entries = []
    for i in range(count):
        width, height, _, _, planes, bits, size, icon_id = struct.unpack_from("<BBBBHHIH", group, 6 + 14 * i)
        width, height = width or 256, height or 256
        found.append(width)
        image = resources.get((RT_ICON, icon_id))
        if image is None:
            failures.append("icon %d px: image id %d missing" % (width, icon_id))
            continue
        if len(image) != size:
            failures.append("icon %d px: group says %d bytes, image has %d" % (width, size, len(image)))
        if width != height:
            failures.append("icon %d px: not square (%dx%d)" % (width, width, height))
        if bits != 32:
            failures.append("icon %d px: %d bits per pixel, expected 32" % (width, bits))
        ico_entries.append((group[6 + 14 * i:6 + 14 * i + 12], image))
        if width >= 256:
            if not image.startswith(PNG_SIGNATURE):
                failures.append("icon %d px: not stored as PNG" % width)
            elif struct.unpack_from(">II", image, 16) != (width, height):
                failures.append("icon %d px: PNG header says %dx%d" % ((width,) + struct.unpack_from(">II", image, 16)))
            continue
        if image.startswith(PNG_SIGNATURE):
            failures.append("icon %d px: stored as PNG, expected a DIB" % width)
            continue
        header_size, dib_width, dib_height, _, dib_bits = struct.unpack_from("<IiiHH", image, 0)
        mask_stride = (width + 31) // 32 * 4
        if (header_size, dib_width, dib_height, dib_bits) != (40, width, 2 * height, 32):
            failures.append("icon %d px: DIB header %r" % (width, (header_size, dib_width, dib_height, dib_bits)))
        elif len(image) != 40 + width * height * 4 + mask_stride * height:
            failures.append("icon %d px: DIB is %d bytes, expected pixels and mask" % (width, len(image)))
    if found != ICON_SIZES:
        failures.append("icon sizes %r, expected %r" % (found, ICON_SIZES))
    if icotool and ico_entries:
        check_with_icotool(icotool, ico_entries, failures)


def check_with_icotool(icotool, entries, failures):
    """Rebuilds the .ico from the compiled group and asks icoutils to read it:
    a second, independent reader of what Windows will see."""
    header = struct.pack("<HHH", 0, 1, len(entries))
    offset = 6 + 16 * len(entries)
    directory, images = b"", b""
    for prefix, image in entries:
        directory += prefix + struct.pack("<I", offset)
        offset += len(image)
        images += image
    with tempfile.NamedTemporaryFile(suffix=".ico") as ico:
        ico.write(header + directory + images)
        ico.flush()
        result = subprocess.run([icotool, "-l", ico.name], capture_output=True, text=True)
    sizes = [int(w) for w in re.findall(r"--width=(\d+)", result.stdout)]
    if result.returncode != 0 or sizes != ICON_SIZES:
        failures.append("icotool reads sizes %r (status %d): %s" % (sizes, result.returncode, result.stderr.strip()))


def check_manifest(resources, failures):
    manifest = resources.get((RT_MANIFEST, 1))
    if manifest is None:
        failures.append("no manifest with id 1")
        return
    try:
        root = ET.fromstring(manifest)
    except ET.ParseError as error:
        failures.append("manifest is not well-formed XML: %s" % error)
        return
    levels = root.findall(".//{%s}requestedExecutionLevel" % ASM_V3)
    if [(e.get("level"), e.get("uiAccess")) for e in levels] != [("asInvoker", "false")]:
        failures.append("execution level %r, expected asInvoker without uiAccess"
                        % [(e.get("level"), e.get("uiAccess")) for e in levels])
    controls = [e for e in root.findall(".//{%s}dependentAssembly/{%s}assemblyIdentity" % (ASM_V1, ASM_V1))
                if e.get("name") == "Microsoft.Windows.Common-Controls"]
    if len(controls) != 1:
        failures.append("manifest does not depend on Microsoft.Windows.Common-Controls")
    else:
        c = controls[0]
        if (c.get("version"), c.get("type"), c.get("publicKeyToken")) != ("6.0.0.0", "win32", "6595b64144ccf1df"):
            failures.append("Common-Controls dependency %r, expected version 6.0.0.0" % dict(c.attrib))


def parse_version_node(data, offset):
    """One node of a VS_VERSIONINFO tree: (key, value, children, end offset)."""
    length, value_length, value_type = struct.unpack_from("<HHH", data, offset)
    end = offset + length
    key_end = offset + 6
    while struct.unpack_from("<H", data, key_end)[0] != 0:
        key_end += 2
    key = data[offset + 6:key_end].decode("utf-16-le")
    value_at = align4(key_end + 2)
    # Text values count UTF-16 units, binary ones bytes.
    value_bytes = value_length * 2 if value_type == 1 else value_length
    value = data[value_at:value_at + value_bytes]
    children = []
    child = align4(value_at + value_bytes)
    while child < end:
        node = parse_version_node(data, child)
        children.append(node)
        child = align4(node[3])
    return key, value, children, end


def check_version(resources, failures, expected, program):
    data = resources.get((RT_VERSION, 1))
    if data is None:
        failures.append("no version block with id 1")
        return
    key, fixed, children, _ = parse_version_node(data, 0)
    if key != "VS_VERSION_INFO" or len(fixed) < 52:
        failures.append("version block malformed (key %r)" % key)
        return
    signature, _, file_ms, file_ls, product_ms, product_ls = struct.unpack_from("<6I", fixed, 0)
    if signature != 0xFEEF04BD:
        failures.append("fixed version info has a bad signature")
    as_tuple = lambda ms, ls: (ms >> 16, ms & 0xFFFF, ls >> 16, ls & 0xFFFF)
    for what, ms, ls in (("FILEVERSION", file_ms, file_ls), ("PRODUCTVERSION", product_ms, product_ls)):
        if as_tuple(ms, ls) != expected:
            failures.append("%s %r, expected %r" % (what, as_tuple(ms, ls), expected))

    text = ".".join(str(n) for n in expected)
    tables = [t for k, _, c, _ in children if k == "StringFileInfo" for t in c]
    translations = [v for k, _, c, _ in children if k == "VarFileInfo" for ck, v, _, _ in c if ck == "Translation"]
    if len(tables) != 1 or len(translations) != 1:
        failures.append("expected one string table and one translation entry")
        return
    table_key, _, strings, _ = tables[0]
    language, codepage = struct.unpack_from("<HH", translations[0], 0)
    if table_key.upper() != "%04X%04X" % (language, codepage):
        failures.append("string table %s is not the declared translation %04X%04X" % (table_key, language, codepage))
    values = {k: v.decode("utf-16-le").rstrip("\0") for k, v, _, _ in strings}
    for name in ("FileVersion", "ProductVersion"):
        if values.get(name) != text:
            failures.append("%s string %r, expected %r" % (name, values.get(name), text))
    if values.get("ProductName") != "KD740 Firmware Updater":
        failures.append("ProductName string %r" % values.get("ProductName"))
    if not values.get("FileDescription", "").startswith("KD740 Firmware Updater"):
        failures.append("FileDescription string %r" % values.get("FileDescription"))
    for name, wanted in (("InternalName", program), ("OriginalFilename", program + ".exe")):
        if values.get(name) != wanted:
            failures.append("%s string %r, expected %r" % (name, values.get(name), wanted))


def compile_rc(windres, rc, out):
    # windres's default preprocessor is the cross gcc, which a Linux box with
    # only the cross binutils lacks; the script needs nothing beyond plain cpp.
    rc = os.path.abspath(rc)
    result = subprocess.run([windres, "--preprocessor=cpp", "-O", "res", "-i", rc, "-o", os.path.abspath(out)],
                            cwd=os.path.dirname(rc), capture_output=True, text=True)
    if result.returncode != 0:
        return "windres failed: " + result.stderr.strip()
    return None


def check(args, rc):
    with tempfile.TemporaryDirectory() as scratch:
        res = os.path.join(scratch, "resources.res")
        error = compile_rc(args.windres, rc, res)
        if error:
            return [error]
        with open(res, "rb") as f:
            resources = parse_res(f.read())
    failures = []
    check_icons(resources, failures, args.icotool)
    check_manifest(resources, failures)
    check_version(resources, failures, args.expected, args.program)
    return failures


def drop_last_icon(path):
    with open(path, "rb") as f:
        data = bytearray(f.read())
    count = struct.unpack_from("<H", data, 4)[0]
    struct.pack_into("<H", data, 4, count - 1)
    with open(path, "wb") as f:
        f.write(data)


def replace_in(name, old, new):
    def mutate(directory):
        path = os.path.join(directory, name)
        with open(path, encoding="utf-8") as f:
            text = f.read()
        assert old in text, "%s not in %s" % (old, name)
        with open(path, "w", encoding="utf-8") as f:
            f.write(text.replace(old, new))
    return mutate


def substitute_in(name, pattern, new):
    def mutate(directory):
        path = os.path.join(directory, name)
        with open(path, encoding="utf-8") as f:
            text = f.read()
        assert re.search(pattern, text), "%s not in %s" % (pattern, name)
        with open(path, "w", encoding="utf-8") as f:
            f.write(re.sub(pattern, new, text))
    return mutate


# Each broken copy and the words its rejection must contain.
MUTATIONS = [
    ("elevated", replace_in("kd740-updater.manifest", 'level="asInvoker"', 'level="requireAdministrator"'),
     "execution level"),
    ("ui access", replace_in("kd740-updater.manifest", 'uiAccess="false"', 'uiAccess="true"'), "execution level"),
    ("old controls", replace_in("kd740-updater.manifest", 'version="6.0.0.0"', 'version="5.82.0.0"'),
     "Common-Controls"),
    ("broken xml", replace_in("kd740-updater.manifest", "</assembly>", "</assmbly>"), "well-formed"),
    ("binary version", substitute_in("kd740-updater.rc", r"_BINARY [0-9,]+", "_BINARY 0,9,9,0"), "FILEVERSION"),
    ("text version", substitute_in("kd740-updater.rc", r'_TEXT "[0-9.]+"', '_TEXT "0.9.9.0"'), "FileVersion string"),
    ("version id", replace_in("kd740-updater.rc", "1 VERSIONINFO", "VS_VERSION_INFO VERSIONINFO"),
     "no version block"),
    ("language", replace_in("kd740-updater.rc", '"040904B0"', '"040704B0"'), "not the declared translation"),
    ("other program", replace_in("kd740-updater.rc", '"kd740-updater.exe"', '"kd740-flash.exe"'), "OriginalFilename"),
    ("icon name", replace_in("kd740-updater.rc", "IDI_ICON1 ICON", "IDI_ICON2 ICON"), "IDI_ICON1"),
    ("missing size", lambda d: drop_last_icon(os.path.join(d, "kd740-updater.ico")), "icon sizes"),
]


def self_test(args):
    source = os.path.dirname(os.path.abspath(args.rc))
    problems = []
    for label, mutate, expected_words in MUTATIONS:
        with tempfile.TemporaryDirectory() as scratch:
            copy = os.path.join(scratch, "resources")
            shutil.copytree(source, copy)
            mutate(copy)
            failures = check(args, os.path.join(copy, os.path.basename(args.rc)))
        if not any(expected_words in f for f in failures):
            problems.append("%s: not rejected for %r (got %r)" % (label, expected_words, failures))
        else:
            print("ok - %s rejected" % label)
    return problems


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--rc", required=True)
    parser.add_argument("--version", required=True, help="project version, e.g. 2.0.1")
    parser.add_argument("--program", required=True, help="the executable's name without .exe")
    parser.add_argument("--windres", default="x86_64-w64-mingw32-windres")
    parser.add_argument("--icotool", default=shutil.which("icotool"))
    parser.add_argument("--self-test", action="store_true")
    args = parser.parse_args()
    if not shutil.which(args.windres):
        print("SKIP: %s not found" % args.windres)
        return 77
    parts = [int(p) for p in args.version.split(".")]
    args.expected = tuple((parts + [0, 0, 0, 0])[:4])

    failures = self_test(args) if args.self_test else check(args, args.rc)
    for failure in failures:
        print("FAIL: " + failure)
    if not failures:
        print("windows resources: all checks passed")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
