#pragma once

#include <QComboBox>
#include <QStringList>

class QStringListModel;

// An editable text field that completes typed text from its suggestions and offers them in
// a drop-down of at most ten items. The caller owns the text: it pushes its value with
// setText() and learns of the user's edits through textEdited(); its own pushes are never
// echoed back. Typed text is never added to the suggestions. Escape is left to the window
// (its cancel action), as in a plain text field.
class EntryAutocomplete : public QComboBox {
    Q_OBJECT

public:
    explicit EntryAutocomplete(QWidget *parent = nullptr);

    QString text() const { return currentText(); }
    // The caller's value; changes the field only when it differs, and emits nothing.
    void setText(const QString &text);

    // The suggestions in the order shown; empty strings are skipped. The list is replaced
    // only when it differs from the one shown, so an open drop-down is not disturbed.
    void setOptions(const QStringList &options);
    QStringList options() const;

signals:
    // The user changed the text: by typing, completion or picking a suggestion.
    void textEdited(const QString &text);
    // Return ended the editing; emitted once, on the next turn of the event loop, after the
    // text was written. Tab and clicks elsewhere only write the text.
    void submitted();

protected:
    void keyPressEvent(QKeyEvent *event) override;

private:
    QStringListModel *m_items;
    bool m_submitPending = false;
};
