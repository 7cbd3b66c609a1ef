#include "core/entry_matching.h"

#include <gtest/gtest.h>

namespace {

Position person(std::string id, std::string name, std::string number = "")
{
    Position p{.id = std::move(id), .title = "T"};
    p.employee = Employee{.id = number.empty() ? p.id : std::move(number), .name = std::move(name)};
    return p;
}

Position vacancy(std::string id, std::string title, std::optional<std::string> jobTitle = std::nullopt)
{
    Position p{.id = std::move(id), .title = std::move(title)};
    p.customJobTitle = std::move(jobTitle);
    return p;
}

struct Found {
    std::string id;
    std::string reason;
    int score;
    bool exactName;
    bool operator==(const Found &) const = default;
};

std::vector<Found> summary(const std::vector<PositionEntryMatch> &matches)
{
    std::vector<Found> out;
    for (const PositionEntryMatch &m : matches)
        out.push_back({m.id(), m.reason, m.score, m.exactName});
    return out;
}

void PrintTo(const Found &f, std::ostream *os)
{
    *os << "{" << f.id << ", " << f.reason << ", " << f.score << ", " << f.exactName << "}";
}

} // namespace

TEST(EntryMatchingPeople, NameAndNumberRules)
{
    const std::vector<Position> positions = {
        person("P1", "Mary-Ann Smith"), person("P2", "Joanne Lee"), person("P3", "Smith, John"),
        person("P4", "Jos\u00e9 N\u00fa\u00f1ez", "0042"), person("P5", "Maryann Cole"), vacancy("V1", "Ann Lee"),
    };
    const std::string same = "Same name \u2014 verify identity";
    struct Case {
        const char *name;
        const char *number;
        std::vector<Found> expected;
    };
    const Case cases[] = {
        {"a", "", {}}, // too short to match on the name
        {"ann", "", {{"P2", "Similar name", 500, false}, {"P1", "Similar name", 500, false}, {"P5", "Similar name", 500, false}}},
        {"John Smith", "", {{"P3", same, 800, true}}},
        {"Mary Ann Cole", "", {{"P5", same, 800, true}}}, // joined words equal
        {"x", " 0042\n", {{"P4", "Same employee number", 1000, false}}},
        // A number match keeps the name verdict in exactName.
        {"  Jose NUNEZ ", "0042", {{"P4", "Same employee number", 1000, true}}},
    };
    for (const Case &c : cases)
        EXPECT_EQ(summary(PositionEntryMatching::people(positions, c.name, c.number)), c.expected) << c.name;
    EXPECT_TRUE(PositionEntryMatching::people(positions, "Joanne Lee", "", std::string("P2")).empty());
}

TEST(EntryMatchingVacancies, ScoresAndBonuses)
{
    const auto placed = [](Position p, std::string department, std::string location) {
        p.managerID = "M";
        p.department = std::move(department);
        p.location = std::move(location);
        return p;
    };
    const Position target = placed(vacancy("NEW", "Teacher II", std::string("Math Teacher")), "Science", "North");
    // Same job title ignoring case, same manager, department and location.
    const Position best = placed(vacancy("V1", "X", std::string("math teacher")), "science", "NORTH");
    Position occupied = person("P1", "Ann");
    occupied.title = "Teacher II";
    const auto matches = PositionEntryMatching::vacancies(
        {vacancy("V3", "Senior Math Teacher Lead"), vacancy("V4", "Custodian"), vacancy("V2", "Teacher  II"), best,
         occupied, vacancy("NEW", "Teacher II")},
        target);
    EXPECT_EQ(summary(matches), (std::vector<Found>{{"V1", "Matching vacant role", 570, false},
                                                    {"V2", "Matching vacant role", 300, false},
                                                    {"V3", "Similar vacant role", 100, false}}));
}

TEST(EntryMatchingVacancies, EqualScoresByJobTitleThenIDAndShortKeysNeverMatch)
{
    const auto matches = PositionEntryMatching::vacancies(
        {vacancy("V9", "Clerk 10"), vacancy("V2", "Clerk 2"), vacancy("V1", "Clerk 2")}, vacancy("NEW", "Clerk"));
    std::vector<std::string> ids;
    for (const auto &m : matches)
        ids.push_back(m.id());
    EXPECT_EQ(ids, (std::vector<std::string>{"V1", "V2", "V9"}));
    EXPECT_TRUE(PositionEntryMatching::vacancies({vacancy("V", "A")}, vacancy("NEW", "A")).empty());
}
