#!/usr/bin/env python3
"""Prints what a screen reader finds of a running Tolbe over AT-SPI: the main window, then (after
pressing Download through its accessible action) the progress window and the finish picture, and
the announcements made on the way. Used by scripts/a11y-dump.sh."""
import sys
import time

import pyatspi
from gi.repository import GLib

KEPT_STATES = {"focusable", "focused", "checkable", "checked", "editable", "modal", "selectable", "selected"}
announcements = []


def on_announcement(event):
    announcements.append(str(event.any_data))


def states(acc):
    names = [pyatspi.stateToString(s) for s in acc.getState().getStates()]
    return ",".join(sorted(n for n in names if n in KEPT_STATES))


def dump(acc, depth=0):
    role = acc.getRoleName()
    print("  " * depth + f"{role} | {acc.name} | {acc.description} | {states(acc)}")
    children = list(acc)
    if role == "table":
        children = children[:4]  # the header and the first row
    for child in children:
        if child is not None:
            dump(child, depth + 1)


def pump(seconds):
    end = time.time() + seconds
    while time.time() < end:
        GLib.MainContext.default().iteration(False)
        time.sleep(0.01)


def find(root, predicate):
    if predicate(root):
        return root
    for child in root:
        if child is not None:
            found = find(child, predicate)
            if found is not None:
                return found
    return None


def app_named(name, timeout=20):
    end = time.time() + timeout
    while time.time() < end:
        for app in pyatspi.Registry.getDesktop(0):
            if app is not None and app.name == name:
                return app
        pump(0.2)
    names = [a.name for a in pyatspi.Registry.getDesktop(0) if a is not None]
    sys.exit(f"no application {name} on the accessibility bus: {names}")


def window(app, predicate, timeout=20):
    end = time.time() + timeout
    while time.time() < end:
        for w in app:
            if w is not None and predicate(w):
                return w
        pump(0.05)
    return None


def main():
    download_name = sys.argv[1]
    pyatspi.Registry.registerEventListener(on_announcement, "object:announcement")
    app = app_named(sys.argv[2] if len(sys.argv) > 2 else "Tolbe")
    main_window = window(app, lambda w: w.getRoleName() == "frame")
    print("== main window")
    dump(main_window)
    button = find(main_window, lambda a: a.getRoleName() == "push button" and a.name == download_name)
    button.queryAction().doAction(0)
    progress = window(app, lambda w: w.getRoleName() == "dialog" and w.name != "Tolbe")
    print("== progress window")
    dump(progress)
    finish = window(app, lambda w: w.getRoleName() == "dialog" and find(w, lambda a: a.getRoleName() == "image"))
    print("== finish picture")
    dump(finish)
    pump(0.5)
    print("== announcements")
    for text in announcements:
        print(text)


main()
