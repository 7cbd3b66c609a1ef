#pragma once

#include "core/entry/quick_entry.h"
#include "core/entry/quick_entry_live_rows.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

// What a successful save hands back to the grid.
struct QuickEntrySaveResult {
    std::vector<Position> positions; // as the commit returned them, in its order
    std::unordered_set<std::string> chartPositionIDs; // what the chart lists after the save
};
// Saves every row at once; throws OrganizationError and then changes nothing.
using QuickEntryCommit = std::function<QuickEntrySaveResult(const std::vector<QuickEntryRow> &rows)>;

// The state of the quick-entry grid over one chart, without widgets: its rows, the baseline
// that tells unsaved changes, the cell rules, paste and save. Rows are addressed by their
// place in rows().
class QuickEntryGridModel {
public:
    enum class Field { payLevel, jobTitle, department, location };

    // `positions` is every position of the organization, `sheetPositions` the chart's own;
    // the chart's positions become rows in person order, followed by new rows up to eight
    // (at least one).
    QuickEntryGridModel(std::string sheetName, std::vector<Position> positions,
                        const std::vector<Position> &sheetPositions, std::string initialManager);
    // The manager pool points into the rows and positions: the model stays where it is made.
    QuickEntryGridModel(const QuickEntryGridModel &) = delete;
    QuickEntryGridModel &operator=(const QuickEntryGridModel &) = delete;

    const std::vector<QuickEntryRow> &rows() const { return m_rows; }
    const QuickEntryRow &row(size_t index) const { return m_rows.at(index); }
    // The save result or the last failure; empty at first.
    const std::string &message() const { return m_message; }
    // How many messages saves and pastes gave: the same words given again count anew, as
    // the same failure met again is news to the user.
    uint64_t messageCount() const { return m_messageCount; }
    // The row whose name field should take the keyboard focus.
    const std::optional<std::string> &focusedName() const { return m_focusedName; }
    // Whether saving would change something. Linear in the rows.
    bool hasChanges() const;

    // Cells. Each follows the cell's rule and leaves a value equal to the current one alone.
    void setVacant(size_t row, bool vacant);
    void setQuantity(size_t row, int quantity);
    // QTY as typed. Text that is not a whole number stays in the cell as typed and makes the
    // quantity 0, which the save refuses with the quantity message: nothing typed is dropped
    // or replaced by the last number that read.
    void setQuantityText(size_t row, std::string text);
    // What the QTY cell shows: the text typed into it, else the quantity.
    std::string quantityText(size_t row) const;
    void setName(size_t row, std::string name);
    void setPayLevel(size_t row, std::string title);
    void setJobTitle(size_t row, std::string jobTitle);
    void matchPayLevel(size_t row);
    void setDepartment(size_t row, std::string department);
    // May also bring the department of the manager the text names.
    void setManager(size_t row, std::string manager);
    void setLocation(size_t row, std::string location);

    bool canEditVacant(size_t row) const;
    bool canEditQuantity(size_t row) const;
    bool canEditName(size_t row) const { return !m_rows.at(row).vacant; }
    bool canRemove(size_t row) const { return !m_rows.at(row).isExisting(); }

    // The edit of one cell of `row` begins; cancelling it (Escape) puts the row back as it
    // was then, with whatever the typing brought along (a manager's department). Returns the
    // row put back, nothing when it is gone.
    void beginCellEdit(size_t row);
    std::optional<size_t> cancelCellEdit();

    // A new row with the defaults taken from the last row; it takes the focus.
    void appendRow();
    // Removes a new row; existing rows stay.
    void removeRow(size_t row);

    // Rows copied from a spreadsheet, as tab-separated text (nothing without clipboard
    // text). Untouched new rows make way for the pasted ones. A failure goes to message()
    // and leaves the rows. Returns whether the rows changed.
    bool paste(const std::optional<std::string> &clipboardText);
    // Hands every row to `commit`; on success the grid shows the saved positions that the
    // chart still lists, plus one new row, and that becomes the baseline. A failure goes to
    // message() and leaves everything else. Returns whether it saved.
    bool save(const QuickEntryCommit &commit);

    // The distinct trimmed values of a column over the grid and every position it does not
    // show, in file-browser order. Computed once per revision.
    const std::vector<std::string> &fieldOptions(Field field);
    // The manager options of one row: the grid's shared list without the row's own person.
    std::vector<std::string> managerOptions(size_t row);

    // "New person — IDs generated on save" or "Position <id> · Employee <number>".
    std::string rowCaption(size_t row) const;

    // QTY as typed: an optional sign and digits, saturating instead of overflowing so that
    // the commit refuses long numbers; nothing for other text.
    static std::optional<int> quantityFromText(std::string_view text);

private:
    QuickEntryRow &edit(size_t row);
    // A change of who can be a manager: rows added, removed or moved, a name or Vacant.
    void peopleChanged() { m_pool.reset(); }
    const QuickEntryLiveRows &pool();
    QuickEntryRow newRow() const;
    bool namesVacancy(std::string_view managerText) const;
    void mergeSaved(const std::vector<Position> &saved);
    void resetBaseline();
    void giveMessage(std::string message);

    std::string m_sheetName;
    std::string m_initialManager;
    // The organization's positions, each replaced by its latest saved copy.
    std::vector<Position> m_allPositions;
    std::unordered_map<std::string, size_t> m_allPositionIndex;
    std::vector<QuickEntryRow> m_rows;
    std::vector<QuickEntryRow> m_baseline;
    std::unordered_map<std::string, size_t> m_baselineIndex;
    std::string m_message;
    uint64_t m_messageCount = 0;
    std::optional<std::string> m_focusedName;
    // QTY texts as typed, by row id.
    std::unordered_map<std::string, std::string> m_quantityTexts;
    struct CellEdit {
        QuickEntryRow row;
        std::optional<std::string> quantityText;
    };
    std::optional<CellEdit> m_cellEdit;
    // Counts every change of the rows; option lists are recomputed when it moved.
    uint64_t m_revision = 0;

    struct FieldCache {
        uint64_t revision = UINT64_MAX;
        std::vector<std::string> options;
    };
    FieldCache m_fieldCaches[4];
    FieldCache m_managerCache;
    // The people a manager text is resolved among; built again after peopleChanged(), so
    // that a keystroke in a manager cell does not index 20,000 names.
    std::unique_ptr<QuickEntryLiveRows> m_pool;
};
