#pragma once

#include <functional>

class QLineEdit;
class QObject;

namespace FieldStep {

// For a field whose typing reaches the document as it is typed, merged into one undo step:
// when the edit is committed (Return, or the focus leaving the field) `closeStep` ends that
// step and the field forgets its own undo history. Ctrl+Z in the field stays in the field,
// and after a commit it cannot bring back a text from before the step as a change of its own.
// The connection ends with `context`.
void closeOnCommit(QLineEdit *field, QObject *context, std::function<void()> closeStep);

} // namespace FieldStep
