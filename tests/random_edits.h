#pragma once

// Seeded random districts and edits for the tests that compare a path that updates only
// what changed with a full rebuild. Edits write the fields directly, so some leave the
// organization invalid (a cycle, a repeated employee number, a zero FTE): both paths must
// then refuse alike.

#include "core/document/organization_archive.h"

#include <random>
#include <string>
#include <vector>

namespace RandomEdits {

inline int below(std::mt19937 &random, size_t n)
{
    return int(random() % std::max<size_t>(n, 1));
}

// About `size` positions under one top, with departments, sites, vacancies and a few
// dotted lines and assistants; a chart of every other position and a group of two peers.
inline OrganizationArchive district(std::mt19937 &random, int size)
{
    static const std::vector<std::string> departments{"Office", "Teaching", "Support", "Data"};
    Organization organization;
    for (int i = 0; i < size; ++i) {
        Position p{.id = "P" + std::to_string(i), .title = i % 3 ? "Teacher" : "Principal",
                   .department = departments[size_t(below(random, departments.size()))],
                   .location = "Site " + std::to_string(below(random, 4))};
        if (i > 0)
            p.managerID = "P" + std::to_string(below(random, size_t(std::min(i, 1 + i / 3))));
        if (random() % 10)
            p.employee = Employee{std::to_string(1000 + i), "Name" + std::to_string(below(random, 50)) + " P" +
                                                                std::to_string(i)};
        if (i > 3 && random() % 12 == 0)
            p.dottedManagerIDs.push_back("P" + std::to_string(below(random, size_t(i))));
        if (p.managerID && random() % 15 == 0)
            p.isAssistant = true;
        organization.positions.push_back(std::move(p));
    }
    OrganizationArchive archive = OrganizationArchive::make("District", std::move(organization));
    std::vector<std::string> half;
    for (size_t i = 0; i < archive.organization.positions.size(); i += 2)
        half.push_back(archive.organization.positions[i].id);
    archive.sheets = std::vector{OrganizationSheet::make("Half", half)};
    return archive;
}

// One random edit, as an edit path would make it: a rename, a vacancy, a new manager, an
// assistant, a sibling order, a dotted line added or dropped, another department, title,
// site or FTE, a deletion, an addition, a chart listing changed.
inline void apply(OrganizationArchive &archive, std::mt19937 &random)
{
    std::vector<Position> &positions = archive.organization.positions;
    if (positions.empty())
        return;
    Position &p = positions[size_t(below(random, positions.size()))];
    const std::string other = positions[size_t(below(random, positions.size()))].id;
    switch (random() % 14) {
    case 0: p.employee = Employee{std::to_string(5000 + below(random, 100000)), "Renamed " + std::to_string(random() % 99)}; break;
    case 1: p.employee.reset(); break;
    case 2:
        if (p.managerID && other != p.id)
            p.managerID = other; // may close a cycle
        break;
    case 3: p.isAssistant = !p.isAssistantPosition(); break;
    case 4: p.siblingOrder = below(random, 5); break;
    case 5:
        if (other != p.id)
            p.dottedManagerIDs.push_back(other);
        break;
    case 6: p.dottedManagerIDs.clear(); break;
    case 7: p.department = random() % 2 ? "Data" : "Operations"; break;
    case 8: p.title = random() % 2 ? "Teacher" : "Counselor"; break;
    case 9: p.location = "Site " + std::to_string(below(random, 6)); break;
    case 10: p.fte = random() % 20 ? 0.5 : 0; break;
    case 11: {
        // A position nobody reports to, taken away with its chart listings.
        const std::string id = p.id;
        bool manages = false;
        for (const Position &q : positions) {
            if (q.managerID == id || std::find(q.dottedManagerIDs.begin(), q.dottedManagerIDs.end(), id) != q.dottedManagerIDs.end())
                manages = true;
        }
        if (manages)
            break;
        std::erase_if(positions, [&](const Position &q) { return q.id == id; });
        if (archive.sheets) {
            for (OrganizationSheet &sheet : *archive.sheets)
                std::erase(sheet.positionIDs, id);
        }
        break;
    }
    case 12: {
        Position n{.id = "N" + std::to_string(random()), .title = "Aide", .department = "Support",
                   .managerID = other, .location = "Site 1"};
        positions.push_back(std::move(n));
        break;
    }
    case 13:
        if (archive.sheets && !archive.sheets->empty()) {
            std::vector<std::string> &listed = archive.sheets->front().positionIDs;
            if (std::find(listed.begin(), listed.end(), p.id) == listed.end())
                listed.push_back(p.id);
            else
                std::erase(listed, p.id);
        }
        break;
    }
}

} // namespace RandomEdits
