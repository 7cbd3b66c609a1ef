#pragma once

#include "core/support/import_sheet.h"

#include <optional>
#include <string_view>

namespace TabularImport {

// Parses comma, tab or semicolon separated text with double-quote quoting into one sheet
// named "CSV" with an empty issue list. A leading byte order mark is dropped; without a
// delimiter the text's own is detected. Records end at CR, LF or CRLF only; fields are not
// trimmed and rows keep their own lengths; a final line break adds no row. Ill-formed UTF-8
// becomes U+FFFD.
// Throws OrganizationError: "The file is empty.", "CSV contains an unclosed quoted field.",
// "CSV quotes must surround the entire field." or "Unexpected text after a quoted CSV value.".
// One pass over the text.
ImportSheet csv(std::string_view text, std::optional<char32_t> delimiter = std::nullopt);
// The same for a file: also throws "Imports support up to 20,000 worksheet rows." or "Imports
// support up to 500 worksheet columns." as soon as the text passes `limits`, so that a text of
// line breaks or delimiters alone never grows a grid much larger than itself.
ImportSheet csv(std::string_view text, std::optional<char32_t> delimiter, SheetLimits limits);

// Comma, tab or semicolon: the one seen most often on a single line among the first ten
// lines (at most 32,000 characters), ignoring quoted text; ties go in that order, and
// comma when none is seen.
char32_t detectedDelimiter(std::string_view text);

} // namespace TabularImport
