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
    const QList<PrintQueue::ListedPaper> listed = PrintQueue::papersFromOptions("PageSize/Page Size: *A4 Letter").listed;
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
                             "page-ranges", "2-3", "fit-to-page", "true",             "number-up",             "2",
                             "page-set",    "odd"};
    request.paper = "Letter";
    request.file = "/tmp/job";
    EXPECT_EQ(PrintQueue::lpArguments(request),
              (QStringList{"-d", "Office", "-n", "2", "-o", "Collate=True", "-o", "sides=two-sided-long-edge", "-o",
                           "number-up=2", "-o", "page-set=odd", "-o", "PageSize=Letter", "-o", "media=Letter", "--",
                           "/tmp/job"}));
}

// The dialog's "Reverse" is the printer's page order: the queue is told to put the last page
// first, as it is told the page set; unchecked, the queue keeps its own order.
TEST(PrintQueue, TheDialogsReverseOrderGoesToTheQueue)
{
    for (const QPrinter::PageOrder order : {QPrinter::LastPageFirst, QPrinter::FirstPageFirst}) {
        QPrinter printer;
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setPrinterName("Office");
        printer.setDocName("Finance");
        printer.setPageLayout(QPageLayout(letter, QPageLayout::Portrait, QMarginsF(), QPageLayout::Point));
        printer.setPageOrder(order);
        PrintQueue::Request request = SystemChartPrinter::queueRequest(printer, "Letter", "/tmp/job");
        request.queue = "Office";
        request.dialogOptions = {"page-set", "even"};
        QStringList options{"sides=one-sided", "page-set=even"};
        if (order == QPrinter::LastPageFirst)
            options << "outputorder=reverse";
        EXPECT_EQ(PrintQueue::lpArguments(request), lpOptions(options << "PageSize=Letter" << "media=Letter")) << order;
    }
}

// A queue that lists its papers (as lpoptions names them) gets its own name for the chart's
// (not one named the other way round), else a custom size where it takes one, else the chart
// is refused. A queue whose papers cannot be listed (a raw queue) is handed the chart's paper
// all the same.
TEST(PrintQueue, PaperIsRefusedOnlyWhereTheQueueListsOthers)
{
    const QPageSize tabloid(QPageSize::Tabloid);
    const QPageSize a3(QPageSize::A3);
    const QPageSize acrossNineByThirteen(QSizeF(936, 648), QPageSize::Point, "Chart", QPageSize::ExactMatch);
    const struct {
        const char *listing; // lpoptions -p <queue> -l
        QPageSize paper;
        std::optional<QString> named;
    } cases[] = {
        // Note is Letter's size too: the paper's own name goes first.
        {"PageSize/Page Size: Note *A4 Letter\nResolution/Output Resolution: *300dpi", letter, "Letter"},
        // Ledger is Tabloid turned across the feed.
        {"PageSize/Page Size: *A4 Ledger", tabloid, std::nullopt},
        {"PageSize/Page Size: Custom.WIDTHxHEIGHT *A4 Ledger", tabloid, "Custom.792x1224"},
        {"PageSize/Page Size: *A4 11x17", tabloid, "11x17"},
        {"PageSize/Page Size: A4Rotated A4.Transverse w612h792", a4, std::nullopt},
        {"PageSize/Page Size: A4Rotated A4.Transverse w612h792", letter, "w612h792"},
        {"PageSize/Page Size: na_letter_8.5x11in iso_a4_210x297mm", a4, "iso_a4_210x297mm"},
        {"PageSize/Media Size: Letter.Fullbleed *A4.Fullbleed", a4, "A4.Fullbleed"},
        {"PageSize/Page Size: *A4 Letter", nineByThirteen, std::nullopt},
        // Nothing listed: a queue without papers, or lpoptions without an answer for it.
        {"Resolution/Output Resolution: 150dpi *300dpi", tabloid, "Tabloid"},
        {"", a3, "A3"},
        {"", nineByThirteen, "Custom.648x936"},
        {"", acrossNineByThirteen, "Custom.648x936"},
    };
    for (const auto &c : cases) {
        const PrintQueue::QueuePapers papers = PrintQueue::papersFromOptions(c.listing);
        EXPECT_EQ(PrintQueue::paperFor(papers.listed, papers.takesCustomSizes, c.paper), c.named)
            << c.listing << " / " << c.paper.name().toStdString();
    }
    EXPECT_EQ(PrintQueue::paperName(nineByThirteen), "9 × 13 inch");
}

namespace {

// The print scheduler as lpstat finds it.
enum class Scheduler {
    running,        // with a default queue
    noDefaultQueue, // running
    notRunning,
    silent,         // takes connections and answers nothing
};

// What cups-client's lpstat says, in the C locale, for the questions the app asks: a
// scheduler that is not running still answers "-d" with success; `more` adds answers, as
// shell case branches. Asked anything else it fails; outside the C locale it answers in
// other words.
QString lpstatFor(Scheduler scheduler, const QString &more = {})
{
    const bool running = scheduler != Scheduler::notRunning;
    const QString defaultQueue = scheduler == Scheduler::running ? "echo 'system default destination: Office'"
        : scheduler == Scheduler::silent                         ? "exec sleep 30"
                                                                 : "echo 'no system default destination'";
    return QString("[ \"$LC_ALL\" = C ] || { echo 'Planer läuft nicht'; exit 0; }\n"
                   "case \"$*\" in\n"
                   "-r) echo 'scheduler is %1' ;;\n"
                   "-d) %2 ;;\n"
                   "%3"
                   "*) echo 'lpstat: not a question the app asks' >&2; exit 1 ;;\n"
                   "esac\n")
        .arg(running ? "running" : "not running", defaultQueue, more);
}

// The print system's stand-ins. lp records each call's arguments; handed a job, it runs
// `sending`, then says `lpSays` on standard error and ends with `lpCode`, naming the job
// Office-7 when it takes it; told to let a job print (-i), it runs `releasing`. lpstat answers
// for `scheduler` (and `moreLpstat`); lpoptions lists Letter and custom sizes; cancel records
// its arguments.
struct FakeCommands {
    QTemporaryDir dir;
    PrintQueue::Commands commands{dir.filePath("lp"), dir.filePath("lpstat"), dir.filePath("lpoptions"),
                                  dir.filePath("cancel")};

    FakeCommands(const QString &lpSays, int lpCode, Scheduler scheduler, const QString &sending = {},
                 const QString &moreLpstat = {}, const QString &releasing = {})
    {
        PrintTest::writeScript(dir.filePath("lp"), QString("printf '%s\\n' \"$@\" '@end' >> '%1'\n"
                                                           "if [ \"$1\" = -i ]; then %2\nexit 0; fi\n"
                                                           "%3\n"
                                                           "[ %5 = 0 ] && echo 'request id is Office-7 (1 file(s))'\n"
                                                           "printf '%s\\n' '%4' >&2\nexit %5\n")
                                                       .arg(dir.filePath("lp-calls"), releasing.isEmpty() ? ":" : releasing,
                                                            sending.isEmpty() ? ":" : sending, lpSays)
                                                       .arg(lpCode));
        PrintTest::writeScript(dir.filePath("lpstat"), lpstatFor(scheduler, moreLpstat));
        PrintTest::writeScript(dir.filePath("lpoptions"), "echo 'PageSize/Page Size: Custom.WIDTHxHEIGHT *Letter A4'\n");
        PrintTest::writeScript(dir.filePath("cancel"), QString("echo \"$*\" >> '%1'\n").arg(dir.filePath("cancelled")));
        commands.answerMilliseconds = 300;
    }
    // The arguments of each call of lp.
    std::vector<QStringList> lpCalls() const
    {
        std::vector<QStringList> calls(1);
        for (const QString &line : QString::fromUtf8(AppTest::readBytes(dir.filePath("lp-calls"))).split('\n', Qt::SkipEmptyParts)) {
            if (line == "@end")
                calls.emplace_back();
            else
                calls.back().append(line);
        }
        calls.pop_back();
        return calls;
    }
    std::string handOver(const PrintQueue::Request &request, std::stop_token stop = {}) const
    {
        return errorOf([&] { PrintQueue::handOver(request, letter, commands, stop); });
    }
};

PrintQueue::Request officeJob()
{
    PrintQueue::Request request;
    request.queue = "Office";
    request.title = "Finance";
    request.file = "/tmp/a file";
    return request;
}

} // namespace

// The job goes in held and, once lp has named it, prints as the dialog chose: at once, or
// held until what the dialog said. A refusal reaches the user in lp's own words without its
// "lp: Error - ", with the reason the queue was stopped with; a scheduler that is not running
// is named as the cause rather than lp's "The printer or class does not exist."
TEST(PrintQueue, TheJobGoesInHeldAndTheQueuesCauseIsSaidPlainly)
{
    for (const QString &chosen : {QString(), QString("night")}) {
        PrintQueue::Request request = officeJob();
        if (!chosen.isEmpty())
            request.dialogOptions = {"job-hold-until", chosen};
        FakeCommands taken("", 0, Scheduler::running);
        EXPECT_EQ(taken.handOver(request), "");
        PrintQueue::Request held = request;
        held.paper = "Letter";
        held.holdUntil = "indefinite";
        const QStringList handed = PrintQueue::lpArguments(held);
        EXPECT_TRUE(handed.contains("job-hold-until=indefinite")) << handed.join(' ').toStdString();
        EXPECT_FALSE(handed.contains("job-hold-until=night")) << handed.join(' ').toStdString();
        EXPECT_EQ(taken.lpCalls(),
                  (std::vector<QStringList>{handed, {"-i", "Office-7", "-o", "job-hold-until=" + (chosen.isEmpty() ? "no-hold" : chosen)}}));
    }

    // The reason the queue was stopped with follows lp's sentence; the scheduler's own words
    // when none was given add nothing.
    const struct {
        const char *reason;
        std::string said;
    } refusals[] = {
        {"Out of toner, call Ext. 4410",
         "The printer “Office” did not take the job: Destination \"Office\" is not accepting jobs. Out of toner, call "
         "Ext. 4410."},
        {"Out of paper", "The printer “Office” did not take the job: Destination \"Office\" is not accepting jobs. Out "
                         "of paper."},
        {"Rejecting Jobs", "The printer “Office” did not take the job: Destination \"Office\" is not accepting jobs."},
    };
    for (const auto &r : refusals) {
        FakeCommands refusing("lp: Error - Destination \"Office\" is not accepting jobs.", 1, Scheduler::running, {},
                              QString("'-a Office') printf 'Office not accepting requests since Thu Dec 10 02:00:07 "
                                      "2026 -\\n\\t%1\\n' ;;\n")
                                  .arg(r.reason));
        EXPECT_EQ(refusing.handOver(officeJob()), r.said);
    }

    FakeCommands noScheduler("lp: Error - The printer or class does not exist.", 1, Scheduler::notRunning);
    EXPECT_EQ(noScheduler.handOver(officeJob()),
              "The printer “Office” did not take the job: the print scheduler (CUPS) is not running.");

    FakeCommands missing("", 0, Scheduler::running);
    missing.commands.lp = missing.dir.filePath("no-such-lp");
    EXPECT_EQ(missing.handOver(officeJob()), "The printer “Office” did not take the job: the lp command could not be started.");
}

// A scheduler that does not answer keeps lp waiting; stopping the hand-over ends lp at once
// and reports nothing. The job lp may have left the scheduler is held, so it prints nothing,
// and is cancelled once the scheduler answers: the one lp named, or, ended before it named
// one, this user's new job that is held or waits for its pages; not one of before, not one
// printing, not another user's.
TEST(PrintQueue, AStoppedHandOverCancelsTheJobItLeft)
{
    const QString listing = "'-l -o Office') me=$(id -un); cat <<END\n"
                            "Office-6                $me          1024   Thu Dec 10 02:02:50 2026\n"
                            "\tAlerts: job-hold-until-specified\n"
                            "\tqueued for Office\n"
                            "END\n"
                            "[ -e '%1' ] && cat <<END\n"
                            "Office-7                $me             0   Thu Dec 10 02:02:57 2026\n"
                            "\tAlerts: job-incoming job-hold-until-specified\n"
                            "\tqueued for Office\n"
                            "Office-8                someone-else      0   Thu Dec 10 02:02:58 2026\n"
                            "\tAlerts: job-hold-until-specified\n"
                            "\tqueued for Office\n"
                            "Office-9                $me          2048   Thu Dec 10 02:02:59 2026\n"
                            "\tqueued for Office\n"
                            "END\n"
                            "exit 0 ;;\n";
    const struct {
        const char *name;
        QString sending;
        QString releasing;
    } cases[] = {
        {"ended while lp sends the job", "touch '%1'; exec sleep 30", {}},
        {"ended while lp lets it print", "touch '%1'", "exec sleep 30"},
    };
    for (const auto &c : cases) {
        QTemporaryDir marks;
        const QString sent = marks.filePath("sent");
        FakeCommands hanging("", 0, Scheduler::running, c.sending.arg(sent), listing.arg(sent), c.releasing);
        hanging.commands.leftoverLookMilliseconds = 20;
        std::stop_source stop;
        auto handed = std::async(std::launch::async, [&] { return hanging.handOver(officeJob(), stop.get_token()); });
        EXPECT_EQ(handed.wait_for(std::chrono::milliseconds(300)), std::future_status::timeout) << c.name;
        stop.request_stop();
        ASSERT_EQ(handed.wait_for(std::chrono::seconds(20)), std::future_status::ready) << c.name << ": lp was not ended";
        EXPECT_EQ(handed.get(), "") << c.name;
        const QString cancelled = hanging.dir.filePath("cancelled");
        ASSERT_TRUE(PrintTest::runUntil([&] { return AppTest::readBytes(cancelled).endsWith('\n'); })) << c.name;
        EXPECT_EQ(AppTest::readBytes(cancelled), "Office-7\n") << c.name;
    }
}

// The scheduler is asked beside the window before the print dialog, which would ask it on the
// window's thread and, without one, offer only a file: one that is not running or does not
// answer is reported and no dialog shows. A scheduler without a default queue opens the
// dialog, where the user picks a printer.
TEST(PrintQueue, TheSchedulerIsCheckedBeforeTheDialog)
{
    const struct {
        Scheduler scheduler;
        const char *said;
    } cases[] = {
        {Scheduler::running, ""},
        {Scheduler::noDefaultQueue, ""},
        {Scheduler::notRunning, "The print scheduler (CUPS) is not running. Nothing was printed."},
        {Scheduler::silent, "The print scheduler (CUPS) does not answer. Nothing was printed."},
    };
    for (const auto &c : cases) {
        FakeCommands fake("", 0, c.scheduler);
        EXPECT_EQ(errorOf([&] { PrintQueue::requireAnswer(fake.commands, {}); }), c.said) << int(c.scheduler);

        bool asked = false;
        SystemChartPrinter printer([&](QPrinter &, int) {
            asked = true;
            return false;
        }, fake.commands);
        PrintTest::FakeHost host;
        ScriptedDialogs dialogs;
        PrintSheetModel model(PrintTest::input(PrintTest::chart(2)), host, dialogs, printer);
        model.printChart();
        ASSERT_TRUE(PrintTest::runUntil([&] { return !model.isBusy(); }));
        EXPECT_EQ(model.errorMessage().value_or("").toStdString(), c.said) << int(c.scheduler);
        EXPECT_EQ(asked, *c.said == '\0') << int(c.scheduler);
    }
}
