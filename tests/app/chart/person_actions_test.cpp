#include "app/chart/chart_view.h"
#include "app/chart/selection_inspector.h"
#include "app/shell/organization_document.h"
#include "core/model/organization_json.h"

#include "app_test_support.h"
#include "chart_fixtures.h"
#include "scripted_dialogs.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <functional>

using namespace AppTest;

namespace {

const QString lockMessage =
    "Current organization is locked. Open Planning & Proposals to edit a named proposal instead.";

// P1 manages P2 and P3; P3 is vacant; the chart "Science" lists P1 and P2.
OrganizationArchive chartedDistrict()
{
    OrganizationArchive archive = district(2);
    archive.organization.positions[2].employee.reset();
    archive.sheets = std::vector<OrganizationSheet>{{"S-SCI", "Science", {"P1", "P2"}}};
    return archive;
}

class PersonActions : public ChartViewFixture {
protected:
    // A document as read from a file: unmodified and with nothing to undo.
    void open(const OrganizationArchive &archive)
    {
        const QString path = dir.filePath("open.json");
        writeBytes(path, QByteArray::fromStdString(archive.encodeDocument()));
        document.load(path);
    }

    const Position &stored(const std::string &id) const
    {
        for (const Position &position : document.archive().organization.positions) {
            if (position.id == id)
                return position;
        }
        throw std::runtime_error("no position " + id);
    }

    std::vector<std::string> versionNotes() const { return revisionNotes(document.archive()); }

    QTemporaryDir dir;
};

TEST_F(PersonActions, UnderThePlanningLockEveryActionIsRefusedWithoutAStep)
{
    OrganizationArchive archive = chartedDistrict();
    archive.lockForPlanning();
    open(archive);
    view.setSelectedSheetID("S-SCI");
    view.setSelectedID("P2");
    const OrganizationArchive before = document.archive();
    const Position p2 = stored("P2");
    const std::vector<std::pair<const char *, std::function<void()>>> alerted{
        {"request vacancy", [&] { view.requestVacancy(p2); }},
        {"confirm vacancy", [&] { view.makeVacantConfirmed("P2"); }},
        {"request deletion", [&] { view.requestDeletion(p2); }},
        {"confirm deletion", [&] { view.deleteConfirmed("P2"); }},
        {"remove from chart", [&] { view.removeSelectedFromChart(); }},
        {"import", [&] { view.importOrganization(); }},
        {"add", [&] { view.addPosition("P1", false); }},
        {"edit", [&] { view.editPosition(p2); }},
    };
    for (const auto &[name, action] : alerted) {
        dialogs.alerts.clear();
        action();
        ASSERT_EQ(dialogs.alerts.size(), 1u) << name;
        EXPECT_EQ(dialogs.alerts[0].title, "Organization Error") << name;
        EXPECT_EQ(dialogs.alerts[0].message, lockMessage) << name;
    }
    // The name field and the sample district are disabled; a call changes nothing silently.
    dialogs.alerts.clear();
    view.setOrganizationName("Typed while locked");
    view.loadSampleDistrict();
    EXPECT_TRUE(dialogs.alerts.empty());
    EXPECT_EQ(document.archive(), before);
    EXPECT_FALSE(document.isModified());
    EXPECT_FALSE(document.canUndo());
    EXPECT_EQ(view.selectedID(), "P2");
}

TEST_F(PersonActions, MakeVacantAsksThenSavesARecoveryVersion)
{
    open(chartedDistrict());
    view.setSelectedID("P2");
    dialogs.choices = {"Cancel", "Make Vacant"};
    view.requestVacancy(stored("P2"));
    EXPECT_FALSE(document.isModified());

    view.requestVacancy(stored("P2"));
    ASSERT_EQ(dialogs.questions.size(), 2u);
    EXPECT_EQ(dialogs.questions[1].title, "Make this position vacant?");
    EXPECT_EQ(dialogs.questions[1].message,
              "Remove Person 2 from Teacher? The position, reporting relationships, FTE, and membership on every "
              "chart are kept. A recovery version is saved first.");
    EXPECT_EQ(dialogs.questions[1].buttons, (QStringList{"Make Vacant", "Cancel"}));
    EXPECT_FALSE(stored("P2").employee);
    EXPECT_EQ(versionNotes(), std::vector<std::string>{"Before making Teacher vacant"});
    EXPECT_EQ(view.selectedID(), "P2");
    EXPECT_EQ(document.undoName(), "Make Vacant");

    // Confirmed for a position that went vacant or away meanwhile: the archive's message.
    view.makeVacantConfirmed("P2");
    view.makeVacantConfirmed("GONE");
    ASSERT_EQ(dialogs.alerts.size(), 2u);
    EXPECT_EQ(dialogs.alerts[0].message, "This position is already vacant.");
    EXPECT_EQ(dialogs.alerts[1].message, "This position no longer exists.");
    EXPECT_EQ(document.history().undoCount(), 1u);
}

TEST_F(PersonActions, DeletingAManagerIsRefusedBeforeAnyQuestion)
{
    open(chartedDistrict());
    view.requestDeletion(stored("P1"));
    EXPECT_TRUE(dialogs.questions.empty());
    ASSERT_EQ(dialogs.alerts.size(), 1u);
    EXPECT_TRUE(dialogs.alerts[0].message.startsWith("Cannot delete: 2 position(s) still report here."))
        << dialogs.alerts[0].message.toStdString();
    EXPECT_TRUE(dialogs.alerts[0].message.contains("Vacant \u2014 Teacher [P3]"));
    EXPECT_FALSE(document.isModified());
}

TEST_F(PersonActions, DeleteAsksWithTheWarningAndDropsTheSelection)
{
    open(chartedDistrict());
    view.setSelectedID("P2");
    dialogs.choices = {"Cancel", "Delete Person & Position Everywhere"};
    view.requestDeletion(stored("P2"));
    EXPECT_EQ(stored("P2").id, "P2");
    view.requestDeletion(stored("P2"));
    const ScriptedDialogs::Question &asked = dialogs.questions.back();
    EXPECT_EQ(asked.title, "Delete this person and position?");
    EXPECT_TRUE(asked.message.endsWith(
        "Also shown on these charts: Science. It will be deleted from those charts too.\n\nA recovery version is saved first."))
        << asked.message.toStdString() << "|";
    EXPECT_EQ(asked.buttons, (QStringList{"Delete Person & Position Everywhere", "Cancel"}));
    EXPECT_EQ(document.archive().organization.positions.size(), 2u);
    EXPECT_EQ(document.archive().sheets->at(0).positionIDs, std::vector<std::string>{"P1"});
    EXPECT_EQ(versionNotes(), std::vector<std::string>{"Before deleting Teacher"});
    EXPECT_FALSE(view.selectedID());

    // Undo brings the person back exactly.
    document.undo();
    EXPECT_EQ(stored("P2").employee->name, "Person 2");
    EXPECT_TRUE(document.archive().revisions.empty());
    EXPECT_FALSE(document.isModified());
}

TEST_F(PersonActions, ReportsAddedAfterTheDeleteRequestKeepPositionAndSelection)
{
    open(chartedDistrict());
    view.setSelectedID("P2");
    document.edit("Move", [](OrganizationArchive &archive) { archive.organization.positions[2].managerID = "P2"; });
    view.deleteConfirmed("P2");
    ASSERT_EQ(dialogs.alerts.size(), 1u);
    EXPECT_TRUE(dialogs.alerts[0].message.startsWith("Cannot delete: 1 position(s) still report here."));
    EXPECT_EQ(stored("P2").id, "P2");
    EXPECT_EQ(view.selectedID(), "P2");
    EXPECT_EQ(document.undoName(), "Move");
}

TEST_F(PersonActions, RemoveFromThisChartActsOnTheSelectionOfTheChartShown)
{
    OrganizationArchive archive = chartedDistrict();
    archive.organization.positions[1].managerID.reset(); // P2 shown on its own, P3 as context of P1
    open(archive);
    view.setSelectedSheetID("S-SCI");
    // Nothing selected: nothing happens and nothing is said.
    view.removeSelectedFromChart();
    EXPECT_TRUE(dialogs.alerts.empty());

    view.setSelectedID("P3");
    view.removeSelectedFromChart();
    ASSERT_EQ(dialogs.alerts.size(), 1u);
    EXPECT_EQ(dialogs.alerts[0].message, "This position is not explicitly included on the selected chart.");
    EXPECT_EQ(view.selectedID(), "P3");

    view.setSelectedID("P2");
    dialogs.choices = {"Remove from This Chart"};
    view.requestRemoveFromChart();
    EXPECT_EQ(dialogs.questions.back().title, "Remove this position from this chart only?");
    EXPECT_EQ(dialogs.questions.back().buttons, (QStringList{"Remove from This Chart", "Cancel"}));
    EXPECT_EQ(document.archive().sheets->at(0).positionIDs, std::vector<std::string>{"P1"});
    EXPECT_EQ(document.archive().organization.positions.size(), 3u);
    EXPECT_EQ(versionNotes(), std::vector<std::string>{"Before removing position from chart"});
    EXPECT_FALSE(view.selectedID());
}

TEST_F(PersonActions, AddingOpensTheEditorOnANewPositionOnly)
{
    open(chartedDistrict());
    std::vector<Position> added;
    QObject::connect(&view, &ChartView::positionAddRequested, [&](const Position &position) { added.push_back(position); });
    view.addPosition(stored("P1").managerID, false); // "Sibling" of the top position
    view.addPosition("P2", true);                    // "Assistant"
    ASSERT_EQ(added.size(), 2u);
    const Position sibling = added[0];
    const Position assistant = added[1];
    EXPECT_FALSE(sibling.managerID);
    EXPECT_EQ(assistant.managerID, "P2");
    EXPECT_TRUE(assistant.isAssistantPosition());
    const QRegularExpression newID("^P-[0-9A-F]{8}$");
    EXPECT_TRUE(newID.match(QString::fromStdString(sibling.id)).hasMatch()) << sibling.id;
    EXPECT_NE(sibling.id, assistant.id);
    EXPECT_EQ(sibling.location, "District Office");
    EXPECT_EQ(sibling.fte, 1.0);
    EXPECT_FALSE(document.isModified());
}

TEST_F(PersonActions, ImportReplacesOnlyTheOrganizationAsOneStep)
{
    OrganizationArchive current = chartedDistrict();
    current.name = "Current District";
    current.groups = std::vector<PositionGroup>{{"group-1", "Teachers", {"P2", "P3"}}};
    open(current);
    view.setExpandedGroups({"group-1"});
    view.setSelectedID("P2");

    OrganizationArchive other = district(4, "Other District");
    other.sheets = std::vector<OrganizationSheet>{{"S-X", "Ignored", {"P1"}}};
    const QString full = dir.filePath("full.json");
    writeBytes(full, QByteArray::fromStdString(other.encodeDocument()));
    dialogs.filesToOpen = {full};
    view.importOrganization();
    ASSERT_TRUE(dialogs.alerts.empty()) << dialogs.alerts[0].message.toStdString();
    EXPECT_EQ(document.archive().organization, other.organization);
    EXPECT_EQ(document.archive().name, "Current District");
    EXPECT_EQ(document.archive().sheets, current.sheets);
    EXPECT_FALSE(document.archive().groups);
    EXPECT_EQ(versionNotes(), std::vector<std::string>{"Before importing organization"});
    EXPECT_EQ(document.archive().revisions[0]->organization.toOrganization(), current.organization);
    EXPECT_TRUE(view.expandedGroups().empty());
    EXPECT_FALSE(view.selectedID());
    EXPECT_EQ(document.history().undoCount(), 1u);
    document.undo();
    EXPECT_EQ(document.archive(), current);

    // A bare organization file is accepted too.
    const QString bare = dir.filePath("bare.json");
    Organization bareOrganization;
    bareOrganization.positions.push_back(person("B1", "Bea"));
    writeBytes(bare, QByteArray::fromStdString(OrganizationJson::encode(bareOrganization).dump()));
    view.importOrganizationFile(bare);
    for (const auto &alert : dialogs.alerts)
        ADD_FAILURE() << alert.message.toStdString();
    EXPECT_EQ(document.archive().organization.positions.at(0).id, "B1");
    EXPECT_EQ(document.archive().name, "Current District");
}

TEST_F(PersonActions, ImportFailuresChangeNothing)
{
    open(chartedDistrict());
    const OrganizationArchive before = document.archive();
    const QString bad = dir.filePath("bad.json");
    writeBytes(bad, "{\"positions\": [");
    const QString invalid = dir.filePath("invalid.json");
    writeBytes(invalid, R"({"positions": [{"id": "A", "title": "T", "department": "D", "location": "L", "fte": 1,
                            "managerID": "MISSING"}]})");
    const QString folder = dir.filePath("folder.json");
    QDir().mkpath(folder);
    // Sparse: a huge size without the disk space.
    const QString huge = dir.filePath("huge.json");
    QFile sparse(huge);
    ASSERT_TRUE(sparse.open(QIODevice::WriteOnly));
    ASSERT_TRUE(sparse.resize(OrganizationDocument::maximumFileBytes + 1));
    sparse.close();

    const std::vector<std::pair<QString, QString>> cases{
        {bad, "This file could not be read as an organization."},
        {invalid, ""}, // the validation message
        {folder, "This file does not contain an organization."},
        {huge, "The file “huge.json” is too large to be an organization"},
    };
    for (const auto &[path, message] : cases) {
        dialogs.alerts.clear();
        view.importOrganizationFile(path);
        ASSERT_EQ(dialogs.alerts.size(), 1u) << path.toStdString();
        EXPECT_TRUE(dialogs.alerts[0].message.startsWith(message)) << dialogs.alerts[0].message.toStdString();
    }
    // Cancelling the chooser says nothing.
    dialogs.filesToOpen = {std::nullopt};
    dialogs.alerts.clear();
    view.importOrganization();
    EXPECT_TRUE(dialogs.alerts.empty());
    EXPECT_EQ(document.archive(), before);
    EXPECT_FALSE(document.canUndo());
}

TEST_F(PersonActions, InspectorSummarisesAVacancyAndItsSchools)
{
    OrganizationArchive archive = chartedDistrict();
    Position &vacancy = archive.organization.positions[2];
    vacancy.location = "North";
    vacancy.fte = 0.75;
    vacancy.schoolAssignments = {{"Oak Elementary", 0.5}, {"Elm Middle", 0.25}};
    open(archive);
    EXPECT_TRUE(std::holds_alternative<std::monostate>(SelectionInspector::strip(view)));
    view.selectPerson("P3");
    const auto strip = std::get<SelectionInspector::PersonStrip>(SelectionInspector::strip(view));
    EXPECT_EQ(strip.title, "Vacant position");
    EXPECT_EQ(strip.subtitle, "Teacher \u00b7 Instruction");
    EXPECT_FALSE(strip.canMakeVacant);
    EXPECT_TRUE(strip.canDelete);
    EXPECT_EQ(strip.moreLines, (QStringList{"Position P3 \u00b7 Employee Unfilled", "0.75 FTE \u00b7 North",
                                            "Oak Elementary: 0.5 FTE", "Elm Middle: 0.25 FTE"}));
    // Only a chart that lists the position offers to take it off.
    EXPECT_FALSE(strip.offersRemoveFromChart);
    view.setSelectedSheetID("S-SCI");
    view.selectPerson("P2");
    EXPECT_TRUE(std::get<SelectionInspector::PersonStrip>(SelectionInspector::strip(view)).offersRemoveFromChart);
    // A selection that is no longer in the organization shows nothing.
    view.setSelectedID("GONE");
    EXPECT_TRUE(std::holds_alternative<std::monostate>(SelectionInspector::strip(view)));
}

// A blank department or location keeps its separator: every line reads in the same columns,
// "Superintendent · " with the department after the dot; the same for a search result's lines.
TEST_F(PersonActions, BlankPartsKeepTheirSeparators)
{
    OrganizationArchive archive = chartedDistrict();
    Position &person = archive.organization.positions[2];
    person.title = "Superintendent";
    person.department.clear();
    person.location.clear();
    open(archive);
    view.selectPerson(person.id);
    const auto strip = std::get<SelectionInspector::PersonStrip>(SelectionInspector::strip(view));
    EXPECT_EQ(strip.subtitle, "Superintendent \u00b7 ");
    EXPECT_EQ(strip.moreLines.value(1), "1 FTE \u00b7 ");
    view.setSearchText("Superintendent");
    const SearchResults results = view.searchResults();
    ASSERT_EQ(results.rows.size(), 1u);
    EXPECT_EQ(results.rows[0].title, "Vacant \u00b7 Superintendent");
    EXPECT_EQ(results.rows[0].detail, "P3 \u00b7  \u00b7 ");
}

// A file may hold an FTE no one could type: it opens, and the inspector cuts it short.
TEST_F(PersonActions, InspectorCutsAnAbsurdFteShort)
{
    OrganizationArchive archive = chartedDistrict();
    Position &vacancy = archive.organization.positions[2];
    vacancy.location = "North";
    vacancy.fte = 1e308;
    open(archive);
    ASSERT_EQ(document.archive().organization.positions[2].fte, 1e308);
    view.selectPerson("P3");
    const auto strip = std::get<SelectionInspector::PersonStrip>(SelectionInspector::strip(view));
    const QString line = strip.moreLines.at(1);
    EXPECT_TRUE(line.endsWith(QStringLiteral("\u2026 FTE \u00b7 North"))) << line.toStdString();
    EXPECT_LE(line.size(), 25);
}

} // namespace

TEST_F(PersonActions, DeletingAManagerIsRefusedBeforeTheQuestionAndAfterIt)
{
    open(chartedDistrict());
    view.requestDeletion(stored("P1"));
    EXPECT_TRUE(dialogs.questions.empty());
    ASSERT_EQ(dialogs.alerts.size(), 1u);
    EXPECT_TRUE(dialogs.alerts[0].message.startsWith("Cannot delete: 2 position(s) still report here."))
        << dialogs.alerts[0].message.toStdString();
    EXPECT_TRUE(dialogs.alerts[0].message.contains("Vacant \u2014 Teacher [P3]"));
    EXPECT_FALSE(document.isModified());

    // Reports added after the request keep the position and the selection.
    view.setSelectedID("P2");
    document.edit("Move", [](OrganizationArchive &archive) { archive.organization.positions[2].managerID = "P2"; });
    view.deleteConfirmed("P2");
    ASSERT_EQ(dialogs.alerts.size(), 2u);
    EXPECT_TRUE(dialogs.alerts[1].message.startsWith("Cannot delete: 1 position(s) still report here."));
    EXPECT_EQ(stored("P2").id, "P2");
    EXPECT_EQ(view.selectedID(), "P2");
    EXPECT_EQ(document.undoName(), "Move");
}
