#include "core/document/organization_archive.h"

#include <algorithm>
#include <cstdint>
#include <limits>

namespace {

int64_t numberAfter(int64_t number)
{
    if (number == std::numeric_limits<int64_t>::max())
        throw OrganizationError::invalid(
            "The version number cannot go any higher. Set a baseline to start a new version history.");
    return number + 1;
}

// Follows the last version in the list, not the highest number: a history read from a file
// may hold its numbers in any order.
int64_t nextNumber(const std::vector<Shared<OrganizationRevision>> &revisions)
{
    return revisions.empty() ? 1 : numberAfter(revisions.back()->number);
}

OrganizationRevision versionOf(const OrganizationArchive &archive, std::string note, int64_t number)
{
    OrganizationRevision revision;
    revision.id = makeUUID();
    revision.number = number;
    revision.date = Date::now();
    revision.note = std::move(note);
    revision.name = archive.name;
    const FrozenOrganization *last = !archive.sharingHint.isEmpty() ? &archive.sharingHint
                                     : archive.revisions.empty()    ? nullptr
                                                                    : &archive.revisions.back()->organization;
    revision.organization = FrozenOrganization(archive.organization, last);
    revision.pageTitle = archive.pageTitle;
    revision.pageSubtitle = archive.pageSubtitle;
    revision.sheets = archive.sheets;
    revision.printSettings = archive.printSettings;
    revision.groups = archive.groups;
    return revision;
}

} // namespace

void OrganizationArchive::checkpoint(const std::string &note)
{
    organization.validate();
    checkpointBeforeEdit(note);
}

void OrganizationArchive::checkpointBeforeEdit(const std::string &note)
{
    Shared<OrganizationRevision> revision = versionOf(*this, note, nextNumber(revisions));
    revisions.push_back(std::move(revision));
}

void OrganizationArchive::restore(const std::string &id)
{
    requireCurrentEditing();
    auto found = std::find_if(revisions.begin(), revisions.end(),
                              [&](const Shared<OrganizationRevision> &revision) { return revision->id == id; });
    if (found == revisions.end())
        throw OrganizationError::invalid("That version is no longer available.");
    const Shared<OrganizationRevision> version = *found;
    Organization restored = version->organization.toOrganization();
    restored.validate();

    organization.validate();
    const std::string number = std::to_string(version->number);
    Shared<OrganizationRevision> before = versionOf(*this, "Before restoring version " + number, nextNumber(revisions));
    OrganizationRevision after = *version; // shares the version's frozen organization
    after.id = makeUUID();
    after.number = numberAfter(before->number);
    after.date = Date::now();
    after.note = "Restored version " + number;
    std::string restoredName = version->name;
    std::optional<std::string> restoredTitle = version->pageTitle;
    std::optional<std::string> restoredSubtitle = version->pageSubtitle;
    std::optional<std::vector<OrganizationSheet>> restoredSheets = version->sheets;
    std::optional<std::vector<PositionGroup>> restoredGroups = version->groups;
    Shared<OrganizationRevision> afterShared(std::move(after));
    revisions.reserve(revisions.size() + 2);

    // Nothing below throws.
    revisions.push_back(std::move(before));
    revisions.push_back(std::move(afterShared));
    name = std::move(restoredName);
    organization = std::move(restored);
    pageTitle = std::move(restoredTitle);
    pageSubtitle = std::move(restoredSubtitle);
    sheets = std::move(restoredSheets);
    printSettings = version->printSettings;
    groups = std::move(restoredGroups);
}

std::size_t OrganizationArchive::setBaseline()
{
    organization.validate();
    const std::size_t count = revisions.size();
    revisions.clear();
    return count;
}
