// Every writer of the program against writes that really fail (a file-size limit, a full
// disk), for content inside Qt's 16 KB file buffer and past 1 MB: the old file stays byte for
// byte, nothing is left beside it, and the writer says why with the file's name instead of
// reporting success.
#include "app/chart/chart_view.h"
#include "app/chart/chart_window.h"
#include "app/chart/version_history.h"
#include "app/import/import_help.h"
#include "app/planning/planning_workspace_controller.h"
#include "app/print/chart_printer.h"
#include "app/print/print_sheet_model.h"
#include "app/shell/document_controller.h"
#include "app/shell/organization_document.h"
#include "app/updates/update_installer.h"
#include "core/support/identifiers.h"

#include "app_test_support.h"
#include "error_of.h"
#include "import/import_flow_fixture.h"
#include "print/print_sheet_test_support.h"
#include "scripted_dialogs.h"
#include "updates/update_test_support.h"
#include "write_failure.h"

#include <gtest/gtest.h>

#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>
#include <QNetworkAccessManager>
#include <QPrinter>
#include <QTemporaryDir>
#include <QTest>

#include <cstddef>
#include <linux/audit.h>
#include <linux/filter.h>
#include <linux/seccomp.h>
#include <sys/prctl.h>
#include <sys/syscall.h>

using namespace WriteFailure;

namespace {

std::string toStd(const QString &text)
{
    return text.toStdString();
}

QString toQt(const std::string &text)
{
    return QString::fromStdString(text);
}

// The last alert's message, marked when the writer also claimed success; "" for a success.
std::string reportedBy(const ScriptedDialogs &dialogs, bool claimedSuccess)
{
    const std::string said = dialogs.alerts.empty() ? "" : toStd(dialogs.alerts.back().message);
    return claimedSuccess && !said.empty() ? said + " [reported as saved]" : said;
}

// A district whose document is about 9 KB, or 1.3 MB.
OrganizationArchive districtOf(Payload payload)
{
    return AppTest::district(payload.isLarge ? 3000 : 20);
}

// Text that compresses poorly, so that a zipped workbook passes 1 MB too.
OrganizationArchive scatteredDistrict(Payload payload)
{
    OrganizationArchive archive = AppTest::district(0);
    for (int i = 0; i < (payload.isLarge ? 10000 : 3); ++i) {
        Position position = AppTest::person("Q" + std::to_string(i), makeUUID(), "P1");
        position.department = makeUUID();
        position.location = makeUUID();
        position.title = makeUUID();
        archive.organization.positions.push_back(std::move(position));
    }
    return archive;
}

// Opens the document at `target`, changes it and saves it in place: what the user was told.
std::string editAndSave(const std::string &target)
{
    ScriptedDialogs dialogs;
    DocumentController controller(dialogs);
    ChartWindow *window = controller.newDocument();
    window->document()->load(toQt(target));
    window->document()->setArchive(AppTest::district(5));
    const bool saved = controller.save(window);
    return reportedBy(dialogs, saved || !window->document()->isModified());
}

// Makes every cut of a file to `length` bytes fail in this process, as a disk that fails then:
// a save writing over a file has touched it by that step. False where the system keeps no
// filters of system calls.
bool failCutsTo(off_t length)
{
    return WriteFailure::filterSystemCall(__NR_ftruncate, uint32_t(length), SECCOMP_RET_ERRNO | EIO);
}


// Opens `doc.json` (which has a second name, so a save writes over it) in a window, edits it,
// and fails the save once it has begun writing over the file, leaving it torn; then hands the
// window to `then`, in a child. What that reports has the folder shown as <folder>.
Outcome afterATornSave(const std::function<std::string(DocumentController &, ChartWindow *, ScriptedDialogs &,
                                                         const std::string &target)> &then)
{
    return attempt(Cause::none, "doc.json", AppTest::district(2).encodeDocument(), 0, [&](const std::string &target) {
        const std::string folder = QFileInfo(toQt(target)).absolutePath().toStdString();
        if (::link(target.c_str(), (folder + "/other.json").c_str()) != 0)
            return cannotRun + "no hard links";
        ScriptedDialogs dialogs;
        DocumentController controller(dialogs);
        ChartWindow *window = controller.newDocument();
        window->document()->load(toQt(target));
        window->document()->setArchive(AppTest::district(5));
        if (!failCutsTo(off_t(AppTest::district(5).encodeDocument().size())))
            return cannotRun + "no system call filters";
        if (controller.save(window))
            return std::string("saved");
        std::string said = then(controller, window, dialogs, target);
        if (const size_t at = said.find(folder); at != std::string::npos)
            said.replace(at, folder.size(), "<folder>");
        return said;
    });
}
} // namespace

// A save that failed once it had begun writing over the file (it has a second name) left it
// torn, with the whole text beside it. The window knows that writing for its own: the next save
// asks nothing about other programs, and once it succeeds the copy goes.
TEST(FailedWrites, AFileLeftTornIsTheWindowsOwnAtTheNextSave)
{
    const Outcome outcome = afterATornSave([](DocumentController &controller, ChartWindow *window,
                                              ScriptedDialogs &dialogs, const std::string &) {
        const std::string said = reportedBy(dialogs, false);
        // The next edit, whose cut the disk takes.
        window->document()->setArchive(AppTest::district(6));
        const bool saved = controller.save(window);
        return said + " | then " + (saved ? "saved" : reportedBy(dialogs, false)) + ", "
            + std::to_string(dialogs.questions.size()) + " questions";
    });
    SKIP_WHEN_IT_CANNOT_RUN(outcome);
    EXPECT_EQ(outcome.childFailure, "");
    EXPECT_EQ(outcome.reported, "The file “doc.json” could not be saved: the disk reported an error. It may be "
                                "incomplete now; its new contents are whole in “<folder>/doc (new contents).json”. | "
                                "then saved, 0 questions");
    EXPECT_EQ(outcome.files, (std::vector<std::string>{"doc.json", "other.json"}));
}

// Closing after a save that left the file torn says that the file on disk is incomplete and
// where its whole contents are, Save the default, also once undo has gone back to what the file
// held; Save then makes the file whole and the copy goes.
TEST(FailedWrites, ClosingAfterASaveLeftTheFileIncompleteSaysWhereItsContentsAre)
{
    const Outcome outcome = afterATornSave([](DocumentController &controller, ChartWindow *window,
                                              ScriptedDialogs &dialogs, const std::string &target) {
        window->document()->undo();
        dialogs.choices.push_back("Cancel");
        const bool closedAtCancel = controller.mayClose(window);
        if (dialogs.questions.empty())
            return std::string("nothing asked");
        const ScriptedDialogs::Question asked = dialogs.questions.back();
        const std::string said = toStd(asked.title + " | " + asked.message + " | " + asked.buttons.join(", ")
                                       + " | default " + asked.defaultButton);
        dialogs.choices.push_back("Save");
        const bool closedAtSave = controller.mayClose(window);
        const bool whole = OrganizationDocument::readFile(toQt(target)) == AppTest::district(2);
        return said + (closedAtCancel ? " | closed at Cancel" : "") + (closedAtSave ? " | saved" : " | not saved")
            + (whole ? "" : " | the file is not whole") + " | " + std::to_string(dialogs.questions.size())
            + " questions";
    });
    SKIP_WHEN_IT_CANNOT_RUN(outcome);
    EXPECT_EQ(outcome.childFailure, "");
    EXPECT_EQ(outcome.reported, "Save Changes Before Closing | Do you want to save the document “doc.json”? Its file on "
                                "disk is incomplete, because a save did not finish; its whole contents are in "
                                "“<folder>/doc (new contents).json”. | Save, Don't Save, Cancel | default Save | saved "
                                "| 2 questions");
    EXPECT_EQ(outcome.files, (std::vector<std::string>{"doc.json", "other.json"}));
}

TEST(FailedWrites, SavingADocumentOverAnother)
{
    // A full disk is asked for the whole document at once, and the message says how much lacks.
    const auto message = [](Cause cause, Payload payload) {
        if (cause != Cause::fullDisk)
            return savedMessage(cause, "doc.json");
        return std::string("The file “doc.json” could not be saved: the disk is full; the save needs ")
            + (payload.isLarge ? "1016 KB" : "12 KB") + " more free space.";
    };
    expectEveryFailureRefused("doc.json", message,
                              [](const std::string &target, Payload payload) {
                                  ScriptedDialogs dialogs;
                                  DocumentController controller(dialogs);
                                  ChartWindow *window = controller.newDocument();
                                  window->document()->setArchive(districtOf(payload));
                                  dialogs.filesToSave.push_back(toQt(target));
                                  const bool saved = controller.saveAs(window);
                                  return reportedBy(dialogs, saved || !window->document()->isModified());
                              });
}

// Saving over a read-only document, as Save As and as Save of the file the window opened.
TEST(FailedWrites, SavingOverAReadOnlyDocument)
{
    expectReadOnlyRefused("doc.json", [](const std::string &target) {
        ScriptedDialogs dialogs;
        DocumentController controller(dialogs);
        ChartWindow *window = controller.newDocument();
        window->document()->setArchive(AppTest::district(5));
        dialogs.filesToSave.push_back(toQt(target));
        const bool saved = controller.saveAs(window);
        return reportedBy(dialogs, saved || !window->document()->isModified());
    });
    expectReadOnlyRefused(
        "doc.json",
        editAndSave,
        AppTest::district(2).encodeDocument());
}

// A document shared through an access list that the new file cannot carry keeps its list: it
// takes the saved bytes itself.
TEST(FailedWrites, SavingOverADocumentWhoseAccessListCannotBeCopied)
{
    const Outcome outcome =
        attempt(Cause::unkeepableAccessList, "doc.json", AppTest::district(2).encodeDocument(), 0,
                [](const std::string &target) {
                    const std::optional<std::string> before = AccessList::of(target);
                    const std::string said = editAndSave(target);
                    const bool saved = OrganizationDocument::readFile(toQt(target)) == AppTest::district(5);
                    return said + (AccessList::of(target) == before ? "" : " [the list changed]")
                        + (saved ? "" : " [not saved]");
                });
    SKIP_WHEN_IT_CANNOT_RUN(outcome);
    EXPECT_EQ(outcome.childFailure, "");
    EXPECT_EQ(outcome.reported, "");
    EXPECT_EQ(outcome.files, std::vector<std::string>{"doc.json"});
}

TEST(FailedWrites, TheBackupBeforeABaseline)
{
    expectEveryFailureRefused(
        "backup.json",
        [](Cause cause, Payload) { return "The backup \u201cbackup.json\u201d could not be saved: " + reasonOf(cause) + "."; },
        [](const std::string &target, Payload payload) {
            ScriptedDialogs dialogs;
            OrganizationDocument document;
            // A saved version doubles the document.
            OrganizationArchive archive = AppTest::district(payload.isLarge ? 3000 : 10);
            archive.checkpoint("before");
            document.setArchive(archive);
            ChartView view(document, dialogs);
            dialogs.filesToSave.push_back(toQt(target));
            VersionHistory::of(view).setBaseline(true);
            return reportedBy(dialogs, document.archive().revisions.empty());
        });
}

TEST(FailedWrites, TheWorkbookExport)
{
    // Past the limit the library's scratch files fail first, and without a reason; otherwise
    // the workbook itself fails.
    const auto message = [](Cause cause, Payload payload) {
        return cause == Cause::fileSizeLimit && payload.isLarge
            ? "The file \u201call.xlsx\u201d could not be saved: the workbook could not be written whole; the disk may be full."
            : savedMessage(cause, "all.xlsx");
    };
    expectEveryFailureRefused("all.xlsx", message,
                              [](const std::string &target, Payload payload) {
                                  ScriptedDialogs dialogs;
                                  OrganizationDocument document;
                                  document.setArchive(scatteredDistrict(payload));
                                  ChartView view(document, dialogs);
                                  dialogs.filesToSave.push_back(toQt(target));
                                  view.exportWorkbook(ChartView::WorkbookScope::allCharts);
                                  return reportedBy(dialogs, false);
                              });
}

TEST(FailedWrites, TheChangeReport)
{
    // Every person of the proposal renamed: one report line each.
    const auto makeReport = [](OrganizationDocument &document, ScriptedDialogs &dialogs, Payload payload) {
        document.setArchive(AppTest::district(payload.isLarge ? 12000 : 40));
        auto controller = std::make_unique<PlanningWorkspaceController>(document, std::string(), dialogs);
        controller->lockCurrent();
        controller->setProposalName("Option A");
        controller->createProposal();
        document.edit([](OrganizationArchive &archive) {
            for (Position &position : archive.planning->proposals.front().state.organization.positions)
                position.employee->name += " Junior";
        });
        return controller;
    };
    expectEveryFailureRefused("report.txt", [](Cause cause, Payload) { return savedMessage(cause, "report.txt"); },
                              [&](const std::string &target, Payload payload) {
                                  ScriptedDialogs dialogs;
                                  OrganizationDocument document;
                                  auto controller = makeReport(document, dialogs, payload);
                                  dialogs.filesToSave.push_back(toQt(target));
                                  controller->exportReport();
                                  return reportedBy(dialogs, false);
                              });
}

TEST(FailedWrites, ThePDFExport)
{
    // One card with short texts and no headings makes the smallest PDF there is.
    const auto chartOf = [](Payload payload) {
        ChartPrintSettings settings;
        if (payload.isLarge) {
            // Texts of their own on every card: the PDF cannot share them.
            Organization organization = PrintTest::chart(3000);
            for (Position &position : organization.positions) {
                position.employee->name = makeUUID();
                position.customJobTitle = makeUUID();
            }
            settings.scalePercent = 50;
            return PrintSheetModel::Input{organization, "", "", settings};
        }
        Organization organization;
        organization.positions.push_back(Position{.id = "A", .title = "T", .department = "D"});
        return PrintSheetModel::Input{organization, "", "", settings};
    };
    PrintTest::FakeHost host;
    PrintTest::FakePrinter printer;
    expectEveryFailureRefused("chart.pdf", [](Cause cause, Payload) { return savedMessage(cause, "chart.pdf"); },
                              [&](const std::string &target, Payload payload) {
                                  ScriptedDialogs dialogs;
                                  PrintSheetModel model(chartOf(payload), host, dialogs, printer);
                                  dialogs.filesToSave.push_back(toQt(target));
                                  model.exportPDF();
                                  (void)QTest::qWaitFor([&] { return !model.isBusy(); }, 60'000);
                                  const std::string said = toStd(model.errorMessage().value_or(""));
                                  const bool claimed = model.resultMessage().has_value();
                                  return claimed && !said.empty() ? said + " [reported as saved]" : said;
                              });
}

// Print to File with the same charts: the print dialog chose a PDF file.
TEST(FailedWrites, PrintToFile)
{
    const auto chartOf = [](Payload payload) {
        ChartPrintSettings settings;
        Organization organization;
        if (payload.isLarge) {
            organization = PrintTest::chart(3000);
            for (Position &position : organization.positions) {
                position.employee->name = makeUUID();
                position.customJobTitle = makeUUID();
            }
            settings.scalePercent = 50;
        } else {
            organization.positions.push_back(Position{.id = "A", .title = "T", .department = "D"});
        }
        return PrintSheetModel::Input{organization, "", "", settings};
    };
    PrintTest::FakeHost host;
    // Made here, not in the forked child, which leaves without removing it.
    const PrintQueue::Commands printSystem = PrintTest::standInPrintSystem();
    expectEveryFailureRefused("chart.pdf", [](Cause cause, Payload) { return savedMessage(cause, "chart.pdf"); },
                              [&](const std::string &target, Payload payload) {
                                  ScriptedDialogs dialogs;
                                  SystemChartPrinter printer([&](QPrinter &chosen, int) {
                                      chosen.setOutputFormat(QPrinter::PdfFormat);
                                      chosen.setOutputFileName(toQt(target));
                                      return true;
                                  }, printSystem);
                                  PrintSheetModel model(chartOf(payload), host, dialogs, printer);
                                  model.printChart();
                                  (void)QTest::qWaitFor([&] { return !model.isBusy(); }, 60'000);
                                  const std::string said = toStd(model.errorMessage().value_or(""));
                                  const bool claimed = model.resultMessage().has_value();
                                  return claimed && !said.empty() ? said + " [reported as saved]" : said;
                              });
}

TEST(FailedWrites, TheCorrectionDraft)
{
    // Loaded here: a child process has none of the worker threads the load runs on.
    ImportTest::FlowFixture smallFlow, largeFlow;
    for (const Payload payload : payloads) {
        ImportTest::FlowFixture &f = payload.isLarge ? largeFlow : smallFlow;
        f.sheets = {ImportTest::staffSheet()};
        for (int i = 0; i < (payload.isLarge ? 8000 : 40); ++i)
            f.sheets[0].rows.push_back({"N" + std::to_string(i), makeUUID() + makeUUID(), "Teacher " + makeUUID(), "E10"});
        f.load();
    }
    expectEveryFailureRefused("draft.vantrelimport",
                              [](Cause cause, Payload) { return savedMessage(cause, "draft.vantrelimport"); },
                              [&](const std::string &target, Payload payload) {
                                  ImportTest::FlowFixture &f = payload.isLarge ? largeFlow : smallFlow;
                                  f.dialogs.filesToSave.push_back(toQt(target));
                                  f.dialogs.confirmations.push_back(true); // replace the old draft
                                  f.flow->saveDraft();
                                  return toStd(f.flow->errorMessage().value_or(""));
                              });
}

TEST(FailedWrites, TheImportTemplateCopy)
{
    // Templates of both payloads, written before any limit holds.
    QTemporaryDir smallTemplate, largeTemplate;
    for (const Payload payload : payloads)
        AppTest::writeBytes(QDir((payload.isLarge ? largeTemplate : smallTemplate).path()).filePath(ImportHelp::templateFileName),
                            QByteArray(payload.isLarge ? 1200 * 1024 : 9000, 'T'));
    expectEveryFailureRefused("template.xlsx", [](Cause cause, Payload) { return savedMessage(cause, "template.xlsx"); },
                              [&](const std::string &target, Payload payload) {
                                  ScriptedDialogs dialogs;
                                  dialogs.filesToSave.push_back(toQt(target));
                                  return errorOf([&] {
                                      ImportHelp::saveTemplate(dialogs, (payload.isLarge ? largeTemplate : smallTemplate).path());
                                  });
                              });
}

// The download is not replacing anything: it must never reach the route unless whole, and
// nothing of it may stay in the folder.
TEST(FailedWrites, TheUpdateDownload)
{
    // The route is found before the download starts; what counts is whether it gets a file.
    struct CountingRoute final : InstallRoute {
        explicit CountingRoute(int &installs) : installs(installs) {}
        void install(const QString &, std::function<void(InstallProgress)>,
                     std::function<void(std::optional<QString>)> done) override
        {
            ++installs;
            done(std::nullopt);
        }
        int &installs;
    };
    for (const Cause cause : causes) {
        for (const Payload payload : payloads) {
            SCOPED_TRACE(std::string(nameOf(cause)) + ", " + payload.name + " payload");
            const Outcome outcome = attempt(cause, "other.txt", "not ours", payload.room, [&](const std::string &other) {
                UpdateTest::LocalServer server;
                server.body = QByteArray(payload.isLarge ? 1200 * 1024 : 10 * 1024, 'x');
                UpdateManifest release = UpdateTest::release();
                release.size = server.body.size();
                release.sha256 = QCryptographicHash::hash(server.body, QCryptographicHash::Sha256).toHex().toStdString();
                QNetworkAccessManager network;
                int installs = 0;
                PackageInstaller installer(
                    network, QDir(QFileInfo(toQt(other)).path()),
                    [&]() -> std::unique_ptr<InstallRoute> { return std::make_unique<CountingRoute>(installs); },
                    QUrl(server.address()));
                std::optional<std::optional<QString>> outcome;
                installer.install(release, {}, [&](std::optional<QString> failure) { outcome = std::move(failure); });
                (void)QTest::qWaitFor([&] { return outcome.has_value(); }, 60'000);
                if (installs > 0 || !outcome || !*outcome)
                    return std::string("[handed to the installer]");
                return toStd(**outcome);
            });
            if (outcome.skipped)
                continue;
            EXPECT_EQ(outcome.childFailure, "");
            EXPECT_EQ(outcome.reported, savedMessage(cause, "vantrel-update-57.deb"));
            EXPECT_TRUE(outcome.targetKept);
            EXPECT_EQ(outcome.files, std::vector<std::string>{"other.txt"});
        }
    }
}
