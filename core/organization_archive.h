#pragma once

#include "core/frozen_organization.h"
#include "core/identifiers.h"
#include "core/organization.h"
#include "core/organization_sheet.h"
#include "core/planning.h"
#include "core/position_group.h"
#include "core/print_settings.h"
#include "core/shared_value.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// One saved version inside the document: the document's content at one moment, without the
// history and the planning state. Its organization shares unchanged positions with the
// versions before it.
struct OrganizationRevision {
    std::string id; // UUID, upper case
    int64_t number = 0;
    Date date;
    std::string note;
    std::string name;
    FrozenOrganization organization;
    std::optional<std::string> pageTitle;
    std::optional<std::string> pageSubtitle;
    std::optional<std::vector<OrganizationSheet>> sheets;
    std::optional<ChartPrintSettings> printSettings;
    std::optional<std::vector<PositionGroup>> groups;

    bool operator==(const OrganizationRevision &) const = default;
};

// The document: what one window edits and saves.
//
// Every operation below that changes the archive leaves it exactly as it was when it
// throws, saved versions included. Operations on Current refuse first while planning has
// locked it.
struct OrganizationArchive {
    std::string name = "Untitled Organization";
    Organization organization;
    std::optional<std::string> pageTitle;
    std::optional<std::string> pageSubtitle;
    std::optional<std::vector<OrganizationSheet>> sheets; // absent: only the whole organization is shown
    std::optional<ChartPrintSettings> printSettings;
    std::optional<std::vector<PositionGroup>> groups;
    // Oldest first. Versions are shared between copies of the archive, so copying a document
    // with a long history stays cheap; a version is never changed once saved.
    std::vector<Shared<OrganizationRevision>> revisions;
    std::optional<OrganizationPlanning> planning;

    // A new document with only a name and an organization.
    static OrganizationArchive make(std::string name, Organization organization);

    // Reads a document file's bytes: a bare organization ({"positions": [...]}) or a full
    // archive, then validates the organization, the planning state, every version's
    // organization and the version ids. Throws OrganizationError with the message the user
    // reads. Versions are read one at a time, so a long history never sits in memory as JSON.
    static OrganizationArchive decode(std::string_view bytes);
    // The file's bytes: validates the organization and the planning state, then writes
    // pretty-printed JSON with sorted keys. Throws OrganizationError; the same archive
    // always gives the same bytes.
    std::string encodeDocument() const;

    // The lock gate of Current: throws while planning has locked it.
    void requireCurrentEditing() const;
    // Locks Current for planning: the first lock freezes the baseline; a later lock succeeds
    // only while Current still equals that baseline. Throws OrganizationError.
    void lockForPlanning();
    // Lifts the lock; baseline and proposals stay. Never fails.
    void unlockPlanningCurrent();

    // Saved versions. checkpoint appends a version of the current content, numbered one past
    // the last version in the list; it validates the organization but does not test the
    // planning lock. Linear in the number of positions; the history itself is not copied.
    void checkpoint(const std::string &note);
    // Brings back the content of the version with this id, saving "Before restoring version N"
    // and "Restored version N" around it. Lock test first. Linear.
    void restore(const std::string &id);
    // Empties the history after validating the organization; returns how many versions went.
    std::size_t setBaseline();

    bool operator==(const OrganizationArchive &) const = default;
};
