#pragma once

#include <QRect>
#include <QSize>

class QScrollArea;
class QWidget;

// What gives way when a popup fits on neither side of its anchor.
enum class PopupFit {
    // The popup's height: it is shortened to the roomier side and the anchor stays in sight,
    // as a list stays beside the field it was opened from.
    besideAnchor,
    // The anchor: a panel keeps its whole size, moved over its own button where it must, and
    // is shortened only where it is taller than the room.
    wholeOnScreen,
};

// Where a popup of `wanted` size, no smaller than `least`, opens from `anchor`, all in global
// coordinates: below the anchor and centred on it, kept inside `window` (the anchor's window)
// when it is narrow enough and always inside `room` (the screen's free area). Above the anchor
// when it fits there and not below; fitting on neither side, as `fit` says. A popup larger than
// the room is made as small as the room. What no longer fits in it must scroll.
QRect popupPlaced(const QSize &wanted, const QSize &least, const QRect &anchor, const QRect &window,
                  const QRect &room, PopupFit fit = PopupFit::besideAnchor);

// Shows a popup window at its size hint as popupPlaced places it under `anchor` on the
// anchor's screen. A popup cut to the room gains the width of the scroll bar it then shows. A
// click outside closes it and does nothing else. A popup without an accessible name takes the
// anchor's.
void showPopupBelow(QWidget *popup, QWidget *anchor, PopupFit fit = PopupFit::besideAnchor);
// The same under `anchor`, a rectangle in global coordinates inside `owner`'s window.
void showPopupAt(QWidget *popup, const QRect &anchor, QWidget *owner);

// Puts `content` into `popup` inside a frameless scroll area: the popup asks for the room the
// whole content needs, and where the screen has less, the content scrolls, following the
// focus as it moves through it. The area is no stop of Tab's, and a wheel over a choice or a
// number scrolls it without changing or focusing that control.
void setScrollingContent(QWidget *popup, QWidget *content);

// Whatever moves the focus inside `area` (Tab, an arrow from cell to cell, a mnemonic, a
// screen reader), the whole focused control comes into sight, not only its text cursor as the
// scroll area's own Tab handling has it.
void keepFocusInSight(QScrollArea *area);
