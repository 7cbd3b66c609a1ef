#include "app/print/chart_print_dialog.h"

#include "app/shell/accessible_fields.h"
#include "core/support/organization_error.h"

#include <QBoxLayout>
#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QPageRanges>
#include <QPrinter>
#include <QRadioButton>

#include <algorithm>

ChartPrintDialog::ChartPrintDialog(QPrinter *printer, int pageCount, QWidget *parent, Check check)
    : QPrintDialog(printer, parent), m_pageCount(std::max(1, pageCount)), m_check(std::move(check))
{
    setMinMax(1, m_pageCount);
    // Above the buttons, where Print and Cancel are.
    m_waiting = new QLabel(QStringLiteral("Waiting for the print system…"), this);
    m_waiting->hide();
    AccessibleFields::announce(m_waiting);
    auto *box = qobject_cast<QBoxLayout *>(layout());
    const auto *buttons = findChild<QDialogButtonBox *>(QString(), Qt::FindDirectChildrenOnly);
    const int at = box && buttons ? box->indexOf(buttons) : -1;
    if (at >= 0)
        box->insertWidget(at, m_waiting);
    else if (layout())
        layout()->addWidget(m_waiting);
}

ChartPrintDialog::~ChartPrintDialog() = default;

void ChartPrintDialog::accept()
{
    // Print again, or Return, while the scheduler is being asked.
    if (m_checking)
        return;
    if (!m_check) {
        takeAnswer();
        return;
    }
    m_checking = true;
    setPrintEnabled(false);
    m_checker = std::jthread([this, check = m_check](std::stop_token stop) {
        std::optional<std::string> failure;
        try {
            check(stop);
        } catch (const OrganizationError &error) {
            failure = error.message();
        }
        if (!stop.stop_requested())
            QMetaObject::invokeMethod(this, [this, failure] { checked(failure); }, Qt::QueuedConnection);
    });
}

void ChartPrintDialog::reject()
{
    m_checker.request_stop();
    m_checking = false;
    setPrintEnabled(true);
    QPrintDialog::reject();
}

void ChartPrintDialog::checked(const std::optional<std::string> &failure)
{
    if (!m_checking)
        return;
    m_checking = false;
    setPrintEnabled(true);
    if (failure) {
        m_failure = failure;
        QDialog::reject();
        return;
    }
    takeAnswer();
}

void ChartPrintDialog::setPrintEnabled(bool enabled)
{
    m_waiting->setVisible(!enabled);
    for (QDialogButtonBox *buttons : findChildren<QDialogButtonBox *>(Qt::FindDirectChildrenOnly)) {
        if (QPushButton *print = buttons->button(QDialogButtonBox::Ok))
            print->setEnabled(enabled);
    }
}

void ChartPrintDialog::takeAnswer()
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
