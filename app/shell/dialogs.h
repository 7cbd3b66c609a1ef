#pragma once

#include <QString>

#include <optional>

// The answer to "save the changes before closing?".
enum class SaveAnswer { save, discard, cancel };

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
    // Save, Don't Save or Cancel for one document with unsaved changes.
    virtual SaveAnswer askToSave(const QString &title, const QString &documentName) = 0;
};
