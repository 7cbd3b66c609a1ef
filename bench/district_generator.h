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
//
// The itinerant shape is the dotted lines of a real district instead: about 8 % of the
// positions are itinerant specialists under central coordinators, each split over two
// schools with a dotted line to both principals, and nearly every coordinator has one to a
// principal; about 3,600 lines at 20,000 positions, many crossing the chart between schools.
enum class DottedShape { sparse, itinerant };

class DistrictGenerator {
public:
    explicit DistrictGenerator(unsigned seed, int dottedEvery = 50, DottedShape shape = DottedShape::sparse)
        : m_random(seed), m_dottedEvery(dottedEvery), m_shape(shape)
    {
    }

    Organization make(int target)
    {
        m_org = Organization{};
        const std::string top = add("Superintendent", std::nullopt);
        add("Executive Assistant", top, true);
        const int departments = std::max(2, target / 400);
        const bool itinerant = m_shape == DottedShape::itinerant;
        for (int d = 0; d < departments && size() < target; ++d) {
            const std::string director = add("Director", top);
            for (int c = itinerant ? between(6, 10) : between(2, 3); c > 0 && size() < target; --c) {
                const std::string coordinator = add("Coordinator", director);
                m_coordinators.push_back(coordinator);
                for (int s = between(4, 14); s > 0 && size() < target; --s)
                    m_specialists.push_back(add("Specialist", coordinator));
            }
        }
        const int areas = std::max(1, target / 2500);
        std::vector<std::string> areaHeads;
        for (int a = 0; a < areas; ++a)
            areaHeads.push_back(add("Area Superintendent", top));
        for (int school = 0; size() < target; ++school) {
            const std::string principal = add("Principal", areaHeads[school % areas]);
            m_principals.push_back(principal);
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
        if (itinerant)
            addItinerantLines();
        else
            addDottedLines();
        m_coordinators.clear();
        m_specialists.clear();
        m_principals.clear();
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

    Position &positionOf(const std::string &id) { return m_org.positions[std::stoul(id.substr(2)) - 1]; }

    void addDotted(const std::string &id, const std::string &manager)
    {
        Position &p = positionOf(id);
        p.dottedManagerIDs.push_back(manager);
        p.reportingCallout = ReportingCallout{};
    }

    void addItinerantLines()
    {
        const size_t itinerants = std::min(m_specialists.size(), size_t(size()) * 8 / 100);
        std::shuffle(m_specialists.begin(), m_specialists.end(), m_random);
        const int schools = static_cast<int>(m_principals.size());
        for (size_t i = 0; i < itinerants && schools > 1; ++i) {
            const int first = between(0, schools - 1);
            const int second = (first + between(1, schools - 1)) % schools;
            addDotted(m_specialists[i], m_principals[size_t(first)]);
            addDotted(m_specialists[i], m_principals[size_t(second)]);
        }
        for (const std::string &coordinator : m_coordinators) {
            if (between(0, 19) != 0 && schools > 0)
                addDotted(coordinator, m_principals[size_t(between(0, schools - 1))]);
        }
    }

    std::mt19937 m_random;
    int m_dottedEvery;
    DottedShape m_shape;
    std::vector<std::string> m_coordinators;
    std::vector<std::string> m_specialists;
    std::vector<std::string> m_principals;
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

// The district of `size` positions with the itinerant shape's dotted lines, made once per
// program.
inline const Organization &itinerantDistrict(int size)
{
    static std::map<int, Organization> made;
    auto found = made.find(size);
    if (found == made.end())
        found = made.emplace(size, DistrictGenerator(42, 0, DottedShape::itinerant).make(size)).first;
    return found->second;
}

// The same as a document holds it: callouts are the presentation's to add.
inline Organization plainItinerantDistrict(int size)
{
    Organization organization = itinerantDistrict(size);
    for (Position &position : organization.positions)
        position.reportingCallout.reset();
    return organization;
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
