#pragma once

#include <QString>

class QEvent;
class QLabel;
class QPushButton;
class QRect;
class QWidget;

// Pieces the entry sheets share, so that their headings, buttons and clickable cells look
// and behave alike.
namespace EntrySheetParts {

// The sheet's heading: larger and bold.
QLabel *title(const QString &text, QWidget *parent);
// Explanations and counts in the secondary style.
QLabel *secondaryLabel(const QString &text, QWidget *parent);

enum class ButtonStyle { plain, prominent };
// A button that Return never presses: in these sheets Return belongs to the fields.
QPushButton *button(const QString &title, QWidget *parent, ButtonStyle style = ButtonStyle::plain);

// Whether an item view event acts on a checkbox or button cell: a left click released inside
// the cell, or Space.
bool activatesCell(const QEvent *event, const QRect &cell);

} // namespace EntrySheetParts
