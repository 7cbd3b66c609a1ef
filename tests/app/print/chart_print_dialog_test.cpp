#include "app/print/chart_print_dialog.h"

#include "print_sheet_test_support.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPageRanges>
#include <QPrinter>
#include <QRadioButton>
#include <QSpinBox>
#include <QTimer>

#include <atomic>
#include <chrono>
#include <thread>

namespace {

struct Answer {
    bool accepted = false;
    QPrinter::PrintRange range = QPrinter::AllPages;
    QString pages;
    QString refusal; // the message the dialog showed instead
};

// The dialog for a chart of 6 pages with `typed` in its "Pages" field, accepted.
Answer typePages(const QString &typed)
{
    QPrinter printer;
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName("/nonexistent/chart.pdf");
    ChartPrintDialog dialog(&printer, 6);
    auto *choice = dialog.findChild<QRadioButton *>("pagesRadioButton");
    auto *field = dialog.findChild<QLineEdit *>("pagesLineEdit");
    if (!choice || !field) {
        ADD_FAILURE() << "the dialog has no Pages field";
        return {};
    }
    // A CUPS queue offers the field; printing to a file does not.
    choice->setEnabled(true);
    choice->setChecked(true);
    field->setText(typed);
    Answer answer;
    // A refusal is a modal message box: read and close it rather than wait on it.
    QTimer watch;
    watch.setInterval(10);
    QObject::connect(&watch, &QTimer::timeout, [&] {
        if (auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget())) {
            answer.refusal = box->text();
            box->reject();
        }
    });
    watch.start();
    dialog.accept();
    answer.accepted = dialog.result() == QDialog::Accepted;
    answer.range = printer.printRange();
    answer.pages = printer.pageRanges().toString();
    return answer;
}

} // namespace

// Pages typed in the "Pages" field print as "Pages from … to" does: the printer gets them
// as its range (the chart draws only those), so the print system picks none again.
TEST(ChartPrintDialog, TypedPagesBecomeThePrintersRange)
{
    const struct {
        QString typed;
        QString pages;
    } cases[] = {{"2", "2"}, {"2-3", "2-3"}, {"1, 4-6", "1,4-6"}, {"5-9", "5-9"}};
    for (const auto &c : cases) {
        const Answer answer = typePages(c.typed);
        EXPECT_TRUE(answer.accepted) << c.typed.toStdString() << ": " << answer.refusal.toStdString();
        EXPECT_EQ(answer.range, QPrinter::PageRange) << c.typed.toStdString();
        EXPECT_EQ(answer.pages, c.pages) << c.typed.toStdString();
    }
}

// What is no list of pages, or lists none of the chart's, is refused with the dialog open.
TEST(ChartPrintDialog, PagesOutsideTheChartAreRefused)
{
    const Answer beyond = typePages("7-9");
    EXPECT_FALSE(beyond.accepted);
    EXPECT_EQ(beyond.refusal, "The chart has 6 pages: choose pages from 1 to 6.");
    const Answer garbled = typePages("2-");
    EXPECT_FALSE(garbled.accepted);
    EXPECT_TRUE(garbled.refusal.startsWith("2- does not follow the correct syntax")) << garbled.refusal.toStdString();
}

// Taking the user's answer Qt asks the print scheduler on the window's thread, so Print first
// asks it beside the window: the dialog says it waits, takes the answer with the choices made
// in it once the scheduler answers, however late, closes with the failure when it does not,
// and goes on meanwhile, Cancel ending the question.
TEST(ChartPrintDialog, PrintFirstAsksTheSchedulerBesideTheWindow)
{
    const auto answers = [](std::stop_token) {};
    const auto silent = [](std::stop_token) {
        throw OrganizationError::invalid("The print scheduler (CUPS) does not answer. Nothing was printed.");
    };
    std::atomic<bool> stopped = false;
    const auto waits = [&](std::stop_token stop) {
        while (!stop.stop_requested())
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        stopped = true;
    };
    // A slow scheduler, answering once the test has seen the dialog wait.
    std::atomic<bool> answer = false;
    const auto late = [&](std::stop_token stop) {
        while (!answer && !stop.stop_requested())
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
    };
    const struct {
        const char *name;
        ChartPrintDialog::Check check;
        bool cancel; // Cancel while the scheduler is asked
        bool late;   // the scheduler answers once the dialog says it waits
        QDialog::DialogCode result;
        std::optional<std::string> failure;
    } cases[] = {
        {"answers", answers, false, false, QDialog::Accepted, std::nullopt},
        {"does not answer", silent, false, false, QDialog::Rejected,
         "The print scheduler (CUPS) does not answer. Nothing was printed."},
        {"cancelled while asking", waits, true, false, QDialog::Rejected, std::nullopt},
        {"answers late", late, false, true, QDialog::Accepted, std::nullopt},
    };
    for (const auto &c : cases) {
        QPrinter printer;
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName("/nonexistent/chart.pdf");
        ChartPrintDialog dialog(&printer, 6, nullptr, c.check);
        dialog.show();
        // The user's choices: pages 2 to 3, two copies.
        auto *pages = dialog.findChild<QRadioButton *>("pagesRadioButton");
        auto *field = dialog.findChild<QLineEdit *>("pagesLineEdit");
        auto *copies = dialog.findChild<QSpinBox *>("copies");
        ASSERT_TRUE(pages && field && copies) << c.name;
        pages->setEnabled(true);
        pages->setChecked(true);
        field->setText("2-3");
        copies->setValue(2);
        QLabel *waiting = PrintTest::child<QLabel>(dialog, "Waiting for the print system…");
        ASSERT_TRUE(waiting);
        EXPECT_FALSE(waiting->isVisible()) << c.name;
        dialog.accept();
        bool answered = false;
        QTimer::singleShot(0, [&] { answered = true; });
        ASSERT_TRUE(PrintTest::runUntil([&] { return answered; })) << c.name;
        if (c.cancel || c.late) {
            EXPECT_TRUE(dialog.isVisible()) << c.name << ": still open while the scheduler is asked";
            EXPECT_TRUE(waiting->isVisible()) << c.name;
        }
        if (c.cancel) {
            dialog.reject();
            ASSERT_TRUE(PrintTest::runUntil([&] { return stopped.load(); })) << c.name;
        }
        if (c.late)
            answer = true;
        ASSERT_TRUE(PrintTest::runUntil([&] { return !dialog.isVisible(); })) << c.name;
        EXPECT_EQ(dialog.result(), c.result) << c.name;
        EXPECT_EQ(dialog.failure(), c.failure) << c.name;
        if (c.result == QDialog::Accepted) {
            EXPECT_EQ(printer.pageRanges().toString(), "2-3") << c.name;
            EXPECT_EQ(printer.copyCount(), 2) << c.name;
        }
    }
}
