#include "app/print/print_sheet_model.h"

#include "print_sheet_test_support.h"
#include "scripted_dialogs.h"

#include <gtest/gtest.h>

#include <future>
#include <thread>

#include <QCoreApplication>
#include <QThread>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

using namespace PrintTest;

namespace {

struct Written {
    std::string sheetName;
    std::string title;
    QString folder;
};

class PrintExport : public ::testing::Test {
protected:
    PrintExport()
    {
        OrganizationArchive archive = AppTest::district(3);
        archive.sheets = std::vector<OrganizationSheet>{
            {"S1", "Alpha", {"P1", "P2"}}, {"S2", "Beta", {"P3"}}, {"S3", "Gamma", {"P1"}}};
        host.document = archive;
    }
    void TearDown() override { EXPECT_TRUE(dialogs.exhausted()); }

    // A sheet whose writer records each job, checks the progress shown while it writes,
    // and runs `during` for the job it is given.
    PrintSheetModel &make(const std::function<void(const SheetPDFExportJob &)> &during = {},
                          ChartPrintSettings settings = {})
    {
        model = std::make_unique<PrintSheetModel>(input(chart(1), settings), host, dialogs, printer);
        model->setSheetWriter([this, during](const SheetPDFExportJob &job, const QString &folder) {
            EXPECT_EQ(model->exportingSheetName().toStdString(), job.sheetName);
            EXPECT_EQ(model->exportedSheetCount(), int(written.size()));
            written.push_back({job.sheetName, job.title, folder});
            if (during)
                during(job);
            return folder + "/" + QString::fromStdString(job.filename);
        });
        return *model;
    }

    // Turns of the event loop until the export ends; false when it never does.
    bool finish()
    {
        for (int turn = 0; turn < 100 && model && model->isExporting(); ++turn)
            QCoreApplication::processEvents();
        return !model || !model->isExporting();
    }

    FakeHost host;
    FakePrinter printer;
    ScriptedDialogs dialogs;
    std::unique_ptr<PrintSheetModel> model;
    std::vector<Written> written;
};

TEST_F(PrintExport, WritesEveryChartOnePerTurnFromTheDocumentAsItIsNow)
{
    PrintSheetModel &sheet = make([this](const SheetPDFExportJob &) {
        // While it runs: no settings change, no second export, no closing.
        ChartPrintSettings other = model->settings();
        other.scalePercent = 50;
        model->setSettings(other);
        EXPECT_EQ(model->settings().scalePercent, 100);
        EXPECT_FALSE(model->canOutput());
        EXPECT_FALSE(model->close());
    });
    // A heading typed after the sheet opened is exported.
    host.document->sheets->at(0).pageTitle = "Typed Title";
    dialogs.folders.push_back("/tmp/out");
    sheet.exportAllSheets();
    ASSERT_EQ(dialogs.questions.size(), 1u);
    EXPECT_EQ(dialogs.questions[0].message, "Choose a folder for 3 PDFs using the shared print settings. Existing "
                                            "files will be kept; duplicate filenames receive a numbered suffix.");
    EXPECT_TRUE(sheet.isExporting());
    EXPECT_TRUE(written.empty()); // nothing before the event loop had a turn

    ASSERT_TRUE(finish());
    ASSERT_EQ(written.size(), 3u);
    EXPECT_EQ(written[0].title, "Typed Title");
    EXPECT_EQ(written[2].sheetName, "Gamma");
    EXPECT_EQ(sheet.resultMessage(), "Exported 3 of 3 sheet PDFs to out. Existing files were not replaced.");
    EXPECT_FALSE(sheet.errorMessage());
    EXPECT_TRUE(sheet.canOutput());
    EXPECT_TRUE(host.commits.empty()); // Export All never writes the settings back
}

TEST_F(PrintExport, AFailingChartIsReportedWhileTheOthersContinue)
{
    PrintSheetModel &sheet = make([](const SheetPDFExportJob &job) {
        if (job.sheetName == "Beta")
            throw OrganizationError::invalid("The disk is full.");
    });
    dialogs.folders.push_back("/tmp/out/");
    sheet.exportAllSheets();
    ASSERT_TRUE(finish());
    EXPECT_EQ(written.size(), 3u);
    EXPECT_EQ(sheet.resultMessage(), "Exported 2 of 3 sheet PDFs to out. Existing files were not replaced.");
    EXPECT_EQ(sheet.errorMessage(), "Beta: The disk is full.");
}

TEST_F(PrintExport, CancelStopsAfterTheChartBeingWritten)
{
    PrintSheetModel &sheet = make([this](const SheetPDFExportJob &) { model->cancelExport(); });
    dialogs.folders.push_back("/tmp/out");
    sheet.exportAllSheets();
    ASSERT_TRUE(finish());
    EXPECT_EQ(written.size(), 1u);
    EXPECT_EQ(sheet.resultMessage(), "Exported 1 of 3 sheet PDFs to out. Existing files were not replaced.");
}

TEST_F(PrintExport, ASheetGoneMidExportWritesNothingMore)
{
    PrintSheetModel &sheet = make();
    dialogs.folders.push_back("/tmp/out");
    sheet.exportAllSheets();
    QCoreApplication::processEvents();
    model.reset();
    for (int turn = 0; turn < 10; ++turn)
        QCoreApplication::processEvents();
    EXPECT_LE(written.size(), 1u);
}

// A chart whose dotted lines the store lacks is written once they are routed on another
// thread (here held back by another consumer routing the same lines), so the sheet keeps
// turning meanwhile; a cancel then ends the export at once.
TEST_F(PrintExport, ChartsWaitForTheirLinesOffTheSheetsThread)
{
    host.document->organization.positions[2].dottedManagerIDs = {"P2"};
    host.document->sheets->at(0).positionIDs = {"P1", "P2", "P3"};
    for (const bool cancel : {false, true}) {
        written.clear();
        PrintSheetModel &sheet = make();
        auto store = std::make_shared<DottedRouteStore>();
        sheet.setRouteStore(store);
        const SheetPDFExportJob alpha =
            ChartPDFBatchExport::jobs(*host.document, sheet.settings(), ExportScale::shared).at(0);
        const PrintedChart chart(alpha.organization, alpha.settings);
        ASSERT_EQ(chart.routingKey()->edges.size(), 1u);
        std::promise<void> release;
        std::shared_future<void> released = release.get_future().share();
        std::promise<void> holding;
        std::thread other([&] {
            store->route(chart.routingKey(), {}, [&](const DottedRoutingProgress &) {
                holding.set_value();
                released.wait();
            });
        });
        holding.get_future().wait();

        dialogs.folders.push_back("/tmp/out");
        sheet.exportAllSheets();
        for (int turn = 0; turn < 10; ++turn)
            QCoreApplication::processEvents();
        EXPECT_TRUE(written.empty());
        EXPECT_TRUE(sheet.isExporting());
        if (cancel) {
            sheet.cancelExport();
            EXPECT_FALSE(sheet.isExporting()); // not waiting for the lines
        }
        release.set_value();
        other.join();
        for (int turn = 0; turn < 3000 && sheet.isExporting(); ++turn) {
            QCoreApplication::processEvents();
            QThread::msleep(1);
        }
        EXPECT_FALSE(sheet.isExporting());
        EXPECT_EQ(written.size(), cancel ? 0u : 3u);
    }
}

// Refusals before any folder is asked for: no sheets, or one chart that cannot be tiled
// with the shared settings (the chart shown tiles, so the button is enabled).
TEST_F(PrintExport, RefusalsComeBeforeTheFolderPanel)
{
    host.document->sheets->clear();
    make().exportAllSheets();
    EXPECT_EQ(model->errorMessage(), "Create at least one sheet before exporting all sheets.");

    ChartPrintSettings small;
    small.widthInches = small.heightInches = 3;
    small.scalePercent = 400;
    OrganizationArchive big = AppTest::district(40);
    std::vector<std::string> all;
    for (const Position &position : big.organization.positions)
        all.push_back(position.id);
    big.sheets = std::vector<OrganizationSheet>{{"S1", "Small", {"P1"}}, {"S2", "Big", all}};
    host.document = big;
    make({}, small);
    ASSERT_TRUE(model->canOutput());
    model->exportAllSheets();
    EXPECT_EQ(model->errorMessage(), "This would create more than 500 pages. Reduce scale or increase paper size.");
    EXPECT_TRUE(written.empty());
    EXPECT_FALSE(model->isExporting());
}

TEST_F(PrintExport, AFileChosenAsFolderFailsEveryChart)
{
    QTemporaryDir dir;
    const QString file = dir.filePath("notes.txt");
    AppTest::writeBytes(file, "keep");
    host.document->sheets->resize(2);
    model = std::make_unique<PrintSheetModel>(input(chart(1)), host, dialogs, printer);
    dialogs.folders.push_back(file);
    model->exportAllSheets();
    ASSERT_TRUE(finish());
    EXPECT_EQ(model->resultMessage(), "Exported 0 of 2 sheet PDFs to notes.txt. Existing files were not replaced.");
    EXPECT_EQ(model->errorMessage(), "Alpha: Choose a folder for the PDF files.\nBeta: Choose a folder for the PDF files.");
    EXPECT_EQ(AppTest::readBytes(file), "keep");
}

// One real PDF through the save panel: replaced in place, read back through Qt PDF.
TEST_F(PrintExport, ExportPDFWritesTheChartAndReportsAFailedWrite)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("Org.pdf");
    AppTest::writeBytes(path, "old");
    ChartPrintSettings landscape;
    landscape.landscape = true;
    PrintSheetModel &sheet = make({}, landscape);
    host.title = "District Chart";
    dialogs.filesToSave.push_back(path);
    sheet.exportPDF();
    EXPECT_EQ(dialogs.proposedSavePaths, QStringList{"Organization Chart.pdf"});
    EXPECT_EQ(sheet.resultMessage(), "PDF exported.");
    const ReadPDF read = readPDF(AppTest::readBytes(path));
    ASSERT_EQ(read.sizes.size(), sheet.pagination()->tiles.size());
    EXPECT_EQ(read.sizes[0], QSizeF(792, 612));
    EXPECT_TRUE(read.texts[0].startsWith("District Chart")) << read.texts[0].toStdString();

    // Cancelled: the settings were committed all the same, and nothing is said.
    dialogs.filesToSave.push_back(std::nullopt);
    sheet.exportPDF();
    EXPECT_EQ(host.commits.size(), 2u);

    dialogs.filesToSave.push_back(dir.filePath("missing/Org.pdf"));
    sheet.exportPDF();
    EXPECT_TRUE(sheet.errorMessage() && !sheet.errorMessage()->isEmpty());
    EXPECT_EQ(sheet.resultMessage(), "PDF exported.");
    EXPECT_FALSE(QFile::exists(dir.filePath("missing")));
}

} // namespace
