#pragma once

class QDialog;
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

// Qt can leave a window without the keyboard when a question or a sheet over it closes: with
// no desktop to hand the focus back it goes nowhere; a desktop may still be handing it to the
// window just closed (a question over a sheet hands it back to the sheet, which then closes
// at once); and a popup of the question still open keeps Qt's widgets from taking in the
// focus the desktop hands back. The window then looks active, or not, but keys do nothing.
// These hand the keyboard back: `window` is activated where it is not active, and `control`
// takes the focus where the window has none of its own.
void giveKeyboardBack(QWidget *window, QWidget *control);
// Every time `sheet` closes, the keyboard goes back to the window it was opened over and to
// the control that had that window's focus when this was called (the one that opened it).
// Before the sheet shows.
void giveKeyboardBackOnClose(QDialog *sheet);

} // namespace FocusKeeper
