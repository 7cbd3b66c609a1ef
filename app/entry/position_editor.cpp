#include "app/entry/position_editor.h"

#include "app/entry/entry_autocomplete.h"
#include "app/entry/position_editor_widgets.h"
#include "app/shell/accessible_fields.h"
#include "app/sidebar/searchable_dropdown.h"
#include "app/sidebar/sidebar_style.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPushButton>
#include <QScrollArea>
#include <QShortcut>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>

#include <system_error>
#include <thread>
#include <tuple>

namespace {

using namespace PositionEditorWidgets;

std::string toStd(const QString &text)
{
    return text.toStdString();
}

// Only a different text is pushed, so the cursor of the field being typed in stays put.
void showText(QLineEdit *field, const QString &text)
{
    if (field->text() != text)
        field->setText(text);
}

QLabel *headline(const QString &text)
{
    auto *label = new QLabel(text);
    QFont font = label->font();
    font.setBold(true);
    label->setFont(font);
    return label;
}

// Number fields show the model's value unless their text already reads as that value, so a
// half-typed number ("0,") is not rewritten under the cursor, or holds text that did not
// read at all, which stays as typed until it is corrected.
void showNumber(QLineEdit *field, double value, bool unread)
{
    if (!unread && PositionEditorModel::readDecimal(field->text()) != value)
        field->setText(decimalText(value));
}

void showWholeNumber(QLineEdit *field, int64_t value, bool unread)
{
    if (!unread && PositionEditorModel::readWholeNumber(field->text()) != value)
        field->setText(wholeNumbers().toString(qlonglong(value)));
}

} // namespace

PositionEditor::PositionEditor(PositionEditorModel *model, QWidget *parent)
    : QDialog(parent)
    , m_model(model)
{
    m_model->setParent(this);
    setFixedSize(editorWidth, editorHeight);
    auto *layout = new QVBoxLayout(this);
    layout->setSpacing(12);
    layout->setContentsMargins(20, 20, 20, 20);

    auto *header = new QHBoxLayout;
    m_title = new QLabel;
    QFont titleFont = m_title->font();
    titleFont.setPointSizeF(titleFont.pointSizeF() * 1.4);
    titleFont.setBold(true);
    m_title->setFont(titleFont);
    header->addWidget(m_title);
    header->addStretch();
    m_startNew = plainButton(QStringLiteral("Start New Entry"));
    connect(m_startNew, &QPushButton::clicked, m_model, &PositionEditorModel::startNewEntry);
    header->addWidget(m_startNew);
    layout->addLayout(header);

    m_success = new QLabel;
    // Shown anew by each save that goes on to the next entry, and heard as it shows.
    AccessibleFields::announce(m_success);
    keepReadable(m_success, QPalette::WindowText, QPalette::Window, QColor(0x24, 0x8a, 0x3d));
    layout->addWidget(m_success);

    auto *form = new QWidget;
    auto *formLayout = new QVBoxLayout(form);
    formLayout->addWidget(buildBasic());
    formLayout->addWidget(buildAdvanced());
    formLayout->addStretch();
    auto *scroll = new QScrollArea;
    scroll->setWidgetResizable(true);
    scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    // Nameless and drawing nothing, a stop of its own would be heard as an empty filler.
    scroll->setFocusPolicy(Qt::NoFocus);
    scroll->setWidget(form);
    layout->addWidget(scroll, 1);

    m_error = new QLabel;
    AccessibleFields::announce(m_error);
    m_error->setWordWrap(true);
    keepReadable(m_error, QPalette::WindowText, QPalette::Window, errorRed);
    m_error->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    m_error->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    m_errorArea = new QScrollArea;
    m_errorArea->setWidgetResizable(true);
    m_errorArea->setFrameShape(QFrame::NoFrame);
    m_errorArea->setMaximumHeight(80);
    m_errorArea->setFocusPolicy(Qt::NoFocus); // the message itself is the stop
    m_errorArea->setWidget(m_error);
    layout->addWidget(m_errorArea);

    layout->addWidget(buildFooter());

    auto *addAnother = new QShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_S), this);
    connect(addAnother, &QShortcut::activated, this, [this] { save(PositionEditorModel::SaveMode::addAnother); });
    connect(m_model, &PositionEditorModel::changed, this, &PositionEditor::refresh);
    connect(m_model, &PositionEditorModel::finished, this, &QDialog::accept);
    connect(m_model, &PositionEditorModel::failed, this, &PositionEditor::showFailure);
    connect(m_model, &PositionEditorModel::loaded, this, [this] {
        if (m_model->wantsNameFocus())
            QTimer::singleShot(0, m_name, [this] { m_name->setFocus(); });
    });
    refresh();
    if (m_model->wantsNameFocus())
        m_name->setFocus();
}

QWidget *PositionEditor::buildBasic()
{
    auto *section = new QWidget;
    auto *layout = new QVBoxLayout(section);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(headline(QStringLiteral("Basic")));

    m_vacant = new QCheckBox(QStringLiteral("Vacant position"));
    // Toggled, as a screen reader's action does it too; only a change the model lacks is written.
    connect(m_vacant, &QCheckBox::toggled, m_model, [this](bool vacant) {
        if (vacant != m_model->isVacant())
            m_model->setVacant(vacant);
    });
    layout->addWidget(m_vacant);

    m_name = new QLineEdit;
    m_name->setObjectName(QStringLiteral("employeeName"));
    m_name->setMinimumWidth(380);
    connect(m_name, &QLineEdit::textEdited, this, [this](const QString &text) { m_model->setEmployeeName(toStd(text)); });
    m_nameRow = labelled(QStringLiteral("Employee Name"), m_name);
    layout->addWidget(m_nameRow);
    m_peopleSlot = new QVBoxLayout;
    layout->addLayout(m_peopleSlot);

    m_quantityRow = new QWidget;
    auto *quantityLayout = new QVBoxLayout(m_quantityRow);
    quantityLayout->setContentsMargins(0, 0, 0, 0);
    m_quantity = new QLineEdit;
    m_quantity->setObjectName(QStringLiteral("quantity"));
    m_quantity->setFixedWidth(80);
    connect(m_quantity, &QLineEdit::textEdited, this, [this](const QString &text) {
        m_model->setNumberText(PositionEditorModel::NumberField::quantity, text);
    });
    quantityLayout->addWidget(labelled(QStringLiteral("QTY"), m_quantity));
    quantityLayout->addWidget(makeCaption(QStringLiteral("Creates 1–1,000 independent vacant positions. Use an existing "
                                                         "vacancy below when you don't need a new position."),
                                          m_quantityRow));
    layout->addWidget(m_quantityRow);

    using Field = PositionEditorModel::CompletionField;
    m_payLevel = addAutocomplete(layout, QStringLiteral("Pay Level"), Field::payLevel,
                                 [this](const std::string &text) { m_model->setPayLevel(text); });
    m_payLevel->setObjectName(QStringLiteral("payLevel"));
    m_jobTitle = addAutocomplete(layout, QStringLiteral("Job Title"), Field::jobTitle,
                                 [this](const std::string &text) { m_model->setJobTitle(text); });
    auto *status = new QHBoxLayout;
    m_jobTitleStatus = makeCaption(QString(), section);
    m_jobTitleStatus->setWordWrap(false);
    status->addWidget(m_jobTitleStatus);
    m_matchPayLevel = plainButton(QStringLiteral("Match Pay Level"));
    connect(m_matchPayLevel, &QPushButton::clicked, m_model, &PositionEditorModel::matchPayLevel);
    status->addWidget(m_matchPayLevel);
    status->addStretch();
    layout->addLayout(status);

    m_manager = new SearchableDropdown(QStringLiteral("Primary Manager"));
    connect(m_manager, &SearchableDropdown::chosen, this, [this](const QString &id) { m_model->selectManager(toStd(id)); });
    layout->addWidget(m_manager);
    m_department = addAutocomplete(layout, QStringLiteral("Department"), Field::department,
                                   [this](const std::string &text) { m_model->setDepartment(text); });
    m_location = addAutocomplete(layout, QStringLiteral("Location"), Field::location,
                                 [this](const std::string &text) { m_model->setLocation(text); });
    m_useManager = plainButton(QStringLiteral("Use Manager’s Department && Location"));
    connect(m_useManager, &QPushButton::clicked, m_model, &PositionEditorModel::useManagersDepartmentAndLocation);
    auto *useRow = new QHBoxLayout;
    useRow->addWidget(m_useManager);
    useRow->addStretch();
    layout->addLayout(useRow);
    m_vacancySlot = new QVBoxLayout;
    layout->addLayout(m_vacancySlot);
    m_includeNote = makeCaption(QStringLiteral("Saving uses this existing position and includes it on the selected "
                                               "chart. Other chart links and reporting relationships are preserved."),
                                section);
    layout->addWidget(m_includeNote);
    return section;
}

EntryAutocomplete *PositionEditor::addAutocomplete(QVBoxLayout *layout, const QString &label,
                                                   PositionEditorModel::CompletionField field,
                                                   std::function<void(const std::string &)> write)
{
    auto *edit = new EntryAutocomplete;
    edit->setFixedWidth(380);
    edit->setOptions(m_model->completions(field));
    connect(edit, &EntryAutocomplete::textEdited, this, [write](const QString &text) { write(toStd(text)); });
    layout->addWidget(labelled(label, edit));
    return edit;
}

QWidget *PositionEditor::buildFooter()
{
    auto *footer = new QWidget;
    auto *layout = new QHBoxLayout(footer);
    layout->setContentsMargins(0, 0, 0, 0);
    auto *cancel = plainButton(QStringLiteral("Cancel"));
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    layout->addWidget(cancel);
    layout->addStretch();
    auto *addAnother = plainButton(QStringLiteral("Save && Add Another"));
    addAnother->setToolTip(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_S).toString(QKeySequence::NativeText));
    connect(addAnother, &QPushButton::clicked, this, [this] { save(PositionEditorModel::SaveMode::addAnother); });
    layout->addWidget(addAnother);
    m_saveButton = plainButton(QString());
    // Drawn as the default button; Return is handled in keyPressEvent.
    m_saveButton->setDefault(true);
    connect(m_saveButton, &QPushButton::clicked, this, [this] { save(PositionEditorModel::SaveMode::close); });
    layout->addWidget(m_saveButton);
    return footer;
}

void PositionEditor::save(PositionEditorModel::SaveMode mode)
{
    // A field being typed in has written its text already; the model is current.
    m_model->save(mode);
}

void PositionEditor::keyPressEvent(QKeyEvent *event)
{
    const bool isReturn = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
    if (!isReturn || event->modifiers() & ~Qt::KeypadModifier) {
        QDialog::keyPressEvent(event);
        return;
    }
    // Return in a completion field accepts the completion; it never saves.
    for (QWidget *w = focusWidget(); w; w = w->parentWidget()) {
        if (qobject_cast<EntryAutocomplete *>(w)) {
            event->accept();
            return;
        }
    }
    event->accept();
    save(PositionEditorModel::SaveMode::close);
}

PositionEditor::~PositionEditor()
{
    // Closing is part of a save: a large district's copy and lists of managers, a few
    // hundred thousand allocations, are freed on a thread of their own.
    constexpr size_t longList = 2000;
    auto kept = std::make_tuple(m_model->takeKept(), m_manager->takeOptions(), m_additionalManager->takeOptions());
    if (std::get<1>(kept).options().size() + std::get<2>(kept).options().size() < longList)
        return;
    try {
        std::thread([done = std::move(kept)] {}).detach();
    } catch (const std::system_error &) {
        // No thread to be had: freed here, as any small list is.
    }
}

void PositionEditor::showFailure()
{
    AccessibleFields::tell(m_error, m_model->errorMessage());
    // As tall as the message, at most 80 points; a longer one scrolls.
    const int height = m_error->heightForWidth(m_errorArea->width() > 100 ? m_errorArea->width() : editorWidth - 40);
    m_errorArea->setFixedHeight(std::min(80, height + 2));
    m_errorArea->show();
}

void PositionEditor::refresh()
{
    const PositionEditorModel &model = *m_model;
    // The dialog goes as soon as a save closes it: rebuilding its lists would be wasted.
    if (model.hasClosed())
        return;
    const PositionEditorVisibility shown = model.visibility();
    const Position &position = model.position();
    setWindowTitle(model.title());
    m_title->setText(model.title());
    m_startNew->setVisible(shown.startNewEntry);
    AccessibleFields::setMessage(m_success, model.successMessage());
    m_success->setVisible(!model.successMessage().isEmpty());
    // A failure comes to the line through showFailure, which has it heard each time.
    if (model.errorMessage().isEmpty()) {
        AccessibleFields::setMessage(m_error, QString());
        m_errorArea->hide();
    }

    m_vacant->setChecked(model.isVacant());
    showText(m_name, toQt(model.employeeName()));
    m_nameRow->setVisible(shown.employeeName);
    m_quantityRow->setVisible(shown.quantity);
    using Number = PositionEditorModel::NumberField;
    showWholeNumber(m_quantity, model.quantity(), model.isUnread(Number::quantity));
    m_payLevel->setText(toQt(position.title));
    m_jobTitle->setText(toQt(position.jobTitle()));
    m_jobTitleStatus->setText(model.jobTitleStatus());
    m_matchPayLevel->setVisible(!position.jobTitleFollowsPayLevel());
    m_department->setText(toQt(position.department));
    m_location->setText(toQt(position.location));
    m_useManager->setVisible(shown.useManagerButton);
    m_includeNote->setVisible(shown.includeNote);

    m_advancedToggle->setChecked(model.isAdvancedOpen());
    m_advanced->setVisible(model.isAdvancedOpen());
    m_employeeNumberRow->setVisible(shown.employeeNumber);
    showText(m_employeeNumber, toQt(model.employeeNumber()));
    showText(m_positionID, toQt(position.id));
    m_positionID->setEnabled(shown.positionIDEditable);
    showNumber(m_fte, position.fte, model.isUnread(Number::fte));
    m_assistant->setChecked(position.isAssistantPosition());
    showWholeNumber(m_siblingOrder, position.siblingOrder.value_or(0), model.isUnread(Number::siblingOrder));
    m_addReportTo->setEnabled(model.canAddAdditionalManager());
    m_saveButton->setText(model.saveButtonTitle());

    // The long lists are handed over again only when the working positions changed.
    const QString options = QString::number(model.entryVersion()) + QLatin1Char('/') + toQt(position.id);
    if (m_optionsShown != options) {
        m_optionsShown = options;
        m_manager->setOptions(model.managerOptions());
        using Field = PositionEditorModel::CompletionField;
        m_payLevel->setOptions(model.completions(Field::payLevel));
        m_jobTitle->setOptions(model.completions(Field::jobTitle));
        m_department->setOptions(model.completions(Field::department));
        m_location->setOptions(model.completions(Field::location));
    }
    m_manager->setSelection(toQt(model.managerSelection()));
    QString additional = options + QLatin1Char('/') + toQt(model.managerSelection());
    for (const std::string &id : position.dottedManagerIDs)
        additional += QLatin1Char('/') + toQt(id);
    if (m_additionalOptionsShown != additional) {
        m_additionalOptionsShown = additional;
        m_additionalManager->setOptions(model.additionalManagerOptions());
    }
    m_additionalManager->setSelection(toQt(model.additionalManagerID()));

    refreshPanels();
    refreshDottedRows();
    refreshSchoolRows();
}
