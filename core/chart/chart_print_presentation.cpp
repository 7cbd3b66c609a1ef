#include "core/chart/chart_print_presentation.h"

#include "core/model/print_settings.h"
#include "core/support/text.h"

#include <algorithm>
#include <map>
#include <string_view>
#include <utility>

namespace {

// What two peers must share to be drawn as one card: everything shown on it except the
// employee, the id, the FTE and the letter case and surrounding blanks of the job title.
struct GroupKey {
    std::string title;
    std::optional<ProposalChangeKind> proposalChange;
    std::optional<std::string> payLevel;
    std::optional<std::string> sharedReportRootID;
    std::optional<std::string> explicitGroupID;
    std::optional<std::string> managerID;
    std::vector<std::string> dottedManagers;
    std::vector<std::string> reportingManagers;
    bool vacant = false;
    bool assistant = false;
    int64_t siblingOrder = 0;
    std::string department;
    std::string location;
    std::vector<std::pair<std::string, double>> schoolAssignments;

    auto operator<=>(const GroupKey &) const = default;
};

GroupKey groupKey(const Position &p, bool showPayLevel)
{
    GroupKey key;
    key.title = Text::lowercased(Text::trimmed(p.jobTitle()));
    key.proposalChange = p.proposalChange;
    if (showPayLevel)
        key.payLevel = p.title;
    key.sharedReportRootID = p.sharedReportRootID;
    if (p.groupMemberCount)
        key.explicitGroupID = p.id;
    key.managerID = p.managerID;
    key.dottedManagers = p.dottedManagerIDs;
    std::sort(key.dottedManagers.begin(), key.dottedManagers.end());
    key.dottedManagers.erase(std::unique(key.dottedManagers.begin(), key.dottedManagers.end()),
                             key.dottedManagers.end());
    if (p.reportingCallout) {
        for (const PrimaryManagerReference &m : p.reportingCallout->managers)
            key.reportingManagers.push_back(m.positionID);
        std::sort(key.reportingManagers.begin(), key.reportingManagers.end());
    }
    key.vacant = !p.employee.has_value();
    key.assistant = p.isAssistantPosition();
    key.siblingOrder = p.siblingOrder.value_or(0);
    key.department = p.department;
    key.location = p.location;
    for (const SchoolAssignment &row : p.schoolAssignments)
        key.schoolAssignments.push_back({row.school, row.fte});
    std::sort(key.schoolAssignments.begin(), key.schoolAssignments.end());
    return key;
}

class TitleCollapser {
public:
    TitleCollapser(const Organization &org, const ChartPrintSettings &settings, ChartPrintPresentation &result)
        : m_org(org), m_settings(settings), m_result(result)
    {
        for (size_t i = 0; i < org.positions.size(); ++i) {
            const auto &manager = org.positions[i].managerID;
            m_reports[manager ? std::string_view(*manager) : std::string_view()].push_back(i);
        }
    }

    void run()
    {
        std::vector<size_t> roots = reportsOf("");
        sortByID(roots);
        // Depth first, each card before the cards below it, without recursion.
        for (auto root = roots.rbegin(); root != roots.rend(); ++root)
            m_work.push_back({{*root}, std::nullopt});
        while (!m_work.empty()) {
            Visit visit = std::move(m_work.back());
            m_work.pop_back();
            this->visit(std::move(visit));
        }
        addDottedLines();
    }

private:
    struct Visit {
        std::vector<size_t> members;
        std::optional<std::string> parentCard;
    };

    const std::vector<size_t> &reportsOf(std::string_view id) const
    {
        static const std::vector<size_t> none;
        auto found = m_reports.find(id);
        return found == m_reports.end() ? none : found->second;
    }

    void sortByID(std::vector<size_t> &list) const
    {
        std::sort(list.begin(), list.end(),
                  [&](size_t a, size_t b) { return m_org.positions[a].id < m_org.positions[b].id; });
    }

    void visit(Visit v)
    {
        sortByID(v.members);
        const Position &representative = m_org.positions[v.members.front()];
        const std::string cardID = representative.id;
        int64_t count = 0, vacant = 0;
        double fte = 0;
        for (size_t i : v.members) {
            const Position &p = m_org.positions[i];
            m_result.positionIDs[p.id] = cardID;
            count += p.groupMemberCount.value_or(1);
            if (!p.employee && !p.groupMemberCount)
                ++vacant;
            fte += p.fte;
        }
        m_result.counts[cardID] = count;
        m_result.vacantCounts[cardID] = vacant;

        Position card = representative;
        card.employee.reset();
        card.managerID = v.parentCard;
        card.dottedManagerIDs.clear();
        card.schoolAssignments.clear();
        card.fte = fte;
        m_result.organization.positions.push_back(std::move(card));
        m_members.push_back(v.members);

        std::vector<size_t> children;
        for (size_t i : v.members) {
            const auto &reports = reportsOf(m_org.positions[i].id);
            children.insert(children.end(), reports.begin(), reports.end());
        }
        sortByID(children);

        std::vector<std::vector<size_t>> groups;
        if (m_settings.combineMatchingTitles) {
            // Children are in id order, so groups come out ordered by their smallest id.
            std::map<GroupKey, size_t> groupOf;
            for (size_t child : children) {
                auto [it, added] = groupOf.emplace(groupKey(m_org.positions[child], m_settings.showPayLevel),
                                                   groups.size());
                if (added)
                    groups.emplace_back();
                groups[it->second].push_back(child);
            }
        } else {
            for (size_t child : children)
                groups.push_back({child});
        }
        for (auto group = groups.rbegin(); group != groups.rend(); ++group)
            m_work.push_back({std::move(*group), cardID});
    }

    void addDottedLines()
    {
        auto &cards = m_result.organization.positions;
        for (size_t c = 0; c < cards.size(); ++c) {
            Position &card = cards[c];
            std::vector<std::string> dotted;
            for (size_t i : m_members[c]) {
                for (const std::string &m : m_org.positions[i].dottedManagerIDs) {
                    auto found = m_result.positionIDs.find(m);
                    if (found == m_result.positionIDs.end())
                        continue;
                    if (found->second == card.id || (card.managerID && found->second == *card.managerID))
                        continue;
                    dotted.push_back(found->second);
                }
            }
            std::sort(dotted.begin(), dotted.end());
            dotted.erase(std::unique(dotted.begin(), dotted.end()), dotted.end());
            card.dottedManagerIDs = std::move(dotted);
        }
    }

    const Organization &m_org;
    const ChartPrintSettings &m_settings;
    ChartPrintPresentation &m_result;
    std::unordered_map<std::string_view, std::vector<size_t>> m_reports;
    std::vector<Visit> m_work;
    std::vector<std::vector<size_t>> m_members; // by card, in result order
};

} // namespace

ChartPrintPresentation::ChartPrintPresentation(const Organization &input, const ChartPrintSettings &settings)
    : ChartPrintPresentation((input.validate(), input), settings, Validated{})
{
}

ChartPrintPresentation::ChartPrintPresentation(Organization input, const ChartPrintSettings &settings, Validated)
{
    Organization org = std::move(input).withReportingCallouts();
    if (!settings.hideNames) {
        organization = std::move(org);
        countCardsShownByName();
        return;
    }
    TitleCollapser(org, settings, *this).run();
    organization.validate();
}

void ChartPrintPresentation::countCardsShownByName()
{
    positionIDs.reserve(organization.positions.size());
    vacantCounts.reserve(organization.positions.size());
    for (const Position &p : organization.positions) {
        if (p.groupMemberCount)
            counts[p.id] = *p.groupMemberCount;
        positionIDs[p.id] = p.id;
        vacantCounts[p.id] = p.employee ? 0 : 1;
    }
}
