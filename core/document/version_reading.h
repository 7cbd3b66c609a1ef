#pragma once

#include "core/document/arriving_bytes.h"
#include "core/document/organization_archive.h"

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

// The saved versions of a document file, read on several threads. A fast path only: it
// answers nothing whenever it is not sure, and the one-pass reader then reads the file and
// reports any fault, so every message is the one-pass reader's. Each piece is read under the
// one-pass reader's rules (JsonRead::parsePart): a NUL byte or a byte-order mark in a piece
// fails it, as it fails the whole text.
namespace VersionReading {

// Arrays read apart, each from its '[' to its ']', in the order of the text.
using Spans = std::vector<std::pair<std::size_t, std::size_t>>;

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
// not read again. `whileDecoding` runs on this thread once the scan has ended, while helpers
// decode, given the lists read apart (the organization's only when it was found), to read
// the rest of the text. It returns false to give up. Nothing when unsure, when there
// are fewer than two versions, when anything read apart does not read or `whileDecoding`
// gives up; `malformed`, when given, is then set when the text is sure to be refused (see
// JsonArrayScan::findArrays). Helper threads start only once the scan finds a piece to hand
// out. Throws ArrivingBytes::Abandoned.
std::optional<Versions> read(ArrivingBytes &bytes, const std::function<bool(const Spans &readApart)> &whileDecoding,
                             bool *malformed = nullptr);

} // namespace VersionReading
