#include "app/print/print_queue.h"

#include "app/sidebar/chart_design_controls.h"
#include "core/support/organization_error.h"
#include "printing/chart_text.h"

#include <QDeadlineTimer>
#include <QHash>
#include <QPageSize>
#include <QProcess>
#include <QProcessEnvironment>
#include <QRegularExpression>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace {

// The option that holds a job in its queue until a time, or for good ("indefinite"), and
// lets it print ("no-hold").
const QString holdOption = QStringLiteral("job-hold-until");
// How often a waiting worker looks whether it was stopped.
const int pollMilliseconds = 50;

// The options the dialog may carry that would put the chart on other paper, turn it, scale
// it, or choose pages among those already chosen.
bool overridesTheChart(const QString &option)
{
    static const QStringList options{QStringLiteral("PageSize"), QStringLiteral("PageRegion"),
                                     QStringLiteral("media"), QStringLiteral("media-col"),
                                     QStringLiteral("orientation-requested"), QStringLiteral("landscape"),
                                     QStringLiteral("fit-to-page"), QStringLiteral("fitplot"),
                                     QStringLiteral("print-scaling"), QStringLiteral("scaling"),
                                     QStringLiteral("page-ranges")};
    return options.contains(option, Qt::CaseInsensitive);
}

// A standard paper's name ("Letter", "A3"); none for other sizes.
std::optional<QString> standardName(const QSizeF &inches)
{
    const double shortSide = std::min(inches.width(), inches.height());
    const double longSide = std::max(inches.width(), inches.height());
    for (const PaperPreset &preset : standardPapers()) {
        if (std::abs(preset.width - shortSide) < 0.01 && std::abs(preset.height - longSide) < 0.01)
            return preset.name;
    }
    return std::nullopt;
}

enum class Ended { finished, stopped, timedOut };

// Waits for `process` to end, until `deadline`, looking at `stop` meanwhile (and running
// `tick`); a process stopped or out of time is killed.
Ended waitFor(QProcess &process, const QDeadlineTimer &deadline, const std::stop_token &stop,
              const std::function<void()> &tick = {})
{
    while (!process.waitForFinished(pollMilliseconds)) {
        if (process.state() == QProcess::NotRunning)
            return Ended::finished;
        if (tick)
            tick();
        const bool stopped = stop.stop_requested();
        if (stopped || deadline.hasExpired()) {
            process.kill();
            process.waitForFinished();
            return stopped ? Ended::stopped : Ended::timedOut;
        }
    }
    return Ended::finished;
}

struct Said {
    Ended ended = Ended::finished;
    QString output;
};

// What `program` says to `arguments` on standard output, in the C locale: its words are
// looked at, not shown.
Said ask(const QString &program, const QStringList &arguments, const QDeadlineTimer &deadline,
         const std::stop_token &stop, const std::function<void()> &tick = {})
{
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("LC_ALL"), QStringLiteral("C"));
    process.setProcessEnvironment(environment);
    process.start(program, arguments);
    Said said;
    said.ended = waitFor(process, deadline, stop, tick);
    if (said.ended == Ended::finished)
        said.output = QString::fromLocal8Bit(process.readAllStandardOutput());
    return said;
}

Said askLpstat(const PrintQueue::Commands &commands, const QStringList &arguments, const std::stop_token &stop)
{
    return ask(commands.lpstat, arguments, QDeadlineTimer(commands.answerMilliseconds), stop);
}

// "lpstat -r" only connects, so it answers at once whether a scheduler listens; one that
// listens but hangs still counts as running.
bool schedulerIsDown(const PrintQueue::Commands &commands, const std::stop_token &stop)
{
    return askLpstat(commands, {QStringLiteral("-r")}, stop).output.contains(QStringLiteral("scheduler is not running"));
}

// lp's sentence without the program's name and its "Error - " in front.
QString lpSaid(const QString &error, const QString &output)
{
    QString said = error.trimmed();
    if (said.isEmpty())
        said = output.trimmed();
    said = said.section(QLatin1Char('\n'), 0, 0).trimmed();
    // "/usr/bin/lp: Error - Destination … is not accepting jobs."
    const qsizetype colon = said.indexOf(QStringLiteral(": "));
    if (colon > 0 && said.left(colon).endsWith(QStringLiteral("lp")))
        said = said.mid(colon + 2).trimmed();
    if (said.startsWith(QStringLiteral("Error - ")))
        said = said.mid(8).trimmed();
    return said;
}

QString sentence(QString text)
{
    text = text.trimmed();
    if (!text.isEmpty() && !text.endsWith(QLatin1Char('.')) && !text.endsWith(QLatin1Char('!'))
        && !text.endsWith(QLatin1Char('?')))
        text += QLatin1Char('.');
    return text;
}

[[noreturn]] void refused(const QString &queue, const QString &cause)
{
    throw OrganizationError::invalid(
        QStringLiteral("The printer \u201c%1\u201d did not take the job: %2").arg(queue, sentence(cause)).toStdString());
}

[[noreturn]] void unanswered(const QString &queue)
{
    refused(queue, QStringLiteral("the print scheduler (CUPS) did not answer within a minute"));
}

// Why `queue` takes no jobs, as whoever stopped it said (`cupsreject -r`); nothing when it
// takes jobs or no reason was given. `lpstat -a` says it as:
//   Office not accepting requests since <date> -
//   \tOut of toner
QString refusalReason(const QString &queue, const PrintQueue::Commands &commands, const QDeadlineTimer &deadline,
                      const std::stop_token &stop)
{
    const Said said = ask(commands.lpstat, {QStringLiteral("-a"), queue}, deadline, stop);
    const QStringList lines = said.output.split(QLatin1Char('\n'));
    for (qsizetype i = 0; i + 1 < lines.size(); ++i) {
        if (!lines[i].startsWith(queue + QStringLiteral(" not accepting")) || !lines[i + 1].startsWith(QLatin1Char('\t')))
            continue;
        const QString reason = lines[i + 1].trimmed();
        // The scheduler's own words when no reason was given say nothing lp did not.
        if (reason == QStringLiteral("reason unknown") || reason == QStringLiteral("Rejecting Jobs"))
            return {};
        return reason;
    }
    return {};
}

// The size a paper's name tells, in points as it feeds; nothing for a name that tells none.
std::optional<QSizeF> sizeNamed(const QString &name)
{
    static const QHash<QString, QSizeF> standard = [] {
        QHash<QString, QSizeF> sizes;
        for (int id = 0; id <= int(QPageSize::LastPageSize); ++id) {
            const QPageSize paper{QPageSize::PageSizeId(id)};
            if (paper.isValid() && !paper.key().isEmpty())
                sizes.insert(paper.key().toLower(), paper.size(QPageSize::Point));
        }
        return sizes;
    }();
    static const QRegularExpression inches(QStringLiteral("^(\\d+(?:\\.\\d+)?)x(\\d+(?:\\.\\d+)?)$"));
    static const QRegularExpression points(QStringLiteral("^w(\\d+(?:\\.\\d+)?)h(\\d+(?:\\.\\d+)?)$"));
    static const QRegularExpression pwg(QStringLiteral("^[a-z0-9-]+_[^_]*_(\\d+(?:\\.\\d+)?)x(\\d+(?:\\.\\d+)?)(in|mm)$"));
    // Across the feed: another paper, whatever its size.
    if (name.endsWith(QStringLiteral("Rotated")) || name.contains(QStringLiteral(".Transverse")))
        return std::nullopt;
    // "Executive.7.5x10in" is a standard name; "A4.Fullbleed" is A4 without margins.
    for (const QString &candidate : {name, name.section(QLatin1Char('.'), 0, 0)}) {
        const QString lower = candidate.toLower();
        if (const auto found = standard.constFind(lower); found != standard.constEnd())
            return *found;
        if (const QRegularExpressionMatch match = inches.match(lower); match.hasMatch())
            return QSizeF(match.captured(1).toDouble() * 72, match.captured(2).toDouble() * 72);
        if (const QRegularExpressionMatch match = points.match(lower); match.hasMatch())
            return QSizeF(match.captured(1).toDouble(), match.captured(2).toDouble());
    }
    if (const QRegularExpressionMatch match = pwg.match(name); match.hasMatch()) {
        const double unit = match.captured(3) == QStringLiteral("in") ? 72 : 72 / 25.4;
        return QSizeF(match.captured(1).toDouble() * unit, match.captured(2).toDouble() * unit);
    }
    return std::nullopt;
}

// Runs one lp, until `deadline`: how it ended, what it said, and (finished) whether it did it.
struct LpRun {
    Ended ended = Ended::finished;
    bool started = true;
    bool done = false;
    QString said;     // its sentence, when not done
    QString output;   // its standard output
    int exitCode = 0;
};

LpRun runLp(const PrintQueue::Commands &commands, const QStringList &arguments, const QDeadlineTimer &deadline,
            const std::stop_token &stop)
{
    QProcess lp;
    // In the C locale: the job's id is read from what it says.
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("LC_ALL"), QStringLiteral("C"));
    lp.setProcessEnvironment(environment);
    lp.start(commands.lp, arguments);
    LpRun run;
    run.ended = waitFor(lp, deadline, stop);
    if (run.ended != Ended::finished)
        return run;
    run.started = lp.error() != QProcess::FailedToStart;
    run.done = run.started && lp.exitStatus() == QProcess::NormalExit && lp.exitCode() == 0;
    run.exitCode = lp.exitCode();
    run.output = QString::fromLocal8Bit(lp.readAllStandardOutput());
    if (run.started && !run.done)
        run.said = lpSaid(QString::fromLocal8Bit(lp.readAllStandardError()), run.output);
    return run;
}

// Why lp did not do it, as the user reads it.
[[noreturn]] void lpRefused(const LpRun &run, const QString &queue, const PrintQueue::Commands &commands,
                            const QDeadlineTimer &deadline, const std::stop_token &stop)
{
    if (!run.started)
        refused(queue, QStringLiteral("the lp command could not be started"));
    // Without a scheduler lp says that the printer does not exist.
    if (schedulerIsDown(commands, stop))
        refused(queue, QStringLiteral("the print scheduler (CUPS) is not running"));
    QString cause = sentence(run.said.isEmpty() ? QStringLiteral("lp ended with code %1").arg(run.exitCode) : run.said);
    const QString reason = refusalReason(queue, commands, deadline, stop);
    if (!reason.isEmpty())
        cause += QLatin1Char(' ') + sentence(reason);
    refused(queue, cause);
}

// The queue's name for `paper` (lpoptions); nothing once stopped. A queue whose options cannot
// be read (a raw queue, no scheduler) lists no papers: lp is told the chart's own, and says
// what is wrong.
std::optional<QString> queuePaper(const QString &queue, const QPageSize &paper, const PrintQueue::Commands &commands,
                                  const QDeadlineTimer &deadline, const std::stop_token &stop)
{
    const Said options = ask(commands.lpoptions, {QStringLiteral("-p"), queue, QStringLiteral("-l")}, deadline, stop);
    if (options.ended == Ended::stopped)
        return std::nullopt;
    if (options.ended == Ended::timedOut)
        unanswered(queue);
    const PrintQueue::QueuePapers papers = PrintQueue::papersFromOptions(options.output);
    const std::optional<QString> named = PrintQueue::paperFor(papers.listed, papers.takesCustomSizes, paper);
    // Printed on another paper the chart would come out scaled or cut.
    if (!named) {
        throw OrganizationError::invalid(
            QStringLiteral("The printer \u201c%1\u201d has no %2 paper.").arg(queue, PrintQueue::paperName(paper)).toStdString());
    }
    return named;
}

// The job lp says it made: "request id is Office-12 (1 file(s))".
QString requestId(const QString &output)
{
    static const QRegularExpression said(QStringLiteral("request id is (\\S+)"));
    return said.match(output).captured(1);
}

// lp handing a job in, on a thread of its own. Given up by its hand-over (stopped, or out of
// time), it goes on until the scheduler names the job, which is then cancelled: ended, it
// could leave the scheduler a job whose id no one knows, to print once held jobs are released.
struct Submission {
    PrintQueue::Leftover leftover; // the queue and the job's name
    PrintQueue::Commands commands;
    std::mutex mutex;
    std::condition_variable ended;
    std::optional<LpRun> run; // once lp has ended
    bool givenUp = false;
    bool over = false; // the thread has nothing more to do
};

// Every submission's thread, kept until it is over; ended and joined with the program.
class Submissions {
public:
    ~Submissions() { endGivenUp(); }

    std::shared_ptr<Submission> start(PrintQueue::Leftover leftover, const PrintQueue::Commands &commands,
                                      const QStringList &arguments)
    {
        auto submission = std::make_shared<Submission>();
        submission->leftover = std::move(leftover);
        submission->commands = commands;
        std::lock_guard lock(m_mutex);
        std::erase_if(m_runs, [](Run &run) {
            std::lock_guard over(run.submission->mutex);
            return run.submission->over; // joined as it goes
        });
        m_runs.push_back({submission, std::jthread(&Submissions::submit, submission, arguments)});
        return submission;
    }

    bool anyWaiting()
    {
        std::lock_guard lock(m_mutex);
        return std::any_of(m_runs.begin(), m_runs.end(), [](const Run &run) {
            std::lock_guard over(run.submission->mutex);
            return !run.submission->over;
        });
    }

    // Ends every lp still waiting; the jobs they may have left.
    QList<PrintQueue::Leftover> endGivenUp()
    {
        std::vector<Run> runs;
        {
            std::lock_guard lock(m_mutex);
            runs = std::move(m_runs);
            m_runs.clear();
        }
        QList<PrintQueue::Leftover> left;
        for (Run &run : runs) {
            run.thread.request_stop();
            run.thread.join();
            if (run.submission->run && run.submission->run->ended != Ended::finished)
                left.append(run.submission->leftover);
        }
        return left;
    }

private:
    struct Run {
        std::shared_ptr<Submission> submission;
        std::jthread thread;
    };

    static void submit(std::stop_token end, std::shared_ptr<Submission> submission, QStringList arguments)
    {
        const LpRun run = runLp(submission->commands, arguments, QDeadlineTimer(QDeadlineTimer::Forever), end);
        bool givenUp = false;
        {
            std::lock_guard lock(submission->mutex);
            submission->run = run;
            givenUp = submission->givenUp;
        }
        submission->ended.notify_all();
        if (givenUp && run.done) {
            PrintQueue::Leftover leftover = submission->leftover;
            leftover.job = requestId(run.output);
            PrintQueue::cancelLeftover(leftover, submission->commands);
        }
        std::lock_guard lock(submission->mutex);
        submission->over = true;
    }

    std::mutex m_mutex;
    std::vector<Run> m_runs;
};

Submissions &submissions()
{
    static Submissions kept;
    return kept;
}

// Stopped for every hand-over under way as the application ends (and made anew, for a test
// that goes on); and how many are under way.
std::mutex quittingMutex;
std::stop_source quittingSource;
std::atomic<int> runningHandOvers{0};

std::stop_token quitting()
{
    std::lock_guard lock(quittingMutex);
    return quittingSource.get_token();
}

// Runs lp to hand the job in until `deadline`; given up when stopped or out of time, it goes on.
LpRun submitOnce(const PrintQueue::Request &request, const PrintQueue::Commands &commands,
                 const QDeadlineTimer &deadline, const std::stop_token &stop)
{
    const std::shared_ptr<Submission> submission =
        submissions().start({request.queue, {}, request.title, false}, commands, PrintQueue::lpArguments(request));
    std::unique_lock lock(submission->mutex);
    while (!submission->run) {
        if (stop.stop_requested() || deadline.hasExpired()) {
            submission->givenUp = true;
            LpRun run;
            run.ended = stop.stop_requested() ? Ended::stopped : Ended::timedOut;
            return run;
        }
        submission->ended.wait_for(lock, std::chrono::milliseconds(pollMilliseconds));
    }
    return *submission->run;
}

// Hands the job in (held, as `request` says) and returns its id, "Office-12"; empty once
// stopped.
QString submitHeld(const PrintQueue::Request &request, const PrintQueue::Commands &commands,
                   const QDeadlineTimer &deadline, const std::stop_token &stop)
{
    const LpRun submitted = submitOnce(request, commands, deadline, stop);
    if (submitted.ended == Ended::stopped)
        return {};
    if (submitted.ended == Ended::timedOut)
        unanswered(request.queue);
    if (!submitted.done)
        lpRefused(submitted, request.queue, commands, deadline, stop);
    const QString job = requestId(submitted.output);
    if (job.isEmpty())
        refused(request.queue, QStringLiteral("lp did not say which job it made"));
    return job;
}

} // namespace

namespace PrintQueue {

QStringList lpArguments(const Request &request)
{
    QStringList arguments{QStringLiteral("-d"), request.queue};
    if (!request.title.isEmpty())
        arguments << QStringLiteral("-t") << request.title;
    if (request.copies > 1) {
        arguments << QStringLiteral("-n") << QString::number(request.copies);
        if (request.collate)
            arguments << QStringLiteral("-o") << QStringLiteral("Collate=True");
    }
    arguments << QStringLiteral("-o") << QStringLiteral("sides=") + request.sides;
    for (qsizetype i = 0; i + 1 < request.dialogOptions.size(); i += 2) {
        const QString &option = request.dialogOptions[i];
        if (overridesTheChart(option) || (!request.holdUntil.isEmpty() && option == holdOption))
            continue;
        arguments << QStringLiteral("-o") << option + QLatin1Char('=') + request.dialogOptions[i + 1];
    }
    // Unchecked leaves the queue's own order.
    if (request.reverse)
        arguments << QStringLiteral("-o") << QStringLiteral("outputorder=reverse");
    if (!request.holdUntil.isEmpty())
        arguments << QStringLiteral("-o") << holdOption + QLatin1Char('=') + request.holdUntil;
    arguments << QStringLiteral("-o") << QStringLiteral("PageSize=") + request.paper;
    arguments << QStringLiteral("-o") << QStringLiteral("media=") + request.paper;
    if (request.landscape)
        arguments << QStringLiteral("-o") << QStringLiteral("landscape=true");
    arguments << QStringLiteral("--") << request.file;
    return arguments;
}

QueuePapers papersFromOptions(const QString &listing)
{
    // "PageSize/Page Size: Custom.WIDTHxHEIGHT 11x17 *A4 Letter", the default starred.
    QueuePapers papers;
    for (const QString &line : listing.split(QLatin1Char('\n'))) {
        const qsizetype colon = line.indexOf(QStringLiteral(": "));
        if (colon < 0 || line.left(colon).section(QLatin1Char('/'), 0, 0) != QStringLiteral("PageSize"))
            continue;
        for (QString choice : line.mid(colon + 2).split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
            if (choice.startsWith(QLatin1Char('*')))
                choice.remove(0, 1);
            if (choice.startsWith(QStringLiteral("Custom."))) {
                papers.takesCustomSizes = true;
                continue;
            }
            if (const std::optional<QSizeF> size = sizeNamed(choice))
                papers.listed.append({choice, size->width(), size->height()});
        }
    }
    return papers;
}

std::optional<QString> paperFor(const QList<ListedPaper> &listed, bool takesCustomSizes, const QPageSize &paper)
{
    const QSizeF points = paper.size(QPageSize::Point);
    const QSizeF want(std::min(points.width(), points.height()), std::max(points.width(), points.height()));
    const auto sameSize = [&](const ListedPaper &offered) {
        return std::abs(offered.width - want.width()) <= 1 && std::abs(offered.height - want.height()) <= 1;
    };
    // The paper's own name first ("Letter" rather than "AnsiA", both 612 × 792 points).
    std::optional<QString> found;
    for (const ListedPaper &offered : listed) {
        if (!sameSize(offered) || offered.name.isEmpty())
            continue;
        if (offered.name == QPageSize(paper.id()).key())
            return offered.name;
        if (!found)
            found = offered.name;
    }
    if (found)
        return found;
    const QString custom = QStringLiteral("Custom.%1x%2").arg(qRound(want.width())).arg(qRound(want.height()));
    if (listed.isEmpty())
        return standardName(paper.size(QPageSize::Inch)).value_or(custom);
    if (takesCustomSizes)
        return custom;
    return std::nullopt;
}

QString paperName(const QPageSize &paper)
{
    const QSizeF inches = paper.size(QPageSize::Inch);
    if (const std::optional<QString> name = standardName(inches))
        return *name;
    return ChartText::decimal(std::min(inches.width(), inches.height()), 3) + QStringLiteral(" × ")
        + ChartText::decimal(std::max(inches.width(), inches.height()), 3) + QStringLiteral(" inch");
}

void requireAnswer(const Commands &commands, std::stop_token stop, const std::function<void()> &slow)
{
    // Without a scheduler "lpstat -d" says "no system default destination", as one without a
    // default queue does: only "-r" tells the two apart.
    if (schedulerIsDown(commands, stop))
        throw OrganizationError::invalid("The print scheduler (CUPS) is not running. Nothing was printed.");
    // A question it must answer: a hung scheduler still takes connections, so "-r" finds it
    // running. A busy or distant one may take its time: it is given the hand-over's minute.
    const QDeadlineTimer slowAt(commands.answerMilliseconds);
    bool saidSlow = false;
    const Said said = ask(commands.lpstat, {QStringLiteral("-d")}, QDeadlineTimer(commands.handOverMilliseconds), stop,
                          [&] {
                              if (!saidSlow && slowAt.hasExpired()) {
                                  saidSlow = true;
                                  if (slow)
                                      slow();
                              }
                          });
    if (said.ended == Ended::timedOut)
        throw OrganizationError::invalid("The print scheduler (CUPS) does not answer. Nothing was printed.");
}

std::optional<Leftover> handOver(Request request, const QPageSize &paper, const Commands &commands,
                                 std::stop_token stop)
{
    ++runningHandOvers;
    const struct Running {
        ~Running() { --runningHandOvers; }
    } running;
    // Stopped by the window, or as the application ends.
    std::stop_source stopping;
    const std::stop_callback byWindow(stop, [&] { stopping.request_stop(); });
    const std::stop_callback byQuit(quitting(), [&] { stopping.request_stop(); });
    stop = stopping.get_token();

    const QDeadlineTimer deadline(commands.handOverMilliseconds);
    const std::optional<QString> named = queuePaper(request.queue, paper, commands, deadline, stop);
    if (!named)
        return std::nullopt;
    request.paper = *named;
    // Ended halfway, lp may leave the scheduler a job it takes for whole once it answers again,
    // with pages missing, or none: the job goes in held, and prints once lp has named it.
    QString release = QStringLiteral("no-hold");
    for (qsizetype i = 0; i + 1 < request.dialogOptions.size(); i += 2) {
        if (request.dialogOptions[i] == holdOption)
            release = request.dialogOptions[i + 1];
    }
    request.holdUntil = QStringLiteral("indefinite");
    const QString job = submitHeld(request, commands, deadline, stop);
    if (job.isEmpty())
        return std::nullopt;
    const LpRun released = runLp(commands, {QStringLiteral("-i"), job, QStringLiteral("-o"), holdOption + QLatin1Char('=') + release},
                                 deadline, stop);
    if (released.done)
        return std::nullopt;
    // Ended while it ran, lp may have handed the release to a scheduler that takes it before
    // the cancel. Held, the job prints nothing, and goes once the scheduler answers.
    const Leftover left{request.queue, job, request.title, released.ended != Ended::finished};
    cancelLeftover(left, commands);
    if (left.released)
        return left;
    lpRefused(released, request.queue, commands, deadline, stop);
}

void stopAllHandOvers()
{
    std::lock_guard lock(quittingMutex);
    quittingSource.request_stop();
    quittingSource = std::stop_source();
}

bool handOversRunning()
{
    return runningHandOvers > 0 || submissions().anyWaiting();
}

QList<Leftover> endGivenUpRuns()
{
    return submissions().endGivenUp();
}

} // namespace PrintQueue
