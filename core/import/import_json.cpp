#include "core/import/import_json.h"

#include <limits>

namespace ImportJson {

int clampedInt(int64_t value)
{
    if (value < std::numeric_limits<int>::min())
        return std::numeric_limits<int>::min();
    if (value > std::numeric_limits<int>::max())
        return std::numeric_limits<int>::max();
    return static_cast<int>(value);
}

Json encode(const ImportCellIssue &issue)
{
    return Json{{"row", issue.row}, {"column", issue.column}, {"value", issue.value}, {"message", issue.message}};
}

Json encode(const ImportSheet &sheet)
{
    Json json{{"name", sheet.name}, {"rows", sheet.rows}};
    if (sheet.sourceIssues) {
        Json issues = Json::array();
        for (const ImportCellIssue &issue : *sheet.sourceIssues)
            issues.push_back(encode(issue));
        json["sourceIssues"] = std::move(issues);
    }
    return json;
}

Json encode(ImportField field)
{
    return std::string(importFieldHeader(field));
}

Json encode(ImportMode mode)
{
    return std::string(importModeLabel(mode));
}

ImportCellIssue decodeCellIssue(const Json &json)
{
    JsonRead::requireObject(json, "sourceIssues");
    return ImportCellIssue{
        .row = clampedInt(JsonRead::integer(json, "row")),
        .column = clampedInt(JsonRead::integer(json, "column")),
        .value = JsonRead::string(json, "value"),
        .message = JsonRead::string(json, "message"),
    };
}

ImportSheet decodeSheet(const Json &json)
{
    JsonRead::requireObject(json, "sheet");
    ImportSheet sheet;
    sheet.name = JsonRead::string(json, "name");
    const Json &rows = JsonRead::array(json, "rows");
    sheet.rows.reserve(rows.size());
    for (const Json &row : rows) {
        if (!row.is_array())
            throw JsonRead::Error("The value of \"rows\" is not an array of rows.");
        std::vector<std::string> cells;
        cells.reserve(row.size());
        for (const Json &cell : row)
            cells.push_back(JsonRead::asString(cell, "rows"));
        sheet.rows.push_back(std::move(cells));
    }
    if (const Json *issues = JsonRead::find(json, "sourceIssues")) {
        if (!issues->is_array())
            throw JsonRead::Error("The value of \"sourceIssues\" is not an array.");
        std::vector<ImportCellIssue> list;
        list.reserve(issues->size());
        for (const Json &issue : *issues)
            list.push_back(decodeCellIssue(issue));
        sheet.sourceIssues = std::move(list);
    }
    return sheet;
}

ImportField decodeField(const Json &json)
{
    const std::string text = JsonRead::asString(json, "mapping");
    if (text == "Position / Title")
        return ImportField::title;
    if (std::optional<ImportField> field = importFieldWithHeader(text))
        return *field;
    throw JsonRead::Error("Unknown import field: " + text);
}

ImportMode decodeMode(const Json &json)
{
    const std::string text = JsonRead::asString(json, "mode");
    if (std::optional<ImportMode> mode = importModeWithLabel(text))
        return *mode;
    throw JsonRead::Error("Unknown import mode: " + text);
}

} // namespace ImportJson
