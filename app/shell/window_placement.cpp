#include "app/shell/window_placement.h"

#include <QApplication>
#include <QEvent>
#include <QMetaObject>
#include <QPointer>
#include <QScreen>
#include <QWidget>
#include <QWindow>

#include <algorithm>
#include <cmath>

namespace WindowPlacement {

QRect fitted(const QRect &frame, const QRect &room)
{
    const QSize size = frame.size().boundedTo(room.size());
    const int x = std::clamp(frame.x(), room.left(), room.left() + room.width() - size.width());
    const int y = std::clamp(frame.y(), room.top(), room.top() + room.height() - size.height());
    return QRect(QPoint(x, y), size);
}

QRect framePlaced(const QPoint &position, const QSize &size, const QMargins &margins, const QRect &room)
{
    return fitted(QRect(position, size.grownBy(margins)), room);
}

void fitInto(QWidget &window, const QMargins &margins, const QRect &room)
{
    const QSize most = room.size().shrunkBy(margins);
    if (window.minimumWidth() > most.width() || window.minimumHeight() > most.height())
        window.setMinimumSize(window.minimumSize().boundedTo(most));
    // The frame's corner: once Qt knows the window's frame, the window's own corner less the
    // margins taken here (not Qt's, rounded to whole points at a fractional scale); before,
    // the position it was given, which Qt passes on as the frame's corner.
    const bool framed = window.pos() != window.geometry().topLeft();
    const QPoint corner = framed ? window.geometry().topLeft() - QPoint(margins.left(), margins.top()) : window.pos();
    const QRect inside = framePlaced(corner, window.size(), margins, room).marginsRemoved(margins);
    if (!window.testAttribute(Qt::WA_Moved) && !window.testAttribute(Qt::WA_Mapped)) {
        // Never placed: where it goes is the desktop's choice.
        if (inside.size() != window.size())
            window.resize(inside.size());
        return;
    }
    // Given as the geometry inside the frame, which the desktop frames outwards from, even
    // where it stands already: a window placed by its geometry at the screen's top would
    // have its title bar above it.
    if (inside != window.geometry() || !framed)
        window.setGeometry(inside);
}

QMargins frameOf(const QWidget &window)
{
    const QWindow *handle = window.windowHandle();
    if (!handle)
        return {};
    QMargins frame = handle->frameMargins();
    // At a scale such as 1.75 a frame of 20 pixels reads as 11 points, and a window 11 points
    // below the screen's top would have its title bar a pixel above it: a side that is not a
    // whole number of points is taken a point thicker.
    const qreal ratio = handle->devicePixelRatio();
    if (ratio == std::floor(ratio))
        return frame;
    auto thicker = [](int side) { return side > 0 ? side + 1 : side; };
    return QMargins(thicker(frame.left()), thicker(frame.top()), thicker(frame.right()), thicker(frame.bottom()));
}

void fitOnScreen(QWidget &window, const QMargins &margins)
{
    if (const QScreen *screen = window.screen())
        fitInto(window, margins, screen->availableGeometry());
}

namespace {


class ScreenKeeper : public QObject {
public:
    using QObject::QObject;

    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Expose) {
            framed(watched);
            return false;
        }
        // Sent before the window is mapped, so it never shows at its first size. A window the
        // desktop shows again (after a minimize) stays where the user left it.
        if (event->type() != QEvent::Show || event->spontaneous() || !watched->isWidgetType())
            return false;
        auto *widget = static_cast<QWidget *>(watched);
        const Qt::WindowType type = widget->windowType();
        if (widget->isWindow() && (type == Qt::Window || type == Qt::Dialog || type == Qt::Sheet))
            place(*widget);
        return false;
    }

private:
    void place(QWidget &window)
    {
        m_unframed.removeIf([](const QPointer<QWidget> &unframed) { return !unframed; });
        const QMargins frame = frameOf(window);
        if (!frame.isNull()) {
            fitOnScreen(window, frame);
            return;
        }
        // Not framed yet: one desktop frames its windows alike, so the frame an earlier window
        // got is the best guess; the window is fitted again once it has its own.
        fitOnScreen(window, m_lastFrame);
        if (!m_unframed.contains(&window))
            m_unframed.append(&window);
    }

    // A window is mapped, and framed if the desktop frames windows at all.
    void framed(QObject *watched)
    {
        auto *handle = qobject_cast<QWindow *>(watched);
        if (!handle || !handle->isExposed())
            return;
        const auto found = std::find_if(m_unframed.begin(), m_unframed.end(), [handle](const QPointer<QWidget> &unframed) {
            return unframed && unframed->windowHandle() == handle;
        });
        if (found == m_unframed.end())
            return;
        // Once the window has taken in the geometry the desktop gave it with the frame, which
        // may arrive after the exposure.
        QMetaObject::invokeMethod(this, [this, window = *found] { refit(window); }, Qt::QueuedConnection);
        m_unframed.erase(found);
    }

    void refit(const QPointer<QWidget> &window)
    {
        if (!window || !window->isVisible())
            return;
        const QMargins frame = frameOf(*window);
        if (!frame.isNull())
            m_lastFrame = frame;
        fitOnScreen(*window, frame);
    }

    QMargins m_lastFrame;
    QList<QPointer<QWidget>> m_unframed; // shown, not yet mapped by the desktop
};

} // namespace

QObject *keepWindowsOnScreen()
{
    auto *keeper = new ScreenKeeper(qApp);
    qApp->installEventFilter(keeper);
    return keeper;
}

} // namespace WindowPlacement
