# Steps of the screen reader walk (screen_reader_walk.py) for the windows' own controls, run
# from its main() with the chart window; they use its reading of the bus and report through
# its faults.
#
# The planning window's zoom buttons show "−" and "+": they are heard by what they do, "Zoom
# out" and "Zoom in", never by the symbol alone.

import os
import sys

walk = sys.modules["__main__"]


def check_planning_zoom(main):
    if not walk.press_named(main, "push button", "Planning & Proposals"):
        return
    planning = walk.window_named("Planning & Proposals")
    if planning is None:
        walk.fault("planning window", "does not open for its zoom buttons")
        return
    walk.pump(0.3)
    heard = [walk.name(node).strip() for node in walk.walk(planning) if walk.role(node) == "push button"]
    for wanted in ("Zoom out", "Zoom in"):
        if wanted not in heard:
            walk.fault("planning window", "no button heard as %r" % wanted)
    symbols = [text for text in heard if text in ("\u2212", "-", "+")]
    if symbols:
        walk.fault("planning window", "zoom buttons heard by their symbols %s" % symbols)
    walk.close("Planning & Proposals")


def run(main):
    for check in (check_planning_zoom,):
        try:
            walk.forget()
            check(main)
        except Exception as error:
            walk.fault("walk", "%s stopped by %r" % (check.__name__, error))
        if os.environ.get("VANTREL_BUS_VERBOSE"):
            print("after %s: %d faults" % (check.__name__, len(walk.faults)))
