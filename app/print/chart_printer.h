#pragma once

#include "app/print/print_queue.h"

#include <functional>
#include <memory>
#include <optional>
#include <stop_token>
#include <vector>

class QPageLayout;
class QPainter;
class QPrinter;
class QString;

// One print job under way: the pages the user chose, drawn one at a time so that the window
// keeps answering and the job can be dropped between two pages. A job destroyed before
// finish(), or before its hand-over has run, leaves nothing behind: no job reaches the
// printer and no file is written.
class PrintJob {
public:
    virtual ~PrintJob() = default;
    // The pages to draw, in order, counted from 0: the range chosen, with each copy that the
    // printer does not make itself.
    virtual const std::vector<int> &pages() const = 0;
    // Draws the next page with `draw`, which paints in page points, the origin at the paper's
    // top-left corner. Throws OrganizationError("Printing is not available.").
    virtual void drawPage(const std::function<void(QPainter &)> &draw) = 0;
    // What is left of a finished job once drawn: handing it to the print queue, which waits
    // on the print system (a minute when its scheduler does not answer) and so runs on a
    // worker thread while the job is kept. It hands nothing over once `stop` is requested,
    // and throws OrganizationError with what the queue said ("The printer “<queue>” did not
    // take the job: …", "The printer “<queue>” has no <paper> paper." for a queue that lists
    // its papers, none of them the chart's, and takes no custom size). Returns the job that
    // was being let print as it was stopped or ran out of time: its cancel is asked, but it
    // may print first.
    using HandOver = std::function<std::optional<PrintQueue::Leftover>(std::stop_token stop)>;
    // Ends the drawing. A file printed to is written now, and nothing is left (null); a job
    // for a queue returns its hand-over. Throws OrganizationError: "Printing is not
    // available." or the file's FileWriteError.
    virtual HandOver finish() = 0;
};

// Printing a chart's pages: they already carry the scale, margins, headings and guides, so
// they print at their own size on their own paper, without printer margins or scaling.
class ChartPrinter {
public:
    virtual ~ChartPrinter() = default;
    // Asks the user the printer, copies and pages for a document of `pageCount` pages on
    // `paper`, named `title` in the print queue; null when the user cancels. Asks the print
    // system nothing once the user has answered. Throws OrganizationError: "Printing is not
    // available." when the printer cannot start, or the FileWriteError of a file printed to.
    virtual std::unique_ptr<PrintJob> start(const QPageLayout &paper, int pageCount, const QString &title) = 0;
    // Called on a worker thread before start(): the print dialog and the printer ask the
    // print system on the window's thread, each question up to a minute when it does not
    // answer. Throws OrganizationError when it is known not to run or not to answer; runs
    // `slow` when it is slow to answer.
    virtual void checkPrintSystem(std::stop_token, const std::function<void()> & /*slow*/) const {}
};

// Printing through QPrinter, as vectors. The dialog's choice of a printer sets its own
// default paper, so the chart's paper is set again once the user has chosen, and the job
// names it to CUPS as the queue's PPD does, over any paper the dialog's options name; a
// queue that lists papers without it is refused before anything prints, never scaled or cut.
// A job goes to the printer whole or not at all: pages are drawn into a file of the job's
// own, which the system's `lp` hands to the printer queue (with the options the dialog
// chose) once every page is there; printing to a PDF file draws it in memory and writes it
// through a PendingFile.
// The dialog and QPrinter ask the scheduler through Qt on this thread, before and while the
// user chooses; what the job asks after (the queue's papers, lp, why the queue refused it)
// runs off it, in the hand-over.
class SystemChartPrinter final : public ChartPrinter {
public:
    // Shows the print dialog for a printer already set up; false when the user cancels.
    using Ask = std::function<bool(QPrinter &printer, int pageCount)>;
    // The system's dialog, which asks the print system through `commands` whether it answers
    // before it takes the user's answer. Throws OrganizationError when it does not.
    static bool askWithPrintDialog(QPrinter &printer, int pageCount, const PrintQueue::Commands &commands);

    // No `ask`: the system's dialog.
    explicit SystemChartPrinter(Ask ask = {}, PrintQueue::Commands commands = {});
    std::unique_ptr<PrintJob> start(const QPageLayout &paper, int pageCount, const QString &title) override;
    // Whether a scheduler runs and answers `lpstat`: without one the dialog offers only a
    // file, and a hung one would freeze it. One that stops answering while the dialog is
    // open still holds the window inside Qt's own questions (choosing the printer, its papers).
    void checkPrintSystem(std::stop_token stop, const std::function<void()> &slow) const override
    {
        PrintQueue::requireAnswer(m_commands, stop, slow);
    }

    // What `lp` is asked for a job on `printer`, a queue's, with the chart's paper as the
    // queue names it and the file of the job's pages.
    static PrintQueue::Request queueRequest(QPrinter &printer, const QString &queuePaper, const QString &file);

private:
    Ask m_ask;
    PrintQueue::Commands m_commands;
};
