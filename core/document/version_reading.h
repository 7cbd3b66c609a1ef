#pragma once

#include "core/document/arriving_bytes.h"
#include "core/document/organization_archive.h"

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// The saved versions of a document file, read on several threads. A fast path only: it
// answers nothing whenever it is not sure, and the one-pass reader then reads the file and
// reports any fault, so every message is the one-pass reader's.
namespace VersionReading {

// Where an array lies in a JSON text, and its elements' texts.
struct ArraySpans {
    std::size_t open = 0;  // the '['
    std::size_t close = 0; // the ']'
    std::vector<std::string_view> elements;
};

// The array that `path` names in `text`, one JSON object: the value of its key path[0], or
// of key path[1] inside that object, and so on. Found by following strings and brackets
// only, so nothing inside the array's elements is checked. Nothing when the text is not plain
// enough to be sure: not one object, a key along the way spelt with an escape or given twice,
// a value of the wrong kind, an empty element, an unterminated string. Linear in the text.
std::optional<ArraySpans> findArray(std::string_view text, const std::vector<std::string_view> &path);

struct Versions {
    std::vector<Shared<OrganizationRevision>> revisions;
    std::optional<std::string> invalidOrganization; // the oldest version's validation failure
    // The positions of the top-level "organization", when they were read apart.
    std::optional<Organization> organization;
};

// The versions in the top-level "revisions" array of the text `bytes`, each frozen sharing
// the unchanged positions of the one before, and each validated, and the positions of the
// top-level "organization". Both are decoded on several threads as soon as they have
// arrived; a position whose text is the text of the same position in the version before is
// not read again. `whileDecoding` runs on this thread once every byte has arrived, while
// helpers decode, with the rest of the text: the text with both lists emptied (the
// organization's only when it was found). It returns false to give up. Nothing when unsure,
// when there are fewer than two versions, when anything read apart does not read or
// `whileDecoding` gives up. Throws ArrivingBytes::Abandoned.
std::optional<Versions> read(ArrivingBytes &bytes, const std::function<bool(const std::string &rest)> &whileDecoding);

} // namespace VersionReading
