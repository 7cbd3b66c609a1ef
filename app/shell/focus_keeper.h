#pragma once

class QWidget;

// Qt hands the keyboard focus of a control that is disabled or hidden to the next control
// in Tab order: a screen reader announces that control, and the next Space presses it.
// These keep the focus where the user was instead.
namespace FocusKeeper {

// Enables or disables `control`. Disabled while it holds its window's focus, it leaves the
// window without a focused control rather than handing the focus on (the window itself takes
// it when it is activated meanwhile); enabled again, it takes the focus back, unless the user
// has put it elsewhere meanwhile.
void setEnabled(QWidget *control, bool enabled);
// As above, but a control disabled for good while it has the focus (an action done, such as
// Make Vacant on a vacancy) hands it to `instead` where that is enabled and shown, rather than
// to the next control, which may be a destructive one.
void setEnabled(QWidget *control, bool enabled, QWidget *instead);

// Shows `arriving` and hides `leaving`, which it replaces on screen: a focus inside
// `leaving` moves to `arriving` when it takes the focus itself, else to its first control.
void replace(QWidget *leaving, QWidget *arriving);

} // namespace FocusKeeper
