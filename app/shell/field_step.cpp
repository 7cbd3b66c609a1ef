#include "app/shell/field_step.h"

#include <QFocusEvent>
#include <QLineEdit>
#include <QSignalBlocker>

#include <limits>
#include <utility>

namespace {

// A field the focus leaves for another control reads from its start again: Tab into it
// selects the whole text with the cursor at its end, and a text wider than the field would
// go on showing its last letters. A menu or another window taking the focus leaves the
// cursor where the user will go on typing.
class StartOnLeaving : public QObject {
public:
    using QObject::QObject;

    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() != QEvent::FocusOut)
            return false;
        const Qt::FocusReason reason = static_cast<QFocusEvent *>(event)->reason();
        if (reason != Qt::ActiveWindowFocusReason && reason != Qt::PopupFocusReason)
            static_cast<QLineEdit *>(watched)->setCursorPosition(0);
        return false;
    }
};

} // namespace

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
    field->installEventFilter(new StartOnLeaving(field));
}

void FieldStep::holdAnyLength(QLineEdit *field)
{
    // Setting the limit sets the text again: only once.
    if (field->maxLength() != std::numeric_limits<int>::max())
        field->setMaxLength(std::numeric_limits<int>::max());
}

void FieldStep::showText(QLineEdit *field, const QString &text)
{
    holdAnyLength(field);
    if (field->text() == text)
        return;
    {
        const QSignalBlocker blocker(field);
        field->setText(text);
    }
    if (!field->hasFocus())
        field->setCursorPosition(0);
}
