#include "app/shell/field_step.h"

#include <QLineEdit>
#include <QSignalBlocker>

#include <utility>

void FieldStep::closeOnCommit(QLineEdit *field, QObject *context, std::function<void()> closeStep)
{
    QObject::connect(field, &QLineEdit::editingFinished, context, [field, closeStep = std::move(closeStep)] {
        closeStep();
        // Setting the text clears the field's undo history; text and cursor stay.
        const int cursor = field->cursorPosition();
        const QSignalBlocker blocker(field);
        field->setText(field->text());
        field->setCursorPosition(cursor);
    });
}
