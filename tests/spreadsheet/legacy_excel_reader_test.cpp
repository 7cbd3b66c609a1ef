#include "error_of.h"
#include "spreadsheet/legacy_excel_reader.h"

#include "workbook_fixtures.h"

#include <QFile>
#include <QStringList>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <thread>

using Rows = std::vector<std::vector<std::string>>;
using namespace std::chrono_literals;

namespace {

std::string readFailure(const QByteArray &data, std::chrono::milliseconds timeLimit = LegacyExcelReader::defaultTimeLimit)
{
    return errorOf([&] { LegacyExcelReader::read(data, timeLimit); });
}

// JavaScript for a workbook of the given worksheets, each a JavaScript object literal.
QString book(const QStringList &sheets)
{
    QString script = "var book = XLSX.utils.book_new();\n";
    for (qsizetype i = 0; i < sheets.size(); ++i)
        script += QString("XLSX.utils.book_append_sheet(book, %1, \"Sheet%2\");\n").arg(sheets[i]).arg(i + 1);
    return script + "return book;";
}

std::string scriptFailure(const std::string &limit)
{
    return "Could not read the .xls workbook: Error: " + limit + ". Password-protected workbooks are not supported.";
}

const QString staffSheet = R"({
    "!ref": "A1:D6",
    A1: {t: "s", v: "Employee Number"},
    A2: {t: "n", v: 42, z: "00000"},
    B2: {t: "n", v: 45000, z: "yyyy-mm-dd"},
    C2: {t: "e", v: 0x2A},
    D2: {t: "n", v: 7, bf: [3, 0, 0x1E, 7, 0]},
    D3: {t: "n", bf: [3, 0, 0x1E, 7, 0]},
    B4: {t: "e", v: 0x07},
    C4: {t: "b", v: true},
    D6: {t: "n", v: 1.5}
})";

} // namespace

TEST(LegacyExcelReader, ReadsCellsAsTheWorkbookShowsThem)
{
    const QByteArray xls = Fixtures::withEmptyRanges(Fixtures::withoutFormulaResults(
        Fixtures::writtenByLibrary(book({staffSheet, R"({"!ref": "A1"})", R"({"!ref": "C3:D4", C3: {t: "s", v: "x"}})"}))));

    const std::vector<ImportSheet> sheets = LegacyExcelReader::read(xls);

    ASSERT_EQ(sheets.size(), 3u);
    EXPECT_EQ(sheets[0].name, "Sheet1");
    // Zero-padded number, formatted date, cached formula value; errors and a formula without
    // a saved value as markers; blank rows padded to the sheet's width.
    EXPECT_EQ(sheets[0].rows, (Rows{{"Employee Number", "", "", ""},
                                    {"00042", "2023-03-15", "#N/A", "7"},
                                    {"", "", "", "#NO_SAVED_RESULT"},
                                    {"", "#DIV/0!", "TRUE", ""},
                                    {"", "", "", ""},
                                    {"", "", "", "1.5"}}));
    EXPECT_EQ(sheets[0].sourceIssues,
              (std::vector<ImportCellIssue>{
                  {1, 2, "#N/A", "Excel error #N/A. Enter a corrected value."},
                  {2, 3, "#NO_SAVED_RESULT",
                   "Formula has no saved result. Enter a value here or recalculate and save the workbook in Excel."},
                  {3, 1, "#DIV/0!", "Excel error #DIV/0!. Enter a corrected value."},
              }));
    // An empty worksheet has no rows and no issue list.
    EXPECT_EQ(sheets[1], (ImportSheet{.name = "Sheet2", .rows = {}, .sourceIssues = std::nullopt}));
    // Rows and columns before the used range are kept.
    EXPECT_EQ(sheets[2].rows, (Rows{{"", "", "", ""}, {"", "", "", ""}, {"", "", "x", ""}, {"", "", "", ""}}));
    EXPECT_EQ(sheets[2].sourceIssues, std::vector<ImportCellIssue>{});
}

// Node, when installed, runs the same library and reading script as the engine, several
// times faster; the engine is the fallback. Both must give the same sheets and refusals.
TEST(LegacyExcelReader, NodeAndTheEngineReadAlike)
{
    ASSERT_FALSE(LegacyExcelReader::nodeProgram().isEmpty()) << "the build installs node";
    using LegacyExcelReader::Runtime;
    const QByteArray xls = Fixtures::withoutFormulaResults(Fixtures::writtenByLibrary(book({staffSheet})));
    const std::vector<ImportSheet> inEngine = LegacyExcelReader::read(xls, 1min, Runtime::engineOnly);
    EXPECT_EQ(LegacyExcelReader::read(xls, 1min, Runtime::preferNode), inEngine);
    EXPECT_EQ(inEngine.at(0).rows.at(1).at(0), "00042");
    const QByteArray tooLong = Fixtures::writtenByLibrary(book({R"({"!ref": "A1:A20001", A20001: {t: "s", v: "x"}})"}));
    EXPECT_EQ(errorOf([&] { LegacyExcelReader::read(tooLong, 1min, Runtime::preferNode); }),
              errorOf([&] { LegacyExcelReader::read(tooLong, 1min, Runtime::engineOnly); }));

    // Without node on the PATH the engine reads the file.
    const QByteArray path = qgetenv("PATH");
    qputenv("PATH", "/nonexistent");
    EXPECT_TRUE(LegacyExcelReader::nodeProgram().isEmpty());
    EXPECT_EQ(LegacyExcelReader::read(xls), inEngine);
    qputenv("PATH", path);
}

TEST(LegacyExcelReader, RefusesWhatItCannotRead)
{
    EXPECT_EQ(readFailure("Employee Number,Name\n1,Ada\n"),
              "This is not a valid binary .xls workbook. Use the original Excel file, not a renamed CSV or .xlsx file.");
    EXPECT_EQ(readFailure(QByteArray("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8) + QByteArray(392, '\0')),
              "The .xls workbook is truncated.");
    EXPECT_EQ(readFailure(Fixtures::writtenByLibrary(book({R"({"!ref": "A1:A20001", A20001: {t: "s", v: "x"}})"}))),
              "Could not read the .xls workbook: Error: Imports support up to 20,000 worksheet rows.. "
              "Password-protected workbooks are not supported.");
    EXPECT_EQ(readFailure(Fixtures::writtenByLibrary(book({staffSheet})), 1ms),
              "Reading the .xls workbook took too long. Save it as .xlsx in Excel and import that file.");
}

// The library's answer is checked again before the import sees it: its limits hold even when
// the script's own checks are bypassed, and an issue outside its sheet never reaches the grid.
TEST(LegacyExcelReader, AnswerIsHeldToTheImportLimits)
{
    using LegacyExcelReader::ScriptAnswer;
    const auto failure = [](const QByteArray &json) {
        return errorOf([&] { LegacyExcelReader::sheetsFromAnswer(ScriptAnswer{.json = json}); });
    };
    QByteArray many = "[";
    for (int i = 0; i < 101; ++i)
        many += QByteArray(i ? "," : "") + R"({"name":"S","rows":[]})";
    EXPECT_EQ(failure(many + "]"), "Imports support up to 100 worksheets.");
    EXPECT_EQ(failure(R"([{"name":"S","rows":[[)" + QByteArray("\"\",").repeated(500) + R"(""]]}])"),
              "Imports support up to 500 worksheet columns.");
    EXPECT_EQ(failure("[]"), "Could not read the .xls workbook: No worksheets were found.");
    EXPECT_EQ(failure("{}"), "Could not read the .xls workbook: The workbook's sheets are not a list.");
    EXPECT_EQ(errorOf([] { LegacyExcelReader::sheetsFromAnswer(ScriptAnswer{.tooLarge = true}); }),
              "The legacy Excel workbook is too large to import.");

    const std::vector<ImportSheet> sheets = LegacyExcelReader::sheetsFromAnswer(ScriptAnswer{
        .json = R"([{"name":"S","rows":[["a","b"]],"sourceIssues":[)"
                R"({"row":5,"column":0,"value":"#N/A","message":"m"},{"row":0,"column":2,"value":"#N/A","message":"m"},)"
                R"({"row":0,"column":1,"value":"#N/A","message":"m"}]}])"});
    ASSERT_EQ(sheets.size(), 1u);
    ASSERT_TRUE(sheets[0].sourceIssues);
    EXPECT_EQ(*sheets[0].sourceIssues, (std::vector<ImportCellIssue>{{0, 1, "#N/A", "m"}}));
}

// One engine reads workbook after workbook with the same result as a fresh engine per file.
TEST(LegacyExcelReader, OneEngineReadsSeveralWorkbooks)
{
    const QByteArray xls = Fixtures::writtenByLibrary(book({staffSheet}));
    const std::vector<ImportSheet> fresh = LegacyExcelReader::read(xls, 1min, LegacyExcelReader::Runtime::engineOnly);
    LegacyExcelReader::EngineReader reader{QDeadlineTimer(60'000)};
    for (int i = 0; i < 2; ++i)
        EXPECT_EQ(LegacyExcelReader::sheetsFromAnswer(reader.answer(xls, QDeadlineTimer(60'000))), fresh);
}

TEST(LegacyExcelReader, Signatures)
{
    EXPECT_EQ(readFailure("Employee Number,Name\n1,Ada\n"),
              "This is not a valid binary .xls workbook. Use the original Excel file, not a renamed CSV or .xlsx file.");
    EXPECT_EQ(readFailure(QByteArray("PK\x03\x04", 4) + QByteArray(600, '\0')),
              "This is not a valid binary .xls workbook. Use the original Excel file, not a renamed CSV or .xlsx file.");
    const QByteArray ole2("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8);
    EXPECT_EQ(readFailure(ole2 + QByteArray(392, '\0')), "The .xls workbook is truncated.");
    EXPECT_EQ(readFailure(ole2 + QByteArray(503, '\0')), "The .xls workbook is truncated.");

    // Past the header the library decides, and its wording is kept but cut short.
    const std::string damaged = readFailure(ole2 + QByteArray(20'000, '\x41'));
    EXPECT_TRUE(damaged.starts_with("Could not read the .xls workbook: ")) << damaged;
    EXPECT_TRUE(damaged.ends_with(". Password-protected workbooks are not supported.")) << damaged;
    EXPECT_LT(damaged.size(), 500u);

    // A bare BIFF stream, without the compound file around it.
    const QByteArray biff2 =
        Fixtures::writtenByLibrary(book({R"({"!ref": "A1:B1", A1: {t: "s", v: "a"}, B1: {t: "n", v: 2}})"}), "biff2");
    ASSERT_EQ(biff2.left(2), QByteArray("\x09\x00", 2));
    EXPECT_EQ(LegacyExcelReader::read(biff2).at(0).rows, (Rows{{"a", "2"}}));
}

TEST(LegacyExcelReader, Limits)
{
    QStringList many;
    for (int i = 0; i < 101; ++i)
        many << R"({"!ref": "A1", A1: {t: "s", v: "x"}})";
    EXPECT_EQ(readFailure(Fixtures::writtenByLibrary(book(many))), scriptFailure("Imports support up to 100 worksheets."));

    const QByteArray lastRow =
        Fixtures::writtenByLibrary(book({R"({"!ref": "A1:A20000", A20000: {t: "s", v: "last"}})"}));
    const std::vector<ImportSheet> sheets = LegacyExcelReader::read(lastRow);
    ASSERT_EQ(sheets.at(0).rows.size(), 20'000u);
    EXPECT_EQ(sheets.at(0).rows.back(), std::vector<std::string>{"last"});
    EXPECT_EQ(readFailure(Fixtures::writtenByLibrary(book({R"({"!ref": "A1:A20001", A20001: {t: "s", v: "x"}})"}))),
              scriptFailure("Imports support up to 20,000 worksheet rows."));

    // Each rectangle from A1 fits; together they do not.
    EXPECT_EQ(readFailure(Fixtures::writtenByLibrary(book({R"({"!ref": "IV1", IV1: {t: "s", v: "x"}})",
                                                           R"({"!ref": "IV3906", IV3906: {t: "s", v: "x"}})"}))),
              scriptFailure("The workbook exceeds the one-million-cell legacy import limit."));
}

TEST(LegacyExcelReader, TimeLimitStopsTheEngine)
{
    const QByteArray xls = Fixtures::writtenByLibrary(book({staffSheet}));
    EXPECT_EQ(readFailure(xls, 1ms),
              "Reading the .xls workbook took too long. Save it as .xlsx in Excel and import that file.");
}

// Every call has an engine or a node process of its own, so calls on other threads give the
// same sheets.
TEST(LegacyExcelReader, ReadsOffTheMainThread)
{
    using LegacyExcelReader::Runtime;
    const QByteArray xls = Fixtures::writtenByLibrary(book({staffSheet}));
    const std::vector<ImportSheet> expected = LegacyExcelReader::read(xls);
    for (Runtime runtime : {Runtime::preferNode, Runtime::engineOnly}) {
        std::vector<ImportSheet> first, second;
        std::thread a([&] { first = LegacyExcelReader::read(xls, 1min, runtime); });
        std::thread b([&] { second = LegacyExcelReader::read(xls, 1min, runtime); });
        a.join();
        b.join();
        EXPECT_EQ(first, expected);
        EXPECT_EQ(second, expected);
    }
}

namespace {

std::string answerFailure(const LegacyExcelReader::ScriptAnswer &answer)
{
    return errorOf([&] { LegacyExcelReader::sheetsFromAnswer(answer); });
}

// JSON of sheets of `rows` rows of `columns` empty cells each.
QByteArray blankSheets(int sheets, int rows, int columns)
{
    QByteArray row = "[" + QByteArray("\"\",").repeated(columns - 1) + "\"\"]";
    QByteArray sheet = R"({"name":"S","rows":[)" + (row + ",").repeated(rows - 1) + row + "]}";
    return "[" + (sheet + ",").repeated(sheets - 1) + sheet + "]";
}

// Puts a stand-in for node first on the PATH for as long as it lives.
class FakeNode {
public:
    explicit FakeNode(const QByteArray &script)
    {
        const QString path = m_folder.filePath("node");
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly) || file.write(script) != script.size())
            throw std::runtime_error("cannot write the fake node");
        file.close();
        file.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        qputenv("PATH", m_folder.path().toUtf8());
    }
    ~FakeNode() { qputenv("PATH", m_path); }
    FakeNode(const FakeNode &) = delete;
    FakeNode &operator=(const FakeNode &) = delete;

private:
    QTemporaryDir m_folder;
    QByteArray m_path = qgetenv("PATH");
};

} // namespace

// Rows and cells are counted again in the answer, at and just past each limit, cells across
// all sheets together.
TEST(LegacyExcelReader, AnswerRowsAndCellsAreCountedToTheLimit)
{
    using LegacyExcelReader::ScriptAnswer;
    const std::vector<ImportSheet> full = LegacyExcelReader::sheetsFromAnswer(ScriptAnswer{.json = blankSheets(1, 20'000, 50)});
    ASSERT_EQ(full.size(), 1u);
    EXPECT_EQ(full[0].rows.size(), 20'000u);
    EXPECT_EQ(answerFailure(ScriptAnswer{.json = blankSheets(1, 20'001, 1)}), "Imports support up to 20,000 worksheet rows.");
    EXPECT_EQ(answerFailure(ScriptAnswer{.json = blankSheets(1, 20'000, 51)}),
              "The workbook exceeds the one-million-cell legacy import limit.");
    EXPECT_EQ(answerFailure(ScriptAnswer{.json = blankSheets(2, 10'000, 51)}),
              "The workbook exceeds the one-million-cell legacy import limit.");
}

// The library's exception can quote the whole file: the message keeps its first 300
// characters, never half of a surrogate pair.
TEST(LegacyExcelReader, LibraryMessagesAreCutShort)
{
    using LegacyExcelReader::ScriptAnswer;
    const std::string prefix = "Could not read the .xls workbook: ";
    const std::string suffix = ". Password-protected workbooks are not supported.";
    const QString exact(300, 'x');
    EXPECT_EQ(answerFailure(ScriptAnswer{.error = exact}), prefix + exact.toStdString() + suffix);
    EXPECT_EQ(answerFailure(ScriptAnswer{.error = exact + "y"}), prefix + exact.toStdString() + "…" + suffix);
    const QString straddling = QString(299, 'x') + QString::fromUtf8("🏫") + "tail";
    EXPECT_EQ(answerFailure(ScriptAnswer{.error = straddling}),
              prefix + std::string(299, 'x') + "…" + suffix);
}

// A broken node installation falls back to the engine; node's own answers are taken as they
// come: its refusal, its "too large", and its crash when the workbook outgrows its heap.
TEST(LegacyExcelReader, NodeAnswersAndFallbacks)
{
    using LegacyExcelReader::Runtime;
    const QByteArray xls = Fixtures::writtenByLibrary(book({staffSheet}));
    const std::vector<ImportSheet> inEngine = LegacyExcelReader::read(xls, 1min, Runtime::engineOnly);
    const auto withNode = [&](const QByteArray &script) {
        FakeNode node(script);
        EXPECT_FALSE(LegacyExcelReader::nodeProgram().isEmpty());
        return errorOf([&] { EXPECT_EQ(LegacyExcelReader::read(xls, 1min, Runtime::preferNode), inEngine); });
    };
    const std::string tooLarge = "The legacy Excel workbook is too large to import.";

    EXPECT_EQ(withNode("#!/bin/sh\n/bin/cat >/dev/null\nexit 3\n"), "") << "failed";
    EXPECT_EQ(withNode("#!/bin/sh\n/bin/cat >/dev/null\n"), "") << "no answer";
    EXPECT_EQ(withNode("#!/bin/sh\n/bin/cat >/dev/null\nprintf 'J[]'\nexit 1\n"), "") << "answer, then failed";
    EXPECT_EQ(withNode("#!/bin/sh\n/bin/cat >/dev/null\nprintf 'Xgarbage'\n"), "") << "unknown answer";
    EXPECT_EQ(withNode("#!/nonexistent/interpreter\n"), "") << "cannot start";
    EXPECT_EQ(withNode("#!/bin/sh\n/bin/cat >/dev/null\nprintf L\n"), tooLarge);
    EXPECT_EQ(withNode("#!/bin/sh\n/bin/cat >/dev/null\nkill -ABRT $$\n"), tooLarge);
    EXPECT_EQ(withNode("#!/bin/sh\n/bin/cat >/dev/null\nprintf 'EError: Bad header'\n"),
              "Could not read the .xls workbook: Error: Bad header. Password-protected workbooks are not supported.");
    EXPECT_EQ(withNode("#!/bin/sh\n/bin/cat >/dev/null\nprintf 'J[]'\n"), "Could not read the .xls workbook: No worksheets were found.");

    FakeNode hanging("#!/bin/sh\nexec /bin/sleep 60\n");
    EXPECT_EQ(readFailure(xls, 500ms),
              "Reading the .xls workbook took too long. Save it as .xlsx in Excel and import that file.");
}

// The time limit holds while the engine loads the library and while it reads, and an engine
// stopped once reads the next workbook in full.
TEST(LegacyExcelReader, EngineTimeLimitAndRecovery)
{
    const std::string tooLong = "Reading the .xls workbook took too long. Save it as .xlsx in Excel and import that file.";
    const QByteArray xls = Fixtures::writtenByLibrary(book({staffSheet}));
    EXPECT_EQ(errorOf([&] { LegacyExcelReader::EngineReader reader{QDeadlineTimer(0)}; }), tooLong);
    EXPECT_EQ(readFailure(xls, 1ms), tooLong);
    EXPECT_EQ(errorOf([&] { LegacyExcelReader::read(xls, 1ms, LegacyExcelReader::Runtime::engineOnly); }), tooLong);

    const std::vector<ImportSheet> fresh = LegacyExcelReader::read(xls, 1min, LegacyExcelReader::Runtime::engineOnly);
    LegacyExcelReader::EngineReader reader{QDeadlineTimer(60'000)};
    EXPECT_EQ(errorOf([&] { reader.answer(xls, QDeadlineTimer(0)); }), tooLong);
    EXPECT_EQ(LegacyExcelReader::sheetsFromAnswer(reader.answer(xls, QDeadlineTimer(60'000))), fresh);
}

// A 2 KB file found by fuzzing makes the library allocate without end: the engine is stopped
// once the program's memory has grown by its limit, before the time limit (which would say
// "took too long"), the file is refused as too large, and the same engine then reads a sound
// workbook.
TEST(LegacyExcelReader, EngineMemoryLimitStopsARunawayWorkbook)
{
    QFile file(VANTREL_TEST_DATA "/runaway_memory.xls");
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray runaway = file.readAll();
    const QByteArray xls = Fixtures::writtenByLibrary(book({staffSheet}));
    const std::vector<ImportSheet> fresh = LegacyExcelReader::read(xls, 1min, LegacyExcelReader::Runtime::engineOnly);
    LegacyExcelReader::EngineReader reader{QDeadlineTimer(60'000)};
    EXPECT_EQ(errorOf([&] {
                  LegacyExcelReader::sheetsFromAnswer(reader.answer(runaway, QDeadlineTimer(120'000), size_t(256) << 20));
              }),
              "The legacy Excel workbook is too large to import.");
    EXPECT_EQ(LegacyExcelReader::sheetsFromAnswer(reader.answer(xls, QDeadlineTimer(60'000))), fresh);
}
