#pragma once

#include <functional>
#include <memory>
#include <vector>

class QPageLayout;
class QPainter;
class QPrinter;
class QString;

// One print job under way: the pages the user chose, drawn one at a time so that the window
// keeps answering and the job can be dropped between two pages. A job destroyed before
// finish() leaves nothing behind: no job reaches the printer and no file is written.
class PrintJob {
public:
    virtual ~PrintJob() = default;
    // The pages to draw, in order, counted from 0: the range chosen, with each copy that the
    // printer does not make itself.
    virtual const std::vector<int> &pages() const = 0;
    // Draws the next page with `draw`, which paints in page points, the origin at the paper's
    // top-left corner. Throws OrganizationError("Printing is not available.").
    virtual void drawPage(const std::function<void(QPainter &)> &draw) = 0;
    // Hands the finished job to the printer, or the file to its place. Throws
    // OrganizationError: "Printing is not available.", what the print queue said ("The
    // printer “<queue>” did not take the job: …") or the file's FileWriteError.
    virtual void finish() = 0;
};

// Printing a chart's pages: they already carry the scale, margins, headings and guides, so
// they print at their own size on their own paper, without printer margins or scaling.
class ChartPrinter {
public:
    virtual ~ChartPrinter() = default;
    // Asks the user the printer, copies and pages for a document of `pageCount` pages on
    // `paper`, named `title` in the print queue; null when the user cancels. Throws
    // OrganizationError: "Printing is not available." when the printer cannot start, "The
    // printer “<queue>” has no <paper> paper." for a queue without the chart's paper, or the
    // FileWriteError of a file printed to.
    virtual std::unique_ptr<PrintJob> start(const QPageLayout &paper, int pageCount, const QString &title) = 0;
};

// Printing through QPrinter, as vectors. The dialog's choice of a printer sets its own
// default paper, so the chart's paper is set again once the user has chosen, and the job
// names it to CUPS as the queue's PPD does, over any paper the dialog's options name; a
// queue without it is refused before anything prints, never scaled or cut.
// A job goes to the printer whole or not at all: pages are drawn into a file of the job's
// own, which the system's `lp` hands to the printer queue (with the options the dialog
// chose) once every page is there; printing to a PDF file draws it in memory and writes it
// through a PendingFile.
class SystemChartPrinter final : public ChartPrinter {
public:
    // Shows the print dialog for a printer already set up; false when the user cancels.
    using Ask = std::function<bool(QPrinter &printer, int pageCount)>;
    static bool askWithPrintDialog(QPrinter &printer, int pageCount);

    explicit SystemChartPrinter(Ask ask = askWithPrintDialog) : m_ask(std::move(ask)) {}
    std::unique_ptr<PrintJob> start(const QPageLayout &paper, int pageCount, const QString &title) override;

private:
    Ask m_ask;
};
