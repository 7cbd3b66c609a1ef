# Keyboard-only steps of the screen reader walk that a session from launch goes through: the
# arrows in a dropdown's list and on the chart, and Qt's own file panel, heard by its labels,
# handing the keyboard back to its window when it closes.
#
# screen_reader_walk.py calls run(walk, main) with itself, whose helpers these use, once its
# own checks are done.

import walk_keys


def check_dropdown_arrows(w, main):
    """Down in the Group by popup moves through its options, each heard; Return chooses the
    one reached: "Location → Department", which the letters of a keyboard cannot type. The
    focus comes back to the dropdown with that choice as it is heard. Opened again, the
    popup starts on that choice, and Up moves from it. Typing is heard as the row it reaches."""
    w.focus_window(w.MAIN_TITLE)
    w.forget()
    picker = w.find(main, "push button", "Group by")
    if picker is None:
        w.fault("chart window", "no dropdown 'Group by'")
        return
    w.safe(lambda: picker.queryComponent().grabFocus())
    w.pump(0.2)
    # From None, the first option, whatever grouping the walk left: the popup opens on it.
    w.keys("space")
    w.type_text("None")
    w.keys("Return")
    if not w.wait_for(lambda: w.safe(lambda: picker.description) == "None", 2):
        w.fault("Group by dropdown", "typing None and Return choose %r" % w.safe(lambda: picker.description))
    # A screen reader keeps what it read of the dropdown until told it changed.
    kept = [w.safe(lambda: picker.description)]
    w.keys("space")
    w.focus_events.clear()
    w.keys("Down", "Down", "Down")
    heard = []
    for kind, name, _ in w.focus_events:  # an object heard twice in a row is announced once
        if kind == "list item" and heard[-1:] != [name]:
            heard.append(name)
    if heard != ["Location", "Department", "Location \u2192 Department"]:
        w.fault("Group by dropdown", "Down three times is heard as %r" % heard)
    # What it reads of the dropdown as it hears the focus come back: the choice, told before.
    back = []
    told = "object:property-change:accessible-description"

    def on_back(event):
        if w.role(event.source) != "push button" or w.name(event.source) != "Group by":
            return
        if event.type.startswith(told):
            kept[0] = w.safe(lambda: event.source.description)
        else:
            back.append(kept[0])

    w.pyatspi.Registry.registerEventListener(on_back, "focus:", told)
    try:
        w.keys("Return")
        w.wait_for(lambda: back, 2)
    finally:
        w.pyatspi.Registry.deregisterEventListener(on_back, "focus:", told)
    if back[-1:] != ["Location \u2192 Department"]:
        w.fault("Group by dropdown", "the focus comes back heard as %r, not with the choice" % back)
    if not w.wait_for(lambda: w.safe(lambda: picker.description) == "Location \u2192 Department", 2):
        w.fault("Group by dropdown", "Return chooses %r, not the option the arrows reached" %
                w.safe(lambda: picker.description))
    # Opened again, the popup stands on that choice: Up moves one row from it at a time, each
    # heard, back to None, the first option.
    w.keys("space")
    w.focus_events.clear()
    w.keys("Up", "Up", "Up")
    heard = []
    for kind, name, _ in w.focus_events:
        if kind == "list item" and heard[-1:] != [name]:
            heard.append(name)
    if heard != ["Department", "Location", "None"]:
        w.fault("Group by dropdown", "Up three times from the choice is heard as %r" % heard)
    w.keys("Return")
    if not w.wait_for(lambda: w.safe(lambda: picker.description) == "None", 2):
        w.fault("Group by dropdown", "Up three times and Return choose %r, not None" %
                w.safe(lambda: picker.description))
    # Typing moves the row Return takes: heard as it reaches it, and the choice, which typing
    # leaves alone, is not told again at each letter.
    w.keys("space")
    w.focus_events.clear()
    told = []

    def on_selected(event):
        told.append(w.name(event.source))

    w.pyatspi.Registry.registerEventListener(on_selected, "object:state-changed:selected")
    def heard_rows():
        return [name for kind, name, _ in w.focus_events if kind == "list item"]

    try:
        w.type_text("Loc")
        # Waited for, not timed: a slow application tells it late.
        w.wait_for(lambda: heard_rows()[-1:] == ["Location"], 3)
    finally:
        w.pyatspi.Registry.deregisterEventListener(on_selected, "object:state-changed:selected")
    heard = heard_rows()
    if heard[-1:] != ["Location"]:
        w.fault("Group by dropdown", "typing Loc is heard as %r, not as the row it reaches" % heard)
    if told:
        w.fault("Group by dropdown", "typing tells the choice again: %r" % told)
    w.keys("Escape")


def check_chart_arrows(w, main):
    """On the chart the arrows select card after card, each heard as the card it reaches."""
    w.focus_window(w.MAIN_TITLE)
    w.forget()
    canvas = w.find(main, "canvas", "Chart")
    if canvas is None:
        w.fault("chart window", "no canvas 'Chart'")
        return
    w.safe(lambda: canvas.queryComponent().grabFocus())
    w.pump(0.2)
    w.keys("Up", "Up", "Up", "Up")  # the top card, from any card or none
    w.focus_events.clear()
    w.keys("Down")
    heard = [name for kind, name, parent in w.focus_events if parent == "canvas" and name]
    reached = w.card(main, heard[-1]) if heard else None
    if reached is None or not w.has_state(reached, w.pyatspi.STATE_SELECTED):
        w.fault("chart", "Down from the top card selects and announces no report (heard %r)" % heard)


def check_file_panel(w, main):
    """Qt's own file panel: its combo boxes are heard by their labels, and once it closes the
    chart window has the keyboard again."""
    w.focus_window(w.MAIN_TITLE)
    w.keys("ctrl+o")
    panel = w.window_named("Open", 5)
    if panel is None:
        w.fault("chart window", "Ctrl+O opens no file panel")
        return
    w.pump(0.3)
    w.audit(panel, "file panel")
    w.focus_events.clear()
    w.keys("Escape")
    w.wait_for(lambda: w.window_named("Open", 0.1) is None, 2)
    if w.focused(main) is None:
        w.fault("chart window", "no control has the keyboard after the file panel closes")


def run(w, main):
    walk_keys.run_checks(w, main, (check_dropdown_arrows, check_chart_arrows, check_file_panel))
