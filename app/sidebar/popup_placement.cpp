#include "app/sidebar/popup_placement.h"

#include "app/shell/window_placement.h"

#include <QAbstractSlider>
#include <QAbstractSpinBox>
#include <QAccessible>
#include <QComboBox>
#include <QScrollBar>
#include <QLayout>
#include <QApplication>
#include <QScreen>
#include <QScrollArea>
#include <QStyle>
#include <QVBoxLayout>
#include <QWheelEvent>
#include <QPointer>
#include <QWidget>
#include <QWindow>

#include <algorithm>

QRect popupPlaced(const QSize &wanted, const QSize &least, const QRect &anchor, const QRect &window,
                  const QRect &room, PopupFit fit)
{
    QSize size = wanted.boundedTo(room.size());
    int x = anchor.left() + (anchor.width() - size.width()) / 2;
    // Within the anchor's window where it fits, as the window's own panels are.
    if (size.width() <= window.width())
        x = std::clamp(x, window.left(), window.left() + window.width() - size.width());
    const int below = room.top() + room.height() - (anchor.top() + anchor.height());
    const int above = anchor.top() - room.top();
    int y = anchor.top() + anchor.height();
    if (size.height() > below) {
        // Fitting on neither side, a popup kept whole stays below here, and fitting it into
        // the room moves it up over its anchor.
        if (size.height() <= above) {
            y = anchor.top() - size.height();
        } else if (fit == PopupFit::besideAnchor) {
            // Shortened to the roomier side; a side too short for the popup's least height
            // leaves it overlapping the anchor rather than the screen's edge.
            const int side = std::max(below, above);
            size.setHeight(std::min(size.height(), std::max(side, std::min(least.height(), room.height()))));
            y = below >= above ? anchor.top() + anchor.height() : anchor.top() - size.height();
        }
    }
    return WindowPlacement::fitted(QRect(QPoint(x, y), size), room);
}

static void showPopup(QWidget *popup, const QRect &anchor, const QWidget *owner, PopupFit fit)
{
    const QRect room = owner->screen()->availableGeometry();
    // Its layout's least size first, which would otherwise grow the popup as it shows.
    if (QLayout *layout = popup->layout())
        layout->activate();
    // Never larger than the room, whatever the popup's own least size.
    if (popup->minimumSize().boundedTo(room.size()) != popup->minimumSize())
        popup->setMinimumSize(popup->minimumSize().boundedTo(room.size()));
    QSize wanted = popup->sizeHint().expandedTo(popup->minimumSize());
    const QSize least = popup->minimumSizeHint().expandedTo(popup->minimumSize());
    const QRect window = owner->window()->frameGeometry();
    QRect placed = popupPlaced(wanted, least, anchor, window, room, fit);
    // Cut short, the popup shows a vertical scroll bar inside: the bar takes no width from
    // its content.
    if (placed.height() < wanted.height()) {
        wanted.rwidth() += popup->style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, popup);
        placed = popupPlaced(wanted, least, anchor, window, room, fit);
    }
    // The click that closes the popup goes nowhere else: a second press of the anchor
    // closes the popup instead of opening it again.
    popup->setAttribute(Qt::WA_NoMouseReplay);
    popup->resize(placed.size());
    popup->move(placed.topLeft());
    popup->show();
}

void showPopupBelow(QWidget *popup, QWidget *anchor, PopupFit fit)
{
    // A screen reader announces the popup by its name as the focus enters it: unless it has
    // its own, it is heard by the name of the control that opened it.
    if (popup->accessibleName().isEmpty()) {
        if (QAccessibleInterface *opener = QAccessible::queryAccessibleInterface(anchor))
            popup->setAccessibleName(opener->text(QAccessible::Name));
    }
    showPopup(popup, QRect(anchor->mapToGlobal(QPoint(0, 0)), anchor->size()), anchor, fit);
}

void showPopupAt(QWidget *popup, const QRect &anchor, QWidget *owner)
{
    showPopup(popup, anchor, owner, PopupFit::besideAnchor);
}

namespace {

// Asks for its whole content, which the popup's placement then cuts to the room.
class PopupScrollArea : public QScrollArea {
public:
    using QScrollArea::QScrollArea;

    QSize sizeHint() const override
    {
        const QWidget *content = widget();
        if (!content)
            return QScrollArea::sizeHint();
        QSize whole = content->sizeHint().expandedTo(content->minimumSize()).boundedTo(content->maximumSize());
        // At least what its lines take at that width; no less than it asks for, as a panel
        // of a fixed size centres its controls in it.
        if (content->hasHeightForWidth())
            whole.setHeight(std::max({content->minimumHeight(), whole.height(), content->heightForWidth(whole.width())}));
        return whole.grownBy(contentsMargins());
    }
};

// A wheel turned over a choice or a number scrolls the content, as it does everywhere else in
// it: a turn meant to scroll never changes the paper or the scale, nor moves the focus there,
// which would hand the next arrow key to that control. Qt focuses a control under the wheel
// before the control or any filter of it sees the turn, so the turn is taken as it reaches the
// popup's window. Turns sent to a control itself are taken there, focused ones too, since the
// panel opens with the focus in its first choice; the keys still change them.
class WheelScrollsPast : public QObject {
public:
    explicit WheelScrollsPast(QScrollArea *area) : QObject(area), m_area(area) { qApp->installEventFilter(this); }

    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() != QEvent::Wheel || !m_area->widget())
            return false;
        QWidget *target = qobject_cast<QWidget *>(watched);
        if (watched->isWindowType()) {
            // Every window's wheel goes to the open popup, as Qt's own delivery does.
            QWidget *popup = m_area->window();
            if (watched != popup->windowHandle() && QApplication::activePopupWidget() != popup)
                return false;
            const QPoint global = static_cast<QWheelEvent *>(event)->globalPosition().toPoint();
            target = popup->childAt(popup->mapFromGlobal(global));
        }
        if (!turnsAControl(target))
            return false;
        QCoreApplication::sendEvent(m_area->verticalScrollBar(), event);
        return true;
    }

private:
    // Whether a wheel over `widget` would change or focus a control of the content.
    bool turnsAControl(QWidget *widget) const
    {
        QWidget *content = m_area->widget();
        if (!widget || !content->isAncestorOf(widget))
            return false;
        for (; widget && widget != content; widget = widget->parentWidget()) {
            const bool valueControl = qobject_cast<QComboBox *>(widget) || qobject_cast<QAbstractSpinBox *>(widget)
                || qobject_cast<QAbstractSlider *>(widget);
            if (valueControl || (widget->focusPolicy() & Qt::WheelFocus) == Qt::WheelFocus)
                return true;
        }
        return false;
    }

    QScrollArea *m_area;
};

} // namespace

void setScrollingContent(QWidget *popup, QWidget *content)
{
    auto *layout = new QVBoxLayout(popup);
    layout->setContentsMargins(0, 0, 0, 0);
    auto *area = new PopupScrollArea(popup);
    area->setFrameShape(QFrame::NoFrame);
    // No stop of its own between the content's controls: nameless and unseen, it would be
    // heard as an empty pane.
    area->setFocusPolicy(Qt::NoFocus);
    area->setWidgetResizable(true);
    area->setWidget(content);
    layout->addWidget(area);
    new WheelScrollsPast(area);
    keepFocusInSight(area);
}

static void bringIntoSight(QScrollArea *area, QWidget *control)
{
    if (!control || !area->widget() || !area->widget()->isAncestorOf(control))
        return;
    const QRect whole(control->mapTo(area->widget(), QPoint(0, 0)), control->size());
    area->ensureVisible(whole.center().x(), whole.center().y(), whole.width() / 2 + 8, whole.height() / 2 + 8);
}

void keepFocusInSight(QScrollArea *area)
{
    QObject::connect(qApp, &QApplication::focusChanged, area, [area](QWidget *, QWidget *now) {
        bringIntoSight(area, now);
        // Again once the view that made it has placed it: a cell's field is moved to its
        // cell, scrolled into the view's sight, after it takes the focus.
        const QPointer<QWidget> control = now;
        QMetaObject::invokeMethod(area, [area, control] {
            if (control && control->hasFocus())
                bringIntoSight(area, control);
        }, Qt::QueuedConnection);
    });
}
