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

#include <functional>

namespace {

QString repeated(const QString &piece, int times)
{
    QString text;
    for (int i = 0; i < times; ++i)
        text += piece;
    return text;
}

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

const QString eAcute = QStringLiteral("\u00e9");
const QString eCombining = QStringLiteral("e\u0301");

} // namespace

TEST(PdfBatchExport, SafeBasenames)
{
    const std::pair<QString, QString> cases[] = {
        {"Finance", "Finance"},
        {"A/B: C?", "A-B- C-"},
        {"<>:\"/\\|?*", "---------"},
        {"***", "---"},
        {"...", "Sheet"},
        {"   ", "Sheet"},
        {"", "Sheet"},
        {".Budget.", "Budget"},
        {" . Budget . ", "Budget"},
        {"Budget\n", "Budget-"},
        {"Tab\there\r", "Tab-here-"},
        {QStringLiteral("Zero\u200bwidth"), "Zero-width"},
        {"..hidden", "hidden"},
        {repeated(eAcute, 150), repeated(eAcute, 100)},
        {repeated("a", 199) + " abcd", repeated("a", 199) + " "},
        {repeated("x", 200), repeated("x", 200)},
        // A letter with its combining accent is one character: never split between them.
        {repeated("a", 199) + eCombining, repeated("a", 199)},
        {QStringLiteral("\U0001F600 Smiles"), QStringLiteral("\U0001F600 Smiles")},
    };
    for (const auto &[name, expected] : cases)
        EXPECT_EQ(ChartPDFBatchExport::safeBasename(name), expected) << name.toStdString();
}

TEST(PdfBatchExport, AvailableNamesIgnoreCaseAndNormalisation)
{
    using ChartPDFBatchExport::availableFilename;
    using ChartPDFBatchExport::clashKey;
    EXPECT_EQ(availableFilename("HR", {}), "HR.pdf");
    EXPECT_EQ(availableFilename("hr", {clashKey("HR.pdf")}), "hr (2).pdf");
    EXPECT_EQ(availableFilename("Finance", {clashKey("Finance.pdf"), clashKey("FINANCE (2).PDF")}), "Finance (3).pdf");
    EXPECT_EQ(availableFilename("Caf" + eCombining, {clashKey("Caf" + eAcute + ".pdf")}),
              "Caf" + eCombining + " (2).pdf");
    EXPECT_EQ(availableFilename("Finance (2)", {clashKey("finance (2).pdf")}), "Finance (2) (2).pdf");
}

TEST(PdfBatchExport, StoresUnderAFreeNameAndLeavesExistingEntriesAlone)
{
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    writeFile(folder.filePath("Finance.pdf"), "first");
    writeFile(folder.filePath("FINANCE (2).PDF"), "second");
    ASSERT_TRUE(QDir(folder.path()).mkdir("Finance (3).pdf"));

    const QString path = ChartPDFBatchExport::storeWithoutOverwriting(folder.path(), "Finance.pdf", "%PDF new");
    EXPECT_EQ(path, folder.filePath("Finance (4).pdf"));
    EXPECT_EQ(readFile(path), "%PDF new");
    EXPECT_EQ(readFile(folder.filePath("Finance.pdf")), "first");
    EXPECT_EQ(readFile(folder.filePath("FINANCE (2).PDF")), "second");
    // Nothing else: no temporary file stays behind.
    EXPECT_EQ(entries(folder.path()),
              (QStringList{"FINANCE (2).PDF", "Finance (3).pdf", "Finance (4).pdf", "Finance.pdf"}));
}

TEST(PdfBatchExport, EachStoreSeesTheFilesWrittenBeforeIt)
{
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    writeFile(folder.filePath(".hr.pdf"), "hidden");
    writeFile(folder.filePath("Caf" + eCombining + ".pdf"), "decomposed");
    using ChartPDFBatchExport::storeWithoutOverwriting;
    EXPECT_EQ(storeWithoutOverwriting(folder.path(), "HR.pdf", "1"), folder.filePath("HR.pdf"));
    EXPECT_EQ(storeWithoutOverwriting(folder.path(), "hr.pdf", "2"), folder.filePath("hr (2).pdf"));
    EXPECT_EQ(storeWithoutOverwriting(folder.path(), ".HR.pdf", "3"), folder.filePath(".HR (2).pdf"));
    EXPECT_EQ(storeWithoutOverwriting(folder.path() + "/", "Caf" + eAcute + ".pdf", "4"),
              folder.filePath("Caf" + eAcute + " (2).pdf"));
    EXPECT_EQ(readFile(folder.filePath("HR.pdf")), "1");
    EXPECT_EQ(readFile(folder.filePath("Caf" + eCombining + ".pdf")), "decomposed");
    EXPECT_EQ(readFile(folder.filePath(".hr.pdf")), "hidden");
}

TEST(PdfBatchExport, RefusesWhatIsNotAFolder)
{
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    const QString file = folder.filePath("chart.pdf");
    writeFile(file, "keep");
    using ChartPDFBatchExport::storeWithoutOverwriting;
    EXPECT_EQ(errorOf([&] { storeWithoutOverwriting(file, "Finance.pdf", "x"); }), "Choose a folder for the PDF files.");
    EXPECT_EQ(readFile(file), "keep");

    const QString missing = folder.filePath("gone");
    const std::string message = errorOf([&] { storeWithoutOverwriting(missing, "Finance.pdf", "x"); });
    EXPECT_NE(message, "");
    EXPECT_NE(message.find("gone"), std::string::npos) << message;
    EXPECT_FALSE(QFile::exists(missing));

    EXPECT_NE(errorOf([&] { storeWithoutOverwriting(folder.path(), "../escape.pdf", "x"); }), "");
    EXPECT_EQ(entries(folder.path()), QStringList{"chart.pdf"});
}

namespace {

OrganizationSheet sheet(const std::string &id, const std::string &name, std::vector<std::string> positionIDs)
{
    OrganizationSheet made;
    made.id = id;
    made.name = name;
    made.positionIDs = std::move(positionIDs);
    return made;
}

// The sample district with charts over its positions.
OrganizationArchive archiveWith(std::vector<OrganizationSheet> sheets)
{
    OrganizationArchive archive = OrganizationArchive::make("District", Organization::example());
    archive.sheets = std::move(sheets);
    return archive;
}

std::vector<std::string> filenames(const std::vector<SheetPDFExportJob> &jobs)
{
    std::vector<std::string> names;
    for (const SheetPDFExportJob &job : jobs)
        names.push_back(job.filename);
    return names;
}

const std::vector<std::string> everyone{"P001", "P002", "P003", "P004", "P005", "P006"};

} // namespace

TEST(PdfBatchExport, JobsNameEveryChartUniquelyInSheetOrder)
{
    using ChartPDFBatchExport::jobs;
    const std::string composed = "Caf\u00e9";
    const std::string decomposed = "Cafe\u0301";
    const OrganizationArchive archive = archiveWith({
        sheet("b", "hr", {"P001"}),
        sheet("a", "HR", {"P001"}),
        sheet("c", "A/B: C?", {"P002"}),
        sheet("e", decomposed, {"P003"}),
        sheet("d", composed, {"P003"}),
        sheet("f", "...", {"P006"}),
    });
    const auto made = jobs(archive, ChartPrintSettings{}, ExportScale::shared);
    // Equal names keep the order of their ids: the plain name goes to the first.
    EXPECT_EQ(filenames(made), (std::vector<std::string>{"Sheet.pdf", "A-B- C-.pdf", composed + ".pdf",
                                                         decomposed + " (2).pdf", "HR.pdf", "hr (2).pdf"}));
    EXPECT_EQ(made[1].sheetName, "A/B: C?");
}

TEST(PdfBatchExport, JobsCarryTitlesSubtitlesAndCollapsedGroups)
{
    OrganizationSheet titled = sheet("a", "Leadership", everyone);
    titled.pageTitle = "  Budget  ";
    titled.pageSubtitle = "  Draft  ";
    OrganizationSheet blank = sheet("b", "Schools", {"P003", "P004", "P006"});
    blank.pageTitle = " \n ";
    OrganizationArchive archive = archiveWith({titled, blank});
    archive.groups = std::vector<PositionGroup>{{"group-1", "Principals", {"P003", "P004"}}};

    const auto made = ChartPDFBatchExport::jobs(archive, ChartPrintSettings{}, ExportScale::shared);
    ASSERT_EQ(made.size(), 2u);
    EXPECT_EQ(made[0].title, "Budget");
    EXPECT_EQ(made[0].subtitle, std::optional<std::string>("  Draft  "));
    EXPECT_EQ(made[1].title, "Schools");
    EXPECT_EQ(made[1].subtitle, std::nullopt);
    // The two principals are one card on paper.
    const auto isGroupCard = [](const Position &p) { return p.id == "group-1"; };
    EXPECT_EQ(std::count_if(made[0].organization.positions.begin(), made[0].organization.positions.end(), isGroupCard),
              1);
    EXPECT_EQ(made[0].organization.positions.size(), 5u);
}

TEST(PdfBatchExport, JobsFitEachChartOrShareTheScale)
{
    const OrganizationArchive archive = archiveWith({sheet("a", "Everyone", everyone), sheet("b", "Top", {"P001"})});
    ChartPrintSettings settings;
    settings.scalePercent = 80;

    auto made = ChartPDFBatchExport::jobs(archive, settings, ExportScale::shared);
    ASSERT_EQ(made.size(), 2u);
    EXPECT_EQ(made[0].settings, settings);
    EXPECT_EQ(made[1].settings, settings);

    made = ChartPDFBatchExport::jobs(archive, settings, ExportScale::fitEachChartToPage);
    EXPECT_LT(made[0].settings.scalePercent, made[1].settings.scalePercent);
    EXPECT_LE(made[1].settings.scalePercent, 400);
    for (const SheetPDFExportJob &job : made) {
        ChartPrintSettings rest = job.settings;
        rest.scalePercent = settings.scalePercent;
        EXPECT_EQ(rest, settings);
    }
}

TEST(PdfBatchExport, JobsStopAtTheFirstChartThatCannotPrint)
{
    EXPECT_EQ(errorOf([] { ChartPDFBatchExport::jobs(archiveWith({}), ChartPrintSettings{}, ExportScale::shared); }),
              "Create at least one sheet before exporting all sheets.");
    OrganizationArchive noSheets = archiveWith({});
    noSheets.sheets.reset();
    EXPECT_EQ(errorOf([&] { ChartPDFBatchExport::jobs(noSheets, ChartPrintSettings{}, ExportScale::shared); }),
              "Create at least one sheet before exporting all sheets.");

    ChartPrintSettings tooLarge;
    tooLarge.scalePercent = 400;
    tooLarge.widthInches = 2;
    tooLarge.heightInches = 3;
    tooLarge.marginInches = 0.25;
    tooLarge.overlapInches = 0;
    EXPECT_EQ(errorOf([&] {
                  ChartPDFBatchExport::jobs(archiveWith({sheet("a", "Everyone", everyone)}), tooLarge,
                                            ExportScale::shared);
              }),
              "This would create more than 500 pages. Reduce scale or increase paper size.");
    // Charts that print before it do not let it through.
    EXPECT_EQ(errorOf([&] {
                  ChartPDFBatchExport::jobs(archiveWith({sheet("a", "Top", {"P001"}), sheet("b", "Everyone", everyone)}),
                                            tooLarge, ExportScale::shared);
              }),
              "This would create more than 500 pages. Reduce scale or increase paper size.");
}

TEST(PdfBatchExport, WriteRendersEachJobBesideWhatTheFolderHolds)
{
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    writeFile(folder.filePath("leadership.pdf"), "keep");
    const auto made = ChartPDFBatchExport::jobs(
        archiveWith({sheet("a", "Leadership", everyone), sheet("b", "Schools", {"P003", "P006"})}),
        ChartPrintSettings{}, ExportScale::fitEachChartToPage);
    ASSERT_EQ(made.size(), 2u);

    const QString first = ChartPDFBatchExport::write(made[0], folder.path());
    const QString second = ChartPDFBatchExport::write(made[1], folder.path());
    EXPECT_EQ(first, folder.filePath("Leadership (2).pdf"));
    EXPECT_EQ(second, folder.filePath("Schools.pdf"));
    EXPECT_EQ(readFile(folder.filePath("leadership.pdf")), "keep");
    const QStringList texts = pageTexts(readFile(first));
    ASSERT_EQ(texts.size(), 1);
    EXPECT_TRUE(texts[0].contains("Leadership"));
    EXPECT_TRUE(texts[0].contains("Robin Ashcroft"));

    // A job written again lands beside its first copy.
    EXPECT_EQ(ChartPDFBatchExport::write(made[1], folder.path()), folder.filePath("Schools (2).pdf"));

    EXPECT_EQ(errorOf([&] { ChartPDFBatchExport::write(made[0], folder.filePath("leadership.pdf")); }),
              "Choose a folder for the PDF files.");
    SheetPDFExportJob broken = made[0];
    broken.settings.widthInches = 1;
    EXPECT_NE(errorOf([&] { ChartPDFBatchExport::write(broken, folder.path()); }), "");
    EXPECT_EQ(entries(folder.path()),
              (QStringList{"Leadership (2).pdf", "Schools (2).pdf", "Schools.pdf", "leadership.pdf"}));
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
