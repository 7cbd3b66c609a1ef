#include "core/document/position_entry.h"

#include "core/document/organization_archive.h"
#include "core/support/text.h"

#include <algorithm>
#include <optional>

namespace {

bool lists(const OrganizationSheet &sheet, const std::string &positionID)
{
    return std::find(sheet.positionIDs.begin(), sheet.positionIDs.end(), positionID) != sheet.positionIDs.end();
}

// The place of the position stored exactly as `original`, if any.
std::optional<size_t> storedUnchanged(const Organization &organization, const Position &original)
{
    auto found = std::find_if(organization.positions.begin(), organization.positions.end(),
                              [&](const Position &p) { return p.id == original.id; });
    if (found == organization.positions.end() || !(*found == original))
        return std::nullopt;
    return static_cast<size_t>(found - organization.positions.begin());
}

} // namespace

std::vector<Position> OrganizationArchive::savePositionEntry(const PositionEntryRequest &request,
                                                             const std::optional<std::string> &sheetID,
                                                             RecoveryVersion recovery)
{
    requireCurrentEditing();
    if (sheetID && !sheet(*sheetID))
        throw OrganizationError::invalid("The selected chart no longer exists. Reopen the editor.");
    const bool saving = recovery == RecoveryVersion::save;

    if (request.isNew()) {
        // Only a new id is trimmed: an edit must name the stored position exactly, even
        // one whose id has surrounding spaces.
        Position position = request.position;
        position.id = Text::trimmed(position.id);
        canonicalizeIdentifiers(position);
        if (saving)
            checkpoint("Before adding positions");
        try {
            return addPositions(position, request.quantity, sheetID);
        } catch (...) {
            if (saving)
                revisions.pop_back();
            throw;
        }
    }

    const Position &original = *request.original;
    Position edited = request.position;
    canonicalizeIdentifiers(edited);
    const std::optional<size_t> index = storedUnchanged(organization, original);
    if (request.quantity != 1 || edited.id != original.id || !index)
        throw OrganizationError::invalid("This position changed or no longer exists. Reopen the editor before saving.");

    const bool placing = sheetID && request.includeOnSheet;
    const bool alreadyPlaced = !placing || lists(*sheet(*sheetID), original.id);
    if (edited == original && alreadyPlaced)
        return {edited};

    // Edited in place, one position: a copy of a large district costs more than the edit.
    const std::optional<std::vector<OrganizationSheet>> sheetsBefore = placing ? sheets : std::nullopt;
    if (saving)
        checkpointBeforeEdit("Before editing " + original.jobTitle());
    try {
        replacePosition(*index, edited);
    } catch (...) {
        if (saving)
            revisions.pop_back();
        throw;
    }
    if (placing) {
        try {
            includePositions({edited.id}, *sheetID);
        } catch (...) {
            organization.positions[*index] = original;
            sheets = sheetsBefore;
            if (saving)
                revisions.pop_back();
            throw;
        }
    }
    return {edited};
}

void OrganizationArchive::includeExistingPositionFromEntry(const std::string &positionID, const std::string &sheetID,
                                                           RecoveryVersion recovery)
{
    requireCurrentEditing();
    const OrganizationSheet *chart = sheet(sheetID);
    const bool saving = recovery == RecoveryVersion::save && (!chart || !lists(*chart, positionID));
    if (saving)
        checkpoint("Before including existing position on chart");
    try {
        includePositions({positionID}, sheetID);
    } catch (...) {
        if (saving)
            revisions.pop_back();
        throw;
    }
}
