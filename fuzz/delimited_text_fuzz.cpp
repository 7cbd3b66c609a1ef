// Delimited text from a file or the clipboard: any bytes must give rows or a clean refusal.
#include "core/support/delimited_text.h"
#include "core/support/organization_error.h"
#include "core/support/text_characters.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const std::string_view text(reinterpret_cast<const char *>(data), size);
    for (std::optional<char32_t> delimiter : {std::optional<char32_t>(), std::optional<char32_t>(U'\t')}) {
        try {
            const ImportSheet sheet = TabularImport::csv(text, delimiter);
            if (sheet.rows.empty())
                std::abort();
            for (const auto &row : sheet.rows) {
                if (row.empty())
                    std::abort();
                for (const std::string &cell : row) {
                    if (!Text::isWellFormedUtf8(cell))
                        std::abort();
                }
            }
        } catch (const OrganizationError &) {
        }
    }
    return 0;
}
