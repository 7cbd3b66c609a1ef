#include "core/document/position_entry.h"

#include "core/document/organization_archive.h"
#include "core/support/text.h"

#include <algorithm>

namespace {

bool lists(const OrganizationSheet &sheet, const std::string &positionID)
{
    return std::find(sheet.positionIDs.begin(), sheet.positionIDs.end(), positionID) != sheet.positionIDs.end();
}

bool storedUnchanged(const Organization &organization, const Position &original)
{
    auto found = std::find_if(organization.positions.begin(), organization.positions.end(),
                              [&](const Position &p) { return p.id == original.id; });
    return found != organization.positions.end() && *found == original;
}

} // namespace

std::vector<Position> OrganizationArchive::savePositionEntry(const PositionEntryRequest &request,
                                                             const std::optional<std::string> &sheetID)
{
    requireCurrentEditing();
    if (sheetID && !sheet(*sheetID))
        throw OrganizationError::invalid("The selected chart no longer exists. Reopen the editor.");

    OrganizationArchive working = *this;
    if (request.isNew()) {
        // Only a new id is trimmed: an edit must name the stored position exactly, even
        // one whose id has surrounding spaces.
        Position position = request.position;
        position.id = Text::trimmed(position.id);
        canonicalizeIdentifiers(position);
        working.checkpoint("Before adding positions");
        std::vector<Position> added = working.addPositions(position, request.quantity, sheetID);
        *this = std::move(working);
        return added;
    }

    const Position &original = *request.original;
    Position edited = request.position;
    canonicalizeIdentifiers(edited);
    if (request.quantity != 1 || edited.id != original.id || !storedUnchanged(organization, original))
        throw OrganizationError::invalid("This position changed or no longer exists. Reopen the editor before saving.");

    const bool placing = sheetID && request.includeOnSheet;
    const bool alreadyPlaced = !placing || lists(*sheet(*sheetID), original.id);
    if (edited == original && alreadyPlaced)
        return {edited};

    working.checkpoint("Before editing " + original.jobTitle());
    working.updatePosition(edited);
    if (placing)
        working.includePositions({edited.id}, *sheetID);
    *this = std::move(working);
    return {edited};
}

void OrganizationArchive::includeExistingPositionFromEntry(const std::string &positionID, const std::string &sheetID)
{
    requireCurrentEditing();
    OrganizationArchive working = *this;
    const OrganizationSheet *chart = sheet(sheetID);
    if (!chart || !lists(*chart, positionID))
        working.checkpoint("Before including existing position on chart");
    working.includePositions({positionID}, sheetID);
    *this = std::move(working);
}
