#include "core/document/organization_archive.h"

#include <string_view>
#include <unordered_set>

std::vector<Position> Organization::addPositions(const Position &position, int quantity)
{
    if (quantity < 1 || quantity > 1000)
        throw OrganizationError::invalid("Quantity must be a whole number from 1 to 1,000.");
    if (quantity != 1 && position.employee)
        throw OrganizationError::invalid("Quantity greater than 1 is only allowed for vacant positions.");
    std::unordered_set<std::string> ids;
    ids.reserve(positions.size() + static_cast<size_t>(quantity));
    for (const Position &p : positions)
        ids.insert(p.id);
    if (!ids.insert(position.id).second)
        throw OrganizationError::invalid("Position ID " + position.id + " already exists. Enter a unique Position ID.");

    std::vector<Position> added{position};
    for (int n = 2; static_cast<int>(added.size()) < quantity; ++n) {
        std::string candidate = position.id + "-" + std::to_string(n);
        if (!ids.insert(candidate).second)
            continue;
        Position copy = position;
        copy.id = std::move(candidate);
        added.push_back(std::move(copy));
    }

    const size_t before = positions.size();
    positions.insert(positions.end(), added.begin(), added.end());
    try {
        validate();
    } catch (...) {
        positions.resize(before);
        throw;
    }
    return added;
}

std::vector<Position> OrganizationArchive::addPositions(const Position &position, int quantity,
                                                        const std::optional<std::string> &sheetID)
{
    requireCurrentEditing();
    OrganizationSheet *target = sheetID ? sheet(*sheetID) : nullptr;
    if (sheetID && !target)
        throw OrganizationError::invalid("The selected chart no longer exists.");
    std::vector<std::string> positionIDs;
    if (target)
        positionIDs = target->positionIDs;
    const size_t before = organization.positions.size();
    std::vector<Position> added = organization.addPositions(position, quantity);
    try {
        for (const Position &p : added)
            positionIDs.push_back(p.id);
    } catch (...) {
        organization.positions.resize(before);
        throw;
    }
    if (target)
        target->positionIDs = std::move(positionIDs);
    return added;
}
