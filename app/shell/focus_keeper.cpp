#include "app/shell/focus_keeper.h"

#include <QApplication>
#include <QDialog>
#include <QEvent>
#include <QPointer>
#include <QWidget>
#include <QWindow>

namespace {

// A child of a control disabled while it held the focus, until it is enabled again. The
// window has no focused control meanwhile, and its activation (the desktop handing it back
// as a question over it closes) would give the focus to the first control in Tab order,
// which the next Space presses: the window itself takes it then, which presses nothing.
class HeldFocus final : public QObject {
public:
    explicit HeldFocus(QWidget *control) : QObject(control) { control->window()->installEventFilter(this); }

    static HeldFocus *of(const QWidget *control)
    {
        // Not findChild: without a meta-object of its own, that would take any child for one.
        for (QObject *child : control->children()) {
            if (auto *held = dynamic_cast<HeldFocus *>(child))
                return held;
        }
        return nullptr;
    }

    bool eventFilter(QObject *watched, QEvent *event) override
    {
        // Sent before Qt looks for the control to focus in the window it activates.
        auto *window = qobject_cast<QWidget *>(watched);
        if (event->type() == QEvent::WindowActivate && window && !window->focusWidget())
            window->setFocus(Qt::ActiveWindowFocusReason);
        return false;
    }
};

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
    if (!enabled && control->isEnabled() && holdsFocus(control) && !HeldFocus::of(control)) {
        // Works for a window that is not active too (a confirmation just closed over it):
        // it then has nothing to restore when it is activated again.
        control->clearFocus();
        new HeldFocus(control);
    }
    control->setEnabled(enabled);
    HeldFocus *held = enabled ? HeldFocus::of(control) : nullptr;
    if (!held)
        return;
    delete held;
    // The window's own focus is what an activation gave it, not a place the user chose.
    QWidget *focus = control->window()->focusWidget();
    if ((!focus || focus == control->window()) && control->isVisible())
        control->setFocus(Qt::OtherFocusReason);
}

void setEnabled(QWidget *control, bool enabled, QWidget *instead)
{
    const bool handing = !enabled && control->isEnabled() && holdsFocus(control) && instead && instead != control
                         && instead->isEnabled() && instead->isVisibleTo(control->window());
    setEnabled(control, enabled);
    if (!handing)
        return;
    delete HeldFocus::of(control);
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

void giveKeyboardBack(QWidget *window, QWidget *control)
{
    // The question or sheet is gone, and with it whatever it had open (bounded: a popup that
    // refuses to close must not hang the application).
    for (int open = 0; open < 8 && QApplication::activePopupWidget(); ++open)
        QApplication::activePopupWidget()->close();
    if (!window || !window->isVisible())
        return;
    if (QApplication::activeWindow() != window) {
        if (window->windowHandle() && QGuiApplication::focusWindow() == window->windowHandle()) {
            // The window system has it active already: only the widgets are to follow, which
            // activateWindow() would not ask for again.
            QT_WARNING_PUSH
            QT_WARNING_DISABLE_DEPRECATED
            QApplication::setActiveWindow(window);
            QT_WARNING_POP
        } else {
            window->activateWindow();
        }
    }
    if (control && !window->focusWidget() && control->window() == window && control->isVisible()
        && control->isEnabled())
        control->setFocus(Qt::OtherFocusReason);
}

void giveKeyboardBackOnClose(QDialog *sheet)
{
    QWidget *owner = sheet->parentWidget() ? sheet->parentWidget()->window() : nullptr;
    if (!owner)
        return;
    const QPointer<QWidget> window = owner;
    const QPointer<QWidget> control = owner->focusWidget();
    // After the sheet has hidden: the window is asked for after the sheet's last request.
    QObject::connect(sheet, &QDialog::finished, owner, [window, control] { giveKeyboardBack(window, control); });
}

} // namespace FocusKeeper
