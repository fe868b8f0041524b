#!/usr/bin/python3
"""Reads the updater's window through the AT-SPI bus while kd740_drive checks
and updates, as a screen reader would; prints the tree during the update and
after it, and checks the names found there. Exit status 0 when all hold."""
import sys
import time

import pyatspi


def walk(node, depth=0):
    """(depth, role, name, description, value, showing) of node and below."""
    try:
        try:
            value = node.queryValue().currentValue
        except NotImplementedError:
            value = None
        rows = [(depth, node.getRoleName(), node.name, node.description, value,
                 node.getState().contains(pyatspi.STATE_SHOWING))]
        for child in node:
            rows += walk(child, depth + 1) if child is not None else []
        return rows
    except Exception as error:  # gone while being read
        return [(depth, "gone", str(error), "", None, False)]


def main():
    during, final, deadline = [], [], time.monotonic() + 90
    while not final and time.monotonic() < deadline:
        apps = [a for a in pyatspi.Registry.getDesktop(0) if a is not None and a.name == "kd740-updater"]
        nodes = walk(apps[0]) if apps else []
        if not during and any(n[1] == "progress bar" and n[2].startswith("Step ") for n in nodes):
            during = nodes
        if ("alert", "You may now close the software.") in {n[1:3] for n in nodes}:
            final = nodes
        time.sleep(0.2)
    for title, nodes in (("during the update", during), ("after the outcome", final)):
        print("---", title)
        for depth, role, name, description, value, showing in nodes:
            print(f"{'  ' * depth}{role} {name!r} {description!r} {value} {'' if showing else '(not showing)'}")
    named = {n[1:3] for n in final}
    bars = [n for n in during if n[1] == "progress bar"]
    checks = {
        "the log is a text named Log": ("text", "Log") in named,
        "the buttons are named without blanks": {("push button", b) for b in ("Check Versions", "Update", "Restore")} <= named,
        "the progress bar has its step, its value and the time taken": bool(bars) and bars[0][4] is not None
        and " elapsed" in bars[0][3],
        "the outcome is carried by an alert": ("alert", "You may now close the software.") in named,
        "no Please Wait dialog is left": not any(n[2] == "Please Wait" for n in final),
    }
    for what, holds in checks.items():
        print("ok  " if holds else "FAIL", what)
    print(f"{sum(checks.values())} passed, {len(checks) - sum(checks.values())} failed")
    return 0 if all(checks.values()) else 1


if __name__ == "__main__":
    sys.exit(main())
