#pragma once

#include "core/document/organization_archive.h"

#include <optional>

// Whether closing a document must ask the user to save it.
namespace DocumentClosePolicy {

// `savedArchive` is the content last read from or written to the document's file, absent
// when the document was never saved. Only a never-saved document without positions,
// planning or versions closes silently; every other document prompts exactly when it
// differs from what was saved. Compares in memory: shared versions compare by identity
// first, so the check stays cheap for a long history.
bool needsSavePrompt(const OrganizationArchive &archive, const std::optional<OrganizationArchive> &savedArchive);

} // namespace DocumentClosePolicy
