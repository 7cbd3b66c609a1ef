#pragma once

#include <QMargins>
#include <QRect>

class QObject;
class QWidget;

// Windows open inside the free area of their screen (without its panels), whatever their
// own default size and the desktop's scale: a window larger than the room is made smaller,
// and one that would stand past an edge is moved back in, so that no button lies off-screen.
// The room holds the window's frame too (title bar and borders), which the desktop adds only
// once the window is mapped.
namespace WindowPlacement {

// A window's frame (title bar and borders included) made no larger than `room` and moved,
// as little as it takes, wholly inside it.
QRect fitted(const QRect &frame, const QRect &room);

// The frame of a window whose frame's corner is at `position` and which is `size` large inside
// a frame of `margins`, fitted into `room`. The window's own size is the result shrunk by
// `margins`.
QRect framePlaced(const QPoint &position, const QSize &size, const QMargins &margins, const QRect &room);

// Fits `window`, its frame taken to be `margins`, into `room`: its size and position as
// framePlaced gives them, a minimum size that would not fit lowered to the room there is.
void fitInto(QWidget &window, const QMargins &margins, const QRect &room);

// The frame the desktop draws around `window` (none before it is framed), a point thicker
// on a side that is not a whole number of points at a fractional scale.
QMargins frameOf(const QWidget &window);

// Fits `window` so into the available area of its screen.
void fitOnScreen(QWidget &window, const QMargins &margins);

// From now on every window and dialog of the application is fitted each time it is shown,
// with the frame an earlier window got where its own is not known yet, and once more when
// the desktop has framed it. Deleting the returned object ends that.
QObject *keepWindowsOnScreen();

} // namespace WindowPlacement
