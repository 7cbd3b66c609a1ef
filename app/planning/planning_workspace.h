#pragma once

#include <QDialog>

#include <string>

class ChartWindow;
class Dialogs;
class OrganizationDocument;
class PlanningWorkspaceController;
class ProposalCanvas;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QStackedWidget;
class QWidget;
struct Position;

// The "Planning & Proposals" sheet over a chart window: the lock controls, the proposal and
// chart pickers, the toolbar of proposal edits, the proposal chart with its status row, and
// the position editor, change report and print sheets it opens. A thin view of
// PlanningWorkspaceController; everything it shows is read back from it after each change.
class PlanningWorkspace : public QDialog {
    Q_OBJECT
public:
    static constexpr int minimumWidth = 1050;
    static constexpr int minimumHeight = 720;
    static constexpr int idealWidth = 1160;
    static constexpr int idealHeight = 820;

    PlanningWorkspace(OrganizationDocument &document, const std::string &sheetID, Dialogs &dialogs,
                      QWidget *parent = nullptr);
    ~PlanningWorkspace() override;

    // Opens the sheet window-modal over `window` on the chart it shows, asking through the
    // window's dialogs; it deletes itself when closed.
    static PlanningWorkspace *open(ChartWindow &window);

    PlanningWorkspaceController &controller() const { return *m_controller; }
    ProposalCanvas &canvas() const { return *m_canvas; }
    QPushButton *button(const QString &text) const;
    QComboBox *proposalPicker() const { return m_proposals; }
    QComboBox *chartPicker() const { return m_charts; }
    QLineEdit *proposalNameField() const { return m_proposalName; }
    QLabel *selectionLabel() const { return m_selectionText; }
    QLabel *countLabel() const { return m_countText; }
    QWidget *toolbar() const { return m_toolbar; }

    // The toolbar's actions, which open the editor, report and print sheets.
    void addPosition();
    void editSelected();
    void showReport();
    void openPrint();

private:
    QWidget *buildHeader();
    QWidget *buildPickers();
    QWidget *buildToolbar();
    QWidget *buildChartArea();
    void openEditor(const Position &position, bool isNew);
    void refresh();

    Dialogs &m_dialogs;
    PlanningWorkspaceController *m_controller;
    bool m_refreshing = false;

    QPushButton *m_lock = nullptr;
    QLabel *m_lockState = nullptr;
    QPushButton *m_unlock = nullptr;
    QPushButton *m_relock = nullptr;
    QComboBox *m_proposals = nullptr;
    QLineEdit *m_proposalName = nullptr;
    QPushButton *m_create = nullptr;
    QComboBox *m_charts = nullptr;
    QWidget *m_toolbar = nullptr;
    QPushButton *m_edit = nullptr;
    QPushButton *m_vacant = nullptr;
    QPushButton *m_delete = nullptr;
    QPushButton *m_restore = nullptr;
    QStackedWidget *m_area = nullptr;
    ProposalCanvas *m_canvas = nullptr;
    QLabel *m_selectionText = nullptr;
    QLabel *m_countText = nullptr;
};
