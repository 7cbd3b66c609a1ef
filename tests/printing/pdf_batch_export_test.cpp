#include "core/organization_error.h"
#include "printing/chart_pdf_batch_export.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
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

std::string errorOf(const std::function<void()> &call)
{
    try {
        call();
    } catch (const OrganizationError &error) {
        return error.message();
    }
    return "no error";
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
    EXPECT_NE(message, "no error");
    EXPECT_NE(message.find("gone"), std::string::npos) << message;
    EXPECT_FALSE(QFile::exists(missing));

    EXPECT_NE(errorOf([&] { storeWithoutOverwriting(folder.path(), "../escape.pdf", "x"); }), "no error");
    EXPECT_EQ(entries(folder.path()), QStringList{"chart.pdf"});
}
