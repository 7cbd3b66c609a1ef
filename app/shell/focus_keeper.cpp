#include "app/shell/focus_keeper.h"

#include <QVariant>
#include <QWidget>

namespace {

// Set on a control disabled while it held the focus, until it is enabled again.
constexpr const char *heldFocus = "vantrelHeldFocus";

bool holdsFocus(const QWidget *area)
{
    const QWidget *focus = area->window()->focusWidget();
    return focus && (focus == area || area->isAncestorOf(focus));
}

// `area` when it takes the focus itself, else the first control inside it that Tab reaches.
QWidget *focusTarget(QWidget *area)
{
    if (area->focusPolicy() & Qt::TabFocus)
        return area;
    for (QWidget *next = area->nextInFocusChain(); next && next != area; next = next->nextInFocusChain()) {
        if (area->isAncestorOf(next) && next->isVisibleTo(area) && next->isEnabled() && !next->focusProxy()
            && (next->focusPolicy() & Qt::TabFocus))
            return next;
    }
    return nullptr;
}

} // namespace

namespace FocusKeeper {

void setEnabled(QWidget *control, bool enabled)
{
    if (!enabled && control->isEnabled() && holdsFocus(control)) {
        // Works for a window that is not active too (a confirmation just closed over it):
        // it then has nothing to restore when it is activated again.
        control->clearFocus();
        control->setProperty(heldFocus, true);
    }
    control->setEnabled(enabled);
    if (!enabled || !control->property(heldFocus).toBool())
        return;
    control->setProperty(heldFocus, QVariant());
    if (!control->window()->focusWidget() && control->isVisible())
        control->setFocus(Qt::OtherFocusReason);
}

void setEnabled(QWidget *control, bool enabled, QWidget *instead)
{
    const bool handing = !enabled && control->isEnabled() && holdsFocus(control) && instead && instead != control
                         && instead->isEnabled() && instead->isVisibleTo(control->window());
    setEnabled(control, enabled);
    if (!handing)
        return;
    control->setProperty(heldFocus, QVariant());
    instead->setFocus(Qt::OtherFocusReason);
}

void replace(QWidget *leaving, QWidget *arriving)
{
    const bool moving = leaving->isVisible() && holdsFocus(leaving);
    // Let go first, so that Qt has no focus to hand on as `leaving` hides; hidden before
    // `arriving` shows, so that it is laid out in the room it will have.
    if (moving)
        leaving->window()->focusWidget()->clearFocus();
    leaving->hide();
    arriving->show();
    if (QWidget *target = moving ? focusTarget(arriving) : nullptr)
        target->setFocus(Qt::OtherFocusReason);
}

} // namespace FocusKeeper
