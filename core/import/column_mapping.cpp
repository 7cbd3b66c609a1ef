#include "core/import/column_mapping.h"

#include "core/support/number_text.h"
#include "core/model/organization.h"
#include "core/support/text.h"
#include "core/support/text_characters.h"

#include <unicode/uchar.h>

#include <algorithm>
#include <unordered_set>

namespace TabularImport {

namespace {

bool isLetterOrNumber(char32_t c)
{
    const auto code = static_cast<UChar32>(c);
    return u_hasBinaryProperty(code, UCHAR_ALPHABETIC) ||
           u_getIntPropertyValue(code, UCHAR_NUMERIC_TYPE) != U_NT_NONE;
}

using ValueSet = std::unordered_set<std::string>;

// The trimmed, non-empty texts of one column over the rows below the header.
ValueSet columnValues(const ImportSheet &sheet, int headerRow, std::optional<int> column)
{
    ValueSet values;
    if (!column || *column < 0)
        return values;
    const auto index = static_cast<size_t>(*column);
    for (size_t r = headerRow < 0 ? 0 : static_cast<size_t>(headerRow) + 1; r < sheet.rows.size(); ++r) {
        const std::vector<std::string> &row = sheet.rows[r];
        if (index >= row.size())
            continue;
        std::string text = Text::trimmed(row[index]);
        if (!text.empty())
            values.insert(std::move(text));
    }
    return values;
}

std::optional<int> mapped(const ImportMapping &mapping, ImportField field)
{
    const auto it = mapping.find(field);
    return it == mapping.end() ? std::nullopt : std::optional(it->second);
}

} // namespace

std::string normalizedHeader(std::string_view header)
{
    const std::string lower = Text::lowercased(header);
    std::string result;
    bool inRemark = false;
    size_t offset = 0;
    while (offset < lower.size()) {
        const Text::TextCharacter c = Text::characterAt(lower, offset);
        offset = c.end;
        // Our own headers carry remarks such as "(: separated)"; a header must still match
        // when written exactly as we write it.
        if (c.is(U'(')) {
            inRemark = true;
            continue;
        }
        if (c.is(U')')) {
            inRemark = false;
            continue;
        }
        if (!inRemark && isLetterOrNumber(c.first))
            result.append(lower, c.begin, c.end - c.begin);
    }
    return result;
}

ImportMapping suggestedMapping(const std::vector<std::string> &headers)
{
    std::vector<std::string> normalized;
    normalized.reserve(headers.size());
    for (const std::string &header : headers)
        normalized.push_back(normalizedHeader(header));

    ImportMapping mapping;
    for (ImportField field : allImportFields) {
        const auto aliases = importFieldAliases(field);
        for (size_t column = 0; column < normalized.size(); ++column) {
            if (std::find(aliases.begin(), aliases.end(), normalized[column]) != aliases.end()) {
                mapping[field] = static_cast<int>(column);
                break;
            }
        }
    }
    // Sheets often carry only a job title; it then stands in for the pay level too.
    if (!mapping.empty() && !mapping.contains(ImportField::title) && mapping.contains(ImportField::jobTitle))
        mapping[ImportField::title] = mapping[ImportField::jobTitle];
    return mapping;
}

std::vector<std::string> headerCells(const ImportSheet &sheet, int headerRow)
{
    if (headerRow < 0 || static_cast<size_t>(headerRow) >= sheet.rows.size())
        return {};
    return sheet.rows[static_cast<size_t>(headerRow)];
}

std::vector<ImportColumnOption> columnOptions(const ImportSheet &sheet, int headerRow)
{
    std::vector<ImportColumnOption> options{{.id = "-1", .title = "Not mapped", .detail = ""}};
    const std::vector<std::string> headers = headerCells(sheet, headerRow);
    const std::vector<std::string> *sample = nullptr;
    if (!headers.empty() && static_cast<size_t>(headerRow) + 1 < sheet.rows.size())
        sample = &sheet.rows[static_cast<size_t>(headerRow) + 1];
    for (size_t i = 0; i < headers.size(); ++i) {
        options.push_back({
            .id = std::to_string(i),
            .title = std::to_string(i + 1) + ": " + (headers[i].empty() ? "Unnamed column" : headers[i]),
            .detail = sample && i < sample->size() ? (*sample)[i] : "",
        });
    }
    return options;
}

std::string columnOptionID(const ImportMapping &mapping, ImportField field)
{
    const std::optional<int> column = mapped(mapping, field);
    return column ? std::to_string(*column) : "-1";
}

void chooseColumnOption(ImportMapping &mapping, ImportField field, std::string_view optionID)
{
    const std::optional<int64_t> column = NumberText::wholeNumber(optionID);
    if (column && *column >= 0 && *column <= INT32_MAX)
        mapping[field] = static_cast<int>(*column);
    else
        mapping.erase(field);
}

std::optional<ManagerReferences> guessedManagerReferences(const ImportSheet &sheet, int headerRow,
                                                          const ImportMapping &mapping, ImportMode mode,
                                                          const Organization &existing)
{
    const std::optional<int> managerColumn = mapped(mapping, ImportField::manager);
    if (!managerColumn)
        return std::nullopt;
    const ValueSet managers = columnValues(sheet, headerRow, managerColumn);
    if (managers.empty())
        return std::nullopt;

    const ValueSet sheetIDs = columnValues(sheet, headerRow, mapped(mapping, ImportField::positionID));
    const ValueSet sheetNumbers = columnValues(sheet, headerRow, mapped(mapping, ImportField::employeeID));
    std::unordered_set<std::string_view> organizationIDs;
    std::unordered_set<std::string_view> organizationNumbers;
    if (mode != ImportMode::replace) {
        for (const Position &p : existing.positions) {
            organizationIDs.insert(p.id);
            if (p.employee)
                organizationNumbers.insert(p.employee->id);
        }
    }

    bool allIDs = true;
    bool allNumbers = true;
    for (const std::string &value : managers) {
        allIDs = allIDs && (sheetIDs.contains(value) || organizationIDs.contains(value));
        allNumbers = allNumbers && (sheetNumbers.contains(value) || organizationNumbers.contains(value));
    }
    if (allIDs == allNumbers)
        return std::nullopt;
    return allIDs ? ManagerReferences::positionIDs : ManagerReferences::employeeNumbers;
}

} // namespace TabularImport
