#include "app/shell/widget_dialogs.h"

#include "app/shell/accessible_fields.h"

#include <QApplication>
#include <QFileDialog>
#include <QGridLayout>
#include <QDialogButtonBox>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>
#include <QMessageBox>
#include <QRegularExpression>

#include <cassert>

static QWidget *dialogParent()
{
    return QApplication::activeWindow();
}

// Under the file list of Qt's own (not native) file panel.
static void addExplanation(QFileDialog &dialog, const QString &text)
{
    if (auto *grid = qobject_cast<QGridLayout *>(dialog.layout())) {
        auto *explanation = new QLabel(text);
        explanation->setWordWrap(true);
        grid->addWidget(explanation, grid->rowCount(), 0, 1, -1);
    }
}

bool WidgetDialogs::confirm(const QString &question)
{
    return QMessageBox::question(dialogParent(), QApplication::applicationDisplayName(), question,
                                 QMessageBox::Ok | QMessageBox::Cancel, QMessageBox::Cancel)
        == QMessageBox::Ok;
}

void WidgetDialogs::alert(const QString &title, const QString &message)
{
    QMessageBox box(QMessageBox::Warning, title, title, QMessageBox::Ok, dialogParent());
    box.setInformativeText(message);
    box.exec();
}

std::optional<QString> WidgetDialogs::askText(const QString &title, const QString &label, const QString &text)
{
    bool accepted = false;
    QString answer = QInputDialog::getText(dialogParent(), title, label, QLineEdit::Normal, text, &accepted);
    if (!accepted)
        return std::nullopt;
    return answer;
}

std::unique_ptr<QFileDialog> WidgetDialogs::openPanel(const QString &filter, QWidget *parent)
{
    auto dialog = std::make_unique<QFileDialog>(parent, QString(), QString(), filter);
    dialog->setAcceptMode(QFileDialog::AcceptOpen);
    dialog->setFileMode(QFileDialog::ExistingFile);
    dialog->setOption(QFileDialog::HideNameFilterDetails);
    return dialog;
}

std::optional<QString> WidgetDialogs::fileToOpen(const QString &filter)
{
    const std::unique_ptr<QFileDialog> dialog = openPanel(filter, dialogParent());
    if (dialog->exec() != QDialog::Accepted || dialog->selectedFiles().isEmpty())
        return std::nullopt;
    return dialog->selectedFiles().constFirst();
}

// Who asks before an existing file is replaced: the panel, about the name typed, or the
// caller, about the file it really writes.
enum class ReplaceQuestion { panel, caller };

// Qt's own panel when there is an explanation: it can stand under the file list.
static std::optional<QString> runSavePanel(const QString &title, const QString &message, const QString &filter,
                                           const QString &proposedPath, ReplaceQuestion replace = ReplaceQuestion::panel)
{
    QFileDialog dialog(dialogParent(), title, proposedPath, filter);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setOption(QFileDialog::DontConfirmOverwrite, replace == ReplaceQuestion::caller);
    // A name typed without an extension still gets the filter's first one (an organization
    // becomes a JSON file the open panel lists, a workbook an .xlsx file).
    const QRegularExpressionMatch extension = QRegularExpression(R"(\*\.(\w+))").match(filter);
    dialog.setDefaultSuffix(extension.hasMatch() ? extension.captured(1) : QString());
    if (!message.isEmpty()) {
        dialog.setOption(QFileDialog::DontUseNativeDialog);
        addExplanation(dialog, message);
    }
    dialog.selectFile(proposedPath);
    WidgetDialogs::explainLongFileNames(dialog);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return std::nullopt;
    return dialog.selectedFiles().constFirst();
}

std::optional<QString> WidgetDialogs::fileToSave(const QString &filter, const QString &proposedPath)
{
    return runSavePanel(QString(), QString(), filter, proposedPath);
}

std::optional<QString> WidgetDialogs::fileToSaveUnconfirmed(const QString &filter, const QString &proposedPath)
{
    return runSavePanel(QString(), QString(), filter, proposedPath, ReplaceQuestion::caller);
}

std::optional<QString> WidgetDialogs::fileToSaveWithMessage(const QString &title, const QString &message,
                                                            const QString &filter, const QString &proposedPath)
{
    return runSavePanel(title, message, filter, proposedPath);
}

void WidgetDialogs::explainLongFileNames(QFileDialog &dialog)
{
    auto *name = dialog.findChild<QLineEdit *>(QStringLiteral("fileNameEdit"));
    auto *grid = qobject_cast<QGridLayout *>(dialog.layout());
    if (!name || !grid)
        return;
    // Linux takes 255 bytes of UTF-8; Qt counts the characters against the same 255.
    const int longest = 255;
    auto *note = new QLabel(QStringLiteral("This name is too long to save: a file name can have at most 255 bytes "
                                           "(255 letters, fewer with accents or symbols)."));
    note->setObjectName(QStringLiteral("longNameNote"));
    note->setWordWrap(true);
    grid->addWidget(note, grid->rowCount(), 0, 1, grid->columnCount());
    const auto explain = [note, name] {
        const QString typed = name->text().section(QLatin1Char('/'), -1);
        note->setVisible(typed.size() > longest || typed.toUtf8().size() > longest);
    };
    QObject::connect(name, &QLineEdit::textChanged, note, explain);
    explain();
}

SaveAnswer WidgetDialogs::askToSave(const QString &title, const QString &documentName)
{
    QMessageBox box(QMessageBox::Warning, title,
                    QString("Do you want to save the changes made to the document “%1”?").arg(documentName),
                    QMessageBox::Save | QMessageBox::Discard | QMessageBox::Cancel, dialogParent());
    box.setInformativeText("Your changes will be lost if you don't save them.");
    box.setDefaultButton(QMessageBox::Save);
    switch (box.exec()) {
    case QMessageBox::Save: return SaveAnswer::save;
    case QMessageBox::Discard: return SaveAnswer::discard;
    default: return SaveAnswer::cancel;
    }
}

QList<QAbstractButton *> WidgetDialogs::addQuestionButtons(QMessageBox &box, const QList<DialogButton> &buttons,
                                                          DialogButton::Role defaultRole)
{
    QList<QAbstractButton *> made;
    int cancelIndex = buttons.size() - 1;
    int defaultIndex = -1;
    for (int i = 0; i < buttons.size(); ++i) {
        const DialogButton &button = buttons[i];
        if (button.role == DialogButton::Role::cancel)
            cancelIndex = i;
        if (defaultIndex < 0 && button.role == defaultRole)
            defaultIndex = i;
        // One role for all: the platform's layout sorts buttons by role, which would move
        // "Later" out from between "Download & Install…" and "Skip This Version". Escape,
        // the default and the answer are set here, not read from the roles.
        // Titles are plain text: "Download & Install…" must not turn "&" into a mnemonic.
        made.append(box.addButton(QString(button.title).replace('&', QLatin1String("&&")), QMessageBox::ActionRole));
    }
    if (cancelIndex >= 0)
        box.setEscapeButton(made[cancelIndex]);
    // Without one, the first button added would be the default, destructive or not.
    if (defaultIndex >= 0)
        box.setDefaultButton(qobject_cast<QPushButton *>(made[defaultIndex]));
    return made;
}

int WidgetDialogs::ask(const QString &title, const QString &message, const QList<DialogButton> &buttons,
                       DialogButton::Role defaultRole)
{
    assert(defaultRole != DialogButton::Role::destructive && "Return must not choose a destructive button");
    QMessageBox box(QMessageBox::Warning, title, title, QMessageBox::NoButton, dialogParent());
    box.setInformativeText(message);
    const QList<QAbstractButton *> made = addQuestionButtons(box, buttons, defaultRole);
    const int cancelIndex = int(made.indexOf(box.escapeButton()));
    box.exec();
    const int chosen = int(made.indexOf(box.clickedButton()));
    return chosen >= 0 ? chosen : cancelIndex;
}

std::optional<QString> WidgetDialogs::askTextWithMessage(const QString &title, const QString &message,
                                                         const QString &label, const QString &text,
                                                         const QString &button)
{
    QDialog dialog(dialogParent());
    dialog.setWindowTitle(title);
    auto *layout = new QVBoxLayout(&dialog);
    auto *messageLabel = new QLabel(message);
    messageLabel->setWordWrap(true);
    layout->addWidget(messageLabel);
    auto *field = new QLineEdit(text);
    if (!label.isEmpty()) {
        auto *fieldLabel = new QLabel(label);
        layout->addWidget(fieldLabel);
        AccessibleFields::tie(fieldLabel, field);
    } else {
        AccessibleFields::name(field, title);
    }
    layout->addWidget(field);
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    buttons->button(QDialogButtonBox::Ok)->setText(button);
    layout->addWidget(buttons);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    if (dialog.exec() != QDialog::Accepted)
        return std::nullopt;
    return field->text();
}

std::optional<QString> WidgetDialogs::folderToChoose(const QString &title, const QString &prompt, const QString &button)
{
    QFileDialog dialog(dialogParent(), title);
    dialog.setFileMode(QFileDialog::Directory);
    dialog.setOption(QFileDialog::ShowDirsOnly);
    // Qt's own panel, so that the explanation can stand under the folder list.
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setLabelText(QFileDialog::Accept, button);
    addExplanation(dialog, prompt);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return std::nullopt;
    return dialog.selectedFiles().constFirst();
}
