#pragma once

#include <QList>
#include <QString>

#include <optional>

// The answer to "save the changes before closing?".
enum class SaveAnswer { save, discard, cancel };

// One button of a general question. A destructive action is drawn as such; the cancel
// button is what Escape and closing the box choose. An answer that closes the window the
// question is asked over takes that window away with the question, so that it does not
// take the keyboard back (heard by a screen reader) on its way out.
struct DialogButton {
    enum class Role { action, destructive, cancel };
    QString title;
    Role role = Role::action;
    bool closesWindow = false;
};

// Every question the application asks the user goes through here, so that controllers
// can be driven headless with scripted answers.
class Dialogs {
public:
    virtual ~Dialogs() = default;

    virtual bool confirm(const QString &question) = 0;
    virtual void alert(const QString &title, const QString &message) = 0;
    // Nothing when the user cancels.
    virtual std::optional<QString> askText(const QString &title, const QString &label, const QString &text) = 0;
    // `filter` in QFileDialog form, e.g. "Organization (*.json)". Nothing when cancelled.
    virtual std::optional<QString> fileToOpen(const QString &filter) = 0;
    virtual std::optional<QString> fileToSave(const QString &filter, const QString &proposedPath) = 0;
    // As fileToSave, but the panel does not ask about replacing an existing file: for a caller
    // that completes the chosen name itself and must ask about the file it will write.
    virtual std::optional<QString> fileToSaveUnconfirmed(const QString &filter, const QString &proposedPath) = 0;
    // A save panel with its own title and an explanation of what is saved. A folder in
    // `proposedPath` is where the panel opens.
    virtual std::optional<QString> fileToSaveWithMessage(const QString &title, const QString &message,
                                                         const QString &filter, const QString &proposedPath) = 0;
    // Save, Don't Save or Cancel for one document with unsaved changes.
    virtual SaveAnswer askToSave(const QString &title, const QString &documentName) = 0;

    // A question with its own buttons; the index of the one chosen. Return chooses the first
    // button of `defaultRole`, Escape the cancel button (the last button when none has that
    // role). A destructive button is never the default: Return must not throw work away.
    virtual int ask(const QString &title, const QString &message, const QList<DialogButton> &buttons,
                    DialogButton::Role defaultRole) = 0;
    // A line of text asked with an explanation above the field; `button` names what the
    // answer does ("Create", "Rename"). Nothing when cancelled.
    virtual std::optional<QString> askTextWithMessage(const QString &title, const QString &message,
                                                      const QString &label, const QString &text,
                                                      const QString &button) = 0;
    // A folder to write into; `prompt` is the panel's explanation and `button` its action.
    virtual std::optional<QString> folderToChoose(const QString &title, const QString &prompt,
                                                  const QString &button) = 0;
};
