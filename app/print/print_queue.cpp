#include "app/print/print_queue.h"

#include "app/sidebar/chart_design_controls.h"
#include "core/support/organization_error.h"
#include "printing/chart_text.h"

#include <QElapsedTimer>
#include <QPageSize>
#include <QProcess>
#include <QProcessEnvironment>

#include <algorithm>
#include <cmath>

namespace {

// How long `lp` may take to hand a finished job to the print queue.
const int submitMilliseconds = 60000;
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

// Waits for `process` to end, up to `milliseconds`, looking at `stop` meanwhile; a process
// stopped or out of time is killed.
Ended waitFor(QProcess &process, int milliseconds, const std::stop_token &stop)
{
    QElapsedTimer waited;
    waited.start();
    while (!process.waitForFinished(pollMilliseconds)) {
        if (process.state() == QProcess::NotRunning)
            return Ended::finished;
        const bool stopped = stop.stop_requested();
        if (stopped || waited.elapsed() >= milliseconds) {
            process.kill();
            process.waitForFinished();
            return stopped ? Ended::stopped : Ended::timedOut;
        }
    }
    return Ended::finished;
}

struct LpstatSaid {
    Ended ended = Ended::finished;
    QString output;
};

// lpstat's answer to `arguments`, in the C locale: its words are looked at, not shown.
LpstatSaid askLpstat(const PrintQueue::Commands &commands, const QStringList &arguments, const std::stop_token &stop)
{
    QProcess lpstat;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("LC_ALL"), QStringLiteral("C"));
    lpstat.setProcessEnvironment(environment);
    lpstat.start(commands.lpstat, arguments);
    LpstatSaid said;
    said.ended = waitFor(lpstat, commands.answerMilliseconds, stop);
    if (said.ended == Ended::finished)
        said.output = QString::fromLocal8Bit(lpstat.readAllStandardOutput());
    return said;
}

// "lpstat -r" only connects, so it answers at once whether a scheduler listens; one that
// listens but hangs still counts as running.
bool schedulerIsDown(const PrintQueue::Commands &commands, const std::stop_token &stop)
{
    return askLpstat(commands, {QStringLiteral("-r")}, stop).output.contains(QStringLiteral("scheduler is not running"));
}

// lp's sentence without the program's name and its "Error - " in front.
QString lpSaid(QProcess &lp)
{
    QString said = QString::fromLocal8Bit(lp.readAllStandardError()).trimmed();
    if (said.isEmpty())
        said = QString::fromLocal8Bit(lp.readAllStandardOutput()).trimmed();
    said = said.section(QLatin1Char('\n'), 0, 0).trimmed();
    // "/usr/bin/lp: Error - Destination … is not accepting jobs."
    const qsizetype colon = said.indexOf(QStringLiteral(": "));
    if (colon > 0 && said.left(colon).endsWith(QStringLiteral("lp")))
        said = said.mid(colon + 2).trimmed();
    if (said.startsWith(QStringLiteral("Error - ")))
        said = said.mid(8).trimmed();
    return said;
}

[[noreturn]] void refused(const QString &queue, QString cause)
{
    if (!cause.endsWith(QLatin1Char('.')))
        cause += QLatin1Char('.');
    throw OrganizationError::invalid(
        QStringLiteral("The printer \u201c%1\u201d did not take the job: %2").arg(queue, cause).toStdString());
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
        if (!overridesTheChart(request.dialogOptions[i]))
            arguments << QStringLiteral("-o") << request.dialogOptions[i] + QLatin1Char('=') + request.dialogOptions[i + 1];
    }
    // Unchecked leaves the queue's own order.
    if (request.reverse)
        arguments << QStringLiteral("-o") << QStringLiteral("outputorder=reverse");
    arguments << QStringLiteral("-o") << QStringLiteral("PageSize=") + request.paper;
    arguments << QStringLiteral("-o") << QStringLiteral("media=") + request.paper;
    if (request.landscape)
        arguments << QStringLiteral("-o") << QStringLiteral("landscape=true");
    arguments << QStringLiteral("--") << request.file;
    return arguments;
}

std::optional<QString> paperFor(const QList<QPageSize> &listed, bool takesCustomSizes, const QPageSize &paper)
{
    const QSizeF points = paper.size(QPageSize::Point);
    const QSizeF want(std::min(points.width(), points.height()), std::max(points.width(), points.height()));
    const auto sameSize = [&](const QSizeF &size) {
        return std::abs(size.width() - want.width()) <= 1 && std::abs(size.height() - want.height()) <= 1;
    };
    // The paper's own name first ("Letter" rather than "AnsiA", both 612 × 792 points).
    std::optional<QString> found;
    for (const QPageSize &offered : listed) {
        if (!sameSize(offered.size(QPageSize::Point)) || offered.key().isEmpty())
            continue;
        if (offered.key() == QPageSize(paper.id()).key())
            return offered.key();
        if (!found)
            found = offered.key();
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

void requireAnswer(const Commands &commands, std::stop_token stop)
{
    // Without a scheduler "lpstat -d" says "no system default destination", as one without a
    // default queue does: only "-r" tells the two apart.
    if (schedulerIsDown(commands, stop))
        throw OrganizationError::invalid("The print scheduler (CUPS) is not running. Nothing was printed.");
    // A question it must answer: a hung scheduler still takes connections, so "-r" finds it
    // running.
    if (askLpstat(commands, {QStringLiteral("-d")}, stop).ended == Ended::timedOut)
        throw OrganizationError::invalid("The print scheduler (CUPS) does not answer. Nothing was printed.");
}

void submit(const QStringList &arguments, const QString &queue, const Commands &commands, std::stop_token stop)
{
    QProcess lp;
    lp.start(commands.lp, arguments);
    const Ended ended = waitFor(lp, submitMilliseconds, stop);
    if (ended == Ended::stopped)
        return;
    if (ended == Ended::timedOut)
        refused(queue, QStringLiteral("the print system did not answer within a minute"));
    if (lp.error() == QProcess::FailedToStart)
        refused(queue, QStringLiteral("the lp command could not be started"));
    if (lp.exitStatus() == QProcess::NormalExit && lp.exitCode() == 0)
        return;
    const QString said = lpSaid(lp);
    // Without a scheduler lp says that the printer does not exist.
    if (schedulerIsDown(commands, stop))
        refused(queue, QStringLiteral("the print scheduler (CUPS) is not running"));
    refused(queue, said.isEmpty() ? QStringLiteral("lp ended with code %1").arg(lp.exitCode()) : said);
}

} // namespace PrintQueue
