#pragma once

#include <QWidget>

class ImportFlow;
class QComboBox;
class QLabel;
class QPushButton;
class QSpinBox;
class SearchableDropdown;

// Step 1 of the import window: the file card with "Choose File…", what the import should
// do, and once a file is read the worksheet, the header row and the kind of manager
// references.
class ImportFileStep : public QWidget {
    Q_OBJECT
public:
    explicit ImportFileStep(ImportFlow &flow, QWidget *parent = nullptr);

    QPushButton *chooseButton() const { return m_choose; }
    QComboBox *modePicker() const { return m_mode; }
    SearchableDropdown *worksheetPicker() const { return m_worksheet; }
    QSpinBox *headerRowField() const { return m_headerRow; }
    QComboBox *referencesPicker() const { return m_references; }

signals:
    // "Choose File…" has run the file chooser, whatever the user chose.
    void chooserClosed();

private:
    void refresh();

    ImportFlow &m_flow;
    QLabel *m_fileName;
    QPushButton *m_choose;
    QComboBox *m_mode;
    QLabel *m_modeLine;
    QWidget *m_sheetControls;
    SearchableDropdown *m_worksheet;
    QSpinBox *m_headerRow;
    QComboBox *m_references;
};
