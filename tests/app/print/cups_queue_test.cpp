// Printing through a real CUPS scheduler: the one private_cups.sh starts for these tests,
// with cups-pdf queues whose default paper is A4. Skipped when run without it.

#include "app/print/chart_printer.h"
#include "app/print/leftover_jobs.h"

#include "print_sheet_test_support.h"
#include "scripted_dialogs.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QPrintEngine>
#include <QTemporaryDir>
#include <QPrinter>
#include <QProcess>
#include <QThread>
#include <QTimer>

#include <atomic>
#include <csignal>
#include <cstdio>
#include <thread>

using namespace PrintTest;

namespace {

struct TestQueues {
    QString a4;       // offers Letter and Tabloid, A4 by default
    QString narrow;   // A4 by default, no Tabloid paper and no custom sizes
    QString refusing; // rejects every job, "Out of toner, call Ext. 4410"
    QString raw;      // lists no papers
    QString output;   // where cups-pdf puts what it prints
    pid_t scheduler;  // the private cupsd, which a test may stop
};

std::optional<TestQueues> testQueues()
{
    if (qEnvironmentVariableIsEmpty("VANTREL_TEST_CUPS_SERVER") || qEnvironmentVariableIsEmpty("VANTREL_TEST_CUPS_QUEUE"))
        return std::nullopt;
    return TestQueues{qEnvironmentVariable("VANTREL_TEST_CUPS_QUEUE"), qEnvironmentVariable("VANTREL_TEST_CUPS_NARROW_QUEUE"),
                      qEnvironmentVariable("VANTREL_TEST_CUPS_REFUSING_QUEUE"), qEnvironmentVariable("VANTREL_TEST_CUPS_RAW_QUEUE"),
                      qEnvironmentVariable("VANTREL_TEST_CUPS_OUTPUT"),
                      pid_t(qEnvironmentVariableIntValue("VANTREL_TEST_CUPS_PID"))};
}

#define QUEUES_OR_SKIP(name)                                                                                          \
    const std::optional<TestQueues> name = testQueues();                                                              \
    if (!name)                                                                                                        \
        GTEST_SKIP() << "no private CUPS scheduler: run through private_cups.sh";

// The print dialog's choice of `queue`, with the options its Properties page hands CUPS for
// the queue's own default paper.
SystemChartPrinter::Ask chooseQueue(const QString &queue)
{
    return [queue](QPrinter &printer, int) {
        printer.setPrinterName(queue);
        printer.printEngine()->setProperty(QPrintEngine::PrintEnginePropertyKey(0xfe00),
                                           QStringList{"PageSize", "A4", "media", "iso_a4_210x297mm"});
        return true;
    };
}

// The sheet over a small chart, printing through the system printer and its private scheduler.
struct Printing : SystemPrinting {
    Printing(SystemChartPrinter::Ask ask, ChartPrintSettings settings)
        : SystemPrinting(std::move(ask), chart(6), settings, PrintQueue::Commands{})
    {
    }
};

// The next PDF cups-pdf finishes in `folder`, apart from those `seen`; empty after a minute.
QByteArray nextPrinted(const QString &folder, QStringList &seen)
{
    for (int tries = 0; tries < 600; ++tries) {
        for (const QString &name : QDir(folder).entryList({"*.pdf"}, QDir::Files, QDir::Name)) {
            if (seen.contains(name))
                continue;
            // Finished once ghostscript has written its end.
            const QByteArray bytes = AppTest::readBytes(QDir(folder).filePath(name));
            if (bytes.contains("%%EOF")) {
                seen.append(name);
                return bytes;
            }
        }
        QThread::msleep(100);
    }
    return {};
}

// A Letter landscape chart and a Tabloid chart on a queue whose default paper is A4 come out
// on their own paper at their own size: the pages and texts of Export PDF, each text as
// large as there (a landscape page is printed turned on its upright sheet).
TEST(CupsQueue, TheChartsPaperWinsOverTheQueuesDefault)
{
    QUEUES_OR_SKIP(queues);
    ChartPrintSettings letter;
    letter.landscape = true;
    letter.scalePercent = 150;
    ChartPrintSettings tabloid;
    tabloid.widthInches = 11;
    tabloid.heightInches = 17;
    tabloid.scalePercent = 300;
    const struct {
        const char *name;
        ChartPrintSettings settings;
        QSizeF points;
    } cases[] = {{"Letter landscape", letter, {612, 792}}, {"Tabloid", tabloid, {792, 1224}}};
    QStringList seen = QDir(queues->output).entryList({"*.pdf"}, QDir::Files);
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        Printing printing(chooseQueue(queues->a4), c.settings);
        printing.print();
        ASSERT_EQ(printing.model.errorMessage(), std::nullopt);
        const ReadPDF exported = readPDF(printing.model.makePDF());
        const QByteArray bytes = nextPrinted(queues->output, seen);
        ASSERT_FALSE(bytes.isEmpty()) << "nothing came out of the queue";
        const ReadPDF printed = readPDF(bytes);
        ASSERT_GT(exported.sizes.size(), 1u);
        ASSERT_EQ(printed.sizes.size(), exported.sizes.size());
        for (size_t page = 0; page < printed.sizes.size(); ++page) {
            EXPECT_NEAR(printed.sizes[page].width(), c.points.width(), 1) << "page " << page + 1;
            EXPECT_NEAR(printed.sizes[page].height(), c.points.height(), 1) << "page " << page + 1;
        }
        // Page by page the same texts: the heading that names the page, then what shows of
        // the cards (a card cut by the page's edge keeps only its letters on the page).
        for (size_t page = 0; page < printed.sizes.size(); ++page) {
            const QString pageOf = QString("Page %1 of %2").arg(page + 1).arg(printed.sizes.size());
            const QString heading = exported.texts[page].left(exported.texts[page].indexOf(pageOf) + pageOf.size());
            ASSERT_TRUE(heading.endsWith(pageOf)) << exported.texts[page].toStdString();
            EXPECT_TRUE(printed.texts[page].startsWith(heading)) << printed.texts[page].toStdString();
            for (const QString &word : printed.texts[page].split(' ', Qt::SkipEmptyParts))
                EXPECT_TRUE(exported.texts[page].contains(word)) << word.toStdString();
        }
        // Printed at 100 %: 842 / 792 larger on A4, the names would be 6 % longer.
        const QByteArray exportedBytes = printing.model.makePDF();
        int compared = 0;
        for (const QString name : {"Ada Lovelace", "Person 2", "Person 3", "Person 4"}) {
            const QRectF want = textBounds(exportedBytes, 0, name);
            const QRectF got = textBounds(bytes, 0, name);
            if (want.isNull() || got.isNull())
                continue;
            ++compared;
            EXPECT_NEAR(std::max(got.width(), got.height()), std::max(want.width(), want.height()), 0.5)
                << name.toStdString();
        }
        EXPECT_GT(compared, 0);
    }
}

// A queue without the chart's paper is named with the paper before anything prints, and a
// queue that refuses jobs is reported in lp's words with the reason it was stopped with.
TEST(CupsQueue, FailuresNameTheQueueAndTheCause)
{
    QUEUES_OR_SKIP(queues);
    ChartPrintSettings tabloid;
    tabloid.widthInches = 11;
    tabloid.heightInches = 17;
    const QStringList before = QDir(queues->output).entryList({"*.pdf"}, QDir::Files);

    Printing narrow(chooseQueue(queues->narrow), tabloid);
    narrow.print();
    EXPECT_EQ(narrow.model.errorMessage().value_or("").toStdString(),
              ("The printer “" + queues->narrow + "” has no Tabloid paper.").toStdString());

    Printing refused(chooseQueue(queues->refusing), {});
    refused.print();
    EXPECT_EQ(refused.model.errorMessage().value_or("").toStdString(),
              ("The printer “" + queues->refusing + "” did not take the job: Destination \"" + queues->refusing
               + "\" is not accepting jobs. Out of toner, call Ext. 4410.")
                  .toStdString());

    QThread::msleep(2000);
    EXPECT_EQ(QDir(queues->output).entryList({"*.pdf"}, QDir::Files).join(", ").toStdString(), before.join(", ").toStdString());
}

// A queue whose papers cannot be listed (a raw one) is handed the chart's paper, not refused.
TEST(CupsQueue, AQueueThatListsNoPapersTakesTheChart)
{
    QUEUES_OR_SKIP(queues);
    ChartPrintSettings tabloid;
    tabloid.widthInches = 11;
    tabloid.heightInches = 17;
    Printing raw(chooseQueue(queues->raw), tabloid);
    raw.print();
    EXPECT_EQ(raw.model.errorMessage(), std::nullopt);
}

// A scheduler that stops answering as the print dialog closes holds nothing of the window:
// what the job asks of it after the dialog waits beside the window, which goes on answering
// and says what it waits for; Cancel ends the wait and nothing reaches the queue. Waiting past
// the hand-over's limit, the error line names the scheduler.
TEST(CupsQueue, AStoppedSchedulerHoldsNothingAfterTheDialog)
{
    QUEUES_OR_SKIP(queues);
    ASSERT_GT(queues->scheduler, 0);
    // Resumes the scheduler when the test is done with it, or after half a minute, for a
    // window that froze and would otherwise wait for ever; `late` tells which.
    struct Resume {
        pid_t scheduler;
        std::atomic<bool> done = false;
        std::atomic<bool> late = false;
        std::jthread watch;
        explicit Resume(pid_t pid) : scheduler(pid)
        {
            watch = std::jthread([this] {
                for (int waited = 0; waited < 30000 && !done; waited += 10)
                    std::this_thread::sleep_for(std::chrono::milliseconds(10));
                late = !done;
                kill(scheduler, SIGCONT);
            });
        }
        void now()
        {
            done = true;
            watch.join();
        }
    };
    const auto stopTheScheduler = [&](QPrinter &printer, int pages) {
        chooseQueue(queues->a4)(printer, pages);
        kill(queues->scheduler, SIGSTOP);
        return true;
    };
    // Every job the queue ever had, done or not.
    const auto jobs = [&] {
        QProcess lpstat;
        lpstat.start("lpstat", {"-W", "all", "-o", queues->a4});
        EXPECT_TRUE(lpstat.waitForFinished(30000));
        return QString::fromLocal8Bit(lpstat.readAllStandardOutput()).toStdString();
    };
    const std::string before = jobs();

    {
        Resume resume(queues->scheduler);
        Printing printing(stopTheScheduler, {});
        printing.model.printChart();
        ASSERT_TRUE(runUntil([&] { return printing.model.progressLabel() == "Waiting for the print system…" || resume.late; }));
        bool answered = false;
        QTimer::singleShot(0, [&] { answered = true; });
        ASSERT_TRUE(runUntil([&] { return answered; }));
        EXPECT_FALSE(resume.late) << "the window waited for the stopped scheduler";
        EXPECT_TRUE(printing.model.isBusy());
        printing.model.cancelExport();
        EXPECT_FALSE(printing.model.isBusy());
        resume.now();
    }

    {
        Resume resume(queues->scheduler);
        PrintQueue::Commands limited;
        limited.handOverMilliseconds = 1000;
        SystemPrinting printing(stopTheScheduler, chart(6), {}, limited);
        printing.print();
        EXPECT_FALSE(resume.late);
        EXPECT_EQ(printing.model.errorMessage().value_or("").toStdString(),
                  ("The printer “" + queues->a4 + "” did not take the job: the print scheduler (CUPS) did not answer "
                                                 "within a minute.")
                      .toStdString());
        resume.now();
    }

    // Answering again, the scheduler has had no job of these prints.
    EXPECT_EQ(jobs(), before);
}

// The scheduler stops answering between the two steps of a hand-over: lp has named the job,
// held, and lp -i is letting it print. Cancelled then, the window says that the job may
// still print, and once the scheduler answers again, either the cancel is confirmed (the line
// goes, and nothing comes out) or it says the job printed. Quitting then instead says so
// before the application ends, naming the job.
TEST(CupsQueue, AStoppedSchedulerBetweenNamingAndReleaseIsSaid)
{
    QUEUES_OR_SKIP(queues);
    ASSERT_GT(queues->scheduler, 0);
    // lp as the system has it, but the scheduler stops just as the job is let print.
    QTemporaryDir dir;
    const QString stopped = dir.filePath("stopped");
    PrintQueue::Commands stopping;
    stopping.lp = dir.filePath("lp");
    writeScript(stopping.lp, QString("if [ \"$1\" = -i ]; then kill -STOP %1; touch '%2'; fi\nexec lp \"$@\"\n")
                                 .arg(queues->scheduler)
                                 .arg(stopped));
    stopping.answerMilliseconds = 500;
    stopping.leftoverLookMilliseconds = 200;
    const auto resume = [&] {
        kill(queues->scheduler, SIGCONT);
        QFile::remove(stopped);
    };
    const auto notCompleted = [&] {
        QProcess lpstat;
        lpstat.start("lpstat", {"-o", queues->a4});
        EXPECT_TRUE(lpstat.waitForFinished(30000));
        return QString::fromLocal8Bit(lpstat.readAllStandardOutput()).trimmed();
    };
    const QString mayPrint = "may still print on the printer “" + queues->a4 + "”";

    for (const bool quit : {false, true}) {
        SCOPED_TRACE(quit ? "quit" : "cancel");
        QStringList seen = QDir(queues->output).entryList({"*.pdf"}, QDir::Files);
        SystemPrinting printing(chooseQueue(queues->a4), chart(6), {}, stopping);
        printing.model.printChart();
        const bool reached = runUntil([&] { return QFile::exists(stopped); });
        if (!reached)
            resume();
        ASSERT_TRUE(reached) << printing.model.errorMessage().value_or("").toStdString();
        ASSERT_EQ(printing.model.progressLabel(), "Waiting for the print system…");
        if (quit) {
            ScriptedDialogs dialogs;
            LeftoverJobs::sayBeforeQuit(dialogs, 2000);
            resume();
            ASSERT_EQ(dialogs.alerts.size(), 1u);
            EXPECT_TRUE(dialogs.alerts[0].message.contains(mayPrint)) << dialogs.alerts[0].message.toStdString();
            // No one cancels it now: as said, it may print or stay held. The test's own end.
            QProcess::execute("cancel", {"-a", queues->a4});
            continue;
        }
        printing.model.cancelExport();
        ASSERT_TRUE(runUntil([&] { return printing.model.errorMessage().value_or("").contains(mayPrint); }));
        resume();
        ASSERT_TRUE(runUntil([&] { return !LeftoverJobs::instance().hasPending() && notCompleted().isEmpty(); }));
        QCoreApplication::processEvents();
        const std::optional<QString> said = printing.model.errorMessage();
        std::printf("The scheduler took %s first.\n", said ? "the release" : "the cancel");
        if (said) {
            EXPECT_TRUE(said->contains(" printed on the printer")) << said->toStdString();
            EXPECT_FALSE(nextPrinted(queues->output, seen).isEmpty()) << "said to have printed, nothing came out";
        } else {
            EXPECT_EQ(QDir(queues->output).entryList({"*.pdf"}, QDir::Files), seen) << "cancelled, yet printed";
        }
    }
}

} // namespace
