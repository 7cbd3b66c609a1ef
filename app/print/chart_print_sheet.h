#pragma once

#include <QDialog>

#include <memory>
#include <vector>

class ChartAppearanceControls;
class ChartPDFPreview;
class ChartPrinter;
class PrintSheetModel;
class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QScrollArea;
class QWidget;
struct ChartPrintSettings;

// The "Export PDF & Print" sheet, 960 × 680: the settings form on the left, the preview on
// the right, messages, progress and the buttons below. A thin view of PrintSheetModel,
// which it owns together with the printer it prints through.
class ChartPrintSheet : public QDialog {
    Q_OBJECT
public:
    static constexpr int sheetWidth = 960;
    static constexpr int sheetHeight = 680;
    static constexpr int formWidth = 340;

    ChartPrintSheet(std::unique_ptr<PrintSheetModel> model, std::unique_ptr<ChartPrinter> printer,
                    QWidget *parent = nullptr);
    ~ChartPrintSheet() override;

    PrintSheetModel &model() const { return *m_model; }
    ChartPDFPreview &preview() const { return *m_preview; }

    // Close, Escape and the window's close button: refused while an export runs; commits
    // the settings when they tile.
    void reject() override;

protected:
    void showEvent(QShowEvent *event) override;
    // While an output runs, Escape cancels it.
    void keyPressEvent(QKeyEvent *event) override;
    // While an output runs, Tab from the button pressed (which waits, disabled, with the
    // keyboard) goes to Cancel.
    bool focusNextPrevChild(bool next) override;

private:
    struct NumberField;
    QWidget *buildForm();
    QLineEdit *addNumberField(const QString &label, double ChartPrintSettings::*field, int maxFractionDigits);
    void refresh();
    // Runs `action` under a busy cursor.
    template <typename Action>
    void busy(Action &&action);
    // Starts the output of `button`, which has the keyboard again once it is over.
    void startOutput(QPushButton *button, void (PrintSheetModel::*output)());

    std::unique_ptr<ChartPrinter> m_printer;
    std::unique_ptr<PrintSheetModel> m_model;
    bool m_appeared = false;

    QWidget *m_form = nullptr;
    QScrollArea *m_formScroll = nullptr;
    QString m_summaryShown; // the page summary as last shown, to bring a new one into view
    QLabel *m_summary = nullptr;
    QLineEdit *m_pageTitle = nullptr;
    QLineEdit *m_pageSubtitle = nullptr;
    QComboBox *m_paper = nullptr;
    QComboBox *m_orientation = nullptr;
    QCheckBox *m_fit = nullptr;
    QCheckBox *m_balanced = nullptr;
    ChartAppearanceControls *m_appearance = nullptr;
    std::vector<NumberField> m_numbers;
    QLineEdit *m_scale = nullptr;
    QLabel *m_pagesLine = nullptr;
    QLabel *m_paperLine = nullptr;
    QLabel *m_checkLine = nullptr;
    QPushButton *m_update = nullptr;

    QLabel *m_previewCaption = nullptr;
    QLabel *m_linesNote = nullptr;
    ChartPDFPreview *m_preview = nullptr;
    QScrollArea *m_errorArea = nullptr;
    QLabel *m_error = nullptr;
    QLabel *m_result = nullptr;
    QWidget *m_progressRow = nullptr;
    QProgressBar *m_progress = nullptr;
    QLabel *m_progressLabel = nullptr;
    QPushButton *m_cancel = nullptr;
    QPushButton *m_startedBy = nullptr; // the button of the output running or last run
    int m_failuresShown = 0;
    QLabel *m_note = nullptr;
    QPushButton *m_close = nullptr;
    QPushButton *m_exportAll = nullptr;
    QPushButton *m_print = nullptr;
    QPushButton *m_exportPDF = nullptr;
};
