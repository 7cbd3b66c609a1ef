#include "core/document/organization_sheet.h"

#include "core/support/identifiers.h"

OrganizationSheet OrganizationSheet::make(std::string name, std::vector<std::string> positionIDs)
{
    return OrganizationSheet{makeUUID(), std::move(name), std::move(positionIDs), {}, {}, {}, {}};
}
