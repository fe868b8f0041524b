#!/usr/bin/env python3
"""Writes the licence texts that the Windows installer shows and installs,
taken from the Debian packages the build used, never written by hand:

  OUT/licenses/LICENSE.txt            the installer's licence page: the
                                      product's terms, then the third parties
  OUT/licenses/README.txt             where each bundled part comes from
  OUT/licenses/LGPL-3.0.txt, GPL-3.0.txt              /usr/share/common-licenses
  OUT/licenses/Qt-third-party-notices.txt             Qt's own attribution files
  OUT/licenses/GCC-runtime-library-exception.txt      the gcc runtime package's copyright
  OUT/licenses/winpthreads.txt                        the mingw-w64 package's copyright

  licenses.py --out DIR --product NAME --copyright TEXT --terms FILE
              --qt-work DIR --qt-version X.Y.Z --qt-notice ID... --runtime DLL...

--qt-work is the folder scripts/build-qt-mingw.sh built Qt in (the Debian
source package and build/config.opt); --qt-notice names the entries of Qt's
qt_attribution.json files that the shipped modules contain. Texts are
written with CRLF line ends, for Notepad and the installer.
"""

import argparse
import glob
import json
import os
import subprocess
import sys

COMMON_LICENSES = "/usr/share/common-licenses"
RULE = "=" * 60


def fail(message):
    sys.exit("licenses.py: " + message)


def read(path):
    try:
        with open(path, encoding="utf-8") as f:
            return f.read()
    except OSError as error:
        fail("cannot read %s: %s" % (path, error.strerror))


def write(path, text):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "w", encoding="utf-8", newline="\r\n") as f:
        f.write(text.strip("\n") + "\n")


def debian_package(path):
    """The installed Debian package holding a file: name, version, source, copyright file."""
    owner = subprocess.run(["dpkg", "-S", os.path.realpath(path)], capture_output=True, text=True)
    if owner.returncode != 0:
        owner = subprocess.run(["dpkg", "-S", path], capture_output=True, text=True)
    if owner.returncode != 0:
        fail("no Debian package holds %s" % path)
    name = owner.stdout.split(":")[0].split(",")[0].strip()
    query = "${Version}\\n${source:Package}\\n${source:Version}\\n${Built-Using}"
    fields = subprocess.run(["dpkg-query", "-W", "-f", query, name],
                            capture_output=True, text=True, check=True).stdout.split("\n")
    source = "%s %s" % (fields[1], fields[2]) + (", built from %s" % fields[3] if fields[3] else "")
    return {"name": name, "version": fields[0], "source": source,
            "copyright": "/usr/share/doc/%s/copyright" % name.split(":")[0]}


def dep5_paragraphs(text):
    """The paragraphs of a machine-readable Debian copyright file, as written."""
    return [p for p in text.split("\n\n") if p.strip()]


def dep5_field(paragraph, name):
    lines = paragraph.split("\n")
    for i, line in enumerate(lines):
        if line.startswith(name + ":"):
            value = [line[len(name) + 1:].strip()]
            for more in lines[i + 1:]:
                if not more[:1].isspace():
                    break
                value.append(more.strip())
            return "\n".join(value).strip()
    return None


def between(text, first, last, where):
    start = text.find(first)
    end = text.find(last, start)
    if start < 0 or end < 0:
        fail("%s no longer holds the text from %r to %r" % (where, first, last))
    return text[start:end + len(last)]


def gcc_exception(package):
    text = read(package["copyright"])
    return "\n".join([
        "libstdc++ and libgcc, from Debian's %s %s (source package %s)." % (
            package["name"], package["version"], package["source"]),
        "They are licensed under the GNU General Public License version 3 (GPL-3.0.txt)",
        "with the GCC Runtime Library Exception, version 3.1. From %s:" % package["copyright"],
        "", RULE, "",
        between(text, "GCC is Copyright", "requirements of the license of GCC.", package["copyright"]),
    ])


def winpthreads(package):
    """The copyright holders of winpthreads, and the winpthreads paragraphs of
    the mingw-w64 copyright file (its tests are not in the DLL) with the
    licence texts they name."""
    paragraphs = dep5_paragraphs(read(package["copyright"]))
    chosen = [p for p in paragraphs
              if (dep5_field(p, "Files") or "").startswith("mingw-w64-libraries/winpthreads/")
              and "tests_pthread" not in dep5_field(p, "Files")]
    if not chosen:
        fail("%s has no winpthreads paragraph" % package["copyright"])
    named = {dep5_field(p, "License").split("\n")[0] for p in chosen}
    texts = [p for p in paragraphs if dep5_field(p, "Files") is None
             and (dep5_field(p, "License") or "").split("\n")[0] in named]
    holders = "; ".join(dep5_field(p, "Copyright") for p in chosen if dep5_field(p, "Copyright") != "public-domain")
    return holders, "\n\n".join([
        "winpthreads, from Debian's %s %s (source package %s)." % (
            package["name"], package["version"], package["source"]),
        "Its paragraphs of %s, and the licences they name:" % package["copyright"],
        RULE] + chosen + texts)


def attribution_entries(source):
    entries = {}
    for path in glob.glob(os.path.join(source, "src", "**", "qt_attribution.json"), recursive=True):
        # Some of these files hold line breaks inside strings.
        data = json.loads(read(path), strict=False)
        for entry in data if isinstance(data, list) else [data]:
            entries[entry["Id"]] = (os.path.dirname(path), entry)
    return entries


def qt_notices(source, version, ids):
    entries = attribution_entries(source)
    parts = ["Code of other authors in Qt %s's Core, Gui and Widgets modules and its\n"
             "Windows platform and style plugins, from the qt_attribution.json files of\n"
             "its source." % version]
    for notice in ids:
        if notice not in entries:
            fail("Qt's source has no attribution entry %r" % notice)
        folder, entry = entries[notice]
        lines = [RULE, "%s (%s)" % (entry.get("Name", notice), os.path.relpath(folder, source))]
        for key in ("Description", "QtUsage", "Version", "Homepage", "Copyright", "License"):
            if entry.get(key):
                lines.append("%s: %s" % (key, " ".join(entry[key].split()) if key != "Copyright" else entry[key]))
        if entry.get("LicenseFile"):
            lines += ["", read(os.path.join(folder, entry["LicenseFile"])).strip("\n")]
        parts.append("\n".join(lines))
    return "\n\n".join(parts)


def qt_source(work):
    dscs = glob.glob(os.path.join(work, "qtbase-opensource-src_*.dsc"))
    sources = [d for d in glob.glob(os.path.join(work, "qtbase-opensource-src-*")) if os.path.isdir(d)]
    if len(dscs) != 1 or len(sources) != 1:
        fail("%s does not hold one Debian source of qtbase (scripts/build-qt-mingw.sh fetches it)" % work)
    dsc = read(dscs[0])
    options = read(os.path.join(work, "build", "config.opt")).split("\n")
    # The prefix is a folder of the build machine, nothing of the build's result.
    if "-prefix" in options:
        del options[options.index("-prefix"):options.index("-prefix") + 2]
    return {"dir": sources[0], "debian_version": dep5_field(dsc, "Version"),
            "version": dep5_field(dsc, "Version").split("+")[0].split("-")[0],
            "checksums": dep5_field(dsc, "Checksums-Sha256"), "options": " ".join(o for o in options if o),
            "direct2d_skipped": "SUBDIRS += direct2d" not in read(
                os.path.join(sources[0], "src", "plugins", "platforms", "platforms.pro"))}


def qt_copyright(source):
    for paragraph in dep5_paragraphs(read(os.path.join(source, "debian", "copyright"))):
        if dep5_field(paragraph, "Files") == "*":
            return dep5_field(paragraph, "Copyright")
    fail("Qt's debian/copyright has no paragraph for all files")


def readme(qt, gcc, pthreads):
    version = qt["debian_version"]
    changes = ("The one change made for this build: the direct2d platform plugin, which is\n"
               "not shipped, is not built (its line in src/plugins/platforms/platforms.pro\n"
               "is removed)." if qt["direct2d_skipped"] else "The source was not changed.")
    return """\
Licences of the software installed with this program

LICENSE.txt                        the program's terms and a summary of the parts below
LGPL-3.0.txt, GPL-3.0.txt          the licences of Qt (the LGPL is the GPL plus permissions)
Qt-third-party-notices.txt         code of other authors inside Qt's DLLs
GCC-runtime-library-exception.txt  libstdc++-6.dll and libgcc_s_seh-1.dll
winpthreads.txt                    libwinpthread-1.dll

Qt
--
Qt5Core.dll, Qt5Gui.dll, Qt5Widgets.dll, platforms\\qwindows.dll and
styles\\qwindowsvistastyle.dll are Qt {qt_version}, used under the GNU Lesser
General Public License version 3. The program loads them as DLLs: you may put
your own build of Qt {qt_major} in their place (built with MinGW-w64 GCC, POSIX
threads, 64-bit).

They were built from Debian's source package qtbase-opensource-src, version
{version}, as Debian's tools unpack it (Debian's patches applied):

  apt-get source qtbase-opensource-src={version}

on Debian 12, or from https://snapshot.debian.org/package/qtbase-opensource-src/{version}/
The files of that source package (SHA-256):
  {checksums}

{changes}

Configured with:
  {options}

GCC and MinGW-w64 runtime
-------------------------
libstdc++-6.dll and libgcc_s_seh-1.dll: Debian's package
  {gcc_name} {gcc_version}
  (source package {gcc_source}).
libwinpthread-1.dll: Debian's package
  {pthreads_name} {pthreads_version}
  (source package {pthreads_source}).
Their sources: apt-get source PACKAGE=VERSION on Debian 12, or
https://snapshot.debian.org/package/PACKAGE/VERSION/
""".format(qt_version=qt["version"], qt_major=qt["version"].split(".")[0], version=version,
           checksums="\n  ".join(qt["checksums"].split("\n")), changes=changes,
           options="\n  ".join(wrap(qt["options"], 74)),
           gcc_name=gcc["name"], gcc_version=gcc["version"], gcc_source=gcc["source"],
           pthreads_name=pthreads["name"], pthreads_version=pthreads["version"], pthreads_source=pthreads["source"])


def wrap(text, width):
    lines, line = [], ""
    for word in text.split():
        if line and len(line) + 1 + len(word) > width:
            lines.append(line)
            line = word
        else:
            line = (line + " " + word).strip()
    return lines + [line] if line else lines


def licence_page(args, qt, qt_holders, pthreads_holders):
    return """\
{product}
Copyright {copyright}

{terms}

{rule}
Third-party software

The program comes with the following software of others, each in DLLs of its
own. Their licence texts and notices are installed in the "licenses" folder of
the program's folder; licenses\\README.txt says where their source code is.

Qt {qt_version}
  Copyright {qt_holders}
  GNU Lesser General Public License version 3 (licenses\\LGPL-3.0.txt), with
  code of other authors under the licences in licenses\\Qt-third-party-notices.txt.

GCC runtime libraries (libstdc++, libgcc)
  Copyright Free Software Foundation, Inc.
  GNU General Public License version 3 with the GCC Runtime Library
  Exception 3.1 (licenses\\GPL-3.0.txt, licenses\\GCC-runtime-library-exception.txt).

MinGW-w64 winpthreads
  Copyright {pthreads_holders}
  MIT (expat) and BSD licences (licenses\\winpthreads.txt).
""".format(product=args.product, copyright=args.copyright, terms=read(args.terms).strip("\n"), rule=RULE,
           qt_version=qt["version"], qt_holders=qt_holders, pthreads_holders=pthreads_holders)


def main():
    parser = argparse.ArgumentParser()
    for option in ("--out", "--product", "--copyright", "--terms", "--qt-work", "--qt-version"):
        parser.add_argument(option, required=True)
    parser.add_argument("--qt-notice", nargs="+", required=True)
    parser.add_argument("--runtime", nargs="+", required=True)
    args = parser.parse_args()

    packages = {os.path.basename(dll): debian_package(dll) for dll in args.runtime}
    pthreads = [p for name, p in packages.items() if "winpthread" in name]
    gcc = [p for name, p in packages.items() if "winpthread" not in name]
    if len(pthreads) != 1 or not gcc:
        fail("expected winpthreads and the GCC runtime among %s" % " ".join(packages))
    qt = qt_source(args.qt_work)
    if qt["version"] != args.qt_version:
        fail("the build uses Qt %s, but %s holds the source of Qt %s" % (args.qt_version, args.qt_work, qt["version"]))

    out = os.path.join(args.out, "licenses")
    pthreads_holders, pthreads_text = winpthreads(pthreads[0])
    write(os.path.join(out, "LICENSE.txt"), licence_page(args, qt, qt_copyright(qt["dir"]), pthreads_holders))
    write(os.path.join(out, "README.txt"), readme(qt, gcc[0], pthreads[0]))
    write(os.path.join(out, "LGPL-3.0.txt"), read(os.path.join(COMMON_LICENSES, "LGPL-3")))
    write(os.path.join(out, "GPL-3.0.txt"), read(os.path.join(COMMON_LICENSES, "GPL-3")))
    write(os.path.join(out, "Qt-third-party-notices.txt"), qt_notices(qt["dir"], qt["version"], args.qt_notice))
    write(os.path.join(out, "GCC-runtime-library-exception.txt"), gcc_exception(gcc[0]))
    write(os.path.join(out, "winpthreads.txt"), pthreads_text)


if __name__ == "__main__":
    main()
