// What a chart's job asks of a CUPS queue, and how `lp` is run: stand-ins for lp and lpstat
// in a folder of the test's own, no scheduler.

#include "app/print/chart_printer.h"
#include "app/print/print_queue.h"

#include "app_test_support.h"
#include "error_of.h"
#include "print_sheet_test_support.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QPageLayout>
#include <QPrinter>
#include <QTemporaryDir>

#include <future>
#include <thread>

namespace {

const QPageSize letter(QPageSize::Letter);
const QPageSize a4(QPageSize::A4);
// 9 × 13 inches: no standard paper.
const QPageSize nineByThirteen(QSizeF(648, 936), QPageSize::Point, "Chart", QPageSize::ExactMatch);

// `lp`'s arguments for the chart's paper on a printer laid out as the job draws it.
QStringList argumentsFor(const QPageSize &paper, QPageLayout::Orientation orientation, const QString &queuePaper)
{
    QPrinter printer;
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setPrinterName("Office");
    printer.setDocName("Finance");
    printer.setPageLayout(QPageLayout(paper, orientation, QMarginsF(), QPageLayout::Point));
    PrintQueue::Request request = SystemChartPrinter::queueRequest(printer, queuePaper, "/tmp/job");
    request.queue = "Office"; // a PDF printer keeps no queue name
    return PrintQueue::lpArguments(request);
}

QStringList lpOptions(const QStringList &options)
{
    QStringList arguments{"-d", "Office", "-t", "Finance"};
    for (const QString &option : options)
        arguments << "-o" << option;
    return arguments << "--" << "/tmp/job";
}

} // namespace

// The chart's paper by the queue's name for it, in both of lp's options, and the landscape
// turn exactly when the chart lies across: a custom size is named upright in both cases.
TEST(PrintQueue, TheJobNamesTheChartsPaperAndTurn)
{
    const QString sides = "sides=one-sided";
    const QList<QPageSize> listed{a4, letter};
    const struct {
        const char *name;
        QPageSize paper;
        QPageLayout::Orientation orientation;
        QStringList options;
    } cases[] = {
        {"Letter portrait", letter, QPageLayout::Portrait, {sides, "PageSize=Letter", "media=Letter"}},
        {"Letter landscape", letter, QPageLayout::Landscape,
         {sides, "PageSize=Letter", "media=Letter", "landscape=true"}},
        {"custom portrait", nineByThirteen, QPageLayout::Portrait,
         {sides, "PageSize=Custom.648x936", "media=Custom.648x936"}},
        {"custom landscape", nineByThirteen, QPageLayout::Landscape,
         {sides, "PageSize=Custom.648x936", "media=Custom.648x936", "landscape=true"}},
    };
    for (const auto &c : cases) {
        const std::optional<QString> named = PrintQueue::paperFor(listed, true, c.paper);
        ASSERT_TRUE(named) << c.name;
        EXPECT_EQ(argumentsFor(c.paper, c.orientation, *named), lpOptions(c.options)) << c.name;
    }
}

// What the dialog chose goes along, less what would put the chart on other paper, turn or
// scale it, or pick pages among those already drawn.
TEST(PrintQueue, TheDialogsOptionsGoAlongUnlessTheyOverrideTheChart)
{
    PrintQueue::Request request;
    request.queue = "Office";
    request.copies = 2;
    request.collate = true;
    request.sides = "two-sided-long-edge";
    request.dialogOptions = {"PageSize", "A4",     "media",       "iso_a4_210x297mm", "orientation-requested", "4",
                             "page-ranges", "2-3", "fit-to-page", "true",             "number-up",             "2"};
    request.paper = "Letter";
    request.file = "/tmp/job";
    EXPECT_EQ(PrintQueue::lpArguments(request),
              (QStringList{"-d", "Office", "-n", "2", "-o", "Collate=True", "-o", "sides=two-sided-long-edge", "-o",
                           "number-up=2", "-o", "PageSize=Letter", "-o", "media=Letter", "--", "/tmp/job"}));
}

// A queue that lists its papers gets its own name for the chart's (not one named the other
// way round), else a custom size where it takes one, else the chart is refused. A queue
// whose papers cannot be listed (a raw queue) is handed the chart's paper all the same.
TEST(PrintQueue, PaperIsRefusedOnlyWhereTheQueueListsOthers)
{
    const QPageSize tabloid(QPageSize::Tabloid);
    const QPageSize ledger(QPageSize::Ledger); // 17 × 11: across the feed
    const QPageSize a3(QPageSize::A3);
    const QPageSize ansiA(QSizeF(612, 792), QPageSize::Point, "AnsiA", QPageSize::ExactMatch);
    EXPECT_EQ(PrintQueue::paperFor({ansiA, a4, letter}, false, letter), "Letter");
    EXPECT_EQ(PrintQueue::paperFor({a4, ledger}, false, tabloid), std::nullopt);
    EXPECT_EQ(PrintQueue::paperFor({a4, ledger}, true, tabloid), "Custom.792x1224");
    EXPECT_EQ(PrintQueue::paperFor({a4}, false, nineByThirteen), std::nullopt);

    EXPECT_EQ(PrintQueue::paperFor({}, false, tabloid), "Tabloid");
    EXPECT_EQ(PrintQueue::paperFor({}, false, a3), "A3");
    EXPECT_EQ(PrintQueue::paperFor({}, false, nineByThirteen), "Custom.648x936");
    const QPageSize acrossNineByThirteen(QSizeF(936, 648), QPageSize::Point, "Chart", QPageSize::ExactMatch);
    EXPECT_EQ(PrintQueue::paperFor({}, false, acrossNineByThirteen), "Custom.648x936");
    EXPECT_EQ(PrintQueue::paperName(nineByThirteen), "9 × 13 inch");
}

namespace {

// lp and lpstat stand-ins that record their arguments, say `lpSays` on standard error and
// end with `lpCode`, and report a scheduler `running` or not.
struct FakeCommands {
    QTemporaryDir dir;
    PrintQueue::Commands commands{dir.filePath("lp"), dir.filePath("lpstat")};

    FakeCommands(const QString &lpSays, int lpCode, bool running, const QString &before = {},
                 const QString &lpstatBefore = {})
    {
        script("lp", QString("printf '%s\\n' \"$@\" > '%1'\n%2printf '%s\\n' '%3' >&2\nexit %4\n")
                         .arg(dir.filePath("lp-arguments"), before, lpSays)
                         .arg(lpCode));
        script("lpstat", lpstatBefore + (running ? "echo 'scheduler is running'\n" : "echo 'scheduler is not running'\n"));
        commands.answerMilliseconds = 300;
    }
    void script(const QString &name, const QString &body)
    {
        AppTest::writeBytes(dir.filePath(name), ("#!/bin/sh\n" + body).toUtf8());
        QFile::setPermissions(dir.filePath(name), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }
    QStringList lpArguments() const
    {
        return QString::fromUtf8(AppTest::readBytes(dir.filePath("lp-arguments"))).split('\n', Qt::SkipEmptyParts);
    }
    std::string submit(const QStringList &arguments, std::stop_token stop = {}) const
    {
        return errorOf([&] { PrintQueue::submit(arguments, "Office", commands, stop); });
    }
};

} // namespace

// lp gets the arguments as they are; its refusal reaches the user in its own words without
// its "lp: Error - ", and a scheduler that is not running is named as the cause rather than
// lp's "The printer or class does not exist."
TEST(PrintQueue, SubmitReportsTheQueuesCauseInPlainWords)
{
    const QStringList arguments{"-d", "Office", "-o", "media=Letter", "--", "/tmp/a file"};
    FakeCommands taken("request id is Office-1 (1 file(s))", 0, true);
    EXPECT_EQ(taken.submit(arguments), "");
    EXPECT_EQ(taken.lpArguments(), arguments);

    FakeCommands refusing("lp: Error - Destination \"Office\" is not accepting jobs.", 1, true);
    EXPECT_EQ(refusing.submit(arguments),
              "The printer “Office” did not take the job: Destination \"Office\" is not accepting jobs.");

    FakeCommands noScheduler("lp: Error - The printer or class does not exist.", 1, false);
    EXPECT_EQ(noScheduler.submit(arguments),
              "The printer “Office” did not take the job: the print scheduler (CUPS) is not running.");

    FakeCommands missing("", 0, true);
    missing.commands.lp = missing.dir.filePath("no-such-lp");
    EXPECT_EQ(missing.submit(arguments), "The printer “Office” did not take the job: the lp command could not be started.");
}

// A scheduler that does not answer keeps lp waiting; stopping the hand-over ends lp at once
// and reports nothing.
TEST(PrintQueue, AStoppedSubmitEndsLp)
{
    FakeCommands hanging("", 0, true, "exec sleep 30\n");
    std::stop_source stop;
    auto submitted = std::async(std::launch::async, [&] { return hanging.submit({"--", "/tmp/job"}, stop.get_token()); });
    EXPECT_EQ(submitted.wait_for(std::chrono::milliseconds(300)), std::future_status::timeout);
    stop.request_stop();
    ASSERT_EQ(submitted.wait_for(std::chrono::seconds(20)), std::future_status::ready) << "lp was not ended";
    EXPECT_EQ(submitted.get(), "");
}

// A scheduler that does not answer is found out beside the window before the print dialog,
// which would ask it on the window's thread: the sheet says so and shows no dialog. One that
// is not running answers at once, and the dialog opens (to print to a file).
TEST(PrintQueue, ASilentSchedulerIsFoundBeforeTheDialog)
{
    FakeCommands silent("", 0, true, {}, "exec sleep 30\n");
    EXPECT_EQ(errorOf([&] { PrintQueue::requireAnswer(silent.commands, {}); }),
              "The print scheduler (CUPS) does not answer. Nothing was printed.");
    FakeCommands stopped("", 0, false);
    EXPECT_EQ(errorOf([&] { PrintQueue::requireAnswer(stopped.commands, {}); }), "");

    bool asked = false;
    SystemChartPrinter printer([&](QPrinter &, int) { return asked = true; }, silent.commands);
    PrintTest::FakeHost host;
    ScriptedDialogs dialogs;
    PrintSheetModel model(PrintTest::input(PrintTest::chart(2)), host, dialogs, printer);
    model.printChart();
    ASSERT_TRUE(PrintTest::runUntil([&] { return !model.isBusy(); }));
    EXPECT_EQ(model.errorMessage(), "The print scheduler (CUPS) does not answer. Nothing was printed.");
    EXPECT_FALSE(asked);
}
