#include "spreadsheet/legacy_excel_reader.h"

#include "core/import/import_json.h"
#include "core/support/organization_error.h"
#include "spreadsheet/workbook_library.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QJSEngine>
#include <QJSValue>
#include <QProcess>
#include <QStandardPaths>

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <fstream>
#include <mutex>
#include <thread>

namespace {

constexpr qsizetype resultLimit = 32'000'000;
// Library exceptions can quote the whole input; a message needs only its start.
constexpr qsizetype exceptionTextLimit = 300;

// Reads the workbook passed in `vantrelWorkbook` (an ArrayBuffer) and returns {json} with
// the sheets, or {error} with the exception's text. The same text runs in node and in the
// engine. The bytes go in as a plain array in the engine (a typed array in node) and the
// library reads densely: several times faster in the engine than Base64 and sparse sheets,
// with the same rows once blank rows are padded to the sheet's width.
const char *const readingScript = R"JS((function () {
    function fail(message) { throw new Error(message); }

    // Error cells and formulas without a saved value become issues, and their cells plain
    // text markers so that the rows show them.
    function takeIssues(data) {
        var issues = [];
        for (var r = 0; r < data.length; ++r) {
            var row = data[r];
            if (!row) continue;
            for (var c = 0; c < row.length; ++c) {
                var cell = row[c];
                if (!cell) continue;
                var marker, message;
                if (cell.t === "e") {
                    marker = cell.w || "#EXCEL_ERROR";
                    message = "Excel error " + marker + ". Enter a corrected value.";
                } else if (cell.f !== undefined && cell.v === undefined) {
                    marker = "#NO_SAVED_RESULT";
                    message = "Formula has no saved result. Enter a value here or recalculate and save the workbook in Excel.";
                } else {
                    continue;
                }
                issues.push({row: r, column: c, value: marker, message: message});
                row[c] = {t: "s", v: marker};
            }
        }
        return issues;
    }

    function readWorkbook() {
        // Node reads the typed array itself, without a plain copy eight times its size.
        var typed = new Uint8Array(vantrelWorkbook);
        var bytes = typeof vantrelTypedBytes !== "undefined" ? typed : Array.prototype.slice.call(typed);
        var workbook = XLSX.read(bytes, {type: "array", dense: true, cellText: true, cellFormula: true,
                                         bookVBA: false, sheetRows: 20001});
        var names = workbook.SheetNames || [];
        if (names.length === 0) fail("No worksheets were found.");
        if (names.length > 100) fail("Imports support up to 100 worksheets.");
        var cellCount = 0;
        var sheets = [];
        for (var i = 0; i < names.length; ++i) {
            var sheet = workbook.Sheets[names[i]];
            if (!sheet || !sheet["!ref"]) {
                sheets.push({name: names[i], rows: []});
                continue;
            }
            var range = XLSX.utils.decode_range(sheet["!fullref"] || sheet["!ref"]);
            if (range.e.r >= 20000) fail("Imports support up to 20,000 worksheet rows.");
            if (range.e.c >= 500) fail("Imports support up to 500 worksheet columns.");
            cellCount += (range.e.r + 1) * (range.e.c + 1);
            if (cellCount > 1000000) fail("The workbook exceeds the one-million-cell legacy import limit.");
            var issues = takeIssues(sheet["!data"] || []);
            var rows = XLSX.utils.sheet_to_json(sheet, {header: 1, raw: false, defval: "", blankrows: true,
                                                        range: {s: {r: 0, c: 0}, e: range.e}});
            var width = range.e.c + 1;
            for (var r = 0; r < rows.length; ++r) {
                var row = rows[r];
                for (var c = 0; c < row.length; ++c) row[c] = String(row[c]);
                while (row.length < width) row.push("");
            }
            sheets.push({name: names[i], rows: rows, sourceIssues: issues});
        }
        return JSON.stringify(sheets);
    }

    try {
        return {json: readWorkbook()};
    } catch (e) {
        var text;
        try { text = String(e); } catch (ignored) { text = "Invalid workbook"; }
        return {error: text};
    }
})())JS";

// Runs in node: standard input holds a header line "<library length> <script length>", the
// library, the reading script and the workbook's bytes. The library and the script run in a
// fresh context, as in the engine, and the answer goes to standard output: "J" and the
// sheets' JSON, "E" and the exception's text, or "L" when the JSON is over the limit.
const char *const nodeBootstrap = R"JS(
const vm = require("vm");
const chunks = [];
process.stdin.on("data", (chunk) => chunks.push(chunk));
process.stdin.on("end", () => {
    const input = Buffer.concat(chunks);
    const newline = input.indexOf(10);
    const [libraryLength, scriptLength] = input.subarray(0, newline).toString().split(" ").map(Number);
    const library = input.subarray(newline + 1, newline + 1 + libraryLength).toString("utf8");
    const script = input.subarray(newline + 1 + libraryLength, newline + 1 + libraryLength + scriptLength).toString("utf8");
    const bytes = input.subarray(newline + 1 + libraryLength + scriptLength);
    const context = vm.createContext({});
    vm.runInContext(library, context);
    context.vantrelWorkbook = bytes.buffer.slice(bytes.byteOffset, bytes.byteOffset + bytes.length);
    context.vantrelTypedBytes = true;
    const result = vm.runInContext(script, context);
    const out = result.error !== undefined ? "E" + result.error
              : Buffer.byteLength(result.json, "utf8") > 32000000 ? "L" : "J" + result.json;
    process.stdout.write(out);
});
)JS";

// Node's heap cap: a million cells, the most the limits allow, peak at about 1 GB in all.
constexpr int nodeHeapMegabytes = 1536;

[[noreturn]] void fail(std::string message)
{
    throw OrganizationError::invalid(std::move(message));
}

bool hasOle2Signature(const QByteArray &data)
{
    static const char signature[] = "\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1";
    return data.startsWith(QByteArrayView(signature, 8));
}

// A bare BIFF stream starts with a beginning-of-file record.
bool hasBiffSignature(const QByteArray &data)
{
    if (data.size() < 4 || data[0] != '\x09')
        return false;
    const char version = data[1];
    return version == '\x00' || version == '\x02' || version == '\x04' || version == '\x08';
}

QString shortened(const QString &text)
{
    if (text.size() <= exceptionTextLimit)
        return text;
    qsizetype end = exceptionTextLimit;
    if (text[end - 1].isHighSurrogate())
        --end;
    return text.left(end) + QStringLiteral("…");
}

// The program's resident memory in bytes, or 0 where the system does not tell.
size_t residentBytes()
{
    std::ifstream statm("/proc/self/statm");
    size_t size = 0;
    size_t resident = 0;
    if (!(statm >> size >> resident))
        return 0;
    return resident * static_cast<size_t>(sysconf(_SC_PAGESIZE));
}

// Interrupts the engine when the time limit passes before the evaluation ends, or when the
// program's memory grows by more than `memoryLimit`: a small hostile file can make the library
// allocate without end, which would otherwise take the whole machine before the time is up.
class EngineWatchdog {
public:
    EngineWatchdog(QJSEngine &engine, std::chrono::milliseconds limit, size_t memoryLimit = SIZE_MAX)
        : m_thread([this, &engine, limit, memoryLimit] {
              const auto end = std::chrono::steady_clock::now() + limit;
              const size_t start = residentBytes();
              std::unique_lock lock(m_mutex);
              for (;;) {
                  const auto now = std::chrono::steady_clock::now();
                  if (now >= end) {
                      m_fired = true;
                      break;
                  }
                  // Without a memory limit there is nothing to look at before the time is up.
                  const auto step = memoryLimit == SIZE_MAX
                                        ? end - now
                                        : std::min<std::chrono::steady_clock::duration>(end - now, memoryCheck);
                  if (m_finished.wait_for(lock, step, [this] { return m_done; }))
                      return;
                  if (memoryLimit != SIZE_MAX && residentBytes() > start + memoryLimit) {
                      m_overMemory = true;
                      break;
                  }
              }
              engine.setInterrupted(true);
          })
    {
    }
    ~EngineWatchdog() { stop(); }

    void stop()
    {
        {
            std::lock_guard lock(m_mutex);
            m_done = true;
        }
        m_finished.notify_one();
        if (m_thread.joinable())
            m_thread.join();
    }
    bool fired() const { return m_fired; }
    bool overMemory() const { return m_overMemory; }

private:
    static constexpr std::chrono::milliseconds memoryCheck{20};

    std::mutex m_mutex;
    std::condition_variable m_finished;
    bool m_done = false;
    std::atomic<bool> m_fired = false;
    std::atomic<bool> m_overMemory = false;
    std::thread m_thread; // last: starts once the members it uses exist
};

[[noreturn]] void failTimeLimit()
{
    fail("Reading the .xls workbook took too long. Save it as .xlsx in Excel and import that file.");
}

[[noreturn]] void failUnreadable(const std::string &reason)
{
    fail("Could not read the .xls workbook: " + reason);
}

// The script checks the same limits; an answer that breaks them still never reaches the import.
void checkLimits(const std::vector<ImportSheet> &sheets)
{
    if (sheets.empty())
        failUnreadable("No worksheets were found.");
    if (sheets.size() > 100)
        fail("Imports support up to 100 worksheets.");
    size_t cells = 0;
    for (const ImportSheet &sheet : sheets) {
        if (sheet.rows.size() > worksheetLimits.rows)
            fail("Imports support up to 20,000 worksheet rows.");
        for (const std::vector<std::string> &row : sheet.rows) {
            if (row.size() > worksheetLimits.columns)
                fail("Imports support up to 500 worksheet columns.");
            cells += row.size();
        }
        if (cells > 1'000'000)
            fail("The workbook exceeds the one-million-cell legacy import limit.");
    }
}

bool isInside(const ImportCellIssue &issue, const ImportSheet &sheet)
{
    return issue.row >= 0 && size_t(issue.row) < sheet.rows.size() && issue.column >= 0 &&
           size_t(issue.column) < sheet.rows[size_t(issue.row)].size();
}

std::vector<ImportSheet> decodedSheets(const QByteArray &json)
{
    std::vector<ImportSheet> sheets;
    try {
        const JsonRead::Json list = JsonRead::parse(std::string_view(json.constData(), size_t(json.size())));
        if (!list.is_array())
            throw JsonRead::Error("The workbook's sheets are not a list.");
        sheets.reserve(std::min<size_t>(list.size(), 101));
        for (const JsonRead::Json &sheet : list)
            sheets.push_back(ImportJson::decodeSheet(sheet));
    } catch (const JsonRead::Error &error) {
        failUnreadable(error.what());
    }
    checkLimits(sheets);
    for (ImportSheet &sheet : sheets) {
        if (sheet.sourceIssues)
            std::erase_if(*sheet.sourceIssues, [&](const ImportCellIssue &issue) { return !isInside(issue, sheet); });
    }
    return sheets;
}

std::chrono::milliseconds remaining(const QDeadlineTimer &deadline)
{
    return std::chrono::milliseconds(std::max<qint64>(0, deadline.remainingTime()));
}

using LegacyExcelReader::ScriptAnswer;

// The same library in node, several times faster than the embedded engine. Nothing when node
// ended without an answer (a broken installation): the engine then takes over.
std::optional<ScriptAnswer> readWithNode(const QString &node, const QString &library, const QByteArray &data,
                                         const QDeadlineTimer &deadline)
{
    QProcess process;
    process.setProgram(node);
    process.setArguments({QStringLiteral("--max-old-space-size=%1").arg(nodeHeapMegabytes), QStringLiteral("-e"),
                          QString::fromUtf8(nodeBootstrap)});
    process.setStandardErrorFile(QProcess::nullDevice());
    process.start();
    if (!process.waitForStarted(int(remaining(deadline).count())))
        return std::nullopt;
    const QByteArray libraryText = library.toUtf8();
    const QByteArray script(readingScript);
    process.write(QByteArray::number(libraryText.size()) + ' ' + QByteArray::number(script.size()) + '\n');
    process.write(libraryText);
    process.write(script);
    process.write(data);
    process.closeWriteChannel();
    if (!process.waitForFinished(int(std::max<qint64>(1, remaining(deadline).count())))) {
        process.kill();
        process.waitForFinished();
        failTimeLimit();
    }
    // Killed by a signal: V8 aborts when the workbook needs more than the heap cap.
    if (process.exitStatus() == QProcess::CrashExit)
        return ScriptAnswer{.tooLarge = true};
    const QByteArray out = process.readAllStandardOutput();
    if (process.exitCode() != 0 || out.isEmpty())
        return std::nullopt;
    if (out[0] == 'J')
        return ScriptAnswer{.json = out.mid(1)};
    if (out[0] == 'E')
        return ScriptAnswer{.error = QString::fromUtf8(out.mid(1))};
    if (out[0] == 'L')
        return ScriptAnswer{.tooLarge = true};
    return std::nullopt;
}

} // namespace

QString LegacyExcelReader::nodeProgram()
{
    for (const char *name : {"node", "nodejs"}) {
        if (QString path = QStandardPaths::findExecutable(QString::fromLatin1(name)); !path.isEmpty())
            return path;
    }
    return {};
}

void LegacyExcelReader::checkSignature(const QByteArray &data)
{
    if (hasOle2Signature(data)) {
        if (data.size() <= 511)
            fail("The .xls workbook is truncated.");
        return;
    }
    if (!hasBiffSignature(data))
        fail("This is not a valid binary .xls workbook. Use the original Excel file, not a renamed CSV or .xlsx file.");
}

std::vector<ImportSheet> LegacyExcelReader::sheetsFromAnswer(const ScriptAnswer &answer)
{
    if (answer.error)
        fail("Could not read the .xls workbook: " + shortened(*answer.error).toStdString() +
             ". Password-protected workbooks are not supported.");
    if (answer.tooLarge || answer.json.size() > resultLimit)
        fail("The legacy Excel workbook is too large to import.");
    return decodedSheets(answer.json);
}

LegacyExcelReader::EngineReader::EngineReader(const QDeadlineTimer &deadline)
{
    // The engine cannot exist without an application object.
    if (!QCoreApplication::instance())
        fail("The legacy Excel import component is unavailable.");
    const std::optional<QString> library = WorkbookLibrary::script();
    if (!library)
        fail("The legacy Excel import component is unavailable.");
    m_engine = std::make_unique<QJSEngine>();
    EngineWatchdog watchdog(*m_engine, remaining(deadline));
    const QJSValue loaded = m_engine->evaluate(*library, QStringLiteral("xlsx.full.min.js"));
    watchdog.stop();
    if (watchdog.fired())
        failTimeLimit();
    if (loaded.isError())
        fail("Could not initialize the legacy Excel reader.");
}

LegacyExcelReader::EngineReader::~EngineReader() = default;

LegacyExcelReader::ScriptAnswer LegacyExcelReader::EngineReader::answer(const QByteArray &data,
                                                                       const QDeadlineTimer &deadline,
                                                                       size_t memoryLimit)
{
    m_engine->setInterrupted(false);
    EngineWatchdog watchdog(*m_engine, remaining(deadline), memoryLimit);
    m_engine->globalObject().setProperty(QStringLiteral("vantrelWorkbook"), m_engine->toScriptValue(data));
    const QJSValue result = m_engine->evaluate(QString::fromUtf8(readingScript));
    watchdog.stop();
    if (watchdog.fired())
        failTimeLimit();
    if (watchdog.overMemory()) {
        // Hands the runaway reading's memory back before the engine reads again.
        m_engine->setInterrupted(false);
        m_engine->collectGarbage();
        return ScriptAnswer{.tooLarge = true};
    }
    if (result.isError() || result.hasProperty(QStringLiteral("error"))) {
        const QJSValue error = result.isError() ? result : result.property(QStringLiteral("error"));
        return ScriptAnswer{.error = error.toString()};
    }
    const QJSValue json = result.property(QStringLiteral("json"));
    if (!json.isString())
        return ScriptAnswer{.tooLarge = true};
    return ScriptAnswer{.json = json.toString().toUtf8()};
}

std::vector<ImportSheet> LegacyExcelReader::read(const QByteArray &data, std::chrono::milliseconds timeLimit,
                                                 Runtime runtime)
{
    checkSignature(data);
    const std::optional<QString> library = WorkbookLibrary::script();
    if (!library)
        fail("The legacy Excel import component is unavailable.");

    const QDeadlineTimer deadline(timeLimit);
    std::optional<ScriptAnswer> answer;
    if (const QString node = nodeProgram(); runtime == Runtime::preferNode && !node.isEmpty())
        answer = readWithNode(node, *library, data, deadline);
    if (!answer)
        answer = EngineReader(deadline).answer(data, deadline);
    return sheetsFromAnswer(*answer);
}
