#pragma once

#include "app/shell/dialogs.h"

#include <memory>

class QAbstractButton;
class QDialog;
class QFileDialog;
class QMessageBox;
class QWidget;

// Dialogs shown with QMessageBox, QInputDialog and QFileDialog over the active window.
class WidgetDialogs final : public Dialogs {
public:
    bool confirm(const QString &question) override;
    void alert(const QString &title, const QString &message) override;
    std::optional<QString> askText(const QString &title, const QString &label, const QString &text) override;
    std::optional<QString> fileToOpen(const QString &filter) override;
    std::optional<QString> fileToSave(const QString &filter, const QString &proposedPath) override;
    std::optional<QString> fileToSaveUnconfirmed(const QString &filter, const QString &proposedPath) override;
    std::optional<QString> fileToSaveWithMessage(const QString &title, const QString &message, const QString &filter,
                                                 const QString &proposedPath) override;
    SaveAnswer askToSave(const QString &title, const QString &documentName) override;
    int ask(const QString &title, const QString &message, const QList<DialogButton> &buttons,
            DialogButton::Role defaultRole) override;
    std::optional<QString> askTextWithMessage(const QString &title, const QString &message, const QString &label,
                                              const QString &text, const QString &button) override;
    std::optional<QString> folderToChoose(const QString &title, const QString &prompt, const QString &button) override;

    // Runs `dialog` as a modal question over the window that asks it (its parent) and, once
    // it closes, gives that window the keyboard back, on the control that had it, where Qt
    // would leave it with none. Returns the dialog's result.
    static int runModal(QDialog &dialog);
    // The boxes that confirm(), askToSave() and ask() run, built whole, so that the button
    // Return presses and the one Escape presses can be tried on them without running them.
    static std::unique_ptr<QMessageBox> confirmBox(const QString &question, QWidget *parent = nullptr);
    static std::unique_ptr<QMessageBox> saveBox(const QString &title, const QString &documentName,
                                                QWidget *parent = nullptr);
    // A question's buttons are shown in the order given (mirrored where the platform reads
    // buttons right to left), with Escape on the cancel button, or on the last one when none
    // has that role, and Return on the first of `defaultRole`; `made` gets them in that order.
    static std::unique_ptr<QMessageBox> questionBox(const QString &title, const QString &message,
                                                    const QList<DialogButton> &buttons,
                                                    DialogButton::Role defaultRole, QList<QAbstractButton *> &made,
                                                    QWidget *parent = nullptr);
    // The open panel for `filter` (";;" between filters). It lists each filter by its name
    // alone: patterns such as "*.[cC][sS][vV]" are for matching, not for reading.
    static std::unique_ptr<QFileDialog> openPanel(const QString &filter, QWidget *parent = nullptr);
    // Qt's own save panel greys out Save, without a word, while the typed name is longer than
    // a folder takes; this puts the reason under the name. A native panel has its own ways.
    static void explainLongFileNames(QFileDialog &dialog);
    // The question askTextWithMessage runs: `message` over one text field holding `text`, and
    // the buttons `button` and Cancel.
    static std::unique_ptr<QDialog> textQuestion(const QString &title, const QString &message, const QString &label,
                                                 const QString &text, const QString &button, QWidget *parent = nullptr);
};
