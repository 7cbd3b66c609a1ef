#include "error_of.h"
#include "printing_test_support.h"

#include "core/organization_archive.h"
#include "printing/chart_pdf_batch_export.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

namespace {

void writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QStringList entries(const QString &folder)
{
    QStringList names = QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    names.sort();
    return names;
}

// The sample district with charts over its positions.
OrganizationArchive archiveWith(std::vector<OrganizationSheet> sheets)
{
    OrganizationArchive archive = OrganizationArchive::make("District", Organization::example());
    archive.sheets = std::move(sheets);
    return archive;
}

const QString eAcute = QStringLiteral("\u00e9");
const QString eCombining = QStringLiteral("e\u0301");
const std::vector<std::string> everyone{"P001", "P002", "P003", "P004", "P005", "P006"};

} // namespace

TEST(PdfBatchExport, SafeBasenames)
{
    const std::pair<QString, QString> cases[] = {
        {"<>:\"/\\|?*", "---------"},
        {" . Budget . ", "Budget"},
        {"...", "Sheet"},
        {QStringLiteral("Tab\there\u200b"), "Tab-here-"},
        {QString(150, QChar(0xe9)), QString(100, QChar(0xe9))}, // 200 UTF-8 bytes
        // A letter with its combining accent is one character: never split between them.
        {QString(199, 'a') + eCombining, QString(199, 'a')},
    };
    for (const auto &[name, expected] : cases)
        EXPECT_EQ(ChartPDFBatchExport::safeBasename(name), expected) << name.toStdString();
}

TEST(PdfBatchExport, StoresUnderAFreeNameAndLeavesExistingEntriesAlone)
{
    QTemporaryDir folder;
    writeFile(folder.filePath("Finance.pdf"), "first");
    writeFile(folder.filePath("FINANCE (2).PDF"), "second");
    writeFile(folder.filePath(".hr.pdf"), "hidden");
    writeFile(folder.filePath("Caf" + eCombining + ".pdf"), "decomposed");
    ASSERT_TRUE(QDir(folder.path()).mkdir("Finance (3).pdf"));
    using ChartPDFBatchExport::storeWithoutOverwriting;

    EXPECT_EQ(storeWithoutOverwriting(folder.path(), "Finance.pdf", "%PDF new"), folder.filePath("Finance (4).pdf"));
    EXPECT_EQ(storeWithoutOverwriting(folder.path(), ".HR.pdf", "2"), folder.filePath(".HR (2).pdf"));
    EXPECT_EQ(storeWithoutOverwriting(folder.path() + "/", "Caf" + eAcute + ".pdf", "3"),
              folder.filePath("Caf" + eAcute + " (2).pdf"));
    EXPECT_EQ(readFile(folder.filePath("Finance (4).pdf")), "%PDF new");
    EXPECT_EQ(readFile(folder.filePath("Finance.pdf")), "first");
    EXPECT_EQ(readFile(folder.filePath("FINANCE (2).PDF")), "second");
    // Nothing else: no temporary file stays behind.
    EXPECT_EQ(entries(folder.path()).size(), 8);
}

TEST(PdfBatchExport, RefusesWhatIsNotAFolder)
{
    QTemporaryDir folder;
    const QString file = folder.filePath("chart.pdf");
    writeFile(file, "keep");
    using ChartPDFBatchExport::storeWithoutOverwriting;
    EXPECT_EQ(errorOf([&] { storeWithoutOverwriting(file, "Finance.pdf", "x"); }), "Choose a folder for the PDF files.");
    EXPECT_EQ(readFile(file), "keep");

    const std::string missing = errorOf([&] { storeWithoutOverwriting(folder.filePath("gone"), "Finance.pdf", "x"); });
    EXPECT_NE(missing.find("gone"), std::string::npos) << missing;
    EXPECT_NE(errorOf([&] { storeWithoutOverwriting(folder.path(), "../escape.pdf", "x"); }), "");
    EXPECT_EQ(entries(folder.path()), QStringList{"chart.pdf"});
}

TEST(PdfBatchExport, JobsNameEveryChartUniquelyInSheetOrder)
{
    const OrganizationArchive archive = archiveWith({
        {.id = "b", .name = "hr", .positionIDs = {"P001"}},
        {.id = "a", .name = "HR", .positionIDs = {"P001"}},
        {.id = "e", .name = "Cafe\u0301", .positionIDs = {"P003"}},
        {.id = "d", .name = "Caf\u00e9", .positionIDs = {"P003"}},
        {.id = "f", .name = "A/B", .positionIDs = {"P006"}},
    });
    std::vector<std::string> names;
    for (const SheetPDFExportJob &job : ChartPDFBatchExport::jobs(archive, ChartPrintSettings{}, ExportScale::shared))
        names.push_back(job.filename);
    // Equal names keep the order of their ids: the plain name goes to the first.
    EXPECT_EQ(names, (std::vector<std::string>{"A-B.pdf", "Caf\u00e9.pdf", "Cafe\u0301 (2).pdf", "HR.pdf",
                                               "hr (2).pdf"}));
}

TEST(PdfBatchExport, JobsFitEachChartOrShareTheScale)
{
    const OrganizationArchive archive = archiveWith(
        {{.id = "a", .name = "Everyone", .positionIDs = everyone}, {.id = "b", .name = "Top", .positionIDs = {"P001"}}});
    ChartPrintSettings settings;
    settings.scalePercent = 80;

    auto made = ChartPDFBatchExport::jobs(archive, settings, ExportScale::shared);
    EXPECT_EQ(made.at(1).settings, settings);

    made = ChartPDFBatchExport::jobs(archive, settings, ExportScale::fitEachChartToPage);
    EXPECT_LT(made[0].settings.scalePercent, made[1].settings.scalePercent);
    EXPECT_LE(made[1].settings.scalePercent, 400);
}

TEST(PdfBatchExport, JobsStopAtTheFirstChartThatCannotPrint)
{
    EXPECT_EQ(errorOf([] { ChartPDFBatchExport::jobs(archiveWith({}), ChartPrintSettings{}, ExportScale::shared); }),
              "Create at least one sheet before exporting all sheets.");

    ChartPrintSettings tooLarge;
    tooLarge.scalePercent = 400;
    tooLarge.widthInches = 2;
    tooLarge.heightInches = 3;
    tooLarge.marginInches = 0.25;
    tooLarge.overlapInches = 0;
    const OrganizationArchive archive =
        archiveWith({{.id = "a", .name = "Top", .positionIDs = {"P001"}}, {.id = "b", .name = "All", .positionIDs = everyone}});
    EXPECT_EQ(errorOf([&] { ChartPDFBatchExport::jobs(archive, tooLarge, ExportScale::shared); }),
              "This would create more than 500 pages. Reduce scale or increase paper size.");
}

TEST(PdfBatchExport, WriteRendersEachJobBesideWhatTheFolderHolds)
{
    QTemporaryDir folder;
    writeFile(folder.filePath("leadership.pdf"), "keep");
    const auto made = ChartPDFBatchExport::jobs(
        archiveWith({{.id = "a", .name = "Leadership", .positionIDs = everyone}}), ChartPrintSettings{},
        ExportScale::fitEachChartToPage);

    const QString written = ChartPDFBatchExport::write(made.at(0), folder.path());
    EXPECT_EQ(written, folder.filePath("Leadership (2).pdf"));
    EXPECT_EQ(readFile(folder.filePath("leadership.pdf")), "keep");
    const QStringList texts = pageTexts(readFile(written));
    ASSERT_EQ(texts.size(), 1);
    EXPECT_TRUE(texts[0].contains("Robin Ashcroft"));

    // A job that cannot render writes nothing.
    SheetPDFExportJob broken = made[0];
    broken.settings.widthInches = 1;
    EXPECT_NE(errorOf([&] { ChartPDFBatchExport::write(broken, folder.path()); }), "");
    EXPECT_EQ(entries(folder.path()), (QStringList{"Leadership (2).pdf", "leadership.pdf"}));
}
