#include "error_of.h"
#include "printing_test_support.h"
#include "write_failure.h"

#include "core/document/organization_archive.h"
#include "printing/chart_pdf_batch_export.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

namespace {

void writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size());
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

const std::vector<std::string> everyone{"P001", "P002", "P003", "P004", "P005", "P006"};

} // namespace

TEST(PdfBatchExport, SafeBasenames)
{
    EXPECT_EQ(ChartPDFBatchExport::safeBasename("<>:\"/\\|?*"), "---------");
    // 200 UTF-8 bytes at most, never splitting a letter from its combining accent.
    EXPECT_EQ(ChartPDFBatchExport::safeBasename(QString(199, 'a') + QStringLiteral("e\u0301")), QString(199, 'a'));
}

// Names compare without case and Unicode normalization; a folder blocks its name too.
TEST(PdfBatchExport, StoresUnderAFreeNameAndLeavesExistingEntriesAlone)
{
    QTemporaryDir folder;
    writeFile(folder.filePath("Finance.pdf"), "first");
    writeFile(folder.filePath("FINANCE (2).PDF"), "second");
    writeFile(folder.filePath(QStringLiteral("Cafe\u0301.pdf")), "decomposed");
    ASSERT_TRUE(QDir(folder.path()).mkdir("Finance (3).pdf"));
    using ChartPDFBatchExport::storeWithoutOverwriting;

    EXPECT_EQ(storeWithoutOverwriting(folder.path(), "Finance.pdf", "%PDF new"), folder.filePath("Finance (4).pdf"));
    EXPECT_EQ(storeWithoutOverwriting(folder.path(), QStringLiteral("Caf\u00e9.pdf"), "3"),
              folder.filePath(QStringLiteral("Caf\u00e9 (2).pdf")));
    EXPECT_EQ(readFile(folder.filePath("Finance (4).pdf")), "%PDF new");
    EXPECT_EQ(readFile(folder.filePath("Finance.pdf")), "first");
    // Nothing else: no temporary file stays behind.
    EXPECT_EQ(entries(folder.path()).size(), 6);

    const QString file = folder.filePath("Finance.pdf");
    EXPECT_EQ(errorOf([&] { storeWithoutOverwriting(file, "x.pdf", "x"); }), "Choose a folder for the PDF files.");
    EXPECT_NE(errorOf([&] { storeWithoutOverwriting(folder.path(), "../escape.pdf", "x"); }), "");
    EXPECT_EQ(entries(folder.path()).size(), 6);
}

TEST(PdfBatchExport, JobsNameEveryChartUniquelyInSheetOrder)
{
    const OrganizationArchive archive = archiveWith({
        {.id = "b", .name = "hr", .positionIDs = {"P001"}},
        {.id = "a", .name = "HR", .positionIDs = {"P001"}},
        {.id = "f", .name = "A/B", .positionIDs = {"P006"}},
    });
    std::vector<std::string> names;
    for (const SheetPDFExportJob &job : ChartPDFBatchExport::jobs(archive, ChartPrintSettings{}, ExportScale::shared))
        names.push_back(job.filename);
    // Equal names keep the order of their ids: the plain name goes to the first.
    EXPECT_EQ(names, (std::vector<std::string>{"A-B.pdf", "HR.pdf", "hr (2).pdf"}));
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

// A chart's PDF that cannot be written whole leaves nothing of itself in the folder, and the
// chart already there under its name stays as it was.
TEST(PdfBatchExport, AFailedWriteLeavesNothingAndNamesTheFile)
{
    using namespace WriteFailure;
    for (const Cause cause : causes) {
        for (const Payload payload : payloads) {
            SCOPED_TRACE(std::string(nameOf(cause)) + ", " + payload.name + " payload");
            const QByteArray pdf(payload.isLarge ? 1200 * 1024 : 9000, 'P');
            const Outcome outcome = attempt(cause, "Finance.pdf", "first", payload.room, [&](const std::string &target) {
                return errorOf([&] {
                    ChartPDFBatchExport::storeWithoutOverwriting(QFileInfo(QString::fromStdString(target)).path(),
                                                                 "Finance.pdf", pdf);
                });
            });
            if (!outcome.skipped)
                expectRefused(outcome, "Finance.pdf", savedMessage(cause, "Finance (2).pdf"));
        }
    }
}
