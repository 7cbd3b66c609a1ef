#pragma once

#include "app/entry/position_editor_model.h"

#include <QDialog>
#include <QString>

#include <vector>

class EntryAutocomplete;
class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QScrollArea;
class QToolButton;
class QVBoxLayout;
class SearchableDropdown;

// The "Add Position" / "Edit Position & Employee" dialog over a PositionEditorModel: the
// form in a scroll area, "Advanced" folded under a tool button, the message lines and the
// footer. Every control writes the model; refresh() shows the model again after each change.
// Return saves except in a completion field; Ctrl+Shift+S saves and adds another; Escape cancels.
class PositionEditor : public QDialog {
    Q_OBJECT
public:
    static constexpr int editorWidth = 740;
    static constexpr int editorHeight = 730;

    explicit PositionEditor(PositionEditorModel *model, QWidget *parent = nullptr);
    ~PositionEditor() override;
    PositionEditorModel &model() const { return *m_model; }

protected:
    void keyPressEvent(QKeyEvent *event) override;

private:
    QWidget *buildBasic();
    QWidget *buildAdvanced();
    QWidget *buildFooter();
    EntryAutocomplete *addAutocomplete(QVBoxLayout *layout, const QString &label,
                                       PositionEditorModel::CompletionField field,
                                       std::function<void(const std::string &)> write);
    void refresh();
    // Shows the model's failure in the error line, heard each time, the same one again too.
    void showFailure();
    void refreshPanels();
    void refreshDottedRows();
    void refreshSchoolRows();
    QWidget *makePanel(const PositionMatchPanel &panel, bool people);
    void save(PositionEditorModel::SaveMode mode);

    PositionEditorModel *m_model;
    QLabel *m_title;
    QPushButton *m_startNew;
    QLabel *m_success;
    QScrollArea *m_errorArea;
    QLabel *m_error;

    QCheckBox *m_vacant;
    QWidget *m_nameRow;
    QLineEdit *m_name;
    QVBoxLayout *m_peopleSlot;
    QWidget *m_quantityRow;
    QLineEdit *m_quantity;
    EntryAutocomplete *m_payLevel;
    EntryAutocomplete *m_jobTitle;
    QLabel *m_jobTitleStatus;
    QPushButton *m_matchPayLevel;
    SearchableDropdown *m_manager;
    EntryAutocomplete *m_department;
    EntryAutocomplete *m_location;
    QPushButton *m_useManager;
    QVBoxLayout *m_vacancySlot;
    QLabel *m_includeNote;

    QToolButton *m_advancedToggle;
    QWidget *m_advanced;
    QWidget *m_employeeNumberRow;
    QLineEdit *m_employeeNumber;
    QLineEdit *m_positionID;
    QLineEdit *m_fte;
    QCheckBox *m_assistant;
    QLineEdit *m_siblingOrder;
    SearchableDropdown *m_additionalManager;
    QPushButton *m_addReportTo;
    QVBoxLayout *m_dottedRows;
    QVBoxLayout *m_schoolRows;

    QPushButton *m_saveButton;

    // What the rebuilt parts show, so that a refresh rebuilds them only when it changed
    // (a rebuilt school row would take the focus from the field being typed in).
    QString m_optionsShown;
    QString m_additionalOptionsShown;
    QString m_panelsShown;
    std::vector<std::string> m_dottedShown;
    std::vector<QUuid> m_schoolRowsShown;
    struct SchoolRowFields {
        QLineEdit *school;
        QLineEdit *fte;
    };
    std::vector<SchoolRowFields> m_schoolFields;
};
