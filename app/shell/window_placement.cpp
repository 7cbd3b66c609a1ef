#include "app/shell/window_placement.h"

#include <QApplication>
#include <QEvent>
#include <QScreen>
#include <QWidget>
#include <QWindow>

#include <algorithm>

namespace WindowPlacement {

QRect fitted(const QRect &frame, const QRect &room)
{
    const QSize size = frame.size().boundedTo(room.size());
    const int x = std::clamp(frame.x(), room.left(), room.left() + room.width() - size.width());
    const int y = std::clamp(frame.y(), room.top(), room.top() + room.height() - size.height());
    return QRect(QPoint(x, y), size);
}

void fitOnScreen(QWidget &window)
{
    const QScreen *screen = window.screen();
    if (!screen)
        return;
    const QRect room = screen->availableGeometry();
    const QMargins frame = window.windowHandle() ? window.windowHandle()->frameMargins() : QMargins();
    const QSize inside = room.size().shrunkBy(frame);
    if (window.minimumWidth() > inside.width() || window.minimumHeight() > inside.height())
        window.setMinimumSize(window.minimumSize().boundedTo(inside));
    const QRect placed = fitted(QRect(window.pos(), window.size().grownBy(frame)), room);
    const QSize size = placed.size().shrunkBy(frame);
    if (size != window.size())
        window.resize(size);
    if (placed.topLeft() != window.pos())
        window.move(placed.topLeft());
}

namespace {

class ScreenKeeper : public QObject {
public:
    using QObject::QObject;

    bool eventFilter(QObject *watched, QEvent *event) override
    {
        // Sent before the window is mapped, so it never shows at its first size. A window the
        // desktop shows again (after a minimize) stays where the user left it.
        if (event->type() != QEvent::Show || event->spontaneous() || !watched->isWidgetType())
            return false;
        auto *widget = static_cast<QWidget *>(watched);
        const Qt::WindowType type = widget->windowType();
        if (widget->isWindow() && (type == Qt::Window || type == Qt::Dialog || type == Qt::Sheet))
            fitOnScreen(*widget);
        return false;
    }
};

} // namespace

QObject *keepWindowsOnScreen()
{
    auto *keeper = new ScreenKeeper(qApp);
    qApp->installEventFilter(keeper);
    return keeper;
}

} // namespace WindowPlacement
