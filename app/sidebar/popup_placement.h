#pragma once

#include <QRect>
#include <QSize>

class QWidget;

// Where a popup of `wanted` size, no smaller than `least`, opens from `anchor`, all in global
// coordinates: below the anchor and centred on it, kept inside `window` (the anchor's window)
// when it is narrow enough and always inside `room` (the screen's free area). Above the anchor
// when it fits there and not below; fitting on neither side, it is shortened to the side with
// more room, and a popup larger than the room is made as small as the room. What no longer
// fits in it must scroll.
QRect popupPlaced(const QSize &wanted, const QSize &least, const QRect &anchor, const QRect &window,
                  const QRect &room);

// Shows a popup window at its size hint as popupPlaced places it under `anchor` on the
// anchor's screen. A popup cut to the room gains the width of the scroll bar it then shows. A
// click outside closes it and does nothing else. A popup without an accessible name takes the
// anchor's.
void showPopupBelow(QWidget *popup, QWidget *anchor);
// The same under `anchor`, a rectangle in global coordinates inside `owner`'s window.
void showPopupAt(QWidget *popup, const QRect &anchor, QWidget *owner);

// Puts `content` into `popup` inside a frameless scroll area: the popup asks for the room the
// whole content needs, and where the screen has less, the content scrolls, following the
// focus as it moves through it.
void setScrollingContent(QWidget *popup, QWidget *content);
