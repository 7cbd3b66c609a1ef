#pragma once

class QWidget;

// Shows a popup window right below `anchor` and centred on it, kept inside the anchor's
// window when it is narrow enough and on the anchor's screen: shifted at their edges, and
// above the anchor when there is no room below. A click
// outside closes it and does nothing else. A popup without an accessible name takes the
// anchor's.
void showPopupBelow(QWidget *popup, QWidget *anchor);
