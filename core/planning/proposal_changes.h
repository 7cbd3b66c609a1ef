#pragma once

#include "core/model/organization.h"

#include <optional>
#include <string>
#include <vector>

// "Added", "Deleted", "Moved" and "Edited": the kind as the user reads it.
const char *proposalChangeKindLabel(ProposalChangeKind kind);

// How one position of a proposal differs from the locked baseline. Computed, never stored.
struct ProposalChange {
    std::string positionID;
    ProposalChangeKind kind = ProposalChangeKind::modified;
    std::optional<Position> before; // the baseline position; absent when added
    std::optional<Position> after;  // the proposal position; absent when deleted
    std::vector<std::string> details;

    bool operator==(const ProposalChange &) const = default;
};
