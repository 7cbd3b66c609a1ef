#pragma once

#include <QDialog>

class PlanningWorkspaceController;
class QPlainTextEdit;
class QPushButton;

// "Proposal Change Report", 850 × 650: the report of the window's proposal in selectable
// monospaced text, "Save Report…" and "Done" (also Escape). The text is read when the sheet
// opens and again after every change of the window.
class ChangeReportSheet : public QDialog {
    Q_OBJECT
public:
    static constexpr int sheetWidth = 850;
    static constexpr int sheetHeight = 650;

    explicit ChangeReportSheet(PlanningWorkspaceController &controller, QWidget *parent = nullptr);

    QPlainTextEdit *text() const { return m_text; }
    QPushButton *saveButton() const { return m_save; }
    QPushButton *doneButton() const { return m_done; }

private:
    void refresh();

    PlanningWorkspaceController &m_controller;
    QPlainTextEdit *m_text;
    QPushButton *m_save;
    QPushButton *m_done;
};
