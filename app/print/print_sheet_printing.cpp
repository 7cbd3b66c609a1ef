// The print sheet's printing: the pages laid out and routed beside the window, the print
// dialog, the pages drawn here a few at a time, the job handed to the print queue on a
// worker, and what a cancelled hand-over may have left to print.

#include "app/print/print_sheet_model.h"

#include "core/chart/dotted_ink.h"
#include "core/chart/dotted_route_store.h"
#include "printing/chart_painter.h"

#include <QElapsedTimer>
#include <QPainter>
#include <QTimer>

namespace {

QString toQt(const std::string &text)
{
    return QString::fromStdString(text);
}

QString messageOf(const std::exception &error)
{
    return QString::fromUtf8(error.what());
}

// Printing draws pages for about this long before the window handles its events again.
const int printSliceMilliseconds = 25;

} // namespace

// Drawn on this thread, as the printer wants, a few pages between events.
struct PrintSheetModel::PrintRun {
    std::shared_ptr<const PrintedChart> chart;
    DottedInk ink;
    ChartPicture picture;
    ChartPages pages;
    std::unique_ptr<PrintJob> job;
    size_t next = 0; // of job->pages()

    PrintRun(std::shared_ptr<const PrintedChart> printed, const std::vector<DottedRoute> &routes,
             const std::string &title, const std::string &scope, const std::optional<std::string> &subtitle)
        : chart(std::move(printed))
        , ink(routes, std::nullopt)
        , picture(chart->picture(ink))
        , pages(picture, chart->pagination(), title, scope, subtitle)
    {
    }
};

// Laid out for paper, routed and inked on a worker (each takes a while on a large chart),
// then `then` here with the pages; nothing when stopped, the error when one is thrown.
void PrintSheetModel::preparePrint(const std::string &title, const std::optional<std::string> &subtitle,
                                   const std::function<void(std::shared_ptr<PrintRun>)> &then)
{
    m_exportWorker = std::jthread([this, run = m_run, organization = m_input.organization, settings = m_settings,
                                   title, scope = m_input.scope, subtitle, then,
                                   routing = routing({})](std::stop_token stop) {
        std::shared_ptr<PrintRun> pages;
        std::optional<QString> failure;
        try {
            // A slow scheduler is waited for, and the progress row says so.
            bool slow = false;
            m_printer.checkPrintSystem(stop, [&] {
                slow = true;
                QMetaObject::invokeMethod(this, [this, run] { schedulerSlow(run, true); }, Qt::QueuedConnection);
            });
            if (slow)
                QMetaObject::invokeMethod(this, [this, run] { schedulerSlow(run, false); }, Qt::QueuedConnection);
            auto chart = std::make_shared<const PrintedChart>(organization, settings);
            const std::optional<std::vector<DottedRoute>> routes = m_routeStore->route(
                chart->routingKey(), stop, [&](const DottedRoutingProgress &p) { routing.progress(p.done, p.total); },
                DottedRouteStore::Turn::first);
            if (routes)
                pages = std::make_shared<PrintRun>(std::move(chart), *routes, title, scope, subtitle);
        } catch (const std::exception &error) {
            failure = messageOf(error);
        }
        QMetaObject::invokeMethod(this, [this, run, pages, failure, then] {
            if (run != m_run)
                return;
            if (failure) {
                end();
                setFailure(failure);
                emit changed();
            } else if (pages) {
                then(pages);
            }
        }, Qt::QueuedConnection);
    });
}

void PrintSheetModel::printChart()
{
    if (!canOutput())
        return;
    const std::string title = heading();
    const std::optional<std::string> subtitle = m_host.pageSubtitle().toStdString();
    begin(Task::print);
    preparePrint(title, subtitle, [this, title](std::shared_ptr<PrintRun> run) {
        m_host.commitSettings(m_settings);
        // The layout and the lines are done: the dialog opens over no progress of theirs.
        m_printStep = PrintStep::asking;
        m_schedulerSlow = false;
        emit changed();
        try {
            run->job = m_printer.start(run->pages.pageLayout(), int(run->pages.count()), toQt(title));
        } catch (const std::exception &error) {
            end();
            fail(error);
            return;
        }
        // A cancelled dialog prints nothing; as after a print, the last error goes.
        if (!run->job) {
            m_errorMessage.reset();
            end();
            return;
        }
        m_printStep = PrintStep::drawing;
        m_pagesTotal = run->job->pages().size();
        m_print = std::move(run);
        printSomePages();
    });
}

// Pages for about a frame's time, then the events waiting, then more pages.
void PrintSheetModel::printSomePages()
{
    if (!m_print)
        return;
    const std::vector<int> &pages = m_print->job->pages();
    QElapsedTimer slice;
    slice.start();
    try {
        while (m_print->next < pages.size() && slice.elapsed() < printSliceMilliseconds) {
            const size_t page = size_t(pages[m_print->next]);
            m_print->job->drawPage([&](QPainter &painter) { m_print->pages.draw(painter, page); });
            m_pagesDone = ++m_print->next;
        }
        if (m_print->next == pages.size()) {
            if (PrintJob::HandOver handOver = m_print->job->finish())
                handToQueue(std::move(handOver));
            else
                printed({});
            return;
        }
    } catch (const std::exception &error) {
        m_print.reset();
        end();
        fail(error);
        return;
    }
    emit changed();
    QTimer::singleShot(0, this, &PrintSheetModel::printSomePages);
}

// The queue's scheduler may take its time, or not answer at all: the window goes on, and
// Cancel stops the hand-over. The job, and its file of pages, is kept until it is over.
void PrintSheetModel::handToQueue(PrintJob::HandOver handOver)
{
    m_printStep = PrintStep::handingOver;
    m_exportWorker = std::jthread([this, run = m_run, handOver = std::move(handOver)](std::stop_token stop) {
        std::optional<QString> failure;
        std::optional<PrintQueue::Leftover> released;
        try {
            released = handOver(stop);
        } catch (const std::exception &error) {
            failure = messageOf(error);
        }
        QMetaObject::invokeMethod(this, [this, run, failure, released] {
            if (run == m_run) {
                printed(failure);
                if (released)
                    watchReleased(*released, QStringLiteral("The print scheduler (CUPS) did not answer within a minute. "));
            } else if (run == m_cutHandOver && released) {
                // Cancelled as it was let print: the user hears of it unless the cancel came first.
                watchReleased(*released, {});
            }
        }, Qt::QueuedConnection);
    });
    emit changed();
}

// Whether the user printed or cancelled in the panel is not looked at; only a job the print
// system would not take is reported, else the last error goes. The result line is not
// printing's: a PDF exported before stays said.
void PrintSheetModel::printed(const std::optional<QString> &failure)
{
    m_print.reset();
    end();
    setFailure(failure);
    emit changed();
}

void PrintSheetModel::schedulerSlow(unsigned run, bool slow)
{
    if (run != m_run || m_task != Task::print)
        return;
    m_schedulerSlow = slow;
    emit changed();
}

namespace {

QString mayPrintLine(const PrintQueue::Leftover &left)
{
    return QStringLiteral("Job %1 may still print on the printer \u201c%2\u201d: it was let print just before it was "
                          "cancelled, and the print scheduler (CUPS) has not confirmed the cancel yet.")
        .arg(left.job, left.queue);
}

QString printedLine(const PrintQueue::Leftover &left)
{
    return QStringLiteral("Job %1 printed on the printer \u201c%2\u201d: the print scheduler (CUPS) printed it before it "
                          "took the cancel.")
        .arg(left.job, left.queue);
}

} // namespace

void PrintSheetModel::watchReleased(const PrintQueue::Leftover &released, const QString &cause)
{
    m_released = released;
    m_releasedCause = cause;
    m_releasedLine.clear();
    const LeftoverJobs::Fate fate = LeftoverJobs::instance().fateOf(released.job);
    if (fate != LeftoverJobs::Fate::pending) {
        releasedSettled(released.job, fate);
        return;
    }
    // Out of time, the scheduler is known not to answer; cancelled by the user, its cancel
    // usually comes at once, and then nothing is said.
    if (!cause.isEmpty())
        releasedUnanswered(released.job);
}

void PrintSheetModel::releasedUnanswered(const QString &job)
{
    if (!m_released || m_released->job != job || !m_releasedLine.isEmpty())
        return;
    m_releasedLine = m_releasedCause + mayPrintLine(*m_released);
    setFailure(m_releasedLine);
    emit changed();
}

// The cancel of a job that may print has its answer: confirmed, the line goes; too late, it
// says the job printed.
void PrintSheetModel::releasedSettled(const QString &job, LeftoverJobs::Fate fate)
{
    if (!m_released || m_released->job != job)
        return;
    const PrintQueue::Leftover released = *std::exchange(m_released, std::nullopt);
    const bool said = !m_releasedLine.isEmpty() && m_errorMessage == m_releasedLine;
    if (fate == LeftoverJobs::Fate::printed)
        setFailure(printedLine(released));
    else if (said)
        setFailure(std::nullopt);
    else
        return;
    emit changed();
}
