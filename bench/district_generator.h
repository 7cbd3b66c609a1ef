#pragma once

// Districts for the benchmarks, built from a fixed seed so every run measures the same charts.

#include "core/model/organization.h"

#include <algorithm>
#include <map>
#include <optional>
#include <random>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace BenchDistrict {

// A district of about `target` positions: a superintendent with an assistant, central
// departments with coordinators and staff, area superintendents over schools whose
// principals have assistant principals, a secretary and 20 to 140 teachers; about one
// position in ten vacant and one in `dottedEvery` with a dotted line (and so a callout) to
// someone in the first tenth of the district.
class DistrictGenerator {
public:
    explicit DistrictGenerator(unsigned seed, int dottedEvery = 50) : m_random(seed), m_dottedEvery(dottedEvery) {}

    Organization make(int target)
    {
        m_org = Organization{};
        const std::string top = add("Superintendent", std::nullopt);
        add("Executive Assistant", top, true);
        const int departments = std::max(2, target / 400);
        for (int d = 0; d < departments && size() < target; ++d) {
            const std::string director = add("Director", top);
            for (int c = between(2, 3); c > 0 && size() < target; --c) {
                const std::string coordinator = add("Coordinator", director);
                for (int s = between(4, 14); s > 0 && size() < target; --s)
                    add("Specialist", coordinator);
            }
        }
        const int areas = std::max(1, target / 2500);
        std::vector<std::string> areaHeads;
        for (int a = 0; a < areas; ++a)
            areaHeads.push_back(add("Area Superintendent", top));
        for (int school = 0; size() < target; ++school) {
            const std::string principal = add("Principal", areaHeads[school % areas]);
            add("Secretary", principal, true);
            std::vector<std::string> deputies;
            for (int a = between(1, 2); a > 0; --a)
                deputies.push_back(add("Assistant Principal", principal));
            const int teachers = school % 7 == 0 ? between(100, 140) : between(20, 60);
            for (int t = 0; t < teachers && size() < target; ++t) {
                const bool underDeputy = t % 5 == 4;
                add("Teacher", underDeputy ? deputies[t % deputies.size()] : principal);
            }
        }
        addDottedLines();
        return std::move(m_org);
    }

private:
    int size() const { return static_cast<int>(m_org.positions.size()); }
    int between(int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(m_random); }

    std::string add(const std::string &title, std::optional<std::string> manager, bool isAssistant = false)
    {
        Position p;
        p.id = "P-" + std::to_string(m_org.positions.size() + 1);
        p.title = title;
        p.department = title;
        p.managerID = std::move(manager);
        if (isAssistant)
            p.isAssistant = true;
        if (between(0, 9) != 0)
            p.employee = Employee{std::to_string(100000 + m_org.positions.size()), "Person " + p.id};
        m_org.positions.push_back(std::move(p));
        return m_org.positions.back().id;
    }

    void addDottedLines()
    {
        const int n = size();
        for (int i = 1; i < n; i += m_dottedEvery) {
            Position &p = m_org.positions[i];
            const std::string &other = m_org.positions[between(0, n / 10)].id;
            if (other == p.id || (p.managerID && *p.managerID == other))
                continue;
            p.dottedManagerIDs.push_back(other);
            p.reportingCallout = ReportingCallout{};
        }
    }

    std::mt19937 m_random;
    int m_dottedEvery;
    Organization m_org;
};


// The district of `size` positions with a dotted line on one position in `dottedEvery`,
// made once per program.
inline const Organization &district(int size, int dottedEvery = 50)
{
    static std::map<std::pair<int, int>, Organization> made;
    auto found = made.find({size, dottedEvery});
    if (found == made.end())
        found = made.emplace(std::make_pair(size, dottedEvery), DistrictGenerator(42, dottedEvery).make(size)).first;
    return found->second;
}

// The same district as a document holds it, made once per program: callouts are the
// presentation's to add.
inline const Organization &plainDistrict(int size, int dottedEvery = 50)
{
    static std::map<std::pair<int, int>, Organization> made;
    auto found = made.find({size, dottedEvery});
    if (found == made.end()) {
        Organization organization = district(size, dottedEvery);
        for (Position &position : organization.positions)
            position.reportingCallout.reset();
        found = made.emplace(std::make_pair(size, dottedEvery), std::move(organization)).first;
    }
    return found->second;
}

// An occupied position nobody reports to, the last such: it can be made vacant and deleted.
inline std::string occupiedLeaf(const Organization &organization)
{
    std::set<std::string> managers;
    for (const Position &position : organization.positions) {
        if (position.managerID)
            managers.insert(*position.managerID);
        for (const std::string &dotted : position.dottedManagerIDs)
            managers.insert(dotted);
    }
    for (auto position = organization.positions.rbegin(); position != organization.positions.rend(); ++position) {
        if (position->employee && !managers.contains(position->id))
            return position->id;
    }
    return {};
}

} // namespace BenchDistrict
