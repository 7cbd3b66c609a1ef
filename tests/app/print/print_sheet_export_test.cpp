#include "app/print/print_sheet_model.h"

#include "print_sheet_test_support.h"
#include "scripted_dialogs.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QPageSize>
#include <QFile>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <thread>

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

    // A sheet whose writer (on the export's worker thread) records each job, checks the
    // progress set before it started, and runs `during` for the job it is given.
    PrintSheetModel &make(const std::function<void(const SheetPDFExportJob &, const ChartPDFRouting &)> &during = {},
                          ChartPrintSettings settings = {})
    {
        model = std::make_unique<PrintSheetModel>(input(chart(1), settings), host, dialogs, printer);
        model->setSheetWriter([this, during](const SheetPDFExportJob &job, const QString &folder,
                                             const ChartPDFRouting &routing) -> std::optional<QString> {
            EXPECT_EQ(model->exportingSheetName().toStdString(), job.sheetName);
            EXPECT_EQ(model->exportedSheetCount(), int(written.size()));
            written.push_back({job.sheetName, job.title, folder});
            if (during)
                during(job, routing);
            if (routing.stop.stop_requested())
                return std::nullopt;
            return folder + "/" + QString::fromStdString(job.filename);
        });
        return *model;
    }

    // Runs the event loop until the export ends; false when it does not within seconds.
    bool finish()
    {
        QElapsedTimer waited;
        waited.start();
        while (model && model->isExporting() && waited.elapsed() < 10000)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
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
    PrintSheetModel &sheet = make();
    // A heading typed after the sheet opened is exported.
    host.document->sheets->at(0).pageTitle = "Typed Title";
    dialogs.folders.push_back("/tmp/out");
    sheet.exportAllSheets();
    ASSERT_EQ(dialogs.questions.size(), 1u);
    EXPECT_EQ(dialogs.questions[0].message, "Choose a folder for 3 PDFs using the shared print settings. Existing "
                                            "files will be kept; duplicate filenames receive a numbered suffix.");
    // While it runs: no settings change, no second export, no closing.
    EXPECT_TRUE(sheet.isExporting());
    ChartPrintSettings other = sheet.settings();
    other.scalePercent = 50;
    sheet.setSettings(other);
    EXPECT_EQ(sheet.settings().scalePercent, 100);
    EXPECT_FALSE(sheet.canOutput());
    EXPECT_FALSE(sheet.close());
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
    PrintSheetModel &sheet = make([](const SheetPDFExportJob &job, const ChartPDFRouting &) {
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

// Cancel stops the chart being routed (it is not written) and every chart after it.
TEST_F(PrintExport, CancelStopsTheChartBeingRoutedAndTheRest)
{
    std::atomic<bool> routing = false;
    PrintSheetModel &sheet = make([&](const SheetPDFExportJob &, const ChartPDFRouting &r) {
        routing = true;
        QElapsedTimer waited;
        waited.start();
        while (!r.stop.stop_requested() && waited.elapsed() < 10000)
            std::this_thread::yield();
    });
    dialogs.folders.push_back("/tmp/out");
    sheet.exportAllSheets();
    while (!routing)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    sheet.cancelExport();
    ASSERT_TRUE(finish());
    EXPECT_EQ(written.size(), 1u);
    EXPECT_EQ(sheet.resultMessage(),
              "Export cancelled. Exported 0 of 3 sheet PDFs to out. Existing files were not replaced.");
    EXPECT_FALSE(sheet.errorMessage());
}

TEST_F(PrintExport, ASheetGoneMidExportWritesNothingMore)
{
    std::atomic<int> writes = 0;
    model = std::make_unique<PrintSheetModel>(input(chart(1)), host, dialogs, printer);
    model->setSheetWriter([&](const SheetPDFExportJob &, const QString &, const ChartPDFRouting &routing) {
        ++writes;
        while (!routing.stop.stop_requested())
            std::this_thread::yield();
        return std::optional<QString>();
    });
    dialogs.folders.push_back("/tmp/out");
    model->exportAllSheets();
    while (writes == 0)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    // Going away stops the chart being written and waits for it.
    model.reset();
    QCoreApplication::processEvents();
    EXPECT_EQ(writes, 1);
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
    // The chart shown tiles; the one that does not stops the export with the tiling's own words.
    EXPECT_EQ(model->errorMessage(), "This would create more than 500 pages. Reduce scale or increase paper size.");
    EXPECT_TRUE(written.empty());
    EXPECT_FALSE(model->isExporting());
    // A scale the export would still refuse does not take the refusal away.
    small.scalePercent = 399;
    model->setSettings(small);
    EXPECT_TRUE(model->isPreviewStale());
    EXPECT_EQ(model->errorMessage(), "This would create more than 500 pages. Reduce scale or increase paper size.");
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

// One real PDF through the save panel, written off this thread: replaced in place, read back
// through Qt PDF. A failed write names the file and the reason, and the line of the export
// before it stays.
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
    EXPECT_TRUE(sheet.isBusy());
    ASSERT_TRUE(runUntil([&] { return !sheet.isBusy(); }));
    EXPECT_EQ(sheet.resultMessage(), "PDF exported.");
    const ReadPDF read = readPDF(AppTest::readBytes(path));
    ASSERT_EQ(read.sizes.size(), sheet.pagination()->tiles.size());
    EXPECT_EQ(read.sizes[0], QSizeF(792, 612));
    EXPECT_TRUE(read.texts[0].startsWith("District Chart")) << read.texts[0].toStdString();

    // Cancelled: the settings were committed all the same, and nothing is said.
    dialogs.filesToSave.push_back(std::nullopt);
    sheet.exportPDF();
    EXPECT_EQ(host.commits.size(), 2u);
    EXPECT_EQ(sheet.resultMessage(), "PDF exported.");

    dialogs.filesToSave.push_back(dir.filePath("missing/Org.pdf"));
    sheet.exportPDF();
    EXPECT_EQ(sheet.resultMessage(), "PDF exported.");
    ASSERT_TRUE(runUntil([&] { return !sheet.isBusy(); }));
    EXPECT_EQ(sheet.errorMessage(), "The file “Org.pdf” could not be saved: the folder does not exist.");
    EXPECT_EQ(sheet.resultMessage(), "PDF exported.");
    EXPECT_FALSE(QFile::exists(dir.filePath("missing")));
}

} // namespace

// Lines the store lacks are routed on a worker before the file is written.
TEST_F(PrintExport, ExportPDFRoutesMissingLinesOffTheMainThread)
{
    QTemporaryDir dir;
    Organization dotted = chart(6);
    dotted.positions[5].dottedManagerIDs = {"P2"};
    model = std::make_unique<PrintSheetModel>(input(dotted), host, dialogs, printer);
    dialogs.filesToSave.push_back(dir.filePath("chart.pdf"));
    model->exportPDF();
    EXPECT_TRUE(model->isBusy());
    EXPECT_FALSE(model->canOutput());
    // The layout first, then the lines as they are routed: each label as the model reports
    // it, since a small export may end within one turn of the event loop.
    EXPECT_EQ(model->progressLabel(), "Laying out the chart…");
    QStringList shown;
    const QMetaObject::Connection watch = QObject::connect(model.get(), &PrintSheetModel::changed, [&] {
        if (model->isBusy())
            shown << model->progressLabel();
    });
    ASSERT_TRUE(runUntil([&] { return !model->isBusy(); }));
    QObject::disconnect(watch);
    EXPECT_TRUE(std::any_of(shown.begin(), shown.end(), [](const QString &label) {
        return label.startsWith("Routing the dotted lines of the PDF…  Dotted lines: ")
            || label.startsWith("Writing the PDF…  Page ");
    })) << shown.join(" | ").toStdString();
    EXPECT_EQ(model->resultMessage(), "PDF exported.");
    // The same pages as the sheet's own PDF (bytes differ by the creation time).
    const ReadPDF written = readPDF(AppTest::readBytes(dir.filePath("chart.pdf")));
    const ReadPDF expected = readPDF(model->makePDF());
    EXPECT_EQ(written.sizes, expected.sizes);
    EXPECT_EQ(written.texts, expected.texts);
}

// A long PDF reports its pages as they are written, each seen while the export runs. Cancelled
// while it waits for its lines, which another output is routing, it writes nothing.
TEST_F(PrintExport, ExportPDFCountsPagesAndCancelWritesNothing)
{
    QTemporaryDir dir;
    ChartPrintSettings large;
    large.scalePercent = 400;
    Organization dotted = chart(40);
    dotted.positions[39].dottedManagerIDs = {"P2"};
    host.store = std::make_shared<DottedRouteStore>();
    model = std::make_unique<PrintSheetModel>(input(dotted, large), host, dialogs, printer);
    const int tiles = int(model->pagination()->tiles.size());
    ASSERT_GT(tiles, 100);
    std::vector<int> pagesSeen;
    const QMetaObject::Connection watch = QObject::connect(model.get(), &PrintSheetModel::changed, [&] {
        if (!model->isBusy() || !model->progressLabel().startsWith("Writing the PDF…  Page "))
            return;
        EXPECT_EQ(model->progressMaximum(), tiles);
        pagesSeen.push_back(model->progressValue());
    });
    dialogs.filesToSave.push_back(dir.filePath("chart.pdf"));
    model->exportPDF();
    ASSERT_TRUE(runUntil([&] { return !model->isBusy(); }));
    QObject::disconnect(watch);
    EXPECT_EQ(model->resultMessage(), "PDF exported.");
    ASSERT_FALSE(pagesSeen.empty());
    EXPECT_TRUE(std::is_sorted(pagesSeen.begin(), pagesSeen.end()));
    EXPECT_EQ(pagesSeen.back(), tiles);
    ASSERT_TRUE(QFile::remove(dir.filePath("chart.pdf")));

    // Another paper: lines the store has yet to route, which another output is routing now.
    ChartPrintSettings legal = large;
    legal.heightInches = 14;
    model->setSettings(legal);
    const PrintedChart printed(dotted, legal);
    std::atomic<bool> routing = false;
    std::atomic<bool> release = false;
    std::jthread other([&] {
        host.store->route(printed.routingKey(), {}, [&](const DottedRoutingProgress &) {
            routing = true;
            while (!release)
                std::this_thread::yield();
        }, DottedRouteStore::Turn::first);
    });
    while (!routing)
        std::this_thread::yield();
    dialogs.filesToSave.push_back(dir.filePath("chart.pdf"));
    model->exportPDF();
    ASSERT_TRUE(model->isBusy());
    model->cancelExport();
    EXPECT_FALSE(model->isBusy());
    EXPECT_TRUE(model->canOutput());
    model.reset(); // waits for the worker, which stops waiting for the lines
    release = true;
    other.join();
    EXPECT_TRUE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).isEmpty());
}

// Saved with the settings of a preview whose lines are still routing, the PDF waits for that
// routing and shows its count, not a bar stuck at nothing.
TEST_F(PrintExport, ExportPDFShowsTheLinesThePreviewIsRouting)
{
    QTemporaryDir dir;
    Organization dotted = chart(6);
    dotted.positions[4].dottedManagerIDs = {"P2"};
    dotted.positions[5].dottedManagerIDs = {"P2", "P3"};
    model = std::make_unique<PrintSheetModel>(input(dotted), host, dialogs, printer);
    model->appear();
    ASSERT_TRUE(model->arePreviewLinesPending());
    EXPECT_EQ(model->previewLinesNote(), "Routing dotted lines: 0 of 3. The preview shows them once all are routed.");
    dialogs.filesToSave.push_back(dir.filePath("chart.pdf"));
    model->exportPDF();
    EXPECT_EQ(model->progressLabel(), "Routing the dotted lines of the PDF…  Dotted lines: 0 of 3");
    EXPECT_EQ(model->progressMaximum(), 3);
    ASSERT_TRUE(runUntil([&] { return !model->isBusy(); }));
    EXPECT_EQ(model->resultMessage(), "PDF exported.");
    ASSERT_TRUE(runUntil([&] { return !model->arePreviewLinesPending(); }));
    EXPECT_FALSE(model->previewLinesNote());
    EXPECT_EQ(readPDF(AppTest::readBytes(dir.filePath("chart.pdf"))).texts, readPDF(*model->preview()).texts);
}

// The printer gets the sheet's pages once every dotted line is routed, as the export draws them.
TEST_F(PrintExport, PrintRoutesTheLinesThenDrawsEveryPage)
{
    Organization dotted = chart(12);
    dotted.positions[11].dottedManagerIDs = {"P2"};
    ChartPrintSettings settings;
    settings.scalePercent = 200;
    model = std::make_unique<PrintSheetModel>(input(dotted, settings), host, dialogs, printer);
    model->printChart();
    EXPECT_TRUE(model->isBusy());
    EXPECT_TRUE(printer.printed.empty());
    ASSERT_TRUE(runUntil([&] { return !model->isBusy(); }));
    ASSERT_EQ(printer.printed.size(), 1u);
    const QByteArray expected = model->makePDF();
    EXPECT_EQ(readPDF(printer.printed[0]).texts, readPDF(expected).texts);
    EXPECT_EQ(readPDF(printer.printed[0]).sizes, readPDF(expected).sizes);
    EXPECT_EQ(printer.paper->fullRectPoints().size(), QSizeF(612, 792));
    EXPECT_EQ(printer.title, "Chart Name"); // the job's name in the print queue
    // What became of the job is not reported: the panel's choice is the user's own.
    EXPECT_FALSE(model->errorMessage());
    EXPECT_FALSE(model->resultMessage());
}

// Printing draws a few pages between events; Cancel stops it between two pages and nothing
// reaches the printer.
TEST_F(PrintExport, CancelStopsPrintingBetweenPages)
{
    ChartPrintSettings settings;
    settings.scalePercent = 250;
    model = std::make_unique<PrintSheetModel>(input(chart(12), settings), host, dialogs, printer);
    printer.pause = std::chrono::milliseconds(10);
    model->printChart();
    ASSERT_TRUE(model->isBusy());
    ASSERT_TRUE(runUntil([&] { return model->progressValue() > 0; }));
    const int pages = model->progressMaximum();
    EXPECT_EQ(pages, int(model->pagination()->tiles.size()));
    EXPECT_LT(printer.drawn, pages);
    EXPECT_TRUE(model->progressLabel().startsWith("Printing…  Page ")) << model->progressLabel().toStdString();
    model->cancelExport();
    EXPECT_FALSE(model->isBusy());
    EXPECT_FALSE(model->resultMessage());
    const int drawn = printer.drawn;
    QElapsedTimer waited;
    waited.start();
    while (waited.elapsed() < 100)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    EXPECT_EQ(printer.drawn, drawn);
    EXPECT_TRUE(printer.printed.empty());
    EXPECT_FALSE(model->errorMessage());
}

// Handing a finished job to the print queue waits on the print system, which may not answer:
// the queue's papers are asked, and lp run, beside the window, which goes on answering and
// says what it waits for. Cancel ends what waits and says nothing; a scheduler that does not
// answer within the hand-over's limit is named; a job the queue refuses is reported.
TEST_F(PrintExport, TheQueueIsAskedBesideTheWindow)
{
    // A queue whose papers are asked of a scheduler that never answers.
    QTemporaryDir silentDir;
    PrintQueue::Commands silent = standInPrintSystem();
    silent.lpoptions = silentDir.filePath("lpoptions");
    const QString asked = silentDir.filePath("asked");
    writeScript(silent.lpoptions, QString("echo $$ > '%1.new' && mv '%1.new' '%1'\nexec sleep 30\n").arg(asked));
    PrintQueue::Request request;
    request.queue = "Office";
    request.file = "/tmp/job";
    printer.handOver = [&](std::stop_token stop) {
        return PrintQueue::handOver(request, QPageSize(QPageSize::Letter), silent, stop);
    };
    model = std::make_unique<PrintSheetModel>(input(chart(3)), host, dialogs, printer);
    model->printChart();
    ASSERT_TRUE(runUntil([&] { return QFile::exists(asked); }));
    // The window's events are handled while the queue is asked.
    bool answered = false;
    QTimer::singleShot(0, [&] { answered = true; });
    ASSERT_TRUE(runUntil([&] { return answered; }));
    EXPECT_TRUE(model->isBusy());
    EXPECT_EQ(model->progressLabel(), "Waiting for the print system…");
    EXPECT_EQ(model->progressMaximum(), 0); // a busy bar, not one stood still at its end
    model->cancelExport();
    EXPECT_FALSE(model->isBusy());
    // The question is ended, not left waiting.
    const QString question = "/proc/" + QString::fromUtf8(AppTest::readBytes(asked)).trimmed();
    ASSERT_TRUE(runUntil([&] { return !QFile::exists(question); }));
    QCoreApplication::processEvents();
    EXPECT_FALSE(model->errorMessage());
    EXPECT_FALSE(model->resultMessage());

    // The same question, with a limit a test can wait for.
    PrintQueue::Commands limited = silent;
    limited.handOverMilliseconds = 200;
    printer.handOver = [request, limited](std::stop_token stop) {
        return PrintQueue::handOver(request, QPageSize(QPageSize::Letter), limited, stop);
    };
    model->printChart();
    ASSERT_TRUE(runUntil([&] { return !model->isBusy(); }));
    EXPECT_EQ(model->errorMessage(),
              "The printer “Office” did not take the job: the print scheduler (CUPS) did not answer within a minute.");

    printer.handOver = [](std::stop_token) -> std::optional<PrintQueue::Leftover> {
        throw OrganizationError::invalid("The printer “Q” did not take the job: the print scheduler (CUPS) is not running.");
    };
    model->printChart();
    ASSERT_TRUE(runUntil([&] { return !model->isBusy(); }));
    EXPECT_EQ(model->errorMessage(), "The printer “Q” did not take the job: the print scheduler (CUPS) is not running.");
    EXPECT_FALSE(model->resultMessage());

    // A job the queue takes. What follows shows its own progress, not a wait for the queue.
    printer.handOver = [](std::stop_token) { return std::optional<PrintQueue::Leftover>(); };
    model->printChart();
    ASSERT_TRUE(runUntil([&] { return !model->isBusy(); }));
    EXPECT_FALSE(model->errorMessage());
    QTemporaryDir dir;
    dialogs.filesToSave.push_back(dir.filePath("chart.pdf"));
    model->exportPDF();
    EXPECT_EQ(model->progressLabel(), "Laying out the chart…");
    ASSERT_TRUE(runUntil([&] { return !model->isBusy(); }));
    EXPECT_EQ(model->resultMessage(), "PDF exported.");
    model->printChart();
    EXPECT_EQ(model->progressLabel(), "Laying out the chart…");
    ASSERT_TRUE(runUntil([&] { return !model->isBusy(); }));
}

// Each output clears only its own line: "PDF exported." stays through a print and a failed
// export. A print clears the last failure once it ran (printed or the dialog cancelled), a PDF
// once written, and Export All as it starts, with the result too.
TEST_F(PrintExport, EachOutputClearsOnlyItsOwnMessageLines)
{
    QTemporaryDir dir;
    PrintSheetModel &sheet = make();
    dialogs.filesToSave.push_back(dir.filePath("Org.pdf"));
    sheet.exportPDF();
    ASSERT_TRUE(runUntil([&] { return !sheet.isBusy(); }));
    ASSERT_EQ(sheet.resultMessage(), "PDF exported.");

    const QString failedWrite = "The file “Org.pdf” could not be saved: the folder does not exist.";
    const struct {
        const char *name;
        bool cancel;
    } prints[] = {{"printed", false}, {"dialog cancelled", true}};
    for (const auto &p : prints) {
        dialogs.filesToSave.push_back(dir.filePath("missing/Org.pdf"));
        sheet.exportPDF();
        ASSERT_TRUE(runUntil([&] { return !sheet.isBusy(); }));
        ASSERT_EQ(sheet.errorMessage(), failedWrite);
        printer.cancel = p.cancel;
        sheet.printChart();
        EXPECT_EQ(sheet.errorMessage(), failedWrite) << p.name << ": kept until the print ran";
        ASSERT_TRUE(runUntil([&] { return !sheet.isBusy(); }));
        EXPECT_FALSE(sheet.errorMessage()) << p.name;
        EXPECT_EQ(sheet.resultMessage(), "PDF exported.") << p.name;
    }

    // Failing again the same way, the line keeps its text and the failure counts anew, so that
    // it is heard again.
    dialogs.filesToSave.push_back(dir.filePath("missing/Org.pdf"));
    sheet.exportPDF();
    ASSERT_TRUE(runUntil([&] { return !sheet.isBusy(); }));
    const int failures = sheet.failureCount();
    dialogs.filesToSave.push_back(dir.filePath("missing/Org.pdf"));
    sheet.exportPDF();
    EXPECT_EQ(sheet.errorMessage(), failedWrite) << "kept while the second try runs";
    ASSERT_TRUE(runUntil([&] { return !sheet.isBusy(); }));
    EXPECT_EQ(sheet.errorMessage(), failedWrite);
    EXPECT_EQ(sheet.failureCount(), failures + 1);
    dialogs.folders.push_back(dir.path());
    sheet.exportAllSheets();
    EXPECT_FALSE(sheet.errorMessage());
    EXPECT_FALSE(sheet.resultMessage());
    ASSERT_TRUE(finish());
    EXPECT_TRUE(sheet.resultMessage()->startsWith("Exported 3 of 3 sheet PDFs"));
}
