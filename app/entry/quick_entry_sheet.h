#pragma once

#include "app/entry/quick_entry_grid_model.h"

#include <QDialog>

class Dialogs;
class QLabel;
class QPushButton;
class QScrollArea;
class QuickEntryTableModel;
class QuickEntryTableView;

// The "Quick Entry — <chart>" sheet: a grid over one chart in which existing positions are
// edited and new people and vacancies typed or pasted, all saved at once or not at all.
//
// The opener passes the chart's name, every position of the organization, the chart's own
// positions, the manager text new rows start with, and `commit`, which on a copy of the
// document saves the version "Before spreadsheet edits", runs the quick-entry commit on
// the chart, puts the copy in place as one undo step, and returns the saved positions with
// the ids the chart lists afterwards; it throws OrganizationError (planning lock included)
// and then leaves the document as it was. Leaving with unsaved changes asks through
// `dialogs`.
class QuickEntrySheet : public QDialog {
    Q_OBJECT

public:
    QuickEntrySheet(const std::string &sheetName, std::vector<Position> positions,
                    const std::vector<Position> &sheetPositions, const std::string &initialManager,
                    QuickEntryCommit commit, Dialogs &dialogs, QWidget *parent = nullptr);
    ~QuickEntrySheet() override;

    QuickEntryGridModel &grid() { return m_grid; }
    const QuickEntryGridModel &grid() const { return m_grid; }
    QuickEntryTableView *table() const { return m_table; }
    QPushButton *saveButton() const { return m_save; }
    QString message() const;

    void appendRow();
    // Reads the clipboard's text as rows copied from a spreadsheet.
    void pasteRows();
    void saveChanges();
    // "Done", Escape and closing the window: asks before dropping unsaved changes.
    void reject() override;

protected:
    void showEvent(QShowEvent *event) override;

private:
    void refresh();
    // The grid's message, from the save or paste that gave it.
    void showMessage();

    QuickEntryGridModel m_grid;
    QuickEntryCommit m_commit;
    Dialogs &m_dialogs;
    QuickEntryTableModel *m_model;
    QuickEntryTableView *m_table;
    QScrollArea *m_messageArea;
    QLabel *m_message;
    QPushButton *m_save;
};
