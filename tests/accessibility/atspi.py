#!/usr/bin/python3
# What a screen reader sees of a program: its accessible tree on the AT-SPI
# bus, read with pyatspi as Orca and other assistive tools read it.
#
#   atspi.py tree PID          every object: role, name, states, description, value, place
#   atspi.py shown PID         the names of the main window's shown buttons and
#                              progress bar, sorted and comma-separated
#   atspi.py focused PID       role and name of the object with the keyboard focus
#   atspi.py box PID           role, name and text of an open message box
#   atspi.py center PID NAME   the screen point at the middle of the shown control NAME
#   atspi.py watch PID         prints name changes and focus changes as they come,
#                              one line each, until it is stopped
# Exits 3 when the program is not (yet) on the bus.
import sys

import pyatspi
from gi.repository import GLib

# Roles are matched by number: the library's own words for them change
# between releases (role 43 is "push button" in at-spi2-core 2.46, "button"
# in 2.56). What this script prints names them in the words below, the same
# on every release; roles not listed print as the library names them.
ROLE_WORDS = {pyatspi.ROLE_FRAME: "frame", pyatspi.ROLE_FILLER: "filler", pyatspi.ROLE_ALERT: "alert",
              pyatspi.ROLE_DIALOG: "dialog", pyatspi.ROLE_LABEL: "label", pyatspi.ROLE_IMAGE: "image",
              pyatspi.ROLE_PUSH_BUTTON: "push button", pyatspi.ROLE_PROGRESS_BAR: "progress bar"}
CONTROLS = (pyatspi.ROLE_PUSH_BUTTON, pyatspi.ROLE_PROGRESS_BAR)
BOXES = (pyatspi.ROLE_ALERT, pyatspi.ROLE_DIALOG)

STATES = [("showing", pyatspi.STATE_SHOWING), ("focused", pyatspi.STATE_FOCUSED),
          ("focusable", pyatspi.STATE_FOCUSABLE), ("active", pyatspi.STATE_ACTIVE),
          ("modal", pyatspi.STATE_MODAL)]


def role(obj):
    return ROLE_WORDS.get(obj.getRole(), obj.getRoleName())


def application(pid):
    for app in pyatspi.Registry.getDesktop(0):
        if app is not None and app.get_process_id() == pid:
            return app
    sys.exit(3)


def children(obj):
    return [obj.getChildAtIndex(i) for i in range(obj.childCount)]


def descendants(obj):
    for child in children(obj):
        yield child
        yield from descendants(child)


def states(obj):
    state = obj.getState()
    return [name for name, s in STATES if state.contains(s)]


def main_window(app):
    for window in children(app):
        if (window.getRole() in (pyatspi.ROLE_FRAME, pyatspi.ROLE_FILLER)
                and window.name.startswith("Zandor Firmware Updater v")):
            return window
    sys.exit(3)


def describe(obj, frame_extents=None):
    line = "%s %r" % (role(obj), obj.name)
    line += " [%s]" % ",".join(states(obj))
    if obj.description:
        line += " description=%r" % obj.description
    try:
        value = obj.queryValue()
        line += " value=%g of %g..%g" % (value.currentValue, value.minimumValue, value.maximumValue)
    except NotImplementedError:
        pass
    if frame_extents is not None:
        e = obj.queryComponent().getExtents(pyatspi.WINDOW_COORDS)
        line += " at %d,%d %dx%d" % (e.x - frame_extents.x, e.y - frame_extents.y, e.width, e.height)
    return line


def shown_controls(frame):
    names = [c.name for c in children(frame)
             if "showing" in states(c) and c.getRole() in CONTROLS]
    return ",".join(sorted(names))


def box_of(app):
    for window in children(app):
        if window.getRole() in BOXES:
            texts = [d.name for d in descendants(window) if d.getRole() == pyatspi.ROLE_LABEL and d.name]
            return "%s %r: %s" % (role(window), window.name, " | ".join(texts))
    return ""


def watch(app):
    def seen(event):
        try:
            if event.host_application.get_process_id() != app.get_process_id():
                return
        except Exception:
            return
        source = event.source
        if event.type.startswith("object:state-changed:focused"):
            if event.detail1:
                print("focus %s %r" % (role(source), source.name), flush=True)
        else:
            print("name %s %r" % (role(source), source.name), flush=True)
    pyatspi.Registry.registerEventListener(seen, "object:property-change:accessible-name",
                                           "object:state-changed:focused")
    print("watching", flush=True)
    pyatspi.Registry.start()


def run(command, pid, rest):
    app = application(pid)
    if command == "tree":
        frame = main_window(app)
        origin = frame.queryComponent().getExtents(pyatspi.WINDOW_COORDS)
        print(describe(frame))
        for child in children(frame):
            print("  " + describe(child, origin))
    elif command == "shown":
        print(shown_controls(main_window(app)))
    elif command == "focused":
        for obj in [app] + list(descendants(app)):
            if "focused" in states(obj):
                print("%s %r" % (role(obj), obj.name))
                return
        print("nothing")
    elif command == "box":
        print(box_of(app))
    elif command == "center":
        for child in children(main_window(app)):
            if child.name == rest[0] and "showing" in states(child):
                e = child.queryComponent().getExtents(pyatspi.DESKTOP_COORDS)
                print("%d %d" % (e.x + e.width // 2, e.y + e.height // 2))
                return
        sys.exit(4)
    elif command == "watch":
        watch(app)
    else:
        sys.exit("unknown command " + command)


if __name__ == "__main__":
    run(sys.argv[1], int(sys.argv[2]), sys.argv[3:])
