#include "core/document/frozen_organization.h"

#include <cstddef>
#include <functional>
#include <optional>
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
    // The positions the earlier one holds alike in the same places: all of them (an
    // organization an edit left as it was) share its list whole, with nothing allocated.
    size_t alike = 0;
    if (shareWith && shareWith->m_positions && shareWith->size() == organization.positions.size()) {
        const Positions &previous = *shareWith->m_positions;
        while (alike < previous.size() && *previous[alike] == organization.positions[alike])
            ++alike;
        if (alike == previous.size()) {
            m_positions = shareWith->m_positions;
            return;
        }
    }
    Sharing sharing(shareWith);
    auto positions = std::make_shared<Positions>();
    positions->reserve(organization.positions.size());
    if (alike > 0)
        positions->assign(shareWith->m_positions->begin(), shareWith->m_positions->begin() + std::ptrdiff_t(alike));
    for (size_t i = alike; i < organization.positions.size(); ++i)
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

void FrozenOrganization::restoreInto(Organization &working) const
{
    std::vector<Position> &have = working.positions;
    // Most steps change positions where they are, or add or take away one: those are
    // patched in place, without a second list.
    size_t i = 0;
    while (i < size()) {
        const Position &wanted = (*this)[i];
        if (i < have.size() && have[i].id == wanted.id) {
            if (!(have[i] == wanted))
                have[i] = wanted;
            ++i;
        } else if (have.size() + 1 == size() && (i == have.size() || have[i].id == (*this)[i + 1].id)) {
            have.insert(have.begin() + std::ptrdiff_t(i), wanted);
            ++i;
        } else if (have.size() == size() + 1 && have[i + 1].id == wanted.id) {
            have.erase(have.begin() + std::ptrdiff_t(i));
        } else {
            break;
        }
    }
    if (i == size()) {
        if (have.size() == size() + 1)
            have.pop_back();
        if (have.size() == size())
            return;
    }

    // Otherwise (another order, several added or taken away) the working positions are
    // moved into their new places, found at the next place in turn and otherwise by id.
    std::unordered_multimap<size_t, size_t> placesByHash;
    bool indexed = false;
    std::vector<bool> taken(have.size(), false);
    const auto find = [&](size_t from, const std::string &id) -> std::optional<size_t> {
        if (from < have.size() && !taken[from] && have[from].id == id)
            return from;
        if (!indexed) {
            placesByHash.reserve(have.size());
            for (size_t i = 0; i < have.size(); ++i)
                placesByHash.emplace(std::hash<std::string>{}(have[i].id), i);
            indexed = true;
        }
        auto [begin, end] = placesByHash.equal_range(std::hash<std::string>{}(id));
        for (auto it = begin; it != end; ++it) {
            if (!taken[it->second] && have[it->second].id == id)
                return it->second;
        }
        return std::nullopt;
    };
    std::vector<Position> result;
    result.reserve(size());
    size_t next = 0;
    for (size_t i = 0; i < size(); ++i) {
        const Position &wanted = (*this)[i];
        const std::optional<size_t> found = find(next, wanted.id);
        if (!found) {
            result.push_back(wanted);
            continue;
        }
        taken[*found] = true;
        next = *found + 1;
        if (have[*found] == wanted)
            result.push_back(std::move(have[*found]));
        else
            result.push_back(wanted);
    }
    have = std::move(result);
}

bool FrozenOrganization::holds(const Organization &organization) const
{
    if (organization.positions.size() != size())
        return false;
    for (size_t i = 0; i < size(); ++i) {
        if (!(organization.positions[i] == (*this)[i]))
            return false;
    }
    return true;
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
