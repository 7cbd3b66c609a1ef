#include "app/sidebar/popup_placement.h"

#include <QAccessible>
#include <QScreen>
#include <QWidget>

#include <algorithm>

void showPopupBelow(QWidget *popup, QWidget *anchor)
{
    const QSize size = popup->size().expandedTo(popup->minimumSize());
    QPoint place = anchor->mapToGlobal(QPoint((anchor->width() - size.width()) / 2, anchor->height()));
    if (const QScreen *screen = anchor->screen()) {
        const QRect room = screen->availableGeometry();
        // Within the anchor's window where it fits, as the window's own panels are; else on
        // the screen.
        int left = room.left();
        int right = room.right() + 1;
        const QRect window = anchor->window()->frameGeometry();
        if (size.width() <= window.width()) {
            left = std::max(left, window.left());
            right = std::min(right, window.right() + 1);
        }
        place.setX(std::clamp(place.x(), left, std::max(left, right - size.width())));
        if (place.y() + size.height() > room.bottom())
            place.setY(std::max(room.top(), anchor->mapToGlobal(QPoint(0, 0)).y() - size.height()));
    }
    // A screen reader announces the popup by its name as the focus enters it: unless it has
    // its own, it is heard by the name of the control that opened it.
    if (popup->accessibleName().isEmpty()) {
        if (QAccessibleInterface *opener = QAccessible::queryAccessibleInterface(anchor))
            popup->setAccessibleName(opener->text(QAccessible::Name));
    }
    // The click that closes the popup goes nowhere else: a second press of the anchor
    // closes the popup instead of opening it again.
    popup->setAttribute(Qt::WA_NoMouseReplay);
    popup->move(place);
    popup->show();
}
