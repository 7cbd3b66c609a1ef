#pragma once

#include <functional>

class QLineEdit;
class QObject;
class QString;

namespace FieldStep {

// For a field whose typing reaches the document as it is typed, merged into one undo step:
// when the edit is committed (Return, or the focus leaving the field) `closeStep` ends that
// step and the field forgets its own undo history. Ctrl+Z in the field stays in the field,
// and after a commit it cannot bring back a text from before the step as a change of its own.
// Left for another control, the field reads from its start again.
// The connection ends with `context`.
void closeOnCommit(QLineEdit *field, QObject *context, std::function<void()> closeStep);

// Lets `field` hold a text of any length, as the document's texts are: a line edit otherwise
// cuts what it is given to 32,767 characters, and the cut text would go back as an edit.
void holdAnyLength(QLineEdit *field);

// Shows the document's `text` in a field whose typing reaches the document: whole, without
// reporting it as typed, and from its start unless the user is in the field, so that a text
// wider than the field reads from its beginning. The caller decides whether the user's
// typing may be replaced.
void showText(QLineEdit *field, const QString &text);

} // namespace FieldStep
