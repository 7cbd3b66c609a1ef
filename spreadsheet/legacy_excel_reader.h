#pragma once

#include "core/support/import_sheet.h"

#include <QByteArray>
#include <QDeadlineTimer>
#include <QString>

#include <chrono>
#include <cstddef>
#include <memory>
#include <optional>
#include <vector>

class QJSEngine;

// Reads binary Excel workbooks (.xls) by running the workbook library in a `node` child
// process when node is installed, else in a JavaScript engine that belongs to the call alone,
// so calls on different threads do not interfere.
namespace LegacyExcelReader {

// Node runs the library several times faster than the embedded engine (20,000 rows of 14
// columns in about 2 s against 14 s) but is an outside program; the engine is the fallback.
enum class Runtime { preferNode, engineOnly };

// A hostile or pathological file cannot hold the import longer than this.
inline constexpr std::chrono::milliseconds defaultTimeLimit{120'000};
// How much the embedded engine may grow the program's memory while it reads one workbook;
// a workbook that needs more is refused as too large (node has a heap cap of its own).
inline constexpr size_t engineMemoryLimit = size_t(2) << 30;

// One sheet per worksheet in workbook order, each cell as the workbook formats it. Excel
// error cells and formulas without a saved result become issues. Blocking. Throws OrganizationError with the message the user
// reads: not an .xls file, truncated, unreadable by the library (with its own wording), over
// the limits (100 worksheets, 20,000 rows, 500 columns, one million cells, 32 MB of
// result, or `engineMemoryLimit` of memory in the embedded engine), or still running after
// `timeLimit`.
std::vector<ImportSheet> read(const QByteArray &data, std::chrono::milliseconds timeLimit = defaultTimeLimit,
                              Runtime runtime = Runtime::preferNode);

// The node program found on the PATH, or empty.
QString nodeProgram();

// What the reading script answered: the sheets' JSON, the text of the library's exception, or
// neither when the JSON was over the limit.
struct ScriptAnswer {
    QByteArray json;
    std::optional<QString> error;
    bool tooLarge = false;
};

// Refuses bytes that are no .xls workbook before any JavaScript runs. Throws OrganizationError.
void checkSignature(const QByteArray &data);

// The sheets of an answer, its limits checked again here rather than trusted to the script;
// issues outside their sheet's rows are dropped. Throws OrganizationError with the message the
// user reads.
std::vector<ImportSheet> sheetsFromAnswer(const ScriptAnswer &answer);

// The library loaded once into a JavaScript engine of its own, which then reads workbooks one
// after another. Owned by one thread; `read` makes a fresh one per call.
class EngineReader {
public:
    // Throws OrganizationError when the library is missing, fails to load or overruns `deadline`.
    explicit EngineReader(const QDeadlineTimer &deadline);
    ~EngineReader();
    EngineReader(const EngineReader &) = delete;
    EngineReader &operator=(const EngineReader &) = delete;

    // Throws OrganizationError when `deadline` passes first; answers too large when the
    // program's memory grows by more than `memoryLimit` first.
    ScriptAnswer answer(const QByteArray &data, const QDeadlineTimer &deadline,
                        size_t memoryLimit = engineMemoryLimit);

private:
    std::unique_ptr<QJSEngine> m_engine;
};

} // namespace LegacyExcelReader
