#include "core/document/organization_archive.h"

#include <tuple>

namespace {

const char *const lockedMessage =
    "Current organization is locked. Open Planning & Proposals to edit a named proposal instead.";

} // namespace

OrganizationArchive OrganizationArchive::make(std::string name, Organization organization)
{
    OrganizationArchive archive;
    archive.name = std::move(name);
    archive.organization = std::move(organization);
    return archive;
}

void OrganizationArchive::requireCurrentEditing() const
{
    if (planning && planning->isLocked)
        throw OrganizationError::invalid(lockedMessage);
}

bool OrganizationArchive::operator==(const OrganizationArchive &other) const
{
    const auto quick = [](const OrganizationArchive &a) {
        return std::tuple(a.revisions.size(), a.organization.positions.size(), a.planning.has_value(),
                          a.planning && a.planning->isLocked, a.planning ? a.planning->proposals.size() : 0,
                          a.sheets ? a.sheets->size() : 0, a.groups ? a.groups->size() : 0);
    };
    if (quick(*this) != quick(other))
        return false;
    return std::tie(name, organization, pageTitle, pageSubtitle, sheets, printSettings, groups, revisions, planning) ==
           std::tie(other.name, other.organization, other.pageTitle, other.pageSubtitle, other.sheets,
                    other.printSettings, other.groups, other.revisions, other.planning);
}
