#include "core/document/frozen_organization.h"

#include <string_view>
#include <unordered_map>

FrozenOrganization::FrozenOrganization(const Organization &organization, const FrozenOrganization *shareWith)
{
    const Positions *previous = shareWith && shareWith->m_positions ? shareWith->m_positions.get() : nullptr;
    // Most versions keep the order of the one before, so the same index is tried first and
    // the id index is built only when the orders part.
    std::unordered_map<std::string_view, const std::shared_ptr<const Position> *> previousByID;
    bool indexed = false;
    auto findPrevious = [&](size_t index, const Position &position) -> const std::shared_ptr<const Position> * {
        if (!previous)
            return nullptr;
        if (index < previous->size() && (*previous)[index]->id == position.id)
            return &(*previous)[index];
        if (!indexed) {
            previousByID.reserve(previous->size());
            for (const auto &p : *previous)
                previousByID.emplace(p->id, &p);
            indexed = true;
        }
        auto found = previousByID.find(position.id);
        return found == previousByID.end() ? nullptr : found->second;
    };

    auto positions = std::make_shared<Positions>();
    positions->reserve(organization.positions.size());
    for (size_t i = 0; i < organization.positions.size(); ++i) {
        const Position &position = organization.positions[i];
        const std::shared_ptr<const Position> *shared = findPrevious(i, position);
        if (shared && **shared == position)
            positions->push_back(*shared);
        else
            positions->push_back(std::make_shared<const Position>(position));
    }
    m_positions = std::move(positions);
}

Organization FrozenOrganization::toOrganization() const
{
    Organization organization;
    organization.positions.reserve(size());
    for (size_t i = 0; i < size(); ++i)
        organization.positions.push_back((*this)[i]);
    return organization;
}

bool FrozenOrganization::operator==(const FrozenOrganization &other) const
{
    if (m_positions == other.m_positions)
        return true;
    if (size() != other.size())
        return false;
    for (size_t i = 0; i < size(); ++i) {
        const auto &a = (*m_positions)[i];
        const auto &b = (*other.m_positions)[i];
        if (a != b && *a != *b)
            return false;
    }
    return true;
}
