# The people list, the searchable dropdowns, the "Paper & Appearance" panel, the search popup
# and the lists of ticks, as a keyboard and a screen reader meet them. Run by
# screen_reader_walk.py, which hands in its own module for the helpers (find, keys, fault…):
#
#   for check in walk_sidebar.checks(walk_module): check(main_window)

import subprocess

import pyatspi

w = None  # screen_reader_walk's module
events = []  # (kind, source, detail1) of each focus and checked-state change


def on_event(event):
    events.append((event.type, event.source, event.detail1))


def checks(walk):
    global w
    w = walk
    pyatspi.Registry.registerEventListener(on_event, "focus:", "object:state-changed:focused",
                                           "object:state-changed:checked")
    return (check_sidebar_by_keys, check_dropdowns, check_paper_panel, check_search, check_ticked_lists)


# ---- helpers ----

def tap(*sequence):
    """Keys as a user types them, the application's answers waited for by the caller."""
    subprocess.run(["xdotool", "key", "--clearmodifiers", "--delay", "30"] + list(sequence), check=False)
    w.pump(0.15)


def focused_since(mark):
    return [source for kind, source, detail in events[mark:]
            if source is not None and (kind.startswith("focus") or (kind.endswith("focused") and detail == 1))]


def wait_focus(mark, test, timeout=3.0):
    """The last object to take the focus since `mark` when `test` holds for it, else None."""
    found = []

    def taken():
        found[:] = [node for node in focused_since(mark) if w.safe(lambda n=node: test(n), False)]
        return bool(found)

    w.wait_for(taken, timeout)
    return found[-1] if found else None


def popup_of(node):
    """The window `node` sits in: its ancestor just below the application."""
    for _ in range(30):
        parent = w.safe(lambda: node.parent)
        if parent is None or w.role(parent) == "application":
            return node
        node = parent
    return node


def heard_names(nodes):
    """The names of `nodes` as announced: the same object twice in a row is heard once."""
    names = []
    for node in nodes:
        heard = w.name(node)
        if not names or names[-1] != heard:
            names.append(heard)
    return names


def selected_items(node):
    return [w.name(item) for item in w.children(node) if w.has_state(item, pyatspi.STATE_SELECTED)]


def open_dropdown(main, title):
    """Opens the dropdown `title`; gives its filter field, or None."""
    button = w.find(main, "push button", title)
    if button is None:
        w.fault("chart window", "no dropdown %r" % title)
        return None, None
    mark = len(events)
    w.press(button)
    field = wait_focus(mark, lambda n: w.role(n) == "text" and w.name(n) == "Filter")
    if field is None:
        w.fault("%s dropdown" % title, "its popup takes no focus")
    return button, field


def choose(main, title, option):
    """Chooses `option` in the dropdown `title` from the keyboard: the focus on the dropdown,
    Space, the option's words typed, Return. The focus ends on the dropdown."""
    button = w.find(main, "push button", title)
    if button is None:
        return False
    w.safe(lambda: button.queryComponent().grabFocus())
    if not w.wait_for(lambda: w.has_state(button, pyatspi.STATE_FOCUSED), 2):
        return False
    mark = len(events)
    tap("space")
    field = wait_focus(mark, lambda n: w.role(n) == "text" and w.name(n) == "Filter")
    if field is None:
        return False
    # A character off the keyboard (the arrow) is typed through a changed key map, which the
    # application now and then reads late: typed again until the field holds it. A slow
    # application is given the time to take every key before the field is judged.
    for _ in range(3):
        tap("ctrl+a", "BackSpace")
        w.type_text(option)
        if w.wait_for(lambda: w.text_of(field) == option, 3):
            break
    mark = len(events)
    tap("Return")
    return wait_focus(mark, lambda n: w.role(n) == "push button" and w.name(n) == title) is not None and \
        w.safe(lambda: button.description) == option


# ---- the checks ----

def check_sidebar_by_keys(main):
    """In every grouping: Tab into the list, then Home, Down past the end and Up past the top
    announce every person in turn and no heading; Left and Right close and open a group."""
    w.focus_window(w.MAIN_TITLE)
    w.forget()
    tree = w.find(main, "tree", "People")
    if tree is None:
        w.fault("people list", "no tree 'People'")
        return
    headers = [w.name(node) for node in w.children(tree) if w.role(node) == "table column header"]
    if any(not header.strip() or header.strip().isdigit() for header in headers):
        w.fault("people list", "its column is heard as %s" % headers)
    for mode in ("Location", "Department", "Location → Department", "Department → Location"):
        where = "people list by %s" % mode
        if not choose(main, "Group by", mode):
            w.fault(where, "could not choose the grouping from the keyboard")
            continue
        w.forget()
        rows = [node for node in w.children(tree) if w.role(node) == "table cell"]
        people = [w.name(row) for row in rows if not w.name(row).endswith(")")]
        opened = [w.name(row) for row in rows if not w.name(row).endswith(")")
                  and w.has_state(row, pyatspi.STATE_EXPANDED)]
        if opened:
            w.fault(where, "people heard as open groups: %s" % ", ".join(opened))
        # Tab goes on into the list, which announces its current row.
        mark = len(events)
        tap("Tab")
        if wait_focus(mark, lambda n: w.role(n) in ("tree", "table cell")) is None:
            w.fault(where, "Tab from Group by does not reach the list")
            continue
        w.pump(0.2)
        landing = focused_since(mark)[-1]
        if w.role(landing) != "table cell":
            w.fault(where, "Tab into the list announces only the list, not its current row")
        mark = len(events)
        tap("Home", *(["Down"] * len(people) + ["Up"] * len(people)))
        # Home announces the first person unless they were current already.
        expected = [people + people[-2::-1], people[1:] + people[-2::-1]]
        if w.role(landing) == "table cell":
            expected = expected[1:] if w.name(landing) == people[0] else expected[:1]
        w.wait_for(lambda: len(heard_names(n for n in focused_since(mark) if w.role(n) == "table cell")) >=
                   len(expected[-1]), 3)
        heard = heard_names(n for n in focused_since(mark) if w.role(n) == "table cell")
        if heard not in expected:
            w.fault(where, "Home, Down and Up announce %s, not every person in turn" % heard)
            continue
        if mode != "Department":
            continue
        # On the first person: Left closes their group, Right opens it again.
        mark = len(events)
        tap("Left")
        group = wait_focus(mark, lambda n: w.role(n) == "table cell" and w.name(n).endswith(")"))
        if group is None or w.has_state(group, pyatspi.STATE_EXPANDED):
            w.fault(where, "Left on a person does not close their group")
            continue
        tap("Right")
        if not w.wait_for(lambda: w.has_state(group, pyatspi.STATE_EXPANDED), 2):
            w.fault(where, "Right on a closed group does not open it")
        check_closed_group(where)
        check_row_menu(where)


def check_closed_group(where):
    """A group closed with Left stays in reach of the arrows: Up away from it, then Down
    stops on its heading, which Right opens."""
    mark = len(events)
    tap("End", "Left")
    group = wait_focus(mark, lambda n: w.role(n) == "table cell" and w.name(n).endswith(")"))
    if group is None or w.has_state(group, pyatspi.STATE_EXPANDED):
        w.fault(where, "Left on the last person does not close their group")
        return
    heading = w.name(group)
    tap("Up")
    mark = len(events)
    tap("Down")
    back = wait_focus(mark, lambda n: w.role(n) == "table cell" and w.name(n) == heading, 2)
    if back is None:
        w.fault(where, "Down passes over the closed group %r, out of the arrows' reach" % heading)
        return
    tap("Right")
    if not w.wait_for(lambda: w.has_state(back, pyatspi.STATE_EXPANDED), 2):
        w.fault(where, "Right on the closed group %r reached by Down does not open it" % heading)


def check_row_menu(where):
    """Shift+F10 and the Menu key on a person's row open its menu, whose item Down reaches:
    "Edit Person & Position"."""
    mark = len(events)
    tap("Home")
    if wait_focus(mark, lambda n: w.role(n) == "table cell" and not w.name(n).endswith(")")) is None:
        w.fault(where, "Home reaches no person")
        return
    for key in ("shift+F10", "Menu"):
        tap(key)
        mark = len(events)
        tap("Down")
        item = wait_focus(mark, lambda n: w.role(n) == "menu item", 2)
        if item is None or w.name(item) != "Edit Person & Position":
            w.fault(where, "%s on a person's row opens no menu with 'Edit Person & Position' (heard %r)" %
                    (key, w.name(item) if item is not None else None))
        tap("Escape")


def check_dropdowns(main):
    """A dropdown's popup and its list read by the dropdown's name, the current choice
    selected in the list; Tab leaves the popup."""
    w.focus_window(w.MAIN_TITLE)
    for title in ("Group by", "Chart"):
        where = "%s dropdown" % title
        button, field = open_dropdown(main, title)
        if field is None:
            continue
        popup = popup_of(field)
        if w.name(popup) != title:
            w.fault(where, "its popup is heard as %r" % w.name(popup))
        lists = [node for node in w.walk(popup) if w.role(node) == "list"]
        if not lists or not w.name(lists[0]).strip():
            w.fault(where, "its list of options has no name")
        face = w.safe(lambda: button.description, "")
        chosen = selected_items(lists[0]) if lists else []
        if chosen != [face]:
            w.fault(where, "the current choice %r is not the one selected option (selected: %s)" % (face, chosen))
        tap("Tab")
        if not w.wait_for(lambda: not w.showing(popup), 2):
            w.fault(where, "Tab does not leave its popup")
            tap("Escape")


def check_paper_panel(main):
    """The panel's popup is named; it opens with the focus on its first control; its pickers'
    lists are named and hold the current choice selected."""
    w.focus_window(w.MAIN_TITLE)
    button = w.find(main, "push button", "Paper & Appearance")
    if button is None:
        w.fault("chart window", "no 'Paper & Appearance' button")
        return
    mark = len(events)
    w.press(button)
    first = wait_focus(mark, lambda n: w.role(n) != "push button")
    if first is None:
        w.fault("Paper & Appearance", "opens with the focus on nothing inside it")
        tap("Tab")
        first = wait_focus(mark, lambda n: w.role(n) != "push button")
    if first is None:
        return
    popup = popup_of(first)
    if w.name(popup) != "Paper & Appearance":
        w.fault("Paper & Appearance", "its popup is heard as %r" % w.name(popup))
    for combo in (node for node in w.walk(popup) if w.role(node) == "combo box"):
        lists = [node for node in w.children(combo) if w.role(node) == "list"]
        if not lists or not w.name(lists[0]).strip():
            w.fault("Paper & Appearance", "the list of %r has no name" % w.name(combo))
        elif len(selected_items(lists[0])) != 1:
            w.fault("Paper & Appearance", "the list of %r has no current choice selected" % w.name(combo))
    tap("Escape")
    w.wait_for(lambda: not w.showing(popup), 2)


def check_search(main):
    """Return in the empty search field opens the results ("0 matches"), which Tab leaves for
    the field; a search's popup is named, and Tab leaves it too."""
    w.focus_window(w.MAIN_TITLE)
    w.forget()
    field = w.find(main, "text", "Search people")
    if field is None:
        w.fault("search", "no field 'Search people'")
        return
    mark = len(events)
    w.click(field)
    if wait_focus(mark, lambda n: w.role(n) == "text" and w.name(n) == "Search people") is None:
        w.fault("search", "a click does not focus the search field")
        return
    tap("ctrl+a", "BackSpace")
    mark = len(events)
    tap("Return")
    empty = wait_focus(mark, lambda n: w.role(n) in ("list", "list item"))
    if empty is None:
        w.fault("search", "Return in the empty field opens no results")
    else:
        mark = len(events)
        tap("Tab")
        if wait_focus(mark, lambda n: w.role(n) == "text" and w.name(n) == "Search people", 2) is None \
                or w.showing(popup_of(empty)):
            w.fault("search", "Tab does not leave the empty results for the search field")
            tap("Escape")
    w.type_text("Rae")
    mark = len(events)
    tap("Return")
    results = wait_focus(mark, lambda n: w.role(n) in ("list", "list item"))
    if results is None:
        w.fault("search", "Return opens no results to move through")
        return
    popup = popup_of(results)
    if not w.name(popup).strip():
        w.fault("search", "the results popup has no name")
    mark = len(events)
    tap("Tab")
    if wait_focus(mark, lambda n: w.role(n) == "text" and w.name(n) == "Search people", 2) is None or \
            w.showing(popup):
        w.fault("search", "Tab does not leave the results for the search field")
        tap("Escape")
    tap("ctrl+a", "BackSpace")


def open_from_menu(main, menu, item):
    """Opens the menu of the button `menu` and chooses `item` from the keyboard (a window that
    waits for its answer would block the screen reader's own action until it closes)."""
    button = w.find(main, "push button", menu)
    if button is None or not w.click(button):
        return False
    for _ in range(8):
        mark = len(events)
        tap("Up")
        reached = wait_focus(mark, lambda n: w.role(n) == "menu item", 1)
        if reached is not None and w.name(reached) == item:
            tap("Return")
            return True
    tap("Escape")
    return False


def check_ticks(window, where):
    """The list is named; Space ticks its current row, and the screen reader hears the row
    become checked."""
    lists = [node for node in w.walk(window) if w.role(node) == "list"]
    if not lists or not w.name(lists[0]).strip():
        w.fault(where, "its list of positions has no name")
    if not lists:
        return
    rows = list(w.children(lists[0]))
    if len(rows) < 2 or not w.click(rows[0]):
        w.fault(where, "no rows to tick")
        return
    mark = len(events)
    tap("Down", "space")
    w.wait_for(lambda: any(kind.endswith("checked") for kind, _, _ in events[mark:]), 1)
    if not any(kind.endswith("checked") and detail == 1 for kind, _, detail in events[mark:]):
        w.fault(where, "ticking a row by Space tells the screen reader nothing")
    w.forget()
    checked = [w.name(row) for row in w.children(lists[0]) if w.has_state(row, pyatspi.STATE_CHECKED)]
    if len(checked) != 2:
        w.fault(where, "after ticking two rows by a click and Space, checked: %s" % checked)


def check_ticked_lists(main):
    """The group editor's list (Add Existing's is made the same way)."""
    w.focus_window(w.MAIN_TITLE)
    if not open_from_menu(main, "Sheets", "Create / Manage Groups…"):
        w.fault("group editor", "no menu item 'Create / Manage Groups…' under Sheets")
        return
    editor = w.window_named("Group Positions")
    if editor is None:
        w.fault("group editor", "does not open")
        return
    check_ticks(editor, "group editor")
    w.close("Group Positions")
