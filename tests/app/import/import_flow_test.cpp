#include "import_flow_fixture.h"

#include "app/import/import_help.h"
#include "core/import/import_draft.h"
#include "error_of.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSignalSpy>
#include <QTemporaryDir>

using namespace ImportTest;
using Step = ImportFlow::Step;

TEST(ImportFlow, OpensOnTheTemplateSheetOrTheFirstAndOnlyASheetUnlocksTheSteps)
{
    struct Case {
        std::vector<std::string> names;
        std::string opened;
    };
    for (const Case &c : std::vector<Case>{
             {{"Instructions", "TEMPLATE"}, "TEMPLATE"},
             {{"North", "South"}, "North"},
             {{}, ""},
         }) {
        FlowFixture f;
        f.sheets.clear();
        for (const std::string &name : c.names)
            f.sheets.push_back(staffSheet(name));
        f.load();
        EXPECT_EQ(f.flow->sheetName(), c.opened);
        EXPECT_EQ(f.flow->step(), Step::file);
        EXPECT_EQ(f.flow->canShow(Step::columns), !c.names.empty());
        EXPECT_EQ(f.flow->canPressPrimary(), !c.names.empty());
    }
}

TEST(ImportFlow, AReadingErrorLeavesNoSheetAndKeepsTheFileName)
{
    FlowFixture f;
    f.load("first.csv");
    ASSERT_NE(f.flow->sheet(), nullptr);
    f.readError = "Imports support up to 20,000 worksheet rows.";
    f.load("huge.xlsx");
    EXPECT_EQ(f.flow->errorMessage(), "Imports support up to 20,000 worksheet rows.");
    EXPECT_EQ(f.flow->sheet(), nullptr);
    EXPECT_EQ(f.flow->fileName(), "huge.xlsx");
    EXPECT_FALSE(f.flow->canShow(Step::corrections));
    EXPECT_FALSE(f.flow->isLoading());
    EXPECT_TRUE(f.flow->canChooseFile());
}

TEST(ImportFlow, ReadsARealCSVOffTheMainThreadBehindTheBusyState)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("staff.CSV");
    AppTest::writeBytes(path, "Employee Number,Employee Name,Pay Level\nE10,Ada,Superintendent\n");
    ScriptedDialogs dialogs;
    ImportFlow flow(Organization(), [](const Organization &, ImportMode) {}, dialogs);
    dialogs.filesToOpen.push_back(path);
    flow.chooseFile();
    EXPECT_TRUE(flow.isLoading());
    EXPECT_FALSE(flow.canChooseFile());
    EXPECT_FALSE(flow.canPressPrimary());
    flow.chooseFile(); // no second chooser while reading
    settle(flow);
    EXPECT_TRUE(dialogs.exhausted());
    EXPECT_EQ(flow.sheetName(), "CSV");
    EXPECT_EQ(flow.mapping(), (ImportMapping{{ImportField::employeeID, 0}, {ImportField::name, 1}, {ImportField::title, 2}}));
}

TEST(ImportFlow, SheetOrHeaderRowChangesResuggestTheMappingWhileModeAndReferencesKeepIt)
{
    FlowFixture f;
    ImportSheet second = staffSheet("Second");
    second.rows.insert(second.rows.begin(), {"District staff export"});
    f.sheets.push_back(second);
    f.load();
    const ImportMapping suggested = f.flow->mapping();
    EXPECT_EQ(suggested.at(ImportField::manager), 3);

    f.flow->chooseColumn(ImportField::jobTitle, "2");
    f.flow->setMode(ImportMode::update);
    f.flow->setReferences(ManagerReferences::positionIDs);
    EXPECT_EQ(f.flow->mapping().at(ImportField::jobTitle), 2);

    f.flow->setHeaderRow(2);
    EXPECT_FALSE(f.flow->mapping().contains(ImportField::jobTitle));
    EXPECT_EQ(f.flow->columnOptions()[1].detail, "E11"); // samples come from the row below the header

    // Another sheet starts again at header row 1: its title row maps nothing.
    f.flow->chooseColumn(ImportField::jobTitle, "2");
    f.flow->setSheetName("Second");
    EXPECT_EQ(f.flow->headerRow(), 1);
    EXPECT_TRUE(f.flow->mapping().empty());
    f.flow->setHeaderRow(2);
    EXPECT_EQ(f.flow->mapping(), suggested);
}

TEST(ImportFlow, GuessesManagerReferencesFromTheOrganizationExceptWhenReplacing)
{
    for (const ImportMode mode : {ImportMode::add, ImportMode::replace}) {
        FlowFixture f;
        // The managers are the open district's Position IDs; no employee number matches them.
        f.sheets = {sheet("Staff", {{"Employee Number", "Pay Level", "Manager ID"}, {"E50", "Teacher", "P1"}, {"E51", "Teacher", "P2"}})};
        f.flow->setMode(mode);
        f.load();
        EXPECT_EQ(f.flow->references(), mode == ImportMode::add ? ManagerReferences::positionIDs : ManagerReferences::employeeNumbers);
    }
}

TEST(ImportFlow, ADraftSavedAndReopenedRestoresTheCorrectedImport)
{
    QTemporaryDir dir;
    FlowFixture f;
    f.load();
    f.flow->setCell(3, 3, "E11");
    f.flow->setCell(2, 5, "padded");
    f.flow->chooseColumn(ImportField::location, "1");
    f.flow->setMode(ImportMode::update);
    f.flow->setReferences(ManagerReferences::positionIDs);
    f.flow->showStep(Step::corrections);
    f.flow->setRowFilter(ImportRowFilter::errors);
    const ImportSheet corrected = *f.flow->sheet();
    const ImportMapping mapping = f.flow->mapping();

    const QString path = dir.filePath("Import Corrections.VANTRELIMPORT");
    f.dialogs.filesToSave.push_back(path);
    f.flow->saveDraft();
    EXPECT_EQ(f.dialogs.proposedSavePaths, QStringList{"Import Corrections.vantrelimport"});
    EXPECT_FALSE(f.flow->errorMessage());

    f.restart();
    f.load(path);
    EXPECT_EQ(f.flow->step(), Step::corrections);
    EXPECT_EQ(*f.flow->sheet(), corrected);
    EXPECT_EQ(f.flow->headerRow(), 1);
    EXPECT_EQ(f.flow->mapping(), mapping);
    EXPECT_EQ(f.flow->mode(), ImportMode::update);
    EXPECT_EQ(f.flow->references(), ManagerReferences::positionIDs);
    EXPECT_EQ(f.flow->rowFilter(), ImportRowFilter::all);

    // A later spreadsheet replaces the draft's sheet but keeps its mode.
    f.load("next.xlsx");
    EXPECT_EQ(f.flow->step(), Step::file);
    EXPECT_EQ(f.flow->mode(), ImportMode::update);
    EXPECT_EQ(f.flow->sheets(), f.sheets);
}

// Only the draft's own extension opens as a draft again: every name that does not end so,
// whatever dots it holds, is kept whole and gets it appended, and a file of the new name is
// replaced only when the user agrees.
TEST(ImportFlow, EverySavedDraftGetsTheDraftExtensionAndReopens)
{
    QTemporaryDir dir;
    FlowFixture f;
    f.load();
    f.flow->setMode(ImportMode::update);
    for (const auto &[typed, saved] : std::vector<std::pair<QString, QString>>{
             {"draft1.json", "draft1.json.vantrelimport"},
             {"Dr.Smith corrections", "Dr.Smith corrections.vantrelimport"},
             {"Plan 2026.Q1", "Plan 2026.Q1.vantrelimport"},
             {"Corrections v1.2", "Corrections v1.2.vantrelimport"},
             {"plain", "plain.vantrelimport"},
             {"Mine.VantrelImport", "Mine.VantrelImport"},
         }) {
        f.dialogs.filesToSave.push_back(dir.filePath(typed));
        f.flow->saveDraft();
        EXPECT_FALSE(QFileInfo::exists(dir.filePath(typed)) && typed != saved) << typed.toStdString();
        ASSERT_TRUE(QFileInfo::exists(dir.filePath(saved))) << saved.toStdString();
    }
    EXPECT_FALSE(f.flow->errorMessage());

    FlowFixture reopened;
    reopened.load(dir.filePath("draft1.json.vantrelimport"));
    EXPECT_FALSE(reopened.flow->errorMessage());
    EXPECT_EQ(reopened.flow->step(), Step::corrections);
    EXPECT_EQ(reopened.flow->mode(), ImportMode::update);

    // "draft1.json.vantrelimport" is there now; the panel only asked about "draft1.json".
    AppTest::writeBytes(dir.filePath("draft1.json.vantrelimport"), "kept");
    f.dialogs.filesToSave.push_back(dir.filePath("draft1.json"));
    f.dialogs.confirmations.push_back(false);
    f.flow->saveDraft();
    QFile kept(dir.filePath("draft1.json.vantrelimport"));
    ASSERT_TRUE(kept.open(QIODevice::ReadOnly));
    EXPECT_EQ(kept.readAll(), "kept");
    EXPECT_TRUE(f.dialogs.exhausted());
}

// The save panel asks about no name (it would ask about the one typed, "w1.json", which is
// not written); the flow asks about the draft it writes, when that one exists, exactly as
// typed or completed, and Cancel keeps it.
TEST(ImportFlow, TheReplaceQuestionNamesTheDraftWritten)
{
    QTemporaryDir dir;
    FlowFixture f;
    f.load();
    const auto contentOf = [&](const QString &name) {
        QFile file(dir.filePath(name));
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    };
    AppTest::writeBytes(dir.filePath("w1.json"), "the open organization");
    f.dialogs.filesToSave.push_back(dir.filePath("w1.json"));
    f.flow->saveDraft();
    EXPECT_EQ(contentOf("w1.json"), "the open organization");
    EXPECT_TRUE(QFileInfo::exists(dir.filePath("w1.json.vantrelimport")));
    EXPECT_EQ(f.dialogs.unconfirmedSavePaths, QStringList{"Import Corrections.vantrelimport"});
    EXPECT_TRUE(f.dialogs.confirmQuestions.isEmpty());

    for (const QString &typed : {QStringLiteral("w1.json"), QStringLiteral("w1.json.vantrelimport")}) {
        for (const bool replace : {false, true}) {
            AppTest::writeBytes(dir.filePath("w1.json.vantrelimport"), "earlier draft");
            f.dialogs.confirmQuestions.clear();
            f.dialogs.filesToSave.push_back(dir.filePath(typed));
            f.dialogs.confirmations.push_back(replace);
            f.flow->saveDraft();
            EXPECT_EQ(f.dialogs.confirmQuestions,
                      QStringList{"“w1.json.vantrelimport” already exists. Do you want to replace it?"});
            EXPECT_EQ(contentOf("w1.json.vantrelimport") == "earlier draft", !replace) << typed.toStdString();
        }
    }
    EXPECT_EQ(contentOf("w1.json"), "the open organization");
    EXPECT_FALSE(f.flow->errorMessage());
    EXPECT_TRUE(f.dialogs.exhausted());
}

TEST(ImportFlow, RefusedDraftsLeaveNoSheet)
{
    QTemporaryDir dir;
    ImportDraft outOfBounds{.sheet = staffSheet(), .headerRow = 4};
    struct Case {
        QByteArray bytes;
        QString message;
    };
    for (const Case &c : std::vector<Case>{
             {QByteArray::fromStdString(outOfBounds.encode()), "Invalid correction draft dimensions or mapping."},
             {R"({"sheet":{"name":"S","rows":[["a"]]},"headerRow":0,"mapping":["Shoe Size",0],"employeeReferences":true,"mode":"Replace Organization"})",
              "Unknown import field: Shoe Size"},
         }) {
        FlowFixture f;
        const QString path = dir.filePath("draft.vantrelimport");
        AppTest::writeBytes(path, c.bytes);
        f.load(path);
        EXPECT_EQ(f.flow->errorMessage(), c.message);
        EXPECT_TRUE(f.flow->sheets().empty());
        EXPECT_EQ(f.flow->step(), Step::file);
    }
}

TEST(ImportFlow, EditsAndMappingChangesReviewAgainOncePerTurn)
{
    FlowFixture f;
    f.load();
    f.flow->showStep(Step::corrections);
    EXPECT_EQ(f.flow->countsText().toStdString(), "3 rows · 1 errors · 3 warnings");
    EXPECT_FALSE(f.flow->canPressPrimary());

    f.flow->setRowFilter(ImportRowFilter::errors);
    EXPECT_EQ(f.flow->shownRows(), std::vector<int>{3});
    ASSERT_EQ(f.flow->rowMessages(3, ImportMessageKind::error).size(), 1u);
    EXPECT_TRUE(f.flow->rowMessages(3, ImportMessageKind::error)[0].starts_with("Row 4: "));

    QSignalSpy reviewed(f.flow.get(), &ImportFlow::reviewChanged);
    f.flow->setCell(3, 3, "E1");
    f.flow->setCell(3, 3, "E11"); // the keystroke that fixes the last error
    EXPECT_TRUE(f.flow->canPressPrimary());
    EXPECT_TRUE(f.flow->shownRows().empty());
    EXPECT_EQ(f.flow->countsText().toStdString(), "0 rows · 0 errors · 3 warnings"); // only the row count follows the filter
    settle(*f.flow);
    EXPECT_EQ(reviewed.count(), 1);

    f.flow->chooseColumn(ImportField::title, "-1");
    EXPECT_EQ(f.flow->review()->errors.front(), "Map Pay Level (or a legacy Position / Title column).");
    EXPECT_FALSE(f.flow->canPressPrimary());
}

TEST(ImportFlow, CellsOutsideTheSheetReadEmptyAndTakeNoWrites)
{
    FlowFixture f;
    f.sheets = {sheet("Dup", {{"Employee Number"}, {"E1"}}), sheet("Dup", {{"Other"}})};
    f.load();
    f.flow->setCell(1, 2, "x");
    f.flow->setCell(2, 0, "dropped");
    f.flow->setCell(-1, 0, "dropped");
    EXPECT_EQ(f.flow->sheets()[0].rows, (std::vector<std::vector<std::string>>{{"Employee Number"}, {"E1", "", "x"}}));
    EXPECT_EQ(f.flow->sheets()[1], f.sheets[1]);
    EXPECT_EQ(f.flow->cell(1, 7), "");
    EXPECT_EQ(f.flow->cell(5, 0), "");
}

TEST(ImportFlow, ApplyCallsTheActionOnceThenClosesAndARefusalKeepsTheWindow)
{
    FlowFixture f;
    f.load();
    f.flow->setCell(3, 3, "E11");
    f.flow->showStep(Step::corrections);
    f.flow->setMode(ImportMode::replace);
    QSignalSpy closed(f.flow.get(), &ImportFlow::closeRequested);

    f.refusal = "This document changed while the import window was open.";
    f.flow->pressPrimary();
    EXPECT_EQ(f.flow->errorMessage(), QString::fromStdString(f.refusal));
    EXPECT_EQ(closed.count(), 0);

    f.refusal.clear();
    f.flow->pressPrimary();
    ASSERT_EQ(f.applied.size(), 2u);
    EXPECT_EQ(f.applied[1].second, ImportMode::replace);
    EXPECT_EQ(f.applied[1].first.positions.size(), 3u);
    EXPECT_EQ(closed.count(), 1);
}

TEST(ImportFlow, StepThreeWidensWithItsColumns)
{
    FlowFixture f;
    f.load();
    QSignalSpy widths(f.flow.get(), &ImportFlow::widthChanged);
    f.flow->showStep(Step::corrections);
    EXPECT_EQ(f.flow->minimumWidth(), 960); // four columns
    f.flow->setCell(1, 4, "fifth");
    EXPECT_EQ(f.flow->minimumWidth(), 1000);
    settle(*f.flow);
    f.flow->showStep(Step::columns);
    EXPECT_EQ(f.flow->minimumWidth(), 960);
    settle(*f.flow);
    EXPECT_EQ(widths.count(), 2);
    EXPECT_EQ(widths.last().at(0).toInt(), 960);
}

TEST(ImportFlow, SavesTheTemplateOverTheChosenFileAndACancelWritesNothing)
{
    QTemporaryDir dir;
    const QString destination = dir.filePath("mine.xlsx");
    AppTest::writeBytes(destination, "old");
    FlowFixture f;
    f.dialogs.filesToSave = {std::nullopt, destination};
    f.flow->saveTemplate();
    EXPECT_EQ(AppTest::readBytes(destination), "old");
    f.flow->saveTemplate();
    EXPECT_EQ(AppTest::readBytes(destination),
              AppTest::readBytes(QDir(ImportHelp::resourceDirectory()).filePath(ImportHelp::templateFileName)));
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList{"mine.xlsx"}); // no temporary file left
    EXPECT_EQ(f.dialogs.proposedSavePaths, QStringList(2, "Vantrel Import Workbook.xlsx"));
    EXPECT_FALSE(f.flow->errorMessage());

    // A missing template is said before any panel opens.
    EXPECT_EQ(errorOf([&] { ImportHelp::saveTemplate(f.dialogs, dir.filePath("nowhere")); }),
              "The import template is not available.");
}
