#pragma once

#include "app/print/chart_print_sheet.h"
#include "app/print/chart_printer.h"
#include "app/print/print_sheet_model.h"
#include "core/chart/dotted_route_store.h"
#include "core/document/organization_archive.h"
#include "core/support/organization_error.h"

#include "app_test_support.h"
#include "pdf_pages.h"
#include "scripted_dialogs.h"

#include <gtest/gtest.h>

#include <QBuffer>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPageLayout>
#include <QPainter>
#include <QPdfWriter>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <chrono>
#include <functional>
#include <thread>
#include <vector>

namespace PrintTest {

// The opener's side of the bindings, recorded.
struct FakeHost final : PrintSheetHost {
    std::optional<OrganizationArchive> document;
    std::vector<ChartPrintSettings> commits;
    QString title;
    QString subtitle;

    const OrganizationArchive *archive() const override { return document ? &*document : nullptr; }
    void commitSettings(const ChartPrintSettings &settings) override { commits.push_back(settings); }
    QString pageTitle() const override { return title; }
    void setPageTitle(const QString &text) override { title = text; }
    QString pageSubtitle() const override { return subtitle; }
    void setPageSubtitle(const QString &text) override { subtitle = text; }
    std::shared_ptr<DottedRouteStore> store;
    std::shared_ptr<DottedRouteStore> routeStore() const override { return store; }
};

// Prints into a PDF in memory, the pages chosen as a dialog would; fails or cancels on request.
struct FakePrinter final : ChartPrinter {
    std::optional<std::string> failure;
    bool cancel = false;
    std::vector<int> chosen;          // pages to print, from 0; empty: all
    std::vector<QByteArray> printed;  // each finished job
    int drawn = 0;                    // pages drawn, finished or not
    std::optional<QPageLayout> paper; // of the last job
    QString title;                    // of the last job
    std::chrono::milliseconds pause{0}; // after each page, as a slow printer takes
    PrintJob::HandOver handOver;        // what finishing leaves to do, as a queue's job does
    std::function<void()> asking;       // runs where the print dialog would be open

    struct Job final : PrintJob {
        FakePrinter &printer;
        std::vector<int> pageList;
        QByteArray bytes;
        QBuffer buffer{&bytes};
        QPdfWriter writer{&buffer};
        QPainter painter;
        bool first = true;

        Job(FakePrinter &owner, const QPageLayout &paper, std::vector<int> pages)
            : printer(owner), pageList(std::move(pages))
        {
            buffer.open(QIODevice::WriteOnly);
            writer.setResolution(72);
            writer.setPageLayout(paper);
            painter.begin(&writer);
        }
        const std::vector<int> &pages() const override { return pageList; }
        void drawPage(const std::function<void(QPainter &)> &draw) override
        {
            if (!std::exchange(first, false))
                writer.newPage();
            draw(painter);
            ++printer.drawn;
            if (printer.pause.count() > 0)
                std::this_thread::sleep_for(printer.pause);
        }
        HandOver finish() override
        {
            painter.end();
            printer.printed.push_back(bytes);
            return printer.handOver;
        }
    };

    std::unique_ptr<PrintJob> start(const QPageLayout &layout, int pageCount, const QString &name) override
    {
        paper = layout;
        title = name;
        if (asking)
            asking();
        if (failure)
            throw OrganizationError::invalid(*failure);
        if (cancel)
            return nullptr;
        std::vector<int> pages = chosen;
        if (pages.empty()) {
            for (int page = 0; page < pageCount; ++page)
                pages.push_back(page);
        }
        return std::make_unique<Job>(*this, layout, std::move(pages));
    }
};

// A shell script at `path` that stands in for one of the print system's commands.
inline void writeScript(const QString &path, const QString &body)
{
    AppTest::writeBytes(path, ("#!/bin/sh\n" + body).toUtf8());
    QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
}

// The print system where it is not what a test looks at: its scheduler runs and has a default
// queue, its queues list no papers, and its lp takes no job. The machine's is never asked.
inline const PrintQueue::Commands &standInPrintSystem()
{
    static const QTemporaryDir dir;
    static const PrintQueue::Commands commands = [] {
        writeScript(dir.filePath("lpstat"), "case \"$*\" in\n"
                                            "-r) echo 'scheduler is running' ;;\n"
                                            "-d) echo 'system default destination: Office' ;;\n"
                                            "*) exit 1 ;;\n"
                                            "esac\n");
        writeScript(dir.filePath("lp"), "echo 'lp: Error - no job is taken here' >&2\nexit 1\n");
        writeScript(dir.filePath("lpoptions"), "exit 0\n");
        writeScript(dir.filePath("cancel"), "exit 0\n");
        return PrintQueue::Commands{dir.filePath("lp"), dir.filePath("lpstat"), dir.filePath("lpoptions"),
                                    dir.filePath("cancel")};
    }();
    return commands;
}

// Runs the event loop until `done`; false when it is not within seconds.
template <typename Done>
bool runUntil(Done done)
{
    QElapsedTimer waited;
    waited.start();
    while (!done() && waited.elapsed() < 20000)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 20);
    return done();
}

// A manager with `reports` people in one department.
inline Organization chart(int reports)
{
    return AppTest::district(reports).organization;
}

inline PrintSheetModel::Input input(Organization organization, ChartPrintSettings settings = {})
{
    return {std::move(organization), "Chart Name", "Entire organization", settings};
}

// The print sheet over a chart, printing through the system printer with a scripted dialog;
// the print system's commands are stand-ins unless a test gives the real ones.
struct SystemPrinting {
    explicit SystemPrinting(SystemChartPrinter::Ask ask, Organization organization = chart(6),
                            ChartPrintSettings settings = {}, PrintQueue::Commands commands = standInPrintSystem())
        : printer(std::move(ask), std::move(commands))
        , model(input(std::move(organization), settings), host, dialogs, printer)
    {
    }
    // Prints and waits until the job is done.
    void print()
    {
        model.printChart();
        ASSERT_TRUE(runUntil([&] { return !model.isBusy(); }));
    }

    FakeHost host;
    ScriptedDialogs dialogs;
    SystemChartPrinter printer;
    PrintSheetModel model;
};

// Page texts, with runs of white space made one space, and sizes of a PDF as Qt PDF reads it.
using ReadPDF = PDFPages;

inline ReadPDF readPDF(const QByteArray &pdf)
{
    return readPDFPages(pdf, QRegularExpression("\\s+"));
}

// The PDF with its creation and modification times blanked: two renderings of the same
// chart differ only there, once a second has passed between them.
inline QByteArray withoutTimes(QByteArray pdf)
{
    static const QRegularExpression times(R"((D:\d{14})|(\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d))");
    QString text = QString::fromLatin1(pdf);
    QRegularExpressionMatchIterator matches = times.globalMatch(text);
    while (matches.hasNext()) {
        const QRegularExpressionMatch match = matches.next();
        text.replace(match.capturedStart(), match.capturedLength(), QString(match.capturedLength(), u'0'));
    }
    return text.toLatin1();
}

// The child of that text: a button, a label, a check box.
template <typename Widget>
Widget *child(QWidget &parent, const QString &text)
{
    for (Widget *widget : parent.findChildren<Widget *>()) {
        if (widget->text() == text)
            return widget;
    }
    ADD_FAILURE() << "no " << text.toStdString();
    return nullptr;
}

// The field of the sheet's form row labelled `label`.
template <typename Field = QLineEdit>
Field *formField(QWidget &sheet, const QString &label)
{
    for (QFormLayout *form : sheet.findChildren<QFormLayout *>()) {
        for (int row = 0; row < form->rowCount(); ++row) {
            QLayoutItem *name = form->itemAt(row, QFormLayout::LabelRole);
            auto *text = name ? qobject_cast<QLabel *>(name->widget()) : nullptr;
            if (text && text->text() == label)
                return qobject_cast<Field *>(form->itemAt(row, QFormLayout::FieldRole)->widget());
        }
    }
    ADD_FAILURE() << "no field " << label.toStdString();
    return nullptr;
}

// The sheet over a document's whole organization, shown, printing to a fake printer.
struct ShownSheet {
    explicit ShownSheet(const OrganizationArchive &archive)
    {
        host.document = archive;
        auto owned = std::make_unique<FakePrinter>();
        printer = owned.get();
        auto model = std::make_unique<PrintSheetModel>(input(archive.organization), host, dialogs, *owned);
        sheet = std::make_unique<ChartPrintSheet>(std::move(model), std::move(owned));
        sheet->show();
    }

    FakeHost host;
    ScriptedDialogs dialogs;
    FakePrinter *printer = nullptr; // the sheet's
    std::unique_ptr<ChartPrintSheet> sheet;
};

} // namespace PrintTest
