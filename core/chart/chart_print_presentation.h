#pragma once

#include "core/model/organization.h"

#include <cstdint>
#include <string>
#include <unordered_map>

struct ChartPrintSettings;

// The cards a chart actually shows. With names shown every position is a card; with names
// hidden no card shows an employee, and with "Collapse to Position" matching peers under
// one manager become one card that stands for all of them.
struct ChartPrintPresentation {
    Organization organization; // one position per card; a card's id is its first member's
    std::unordered_map<std::string, int64_t> counts;            // card id -> positions behind it
    std::unordered_map<std::string, std::string> positionIDs;   // position id -> card id
    std::unordered_map<std::string, int64_t> vacantCounts;      // card id -> vacant positions behind it

    // Nothing to show: what views draw before any chart exists.
    ChartPrintPresentation() = default;
    static ChartPrintPresentation empty() { return {}; }

    // Throws the validation error of the organization, or of the result. Each position is
    // visited once, without recursion; peers are matched by hashing.
    ChartPrintPresentation(const Organization &organization, const ChartPrintSettings &settings);
    // As above, for an organization the caller has just validated.
    struct Validated {};
    ChartPrintPresentation(Organization organization, const ChartPrintSettings &settings, Validated);

    // With names shown every position of `organization`, callouts added, is a card of its
    // own: this fills the counts and ids from it. Apart from the constructors so that a
    // chart can lay the cards out meanwhile.
    void countCardsShownByName();

    bool operator==(const ChartPrintPresentation &) const = default;
};
