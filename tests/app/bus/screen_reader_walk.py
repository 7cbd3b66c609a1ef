# What a screen reader hears of Vantrel, read where it listens: over the AT-SPI bus, with a
# real client. Started by screen_reader.sh inside a private X server and session bus.
#
#   screen_reader_walk.py VANTREL WORKDIR
#
# Opens the app on a small document, walks each window's accessible tree in turn and reports
# every control without a name, named otherwise than by its label (so, by its value), and
# every combo box whose choice cannot be read; then drives the sidebar, the import grid and
# the planning canvas by keys and by the screen reader's own actions, and listens for a failed
# print to be announced. Exits 0 when all is heard as it should be, 1 with one line per fault,
# 77 when the bus cannot be reached.

import json
import os
import re
import subprocess
import sys
import time

try:
    import pyatspi
    from gi.repository import GLib
except ImportError as error:
    print("SKIPPED: no AT-SPI client here:", error)
    sys.exit(77)

APP_PATH, WORK = sys.argv[1], sys.argv[2]
faults = []
app_process = None
MAIN_TITLE = "district.json"

CONTROLS = {"push button", "toggle button", "check box", "radio button", "combo box", "text", "password text",
            "entry", "spin button", "slider", "list", "tree", "table", "tree table", "page tab", "link"}


def fault(where, what):
    faults.append("%s: %s" % (where, what))


# ---- the document and the spreadsheet the test opens ----

def position(id, name, title, department, manager=None, location="Central Office", dotted=(), schools=()):
    p = {"id": id, "payLevel": title, "title": title, "department": department, "location": location, "fte": 1.0,
         "dottedManagerIDs": list(dotted),
         "schoolAssignments": [{"school": school, "fte": fte} for school, fte in schools]}
    if name:
        p["employee"] = {"id": "E" + id[2:], "name": name}
    if manager:
        p["managerID"] = manager
    return p


def write_inputs():
    people = [
        position("P-1", "Lee Alvarez", "Superintendent", "Office of the Superintendent"),
        position("P-2", "Emery Nakamura", "Director", "Curriculum", "P-1"),
        position("P-3", "Sam Okafor", "Principal", "Schools", "P-1", "North School"),
        position("P-4", "Rae Lindqvist", "Teacher", "Schools", "P-3", "North School", dotted=["P-2"],
                 schools=[("North School", 0.5), ("South School", 0.5)]),
        position("P-5", None, "Teacher", "Schools", "P-3", "North School"),
    ]
    organization = {"positions": people}
    proposed = {"positions": people[:4] + [position("P-6", "Kit Moreau", "Coach", "Curriculum", "P-2")]}
    document = {
        "name": "Bus District", "organization": organization, "revisions": [],
        "sheets": [{"id": "S-1", "name": "Schools", "positionIDs": ["P-3", "P-4", "P-5"]}],
        "planning": {"lockedAt": 0, "isLocked": False,
                     "baseline": {"name": "Bus District", "organization": organization},
                     "proposals": [{"id": "6F1C2A3B-0D4E-4F50-8A6B-7C8D9E0F1A2B", "name": "Option A",
                                    "createdAt": 0, "state": {"name": "Bus District", "organization": proposed}}]},
    }
    with open(os.path.join(WORK, "district.json"), "w") as out:
        json.dump(document, out)
    with open(os.path.join(WORK, "staff.csv"), "w") as out:
        out.write("Employee Number,Employee Name,Pay Level,Department,Primary Manager ID,Location\n"
                  "E100,Jo Park,Teacher,Schools,E3,North School\n"
                  "E101,Max Reed,Teacher,Schools,E999,South School\n")


# ---- reading the bus ----

def pump(seconds=0.0):
    context = GLib.MainContext.default()
    end = time.time() + seconds
    while True:
        while context.pending():
            context.iteration(False)
        if time.time() >= end:
            return
        time.sleep(0.05)


def safe(call, default=None):
    try:
        return call()
    except Exception:
        return default


def application():
    desktop = safe(lambda: pyatspi.Registry.getDesktop(0))
    for index in range(safe(lambda: desktop.childCount, 0)):
        candidate = safe(lambda: desktop.getChildAtIndex(index))
        if candidate is not None and safe(candidate.get_process_id) == app_process.pid:
            return candidate
    return None


def windows():
    app = application()
    return [w for w in (safe(lambda i=i: app.getChildAtIndex(i)) for i in range(safe(lambda: app.childCount, 0)))
            if w is not None] if app else []


def role(node):
    return safe(lambda: node.getRoleName(), "")


def name(node):
    return safe(lambda: node.name, "") or ""


def showing(node):
    return safe(lambda: node.getState().contains(pyatspi.STATE_SHOWING), False)


def has_state(node, state):
    return safe(lambda: node.getState().contains(state), False)


def children(node):
    for index in range(safe(lambda: node.childCount, 0)):
        child = safe(lambda: node.getChildAtIndex(index))
        if child is not None:
            yield child


def walk(node, hidden=False):
    # A stack, not recursion: the tree nests as deep as the window does.
    pending = [node]
    while pending:
        current = pending.pop()
        yield current
        for child in reversed(list(children(current))):
            if hidden or showing(child):
                pending.append(child)


def find(root, wanted_role, wanted_name, hidden=False):
    for node in walk(root, hidden):
        if role(node) == wanted_role and name(node) == wanted_name:
            return node
    return None


def window_named(text, timeout=8.0):
    end = time.time() + timeout
    while time.time() < end:
        for window in windows():
            if (name(window) == text or name(window).startswith(text)) and showing(window):
                return window
        pump(0.1)
    return None


def wait_for(test, timeout=5.0):
    end = time.time() + timeout
    while time.time() < end:
        if safe(test, False):
            return True
        pump(0.1)
    return False


def press(node):
    action = node.queryAction()
    names = [action.getName(i).lower() for i in range(action.nActions)]
    for wanted in ("press", "click", "toggle"):
        if wanted in names:
            action.doAction(names.index(wanted))
            return
    action.doAction(0)


def forget():
    """Drops what the client keeps of the application's tree: windows that rebuild their
    controls leave objects behind that no longer exist."""
    app = application()
    if app is not None:
        safe(app.clear_cache)


def press_named(root, control, text):
    forget()
    node = find(root, control, text)
    if node is None:
        fault(name(root), "no %s %r to press" % (control, text))
        return False
    press(node)
    return True


def focused(root):
    for node in walk(root):
        if has_state(node, pyatspi.STATE_FOCUSED) and role(node) != "table cell":
            return node
    return None


def labels_of(node):
    found = []
    for relation in safe(node.getRelationSet, []) or []:
        if relation.getRelationType() == pyatspi.RELATION_LABELLED_BY:
            for index in range(relation.getNTargets()):
                found.append(name(relation.getTarget(index)))
    return found


def plain(text):
    return text.replace("&", "").strip().rstrip(":").strip()


def text_of(node):
    return safe(lambda: node.queryText().getText(0, -1), None)


def chosen_value(combo):
    """The choice a screen reader reads from a combo box: the selected item of its list, or
    the text of an editable one. None when it has none to read."""
    for child in children(combo):
        if role(child) == "text":
            return text_of(child) or ""
        if role(child) == "list":
            for item in children(child):
                if has_state(item, pyatspi.STATE_SELECTED) and name(item):
                    return name(item)
    return None


# ---- keys, through the X server as a user types them ----

def keys(*sequence):
    subprocess.run(["xdotool", "key", "--clearmodifiers", "--delay", "40"] + list(sequence), check=False)
    pump(0.4)


def type_text(text):
    subprocess.run(["xdotool", "type", "--delay", "15", text], check=False)
    pump(0.3)


def click(node):
    """A click in the middle of `node`, through the X server; False when it has no place."""
    box = safe(lambda: node.queryComponent().getExtents(pyatspi.DESKTOP_COORDS))
    if box is None or box.width <= 0 or box.height <= 0:
        return False
    subprocess.run(["xdotool", "mousemove", "--sync", str(box.x + box.width // 2), str(box.y + box.height // 2),
                    "click", "1"], check=False)
    pump(0.4)
    return True


def focus_window(title):
    pattern = "^" + re.sub(r"([.\[\]()*+?{}|^$\\])", r"\\\1", title)  # the title's start, taken literally
    ids = subprocess.run(["xdotool", "search", "--onlyvisible", "--name", pattern],
                         capture_output=True, text=True).stdout.split()
    if ids:
        subprocess.run(["xdotool", "windowfocus", "--sync", ids[-1]], check=False)
        pump(0.2)


# ---- what is heard ----

def audit(window, where=None):
    where = where or name(window)
    if role(window) not in ("frame", "dialog", "window", "alert"):
        fault(where, "the window reads as a %s, not a window or dialog" % role(window))
    for node in walk(window):
        kind = role(node)
        if kind not in CONTROLS:
            continue
        heard = name(node).strip()
        if not heard:
            shown = (text_of(node) or "")[:60]
            fault(where, "%s without a name%s" % (kind, " (%r)" % shown if shown else ""))
            continue
        if heard == "Remove":
            fault(where, "a button heard only as 'Remove' does not say what it removes")
        for label in labels_of(node):
            if label and plain(label) != plain(heard):
                fault(where, "%s heard as %r, not by its label %r" % (kind, heard, label))
        if kind == "text" and text_of(node) and text_of(node).strip() == heard:
            fault(where, "text field named by its value %r" % heard)
        if kind == "combo box":
            value = chosen_value(node)
            if value is None:
                fault(where, "combo box %r without its value" % heard)
            elif value and value == heard:
                fault(where, "combo box named by its value %r" % heard)


def audit_focus(window, where):
    node = focused(window)
    if node is not None and (not name(node).strip() or role(node) in ("filler", "scroll pane", "panel")):
        fault(where, "opens with the focus on a nameless %s" % role(node))


def close(window_title, confirm=("Discard", "Discard Changes", "Don't Save", "Close")):
    """Escape, answering a question about unsaved work with the button that discards it."""
    for _ in range(4):
        if window_named(window_title, timeout=0.2) is None:
            return
        focus_window(window_title)
        keys("Escape")
        for window in windows():
            if role(window) in ("dialog", "alert") and not name(window).startswith(window_title):
                for text in confirm:
                    button = find(window, "push button", text)
                    if button is not None:
                        press(button)
                        pump(0.5)
                        break
    if window_named(window_title, timeout=0.5) is not None:
        fault(window_title, "does not close with Escape")


# ---- the checks ----

focus_events = []  # (role, name, parent's role) of each object that took the focus


def on_focus(event):
    # An object gone by the time the event is read (a cell's editor closed) is not heard.
    if (event.type.startswith("focus") or event.detail1 == 1) and role(event.source):
        focus_events.append((role(event.source), name(event.source), role(safe(lambda: event.source.parent))))


def last_focus():
    pump(0.3)
    return focus_events[-1] if focus_events else (None, None, None)


def card(window, person):
    for node in walk(window):
        if role(node) == "push button" and person in name(node) and role(node.parent) == "canvas":
            return node
    return None


def check_main_window(main):
    audit(main, "chart window")
    sidebar = next((node for node in walk(main) if role(node) == "tree"), None)
    if sidebar is None:
        fault("chart window", "no people list")
        return
    # The screen reader's own action on a row selects the person, as a click or a key does.
    sam = next((row for row in children(sidebar) if name(row) == "Sam Okafor"), None)
    if sam is not None:
        press(sam)
        if not wait_for(lambda: has_state(card(main, "Sam Okafor"), pyatspi.STATE_SELECTED), 3):
            fault("people list", "the screen reader's action on a row does not select the person on the chart")

    # After an editor save, an undo and a redo with the focus on the chart, no other person's
    # row is announced.
    press(card(main, "Lee Alvarez"))
    wait_for(lambda: has_state(card(main, "Lee Alvarez"), pyatspi.STATE_SELECTED), 3)
    canvas = find(main, "canvas", "Chart")
    safe(lambda: canvas.queryComponent().grabFocus())
    pump(0.3)
    focus_events.clear()
    keys("ctrl+e")
    editor = window_named("Edit Position")
    if editor is None:
        fault("chart window", "Ctrl+E opens no editor for the selected card")
    else:
        audit(editor, "position editor")
        keys("End")
        type_text(" Jr")
        keys("Return")
        wait_for(lambda: window_named("Edit Position", 0.1) is None, 3)
    safe(lambda: find(main, "canvas", "Chart").queryComponent().grabFocus())
    for step in ("ctrl+z", "ctrl+shift+z"):
        keys(step)
        pump(0.5)
    others = [heard for kind, heard, _ in focus_events if kind == "table cell" and not heard.startswith("Lee Alvarez")]
    if others:
        fault("people list", "announces %s while Lee Alvarez stays selected" % ", ".join(sorted(set(others))))
    if not has_state(card(main, "Lee Alvarez"), pyatspi.STATE_SELECTED):
        fault("chart window", "Lee Alvarez is no longer selected after the save, undo and redo")


def check_position_editor(main):
    press(card(main, "Rae Lindqvist"))
    pump(0.3)
    focus_window(MAIN_TITLE)
    keys("ctrl+e")
    editor = window_named("Edit Position")
    if editor is None:
        fault("position editor", "does not open")
        return
    advanced = next((node for node in walk(editor) if role(node) in ("check box", "toggle button", "push button")
                     and name(node).startswith("Advanced")), None)
    if advanced is not None:
        press(advanced)
        if not wait_for(lambda: find(editor, "push button", "Add School Allocation") is not None, 2):
            fault("position editor", "the screen reader's action does not open the Advanced section")
    audit(editor, "position editor")
    close("Edit Position")


def check_print_sheet(main):
    focus_window(MAIN_TITLE)
    keys("ctrl+p")
    sheet = window_named("Export PDF & Print")
    if sheet is None:
        fault("print sheet", "Ctrl+P does not open it")
        return
    pump(0.5)
    audit(sheet, "print sheet")
    audit_focus(sheet, "print sheet")
    check_print_failure(sheet)
    close("Export PDF & Print")


def check_print_failure(sheet):
    """Print… with no print scheduler fails in the sheet's error line, which a screen reader
    hears as it appears, a notification coming into sight, as a dialog would be; and again
    when a second try fails the same way."""
    button = find(sheet, "push button", "Print…")
    if button is None:
        fault("print sheet", "no button 'Print…'")
        return
    heard = []

    def on_shown(event):
        if event.detail1 == 1 and role(event.source) == "notification":
            heard.append(name(event.source))

    def failed():
        return any("Nothing was printed" in text for text in heard)

    pyatspi.Registry.registerEventListener(on_shown, "object:state-changed:showing")
    try:
        safe(lambda: button.queryComponent().grabFocus())
        pump(0.2)
        for attempt in ("a print", "a second print"):
            heard.clear()
            keys("space")
            if not wait_for(failed, 5):
                fault("print sheet", "%s that fails is not announced (notifications heard: %r)" % (attempt, heard))
                break
    finally:
        pyatspi.Registry.deregisterEventListener(on_shown, "object:state-changed:showing")


def check_settings(main):
    focus_window(MAIN_TITLE)
    keys("ctrl+comma")
    settings = window_named("Settings")
    if settings is None:
        fault("settings", "Ctrl+, does not open it")
        return
    pump(0.3)
    audit(settings, "settings")
    audit_focus(settings, "settings")
    close("Settings")


def check_quick_entry(main):
    # On the entire organization, quick entry first asks for a new chart.
    press_named(main, "push button", "Spreadsheet")
    question = window_named("New Organization Sheet")
    if question is None:
        fault("new sheet", "does not open")
    else:
        audit(question, "new sheet")
        close("New Organization Sheet")
    picker = find(main, "push button", "Chart")
    if picker is None:
        return
    press(picker)
    pump(0.5)
    type_text("Schools")
    keys("Return")
    pump(0.5)
    press_named(main, "push button", "Spreadsheet")
    grid = window_named("Quick Entry")
    if grid is None:
        fault("quick entry", "does not open")
        return
    pump(0.3)
    audit(grid, "quick entry")
    type_text("Jo")
    kind, heard, _ = last_focus()
    if kind != "text" or not (heard or "").strip():
        fault("quick entry", "the open cell field is heard as %s %r" % (kind, heard))
    close("Quick Entry")


def check_planning(main):
    press_named(main, "push button", "Planning & Proposals")
    planning = window_named("Planning & Proposals")
    if planning is None:
        fault("planning", "does not open")
        return
    pump(0.5)
    audit(planning, "planning window")
    proposal = find(planning, "combo box", "Proposal")
    if proposal is not None:
        safe(lambda: proposal.queryComponent().grabFocus())
        keys("Down")
        if chosen_value(proposal) != "Option A":
            fault("planning window", "the proposal picker reads %r after Down" % chosen_value(proposal))
    canvas = find(planning, "canvas", "Proposal chart")
    if canvas is not None:
        safe(lambda: canvas.queryComponent().grabFocus())
        keys("Right", "Down")
        forget()
        selected = [name(c) for c in children(canvas) if has_state(c, pyatspi.STATE_SELECTED)]
        edit = find(planning, "push button", "Edit / Change Manager")
        restore = find(planning, "push button", "Restore Deleted Position")  # a deletion marker chosen
        if not selected or not (restore is not None or (edit is not None and has_state(edit, pyatspi.STATE_ENABLED))):
            fault("planning canvas", "arrow keys select no card")
    if press_named(planning, "push button", "Change Report…"):
        report = window_named("Proposal Change Report")
        if report is None:
            fault("change report", "does not open")
        else:
            audit(report, "change report")
            close("Proposal Change Report")
    close("Planning & Proposals")


def check_import(main):
    item = find(main, "menu item", "Import Excel / CSV…", hidden=True)
    if item is None:
        fault("import", "no menu item 'Import Excel / CSV…'")
        return
    press(item)
    importing = window_named("Import & Correct")
    if importing is None:
        fault("import", "does not open")
        return
    title = name(importing)
    pump(0.3)
    audit(importing, "import window")
    # From the keyboard, as the focus after the chooser depends on where it was.
    choose = find(importing, "push button", "Choose File…")
    if choose is not None:
        focus_window(title)
        safe(lambda: choose.queryComponent().grabFocus())
        pump(0.2)
        keys("space")
    chooser = window_named("Open", 5) or window_named("Choose", 1)
    if chooser is None:
        fault("import", "Choose File… opens no file chooser")
        close(title)
        return
    pump(0.3)
    type_text(os.path.join(WORK, "staff.csv"))
    keys("Return")
    if not wait_for(lambda: find(importing, "label", "Worksheet") is not None, 5):
        fault("import", "the spreadsheet did not load")
        close(title)
        return
    # Back from the chooser, the keyboard goes on to what the file brings.
    if not wait_for(lambda: last_focus()[1] == "Worksheet", 2):
        fault("import", "after the file chooser the keyboard is on %r, not the worksheet" % (last_focus(),))
    audit(importing, "import window, file step")
    press_named(importing, "push button", "Next: Match Columns")
    pump(0.5)
    audit(importing, "import window, columns step")
    press_named(importing, "push button", "Review Import")
    pump(0.8)
    audit(importing, "import window, corrections step")
    rows = find(importing, "table", "Source rows")
    if rows is None:
        fault("correction grid", "no table 'Source rows'")
    else:
        headers = [name(node) for node in walk(rows, hidden=True) if role(node) == "table column header"]
        if any(header.startswith("Column ") for header in headers) or "Employee Name" not in headers:
            fault("correction grid", "columns heard as %s" % headers)
        cells = [(name(node), safe(lambda n=node: n.description, "")) for node in children(rows)
                 if role(node) == "table cell"]
        if not any("Jo Park" in heard or "Jo Park" in (description or "") for heard, description in cells):
            fault("correction grid", "a cell's text (Jo Park) is nowhere in the tree")
        # Tab leaves the grid; the arrows move between its cells.
        # A list of cells takes no focus over the bus: the user's click opens a cell.
        first = next((node for node in children(rows) if role(node) == "table cell"
                      and name(node).startswith("Row ") and "Employee Name" in name(node)), None)
        focus_window(title)
        if first is None or not click(first):
            fault("correction grid", "no cell of the Employee Name column to click")
        focus_events.clear()
        keys("End", "Right")
        at = last_focus()
        keys("Right")
        if last_focus() == at or not (last_focus()[1] or "").startswith("Row "):
            fault("correction grid", "Right does not move between cells, heard %r (needs the grid's own keys)" %
                  (last_focus(),))
        keys("Tab")
        kind, heard, parent = last_focus()
        if parent == "table" or (heard or "").startswith("Row ") or (heard or "").startswith("Header column"):
            fault("correction grid", "Tab stays in the grid, heard %s %r (needs the grid's own keys)" % (kind, heard))
    close(title)


def main():
    global app_process
    write_inputs()
    app_process = subprocess.Popen([APP_PATH, os.path.join(WORK, "district.json")])
    if not wait_for(lambda: window_named("district.json", 0.1) is not None or
                    window_named("Bus District", 0.1) is not None, 30):
        if app_process.poll() is not None:
            print("FAILED: the application ended with %s before showing a window" % app_process.returncode)
            return 1
        print("SKIPPED: the application never reached the accessibility bus")
        app_process.kill()
        return 77
    global MAIN_TITLE
    main_window = next(w for w in windows() if role(w) == "frame")
    MAIN_TITLE = name(main_window)
    focus_window(MAIN_TITLE)
    pyatspi.Registry.registerEventListener(on_focus, "focus:", "object:state-changed:focused")
    import walk_sidebar
    for check in (check_main_window, check_settings, check_print_sheet, check_position_editor, check_planning,
                  check_import, check_quick_entry) + walk_sidebar.checks(sys.modules[__name__]):
        try:
            forget()
            check(main_window)
            if os.environ.get("VANTREL_BUS_VERBOSE"):
                print("after %s: %d faults" % (check.__name__, len(faults)))
        except Exception as error:
            fault("walk", "%s stopped by %r" % (check.__name__, error))
            if os.environ.get("VANTREL_BUS_VERBOSE"):
                import traceback
                traceback.print_exc()
        if app_process.poll() is not None:
            fault("application", "ended with %s" % app_process.returncode)
            break
    import walk_windows
    if app_process.poll() is None:
        walk_windows.run(main_window)
    import walk_keys
    if app_process.poll() is None:
        walk_keys.run(sys.modules[__name__], main_window)
    import walk_session
    if app_process.poll() is None:
        walk_session.run(sys.modules[__name__], main_window)
    if app_process.poll() is None:
        app_process.terminate()
        try:
            app_process.wait(10)
        except subprocess.TimeoutExpired:
            app_process.kill()
    for line in faults:
        print("FAULT", line)
    print("%d faults" % len(faults))
    return 1 if faults else 0


sys.exit(main())
