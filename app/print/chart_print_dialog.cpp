#include "app/print/chart_print_dialog.h"

#include <QLineEdit>
#include <QMessageBox>
#include <QPageRanges>
#include <QPrinter>
#include <QRadioButton>

#include <algorithm>

ChartPrintDialog::ChartPrintDialog(QPrinter *printer, int pageCount, QWidget *parent)
    : QPrintDialog(printer, parent), m_pageCount(std::max(1, pageCount))
{
    setMinMax(1, m_pageCount);
}

void ChartPrintDialog::accept()
{
    // Qt's names for the "Pages" choice, its field and "All".
    auto *typed = findChild<QRadioButton *>(QStringLiteral("pagesRadioButton"));
    auto *field = findChild<QLineEdit *>(QStringLiteral("pagesLineEdit"));
    auto *all = findChild<QRadioButton *>(QStringLiteral("printAll"));
    if (!typed || !field || !all || !typed->isChecked()) {
        QPrintDialog::accept();
        return;
    }
    QString text = field->text();
    text.remove(QLatin1Char(' '));
    const QPageRanges ranges = QPageRanges::fromString(text);
    // Not a list of pages: Qt's own message says how to write one.
    if (ranges.isEmpty()) {
        QPrintDialog::accept();
        return;
    }
    if (ranges.firstPage() > m_pageCount) {
        QMessageBox::critical(this, QStringLiteral("Invalid Pages Definition"),
                              QStringLiteral("The chart has %1 pages: choose pages from 1 to %1.").arg(m_pageCount));
        return;
    }
    all->setChecked(true);
    QPrintDialog::accept();
    if (result() != QDialog::Accepted) {
        typed->setChecked(true);
        return;
    }
    printer()->setPrintRange(QPrinter::PageRange);
    printer()->setPageRanges(ranges);
}
