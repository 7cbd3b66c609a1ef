#pragma once

#include "core/import/import_field.h"
#include "core/support/import_sheet.h"
#include "core/support/json_read.h"

// The JSON form of the import's values, as correction drafts store them. Reading throws
// JsonRead::Error for a missing key, a wrong type or an unknown name.
namespace ImportJson {

using Json = nlohmann::json;

Json encode(const ImportCellIssue &issue);
// "sourceIssues" is left out when the list is absent and kept when it is empty.
Json encode(const ImportSheet &sheet);
// The canonical header.
Json encode(ImportField field);
// The label.
Json encode(ImportMode mode);

ImportCellIssue decodeCellIssue(const Json &json);
ImportSheet decodeSheet(const Json &json);
// A canonical header, or "Position / Title" for the pay level as older drafts wrote it.
// Anything else fails with "Unknown import field: " and the text.
ImportField decodeField(const Json &json);
ImportMode decodeMode(const Json &json);

// Integers outside the range of int saturate, so a later range check still refuses them.
int clampedInt(int64_t value);

} // namespace ImportJson
