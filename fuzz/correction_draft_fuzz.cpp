// Draft files come from disk: any bytes must decode or be refused cleanly, and a decoded
// draft must survive saving and reading again unchanged.
#include "core/import/import_draft.h"
#include "core/import/import_review.h"
#include "core/support/organization_error.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const std::string_view bytes(reinterpret_cast<const char *>(data), size);
    ImportDraft draft;
    try {
        draft = ImportDraft::decode(bytes);
    } catch (const OrganizationError &) {
        return 0;
    }
    if (!draft.hasUsableBounds())
        return 0;
    try {
        if (!(ImportDraft::decode(draft.encode()).mapping == draft.mapping))
            std::abort();
    } catch (const OrganizationError &) {
        std::abort();
    }
    static const Organization existing;
    TabularImport::review(draft.sheet, draft.headerRow, draft.mapping,
                          draft.employeeReferences ? ManagerReferences::employeeNumbers : ManagerReferences::positionIDs,
                          draft.mode, existing);
    return 0;
}
