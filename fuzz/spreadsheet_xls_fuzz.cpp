// What the workbook library answers for a legacy .xls file: the first byte 'J' (the sheets'
// JSON follows), 'E' (the text of its exception) or 'L' (over the limit); any other input is
// the file itself, checked for its signature only. The program's own handling of the answer
// gives sheets within the import's limits or a clean refusal. The library itself is fuzzed by
// spreadsheet_xls_engine_fuzz.
#include "core/support/organization_error.h"
#include "sheet_bounds.h"
#include "spreadsheet/legacy_excel_reader.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>

using namespace LegacyExcelReader;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    try {
        if (size > 0 && (data[0] == 'J' || data[0] == 'E' || data[0] == 'L')) {
            ScriptAnswer answer;
            if (data[0] == 'J')
                answer.json = bytes.mid(1);
            else if (data[0] == 'E')
                answer.error = QString::fromUtf8(bytes.mid(1));
            else
                answer.tooLarge = true;
            checkSheetBounds(sheetsFromAnswer(answer), SourceIssues::optional);
        } else {
            checkSignature(bytes);
        }
    } catch (const OrganizationError &) {
    }
    return 0;
}
