#pragma once

#include "core/model/organization.h"

#include <cstddef>
#include <memory>
#include <vector>

// An organization kept inside a saved version. It never changes once made, and each
// position equal to one of an earlier frozen organization is shared with it, so a long
// history of a large district holds little more than the positions that changed.
class FrozenOrganization {
public:
    FrozenOrganization() = default;
    // Freezes `organization`; positions equal to the position with the same id in
    // `shareWith` are shared with it, and an organization equal to `shareWith` shares its
    // whole list. Linear in the number of positions.
    explicit FrozenOrganization(const Organization &organization, const FrozenOrganization *shareWith = nullptr);
    // Freezes a version read next to `before`: position i is before's position i where
    // `unchanged[i]` (known equal, so not compared), else the next of `changed.positions`,
    // shared as above. Linear in the number of positions.
    FrozenOrganization(const std::vector<bool> &unchanged, const Organization &changed, const FrozenOrganization &before);

    std::size_t size() const { return m_positions ? m_positions->size() : 0; }
    bool isEmpty() const { return size() == 0; }
    const Position &operator[](std::size_t index) const { return *(*m_positions)[index]; }

    // A working copy of the organization. Linear.
    Organization toOrganization() const;
    // Makes `working` equal to toOrganization(), keeping its positions that are equal and
    // copying only the others. Linear comparisons.
    void restoreInto(Organization &working) const;
    // Whether `organization` holds equal positions in the same order. Linear.
    bool holds(const Organization &organization) const;

    // Same positions in the same order.
    bool operator==(const FrozenOrganization &other) const;

private:
    class Sharing;
    using Positions = std::vector<std::shared_ptr<const Position>>;
    std::shared_ptr<const Positions> m_positions;
};
