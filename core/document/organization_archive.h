#pragma once

#include "core/document/frozen_organization.h"
#include "core/support/identifiers.h"
#include "core/model/organization.h"
#include "core/document/organization_sheet.h"
#include "core/document/planning.h"
#include "core/document/position_group.h"
#include "core/model/print_settings.h"
#include "core/support/shared_value.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <set>
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

class ArrivingBytes;
struct PositionEntryRequest;
struct QuickEntryRow;

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
    // Not content: positions frozen lately from this organization (by the undo history), which
    // a version saved now shares instead of copying every position; null when none.
    FrozenOrganization sharingHint;

    // A new document with only a name and an organization.
    static OrganizationArchive make(std::string name, Organization organization);

    // How decode reads the versions and the organization's positions. Both ways give the
    // same archive, or the same message, for every text.
    enum class Reading {
        automatic, // apart on helper threads when the document is large enough to gain from it
        onePass,   // on this thread, in one pass
        apart,     // apart on helper threads whatever the size
    };
    // Below this many bytes, starting and joining helper threads costs about what they save:
    // BM_DecodeBySize in bench/ measures both ways over sizes (on 8 busy cores and on 2, one
    // pass wins up to about 200 KB, helpers from about 300 KB; on an idle machine, helpers
    // win earlier but by well under a millisecond).
    static constexpr std::size_t apartFromBytes = 256 * 1024;
    // How `automatic` reads a document of `bytes` bytes: onePass or apart.
    static Reading automaticReading(std::size_t bytes);

    // Reads a document file's bytes: a bare organization ({"positions": [...]}) or a full
    // archive, then validates the organization, the planning state, every version's
    // organization and the version ids. Throws OrganizationError with the message the user
    // reads; malformed text is refused at its first fault (a NUL byte is one), without
    // waiting for the bytes after it. Versions are read one at a time, so a long history
    // never sits in memory as JSON. `readWith`, when given, is set to the reader that read
    // the document: apart only when the helpers did (a text they are not sure of is read in
    // one pass).
    static OrganizationArchive decode(std::string_view bytes, Reading reading = Reading::automatic,
                                      Reading *readWith = nullptr);
    // The same while the bytes are still being read; throws ArrivingBytes::Abandoned when
    // reading them fails.
    static OrganizationArchive decode(ArrivingBytes &bytes, Reading reading = Reading::automatic,
                                      Reading *readWith = nullptr);
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
    // As checkpoint, before an edit of the current organization: that is valid (whatever
    // changes it validates what it makes), so only the version is made. Linear compares.
    void checkpointBeforeEdit(const std::string &note);
    // Empties the history after validating the organization; returns how many versions went.
    std::size_t setBaseline();

    // Editing Current. Each tests the lock first, then its arguments; the destructive ones
    // then save a recovery version noted "Before ...". Each is linear in the positions
    // (plus the sheets' lists where it touches sheets).
    //
    // Whether an edit saves its recovery version. A proposal is edited through a throwaway
    // archive whose versions are dropped with it: it skips them, and with them the freezing
    // of every position.
    enum class RecoveryVersion { save, skip };
    //
    // The confirmation text for deleting a position; throws the deletion refusal.
    std::string positionDeletionWarning(const std::string &id, const std::string &currentSheetID) const;
    void makePositionVacant(const std::string &id, RecoveryVersion recovery = RecoveryVersion::save);
    // Replaces the first position with `position`'s id, then as replaceOrganization.
    void updatePosition(const Position &position);
    // The same for the position at `index`, which has `edited`'s id: validates only what
    // the replacement can break, with the messages validate() gives. No lock test.
    void replacePosition(size_t index, Position edited);
    // Validates and stores `organization`, then moves reports between charts as their
    // managers moved (reconcileSheetTransfers).
    void replaceOrganization(Organization organization);
    // Removes the position from the organization, every group and every chart.
    void deletePosition(const std::string &id, RecoveryVersion recovery = RecoveryVersion::save);
    // Takes the position off one chart; the organization is not changed.
    void removePosition(const std::string &id, const std::string &sheetID);
    // After the organization was replaced: a position whose primary manager changed leaves
    // the charts that list its old manager (with the part of its subtree they list) for the
    // charts that list its new one. Never throws. n log n in the positions and sheet lists.
    void reconcileSheetTransfers(const Organization &old);

    // Adds a position, or `quantity` numbered vacant copies, and lists the new ids on the
    // sheet `sheetID` when one is given. Returns the positions added.
    std::vector<Position> addPositions(const Position &position, int quantity,
                                       const std::optional<std::string> &sheetID);
    // Creates a presentation group of two or more peers. No recovery version.
    void addGroup(const std::string &name, const std::vector<std::string> &memberIDs);

    // Sheets (charts). What the chart with this id shows, with reporting callouts; the
    // whole organization when no sheet has the id. Never fails.
    Organization organizationIn(const std::string &sheetID) const;
    // The same made in `into`'s place: the whole organization is assigned over what `into`
    // held, so that a view following a large district edit by edit allocates next to nothing.
    void organizationIn(const std::string &sheetID, Organization &into) const;
    // A focused-department chart: the sheet's own positions, with those that report into
    // it only by dotted line drawn apart as shared reports. Never fails.
    Organization focusedDepartmentOrganization(const OrganizationSheet &sheet) const;
    // The sheets by name in the file-browser order, ties by id; empty when there are none.
    std::vector<OrganizationSheet> sortedSheets() const;
    // The first sheet with this id, or null.
    const OrganizationSheet *sheet(const std::string &sheetID) const;
    OrganizationSheet *sheet(const std::string &sheetID);
    void renameSheet(const std::string &sheetID, const std::string &name);
    // Appends the ids the sheet does not list yet, in ascending id order.
    void includePositions(const std::set<std::string> &ids, const std::string &sheetID);
    // The positions the sheet lists, as stored, in organization order; all positions when
    // no sheet has the id.
    std::vector<Position> memberPositions(const std::string &sheetID) const;
    // Adds one occupied position with the next employee number and lists it on the sheet.
    Position quickAdd(const std::string &name, const std::string &title, const std::string &department,
                      const std::optional<std::string> &managerID, const std::string &location,
                      const std::string &sheetID);

    // Entry paths. Each tests the lock first and leaves the archive as it was when it throws.
    //
    // Commits the quick-entry grid on the sheet `sheetID`: existing rows update their
    // positions, new rows add people or vacancies, and every manager text is resolved. All
    // rows or none: every problem is reported at once, one line each ("Row <n>: ..."). Saves
    // no recovery version; the caller does. Returns the positions created or updated, in
    // organization order. Linear in rows and positions, plus one validation.
    std::vector<Position> quickAdd(const std::vector<QuickEntryRow> &rows, const std::string &sheetID);
    // Applies one save of the position editor: a new entry (saving "Before adding positions")
    // or an edit of the position exactly as the editor loaded it (saving "Before editing
    // <job title>" unless nothing changes), placed on the sheet when asked. Returns the
    // positions saved. Linear.
    std::vector<Position> savePositionEntry(const PositionEntryRequest &request,
                                            const std::optional<std::string> &sheetID,
                                            RecoveryVersion recovery = RecoveryVersion::save);
    // Lists an existing position on a sheet, saving "Before including existing position on
    // chart" unless the sheet lists it already. Linear.
    void includeExistingPositionFromEntry(const std::string &positionID, const std::string &sheetID,
                                          RecoveryVersion recovery = RecoveryVersion::save);

    // Proposals. These edit a proposal's own state, never Current or the baseline; they need
    // a planning state, locked or not, and save no version. Each throws OrganizationError and
    // then leaves the archive as it was.
    //
    // Appends a proposal named `name` (trimmed, unique ignoring case) that starts as a copy of
    // the baseline; returns its id.
    std::string createProposal(const std::string &name);
    // Deletes a position with no reports from the proposal, its charts and its groups.
    void deleteProposalPosition(const std::string &id, const std::string &proposalID);
    void makeProposalPositionVacant(const std::string &id, const std::string &proposalID);
    // Brings a baseline position that the proposal lacks back as it was locked, keeping only the
    // managers the proposal still has, and on the proposal charts whose baseline copy listed it.
    void restoreProposalPosition(const std::string &id, const std::string &proposalID);
    // The position editor's save and include, run on a throwaway archive of the proposal's
    // content and stored back into the proposal once valid. A new entry may not take an id of
    // the baseline, even one the proposal deleted. Linear.
    std::vector<Position> saveProposalEntry(const PositionEntryRequest &request, const std::string &proposalID,
                                            const std::optional<std::string> &sheetID);
    void includeProposalPositionFromEntry(const std::string &positionID, const std::string &proposalID,
                                          const std::string &sheetID);

    // Every field counts. What differs after most edits (a version saved, the lock, a
    // position added or taken away) is looked at before the organizations are compared.
    bool operator==(const OrganizationArchive &other) const;
};
