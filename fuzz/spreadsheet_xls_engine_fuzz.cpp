// A legacy .xls workbook from a user, read by the workbook library in one JavaScript engine
// that loads the library once (a fresh engine per input would manage a few inputs a second):
// sheets within the import's limits, or a clean refusal. The engine's garbage collector keeps
// memory between inputs, so this harness runs without per-input leak checks.
#include "core/support/organization_error.h"
#include "sheet_bounds.h"
#include "spreadsheet/legacy_excel_reader.h"

#include <QCoreApplication>
#include <QDeadlineTimer>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>

namespace {

using namespace LegacyExcelReader;

std::vector<ImportSheet> readFile(const QByteArray &file)
{
    // The engine needs an application object; loading the library once keeps each input cheap.
    static int argc = 1;
    static char name[] = "spreadsheet_xls_fuzz";
    static char *argv[] = {name, nullptr};
    static QCoreApplication application(argc, argv);
    static std::unique_ptr<EngineReader> reader = std::make_unique<EngineReader>(QDeadlineTimer(60'000));
    checkSignature(file);
    // Well under the fuzzer's memory ceiling, which also holds what the engine keeps between inputs.
    return sheetsFromAnswer(reader->answer(file, QDeadlineTimer(5'000), size_t(256) << 20));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    try {
        const QByteArray file(reinterpret_cast<const char *>(data), qsizetype(size));
        checkSheetBounds(readFile(file), SourceIssues::optional);
    } catch (const OrganizationError &) {
    }
    return 0;
}
