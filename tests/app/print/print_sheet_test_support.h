#pragma once

#include "app/print/chart_printer.h"
#include "app/print/print_sheet_model.h"
#include "core/chart/dotted_route_store.h"
#include "core/document/organization_archive.h"
#include "core/support/organization_error.h"

#include "app_test_support.h"
#include "pdf_pages.h"

#include <QRegularExpression>

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

// Records what it was asked to print; fails or cancels on request.
struct FakePrinter final : ChartPrinter {
    std::optional<std::string> failure;
    bool cancel = false;
    std::vector<QByteArray> printed;

    Outcome print(const QByteArray &pdf, const ChartPrintSettings &, const std::function<void()> &prepared) override
    {
        prepared();
        if (failure)
            throw OrganizationError::invalid(*failure);
        if (cancel)
            return Outcome::cancelled;
        printed.push_back(pdf);
        return Outcome::printed;
    }
};

// A manager with `reports` people in one department.
inline Organization chart(int reports)
{
    return AppTest::district(reports).organization;
}

inline PrintSheetModel::Input input(Organization organization, ChartPrintSettings settings = {})
{
    return {std::move(organization), "Chart Name", "Entire organization", settings};
}

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

} // namespace PrintTest
