#pragma once

#include <QPointer>
#include <QWidget>

#include <memory>

#include <string>

class ChartCanvas;
class ChartDesignControls;
class ChartHeaderControls;
class ChartScene;
class ChartView;
class OrganizationSidebar;
class QCheckBox;
class QLabel;
class QLineEdit;
class QLayout;
class QPushButton;
class QSplitter;
class SearchableDropdown;
class SelectionInspectorStrip;

// The content of a chart window: beside the chart a sidebar column ("Null Managers" over
// the people), and the detail column with the header (the organization's name and the
// counts), the "Build Your Organization" state of an empty document, the chart canvas and
// the selection inspector. Thin: everything it shows comes from the window's ChartView,
// read again once per change, never per paint.
class ChartWindowBody : public QWidget {
    Q_OBJECT
public:
    explicit ChartWindowBody(ChartView &view, QWidget *parent = nullptr);

    ChartCanvas *canvas() const { return m_canvas; }
    QLineEdit *nameField() const { return m_name; }
    QLabel *countsLabel() const { return m_counts; }
    QWidget *emptyState() const { return m_emptyState; }
    QPushButton *loadSampleButton() const { return m_loadSample; }
    SelectionInspectorStrip *inspector() const { return m_inspector; }
    OrganizationSidebar *sidebar() const { return m_people; }
    SearchableDropdown *chartPicker() const { return m_chartPicker; }
    QPushButton *paperButton() const { return m_paperButton; }
    ChartHeaderControls *header() const { return m_header; }
    // The "Paper & Appearance" panel while its popup is open.
    ChartDesignControls *paperPanel() const;
    void togglePaperPanel();

private:
    QWidget *createSidebarColumn();
    QWidget *createDetailColumn();
    QWidget *createEmptyState();
    // The people sidebar: created, fed and synchronised here only, so that a richer
    // sidebar replaces this plain list in these three places.
    QWidget *createSidebar();
    void feedSidebar();
    void showSidebarSelection();
    // The workspace header's two rows: the chart picker and "Paper & Appearance" among the commands.
    QLayout *createWorkspaceControls(QWidget *column);
    void refreshWorkspaceControls();

    void scheduleRefresh();
    void refresh();
    void showCardMenu(const std::string &cardID, const QPoint &globalPosition);

    ChartView &m_view;
    QSplitter *m_splitter;
    QCheckBox *m_nullManagers = nullptr;
    OrganizationSidebar *m_people = nullptr;
    SearchableDropdown *m_chartPicker = nullptr;
    bool m_chartPickerStale = true;
    QPushButton *m_paperButton = nullptr;
    ChartHeaderControls *m_header = nullptr;
    QPointer<ChartDesignControls> m_paperPanel;
    std::shared_ptr<const ChartScene> m_fedScene;
    bool m_fedFilter = false;
    QLineEdit *m_name = nullptr;
    QLabel *m_counts = nullptr;
    QWidget *m_emptyState = nullptr;
    QPushButton *m_addPosition = nullptr;
    QPushButton *m_loadSample = nullptr;
    ChartCanvas *m_canvas = nullptr;
    SelectionInspectorStrip *m_inspector = nullptr;
    bool m_refreshPending = false;
};
