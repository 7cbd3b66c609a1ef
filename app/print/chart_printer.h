#pragma once

#include <QByteArray>

#include <functional>

class QPrinter;
struct ChartPrintSettings;

// Prints a chart's PDF on paper. The pages already carry the scale, margins, headings and
// guides, so they print full page at their own size: exact paper, no printer margins,
// scale 1, no rotation.
class ChartPrinter {
public:
    enum class Outcome { printed, cancelled };

    virtual ~ChartPrinter() = default;
    // Reads `pdf` first and throws OrganizationError("Could not prepare the PDF for
    // printing.") when it cannot; then runs `prepared` and asks the user. Throws
    // OrganizationError("Printing is not available.") when the printer cannot start or
    // finish. A cancelled dialog prints nothing and is no error.
    virtual Outcome print(const QByteArray &pdf, const ChartPrintSettings &settings,
                          const std::function<void()> &prepared) = 0;
};

// Printing through QPrinter: each page is rasterized at the printer's resolution (at most
// 600 dpi), in bands so that a large page never needs one huge image.
class SystemChartPrinter final : public ChartPrinter {
public:
    // Shows the print dialog for a printer already set up; false when the user cancels.
    using Ask = std::function<bool(QPrinter &)>;
    static bool askWithPrintDialog(QPrinter &printer);

    explicit SystemChartPrinter(Ask ask = askWithPrintDialog) : m_ask(std::move(ask)) {}
    Outcome print(const QByteArray &pdf, const ChartPrintSettings &settings,
                  const std::function<void()> &prepared) override;

private:
    Ask m_ask;
};
