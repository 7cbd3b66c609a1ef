#include "app/chart/card_chart_surface.h"

#include "app/chart/reporting_callout_view.h"

#include <QAccessible>
#include <QContextMenuEvent>
#include <QFrame>
#include <QKeyEvent>
#include <QLabel>

#include <utility>

int CardChartSurface::topCard(int count, const std::function<std::optional<Rect>(int)> &frameOf)
{
    int top = -1;
    std::optional<Rect> topFrame;
    for (int i = 0; i < count; ++i) {
        const std::optional<Rect> frame = frameOf(i);
        if (frame && (!topFrame || std::pair(frame->minY(), frame->minX()) < std::pair(topFrame->minY(), topFrame->minX()))) {
            top = i;
            topFrame = frame;
        }
    }
    return top;
}

int CardChartSurface::startingCardIndex() const
{
    return topCard(cardCount(), [this](int index) { return selectableFrame(index); });
}

void CardChartSurface::keyPressEvent(QKeyEvent *event)
{
    const Qt::KeyboardModifiers modifiers = event->modifiers() & ~Qt::KeypadModifier;
    if (event->key() == Qt::Key_F10 && modifiers == Qt::ShiftModifier) {
        if (const int index = selectedCardIndex(); index >= 0)
            showCardMenu(index);
        return;
    }
    // As Alt+Down opens what hangs below a button elsewhere.
    if (event->key() == Qt::Key_Down && modifiers == Qt::AltModifier) {
        if (const int index = selectedCardIndex(); index >= 0)
            showCardDetails(index);
        return;
    }
    switch (modifiers == Qt::NoModifier ? event->key() : 0) {
    case Qt::Key_Left:
    case Qt::Key_Right:
    case Qt::Key_Up:
    case Qt::Key_Down: selectToward(event->key()); return;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        if (const int index = selectedCardIndex(); index >= 0)
            openCard(index);
        return;
    default: ChartNavigationSurface::keyPressEvent(event);
    }
}

void CardChartSurface::contextMenuEvent(QContextMenuEvent *event)
{
    // From the keyboard the menu is the selected card's, wherever the pointer rests.
    if (event->reason() == QContextMenuEvent::Keyboard) {
        if (const int index = selectedCardIndex(); index >= 0)
            showCardMenu(index);
        return;
    }
    ChartNavigationSurface::contextMenuEvent(event);
}

void CardChartSurface::selectToward(int key)
{
    const auto frameOf = [this](int index) { return selectableFrame(index); };
    const int from = selectedCardIndex();
    const int to = from >= 0 ? neighbourCard(cardCount(), frameOf, from, key) : startingCardIndex();
    const std::optional<Rect> frame = to < 0 ? std::nullopt : frameOf(to);
    if (!frame)
        return;
    const bool outOfSight = !rect().contains(viewRect(*frame));
    selectCard(to);
    // Brought into sight when it is not, as the selection from the people list is.
    if (outOfSight)
        revealCard(to);
    if (QAccessible::isActive()) {
        QAccessibleEvent focus(this, QAccessible::Focus);
        focus.setChild(to);
        QAccessible::updateAccessibility(&focus);
    }
}

void CardChartSurface::showCallout(const ReportingCallout &callout, bool hideNames, const Rect &badge, Opened opened)
{
    QRect shown = viewRect(badge).intersected(rect());
    if (shown.isEmpty())
        shown = QRect(rect().center(), QSize(1, 1));
    const QRect anchor(mapToGlobal(shown.topLeft()), shown.size());
    QFrame *details = ReportingCalloutView::showDetails(callout, hideNames, anchor, this);
    if (opened != Opened::byKeys)
        return;
    if (auto *list = details->findChild<QLabel *>(QStringLiteral("details")))
        list->setFocus(Qt::PopupFocusReason);
}
