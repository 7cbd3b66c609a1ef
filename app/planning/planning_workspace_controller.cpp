#include "app/planning/planning_workspace_controller.h"

#include "app/entry/position_editor_model.h"
#include "app/shell/dialogs.h"
#include "app/shell/file_saving.h"
#include "app/shell/organization_document.h"
#include "core/chart/dotted_route_store.h"
#include "core/support/organization_error.h"
#include "core/support/text.h"
#include "printing/file_names.h"

#include <algorithm>

static QString toQt(const std::string &text)
{
    return QString::fromStdString(text);
}

PlanningWorkspaceController::PlanningWorkspaceController(OrganizationDocument &document, std::string sheetID,
                                                         Dialogs &dialogs, QObject *parent)
    : QObject(parent)
    , m_document(document)
    , m_dialogs(dialogs)
    , m_sheetID(std::move(sheetID))
    , m_routeStore(std::make_shared<DottedRouteStore>())
{
    connect(&m_document, &OrganizationDocument::archiveChanged, this, &PlanningWorkspaceController::documentChanged);
    deriveShown();
    deriveSelected();
    refreshSettings();
}

PlanningWorkspaceController::~PlanningWorkspaceController() = default;

PlanningWorkspaceController::PlanningState PlanningWorkspaceController::planningState() const
{
    const std::optional<OrganizationPlanning> &planning = m_document.archive().planning;
    if (!planning)
        return PlanningState::none;
    return planning->isLocked ? PlanningState::locked : PlanningState::unlocked;
}

void PlanningWorkspaceController::showError(const std::string &message)
{
    m_dialogs.alert(errorTitle, toQt(message));
}

template <typename Change>
bool PlanningWorkspaceController::edit(const QString &stepName, Change &&change)
{
    try {
        m_document.edit(stepName, std::forward<Change>(change));
        return true;
    } catch (const OrganizationError &error) {
        showError(error.message());
        return false;
    }
}

void PlanningWorkspaceController::requestLock()
{
    const int answer = m_dialogs.ask(
        QStringLiteral("Lock the current organization for planning?"),
        QStringLiteral("Current positions and sheets become read only. Proposals start from a separate frozen "
                       "snapshot; saved rollback history is not removed."),
        {{QStringLiteral("Lock Current"), DialogButton::Role::action},
         {QStringLiteral("Cancel"), DialogButton::Role::cancel}},
        DialogButton::Role::action);
    if (answer == 0)
        lockCurrent();
}

void PlanningWorkspaceController::requestUnlock()
{
    const int answer = m_dialogs.ask(
        QStringLiteral("Unlock the current organization?"),
        QStringLiteral("Existing proposals and their original baseline are kept unchanged. Later edits to Current "
                       "are not included in those proposals. Relocking is only allowed if Current still matches "
                       "that original baseline."),
        {{QStringLiteral("Unlock Current"), DialogButton::Role::action},
         {QStringLiteral("Cancel"), DialogButton::Role::cancel}},
        DialogButton::Role::action);
    if (answer == 0)
        unlockCurrent();
}

void PlanningWorkspaceController::lockCurrent()
{
    edit(QStringLiteral("Lock Current"), [](OrganizationArchive &archive) { archive.lockForPlanning(); });
}

void PlanningWorkspaceController::unlockCurrent()
{
    edit(QStringLiteral("Unlock Current"), [](OrganizationArchive &archive) { archive.unlockPlanningCurrent(); });
}

void PlanningWorkspaceController::setProposalName(const QString &name)
{
    if (name == m_proposalName)
        return;
    m_proposalName = name;
    emit changed();
}

bool PlanningWorkspaceController::canCreateProposal() const
{
    return m_document.archive().planning && !m_proposalName.trimmed().isEmpty();
}

void PlanningWorkspaceController::createProposal()
{
    std::string id;
    const std::string name = m_proposalName.toStdString();
    if (!edit(QStringLiteral("Create Proposal"), [&](OrganizationArchive &archive) { id = archive.createProposal(name); }))
        return;
    m_proposalName.clear();
    setProposalID(id);
}

std::vector<PlanningWorkspaceController::ProposalEntry> PlanningWorkspaceController::proposals() const
{
    std::vector<ProposalEntry> entries;
    if (const std::optional<OrganizationPlanning> &planning = m_document.archive().planning) {
        for (const OrganizationProposal &proposal : planning->proposals)
            entries.push_back({proposal.id, proposal.name});
    }
    return entries;
}

void PlanningWorkspaceController::setProposalID(const std::optional<std::string> &id)
{
    if (id == m_proposalID) {
        emit changed();
        return;
    }
    m_proposalID = id;
    m_selectedID.reset();
    deriveShown();
    deriveSelected();
    emit changed();
}

const OrganizationProposal *PlanningWorkspaceController::proposal() const
{
    const std::optional<OrganizationPlanning> &planning = m_document.archive().planning;
    if (!planning || !m_proposalID)
        return nullptr;
    const auto found = std::find_if(planning->proposals.begin(), planning->proposals.end(),
                                    [&](const OrganizationProposal &proposal) { return proposal.id == *m_proposalID; });
    return found == planning->proposals.end() ? nullptr : &*found;
}

void PlanningWorkspaceController::setSheetID(const std::string &sheetID)
{
    m_sheetID = sheetID;
    m_selectedID.reset();
    deriveChart();
    deriveSelected();
    refreshSettings();
    emit changed();
}

void PlanningWorkspaceController::refreshSettings()
{
    const OrganizationSheet *sheet = m_active.sheet(m_sheetID);
    if (sheet && sheet->printSettings)
        m_settings = *sheet->printSettings;
    else
        m_settings = m_active.printSettings.value_or(ChartPrintSettings::departmentDesign());
    emit changed();
}

void PlanningWorkspaceController::commitSettings(const ChartPrintSettings &settings)
{
    if (settings == m_settings)
        return;
    m_settings = settings;
    emit changed();
}

void PlanningWorkspaceController::setPageSubtitle(const QString &text)
{
    if (text == m_printSubtitle)
        return;
    m_printSubtitle = text;
    m_printArchive.reset();
}

void PlanningWorkspaceController::documentChanged()
{
    deriveShown();
    deriveSelected();
    emit changed();
}

void PlanningWorkspaceController::deriveShown()
{
    const OrganizationArchive &archive = m_document.archive();
    const OrganizationProposal *shown = proposal();
    // Made over what was shown before: after an edit of a large proposal only the strings
    // that changed are allocated.
    if (shown)
        shown->state.assignArchive(m_active);
    else if (archive.planning)
        archive.planning->baseline.assignArchive(m_active);
    else
        m_active = archive;
    ++m_activeRevision;
    bool compared = false;
    if (m_proposalID && archive.planning) {
        try {
            archive.planning->comparisonArchive(*m_proposalID, m_comparison);
            compared = true;
        } catch (const OrganizationError &) {
            // Drawn without change markers; the report says it is unavailable.
        }
    }
    if (!compared)
        m_comparison = m_active;
    m_printArchive.reset();
    deriveChart();
}

void PlanningWorkspaceController::deriveChart()
{
    // The chart shown before the last one, once nothing else holds it, is made over rather
    // than anew: after an edit of a large proposal only the strings that changed are
    // allocated. Views still get a new object for every chart.
    std::shared_ptr<OrganizationArchive> chart = m_spareChart.use_count() == 1
                                                     ? std::move(m_spareChart)
                                                     : std::make_shared<OrganizationArchive>(
                                                           OrganizationArchive::make("Untitled Organization", {}));
    m_comparison.organizationIn(m_sheetID, chart->organization);
    m_spareChart = std::exchange(m_chart, chart);
    m_shownChart = std::move(chart);
    m_shown = std::shared_ptr<const Organization>(m_shownChart, &m_shownChart->organization);
    m_report.reset();
}

void PlanningWorkspaceController::deriveSelected()
{
    m_selected.reset();
    if (!m_selectedID)
        return;
    const std::vector<Position> &positions = m_active.organization.positions;
    const auto found = std::find_if(positions.begin(), positions.end(),
                                    [&](const Position &position) { return position.id == *m_selectedID; });
    if (found != positions.end())
        m_selected = *found;
}

void PlanningWorkspaceController::select(const std::optional<std::string> &id)
{
    if (id == m_selectedID)
        return;
    m_selectedID = id;
    deriveSelected();
    emit changed();
}

QString PlanningWorkspaceController::selectionText() const
{
    if (m_selected) {
        const QString who = m_selected->employee ? toQt(m_selected->employee->name) : QStringLiteral("Vacant");
        return toQt(m_selected->jobTitle()) + QStringLiteral(" \u00b7 ") + who + QStringLiteral(" \u00b7 ") +
               toQt(m_selected->id);
    }
    if (deletedSelection())
        return QStringLiteral(
            "Proposed deletion selected. Former reporting relationships remain visible for comparison.");
    return QStringLiteral("Select a card to edit, change its Primary Manager, or propose deleting it.");
}

QString PlanningWorkspaceController::countText() const
{
    const OrganizationProposal *shown = proposal();
    if (!shown)
        return QStringLiteral("Locked baseline");
    return QStringLiteral("%1 proposed positions").arg(qlonglong(shown->state.organization.positions.size()));
}

Position PlanningWorkspaceController::addPosition()
{
    m_adding = true;
    Position position;
    position.id = "P-" + makeUUID().substr(0, 8);
    position.location = "District Office";
    position.fte = 1;
    if (m_selected) {
        position.department = m_selected->department;
        position.managerID = m_selected->id;
        position.location = m_selected->location;
    }
    return position;
}

std::optional<Position> PlanningWorkspaceController::editSelected()
{
    m_adding = false;
    return m_selected;
}

std::unique_ptr<PositionEditorModel> PlanningWorkspaceController::editorModel(const Position &position, bool isNew)
{
    return std::make_unique<PositionEditorModel>(
        position, m_active.organization.positions, isNew, m_active.sortedSheets(), m_sheetID,
        [this](const PositionEntryRequest &request) { return saveProposalEntry(request); },
        [this](const std::string &id) { includeProposalPositionFromEntry(id); }, m_dialogs);
}

std::vector<Position> PlanningWorkspaceController::saveProposalEntry(const PositionEntryRequest &request)
{
    if (!m_proposalID)
        throw OrganizationError::invalid("Select a proposal first.");
    const std::string proposalID = *m_proposalID;
    const std::optional<std::string> sheetID =
        m_sheetID.empty() ? std::nullopt : std::optional<std::string>(m_sheetID);
    std::vector<Position> saved;
    // The editor shows the refusal, so it is thrown back rather than alerted.
    m_document.edit(QStringLiteral("Edit Proposal Position"), [&](OrganizationArchive &archive) {
        saved = archive.saveProposalEntry(request, proposalID, sheetID);
    });
    select(saved.empty() ? std::nullopt : std::optional<std::string>(saved.front().id));
    return saved;
}

void PlanningWorkspaceController::includeProposalPositionFromEntry(const std::string &positionID)
{
    if (!m_proposalID)
        throw OrganizationError::invalid("Select a proposal first.");
    const std::string proposalID = *m_proposalID;
    m_document.edit(QStringLiteral("Include Proposal Position"), [&](OrganizationArchive &archive) {
        archive.includeProposalPositionFromEntry(positionID, proposalID, m_sheetID);
    });
    select(positionID);
}

void PlanningWorkspaceController::requestVacancy()
{
    if (!m_selected || !m_proposalID)
        return;
    m_actionPositionID = m_selected->id;
    m_actionProposalID = m_proposalID;
    const std::string who = m_selected->employee ? m_selected->employee->name : "the employee";
    const QString message = QStringLiteral("Remove ") + toQt(who) + QStringLiteral(" from ") +
                            toQt(m_selected->jobTitle()) +
                            QStringLiteral(" in this proposal? The position, reporting relationships, FTE, and charts "
                                           "are kept. Current and the locked baseline are unchanged.");
    const int answer = m_dialogs.ask(QStringLiteral("Make this proposed position vacant?"), message,
                                     {{QStringLiteral("Make Vacant in Proposal"), DialogButton::Role::destructive},
                                      {QStringLiteral("Cancel"), DialogButton::Role::cancel}},
                                     DialogButton::Role::cancel);
    if (answer == 0)
        confirmProposalChange(QStringLiteral("Make Vacant in Proposal"), &OrganizationArchive::makeProposalPositionVacant);
}

void PlanningWorkspaceController::requestDeletion()
{
    if (!m_selected || !m_proposalID)
        return;
    std::string warning;
    try {
        warning = m_active.positionDeletionWarning(m_selected->id, m_sheetID);
    } catch (const OrganizationError &error) {
        showError(error.message());
        return;
    }
    m_actionPositionID = m_selected->id;
    m_actionProposalID = m_proposalID;
    const QString message =
        toQt(warning) +
        QStringLiteral("\n\nOnly this proposal changes; Current and the locked baseline are kept. A baseline position "
                       "remains visible in red; deleting a newly added position cancels that addition.");
    const int answer = m_dialogs.ask(QStringLiteral("Propose deleting this person and position?"), message,
                                     {{QStringLiteral("Delete in Proposal"), DialogButton::Role::destructive},
                                      {QStringLiteral("Cancel"), DialogButton::Role::cancel}},
                                     DialogButton::Role::cancel);
    if (answer == 0)
        confirmProposalChange(QStringLiteral("Delete in Proposal"), &OrganizationArchive::deleteProposalPosition);
}

void PlanningWorkspaceController::confirmProposalChange(
    const QString &stepName, void (OrganizationArchive::*operation)(const std::string &, const std::string &))
{
    if (!m_actionPositionID || !m_actionProposalID)
        return;
    const std::string positionID = *m_actionPositionID;
    const std::string proposalID = *m_actionProposalID;
    edit(stepName, [&](OrganizationArchive &archive) { (archive.*operation)(positionID, proposalID); });
}

void PlanningWorkspaceController::restoreSelected()
{
    if (!m_proposalID || !m_selectedID)
        return;
    const std::string positionID = *m_selectedID;
    const std::string proposalID = *m_proposalID;
    edit(QStringLiteral("Restore Deleted Position"),
         [&](OrganizationArchive &archive) { archive.restoreProposalPosition(positionID, proposalID); });
}

const std::string &PlanningWorkspaceController::report() const
{
    if (m_report)
        return *m_report;
    const std::optional<OrganizationPlanning> &planning = m_document.archive().planning;
    if (!m_proposalID)
        m_report = "Select a named proposal to compare it with the locked baseline.";
    else if (!planning)
        m_report = "Report unavailable.";
    else {
        try {
            m_report = planning->report(*m_proposalID, m_sheetID);
        } catch (const OrganizationError &) {
            m_report = "Report unavailable.";
        }
    }
    return *m_report;
}

QString PlanningWorkspaceController::reportFileName() const
{
    const OrganizationProposal *shown = proposal();
    QString name = shown ? toQt(shown->name) : QStringLiteral("Proposal");
    // A proposal name is free text: it must not lead the save panel into another folder
    // or make a hidden file.
    name.replace(QLatin1Char('/'), QLatin1Char('-')).replace(QLatin1Char('\\'), QLatin1Char('-'));
    for (qsizetype i = 0; i < name.size() && name[i] == QLatin1Char('.'); ++i)
        name[i] = QLatin1Char('_');
    return FileNames::fitted(name, QStringLiteral(" \u2014 Change Report.txt"));
}

void PlanningWorkspaceController::exportReport()
{
    const std::optional<QString> path =
        m_dialogs.fileToSave(QStringLiteral("Plain Text (*.txt)"), reportFileName());
    if (!path || path->isEmpty())
        return;
    try {
        FileSaving::write(*path, report());
    } catch (const OrganizationError &error) {
        m_dialogs.alert(errorTitle, toQt(error.message()));
    }
}

std::string PlanningWorkspaceController::proposalLabel() const
{
    const OrganizationProposal *shown = proposal();
    return shown ? shown->name : "Baseline";
}

QString PlanningWorkspaceController::scopeName() const
{
    for (const OrganizationSheet &sheet : m_active.sortedSheets()) {
        if (sheet.id == m_sheetID)
            return toQt(sheet.name);
    }
    return QStringLiteral("Entire organization");
}

PrintSheetModel::Input PlanningWorkspaceController::openPrint()
{
    const OrganizationProposal *shown = proposal();
    m_printTitle = shown ? QStringLiteral("Proposal: ") + toQt(shown->name) : QStringLiteral("Baseline");
    PrintSheetModel::Input input;
    input.organization = *m_shown;
    input.title = m_printTitle.toStdString();
    input.scope = scopeName().toStdString();
    input.settings = m_settings;
    return input;
}

const OrganizationArchive &PlanningWorkspaceController::printArchive() const
{
    if (m_printArchive)
        return *m_printArchive;
    OrganizationArchive archive = m_comparison;
    if (archive.sheets) {
        const std::string label = proposalLabel();
        const std::string subtitle = m_printSubtitle.toStdString();
        for (OrganizationSheet &sheet : *archive.sheets) {
            sheet.pageTitle = label + " \u2014 " + sheet.pageTitle.value_or(sheet.name);
            sheet.pageSubtitle = subtitle;
        }
    }
    m_printArchive = std::move(archive);
    return *m_printArchive;
}
