#include "core/document/organization_archive.h"

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
