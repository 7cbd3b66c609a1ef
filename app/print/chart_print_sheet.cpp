#include "app/print/chart_print_sheet.h"

#include "app/print/chart_printer.h"
#include "app/print/preview_pane.h"
#include "app/print/print_sheet_model.h"
#include "app/shell/accessible_fields.h"
#include "app/shell/field_step.h"
#include "app/shell/focus_keeper.h"
#include "app/sidebar/chart_appearance_controls.h"
#include "app/sidebar/chart_design_controls.h"
#include "app/sidebar/sidebar_style.h"
#include "printing/chart_text.h"

#include <QApplication>
#include <QCheckBox>
#include <QScrollBar>
#include <QComboBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QShortcut>
#include <QScrollArea>
#include <QSignalBlocker>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>
#include <utility>

#ifdef __GLIBC__
#include <malloc.h>
#endif

// A number line edit over one Double of the working settings, read with the user's locale
// when editing finishes. No range: what the tiling refuses, its summary reports.
struct ChartPrintSheet::NumberField {
    QLineEdit *edit;
    double ChartPrintSettings::*field;
    int maxFractionDigits;

    QString text(const ChartPrintSettings &settings) const
    {
        return ChartText::decimal(settings.*field, maxFractionDigits, QLocale());
    }
};

namespace {

const int maximumErrorHeight = 80;

// Free memory the allocator holds goes back to the system: on a 20,000-position chart
// hundreds of megabytes, spread over the arenas of the threads that routed and drew.
void giveBackFreedMemory()
{
#ifdef __GLIBC__
    malloc_trim(0);
#endif
}

QLabel *captionLabel(const QString &text)
{
    auto *label = new QLabel(text);
    label->setWordWrap(true);
    QFont font = label->font();
    font.setPointSizeF(font.pointSizeF() * 0.85);
    label->setFont(font);
    label->setForegroundRole(QPalette::PlaceholderText);
    return label;
}

QLabel *secondaryLabel(const QString &text = QString())
{
    auto *label = new QLabel(text);
    label->setWordWrap(true);
    label->setForegroundRole(QPalette::PlaceholderText);
    return label;
}

} // namespace

ChartPrintSheet::ChartPrintSheet(std::unique_ptr<PrintSheetModel> model, std::unique_ptr<ChartPrinter> printer,
                                 QWidget *parent)
    : QDialog(parent)
    , m_printer(std::move(printer))
    , m_model(std::move(model))
{
    setWindowTitle(QStringLiteral("Export PDF & Print"));
    setWindowModality(Qt::WindowModal);
    setFixedSize(sheetWidth, sheetHeight);
    // Ctrl+W closes it as Escape does, like every other window.
    auto *closeKey = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_W), this);
    connect(closeKey, &QShortcut::activated, this, &QDialog::reject);

    auto *heading = new QLabel(QStringLiteral("Export PDF & Print"));
    QFont headingFont = heading->font();
    headingFont.setBold(true);
    headingFont.setPointSizeF(headingFont.pointSizeF() * 1.6);
    heading->setFont(headingFont);
    m_summary = secondaryLabel(m_model->positionSummary());

    auto *formScroll = m_formScroll = new QScrollArea;
    formScroll->setWidget(buildForm());
    // A fixed width lets the wrapped captions take the height they need.
    m_form->setFixedWidth(formWidth);
    formScroll->setWidgetResizable(true);
    formScroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    // The sheet opens on its first field, not on the nameless area around the form.
    formScroll->setFocusPolicy(Qt::NoFocus);
    formScroll->setFixedWidth(formWidth + formScroll->verticalScrollBar()->sizeHint().width() + 2);

    m_previewCaption = captionLabel(QString());
    m_linesNote = captionLabel(QString());
    m_preview = new ChartPDFPreview;
    auto *previewColumn = new QVBoxLayout;
    previewColumn->setSpacing(8);
    previewColumn->addWidget(m_previewCaption);
    previewColumn->addWidget(m_linesNote);
    previewColumn->addWidget(m_preview, 1);

    auto *columns = new QHBoxLayout;
    columns->setSpacing(20);
    columns->addWidget(formScroll);
    columns->addLayout(previewColumn, 1);

    m_error = new QLabel;
    AccessibleFields::announce(m_error);
    m_error->setWordWrap(true);
    m_error->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    m_error->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    keepReadable(m_error, QPalette::WindowText, QPalette::Window, errorRed);
    m_errorArea = new QScrollArea;
    m_errorArea->setWidget(m_error);
    m_errorArea->setWidgetResizable(true);
    m_errorArea->setFrameShape(QFrame::NoFrame);
    m_errorArea->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_errorArea->setFocusPolicy(Qt::NoFocus); // the message itself is the stop
    m_result = secondaryLabel();

    m_progressRow = new QWidget;
    m_progressLabel = new QLabel;
    m_progress = new QProgressBar;
    m_progress->setFormat(QStringLiteral("%v of %m"));
    m_cancel = new QPushButton(QStringLiteral("Cancel"));
    m_cancel->setAutoDefault(false);
    auto *progressLayout = new QGridLayout(m_progressRow);
    progressLayout->setContentsMargins(0, 0, 0, 0);
    progressLayout->addWidget(m_progressLabel, 0, 0, 1, 2);
    progressLayout->addWidget(m_progress, 1, 0);
    progressLayout->addWidget(m_cancel, 1, 1);
    m_note = captionLabel(QStringLiteral(
        "Export All Sheets uses these print settings for every sheet—not each sheet’s saved settings. Fit to Page "
        "fits each chart separately; otherwise the percentage is identical. Sheet headings and Focused Department "
        "View are retained."));

    m_close = new QPushButton(QStringLiteral("Close"));
    m_close->setAutoDefault(false);
    m_exportAll = new QPushButton(QStringLiteral("Export All Sheets…"));
    m_exportAll->setToolTip(QStringLiteral("Choose a folder and export one PDF per sheet using the settings selected here."));
    m_print = new QPushButton(QStringLiteral("Print…"));
    m_exportPDF = new QPushButton(QStringLiteral("Export PDF…"));
    for (QPushButton *button : {m_exportAll, m_print, m_exportPDF})
        button->setAutoDefault(false);
    auto *buttons = new QHBoxLayout;
    buttons->addWidget(m_close);
    buttons->addStretch();
    buttons->addWidget(m_exportAll);
    buttons->addWidget(m_print);
    buttons->addWidget(m_exportPDF);

    auto *layout = new QVBoxLayout(this);
    layout->setSpacing(12);
    layout->addWidget(heading);
    layout->addWidget(m_summary);
    layout->addLayout(columns, 1);
    layout->addWidget(m_errorArea);
    layout->addWidget(m_result);
    layout->addWidget(m_progressRow);
    layout->addWidget(m_note);
    layout->addLayout(buttons);

    connect(m_close, &QPushButton::clicked, this, &ChartPrintSheet::reject);
    connect(m_exportAll, &QPushButton::clicked, this, [this] { startOutput(m_exportAll, &PrintSheetModel::exportAllSheets); });
    connect(m_print, &QPushButton::clicked, this, [this] { busy([this] { startOutput(m_print, &PrintSheetModel::printChart); }); });
    connect(m_exportPDF, &QPushButton::clicked, this, [this] { startOutput(m_exportPDF, &PrintSheetModel::exportPDF); });
    connect(m_cancel, &QPushButton::clicked, this, [this] { m_model->cancelExport(); });
    connect(m_model.get(), &PrintSheetModel::changed, this, &ChartPrintSheet::refresh);
    connect(m_model.get(), &PrintSheetModel::previewChanged, this,
            [this](bool sameLayout) { m_preview->setDocument(m_model->preview(), sameLayout); });
    refresh();
}

ChartPrintSheet::~ChartPrintSheet()
{
    // QDialog hides as it goes, and a field that loses the focus then commits into the
    // model, which is gone by that time: nothing the fields do reaches the sheet any more.
    for (QObject *child : findChildren<QObject *>())
        child->disconnect(this);
    // What the sheet made of a large chart (the print layout, the preview PDF, the pages
    // read from it, the routing grid of its lines) is freed with the model and the pane,
    // their threads stopped; the allocator keeps it from the system until told otherwise.
    m_model.reset();
    delete std::exchange(m_preview, nullptr);
    giveBackFreedMemory();
}

QWidget *ChartPrintSheet::buildForm()
{
    m_form = new QWidget;
    auto *form = new QFormLayout(m_form);
    form->setFieldGrowthPolicy(QFormLayout::AllNonFixedFieldsGrow);
    form->setRowWrapPolicy(QFormLayout::DontWrapRows);

    m_pageTitle = new QLineEdit;
    m_pageTitle->setPlaceholderText(QString::fromStdString(m_model->title()));
    connect(m_pageTitle, &QLineEdit::textEdited, this, [this](const QString &text) { m_model->setPageTitle(text); });
    form->addRow(QStringLiteral("Page title"), m_pageTitle);
    m_pageSubtitle = new QLineEdit;
    m_pageSubtitle->setPlaceholderText(QString::fromStdString(m_model->scope()));
    connect(m_pageSubtitle, &QLineEdit::textEdited, this, [this](const QString &text) { m_model->setPageSubtitle(text); });
    form->addRow(QStringLiteral("Subtitle"), m_pageSubtitle);
    for (QLineEdit *field : {m_pageTitle, m_pageSubtitle})
        FieldStep::closeOnCommit(field, this, [this] { m_model->endHeadingEdit(); });
    FieldStep::showText(m_pageTitle, m_model->pageTitle());
    FieldStep::showText(m_pageSubtitle, m_model->pageSubtitle());

    AccessibleFields::install();
    m_paper = new QComboBox;
    for (const PaperPreset &preset : standardPapers())
        m_paper->addItem(preset.name);
    m_paper->addItem(PaperPresets::custom);
    connect(m_paper, &QComboBox::activated, this,
            [this](int index) { busy([&] { m_model->setPreset(m_paper->itemText(index)); }); });
    form->addRow(QStringLiteral("Paper"), m_paper);
    addNumberField(QStringLiteral("Short edge (inches)"), &ChartPrintSettings::widthInches, 3);
    addNumberField(QStringLiteral("Long edge (inches)"), &ChartPrintSettings::heightInches, 3);

    m_orientation = new QComboBox;
    m_orientation->addItems({QStringLiteral("Portrait"), QStringLiteral("Landscape")});
    connect(m_orientation, &QComboBox::activated, this, [this](int index) {
        ChartPrintSettings next = m_model->settings();
        next.landscape = index == 1;
        busy([&] { m_model->setSettings(next); });
    });
    form->addRow(QStringLiteral("Orientation"), m_orientation);
    m_scale = addNumberField(QStringLiteral("Print scale (%)"), &ChartPrintSettings::scalePercent, 2);

    m_fit = new QCheckBox(QStringLiteral("Fit to Page"));
    connect(m_fit, &QCheckBox::toggled, this, [this](bool on) { busy([&] { m_model->setFitToPage(on); }); });
    form->addRow(m_fit);
    m_balanced = new QCheckBox(QStringLiteral("Page-balanced layout"));
    m_balanced->setToolTip(QStringLiteral("Arrange whole branches in rows and compact columns based on the selected "
                                          "paper. Batch exports use the same layout calculation."));
    connect(m_balanced, &QCheckBox::toggled, this, [this](bool on) {
        ChartPrintSettings next = m_model->settings();
        next.pageBalancedLayout = on;
        busy([&] { m_model->setSettings(next); });
    });
    form->addRow(m_balanced);

    // No focused-view binding: the sheet prints the chart as its window shows it.
    m_appearance = new ChartAppearanceControls(Binding<ChartPrintSettings>{
        [this] { return m_model->settings(); },
        [this](const ChartPrintSettings &next) { busy([&] { m_model->setSettings(next); }); }});
    form->addRow(m_appearance);

    addNumberField(QStringLiteral("Margin (inches)"), &ChartPrintSettings::marginInches, 3);
    addNumberField(QStringLiteral("Overlap (inches)"), &ChartPrintSettings::overlapInches, 3);

    m_pagesLine = new QLabel;
    QFont headline = m_pagesLine->font();
    headline.setBold(true);
    m_pagesLine->setFont(headline);
    m_paperLine = captionLabel(QString());
    m_checkLine = new QLabel(PrintSheetModel::checkLine());
    m_checkLine->setWordWrap(true);
    keepReadable(m_checkLine, QPalette::WindowText, QPalette::Window, errorRed);
    form->addRow(m_pagesLine);
    form->addRow(m_paperLine);
    form->addRow(m_checkLine);

    m_update = new QPushButton(QStringLiteral("Update Preview"));
    m_update->setAutoDefault(false);
    connect(m_update, &QPushButton::clicked, this, [this] { busy([this] { m_model->updatePreview(); }); });
    form->addRow(m_update);
    form->addRow(captionLabel(QStringLiteral(
        "Arrange pages by row and column. Trim outer margins at the dotted border, then align the repeated chart "
        "content in the overlap. Interior dotted guides mark the overlap boundary.")));
    form->addRow(captionLabel(QStringLiteral(
        "For assembly, print at Actual Size / 100% in the printer dialog. Your chart percentage is already applied "
        "to the PDF. The printer must support the chosen paper size.")));
    return m_form;
}

QLineEdit *ChartPrintSheet::addNumberField(const QString &label, double ChartPrintSettings::*field,
                                           int maxFractionDigits)
{
    auto *edit = new QLineEdit;
    m_numbers.push_back({edit, field, maxFractionDigits});
    qobject_cast<QFormLayout *>(m_form->layout())->addRow(label, edit);
    connect(edit, &QLineEdit::editingFinished, this, [this, edit, field, maxFractionDigits] {
        const NumberField number{edit, field, maxFractionDigits};
        // Leaving a field unchanged must not round a stored A4 edge to what is shown.
        if (edit->text() == number.text(m_model->settings()))
            return;
        bool ok = false;
        const double value = QLocale().toDouble(edit->text().trimmed(), &ok);
        if (!ok) {
            refresh();
            return;
        }
        ChartPrintSettings next = m_model->settings();
        next.*field = value;
        busy([&] { m_model->setSettings(next); });
        refresh();
    });
    return edit;
}

template <typename Action>
void ChartPrintSheet::busy(Action &&action)
{
    QApplication::setOverrideCursor(Qt::WaitCursor);
    action();
    QApplication::restoreOverrideCursor();
}

void ChartPrintSheet::startOutput(QPushButton *button, void (PrintSheetModel::*output)())
{
    m_startedBy = button;
    (m_model.get()->*output)();
}

void ChartPrintSheet::refresh()
{
    const PrintSheetModel &model = *m_model;
    const ChartPrintSettings &settings = model.settings();
    const bool working = model.isBusy();

    m_form->setEnabled(!working);
    auto setText = [](QLineEdit *edit, const QString &text) {
        if (!edit->hasFocus())
            FieldStep::showText(edit, text);
    };
    setText(m_pageTitle, model.pageTitle());
    setText(m_pageSubtitle, model.pageSubtitle());
    {
        const QSignalBlocker blocker(m_paper);
        m_paper->setCurrentText(model.preset());
    }
    const bool custom = model.preset() == PaperPresets::custom;
    auto *form = qobject_cast<QFormLayout *>(m_form->layout());
    for (const NumberField &number : m_numbers) {
        QString text = number.text(settings);
        if (number.edit->text() != text) {
            const QSignalBlocker blocker(number.edit);
            number.edit->setText(text);
        }
        if (number.field == &ChartPrintSettings::widthInches || number.field == &ChartPrintSettings::heightInches)
            form->setRowVisible(number.edit, custom);
    }
    m_scale->setEnabled(!model.fitToPage());
    {
        const QSignalBlocker orientation(m_orientation);
        m_orientation->setCurrentIndex(settings.landscape ? 1 : 0);
        const QSignalBlocker fit(m_fit);
        m_fit->setChecked(model.fitToPage());
        const QSignalBlocker balanced(m_balanced);
        m_balanced->setChecked(settings.pageBalancedLayout);
    }
    m_appearance->refresh();

    const std::optional<QString> pages = model.pagesLine();
    m_pagesLine->setText(pages.value_or(QString()));
    m_paperLine->setText(model.paperLine().value_or(QString()));
    m_pagesLine->setVisible(pages.has_value());
    m_paperLine->setVisible(pages.has_value());
    m_checkLine->setVisible(!pages.has_value());
    // The form scrolls; a new page count, or the check line, must not land out of sight (the
    // message area below can take the room it had).
    const QString summary = pages ? *pages + m_paperLine->text() : m_checkLine->text();
    const QString before = std::exchange(m_summaryShown, summary);
    if (!before.isEmpty() && before != summary) {
        QTimer::singleShot(0, this, [this] {
            QWidget *shown = m_checkLine->isVisibleTo(m_form) ? m_checkLine : m_paperLine;
            m_formScroll->ensureWidgetVisible(shown, 0, 8);
        });
    }

    m_previewCaption->setText(model.previewCaption());
    const std::optional<QString> linesNote = model.previewLinesNote();
    m_linesNote->setText(linesNote.value_or(QString()));
    m_linesNote->setVisible(linesNote.has_value());
    // A failure met again, with the text the line shows already, is news to the user too.
    const QString error = model.errorMessage().value_or(QString());
    const bool failedAgain = model.failureCount() != std::exchange(m_failuresShown, model.failureCount())
        && !error.isEmpty() && error == m_error->text() && m_errorArea->isVisible();
    AccessibleFields::setMessage(m_error, error);
    m_errorArea->setVisible(model.errorMessage().has_value());
    if (failedAgain)
        AccessibleFields::announceAgain(m_error);
    // As tall as the message, at most 80 points; longer ones scroll.
    const int textHeight = m_error->heightForWidth(std::max(1, m_errorArea->viewport()->width()));
    m_errorArea->setFixedHeight(std::clamp(textHeight, m_error->fontMetrics().height(), maximumErrorHeight) + 2);
    m_result->setText(model.resultMessage().value_or(QString()));
    m_result->setVisible(model.resultMessage().has_value());

    const bool offersAll = model.offersExportAll();
    // Said before it shows, so that the row comes into sight with the step it is at.
    m_progressLabel->setText(model.progressLabel());
    m_progress->setRange(0, model.progressMaximum());
    m_progress->setValue(model.progressValue());
    // Cancel going out of sight with the keyboard would hand it to the first field, which the
    // next key would edit: it is let go, and goes back to the button pressed.
    const bool cancelLeaves = m_progressRow->isVisible() && !model.showsProgress() && focusWidget() == m_cancel;
    if (cancelLeaves)
        m_cancel->clearFocus();
    m_progressRow->setVisible(model.showsProgress());
    m_note->setVisible(!working && offersAll);

    // Disabled while a PDF is written or a job printed: the focus waits for the button
    // pressed, rather than going on to the next control.
    FocusKeeper::setEnabled(m_close, !working);
    m_exportAll->setVisible(offersAll);
    for (QPushButton *button : {m_exportAll, m_print, m_exportPDF})
        FocusKeeper::setEnabled(button, model.canOutput());
    if (cancelLeaves && !working && m_startedBy && m_startedBy->isEnabled() && m_startedBy->isVisible()) {
        QWidget *focus = focusWidget();
        if (!focus || focus == this)
            m_startedBy->setFocus(Qt::OtherFocusReason);
    }
}

void ChartPrintSheet::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    if (m_appeared)
        return;
    m_appeared = true;
    busy([this] { m_model->appear(); });
    refresh();
}

void ChartPrintSheet::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier && m_model->isBusy()) {
        m_model->cancelExport();
        return;
    }
    QDialog::keyPressEvent(event);
}

bool ChartPrintSheet::focusNextPrevChild(bool next)
{
    QWidget *focus = focusWidget();
    if (m_model->isBusy() && m_cancel->isVisible() && (!focus || focus == this)) {
        m_cancel->setFocus(next ? Qt::TabFocusReason : Qt::BacktabFocusReason);
        return true;
    }
    return QDialog::focusNextPrevChild(next);
}

void ChartPrintSheet::reject()
{
    if (m_model->close())
        QDialog::reject();
}
