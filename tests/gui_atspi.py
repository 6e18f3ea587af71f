#!/usr/bin/python3
"""Reads the real program's window from outside, over accessibility (AT-SPI), as a screen
reader does: the name of every entry and of the Shiny box, then, after a prediction with
a Hidden Power addition, the boxes of every line of text and of every input, which must
not overlap, and no caption may run under its input.

    dbus-run-session -- /usr/bin/python3 gui_atspi.py ORVANTA WRITE_NETWORKS [FONT]

FONT (such as "DejaVu Sans 12") is set as the desktop font through GTK's settings.ini in a
private configuration folder. Needs an X display (xvfb-run).
"""
import os
import shutil
import subprocess
import sys
import tempfile
import time

import pyatspi

CAPTIONS = ["National ID", "Lvl", "HP", "Atk", "Def", "SP Atk", "SP Def", "SPD"]
# Eevee with a Fire Hidden Power: the three prices, the summary and the addition.
FORM = ["133", "50", "31", "30", "31", "30", "31", "30"]
# The three price lines stand 15 pixels apart at the default font (18 at 12 points),
# closer than the 17-pixel (19) box of a line of text; their letters do not touch. Boxes
# of text may share this many rows of pixels, no more.
LINE_BOX_SLACK = 2

failures = []


def check(condition, message):
    if not condition:
        failures.append(message)


def wait_for(what, find, seconds=15.0):
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        found = find()
        if found:
            return found
        time.sleep(0.05)
    sys.exit("gui_atspi: %s did not appear" % what)


def find_app(process):
    if process.poll() is not None:
        sys.exit("gui_atspi: the program ended with status %d" % process.returncode)
    desktop = pyatspi.Registry.getDesktop(0)
    for k in range(desktop.childCount):
        app = desktop.getChildAtIndex(k)
        if app is not None and app.name == "orvanta":
            return app
    return None


def walk(node):
    yield node
    for k in range(node.childCount):
        child = node.getChildAtIndex(k)
        if child is not None:
            yield from walk(child)


def by_role(app, role):
    return [n for n in walk(app) if n.getRoleName() == role]


def box(node):
    e = node.queryComponent().getExtents(pyatspi.WINDOW_COORDS)
    return (e.x, e.y, e.width, e.height)


def line_boxes(label):
    """The box of each line of a label's text that holds more than blanks."""
    text = label.queryText()
    boxes = []
    offset = 0
    while offset < text.characterCount:
        line, start, end = text.getTextAtOffset(offset, pyatspi.TEXT_BOUNDARY_LINE_START)
        if end <= start:
            break
        shown = line.rstrip("\n ")
        if shown.strip():
            x, y, w, h = text.getRangeExtents(start, start + len(shown), pyatspi.WINDOW_COORDS)
            boxes.append((shown, (x, y, w, h)))
        offset = end
    return boxes


def overlap(a, b):
    """How far two boxes overlap across and down (each <= 0 when they do not)."""
    across = min(a[0] + a[2], b[0] + b[2]) - max(a[0], b[0])
    down = min(a[1] + a[3], b[1] + b[3]) - max(a[1], b[1])
    return across, down


def labelled_by(node):
    """The names of the labels that a node's LABELLED_BY relation names."""
    names = []
    for relation in node.getRelationSet():
        if relation.getRelationType() == pyatspi.RELATION_LABELLED_BY:
            names += [relation.getTarget(k).name for k in range(relation.getNTargets())]
    return names


def main():
    orvanta, write_networks = os.path.abspath(sys.argv[1]), os.path.abspath(sys.argv[2])
    font = sys.argv[3] if len(sys.argv) > 3 else None
    work = tempfile.mkdtemp(prefix="orvanta-atspi-")
    process = None
    try:
        home = os.path.join(work, "home")
        config = os.path.join(home, ".config")
        os.makedirs(os.path.join(config, "gtk-3.0"))
        if font:
            with open(os.path.join(config, "gtk-3.0", "settings.ini"), "w") as f:
                f.write("[Settings]\ngtk-font-name=%s\n" % font)
        os.mkdir(os.path.join(work, "ptp"))
        subprocess.run([write_networks, os.path.join(work, "ptp")], check=True)
        env = dict(os.environ, HOME=home, XDG_CONFIG_HOME=config, GDK_BACKEND="x11",
                   XDG_DATA_HOME=os.path.join(home, ".local", "share"))
        env.pop("NO_AT_BRIDGE", None)
        process = subprocess.Popen([orvanta], cwd=work, env=env, stdout=subprocess.DEVNULL)

        app = wait_for("the program on the accessibility bus", lambda: find_app(process))
        entries = wait_for("the form", lambda: len(by_role(app, "text")) == 8
                           and by_role(app, "text"))
        entries.sort(key=lambda e: box(e)[1])

        # A screen reader names each input by its caption.
        check([e.name for e in entries] == CAPTIONS,
              "entries are named %s" % [e.name for e in entries])
        for entry, caption in zip(entries, CAPTIONS):
            check(labelled_by(entry) == [caption],
                  "%s is labelled by %s" % (caption, labelled_by(entry)))
        boxes = by_role(app, "check box")
        check([b.name for b in boxes] == ["Shiny"], "check boxes are named %s"
              % [b.name for b in boxes])
        check(labelled_by(boxes[0]) == ["Shiny"], "the check box is labelled by %s"
              % labelled_by(boxes[0]))

        # Eevee with a Fire Hidden Power, typed in and priced through Predict.
        for entry, text in zip(entries, FORM):
            entry.queryEditableText().setTextContents(text)
        predict = [b for b in by_role(app, "push button") if b.name == "Predict"]
        check(len(predict) == 1, "one Predict button")
        predict[0].queryAction().doAction(0)
        wait_for("the Hidden Power addition",
                 lambda: any(l.name.startswith("This pokemon is eligible")
                             for l in by_role(app, "label")))
        time.sleep(0.3)  # the wider window settles

        texts = []  # (label, line, box)
        for label in by_role(app, "label"):
            for line, line_box in line_boxes(label):
                texts.append((label, line, line_box))
        inputs = [(e.name or "entry", box(e)) for e in entries]
        inputs += [("Shiny box", box(boxes[0])), ("Predict", box(predict[0]))]
        check(len(texts) >= 9 + 13, "only %d lines of text" % len(texts))

        for i, (label_a, line_a, a) in enumerate(texts):
            for label_b, line_b, b in texts[i + 1:]:
                if label_a == label_b:
                    continue
                across, down = overlap(a, b)
                check(across <= 0 or down <= LINE_BOX_SLACK,
                      "%r %s and %r %s overlap" % (line_a, a, line_b, b))
            for name, input_box in inputs:
                across, down = overlap(a, input_box)
                check(across <= 0 or down <= 0,
                      "%r %s runs under %s %s" % (line_a, a, name, input_box))
        # Each caption ends before its own input.
        for entry, caption in zip(entries + boxes[:1], CAPTIONS + ["Shiny"]):
            mine = [t for t in texts if t[1] == caption]
            check(len(mine) == 1, "caption %r shown %d times" % (caption, len(mine)))
            if mine:
                check(mine[0][2][0] + mine[0][2][2] < box(entry)[0],
                      "caption %r %s does not end before %s" % (caption, mine[0][2], box(entry)))
    finally:
        if process is not None and process.poll() is None:
            process.terminate()
            process.wait(timeout=10)
        shutil.rmtree(work, ignore_errors=True)

    for failure in failures:
        print("gui_atspi: " + failure, file=sys.stderr)
    if failures:
        sys.exit(1)
    print("gui_atspi: passed (%s)" % (font or "default font"))


if __name__ == "__main__":
    main()
