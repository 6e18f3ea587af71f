#!/usr/bin/python3
"""Reads the real program's window from outside, over accessibility (AT-SPI), as a screen
reader does: the name of every entry and of the Shiny box, then, after a prediction with
a Hidden Power addition, the boxes of every line of text and of every input, which must
not overlap; no caption may run under its input, each stands level with it, and every
text ends before the window's edges. A result the form was edited after is reported
insensitive until the next Predict.

    dbus-run-session -- /usr/bin/python3 gui_atspi.py ORVANTA WRITE_NETWORKS [FONT]
    dbus-run-session -- /usr/bin/python3 gui_atspi.py ORVANTA WRITE_NETWORKS --clone-root DIR

FONT (such as "DejaVu Sans 12") is set as the desktop font through GTK's settings.ini in a
private configuration folder. --clone-root starts the program (of the build tree) in the
repository's root DIR, as scripts/run does, with a species in the seller's own folder:
it must be priced from there, and another species from the bundled networks, each source
line saying so. Needs an X display (xvfb-run).
"""
import json
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
# The three price lines stand 15 pixels apart at the default font (18 at 12 points, 21 at
# 14), closer than the 17-pixel (19, 23) box of a line of text; their letters do not touch.
# Boxes of text may share this many rows of pixels, no more.
LINE_BOX_SLACK = 2
# Room every text keeps from the window's right and bottom edges, in pixels at least.
EDGE_GAP = 4


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


def start(orvanta, work, cwd, font=None):
    """The program in `cwd` with a home of its own in `work`, and its application on the
    accessibility bus."""
    home = os.path.join(work, "home")
    config = os.path.join(home, ".config")
    os.makedirs(os.path.join(config, "gtk-3.0"), exist_ok=True)
    if font:
        with open(os.path.join(config, "gtk-3.0", "settings.ini"), "w") as f:
            f.write("[Settings]\ngtk-font-name=%s\n" % font)
    env = dict(os.environ, HOME=home, XDG_CONFIG_HOME=config, GDK_BACKEND="x11",
               XDG_DATA_HOME=os.path.join(home, ".local", "share"))
    env.pop("NO_AT_BRIDGE", None)
    process = subprocess.Popen([orvanta], cwd=cwd, env=env, stdout=subprocess.DEVNULL)
    return process, wait_for("the program on the accessibility bus", lambda: find_app(process))


def form_of(app):
    """The eight entries from top to bottom, and the Predict button."""
    entries = wait_for("the form", lambda: len(by_role(app, "text")) == 8 and by_role(app, "text"))
    entries.sort(key=lambda e: box(e)[1])
    predict = [b for b in by_role(app, "push button") if b.name == "Predict"]
    check(len(predict) == 1, "one Predict button")
    return entries, predict[0]


def price(app, entries, predict, texts, shown):
    """Types the eight texts, presses Predict and waits until a label reads `shown`."""
    for entry, text in zip(entries, texts):
        entry.queryEditableText().setTextContents(text)
    predict.queryAction().doAction(0)
    return wait_for("%r" % shown, lambda: [l for l in by_role(app, "label") if l.name == shown])


def sensitive(node):
    states = node.getState()
    return states.contains(pyatspi.STATE_SENSITIVE) and states.contains(pyatspi.STATE_ENABLED)


def check_layout(app, entries, predict, boxes):
    """No text over another or under an input, captions level with their inputs, every text
    inside the window."""
    texts = []  # (label, line, box)
    for label in by_role(app, "label"):
        for line, line_box in line_boxes(label):
            texts.append((label, line, line_box))
    inputs = [(e.name or "entry", box(e)) for e in entries]
    inputs += [("Shiny box", box(boxes[0])), ("Predict", box(predict))]
    check(len(texts) >= 9 + 14, "only %d lines of text" % len(texts))

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
    # Each caption ends before its own input, level with it (their middles at most half a
    # pixel apart).
    for entry, caption in zip(entries + boxes[:1], CAPTIONS + ["Shiny"]):
        mine = [t for t in texts if t[1] == caption]
        check(len(mine) == 1, "caption %r shown %d times" % (caption, len(mine)))
        if mine:
            label_box, input_box = box(mine[0][0]), box(entry)
            check(mine[0][2][0] + mine[0][2][2] < input_box[0],
                  "caption %r %s does not end before %s" % (caption, mine[0][2], input_box))
            apart = (2 * label_box[1] + label_box[3]) - (2 * input_box[1] + input_box[3])
            check(0 <= apart <= 1, "caption %r %s is not level with its input %s"
                  % (caption, label_box, input_box))
    # No text reaches the window's right or bottom edge.
    frame = box(by_role(app, "frame")[0])
    for _, line, (x, y, w, h) in texts:
        check(x + w + EDGE_GAP <= frame[2] and y + h + EDGE_GAP <= frame[3],
              "%r (%d, %d, %d, %d) reaches the edge of the %dx%d window"
              % (line, x, y, w, h, frame[2], frame[3]))


def layout_run(orvanta, write_networks, font, work):
    """Eevee in ./ptp of a folder of the test's own, priced at a font."""
    os.mkdir(os.path.join(work, "ptp"))
    subprocess.run([write_networks, os.path.join(work, "ptp")], check=True)
    process, app = start(orvanta, work, work, font)
    try:
        entries, predict = form_of(app)
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

        # Eevee with a Fire Hidden Power, typed in and priced through Predict: the three
        # prices, the summary, the addition and the source line.
        price(app, entries, predict, FORM, "Eevee (133) \u00b7 networks in ./ptp")
        wait_for("the Hidden Power addition",
                 lambda: any(l.name.startswith("This pokemon is eligible")
                             for l in by_role(app, "label")))
        time.sleep(0.3)  # the wider window settles
        check_layout(app, entries, predict, boxes)

        # An edit greys every result label until the next Predict, texts kept.
        results = [l for l in by_role(app, "label") if l.name and not labelled_for(l)]
        check(len(results) == 8, "%d labels of the result" % len(results))
        check(all(sensitive(l) for l in results), "a fresh result is reported insensitive")
        entries[1].queryEditableText().setTextContents("51")
        wait_for("the result greyed", lambda: not any(sensitive(l) for l in results))
        predict.queryAction().doAction(0)
        wait_for("the result sensitive again", lambda: all(sensitive(l) for l in results))
    finally:
        stop(process)


def labelled_for(label):
    """Whether a label is an input's caption."""
    return any(r.getRelationType() == pyatspi.RELATION_LABEL_FOR for r in label.getRelationSet())


def stop(process):
    if process.poll() is None:
        process.terminate()
        process.wait(timeout=10)


def clone_root_run(orvanta, write_networks, source_dir, work):
    """From the repository's root: Starmie (121) trained into the seller's own folder is
    priced from there, Growlithe (58) from the bundled networks."""
    if os.path.exists(os.path.join(source_dir, "ptp")):
        sys.exit("gui_atspi: %s/ptp exists: it would come first on the search path" % source_dir)
    own = os.path.join(work, "home", ".local", "share", "orvanta", "ptp")
    os.makedirs(own)
    subprocess.run([write_networks, own], check=True)  # Eevee's test networks: 60k, 32k, 87k
    for k in (1, 2, 3):
        os.rename(os.path.join(own, "133_m%d.tp" % k), os.path.join(own, "121_m%d.tp" % k))
    with open(os.path.join(own, "121_species.json"), "w") as f:
        json.dump({"format": "orvanta-species-1", "nid": 121, "name": "Starmie",
                   "hidden_power_types": [], "hidden_power_base_price": 500000,
                   "lowest_price_margin": 0.1, "highest_price_margin": 0.1,
                   "reference_spreads": [[31, 30, 31, 30, 31, 30]], "near_match_window": None,
                   "expected_error": [0.08, None, None], "range_coverage": [0.8, None, None],
                   "training": {"rows": 40, "dates": {"first": "2025-01-01",
                                                      "last": "2025-12-31"}}}, f)
    process, app = start(orvanta, work, source_dir)
    try:
        entries, predict = form_of(app)
        ivs = ["31", "30", "31", "30", "31", "30"]
        price(app, entries, predict, ["121", "50"] + ivs,
              "Starmie (121) \u00b7 trained on 40 of your sales, 2025-01-01 to 2025-12-31\n"
              "Typical error 8% \u00b7 80% of past sales like it sold inside the range")
        names = [l.name for l in by_role(app, "label")]
        check("60k" in names, "Starmie is not priced by the seller's networks: %s" % names)
        price(app, entries, predict, ["58", "50"] + ivs,
              "Growlithe (58) \u00b7 example networks trained on made-up sales")
        names = [l.name for l in by_role(app, "label")]
        check("60k" not in names, "Growlithe is priced by the seller's networks: %s" % names)
    finally:
        stop(process)


def main():
    orvanta, write_networks = os.path.abspath(sys.argv[1]), os.path.abspath(sys.argv[2])
    work = tempfile.mkdtemp(prefix="orvanta-atspi-")
    try:
        if sys.argv[3:4] == ["--clone-root"]:
            what = "from the repository's root"
            clone_root_run(orvanta, write_networks, os.path.abspath(sys.argv[4]), work)
        else:
            font = sys.argv[3] if len(sys.argv) > 3 else None
            what = font or "default font"
            layout_run(orvanta, write_networks, font, work)
    finally:
        shutil.rmtree(work, ignore_errors=True)

    for failure in failures:
        print("gui_atspi: " + failure, file=sys.stderr)
    if failures:
        sys.exit(1)
    print("gui_atspi: passed (%s)" % what)


if __name__ == "__main__":
    main()
