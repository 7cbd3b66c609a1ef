#include "core/import/import_draft.h"

#include "core/import/import_json.h"
#include "core/support/organization_error.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fstream>

namespace {

constexpr size_t maximumRows = 20'000;
constexpr size_t maximumColumns = 500;

[[noreturn]] void refuseSize()
{
    throw OrganizationError::invalid("Correction draft exceeds 50 MB.");
}

ImportMapping decodeMapping(const nlohmann::json &pairs)
{
    if (pairs.size() % 2 != 0)
        throw JsonRead::Error("The value of \"mapping\" does not pair every field with a column.");
    ImportMapping mapping;
    for (size_t i = 0; i < pairs.size(); i += 2) {
        const ImportField field = ImportJson::decodeField(pairs[i]);
        // A field named twice takes its later column.
        mapping[field] = ImportJson::clampedInt(JsonRead::asInteger(pairs[i + 1], "mapping"));
    }
    return mapping;
}

} // namespace

std::string ImportDraft::encode() const
{
    nlohmann::json pairs = nlohmann::json::array();
    for (const auto &[field, column] : mapping) {
        pairs.push_back(ImportJson::encode(field));
        pairs.push_back(column);
    }
    const nlohmann::json json{
        {"sheet", ImportJson::encode(sheet)},
        {"headerRow", headerRow},
        {"mapping", std::move(pairs)},
        {"employeeReferences", employeeReferences},
        {"mode", ImportJson::encode(mode)},
    };
    // Cells come from files and the clipboard; a stray byte must not stop the save.
    return json.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

ImportDraft ImportDraft::decode(std::string_view bytes)
{
    if (static_cast<int64_t>(bytes.size()) > maximumFileSize)
        refuseSize();
    try {
        const nlohmann::json json = JsonRead::parse(bytes);
        JsonRead::requireObject(json, "draft");
        return ImportDraft{
            .sheet = ImportJson::decodeSheet(JsonRead::object(json, "sheet")),
            .headerRow = ImportJson::clampedInt(JsonRead::integer(json, "headerRow")),
            .mapping = decodeMapping(JsonRead::array(json, "mapping")),
            .employeeReferences = JsonRead::boolean(json, "employeeReferences"),
            .mode = ImportJson::decodeMode(JsonRead::string(json, "mode")),
        };
    } catch (const JsonRead::Error &error) {
        throw OrganizationError::invalid(error.what());
    }
}

ImportDraft ImportDraft::readFile(const std::filesystem::path &path)
{
    std::error_code sizeError;
    const auto knownSize = std::filesystem::file_size(path, sizeError);
    if (!sizeError && knownSize > static_cast<uintmax_t>(maximumFileSize))
        refuseSize();

    std::ifstream in(path, std::ios::binary);
    if (!in)
        throw OrganizationError::invalid("The correction draft could not be opened: " + std::string(std::strerror(errno)) + ".");
    std::string bytes;
    std::string chunk(1 << 16, '\0');
    while (in) {
        in.read(chunk.data(), static_cast<std::streamsize>(chunk.size()));
        bytes.append(chunk.data(), static_cast<size_t>(in.gcount()));
        if (static_cast<int64_t>(bytes.size()) > maximumFileSize)
            refuseSize();
    }
    if (in.bad())
        throw OrganizationError::invalid("The correction draft could not be read.");

    ImportDraft draft = decode(bytes);
    draft.requireUsableBounds();
    return draft;
}

bool ImportDraft::hasUsableBounds() const
{
    if (sheet.rows.size() > maximumRows)
        return false;
    const bool rowTooLong = std::any_of(sheet.rows.begin(), sheet.rows.end(),
                                        [](const auto &row) { return row.size() > maximumColumns; });
    if (rowTooLong)
        return false;
    if (headerRow < 0 || static_cast<size_t>(headerRow) >= sheet.rows.size())
        return false;
    return std::all_of(mapping.begin(), mapping.end(), [](const auto &entry) {
        return entry.second >= 0 && static_cast<size_t>(entry.second) < maximumColumns;
    });
}

void ImportDraft::requireUsableBounds() const
{
    if (!hasUsableBounds())
        throw OrganizationError::invalid("Invalid correction draft dimensions or mapping.");
}
