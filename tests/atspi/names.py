#!/usr/bin/python3
"""Works the updater's window through the AT-SPI bus as a screen reader user
would: presses Check Versions, then Update once it is enabled, and hears
every alert as it appears. Prints the tree during the update and after it,
and what was heard; checks the names found there and that every line of
the log was heard once, with its own text, in the log's order. Exit status 0 when
all hold."""
import sys
import time

import pyatspi
from gi.repository import GLib


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


def find(node, role, name):
    if node.getRoleName() == role and node.name == name:
        return node
    for child in node:
        found = find(child, role, name) if child is not None else None
        if found:
            return found
    return None


def updater(deadline):
    while time.monotonic() < deadline:
        apps = [a for a in pyatspi.Registry.getDesktop(0) if a is not None and a.name == "kd740-updater"]
        if apps and find(apps[0], "push button", "Check Versions"):
            return apps[0]
        time.sleep(0.1)
    return None


def main():
    app = updater(time.monotonic() + 60)
    if not app:
        print("FAIL the updater never showed up on the AT-SPI bus")
        return 1
    heard, during, final, log = [], [], [], []

    def press(name):
        find(app, "push button", name).queryAction().doAction(0)

    def on_event(event):
        source = event.source
        if source is None or event.detail1 != 1:
            return
        role, name = source.getRoleName(), source.name
        if event.type.endswith("enabled") and role == "push button" and name == "Update":
            press("Update")
        if not event.type.endswith("showing") or role != "alert":
            return
        heard.append(name)
        if name.startswith("Step ") and not during:
            during.extend(walk(app))
        if name == "You may now close the software.":
            final.extend(walk(app))
            text = find(app, "text", "Log").queryText()
            log.extend(text.getText(0, text.characterCount).split("\n"))
            pyatspi.Registry.stop()

    # As a screen reader, it follows changes of name: an object's path may be
    # one a gone object had, and only that event refreshes what the bus keeps.
    pyatspi.Registry.registerEventListener(on_event, "object:state-changed:showing", "object:state-changed:enabled",
                                           "object:property-change:accessible-name")
    GLib.idle_add(lambda: press("Check Versions"))
    GLib.timeout_add_seconds(120, pyatspi.Registry.stop)
    pyatspi.Registry.start()

    for title, nodes in (("during the update", during), ("after the outcome", final)):
        print("---", title)
        for depth, role, name, description, value, showing in nodes:
            print(f"{'  ' * depth}{role} {name!r} {description!r} {value} {'' if showing else '(not showing)'}")
    print("--- heard")
    print("\n".join(heard))
    named = {n[1:3] for n in final}
    bars = [n for n in during if n[1] == "progress bar"]
    # The busy dialog's steps are said there, not in the log.
    lines = [h for h in heard if not h.startswith(("Step ", "Reading the firmware versions back"))]
    position = 0
    for line in lines:
        position = log.index(line, position) + 1 if line in log[position:] else len(log) + 1
    # From the check's title on, each line of the log once, in its order.
    run = log[log.index("Checking Firmware Versions..."):]
    spoken = [h for h in heard if h in run]
    checks = {
        "the log is a text named Log": ("text", "Log") in named,
        "the buttons are named without blanks": {("push button", b) for b in ("Check Versions", "Update", "Restore")} <= named,
        "the progress bar has its step, its value and the time taken": bool(bars) and bars[0][4] is not None
        and " elapsed" in bars[0][3],
        "the outcome is carried by an alert": ("alert", "You may now close the software.") in named,
        "no Please Wait dialog is left": not any(n[2] == "Please Wait" for n in final),
        "each line of what the check found and of the outcome was heard": {
            "Found KD740B", "Serial 1234, with firmware 4.5.10", "Press Update to continue.",
            "Firmware updated successfully.", "You may now close the software."} <= set(lines),
        "what was heard are lines of the log, in its order": position <= len(log),
        "every line of the check and the update was heard, once": spoken == [line for line in run if line],
        "the read-back's wait was heard with its limit": "Reading the firmware versions back, up to 30 seconds" in heard,
        "nothing the check said is left once the update runs": not any(
            n[1] == "alert" and n[2] == "Press Update to continue." for n in during),
    }
    for what, holds in checks.items():
        print("ok  " if holds else "FAIL", what)
    print(f"{sum(checks.values())} passed, {len(checks) - sum(checks.values())} failed")
    return 0 if all(checks.values()) else 1


if __name__ == "__main__":
    sys.exit(main())
