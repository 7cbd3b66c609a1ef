# Keyboard-only routes of the screen reader walk: Ctrl+E in a narrow window, the version
# history reached through the Save button's menu, and quick entry's Tab, heard once per key.
#
# screen_reader_walk.py calls run(walk) with itself, whose helpers these use, once its own
# checks are done.

import os
import subprocess
import time


def check_narrow_inspector(w, main):
    """Ctrl+E edits the selected person in a window too narrow for the inspector's labels,
    where its actions show as icons."""
    ids = subprocess.run(["xdotool", "search", "--onlyvisible", "--name", "^" + w.re.escape(w.MAIN_TITLE)],
                         capture_output=True, text=True).stdout.split()
    if not ids:
        w.fault("narrow inspector", "no chart window to narrow")
        return
    box = w.safe(lambda: main.queryComponent().getExtents(w.pyatspi.DESKTOP_COORDS))
    subprocess.run(["xdotool", "windowsize", "--sync", ids[-1], "716", str(box.height if box else 800)], check=False)
    w.pump(0.8)
    w.forget()
    person = next((node for node in w.walk(main) if w.role(node) == "push button"
                   and w.role(node.parent) == "canvas"), None)
    if person is None:
        w.fault("narrow inspector", "no card on the chart")
        return
    w.press(person)
    w.pump(0.5)
    w.focus_window(w.MAIN_TITLE)
    w.safe(lambda: w.find(main, "canvas", "Chart").queryComponent().grabFocus())
    w.keys("ctrl+e")
    if w.window_named("Edit Position", 3) is None:
        w.fault("narrow inspector", "Ctrl+E opens no editor in a 716-pixel window")
    else:
        w.close("Edit Position")
    if box is not None:
        subprocess.run(["xdotool", "windowsize", "--sync", ids[-1], str(box.width), str(box.height)], check=False)
        w.pump(0.5)


def focus_names(w):
    """The objects that took the focus since the last clear, once each, in order."""
    w.pump(0.1)
    heard = []
    for kind, name, _ in w.focus_events:
        if not heard or heard[-1] != (kind, name):
            heard.append((kind, name))
    return heard


def focused_controls(w):
    """Every control that says it has the keyboard, in every window of the application."""
    return [(w.name(window), w.role(node), w.name(node)) for window in w.windows() for node in w.walk(window)
            if w.has_state(node, w.pyatspi.STATE_FOCUSED) and w.role(node) not in ("table cell", "list item")]


def announced_closing(w, title, key):
    """Presses `key`, which should close the window `title`; every focus announced meanwhile,
    also of a control gone by the time it is read (the closing window's, which the walk's own
    listener leaves out), and whether the window closed."""
    announced = []

    def on_any_focus(event):
        if event.type.startswith("focus") or event.detail1 == 1:
            announced.append(w.name(event.source) or "(a control gone)")

    w.pyatspi.Registry.registerEventListener(on_any_focus, "focus:", "object:state-changed:focused")
    try:
        w.keys(key)
        closed = w.wait_for(lambda: w.window_named(title, 0.1) is None, 3)
        w.pump(0.5)
    finally:
        w.pyatspi.Registry.deregisterEventListener(on_any_focus, "focus:", "object:state-changed:focused")
    return announced, closed


def check_version_history(w, main):
    """The history opens from the Save button's menu by keys alone; its rows and Restore
    buttons say which version they are, and Tab reaches Restore before Done. Restore closes it
    without announcing its other buttons on the way, and one control has the keyboard then."""
    w.focus_window(w.MAIN_TITLE)
    w.forget()
    save = next((node for node in w.walk(main) if "button" in w.role(node) and w.name(node) == "Save"), None)
    if save is None:
        w.fault("toolbar", "no Save button")
        return
    w.safe(lambda: save.queryComponent().grabFocus())
    w.pump(0.3)
    w.keys("alt+Down")
    w.keys("Down", "Return")
    history = w.window_named("Version History", 3)
    if history is None:
        w.fault("toolbar", "Alt+Down, Down and Return on Save do not open the version history")
        return
    w.pump(0.3)
    note = w.find(history, "text", "Version note (optional)")
    w.safe(lambda: note.queryComponent().grabFocus())
    w.type_text("first note")
    w.keys("Return")
    w.forget()
    w.audit(history, "version history")
    versions = w.find(history, "list", "Saved versions")
    rows = [w.name(row) for row in w.children(versions)] if versions is not None else []
    newest = w.re.match(r"(Version \d+ \u2014 first note) \u00b7 \d+ positions$", rows[0] if rows else "")
    if newest is None:
        w.fault("version history", "the saved version is heard as %r" % rows)
        w.close("Version History")
        return
    # From the note: Save Version, the list, each row's Restore, then the buttons under it.
    w.focus_events.clear()
    w.keys(*["Tab"] * (len(rows) + 4))
    heard = [name for _, name in focus_names(w)]
    restore = "Restore " + newest.group(1)
    if restore not in heard or "Done" not in heard or heard.index(restore) > heard.index("Done"):
        w.fault("version history", "Tab from the note goes %r, not through %r before Done" % (heard, restore))
        w.close("Version History")
        return
    for _ in range(8):  # back to the newest version's Restore
        w.focus_events.clear()
        w.keys("shift+Tab")
        if focus_names(w)[-1:] == [("push button", restore)]:
            break
    announced, closed = announced_closing(w, "Version History", "space")
    if not closed:
        w.fault("version history", "Restore does not close it")
        w.close("Version History")
        return
    if any(name != "Save" for name in announced):
        w.fault("version history", "closing after Restore announces %r, not only Save, which opened it" % announced)
    holding = focused_controls(w)
    if len(holding) != 1:
        w.fault("version history", "after Restore the keyboard is held by %r, not one control" % holding)


def check_quick_entry_tabs(w, main):
    """Each Tab in the quick-entry grid is heard once, as the field or cell it reaches; the
    remove cell says what it removes. Closed from its buttons, it announces none of its own
    controls as it goes."""
    w.focus_window(w.MAIN_TITLE)
    if not w.press_named(main, "push button", "Spreadsheet"):
        return
    grid = w.window_named("Quick Entry")
    if grid is None:
        w.fault("quick entry", "does not open from the Schools chart")
        return
    w.pump(0.5)
    w.keys("Return")  # a new row, its name field open: the rest of the row is Tab away
    steps = []
    for _ in range(6):
        w.focus_events.clear()
        subprocess.run(["xdotool", "key", "--clearmodifiers", "Tab"], check=False)
        w.pump(0.25)
        steps.append(focus_names(w))
    for heard in steps:
        if len(heard) != 1 or not (heard[0][1] or "").strip():
            w.fault("quick entry", "one Tab is heard as %r" % heard)
            break
    names = [heard[-1][1] for heard in steps if heard]
    if not any(name.startswith("Remove") and any(c.isdigit() for c in name) for name in names):
        w.fault("quick entry", "Tab along a new row reaches no remove cell named for its row: %r" % names)
    for _ in range(6):  # on to its buttons
        w.focus_events.clear()
        w.keys("Tab")
        if focus_names(w)[-1:] == [("push button", "Paste Rows from Excel")]:
            break
    announced, closed = announced_closing(w, "Quick Entry", "Escape")
    own = {"(a control gone)", "Positions", "Add Row", "Paste Rows from Excel", "Done", "Save Changes"}
    if closed and own & set(announced):
        w.fault("quick entry", "closing announces %r" % announced)
    w.close("Quick Entry")


def check_quick_entry_discard(w, main):
    """Quick entry with a changed row, closed by keys through its question's Discard, announces
    none of its own controls as it goes and leaves the keyboard on Spreadsheet, which opened it."""
    w.focus_window(w.MAIN_TITLE)
    w.forget()
    opener = w.find(main, "push button", "Spreadsheet")
    if opener is None:
        w.fault("quick entry", "no Spreadsheet button")
        return
    w.safe(lambda: opener.queryComponent().grabFocus())
    w.pump(0.3)
    w.keys("space")
    if w.window_named("Quick Entry", 5) is None:
        w.fault("quick entry", "Space on Spreadsheet does not open it")
        return
    w.pump(0.5)
    w.keys("Return")  # a new row, its name field open
    w.type_text("Zed")
    w.keys("Tab")  # keeps the name; Tab opens the next cell's editor, which the first Escape closes

    def asking():
        return any(w.find(window, "push button", "Discard Unsaved Changes") is not None
                   for window in w.windows() if w.role(window) in ("dialog", "alert"))

    w.keys("Escape")
    if not w.wait_for(asking, 1):
        w.keys("Escape")
    if not w.wait_for(asking, 3):
        w.fault("quick entry", "Escape after a change asks nothing")
        w.close("Quick Entry")
        return
    for _ in range(4):
        w.focus_events.clear()
        w.keys("Tab")
        if focus_names(w)[-1:] == [("push button", "Discard Unsaved Changes")]:
            break
    announced, closed = announced_closing(w, "Quick Entry", "space")
    if not closed:
        w.fault("quick entry", "Discard by keys does not close it")
        w.close("Quick Entry")
        return
    if any(name != "Spreadsheet" for name in announced):
        w.fault("quick entry", "closing by Discard announces %r, not only Spreadsheet" % announced)
    holding = focused_controls(w)
    if [name for _, _, name in holding] != ["Spreadsheet"]:
        w.fault("quick entry", "after Discard the keyboard is held by %r, not Spreadsheet" % holding)


def run(w, main):
    run_checks(w, main, (check_narrow_inspector, check_quick_entry_tabs, check_quick_entry_discard,
                         check_version_history))


def run_checks(w, main, checks):
    """Runs each check(w, main) in turn; one that stops counts as a fault, and the walk ends
    with the application."""
    for check in checks:
        started = time.time()
        try:
            w.forget()
            check(w, main)
            if os.environ.get("VANTREL_BUS_VERBOSE"):
                print("after %s: %d faults, %.1f s" % (check.__name__, len(w.faults), time.time() - started))
        except Exception as error:
            w.fault("walk", "%s stopped by %r" % (check.__name__, error))
            if os.environ.get("VANTREL_BUS_VERBOSE"):
                import traceback
                traceback.print_exc()
        if w.app_process.poll() is not None:
            w.fault("application", "ended with %s" % w.app_process.returncode)
            return
