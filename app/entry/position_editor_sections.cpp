// The parts of the position editor that are rebuilt from the model: the match panels, the
// "Advanced" section with its rows of additional managers and school allocations.
#include "app/entry/position_editor.h"

#include "app/entry/position_editor_widgets.h"
#include "app/sidebar/searchable_dropdown.h"
#include "app/sidebar/sidebar_style.h"

#include <QCheckBox>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPushButton>
#include <QToolButton>
#include <QVBoxLayout>

namespace {

using namespace PositionEditorWidgets;

QLabel *styledLine(const QString &text, double scale, bool bold, bool secondary)
{
    auto *label = new QLabel(text);
    label->setWordWrap(true);
    QFont font = label->font();
    font.setPointSizeF(font.pointSizeF() * scale);
    font.setBold(bold);
    label->setFont(font);
    if (secondary)
        label->setForegroundRole(QPalette::PlaceholderText);
    return label;
}

// `name` says which row it removes: a list of buttons all heard as "Remove" says nothing.
QToolButton *removeButton(const QString &help, const QString &name)
{
    auto *button = new QToolButton;
    button->setText(QStringLiteral("⊖"));
    button->setAccessibleName(name);
    button->setToolTip(help);
    button->setAutoRaise(true);
    return button;
}

void clearLayout(QLayout *layout)
{
    while (QLayoutItem *item = layout->takeAt(0)) {
        if (QWidget *widget = item->widget()) {
            widget->hide();
            // Later: the button whose click rebuilt this part is still running.
            widget->deleteLater();
        }
        if (QLayout *inner = item->layout())
            clearLayout(inner);
        delete item;
    }
}

} // namespace

QWidget *PositionEditor::makePanel(const PositionMatchPanel &panel, bool people)
{
    auto *frame = new QFrame;
    frame->setObjectName(QStringLiteral("matchPanel"));
    frame->setStyleSheet(people ? QStringLiteral("#matchPanel { background: rgba(255, 149, 0, 18); border-radius: 8px; }")
                                : QStringLiteral("#matchPanel { background: rgba(0, 122, 255, 13); border-radius: 8px; }"));
    auto *layout = new QVBoxLayout(frame);
    layout->setSpacing(8);
    layout->setContentsMargins(10, 10, 10, 10);
    layout->addWidget(styledLine(people ? QStringLiteral("Possible existing people — reuse rather than create a duplicate")
                                        : QStringLiteral("Existing vacancies — keep the position and its chart links"),
                                 1.0, true, false));
    for (const PositionMatchRow &row : panel.rows) {
        auto *summary = new QVBoxLayout;
        summary->setSpacing(2);
        summary->addWidget(styledLine(row.lines[0], 1.0, true, false));
        summary->addWidget(styledLine(row.lines[1], 0.85, false, false));
        summary->addWidget(styledLine(row.lines[2], 0.85, false, true));
        summary->addWidget(styledLine(row.lines[3], 0.78, false, true));
        layout->addLayout(summary);
        auto *buttons = new QHBoxLayout;
        const std::string id = row.positionID;
        if (people) {
            QPushButton *edit = plainButton(QStringLiteral("Edit Existing"));
            connect(edit, &QPushButton::clicked, m_model, [this, id] { m_model->editExisting(id); });
            buttons->addWidget(edit);
            if (!row.includeTitle.isEmpty()) {
                QPushButton *include = plainButton(row.includeTitle);
                include->setEnabled(row.includeEnabled);
                connect(include, &QPushButton::clicked, m_model, [this, id] { m_model->addToThisChart(id); });
                buttons->addWidget(include);
            }
        } else {
            QPushButton *use = plainButton(m_model->vacancyButtonTitle());
            connect(use, &QPushButton::clicked, m_model, [this, id] { m_model->useVacancy(id); });
            buttons->addWidget(use);
        }
        buttons->addStretch();
        layout->addLayout(buttons);
    }
    if (!panel.countLine.isEmpty())
        layout->addWidget(styledLine(panel.countLine, 0.85, false, false));
    layout->addWidget(styledLine(people ? QStringLiteral("Matching is advisory. Different people may share a name; "
                                                         "records are never merged automatically.")
                                        : QStringLiteral("Same-title positions may be legitimate. Saving a new entry "
                                                         "still creates a separate position."),
                                 0.85, false, true));
    return frame;
}

void PositionEditor::refreshPanels()
{
    const PositionEditorVisibility shown = m_model->visibility();
    const PositionMatchPanel people = shown.peoplePanel ? m_model->peoplePanel() : PositionMatchPanel{};
    const PositionMatchPanel vacancies = shown.vacancyPanel ? m_model->vacancyPanel() : PositionMatchPanel{};
    QString signature = m_model->vacancyButtonTitle();
    for (const PositionMatchPanel *panel : {&people, &vacancies}) {
        signature += QLatin1Char('|') + panel->countLine;
        for (const PositionMatchRow &row : panel->rows) {
            for (const QString &line : row.lines)
                signature += QLatin1Char('\n') + line;
            signature += row.includeTitle + (row.includeEnabled ? QLatin1Char('+') : QLatin1Char('-'));
        }
    }
    if (signature == m_panelsShown)
        return;
    m_panelsShown = signature;
    clearLayout(m_peopleSlot);
    clearLayout(m_vacancySlot);
    if (!people.rows.empty())
        m_peopleSlot->addWidget(makePanel(people, true));
    if (!vacancies.rows.empty())
        m_vacancySlot->addWidget(makePanel(vacancies, false));
}

QWidget *PositionEditor::buildAdvanced()
{
    auto *section = new QWidget;
    auto *outer = new QVBoxLayout(section);
    outer->setContentsMargins(0, 0, 0, 0);
    m_advancedToggle = new QToolButton;
    m_advancedToggle->setText(
        QStringLiteral("Advanced — IDs, FTE, assistants, additional reports && school allocations"));
    m_advancedToggle->setCheckable(true);
    m_advancedToggle->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    m_advancedToggle->setArrowType(Qt::RightArrow);
    m_advancedToggle->setAutoRaise(true);
    connect(m_advancedToggle, &QToolButton::toggled, this,
            [this](bool open) { m_advancedToggle->setArrowType(open ? Qt::DownArrow : Qt::RightArrow); });
    // Toggled, not clicked: a screen reader's action toggles the button without a click.
    connect(m_advancedToggle, &QToolButton::toggled, m_model, &PositionEditorModel::setAdvancedOpen);
    outer->addWidget(m_advancedToggle);

    m_advanced = new QWidget;
    m_advanced->hide();
    auto *layout = new QVBoxLayout(m_advanced);
    layout->setContentsMargins(18, 0, 0, 0);
    outer->addWidget(m_advanced);

    m_employeeNumber = new QLineEdit;
    m_employeeNumber->setMinimumWidth(380);
    connect(m_employeeNumber, &QLineEdit::textEdited, this,
            [this](const QString &text) { m_model->setEmployeeNumber(text.toStdString()); });
    m_employeeNumberRow = labelled(QStringLiteral("Employee Number"), m_employeeNumber);
    layout->addWidget(m_employeeNumberRow);
    m_positionID = new QLineEdit;
    m_positionID->setMinimumWidth(380);
    connect(m_positionID, &QLineEdit::textEdited, this,
            [this](const QString &text) { m_model->setPositionID(text.toStdString()); });
    layout->addWidget(labelled(QStringLiteral("Position ID"), m_positionID));
    layout->addWidget(makeCaption(QStringLiteral("IDs are generated automatically. Keep employee numbers from your "
                                                 "personnel system when available."),
                                  section));
    m_fte = new QLineEdit;
    m_fte->setObjectName(QStringLiteral("fte"));
    m_fte->setFixedWidth(80);
    connect(m_fte, &QLineEdit::textEdited, this,
            [this](const QString &text) { m_model->setNumberText(PositionEditorModel::NumberField::fte, text); });
    layout->addWidget(labelled(QStringLiteral("Position FTE"), m_fte));
    m_assistant = new QCheckBox(QStringLiteral("Assistant — beside manager, half lowered"));
    // Toggled, as a screen reader's action does it too; only a change the model lacks is written.
    connect(m_assistant, &QCheckBox::toggled, m_model, [this](bool assistant) {
        if (assistant != m_model->position().isAssistantPosition())
            m_model->setAssistant(assistant);
    });
    layout->addWidget(m_assistant);
    m_siblingOrder = new QLineEdit;
    m_siblingOrder->setObjectName(QStringLiteral("siblingOrder"));
    m_siblingOrder->setFixedWidth(80);
    connect(m_siblingOrder, &QLineEdit::textEdited, this, [this](const QString &text) {
        m_model->setNumberText(PositionEditorModel::NumberField::siblingOrder, text);
    });
    layout->addWidget(labelled(QStringLiteral("Sibling order (lower first)"), m_siblingOrder));
    layout->addWidget(makeCaption(QStringLiteral("Lower numbers come first among reports to the same manager. Zero "
                                                 "uses default ID order; placement stays automatic."),
                                  section));

    layout->addWidget(styledLine(QStringLiteral("Additional Reports To — Dotted Line"), 1.0, true, false));
    m_additionalManager = new SearchableDropdown(QStringLiteral("Position"));
    connect(m_additionalManager, &SearchableDropdown::chosen, this,
            [this](const QString &id) { m_model->setAdditionalManagerID(id.toStdString()); });
    layout->addWidget(m_additionalManager);
    m_addReportTo = plainButton(QStringLiteral("+ Add Report To"));
    m_addReportTo->setAccessibleName(QStringLiteral("Add Report To"));
    connect(m_addReportTo, &QPushButton::clicked, m_model, &PositionEditorModel::addAdditionalManager);
    auto *addRow = new QHBoxLayout;
    addRow->addWidget(m_addReportTo);
    addRow->addStretch();
    layout->addLayout(addRow);
    m_dottedRows = new QVBoxLayout;
    layout->addLayout(m_dottedRows);

    layout->addWidget(styledLine(QStringLiteral("School allocations — shared staff use Itinerant as Location"), 1.0,
                                 true, false));
    m_schoolRows = new QVBoxLayout;
    layout->addLayout(m_schoolRows);
    QPushButton *addSchool = plainButton(QStringLiteral("Add School Allocation"));
    connect(addSchool, &QPushButton::clicked, m_model, &PositionEditorModel::addSchoolAllocation);
    auto *schoolRow = new QHBoxLayout;
    schoolRow->addWidget(addSchool);
    schoolRow->addStretch();
    layout->addLayout(schoolRow);
    return section;
}

void PositionEditor::refreshDottedRows()
{
    const std::vector<std::string> &ids = m_model->position().dottedManagerIDs;
    if (ids == m_dottedShown)
        return;
    m_dottedShown = ids;
    clearLayout(m_dottedRows);
    for (const std::string &id : ids) {
        auto *row = new QWidget;
        auto *layout = new QHBoxLayout(row);
        layout->setContentsMargins(0, 0, 0, 0);
        const QString manager = m_model->additionalManagerLabel(id);
        layout->addWidget(new QLabel(manager));
        layout->addStretch();
        QToolButton *remove = removeButton(QStringLiteral("Remove this additional report to"),
                                           QStringLiteral("Remove additional report to ") + manager);
        connect(remove, &QToolButton::clicked, m_model, [this, id] { m_model->removeAdditionalManager(id); });
        layout->addWidget(remove);
        m_dottedRows->addWidget(row);
    }
}

void PositionEditor::refreshSchoolRows()
{
    const std::vector<SchoolAllocationDraft> &rows = m_model->schoolAllocations();
    std::vector<QUuid> ids;
    for (const SchoolAllocationDraft &row : rows)
        ids.push_back(row.id);
    if (ids != m_schoolRowsShown) {
        m_schoolRowsShown = ids;
        m_schoolFields.clear();
        clearLayout(m_schoolRows);
        for (const SchoolAllocationDraft &draft : rows) {
            const QString number = QString::number(m_schoolFields.size() + 1);
            auto *row = new QWidget;
            auto *layout = new QHBoxLayout(row);
            layout->setContentsMargins(0, 0, 0, 0);
            // Named with their row, as every row holds the same two fields.
            auto *school = new QLineEdit;
            school->setPlaceholderText(QStringLiteral("School"));
            school->setAccessibleName(QStringLiteral("Allocation %1, School").arg(number));
            auto *fte = new QLineEdit;
            fte->setPlaceholderText(QStringLiteral("FTE"));
            fte->setAccessibleName(QStringLiteral("Allocation %1, FTE").arg(number));
            fte->setFixedWidth(80);
            // Each field writes the whole assignment of its row, found by the row's id;
            // `built` answers for a row removed meanwhile.
            const QUuid id = draft.id;
            const SchoolAssignment built = draft.assignment;
            connect(school, &QLineEdit::textEdited, m_model, [this, id, built](const QString &text) {
                SchoolAssignment next = m_model->schoolAssignment(id, built);
                next.school = text.toStdString();
                m_model->setSchoolAssignment(id, next);
            });
            connect(fte, &QLineEdit::textEdited, m_model,
                    [this, id, built](const QString &text) { m_model->setSchoolFteText(id, built, text); });
            QToolButton *remove = removeButton(QString(), QStringLiteral("Remove school allocation ") + number);
            connect(remove, &QToolButton::clicked, m_model, [this, id] { m_model->removeSchoolAllocation(id); });
            layout->addWidget(school, 1);
            layout->addWidget(fte);
            layout->addWidget(remove);
            m_schoolRows->addWidget(row);
            m_schoolFields.push_back({school, fte});
        }
    }
    for (size_t i = 0; i < rows.size(); ++i) {
        const QString school = toQt(rows[i].assignment.school);
        if (m_schoolFields[i].school->text() != school)
            m_schoolFields[i].school->setText(school);
        const std::optional<double> shown = PositionEditorModel::readDecimal(m_schoolFields[i].fte->text());
        if (!m_model->isSchoolFteUnread(rows[i].id) && shown != rows[i].assignment.fte)
            m_schoolFields[i].fte->setText(decimalText(rows[i].assignment.fte));
    }
}
