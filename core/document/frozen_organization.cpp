#include "core/document/frozen_organization.h"

#include <string_view>
#include <unordered_map>

// Finds the positions of an earlier frozen organization that a new one can share.
class FrozenOrganization::Sharing {
public:
    explicit Sharing(const FrozenOrganization *shareWith)
        : m_previous(shareWith && shareWith->m_positions ? shareWith->m_positions.get() : nullptr)
    {
    }

    // `position`, at `index` of the new organization, shared when the earlier one holds an
    // equal position with its id.
    std::shared_ptr<const Position> share(size_t index, const Position &position)
    {
        const std::shared_ptr<const Position> *shared = find(index, position);
        if (shared && **shared == position)
            return *shared;
        return std::make_shared<const Position>(position);
    }

private:
    // Most versions keep the order of the one before, so the same index is tried first and
    // the id index is built only when the orders part.
    const std::shared_ptr<const Position> *find(size_t index, const Position &position)
    {
        if (!m_previous)
            return nullptr;
        if (index < m_previous->size() && (*m_previous)[index]->id == position.id)
            return &(*m_previous)[index];
        if (!m_indexed) {
            m_byID.reserve(m_previous->size());
            for (const auto &p : *m_previous)
                m_byID.emplace(p->id, &p);
            m_indexed = true;
        }
        auto found = m_byID.find(position.id);
        return found == m_byID.end() ? nullptr : found->second;
    }

    const Positions *m_previous;
    std::unordered_map<std::string_view, const std::shared_ptr<const Position> *> m_byID;
    bool m_indexed = false;
};

FrozenOrganization::FrozenOrganization(const Organization &organization, const FrozenOrganization *shareWith)
{
    Sharing sharing(shareWith);
    auto positions = std::make_shared<Positions>();
    positions->reserve(organization.positions.size());
    for (size_t i = 0; i < organization.positions.size(); ++i)
        positions->push_back(sharing.share(i, organization.positions[i]));
    m_positions = std::move(positions);
}

FrozenOrganization::FrozenOrganization(const std::vector<bool> &unchanged, const Organization &changed,
                                       const FrozenOrganization &before)
{
    Sharing sharing(&before);
    auto positions = std::make_shared<Positions>();
    positions->reserve(unchanged.size());
    auto next = changed.positions.begin();
    for (size_t i = 0; i < unchanged.size(); ++i) {
        if (unchanged[i])
            positions->push_back((*before.m_positions)[i]);
        else
            positions->push_back(sharing.share(i, *next++));
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
