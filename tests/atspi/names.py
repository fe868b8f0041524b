#!/usr/bin/python3
"""Reads the updater's window through the AT-SPI bus while kd740_drive checks
and updates the simulated instrument, as a screen reader would, and checks
the names it finds there. Prints the tree as seen during the update and at
the end. Exit status 0 when every check holds."""
import sys
import time

import pyatspi

APP = "kd740-updater"
LIMIT_S = 90


def walk(node, depth=0, out=None):
    out = [] if out is None else out
    try:
        role = node.getRoleName()
        name = node.name or ""
        description = node.description or ""
        value = None
        try:
            value = node.queryValue().currentValue
        except NotImplementedError:
            pass
        states = node.getState()
        showing = states.contains(pyatspi.STATE_SHOWING)
        out.append((depth, role, name, description, value, showing))
        for child in node:
            if child is not None:
                walk(child, depth + 1, out)
    except Exception as error:  # an object that went away while being read
        out.append((depth, "gone", str(error), "", None, False))
    return out


def application():
    for app in pyatspi.Registry.getDesktop(0):
        if app is not None and app.name == APP:
            return app
    return None


def dump(title, nodes):
    print(f"--- {title}")
    for depth, role, name, description, value, showing in nodes:
        extra = (f" description={description!r}" if description else "") + \
                (f" value={value}" if value is not None else "") + ("" if showing else " (not showing)")
        print(f"{'  ' * depth}{role} {name!r}{extra}")


def main():
    deadline = time.monotonic() + LIMIT_S
    bar_seen = None
    during = []
    final = []
    while time.monotonic() < deadline:
        app = application()
        nodes = walk(app) if app is not None else []
        bars = [n for n in nodes if n[1] == "progress bar" and n[5]]
        if bars and not bar_seen and bars[0][2].startswith("Step "):
            bar_seen = bars[0]
            during = nodes
        if any(n[1] == "alert" and n[2] == "You may now close the software." for n in nodes):
            final = nodes
            break
        time.sleep(0.2)
    dump("during the update", during)
    dump("after the outcome", final)

    results = []

    def check(what, holds):
        print(("ok   " if holds else "FAIL ") + what)
        results.append(holds)

    named = {(n[1], n[2]) for n in final}
    check("the log is a text named Log", ("text", "Log") in named)
    for button in ("Check Versions", "Update", "Restore"):
        check(f"a push button named {button!r}", ("push button", button) in named)
    check("the progress bar is named by its step and has a value",
          bar_seen is not None and bar_seen[4] is not None)
    check("the progress bar describes the time taken",
          bar_seen is not None and " elapsed" in bar_seen[3])
    check("the outcome is carried by an alert", ("alert", "You may now close the software.") in named)
    check("no Please Wait dialog is left", not any(n[2] == "Please Wait" for n in final))
    print(f"{results.count(True)} passed, {results.count(False)} failed")
    return 0 if all(results) else 1


if __name__ == "__main__":
    sys.exit(main())
