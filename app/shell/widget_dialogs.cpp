#include "app/shell/widget_dialogs.h"

#include "app/shell/accessible_fields.h"
#include "app/shell/field_step.h"
#include "app/shell/focus_keeper.h"

#include <QApplication>
#include <QComboBox>
#include <QFileDialog>
#include <QGridLayout>
#include <QDialogButtonBox>
#include <QEvent>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>
#include <QMessageBox>
#include <QPointer>
#include <QRegularExpression>
#include <QWindow>

#include <cassert>
#include <utility>

static QWidget *dialogParent()
{
    return QApplication::activeWindow();
}

namespace {

// Qt's file panel shows "Look in:" and "Files of type:" beside its combo boxes without tying
// them, and a screen reader would hear two nameless combo boxes. The panel builds them only
// as it shows (where no native panel takes its place).
class FileFieldNames final : public QObject {
public:
    using QObject::QObject;

    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() != QEvent::Show)
            return false;
        for (const auto &[label, field] : {std::pair{"lookInLabel", "lookInCombo"}, std::pair{"fileTypeLabel", "fileTypeCombo"}}) {
            auto *shown = watched->findChild<QLabel *>(QLatin1String(label));
            auto *combo = watched->findChild<QComboBox *>(QLatin1String(field));
            if (shown && combo)
                AccessibleFields::tie(shown, combo);
        }
        return false;
    }
};

} // namespace

static void nameFields(QFileDialog &dialog)
{
    dialog.installEventFilter(new FileFieldNames(&dialog));
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

int WidgetDialogs::runModal(QDialog &dialog)
{
    const QPointer<QWidget> asker = dialog.parentWidget() ? dialog.parentWidget()->window() : nullptr;
    const QPointer<QWidget> focus = asker ? asker->focusWidget() : nullptr;
    const int result = dialog.exec();
    FocusKeeper::giveKeyboardBack(asker, focus);
    return result;
}

std::unique_ptr<QMessageBox> WidgetDialogs::confirmBox(const QString &question, QWidget *parent)
{
    auto box = std::make_unique<QMessageBox>(QMessageBox::Question, QApplication::applicationDisplayName(), question,
                                             QMessageBox::Ok | QMessageBox::Cancel, parent);
    // What is confirmed replaces or removes something: Return must not do it unread.
    box->setDefaultButton(QMessageBox::Cancel);
    box->setEscapeButton(QMessageBox::Cancel);
    return box;
}

bool WidgetDialogs::confirm(const QString &question)
{
    const std::unique_ptr<QMessageBox> box = confirmBox(question, dialogParent());
    return runModal(*box) == QMessageBox::Ok;
}

void WidgetDialogs::alert(const QString &title, const QString &message)
{
    QMessageBox box(QMessageBox::Warning, title, title, QMessageBox::Ok, dialogParent());
    box.setInformativeText(message);
    runModal(box);
}

std::optional<QString> WidgetDialogs::askText(const QString &title, const QString &label, const QString &text)
{
    QInputDialog dialog(dialogParent());
    dialog.setWindowTitle(title);
    dialog.setLabelText(label);
    dialog.setTextValue(text);
    if (runModal(dialog) != QDialog::Accepted)
        return std::nullopt;
    return dialog.textValue();
}

std::unique_ptr<QFileDialog> WidgetDialogs::openPanel(const QString &filter, QWidget *parent)
{
    auto dialog = std::make_unique<QFileDialog>(parent, QString(), QString(), filter);
    dialog->setAcceptMode(QFileDialog::AcceptOpen);
    dialog->setFileMode(QFileDialog::ExistingFile);
    dialog->setOption(QFileDialog::HideNameFilterDetails);
    nameFields(*dialog);
    return dialog;
}

std::optional<QString> WidgetDialogs::fileToOpen(const QString &filter)
{
    const std::unique_ptr<QFileDialog> dialog = openPanel(filter, dialogParent());
    if (runModal(*dialog) != QDialog::Accepted || dialog->selectedFiles().isEmpty())
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
    nameFields(dialog);
    if (WidgetDialogs::runModal(dialog) != QDialog::Accepted || dialog.selectedFiles().isEmpty())
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

std::unique_ptr<QMessageBox> WidgetDialogs::saveBox(const QString &title, const QString &documentName,
                                                    QWidget *parent)
{
    auto box = std::make_unique<QMessageBox>(
        QMessageBox::Warning, title, QString("Do you want to save the changes made to the document “%1”?").arg(documentName),
        QMessageBox::Save | QMessageBox::Discard | QMessageBox::Cancel, parent);
    box->setInformativeText("Your changes will be lost if you don't save them.");
    box->setDefaultButton(QMessageBox::Save);
    box->setEscapeButton(QMessageBox::Cancel);
    return box;
}

SaveAnswer WidgetDialogs::askToSave(const QString &title, const QString &documentName)
{
    const std::unique_ptr<QMessageBox> box = saveBox(title, documentName, dialogParent());
    switch (runModal(*box)) {
    case QMessageBox::Save: return SaveAnswer::save;
    case QMessageBox::Discard: return SaveAnswer::discard;
    default: return SaveAnswer::cancel;
    }
}

static QList<QAbstractButton *> addQuestionButtons(QMessageBox &box, const QList<DialogButton> &buttons,
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

std::unique_ptr<QMessageBox> WidgetDialogs::questionBox(const QString &title, const QString &message,
                                                        const QList<DialogButton> &buttons,
                                                        DialogButton::Role defaultRole, QList<QAbstractButton *> &made,
                                                        QWidget *parent)
{
    assert(defaultRole != DialogButton::Role::destructive && "Return must not choose a destructive button");
    auto box = std::make_unique<QMessageBox>(QMessageBox::Warning, title, title, QMessageBox::NoButton, parent);
    box->setInformativeText(message);
    made = addQuestionButtons(*box, buttons, defaultRole);
    return box;
}

int WidgetDialogs::ask(const QString &title, const QString &message, const QList<DialogButton> &buttons,
                       DialogButton::Role defaultRole)
{
    QList<QAbstractButton *> made;
    const std::unique_ptr<QMessageBox> box = questionBox(title, message, buttons, defaultRole, made, dialogParent());
    const int cancelIndex = int(made.indexOf(box->escapeButton()));
    // Before the question hides: the window under it would take the keyboard back meanwhile
    // and announce its focused control on its way out.
    QWidget *asker = box->parentWidget() ? box->parentWidget()->window() : nullptr;
    QObject::connect(box.get(), &QMessageBox::buttonClicked, box.get(), [&made, &buttons, asker](QAbstractButton *clicked) {
        const qsizetype index = made.indexOf(clicked);
        if (index >= 0 && buttons[index].closesWindow && qobject_cast<QDialog *>(asker))
            asker->hide();
    });
    runModal(*box);
    const int chosen = int(made.indexOf(box->clickedButton()));
    return chosen >= 0 ? chosen : cancelIndex;
}

std::unique_ptr<QDialog> WidgetDialogs::textQuestion(const QString &title, const QString &message,
                                                     const QString &label, const QString &text,
                                                     const QString &button, QWidget *parent)
{
    auto dialog = std::make_unique<QDialog>(parent);
    dialog->setWindowTitle(title);
    auto *layout = new QVBoxLayout(dialog.get());
    auto *messageLabel = new QLabel(message);
    messageLabel->setWordWrap(true);
    layout->addWidget(messageLabel);
    // The text may be a chart's name from the document: kept whole, also when it comes back.
    auto *field = new QLineEdit;
    FieldStep::holdAnyLength(field);
    field->setText(text);
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
    QObject::connect(buttons, &QDialogButtonBox::accepted, dialog.get(), &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, dialog.get(), &QDialog::reject);
    return dialog;
}

std::optional<QString> WidgetDialogs::askTextWithMessage(const QString &title, const QString &message,
                                                         const QString &label, const QString &text,
                                                         const QString &button)
{
    const std::unique_ptr<QDialog> dialog = textQuestion(title, message, label, text, button, dialogParent());
    if (runModal(*dialog) != QDialog::Accepted)
        return std::nullopt;
    return dialog->findChild<QLineEdit *>()->text();
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
    nameFields(dialog);
    if (runModal(dialog) != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return std::nullopt;
    return dialog.selectedFiles().constFirst();
}
