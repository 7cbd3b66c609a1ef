#include "core/chart/chart_layout.h"
#include "core/model/organization.h"
#include "core/model/print_settings.h"

#include "chart_test_support.h"

#include <gtest/gtest.h>

#include <random>
#include <variant>

using ChartTest::position;

namespace {

using Outcome = std::variant<ChartLayout, std::string>;

template <typename Layout>
Outcome outcome(Layout layout)
{
    try {
        return layout();
    } catch (const OrganizationError &error) {
        return error.message();
    }
}

int below(std::mt19937 &random, size_t n)
{
    return int(random() % std::max<size_t>(n, 1));
}

// Schools and offices: a few levels, some managers with many leaves, some with several
// reporting children, so that stacks, side columns and row wraps all arise.
Organization randomOrganization(std::mt19937 &random)
{
    Organization org;
    const int count = 20 + below(random, 50);
    for (int i = 0; i < count; ++i) {
        Position p = position("P" + std::to_string((i * 7919) % 1000 + 1000));
        if (i > 0 && random() % 25) {
            const int manager = random() % 3 ? below(random, size_t(std::min(i, 1 + i / 4))) : below(random, size_t(i));
            p.managerID = org.positions[size_t(manager)].id;
            p.isAssistant = random() % 12 == 0;
        }
        if (i > 2 && random() % 10 == 0)
            p.dottedManagerIDs.push_back(org.positions[size_t(below(random, size_t(i)))].id);
        if (random() % 6 == 0)
            p.siblingOrder = below(random, 5) - 2;
        org.positions.push_back(std::move(p));
    }
    std::shuffle(org.positions.begin(), org.positions.end(), random);
    return org;
}

Position &any(Organization &org, std::mt19937 &random)
{
    return org.positions[size_t(below(random, org.positions.size()))];
}

// One edit of the kinds a window makes, and some it refuses (a cycle); or a return to an
// earlier organization, as undo gives.
void edit(Organization &org, std::vector<Organization> &history, ChartPrintSettings &settings, std::mt19937 &random)
{
    history.push_back(org);
    if (org.positions.empty()) {
        org.positions.push_back(position("Top"));
        return;
    }
    Position &p = any(org, random);
    const std::string other = any(org, random).id;
    switch (random() % 13) {
    case 0:
        if (other != p.id)
            p.managerID = other; // may close a cycle
        break;
    case 1: p.isAssistant = !p.isAssistantPosition(); break;
    case 2: p.siblingOrder = below(random, 5) - 2; break;
    case 3:
        if (other != p.id)
            p.dottedManagerIDs.push_back(other);
        break;
    case 4: p.dottedManagerIDs.clear(); break;
    case 5: {
        // Deleted; its reports move up to its manager.
        const std::string id = p.id;
        const std::optional<std::string> manager = p.managerID;
        std::erase_if(org.positions, [&](const Position &q) { return q.id == id; });
        for (Position &q : org.positions) {
            if (q.managerID == id)
                q.managerID = manager;
            std::erase(q.dottedManagerIDs, id);
        }
        break;
    }
    case 6:
        for (int k = 0, n = 1 + below(random, 3); k < n; ++k)
            org.positions.push_back(position("N" + std::to_string(random() % 100000), other));
        break;
    case 7: {
        // A new id for the same place.
        const std::string id = p.id, renamed = "R" + std::to_string(random() % 100000);
        for (Position &q : org.positions) {
            if (q.id == id)
                q.id = renamed;
            if (q.managerID == id)
                q.managerID = renamed;
            std::replace(q.dottedManagerIDs.begin(), q.dottedManagerIDs.end(), id, renamed);
        }
        break;
    }
    case 8:
        if (p.sharedReportRootID)
            p.sharedReportRootID.reset();
        else if (random() % 3 == 0)
            p.sharedReportRootID = p.id;
        break;
    case 9:
    case 10: org = history[size_t(below(random, history.size()))]; break;
    case 11: settings.showPayLevel = !settings.showPayLevel; break;
    case 12:
        if (random() % 4 == 0)
            settings.pageBalancedLayout = !settings.pageBalancedLayout;
        break;
    }
}

} // namespace

// A memo that laid out every earlier state gives exactly what a fresh layout gives, point
// for point, refusals included, in both modes, as cards come, go, move and return.
TEST(ChartLayoutMemo, LayoutAfterEachEditEqualsAFreshLayout)
{
    for (unsigned seed = 1; seed <= 12; ++seed) {
        std::mt19937 random(seed);
        Organization org = randomOrganization(random);
        ChartPrintSettings settings;
        settings.pageBalancedLayout = seed % 2 == 0;
        std::vector<Organization> history;
        ChartLayoutMemo memo;
        for (int step = 0; step < 120; ++step) {
            const Outcome expected = outcome([&] { return settings.layout(org); });
            ASSERT_EQ(outcome([&] { return memo.layout(org, settings); }), expected)
                << "seed " << seed << ", step " << step;
            edit(org, history, settings, random);
        }
    }
}

// The same through build() with callouts set directly, and the card-height and ratio checks.
TEST(ChartLayoutMemo, BuildAfterEachEditEqualsBuild)
{
    const std::optional<double> ratios[] = {std::nullopt, 1.0, 720.0 / 486.0, 0.6};
    for (unsigned seed = 20; seed < 28; ++seed) {
        std::mt19937 random(seed);
        Organization org = randomOrganization(random);
        ChartPrintSettings unused;
        std::vector<Organization> history;
        ChartLayoutMemo memo;
        for (int step = 0; step < 100; ++step) {
            const std::optional<double> ratio = ratios[(seed + size_t(step / 40)) % 4];
            const double height = step % 37 == 36 ? 100 : 112;
            const Outcome expected = outcome([&] { return ChartLayout::build(org, ratio, height); });
            ASSERT_EQ(outcome([&] { return memo.build(org, ratio, height); }), expected)
                << "seed " << seed << ", step " << step;
            edit(org, history, unused, random);
            if (!org.positions.empty() && random() % 4 == 0) {
                Position &p = any(org, random);
                p.reportingCallout = p.reportingCallout ? std::nullopt : std::optional(ReportingCallout{});
            }
        }
    }
}
