#pragma once

#include "core/model/organization.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

class QuickEntryLiveRows;

// One row of the quick-entry grid: an existing position edited in place, or a new person
// or vacancy to add. Never stored in the document.
//
// A manager cell holds a person's name, a bare position id, or a manager option
// "<name> — <job title> [<key>]" whose bracketed key (a position id, or "draft:" and the
// UUID of a new row) identifies the person when the text comes back.
struct QuickEntryRow {
    std::string id; // UUID, new for every row made
    std::string name;
    bool vacant = false;
    int quantity = 1; // more than 1 only for new vacancies; checked at commit
    std::string title; // the pay level
    std::optional<std::string> customJobTitle; // absent: the job title follows the pay level
    std::string department;
    bool departmentWasEdited = false;
    std::optional<std::string> suggestedDepartment; // last department copied from a chosen manager
    std::string manager;
    std::string location;
    // The position exactly as it stood when the row was made; absent for a new row. The
    // commit refuses the row when the stored position no longer equals it.
    std::optional<Position> originalPosition;

    // An existing row; its manager cell starts as the bare manager id.
    explicit QuickEntryRow(const Position &position);
    // A new row.
    QuickEntryRow(std::string department, std::string manager, std::string location);

    const std::string &jobTitle() const { return customJobTitle ? *customJobTitle : title; }
    // The job title stays custom from now on, even when equal to the pay level or empty.
    void setJobTitle(std::string value) { customJobTitle = std::move(value); }
    bool jobTitleFollowsPayLevel() const { return !customJobTitle.has_value(); }
    void usePayLevelForJobTitle() { customJobTitle.reset(); }
    bool isExisting() const { return originalPosition.has_value(); }

    // A hand edit of the department: the department no longer follows the manager.
    void setDepartment(std::string value);

    // The original position's id, or "draft:" + the row's id for a new row.
    std::string key() const;
    // The row as a manager option: "<trimmed name> — <job title> [<key>]".
    std::string managerChoice() const;

    // Stores the manager text and, when it names exactly one live person whose department
    // is not empty, copies that department unless the user typed one of their own (see
    // followsManagerDepartment). Linear in positions and rows.
    void selectManager(std::string text, const std::vector<Position> &positions,
                       const std::vector<QuickEntryRow> &rows);
    // The same against a prepared pool, for callers that select many managers at once.
    void selectManager(std::string text, const QuickEntryLiveRows &pool);

    // Rows pasted from a spreadsheet: tab-separated, no header; six cells are Name, Pay
    // Level, Job Title, Department, Manager, Location, one to five the older form without
    // Job Title. Lines whose cells are all empty are dropped. Throws OrganizationError for
    // malformed quoting, an empty text, or any line of seven or more cells.
    static std::vector<QuickEntryRow> pasted(std::string_view text);

    // Every position once, as its grid row (with unsaved edits) or as a fresh row, followed
    // by the grid's new rows: the pool managers are chosen from.
    static std::vector<QuickEntryRow> liveRows(const std::vector<Position> &positions,
                                               const std::vector<QuickEntryRow> &rows);

    // The manager options offered in `excluding`'s Manager cell: live people other than
    // that row (and other rows for its position), people who already have reports first,
    // then in file-browser order of their option text. O(n log n) in positions and rows.
    static std::vector<std::string> managerOptions(const std::vector<Position> &positions,
                                                   const std::vector<QuickEntryRow> &rows,
                                                   const QuickEntryRow &excluding);

    bool operator==(const QuickEntryRow &) const = default;

private:
    bool followsManagerDepartment(const QuickEntryLiveRows &pool) const;
};
