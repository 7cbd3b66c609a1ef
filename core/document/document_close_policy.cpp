#include "core/document/document_close_policy.h"

namespace DocumentClosePolicy {

bool needsSavePrompt(const OrganizationArchive &archive, const std::optional<OrganizationArchive> &savedArchive)
{
    // An untouched new document has nothing to lose. A saved one emptied of its positions,
    // or one holding versions, may well have: it is compared like any other.
    const bool untouchedNew = !savedArchive && archive.organization.positions.empty() && !archive.planning &&
                              archive.revisions.empty();
    if (untouchedNew)
        return false;
    if (!savedArchive)
        return true;
    return !(archive == *savedArchive);
}

} // namespace DocumentClosePolicy
