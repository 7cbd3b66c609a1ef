// What a chart's job asks of a CUPS queue, and how `lp` is run: stand-ins for lp and lpstat
// in a folder of the test's own, no scheduler.

#include "app/print/chart_printer.h"
#include "app/print/leftover_jobs.h"
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
    slow,           // answers "-d" once the file `answer` beside it is there
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
        : scheduler == Scheduler::slow ? "until [ -e \"$(dirname \"$0\")/answer\" ]; do sleep 0.02; done\n"
                                         "echo 'system default destination: Office'"
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
                 const QString &moreLpstat = {}, const QString &releasing = {}, const QString &cancelling = {})
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
        PrintTest::writeScript(dir.filePath("cancel"),
                               QString("echo \"$*\" >> '%1'\n%2\n").arg(dir.filePath("cancelled"), cancelling));
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
    std::string handOver(const PrintQueue::Request &request, std::stop_token stop = {},
                         std::optional<PrintQueue::Leftover> *released = nullptr) const
    {
        return errorOf([&] {
            const std::optional<PrintQueue::Leftover> left = PrintQueue::handOver(request, letter, commands, stop);
            if (released)
                *released = left;
        });
    }
    // Each cancel asked, a line each.
    QByteArray cancelled() const { return AppTest::readBytes(dir.filePath("cancelled")); }
    void touch(const QString &name, const QByteArray &bytes = {}) const { AppTest::writeBytes(dir.filePath(name), bytes); }
    bool has(const QString &name) const { return QFile::exists(dir.filePath(name)); }
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

namespace {

// Stand-in lines that mark where they are, in a file beside the stand-in, and wait there
// until the test makes the file `then`.
QString markThenWait(const QString &mark, const QString &then)
{
    return QString("here=\"$(dirname \"$0\")\"; touch \"$here/%1\"\n"
                   "until [ -e \"$here/%2\" ]; do sleep 0.02; done")
        .arg(mark, then);
}

// A cancel that waits for the scheduler (the file `answer`), which then says what the file
// holds: "ok", or that the job printed first.
const QString cancelOnAnswer = markThenWait("asked", "answer")
    + "\n[ \"$(cat \"$here/answer\")\" = completed ] && { echo \"cancel: cancel-job failed: Job #7 is already "
      "completed - can't cancel.\" >&2; exit 1; }\nexit 0";

// This user's other job, held and waiting for its pages, that came as lp ran.
const QString anotherJobOfTheUser = "'-l -o Office') me=$(id -un); cat <<END\n"
                                    "Office-8                $me             0   Thu Dec 10 02:02:58 2026\n"
                                    "\tAlerts: job-incoming job-hold-until-specified\n"
                                    "\tqueued for Office\n"
                                    "END\n"
                                    "exit 0 ;;\n";

bool allCancelsAnswered()
{
    return !LeftoverJobs::instance().hasPending();
}

} // namespace

// A hand-over stopped while lp hands the job in does not wait for lp, and does not end it: lp
// goes on until the scheduler names the job, and that job alone is cancelled, not another of
// the same user that came meanwhile. Stopped while lp lets the job print, the job is
// cancelled at once and returned, as the scheduler may take the release first. A scheduler
// that went away and came back is asked again only for a job it made before it went.
TEST(PrintQueue, AStoppedHandOverCancelsTheJobItLeft)
{
    // The first cancel finds no scheduler; it is back for the next.
    const QString goneOnce = "here=\"$(dirname \"$0\")\"; [ -e \"$here/back\" ] && exit 0; touch \"$here/back\"\n"
                             "echo 'cancel: Unable to connect to server.' >&2; exit 1";
    const auto backWith = [](const char *made) {
        return QString("'-W not-completed -o Office') echo 'Office-7                me             1024   %1' ;;\n")
            .arg(made);
    };
    const struct {
        const char *name;
        QString sending;
        QString releasing;
        const char *reached; // where the stand-in lp is when the hand-over stops
        bool released;
        QString cancelling;
        QString listing; // the queue's jobs once the scheduler is back
        QByteArray cancels;
    } cases[] = {
        {"ended while lp sends the job", markThenWait("sending", "named"), {}, "sending", false, {}, {}, "Office-7\n"},
        {"ended while lp lets it print", {}, markThenWait("releasing", "never"), "releasing", true, {}, {}, "Office-7\n"},
        {"back without it, its id given to a job made since", {}, markThenWait("releasing", "never"), "releasing", true,
         goneOnce, backWith("Thu Jan  1 00:00:00 2099"), "Office-7\n"},
        {"back with it", {}, markThenWait("releasing", "never"), "releasing", true, goneOnce,
         backWith("Mon Jan  1 00:00:00 2001"), "Office-7\nOffice-7\n"},
    };
    for (const auto &c : cases) {
        FakeCommands hanging("", 0, Scheduler::running, c.sending, anotherJobOfTheUser + c.listing, c.releasing,
                             c.cancelling);
        hanging.commands.leftoverLookMilliseconds = 20;
        std::stop_source stop;
        std::optional<PrintQueue::Leftover> released;
        auto handed = std::async(std::launch::async,
                                 [&] { return hanging.handOver(officeJob(), stop.get_token(), &released); });
        ASSERT_TRUE(PrintTest::runUntil([&] { return hanging.has(c.reached); })) << c.name;
        stop.request_stop();
        ASSERT_EQ(handed.wait_for(std::chrono::seconds(20)), std::future_status::ready) << c.name << ": it waited on lp";
        EXPECT_EQ(handed.get(), "") << c.name;
        ASSERT_EQ(released.has_value(), c.released) << c.name;
        if (released) {
            EXPECT_EQ(released->queue, "Office");
            EXPECT_EQ(released->job, "Office-7");
            EXPECT_TRUE(released->released);
        } else {
            // Nothing is cancelled while lp has named no job; once it has, that one is.
            QCoreApplication::processEvents();
            EXPECT_EQ(hanging.cancelled(), "") << c.name;
            hanging.touch("named");
        }
        ASSERT_TRUE(PrintTest::runUntil([&] { return hanging.cancelled().endsWith('\n') && allCancelsAnswered(); }))
            << c.name;
        EXPECT_EQ(hanging.cancelled(), c.cancels) << c.name;
        EXPECT_EQ(LeftoverJobs::instance().fateOf("Office-7"), LeftoverJobs::Fate::cancelled) << c.name;
        // The given-up lp was the last: the job was not let print after it.
        if (!c.released) {
            EXPECT_EQ(hanging.lpCalls().size(), 1u) << c.name;
        }
    }
}

// A job let print just as its hand-over was cancelled may print before the scheduler takes
// the cancel: the window says so, naming the job and its queue, once the cancel goes
// unanswered, and takes it back when the cancel is confirmed; a scheduler that printed it
// first is said to have. A cancel confirmed at once says nothing. Out of time, the window
// says it at once, after why.
TEST(PrintQueue, ACancelledReleaseSaysThePrintMayComeOut)
{
    const QString mayPrint = "Job Office-7 may still print on the printer “Office”: it was let print just before it "
                             "was cancelled, and the print scheduler (CUPS) has not confirmed the cancel yet.";
    const QString late = "The print scheduler (CUPS) did not answer within a minute. ";
    const QString printed = "Job Office-7 printed on the printer “Office”: the print scheduler (CUPS) printed it "
                            "before it took the cancel.";
    const struct {
        const char *name;
        bool outOfTime; // rather than cancelled
        QString cancel;
        QByteArray answer; // the scheduler's, once it answers; none: at once
        QString said;      // while the cancel waits
        std::optional<QString> after;
    } cases[] = {
        {"confirmed at once", false, "exit 0", {}, {}, std::nullopt},
        {"confirmed later", false, cancelOnAnswer, "ok", mayPrint, std::nullopt},
        {"printed first", false, cancelOnAnswer, "completed", mayPrint, printed},
        {"out of time", true, cancelOnAnswer, "ok", late + mayPrint, std::nullopt},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        FakeCommands fake("", 0, Scheduler::running, {}, {}, markThenWait("releasing", "never"), c.cancel);
        fake.commands.leftoverLookMilliseconds = 20;
        if (c.outOfTime)
            fake.commands.handOverMilliseconds = 3000;
        PrintTest::FakePrinter printer;
        printer.handOver = [&](std::stop_token stop) { return PrintQueue::handOver(officeJob(), letter, fake.commands, stop); };
        PrintTest::FakeHost host;
        ScriptedDialogs dialogs;
        PrintSheetModel model(PrintTest::input(PrintTest::chart(2)), host, dialogs, printer);
        model.printChart();
        ASSERT_TRUE(PrintTest::runUntil([&] { return fake.has("releasing"); }));
        if (!c.outOfTime)
            model.cancelExport();
        if (c.said.isEmpty()) {
            ASSERT_TRUE(PrintTest::runUntil([&] { return fake.cancelled() == "Office-7\n" && allCancelsAnswered(); }));
            QCoreApplication::processEvents();
            EXPECT_EQ(model.errorMessage(), std::nullopt);
            EXPECT_EQ(model.failureCount(), 0);
            continue;
        }
        ASSERT_TRUE(PrintTest::runUntil([&] { return model.errorMessage() == c.said; }))
            << model.errorMessage().value_or("").toStdString();
        EXPECT_FALSE(model.isBusy());
        fake.touch("answer", c.answer);
        ASSERT_TRUE(PrintTest::runUntil([&] { return allCancelsAnswered(); }));
        QCoreApplication::processEvents();
        EXPECT_EQ(model.errorMessage(), c.after);
    }
}

// Quitting with a cancel the scheduler has not answered asks it once more, and says what may
// still be held in its queue, or print: each job by its id and queue, or by its name where lp
// had yet to name it. A cancel answered on that last try leaves nothing to say.
TEST(PrintQueue, QuittingTriesAPendingCancelOnceMore)
{
    // Unanswered the first time; answered the second when `answers`.
    const QString secondTime = [](bool answers) {
        return QString("here=\"$(dirname \"$0\")\"\n"
                       "[ -e \"$here/tried\" ] && %1\n"
                       "touch \"$here/tried\"; exec sleep 30")
            .arg(answers ? "exit 0" : "exec sleep 30");
    }(true);
    const QString never = "exec sleep 30";
    const QString held = "Job Office-7 is held in the queue of the printer “Office”: the print scheduler (CUPS) did "
                         "not answer to cancel it.";
    const QString mayPrint = "Job Office-7 may still print on the printer “Office”, or stay held in its queue: it was "
                             "let print just before it was cancelled, and the print scheduler (CUPS) did not answer to "
                             "cancel it.";
    const QString unnamed = "A job named “Finance” may be held in the queue of the printer “Office”: the print "
                            "scheduler (CUPS) did not answer before it named the job.";
    const struct {
        const char *name;
        QString cancel;
        bool released;
        bool unnamed; // lp was stopped before it named the job
        QString said;
    } cases[] = {
        {"answered on the last try", secondTime, false, false, {}},
        {"held", never, false, false, held},
        {"let print", never, true, false, mayPrint},
        {"not named yet", never, false, true, unnamed},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        FakeCommands fake("", 0, Scheduler::running, markThenWait("sending", "never"), {}, {}, c.cancel);
        fake.commands.leftoverLookMilliseconds = 600000; // asked again only as the application ends
        if (c.unnamed) {
            std::stop_source stop;
            auto handed = std::async(std::launch::async, [&] { return fake.handOver(officeJob(), stop.get_token()); });
            ASSERT_TRUE(PrintTest::runUntil([&] { return fake.has("sending"); }));
            stop.request_stop();
            EXPECT_EQ(handed.get(), "");
        } else {
            PrintQueue::cancelLeftover({"Office", "Office-7", "Finance", c.released}, fake.commands);
            ASSERT_TRUE(PrintTest::runUntil([&] { return LeftoverJobs::instance().hasPending(); }));
        }
        // The first ask is under way, unanswered.
        ASSERT_TRUE(PrintTest::runUntil([&] { return c.unnamed || fake.has("tried") || c.cancel == never; }));
        ScriptedDialogs dialogs;
        // An lp that never names its job is waited for until the time is up.
        LeftoverJobs::sayBeforeQuit(dialogs, c.unnamed ? 500 : 3000);
        if (c.said.isEmpty()) {
            EXPECT_TRUE(dialogs.alerts.empty());
            EXPECT_EQ(fake.cancelled(), "Office-7\nOffice-7\n");
            continue;
        }
        ASSERT_EQ(dialogs.alerts.size(), 1u);
        EXPECT_EQ(dialogs.alerts[0].title, "Print Not Cancelled");
        EXPECT_EQ(dialogs.alerts[0].message, c.said + "\n\nLook in the printer's queue and cancel what is still there.");
        EXPECT_FALSE(LeftoverJobs::instance().hasPending());
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
        // Past the time a scheduler takes to answer, but within the hand-over's: waited for,
        // the window saying so, and the dialog opens once it answers.
        {Scheduler::slow, ""},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(int(c.scheduler));
        FakeCommands fake("", 0, c.scheduler);
        fake.commands.handOverMilliseconds = c.scheduler == Scheduler::silent ? 1000 : 600000;
        bool slow = false;
        EXPECT_EQ(errorOf([&] {
            PrintQueue::requireAnswer(fake.commands, {}, [&] {
                slow = true;
                fake.touch("answer");
            });
        }), c.said);
        EXPECT_EQ(slow, c.scheduler == Scheduler::silent || c.scheduler == Scheduler::slow);
        QFile::remove(fake.dir.filePath("answer"));

        bool asked = false;
        SystemChartPrinter printer([&](QPrinter &, int) {
            asked = true;
            return false;
        }, fake.commands);
        PrintTest::FakeHost host;
        ScriptedDialogs dialogs;
        PrintSheetModel model(PrintTest::input(PrintTest::chart(2)), host, dialogs, printer);
        model.printChart();
        if (c.scheduler == Scheduler::slow) {
            ASSERT_TRUE(PrintTest::runUntil([&] { return model.progressLabel() == "Waiting for the print system…"; }));
            EXPECT_EQ(model.progressMaximum(), 0);
            EXPECT_TRUE(model.showsProgress()); // with its Cancel
            EXPECT_FALSE(asked);
            fake.touch("answer");
        }
        ASSERT_TRUE(PrintTest::runUntil([&] { return !model.isBusy(); }));
        EXPECT_EQ(model.errorMessage().value_or("").toStdString(), c.said);
        EXPECT_EQ(asked, *c.said == '\0');
    }
}
