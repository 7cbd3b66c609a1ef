#pragma once

#include <QRect>

class QObject;
class QWidget;

// Windows open inside the free area of their screen (without its panels), whatever their
// own default size and the desktop's scale: a window larger than the room is made smaller,
// and one that would stand past an edge is moved back in, so that no button lies off-screen.
namespace WindowPlacement {

// A window's frame (title bar and borders included) made no larger than `room` and moved,
// as little as it takes, wholly inside it.
QRect fitted(const QRect &frame, const QRect &room);

// Fits `window` to the available area of its screen; a minimum size that would not fit is
// lowered to the room there is.
void fitOnScreen(QWidget &window);

// From now on every window and dialog of the application is fitted each time it is shown.
// Deleting the returned object ends that.
QObject *keepWindowsOnScreen();

} // namespace WindowPlacement
