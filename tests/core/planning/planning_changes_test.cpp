#include "planning_test_support.h"

#include "core/model/fte_text.h"
#include "core/planning/proposal_changes.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <map>
#include <random>
#include <set>
#include <tuple>

using namespace TestDocs;

namespace {

// Top A; B and C report to A; C has a custom job title and a dotted line to B.
OrganizationArchive district()
{
    Position c = person("C", "A", "Cy Lee");
    c.setJobTitle("Coach");
    c.dottedManagerIDs = {"B"};
    return archive({person("A", std::nullopt, "Ann Park", "Superintendent"), person("B", "A", "Bo Smith"), c});
}

struct Expected {
    std::string id;
    ProposalChangeKind kind;
    std::vector<std::string> details;
};

void expectChanges(const std::vector<ProposalChange> &actual, const std::vector<Expected> &expected,
                   const std::string &what)
{
    ASSERT_EQ(actual.size(), expected.size()) << what;
    for (size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(actual[i].positionID, expected[i].id) << what;
        EXPECT_EQ(actual[i].kind, expected[i].kind) << what;
        EXPECT_EQ(actual[i].details, expected[i].details) << what;
    }
}

} // namespace

TEST(ProposalChanges, KindsAndDetails)
{
    using K = ProposalChangeKind;
    struct Case {
        const char *what;
        std::function<void(PlannedDocument &)> edit;
        std::vector<Expected> expected;
    };
    const std::vector<Case> cases = {
        {"identical", [](PlannedDocument &) {}, {}},
        {"fte only", [](PlannedDocument &d) { d.proposed("B").fte = 0.5; },
         {{"B", K::modified, {"FTE: 1.0 \u2192 0.5"}}}},
        {"manager and job title",
         [](PlannedDocument &d) {
             d.proposed("B").managerID = "C";
             d.proposed("B").setJobTitle("Coach");
         },
         {{"B", K::moved,
           {"Primary manager: Ann Park \u2014 Superintendent [A] \u2192 Cy Lee \u2014 Coach [C]",
            "Job Title: Teacher \u2192 Coach", "Job Title follow-Pay-Level setting changed."}}}},
        {"custom title back to the pay level", [](PlannedDocument &d) { d.proposed("C").usePayLevelForJobTitle(); },
         {{"C", K::modified, {"Job Title: Coach \u2192 Teacher", "Job Title follow-Pay-Level setting changed."}}}},
        {"custom title equal to the pay level", [](PlannedDocument &d) { d.proposed("B").setJobTitle("Teacher"); },
         {{"B", K::modified, {"Job Title follow-Pay-Level setting changed."}}}},
        {"pay level followed by the job title", [](PlannedDocument &d) { d.proposed("B").title = "Principal"; },
         {{"B", K::modified, {"Job Title: Teacher \u2192 Principal", "Pay Level: Teacher \u2192 Principal"}}}},
        {"added vacancy without manager",
         [](PlannedDocument &d) { d.proposed().push_back(vacancy("N")); },
         {{"N", K::added, {"Reports to: No primary manager", "Dept \u00B7 Site \u00B7 1.0 FTE"}}}},
        {"added under a vacancy",
         [](PlannedDocument &d) {
             d.proposed("B").employee.reset();
             Position n = person("N", "B");
             n.fte = 0.25;
             d.proposed().push_back(n);
         },
         {{"B", K::modified, {"Employee: Bo Smith [E-B] \u2192 Vacant"}},
          {"N", K::added, {"Reports to: Vacant \u2014 Teacher [B]", "Dept \u00B7 Site \u00B7 0.25 FTE"}}}},
        {"deleted",
         [](PlannedDocument &d) {
             d.proposed("C").dottedManagerIDs.clear();
             std::erase_if(d.proposed(), [](const Position &p) { return p.id == "B"; });
         },
         {{"B", K::deleted, {"Former primary manager: Ann Park \u2014 Superintendent [A]", "Dept \u00B7 Site \u00B7 1.0 FTE removed"}},
          {"C", K::modified, {"Additional reports to: Bo Smith \u2014 Teacher [B] \u2192 None"}}}},
        {"dotted managers sorted",
         [](PlannedDocument &d) {
             d.proposed().push_back(person("Z", "A", "Zed"));
             d.proposed("C").dottedManagerIDs = {"Z", "A", "B"};
         },
         {{"C", K::modified,
           {"Additional reports to: Bo Smith \u2014 Teacher [B] \u2192 Ann Park \u2014 Superintendent [A]; "
            "Bo Smith \u2014 Teacher [B]; Zed \u2014 Teacher [Z]"}},
          {"Z", K::added, {"Reports to: Ann Park \u2014 Superintendent [A]", "Dept \u00B7 Site \u00B7 1.0 FTE"}}}},
        // Order and repetition of dotted managers are no change of their own, yet the stored
        // value differs: an edit with no lines.
        {"dotted order only", [](PlannedDocument &d) { d.proposed("C").dottedManagerIDs = {"B", "B"}; },
         {{"C", K::modified, {}}}},
        {"assistant absent to false", [](PlannedDocument &d) { d.proposed("B").isAssistant = false; },
         {{"B", K::modified, {}}}},
        {"every field",
         [](PlannedDocument &d) {
             Position &b = d.proposed("B");
             b.department = "Ops";
             b.location = "North";
             b.employee = Employee{"E-9", "Di Ng"};
             b.fte = 2;
             b.isAssistant = true;
             b.siblingOrder = -3;
             b.schoolAssignments = {{"North", 2}};
         },
         {{"B", K::modified,
           {"Department: Dept \u2192 Ops", "Location: Site \u2192 North", "Employee: Bo Smith [E-B] \u2192 Di Ng [E-9]",
            "FTE: 1.0 \u2192 2.0", "Assistant: false \u2192 true", "Sibling order: 0 \u2192 -3",
            "School allocations changed."}}}},
        {"manager removed", [](PlannedDocument &d) { d.proposed("B").managerID.reset(); },
         {{"B", K::moved, {"Primary manager: Ann Park \u2014 Superintendent [A] \u2192 No primary manager"}}}},
        // Ids sort as plain text: P-10 before P-9, upper case before lower case.
        {"plain id order",
         [](PlannedDocument &d) {
             d.proposed().push_back(vacancy("P-9"));
             d.proposed().push_back(vacancy("P-10"));
             d.proposed().push_back(vacancy("a"));
         },
         {{"P-10", K::added, {"Reports to: No primary manager", "Dept \u00B7 Site \u00B7 1.0 FTE"}},
          {"P-9", K::added, {"Reports to: No primary manager", "Dept \u00B7 Site \u00B7 1.0 FTE"}},
          {"a", K::added, {"Reports to: No primary manager", "Dept \u00B7 Site \u00B7 1.0 FTE"}}}},
    };
    for (const Case &c : cases) {
        PlannedDocument d(district());
        c.edit(d);
        d.state().organization.validate();
        expectChanges(d.planning().changes(d.proposalID), c.expected, c.what);
    }
}

TEST(ProposalChanges, BeforeAndAfterAreTheStoredPositions)
{
    PlannedDocument d(district());
    d.proposed("B").fte = 0.5;
    std::erase_if(d.proposed(), [](const Position &p) { return p.id == "C"; });
    d.proposed().push_back(vacancy("N"));

    const std::vector<ProposalChange> changes = d.planning().changes(d.proposalID);
    ASSERT_EQ(changes.size(), 3u);
    EXPECT_EQ(changes[0].before, d.planning().baseline.organization.positions[1]);
    EXPECT_EQ(changes[0].after, d.proposed("B"));
    EXPECT_EQ(changes[1].before, d.planning().baseline.organization.positions[2]);
    EXPECT_EQ(changes[1].after, std::nullopt);
    EXPECT_EQ(changes[2].before, std::nullopt);
    EXPECT_EQ(changes[2].after, vacancy("N"));
}

TEST(ProposalChanges, ChartScope)
{
    OrganizationArchive current = district();
    current.sheets = std::vector{sheet("S", "Chart", {"A", "B", "gone"}), sheet("T", "Other", {"C"})};
    PlannedDocument d(current);
    // Edits to every position; the proposal's own copy of S also lists N.
    for (Position &p : d.proposed())
        p.fte = 0.5;
    d.proposed().push_back(vacancy("N"));
    d.proposed().push_back(vacancy("M"));
    (*d.state().sheets)[0].positionIDs.push_back("N");
    (*d.state().sheets)[1].id = "U";

    const auto ids = [&](const std::string &sheetID) {
        std::vector<std::string> result;
        for (const ProposalChange &change : d.planning().changes(d.proposalID, sheetID))
            result.push_back(change.positionID);
        return result;
    };
    EXPECT_EQ(ids("S"), (std::vector<std::string>{"A", "B", "N"}));
    // T is gone from the proposal, so only the baseline's listing counts.
    EXPECT_EQ(ids("T"), (std::vector<std::string>{"C"}));
    EXPECT_EQ(ids(""), (std::vector<std::string>{"A", "B", "C", "M", "N"}));
    EXPECT_EQ(errorOf([&] { d.planning().changes(d.proposalID, "U"); }), "The locked chart no longer exists.");
    EXPECT_EQ(errorOf([&] { d.planning().changes(d.proposalID, "X"); }), "The locked chart no longer exists.");
}

TEST(ProposalChanges, UnknownProposalAndChartlessBaseline)
{
    PlannedDocument d(district());
    EXPECT_EQ(errorOf([&] { d.planning().changes("00000000-0000-4000-8000-000000000000"); }),
              "Select an existing proposal.");
    EXPECT_EQ(errorOf([&] { d.planning().changes(d.proposalID, "S"); }), "The locked chart no longer exists.");
}

// Random proposal edits, most keeping the baseline's order and some breaking it: after each,
// the changes are what comparing the two sides id by id gives, kinds and positions alike,
// and the details do not depend on the order of either side.
TEST(ProposalChanges, AfterRandomEditsMatchAComparisonByID)
{
    for (unsigned seed : {1u, 2u, 3u, 4u}) {
        std::mt19937 random(seed);
        const auto pick = [&](size_t size) { return size_t(random() % size); };
        OrganizationArchive current = archive({person("P000")});
        for (int i = 1; i < 60; ++i) {
            const std::string id = "P" + std::string(i < 10 ? "00" : "0") + std::to_string(i);
            current.organization.positions.push_back(
                i % 7 == 0 ? vacancy(id, current.organization.positions[pick(size_t(i))].id)
                           : person(id, current.organization.positions[pick(size_t(i))].id));
        }
        std::vector<std::string> listed;
        for (const Position &p : current.organization.positions) {
            if (random() % 3 == 0)
                listed.push_back(p.id);
        }
        current.sheets = std::vector{sheet("S", "Some", listed)};
        PlannedDocument d(current);
        const std::vector<Position> &baseline = d.planning().baseline.organization.positions;
        int added = 0;

        for (int step = 0; step < 150; ++step) {
            std::vector<Position> &proposed = d.proposed();
            const size_t n = proposed.size();
            switch (random() % 9) {
            case 0: proposed[pick(n)].employee = Employee{"N" + std::to_string(step), "Renamed " + std::to_string(step)}; break;
            case 1: proposed[pick(n)].managerID = proposed[pick(n)].id; break;
            case 2: proposed[pick(n)].dottedManagerIDs.push_back(proposed[pick(n)].id); break;
            case 3: proposed[pick(n)].fte = 0.5; break;
            case 4: if (n > 1) proposed.erase(proposed.begin() + std::ptrdiff_t(pick(n))); break;
            case 5: {
                const auto at = proposed.begin() + std::ptrdiff_t(pick(n + 1));
                proposed.insert(at, vacancy("N" + std::to_string(++added), proposed[pick(n)].id));
                break;
            }
            case 6: std::swap(proposed[pick(n)], proposed[pick(n)]); break;
            case 7: {
                // A baseline position back, wherever it lands.
                const Position &back = baseline[pick(baseline.size())];
                if (std::none_of(proposed.begin(), proposed.end(), [&](const Position &p) { return p.id == back.id; }))
                    proposed.insert(proposed.begin() + std::ptrdiff_t(pick(n + 1)), back);
                break;
            }
            default: {
                // A run of positions removed together.
                const size_t from = pick(n);
                proposed.erase(proposed.begin() + std::ptrdiff_t(from),
                               proposed.begin() + std::ptrdiff_t(std::min(n - 1, from + 1 + pick(4))));
                break;
            }
            }

            std::map<std::string, const Position *> was;
            std::map<std::string, const Position *> is;
            for (const Position &p : baseline)
                was[p.id] = &p;
            for (const Position &p : d.proposed())
                is[p.id] = &p;
            std::set<std::string> ids;
            for (const auto &[id, p] : was)
                ids.insert(id);
            for (const auto &[id, p] : is)
                ids.insert(id);
            const std::set<std::string> inScope = [&] {
                std::set<std::string> scope(listed.begin(), listed.end());
                for (const std::string &id : (*d.state().sheets)[0].positionIDs)
                    scope.insert(id);
                return scope;
            }();

            OrganizationArchive reordered = d.archive;
            std::shuffle(reordered.planning->baseline.organization.positions.begin(),
                         reordered.planning->baseline.organization.positions.end(), random);
            std::vector<Position> &shuffled = reordered.planning->proposals.front().state.organization.positions;
            std::shuffle(shuffled.begin(), shuffled.end(), random);

            for (const std::string &sheetID : {std::string(), std::string("S")}) {
                const std::vector<ProposalChange> actual = d.planning().changes(d.proposalID, sheetID);
                std::vector<std::tuple<std::string, ProposalChangeKind, std::optional<Position>, std::optional<Position>>>
                    expected;
                for (const std::string &id : ids) {
                    const Position *before = was.contains(id) ? was[id] : nullptr;
                    const Position *after = is.contains(id) ? is[id] : nullptr;
                    if ((before && after && *before == *after) || (!sheetID.empty() && !inScope.contains(id)))
                        continue;
                    const ProposalChangeKind kind = !before ? ProposalChangeKind::added
                                                    : !after ? ProposalChangeKind::deleted
                                                    : before->managerID != after->managerID ? ProposalChangeKind::moved
                                                                                            : ProposalChangeKind::modified;
                    expected.emplace_back(id, kind, before ? std::optional(*before) : std::nullopt,
                                          after ? std::optional(*after) : std::nullopt);
                }
                ASSERT_EQ(actual.size(), expected.size()) << "seed " << seed << " step " << step;
                for (size_t k = 0; k < actual.size(); ++k) {
                    const auto &[id, kind, before, after] = expected[k];
                    EXPECT_EQ(actual[k].positionID, id) << "seed " << seed << " step " << step;
                    EXPECT_EQ(actual[k].kind, kind) << id;
                    EXPECT_EQ(actual[k].before, before) << id;
                    EXPECT_EQ(actual[k].after, after) << id;
                }
                ASSERT_EQ(reordered.planning->changes(d.proposalID, sheetID), actual)
                    << "seed " << seed << " step " << step;
            }
        }
    }
}

TEST(ProposalChanges, KindLabels)
{
    EXPECT_STREQ(proposalChangeKindLabel(ProposalChangeKind::added), "Added");
    EXPECT_STREQ(proposalChangeKindLabel(ProposalChangeKind::deleted), "Deleted");
    EXPECT_STREQ(proposalChangeKindLabel(ProposalChangeKind::moved), "Moved");
    EXPECT_STREQ(proposalChangeKindLabel(ProposalChangeKind::modified), "Edited");
}

// The extremes take an exponent, as the cards write them: the smallest FTE a document can
// hold is no line of 326 digits in a report.
TEST(FTEText, ShortestDecimalWithOneZeroForWholeNumbers)
{
    const std::vector<std::pair<double, std::string>> cases = {
        {1, "1.0"},      {0.5, "0.5"},         {0.25, "0.25"}, {12, "12.0"},
        {0.1 + 0.2, "0.30000000000000004"}, {0.0001, "0.0001"}, {1e-7, "1e-07"}, {5e-324, "5e-324"}, {1e21, "1e+21"},
    };
    for (const auto &[value, text] : cases)
        EXPECT_EQ(fteText(value), text) << value;
}
