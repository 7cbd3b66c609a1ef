#include "core/document/planning.h"

#include "core/document/organization_archive.h"
#include "core/support/text.h"

#include <unordered_set>

PlanningSnapshot PlanningSnapshot::make(const OrganizationArchive &archive)
{
    return PlanningSnapshot{archive.name,         archive.organization, archive.sheets,      archive.groups,
                            archive.printSettings, archive.pageTitle,    archive.pageSubtitle};
}

OrganizationArchive PlanningSnapshot::archive() const
{
    OrganizationArchive archive;
    assignArchive(archive);
    return archive;
}

void PlanningSnapshot::assignArchive(OrganizationArchive &archive) const
{
    archive.name = name;
    archive.organization = organization;
    archive.pageTitle = pageTitle;
    archive.pageSubtitle = pageSubtitle;
    archive.sheets = sheets;
    archive.printSettings = printSettings;
    archive.groups = groups;
    archive.revisions.clear();
    archive.planning.reset();
    archive.sharingHint = FrozenOrganization();
}

void OrganizationPlanning::validate() const
{
    baseline.organization.validate();
    std::unordered_set<std::string_view> ids;
    for (const OrganizationProposal &proposal : proposals) {
        if (!ids.insert(proposal.id).second)
            throw OrganizationError::invalid("Proposal identifiers must be unique.");
    }
    std::unordered_set<std::string> names;
    for (const OrganizationProposal &proposal : proposals) {
        const std::string name = Text::trimmed(proposal.name);
        if (name.empty() || !names.insert(Text::lowercased(name)).second)
            throw OrganizationError::invalid("Every proposal needs a unique, nonempty name.");
        proposal.state.organization.validate();
    }
}

void OrganizationArchive::lockForPlanning()
{
    organization.validate();
    if (!planning) {
        planning = OrganizationPlanning{Date::now(), PlanningSnapshot::make(*this), true, {}};
        return;
    }
    if (!(PlanningSnapshot::make(*this) == planning->baseline))
        throw OrganizationError::invalid(
            "Current has changed since this planning baseline. Existing proposals remain tied to the original "
            "lock; use a separate organization file for a new planning cycle.");
    planning->isLocked = true;
}

void OrganizationArchive::unlockPlanningCurrent()
{
    if (planning)
        planning->isLocked = false;
}
