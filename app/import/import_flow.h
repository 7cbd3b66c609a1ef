#pragma once

#include "core/import/column_mapping.h"
#include "core/import/import_review.h"
#include "core/model/organization.h"
#include "core/support/import_sheet.h"

#include <QObject>
#include <QString>

#include <functional>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

class Dialogs;

// The state of one spreadsheet import, without widgets: the file or correction draft, the
// worksheet, header row, mode and manager references (step 1), the column mapping (step 2)
// and the corrected cells with their review (step 3). Reading a file runs off the main
// thread; everything else runs on it. The open document is never touched here: a reviewed
// organization goes to the apply action, which may refuse it.
class ImportFlow : public QObject {
    Q_OBJECT
public:
    enum class Step { file, columns, corrections };

    // Reads a chosen spreadsheet; runs on a worker thread. Throws OrganizationError.
    using Reader = std::function<std::vector<ImportSheet>(const QString &path)>;
    // Applies a reviewed organization in the given mode; throws OrganizationError to refuse.
    using ApplyAction = std::function<void(const Organization &, ImportMode)>;

    static constexpr int minimumHeight = 640;
    static constexpr int baseWidth = 960;

    // `reader` defaults to SpreadsheetReader::read.
    ImportFlow(Organization existing, ApplyAction apply, Dialogs &dialogs, Reader reader = {},
               QObject *parent = nullptr);
    ~ImportFlow() override;

    // The file chooser's filters, every extension the import reads first, then each kind on
    // its own; extensions match in any letter case. The chooser shows only their names.
    static QString fileFilter();

    Step step() const { return m_step; }
    bool canShow(Step step) const;
    void showStep(Step step);

    ImportMode mode() const { return m_mode; }
    void setMode(ImportMode mode);
    ManagerReferences references() const { return m_references; }
    void setReferences(ManagerReferences references);

    const std::vector<ImportSheet> &sheets() const { return m_sheets; }
    const std::string &sheetName() const { return m_sheetName; }
    // Resets the header row to 1 and suggests a new mapping.
    void setSheetName(const std::string &name);
    // 1-based; kept within 1 and the sheet's row count. Suggests a new mapping.
    int headerRow() const { return m_headerRow; }
    int headerRowLimit() const;
    void setHeaderRow(int row);

    const ImportMapping &mapping() const { return m_mapping; }
    std::vector<ImportColumnOption> columnOptions() const;
    std::string columnOptionID(ImportField field) const;
    // A hand-made choice: kept until the sheet or header row changes.
    void chooseColumn(ImportField field, std::string_view optionID);

    const QString &fileName() const { return m_fileName; }
    const std::optional<QString> &errorMessage() const { return m_errorMessage; }
    bool isLoading() const { return m_loading; }

    ImportRowFilter rowFilter() const { return m_rowFilter; }
    void setRowFilter(ImportRowFilter filter);
    bool isValidationExpanded() const { return m_validationExpanded; }
    void setValidationExpanded(bool expanded);

    // The first sheet named sheetName(), or null.
    const ImportSheet *sheet() const;
    std::vector<std::string> headers() const;
    // The longest of the header row and every row of the sheet; 0 without a sheet.
    int columnCount() const;
    // The review of the current state, computed at most once per change; null without a sheet.
    const ImportReview *review() const;
    // The 0-based rows the correction grid shows under the filter, ascending, and the held row.
    const std::vector<int> &shownRows() const;
    // A row whose cell editor is open stays shown, whatever the filter says, until released:
    // a keystroke that fixes its last error must not take the editor and the rest of the
    // typing with it. One row at a time; loading a file or choosing a sheet releases it.
    void holdRow(int row);
    void releaseRow(int row);
    std::optional<int> heldRow() const { return m_heldRow; }
    // The review's errors or warnings about one 0-based sheet row, in review order.
    const std::vector<std::string> &rowMessages(int row, ImportMessageKind kind) const;
    // "<rows> rows · <errors> errors · <warnings> warnings"; only the row count follows the filter.
    // Then the counts of position IDs and employee numbers that differ from stored ones only
    // by leading zeros ("differ only by leading zeros"), when there are any.
    QString countsText() const;
    // The file name and the worksheet, as step 3 heads its grid.
    QString caption() const;

    // A cell of the chosen sheet; empty outside it.
    QString cell(int row, int column) const;
    // Writes into the first sheet of the chosen name, padding a short row; outside the
    // sheet nothing changes. The mapping stays, even for a header cell.
    void setCell(int row, int column, const QString &text);

    // The width the window needs: 960, and in step 3 at least 168 per column plus 160.
    int minimumWidth() const;

    // The step's primary button: "Next: Match Columns", "Review Import" or the mode's action.
    QString primaryTitle() const;
    bool canPressPrimary() const;
    void pressPrimary();

    bool canChooseFile() const { return !m_loading; }
    // The file chooser, then load().
    void chooseFile();
    // Opens a correction draft or reads a spreadsheet in the background; ignored while a
    // file is loading.
    void load(const QString &path);
    // What a successful read does: opens on the "Template" sheet or the first one.
    void loadSheets(std::vector<ImportSheet> sheets);

    void applyImport();
    void saveDraft();
    void openInstructions();
    void saveTemplate();
    void close();

signals:
    // Signals come once per event-loop turn, after every change of that turn, so that
    // readers run the review once however many cells a turn changed.
    // Anything but the review's results changed.
    void stateChanged();
    // The review or the rows shown may have changed, or step 3 was entered.
    void reviewChanged();
    void widthChanged(int width);
    // An action or a read was refused; errorMessage() says why, perhaps in the very words it
    // already showed. Each refusal is news to the user. After stateChanged().
    void failed();
    void closeRequested();

private:
    struct ReadResult;
    struct RowMessages {
        std::vector<std::string> errors;
        std::vector<std::string> warnings;
    };

    void finishLoading(ReadResult result);
    void suggestMapping();
    void fail(const QString &message);
    void changed();
    void invalidateReview();
    void invalidateRows();
    void scheduleSignals();
    ImportSheet *editableSheet();

    Organization m_existing;
    ApplyAction m_apply;
    Dialogs &m_dialogs;
    Reader m_reader;

    Step m_step = Step::file;
    ImportMode m_mode = ImportMode::add;
    ManagerReferences m_references = ManagerReferences::employeeNumbers;
    std::vector<ImportSheet> m_sheets;
    std::string m_sheetName;
    int m_headerRow = 1;
    ImportMapping m_mapping;
    QString m_fileName;
    std::optional<QString> m_errorMessage;
    bool m_loading = false;
    ImportRowFilter m_rowFilter = ImportRowFilter::all;
    std::optional<int> m_heldRow;
    bool m_validationExpanded = true;
    int m_reportedWidth = 0;
    bool m_signalsScheduled = false;
    bool m_statePending = false;
    bool m_reviewPending = false;
    bool m_failurePending = false;

    mutable std::optional<ImportReview> m_review;
    mutable bool m_reviewValid = false;
    mutable std::unordered_map<int, RowMessages> m_rowMessages;
    mutable std::vector<int> m_shownRows;
    mutable bool m_rowsValid = false;
};
