#pragma once

class QWidget;

// Shows a popup window right below `anchor`, kept on the anchor's screen: shifted left at
// the right edge, and above the anchor when there is no room below.
void showPopupBelow(QWidget *popup, QWidget *anchor);
