"""The game's window as an AT-SPI client reads it, checked against the design table.

Usage: accessible_labels.py <game-pid> <client-x> <client-y> <player> <holder> <record>
The client area's top-left corner is on the screen at <client-x>, <client-y>; the player
typed <player> at the prompt and the record files hold <holder> and <record>. Prints what is
wrong and exits 1, or exits 0.
"""

import re
import sys
import time

import gi

gi.require_version("Atspi", "2.0")
from gi.repository import Atspi, GLib  # noqa: E402

TWIPS_PER_PIXEL = 15
CLOCK = re.compile(r"(\d\d):(\d\d):(\d\d)")
SCORE_TIP = "Questo è il tuo punteggio. Forza con il  record"

pid, client_x, client_y = (int(a) for a in sys.argv[1:4])
player, holder, record = sys.argv[4:7]

# The labels visible at start-up: name, text, left, top, width, height in twips (None where
# the label takes the size of the text the game wrote), font size in points, tool tip.
LABELS = [
    ("Label6", "Punti complessivi", -120, 0, 3135, 735, 18, ""),
    ("lblScore", "", 600, 840, 1215, 975, 36, SCORE_TIP),
    ("Punteggio", "0", 960, 1080, None, None, 24, ""),
    ("Label11", "Tempo restante", 120, 1920, 1575, 375, 9.75, ""),
    ("lblconto", CLOCK, 120, 2400, 1575, 495, 12, ""),
    ("Label14", "Sfidante", 135, 4560, 1395, 495, 18, ""),
    ("lblnome1", player, 1920, 4560, None, None, 18, ""),
    ("Label12", "Il record  è di ", 120, 7920, 2295, 375, 18, ""),
    ("lblnome", holder, 2640, 7920, None, None, 18, ""),
    ("Label13", "con punti", 6600, 7920, 1455, 435, 18, ""),
    ("lblpunti", record, 8160, 7800, None, None, 24, ""),
]

problems = []


def px(twips):
    return twips // TWIPS_PER_PIXEL


def extents(node):
    e = node.get_extents(Atspi.CoordType.SCREEN)
    return e.x, e.y, e.width, e.height


def showing(node):
    return node.get_state_set().contains(Atspi.StateType.SHOWING)


def children(node):
    return [c for c in (node.get_child_at_index(i) for i in range(node.get_child_count())) if c]


def describe(node):
    return "%s %r at %s%s" % (node.get_role_name(), node.get_name(), extents(node),
                              "" if showing(node) else ", not showing")


def find_board():
    """The game's client area, once its window is in the registry's tree."""
    deadline = time.monotonic() + 20
    while time.monotonic() < deadline:
        desktop = Atspi.get_desktop(0)
        for app in children(desktop):
            if app.get_process_id() != pid:
                continue
            for frame in children(app):
                for node in children(frame):
                    if extents(node) == (client_x, client_y, 608, 672):
                        return node
        time.sleep(0.2)
    sys.exit("the game's window with its %d x %d client area at %d,%d is not in the "
             "accessible tree" % (608, 672, client_x, client_y))


def text_size_plausible(width, height, text, points):
    # One line of the text in its font: as high as a line, about as wide as its letters.
    em = points * 96 / 72
    return em <= height <= 1.5 * em and 0.3 * em * len(text) <= width <= 1.2 * em * len(text)


board = find_board()
controls = children(board)
matched = set()
clock = None

for name, text, left, top, width, height, points, tip in LABELS:
    x, y = client_x + px(left), client_y + px(top)
    here = [c for c in controls if showing(c) and extents(c)[:2] == (x, y)]
    if len(here) != 1:
        problems.append("%s: %d showing objects at %d,%d, expected one" % (name, len(here), x, y))
        continue
    node = here[0]
    matched.add(extents(node))
    role, label, (_, _, w, h) = node.get_role(), node.get_name(), extents(node)
    if role != Atspi.Role.LABEL:
        problems.append("%s: role %s, not label" % (name, node.get_role_name()))
    if isinstance(text, re.Pattern):
        if not text.fullmatch(label):
            problems.append("%s: name %r is no clock" % (name, label))
        clock = node
    elif label != text:
        problems.append("%s: name %r, expected %r" % (name, label, text))
    if node.get_description() != tip:
        problems.append("%s: description %r, expected %r" % (name, node.get_description(), tip))
    if width is None:
        if not text_size_plausible(w, h, label, points):
            problems.append("%s: %d x %d is not the size of %r in %g pt"
                            % (name, w, h, label, points))
    elif (w, h) != (px(width), px(height)):
        problems.append("%s: size %d x %d, expected %d x %d" % (name, w, h, px(width), px(height)))

# Everything else the board holds and reports as showing: only the two top buttons.
buttons = {}
for node in controls:
    if extents(node) in matched or not showing(node):
        continue
    if node.get_role() == Atspi.Role.PUSH_BUTTON:
        buttons[node.get_name()] = node
    else:
        problems.append("reported as showing, and no label of the design: " + describe(node))
if sorted(buttons) != ["Clicca per iniziare", "Exit"]:
    problems.append("showing buttons %s, expected the start and Exit buttons" % sorted(buttons))
if "Exit" in buttons:
    exit_button = buttons["Exit"]
    keys = [exit_button.get_key_binding(i) for i in range(exit_button.get_n_actions())]
    if "Alt+X" not in keys:
        problems.append("Exit: key bindings %s, not Alt+X" % keys)
targets = [c for c in controls
           if c.get_role() == Atspi.Role.PUSH_BUTTON and re.fullmatch(r"\d+", c.get_name())]
if len(targets) != 6 or any(showing(t) for t in targets):
    problems.append("expected six hidden targets named by their numbers, found: "
                    + "; ".join(describe(t) for t in targets))


# The clock's next second, announced as a change of its name.
def clock_seconds(text):
    m = CLOCK.fullmatch(text or "")
    return int(m[1]) * 3600 + int(m[2]) * 60 + int(m[3]) if m else None


if clock is not None:
    clock_place = extents(clock)[:2]
    heard = []

    def on_name_change(event):
        if extents(event.source)[:2] == clock_place:
            heard.append(event.source.get_name())
            if clock_seconds(heard[-1]) == start - 1:
                Atspi.event_quit()

    listener = Atspi.EventListener.new(on_name_change)
    listener.register("object:property-change:accessible-name")
    start = clock_seconds(clock.get_name())
    GLib.timeout_add(5000, lambda: Atspi.event_quit() or False)
    Atspi.event_main()
    if not any(clock_seconds(t) == start - 1 for t in heard):
        problems.append("the clock showed %r; no change of its name to the next second was "
                        "announced within 5 s (heard %s)" % (clock.get_name(), heard))
    listener.deregister("object:property-change:accessible-name")

if problems:
    print("The board's accessible objects:")
    for node in controls:
        print("   ", describe(node), repr(node.get_description()) if node.get_description() else "")
    for p in problems:
        print("FAIL:", p)
    sys.exit(1)
print("all %d labels, the buttons and the clock's next second read as a player sees them"
      % len(LABELS))
