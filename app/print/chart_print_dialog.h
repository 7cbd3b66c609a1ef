#pragma once

#include <QPrintDialog>

// The system's print dialog for a chart of a known number of pages, whose "Pages" field
// takes a typed list ("2", "2-3", "1, 4-6") as "Pages from … to" takes a range.
//
// Qt 6.4's own dialog hands a typed list to CUPS to pick the pages on the server and then,
// finding no pages chosen on the printer, refuses every list as "Invalid Pages Definition".
// Here the list goes to the printer as its page ranges instead, like a range from … to: the
// chart draws only the pages chosen, and the server picks none again.
class ChartPrintDialog final : public QPrintDialog {
    Q_OBJECT
public:
    ChartPrintDialog(QPrinter *printer, int pageCount, QWidget *parent = nullptr);

    void accept() override;

private:
    int m_pageCount;
};
