#pragma once

#include <QObject>
#include <QPointer>
#include <QString>
#include <QToolBar>

#include <functional>

class ChartSearchPopup;
class ChartView;
class ChartWindow;
class QAction;
class QBoxLayout;
class QHBoxLayout;
class QLabel;
class QLayout;
class QLineEdit;
class QMenu;
class QPushButton;
class QToolButton;
class QWidget;
struct OrganizationArchive;

// What the header and toolbar commands depend on, read from the window once per change.
struct ChartCommandInput {
    bool canEdit = true;      // Current is not locked by planning
    bool chartShown = false;  // a chart is shown, not the entire organization
    bool hasSheets = false;
    bool hasSelection = false;
    bool searchBlank = true;  // the search text is empty after trimming
    // Whether the window has wired each dialog yet.
    bool canPrint = false;
    bool positionEditor = false;
    bool addExisting = false;
    bool quickEntry = false;
    bool groupEditor = false;
    bool spreadsheetImport = false;
    bool planning = false;
    bool operator==(const ChartCommandInput &) const = default;
};

// Which commands are enabled. Everything not listed (Sheets menu, export of the workbook,
// Open, Save, Print Guides, zoom and view commands, the chart picker) always is.
struct ChartCommandStates {
    bool rename = false;
    bool addExisting = false; // also "Add Existing Positions to Sheet…"
    bool spreadsheet = false;
    bool addPerson = false;
    bool newSheet = false;
    bool exportCurrentSheet = false;
    bool exportAllPDFs = false;
    bool groupEditor = false;
    bool find = false;
    bool planning = false;
    bool importSpreadsheet = false;
    bool importJSON = false;
    bool print = false;
    bool centerOnSelection = false;
    bool operator==(const ChartCommandStates &) const = default;
};

namespace ChartCommands {

ChartCommandStates states(const ChartCommandInput &input);
ChartCommandInput input(const ChartView &view, bool canPrint);
// "Planning · Current Locked" while planning locks Current, else "Planning & Proposals".
QString planningTitle(const OrganizationArchive &archive);
// The zoom as a whole percentage in the current locale: "100%", "83%".
QString zoomText(double zoom);

} // namespace ChartCommands

// The workspace header's two rows around the chart picker and "Paper & Appearance" made by
// the window body: picker, rename, "Sheets", then "Add Existing", "Spreadsheet" and "Add
// Person"; below, the people search with Find and its popup, Planning and the paper button.
class ChartHeaderControls : public QObject {
    Q_OBJECT
public:
    ChartHeaderControls(ChartView &view, QWidget *parent);
    // The rows, holding `chartPicker` and `paperButton`.
    QLayout *layout(QWidget *chartPicker, QWidget *paperButton);
    QToolButton *renameButton() const { return m_rename; }
    QPushButton *sheetsButton() const { return m_sheets; }
    QMenu *sheetsMenu() const { return m_sheetsMenu; }
    QPushButton *addExistingButton() const { return m_addExisting; }
    QPushButton *spreadsheetButton() const { return m_spreadsheet; }
    QPushButton *addPersonButton() const { return m_addPerson; }
    QLineEdit *searchField() const { return m_search; }
    QToolButton *findButton() const { return m_find; }
    QPushButton *planningButton() const { return m_planning; }
    ChartSearchPopup *searchPopup() const { return m_popup; }

    void refresh();
    // Whether the add buttons sit in a row of their own, the first row being too narrow.
    bool addButtonsWrapped() const { return m_wrapped && m_wrapped->isVisible(); }
    // Whether the planning and paper buttons stand below the search, its row being too narrow.
    bool viewControlsStacked() const { return m_stacked && m_stacked->isVisible(); }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void fillSheetsMenu();
    void showSearch();
    // Puts the add buttons in a row of their own, and the planning and paper buttons below
    // the search, while their rows are too narrow for them.
    void arrangeRows(int width);

    ChartView &m_view;
    QWidget *m_parent;
    QToolButton *m_rename = nullptr;
    QPushButton *m_sheets = nullptr;
    QMenu *m_sheetsMenu = nullptr;
    QPushButton *m_addExisting = nullptr;
    QPushButton *m_spreadsheet = nullptr;
    QPushButton *m_addPerson = nullptr;
    QLineEdit *m_search = nullptr;
    QToolButton *m_find = nullptr;
    QPushButton *m_planning = nullptr;
    QPointer<ChartSearchPopup> m_popup;
    bool m_refreshPending = false;
    QLayout *m_rows = nullptr;
    QHBoxLayout *m_first = nullptr;
    QHBoxLayout *m_second = nullptr;
    QWidget *m_chartPicker = nullptr;
    QWidget *m_adding = nullptr;  // the three add buttons
    QWidget *m_wrapped = nullptr; // their own row, shown only when they move there
    QWidget *m_viewControls = nullptr; // the planning and paper buttons
    QWidget *m_stacked = nullptr;      // their row below the search, shown only when they move there
};

// The window toolbar: Open and Save (each a button with a menu), Print Guides, Print, zoom
// out, the zoom read-out, zoom in, Reset View, Size to Visible Canvas, Center on Selection.
class ChartToolbar : public QToolBar {
    Q_OBJECT
public:
    explicit ChartToolbar(ChartWindow &window);

    QAction *openAction() const { return m_open; }
    QAction *importSpreadsheetAction() const { return m_importSpreadsheet; }
    QAction *importJSONAction() const { return m_importJSON; }
    QAction *saveAction() const { return m_save; }
    // The Open and Save buttons, whose arrows hold their menus.
    QToolButton *openButton() const { return m_openButton; }
    QToolButton *saveButton() const { return m_saveButton; }
    QAction *historyAction() const { return m_history; }
    QAction *printGuidesAction() const { return m_printGuides; }
    QAction *printAction() const { return m_print; }
    QAction *zoomOutAction() const { return m_zoomOut; }
    QAction *zoomInAction() const { return m_zoomIn; }
    QAction *resetViewAction() const { return m_resetView; }
    QAction *fitAction() const { return m_fit; }
    QAction *centerAction() const { return m_center; }
    QLabel *zoomLabel() const { return m_zoomLabel; }
    // The button that shows the commands a narrow window has no room for.
    QToolButton *overflowButton() const { return m_overflow; }

    void refresh();

private:
    void keepOverflowReachable();

    ChartWindow &m_window;
    QToolButton *m_overflow = nullptr;
    QToolButton *m_openButton = nullptr;
    QToolButton *m_saveButton = nullptr;
    QPointer<QWidget> m_firstHidden; // the first command the overflow button is about to show
    QAction *m_open;
    QAction *m_importSpreadsheet;
    QAction *m_importJSON;
    QAction *m_save;
    QAction *m_history;
    QAction *m_printGuides;
    QAction *m_print;
    QAction *m_zoomOut;
    QLabel *m_zoomLabel;
    QAction *m_zoomIn;
    QAction *m_resetView;
    QAction *m_fit;
    QAction *m_center;
    bool m_refreshPending = false;
};
