#include "core/entry/entry_matching.h"

#include <gtest/gtest.h>

#include <regex>

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

// Each match as "<id>: <reason> <score>", with " exact" when the name matched exactly.
std::vector<std::string> summary(const std::vector<PositionEntryMatch> &matches)
{
    std::vector<std::string> out;
    for (const PositionEntryMatch &m : matches)
        out.push_back(m.id() + ": " + m.reason + " " + std::to_string(m.score) + (m.exactName ? " exact" : ""));
    return out;
}

} // namespace

TEST(EntryMatchingPeople, NameRules)
{
    const std::vector<Position> positions = {
        person("P1", "Mary-Ann Smith"), person("P2", "Joanne Lee"),   person("P3", "Smith, John"),
        person("P4", "José Núñez"),     person("P5", "Maryann Cole"), person("P6", "Bob Stone"),
    };
    struct Case {
        const char *name;
        std::vector<std::string> expected;
    };
    const Case cases[] = {
        {"", {}},
        {"a", {}}, // too short to match on the name
        {"ann", {"P2: Similar name 500", "P1: Similar name 500", "P5: Similar name 500"}},
        {"John Smith", {"P3: Same name — verify identity 800 exact"}},
        {"  Jose NUNEZ ", {"P4: Same name — verify identity 800 exact"}},
        {"Mary Ann Cole", {"P5: Same name — verify identity 800 exact"}}, // joined words equal
        {"--", {}},
    };
    for (const Case &c : cases)
        EXPECT_EQ(summary(PositionEntryMatching::people(positions, c.name, "")), c.expected) << c.name;
}

TEST(EntryMatchingPeople, EmployeeNumberIsTrimmedButExact)
{
    const std::vector<Position> positions = {person("P1", "Ann Lee", "0042"), person("P2", "Bo Park", "42")};
    EXPECT_EQ(summary(PositionEntryMatching::people(positions, "x", " 0042\n")),
              (std::vector<std::string>{"P1: Same employee number 1000"}));
    // A number match keeps the name verdict in exactName.
    EXPECT_EQ(summary(PositionEntryMatching::people(positions, "Lee Ann", "0042")),
              (std::vector<std::string>{"P1: Same employee number 1000 exact"}));
    EXPECT_TRUE(PositionEntryMatching::people(positions, "", "").empty());
}

TEST(EntryMatchingPeople, SkipsExcludedAndVacantPositions)
{
    std::vector<Position> positions = {person("P1", "Ann Lee", "7"), vacancy("V1", "Ann Lee")};
    EXPECT_TRUE(PositionEntryMatching::people(positions, "Ann Lee", "7", std::string("P1")).empty());
    EXPECT_EQ(PositionEntryMatching::people(positions, "Ann Lee", "7").size(), 1u);
}

TEST(EntryMatchingPeople, OrderByScoreThenNameThenID)
{
    const std::vector<Position> positions = {
        person("P3", "ann b"), person("P2", "Ann B"), person("P1", "Ann C", "9"), person("P0", "Annie"),
    };
    const auto matches = PositionEntryMatching::people(positions, "ann", "9");
    std::vector<std::string> ids;
    for (const auto &m : matches)
        ids.push_back(m.id());
    // Number first; then equal scores by name ignoring case, equal names by id.
    EXPECT_EQ(ids, (std::vector<std::string>{"P1", "P2", "P3", "P0"}));
}

TEST(EntryMatchingVacancies, ScoresAndBonuses)
{
    Position target = vacancy("NEW", "Teacher II", std::string("Math Teacher"));
    target.managerID = "M";
    target.department = "Science";
    target.location = "North";

    Position best = vacancy("V1", "X", std::string("math teacher"));
    best.managerID = "M";
    best.department = "science";
    best.location = "NORTH";
    Position payOnly = vacancy("V2", "Teacher  II");
    Position similar = vacancy("V3", "Senior Math Teacher Lead");
    Position unrelated = vacancy("V4", "Custodian");
    Position occupied = person("P1", "Ann");
    occupied.title = "Teacher II";
    Position self = vacancy("NEW", "Teacher II");

    const auto matches =
        PositionEntryMatching::vacancies({similar, unrelated, payOnly, best, occupied, self}, target);
    EXPECT_EQ(summary(matches), (std::vector<std::string>{"V1: Matching vacant role 570",
                                                    "V2: Matching vacant role 300",
                                                    "V3: Similar vacant role 100"}));
}

TEST(EntryMatchingVacancies, ShortKeysAndPunctuationDepartments)
{
    EXPECT_TRUE(PositionEntryMatching::vacancies({vacancy("V", "A")}, vacancy("NEW", "A")).empty());

    Position target = vacancy("NEW", "Clerk");
    target.department = "--";
    Position wordless = vacancy("V1", "Clerk");
    wordless.department = "/";
    Position named = vacancy("V2", "Clerk");
    named.department = "Office";
    const auto matches = PositionEntryMatching::vacancies({named, wordless}, target);
    EXPECT_EQ(summary(matches), (std::vector<std::string>{"V1: Matching vacant role 380",
                                                    "V2: Matching vacant role 300"}));
}

TEST(EntryMatchingVacancies, EqualScoresByJobTitleThenID)
{
    const auto matches = PositionEntryMatching::vacancies(
        {vacancy("V9", "Clerk 10"), vacancy("V2", "Clerk 2"), vacancy("V1", "Clerk 2")}, vacancy("NEW", "Clerk"));
    std::vector<std::string> ids;
    for (const auto &m : matches)
        ids.push_back(m.id());
    EXPECT_EQ(ids, (std::vector<std::string>{"V1", "V2", "V9"}));
}

TEST(EntryMatchingNextPosition, CopiesTheRoleAndStartsVacant)
{
    Position saved = person("P-1", "Ann");
    saved.customJobTitle = "Lead";
    saved.department = "Ops";
    saved.managerID = "M";
    saved.location = "HQ";
    saved.fte = 0.5;
    saved.dottedManagerIDs = {"D"};
    saved.schoolAssignments = {{"North", 0.5}};
    saved.siblingOrder = 3;
    saved.reportingCallout = ReportingCallout{};

    const Position next = PositionEntryMatching::nextPosition(saved, {saved});
    EXPECT_TRUE(std::regex_match(next.id, std::regex("P-[0-9A-F]{8}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{12}")));
    Position expected{.id = next.id, .title = "T", .customJobTitle = "Lead", .department = "Ops",
                      .managerID = "M", .location = "HQ", .fte = 0.5, .isAssistant = false};
    EXPECT_EQ(next, expected);
    EXPECT_TRUE(PositionEntryMatching::nextPosition(saved, {}).id.starts_with("P-"));
}

TEST(EntryMatching, PeopleAndVacancies)
{
    const std::vector<Position> positions = {
        person("P1", "Mary-Ann Smith"), person("P2", "Joanne Lee"), person("P3", "Smith, John"),
        person("P4", "Jos\u00e9 N\u00fa\u00f1ez", "0042"), person("P5", "Maryann Cole"), vacancy("V1", "Ann Lee"),
        person("P6", "\u0915\u093F\u0930\u0923 Rao"),
    };
    struct Case {
        const char *name;
        const char *number;
        std::vector<std::string> expected;
    };
    const Case cases[] = {
        {"a", "", {}}, // too short to match on the name
        {"\u0915\u093F", "", {}}, // one character written as a letter and a vowel sign
        {"ann", "", {"P2: Similar name 500", "P1: Similar name 500", "P5: Similar name 500"}},
        {"John Smith", "", {"P3: Same name \u2014 verify identity 800 exact"}},
        {"Mary Ann Cole", "", {"P5: Same name \u2014 verify identity 800 exact"}}, // joined words equal
        // A number match keeps the name verdict in exactName.
        {"  Jose NUNEZ ", " 0042\n", {"P4: Same employee number 1000 exact"}},
    };
    for (const Case &c : cases)
        EXPECT_EQ(summary(PositionEntryMatching::people(positions, c.name, c.number)), c.expected) << c.name;
    EXPECT_TRUE(PositionEntryMatching::people(positions, "Joanne Lee", "", std::string("P2")).empty());

    // Vacancies: same job title ignoring case, same manager, department and location score highest.
    const auto placed = [](Position p, std::string department, std::string location) {
        p.managerID = "M";
        p.department = std::move(department);
        p.location = std::move(location);
        return p;
    };
    const Position target = placed(vacancy("NEW", "Teacher II", std::string("Math Teacher")), "Science", "North");
    const Position best = placed(vacancy("V1", "X", std::string("math teacher")), "science", "NORTH");
    Position occupied = person("P1", "Ann");
    occupied.title = "Teacher II";
    const auto matches = PositionEntryMatching::vacancies(
        {vacancy("V3", "Senior Math Teacher Lead"), vacancy("V4", "Custodian"), vacancy("V2", "Teacher  II"), best,
         occupied, vacancy("NEW", "Teacher II")},
        target);
    EXPECT_EQ(summary(matches), (std::vector<std::string>{"V1: Matching vacant role 570", "V2: Matching vacant role 300",
                                                          "V3: Similar vacant role 100"}));
    // Equal scores by job title, then id.
    const Position clerk = vacancy("NEW", "Clerk");
    EXPECT_EQ(summary(PositionEntryMatching::vacancies(
                  {vacancy("V9", "Clerk 10"), vacancy("V2", "Clerk 2"), vacancy("V1", "Clerk 2")}, clerk)),
              (std::vector<std::string>{"V1: Similar vacant role 100", "V2: Similar vacant role 100",
                                        "V9: Similar vacant role 100"}));
    EXPECT_TRUE(PositionEntryMatching::vacancies({vacancy("V", "A")}, vacancy("NEW", "A")).empty());
    EXPECT_TRUE(PositionEntryMatching::vacancies({vacancy("V", "\u0915\u093F A")}, vacancy("NEW", "\u0915\u093F")).empty());
}
