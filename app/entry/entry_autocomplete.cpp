#include "app/entry/entry_autocomplete.h"

#include "app/shell/accessible_fields.h"
#include <QCompleter>
#include <QKeyEvent>
#include <QLineEdit>
#include <QSignalBlocker>
#include <QStringListModel>
#include <QTimer>

EntryAutocomplete::EntryAutocomplete(QWidget *parent)
    : QComboBox(parent)
    , m_items(new QStringListModel(this))
{
    AccessibleFields::install();
    setEditable(true);
    setInsertPolicy(QComboBox::NoInsert);
    setMaxVisibleItems(10);
    setModel(m_items);
    auto *completer = new QCompleter(m_items, this);
    completer->setCaseSensitivity(Qt::CaseInsensitive);
    completer->setCompletionMode(QCompleter::InlineCompletion);
    setCompleter(completer);

    // Pushes from the caller block this object's signals, so only the user's edits get here.
    connect(this, &QComboBox::currentTextChanged, this, &EntryAutocomplete::textEdited);
    // The completer hands Return to the line edit a second time: one submit per turn.
    connect(lineEdit(), &QLineEdit::returnPressed, this, [this] {
        if (m_submitPending)
            return;
        m_submitPending = true;
        QTimer::singleShot(0, this, [this] {
            m_submitPending = false;
            emit submitted();
        });
    });
}

void EntryAutocomplete::setText(const QString &text)
{
    if (currentText() == text)
        return;
    const QSignalBlocker blocker(this);
    setEditText(text);
}

void EntryAutocomplete::setOptions(const QStringList &options)
{
    QStringList shown;
    shown.reserve(options.size());
    for (const QString &option : options) {
        if (!option.isEmpty())
            shown.append(option);
    }
    if (shown == m_items->stringList())
        return;
    // Resetting the items clears the edit text; the caller's text stays.
    const QSignalBlocker blocker(this);
    const QString text = currentText();
    m_items->setStringList(shown);
    setCurrentIndex(-1);
    setEditText(text);
}

QStringList EntryAutocomplete::options() const
{
    return m_items->stringList();
}

void EntryAutocomplete::keyPressEvent(QKeyEvent *event)
{
    // An editable combo box keeps Escape to itself; an open drop-down gets it before this.
    if (event->matches(QKeySequence::Cancel)) {
        event->ignore();
        return;
    }
    QComboBox::keyPressEvent(event);
}
