// The chart window's person actions and the other edits started from its body: adding a
// position, the three confirmed destructive actions, the JSON import, the sample district
// and the organization's name. Each edit is one undo step; a refused one changes nothing.
#include "app/chart/chart_view.h"

#include "app/shell/dialogs.h"
#include "app/shell/organization_document.h"

#include "core/support/identifiers.h"

#include <QCursor>
#include <QGuiApplication>

#include <algorithm>

static QString toQt(const std::string &text)
{
    return QString::fromStdString(text);
}

namespace {

// Reading and checking a large file takes a moment; the cursor says so.
class BusyCursor {
public:
    BusyCursor()
    {
        if (qobject_cast<QGuiApplication *>(QCoreApplication::instance()))
            QGuiApplication::setOverrideCursor(QCursor(Qt::BusyCursor));
    }
    ~BusyCursor()
    {
        if (qobject_cast<QGuiApplication *>(QCoreApplication::instance()))
            QGuiApplication::restoreOverrideCursor();
    }
    BusyCursor(const BusyCursor &) = delete;
    BusyCursor &operator=(const BusyCursor &) = delete;
};

} // namespace

void ChartView::addPosition(const std::optional<std::string> &managerID, bool assistant)
{
    try {
        requireCurrentEditing();
    } catch (const OrganizationError &error) {
        showError(toQt(error.message()));
        return;
    }
    Position position;
    position.id = "P-" + makeUUID().substr(0, 8);
    position.managerID = managerID;
    position.location = "District Office";
    position.fte = 1.0;
    position.isAssistant = assistant;
    emit positionAddRequested(position);
}

void ChartView::requestVacancy(const Position &position)
{
    try {
        requireCurrentEditing();
    } catch (const OrganizationError &error) {
        showError(toQt(error.message()));
        return;
    }
    const QString who = position.employee ? toQt(position.employee->name) : QStringLiteral("the employee");
    const QString message = QStringLiteral("Remove ") + who + QStringLiteral(" from ") + toQt(position.jobTitle()) +
                            QStringLiteral("? The position, reporting relationships, FTE, and membership on every "
                                           "chart are kept. A recovery version is saved first.");
    const int answer = m_dialogs.ask(QStringLiteral("Make this position vacant?"), message,
                                     {{QStringLiteral("Make Vacant"), DialogButton::Role::destructive},
                                      {QStringLiteral("Cancel"), DialogButton::Role::cancel}},
                                     DialogButton::Role::cancel);
    if (answer == 0)
        makeVacantConfirmed(position.id);
}

void ChartView::makeVacantConfirmed(const std::string &id)
{
    try {
        requireCurrentEditing();
        m_document.edit(QStringLiteral("Make Vacant"), [&](OrganizationArchive &archive) { archive.makePositionVacant(id); });
    } catch (const OrganizationError &error) {
        showError(toQt(error.message()));
    }
}

void ChartView::requestDeletion(const Position &position)
{
    std::string warning;
    try {
        requireCurrentEditing();
        warning = archive().positionDeletionWarning(position.id, m_selectedSheetID);
    } catch (const OrganizationError &error) {
        showError(toQt(error.message()));
        return;
    }
    const int answer = m_dialogs.ask(QStringLiteral("Delete this person and position?"),
                                     toQt(warning) + QStringLiteral("\n\nA recovery version is saved first."),
                                     {{QStringLiteral("Delete Person & Position Everywhere"), DialogButton::Role::destructive},
                                      {QStringLiteral("Cancel"), DialogButton::Role::cancel}},
                                     DialogButton::Role::cancel);
    if (answer == 0)
        deleteConfirmed(position.id);
}

void ChartView::deleteConfirmed(const std::string &id)
{
    try {
        requireCurrentEditing();
        // Reports may have been added since the question was asked: the archive refuses
        // then, and the selection stays.
        m_document.edit(QStringLiteral("Delete Person & Position"),
                        [&](OrganizationArchive &archive) { archive.deletePosition(id); });
    } catch (const OrganizationError &error) {
        showError(toQt(error.message()));
        return;
    }
    setSelectedID(std::nullopt);
}

void ChartView::requestRemoveFromChart()
{
    const int answer = m_dialogs.ask(
        QStringLiteral("Remove this position from this chart only?"),
        QStringLiteral("The employee, position, reporting relationships, and other charts are kept. Required "
                       "reporting context can still appear when another position on this chart references it. A "
                       "recovery version is saved first."),
        {{QStringLiteral("Remove from This Chart"), DialogButton::Role::action},
         {QStringLiteral("Cancel"), DialogButton::Role::cancel}},
        DialogButton::Role::action);
    if (answer == 0)
        removeSelectedFromChart();
}

void ChartView::removeSelectedFromChart()
{
    try {
        requireCurrentEditing();
        if (m_selectedID) {
            const std::string id = *m_selectedID;
            m_document.edit(QStringLiteral("Remove from This Chart"),
                            [&](OrganizationArchive &archive) { archive.removePosition(id, m_selectedSheetID); });
        }
    } catch (const OrganizationError &error) {
        showError(toQt(error.message()));
        return;
    }
    setSelectedID(std::nullopt);
}

bool ChartView::listsOnShownChart(const std::string &id) const
{
    const OrganizationSheet *shown = archive().sheet(m_selectedSheetID);
    return shown && std::find(shown->positionIDs.begin(), shown->positionIDs.end(), id) != shown->positionIDs.end();
}

void ChartView::importOrganization()
{
    try {
        requireCurrentEditing();
    } catch (const OrganizationError &error) {
        showError(toQt(error.message()));
        return;
    }
    if (const std::optional<QString> path = m_dialogs.fileToOpen(OrganizationDocument::fileFilter()))
        importOrganizationFile(*path);
}

void ChartView::importOrganizationFile(const QString &path)
{
    try {
        requireCurrentEditing();
        const BusyCursor busy;
        // The document reader's checks: a regular file, under the size limit, an organization.
        Organization imported = OrganizationDocument::readFile(path).organization;
        // On a copy: the recovery version, the organization and the dropped groups are one
        // write, and a failure leaves no stray version behind.
        m_document.edit(QStringLiteral("Import JSON"), [&](OrganizationArchive &archive) {
            archive.checkpoint("Before importing organization");
            archive.organization = std::move(imported);
            archive.groups.reset();
        });
    } catch (const OrganizationError &error) {
        showError(toQt(error.message()));
        return;
    }
    setExpandedGroups({});
    setSelectedID(std::nullopt);
    setCollapsedPositionIDs({});
    setFocusPersonID({});
    setFocusDepartment({});
    resetFocusedView();
}

void ChartView::loadSampleDistrict()
{
    if (!canEditCurrent())
        return;
    m_document.edit(QStringLiteral("Load Sample District"),
                    [](OrganizationArchive &archive) { archive.organization = Organization::example(); });
    resetFocusedView();
}

void ChartView::setOrganizationName(const QString &name)
{
    const std::string value = name.toStdString();
    if (value == archive().name || !canEditCurrent())
        return;
    m_document.edit(
        QStringLiteral("Rename Organization"), [&](OrganizationArchive &archive) { archive.name = value; },
        QStringLiteral("organizationName"));
}
