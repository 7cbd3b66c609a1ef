#include "app/sidebar/chart_design_controls.h"

#include "app/shell/accessible_fields.h"
#include "app/shell/field_step.h"
#include "app/sidebar/chart_appearance_controls.h"
#include "app/sidebar/sidebar_style.h"

#include <QCheckBox>
#include <QAbstractItemView>
#include <QComboBox>
#include <QCoreApplication>
#include <QFormLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QSignalBlocker>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>

namespace {

QString customName()
{
    return QCoreApplication::translate("ChartDesignControls", "Custom");
}

// Replaces a field's text unless the user is typing in it.
void showText(QLineEdit *field, const QString &text)
{
    if (field->hasFocus() && field->isModified())
        return;
    FieldStep::showText(field, text);
}

QGroupBox *addSection(QVBoxLayout *layout, const QString &title, QWidget *parent)
{
    auto *section = new QGroupBox(title, parent);
    auto *form = new QFormLayout(section);
    form->setFieldGrowthPolicy(QFormLayout::AllNonFixedFieldsGrow);
    layout->addWidget(section);
    return section;
}

QFormLayout *formOf(QGroupBox *section)
{
    return static_cast<QFormLayout *>(section->layout());
}

} // namespace

std::vector<PaperPreset> standardPapers()
{
    return {
        {QStringLiteral("Letter"), 8.5, 11},
        {QStringLiteral("Legal"), 8.5, 14},
        {QStringLiteral("Tabloid"), 11, 17},
        {QStringLiteral("A4"), 210 / 25.4, 297 / 25.4},
        {QStringLiteral("A3"), 297 / 25.4, 420 / 25.4},
    };
}

QString paperName(const ChartPrintSettings &settings, const std::vector<PaperPreset> &papers, bool customPaper)
{
    if (customPaper)
        return customName();
    for (const PaperPreset &paper : papers) {
        if (std::abs(settings.widthInches - paper.width) < 0.01 && std::abs(settings.heightInches - paper.height) < 0.01)
            return paper.name;
    }
    return customName();
}

QString inchesText(double inches)
{
    // Like a decimal number field; the stored value keeps its precision.
    QLocale locale;
    locale.setNumberOptions(QLocale::OmitGroupSeparator);
    return locale.toString(std::round(inches * 1000) / 1000, 'f', QLocale::FloatingPointShortest);
}

QString paperHelpText(const ChartPrintSettings &settings)
{
    const Size page = settings.paperSize();
    return QCoreApplication::translate("ChartDesignControls",
                                       "Design paper: %1 × %2 inches. Change paper size, orientation, headings, and card appearance.")
        .arg(inchesText(page.width / 72), inchesText(page.height / 72));
}

bool acceptDimension(double inches)
{
    return std::isfinite(inches) && inches >= 2.0 && inches <= 200.0;
}

std::optional<double> readDimension(const QString &text, const QLocale &locale)
{
    bool ok = false;
    const double value = locale.toDouble(text.trimmed(), &ok);
    if (!ok || !acceptDimension(value))
        return std::nullopt;
    return value;
}

ChartDesignControls::ChartDesignControls(ChartDesignBindings bindings, std::vector<PaperPreset> papers, QWidget *parent)
    : QWidget(parent)
    , m_bindings(std::move(bindings))
    , m_papers(std::move(papers))
    , m_paper(new QComboBox(this))
    , m_width(new QLineEdit(this))
    , m_height(new QLineEdit(this))
    , m_orientation(new QComboBox(this))
    , m_balance(new QCheckBox(tr("Balance layout to paper"), this))
    , m_appearance(new ChartAppearanceControls(
          {m_bindings.settings.get, [this](const ChartPrintSettings &settings) { writeSettings(settings); }},
          m_bindings.focusedDepartmentView, this))
    , m_title(new QLineEdit(this))
    , m_subtitle(new QLineEdit(this))
{
    AccessibleFields::install();
    setAccessibleName(tr("Paper & Appearance"));
    // As tall as its controls need at least: on a screen too short for the whole panel it
    // scrolls (in its popup) with no empty band above them.
    setFixedWidth(panelWidth);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(16, 16, 16, 16);
    layout->setSpacing(8);
    layout->addStretch();
    auto *heading = new QLabel(tr("Paper & Appearance"), this);
    QFont headingFont = heading->font();
    headingFont.setPointSizeF(headingFont.pointSizeF() * 1.4);
    headingFont.setBold(true);
    heading->setFont(headingFont);
    layout->addWidget(heading);
    auto *note = new QLabel(tr("Changes apply to this chart and its print layout."), this);
    note->setForegroundRole(QPalette::PlaceholderText);
    layout->addWidget(note);

    QFormLayout *paper = formOf(addSection(layout, tr("Design paper"), this));
    for (const PaperPreset &preset : m_papers)
        m_paper->addItem(preset.name);
    m_paper->addItem(customName());
    paper->addRow(tr("Paper size"), m_paper);
    paper->addRow(tr("Paper width (inches)"), m_width);
    paper->addRow(tr("Paper height (inches)"), m_height);
    m_orientation->addItems({tr("Portrait"), tr("Landscape")});
    paper->addRow(tr("Orientation"), m_orientation);
    // The lists the pickers open are heard by the pickers' names.
    m_paper->view()->setAccessibleName(tr("Paper size"));
    m_orientation->view()->setAccessibleName(tr("Orientation"));
    paper->addRow(makeCaption(tr("2–200 inches. Edit dimensions for a custom size."), this));

    QFormLayout *appearance = formOf(addSection(layout, tr("Chart appearance"), this));
    m_balance->setToolTip(tr("Arrange whole branches in rows and compact columns to fit the selected paper, with clear "
                             "connector gutters. Screen and PDF use the same layout."));
    appearance->addRow(m_balance);
    appearance->addRow(m_appearance);

    QFormLayout *headings = formOf(addSection(layout, tr("Page headings"), this));
    headings->addRow(tr("Title"), m_title);
    headings->addRow(tr("Subtitle"), m_subtitle);
    layout->addStretch();

    connect(m_paper, &QComboBox::activated, this, [this](int index) { choosePaper(m_paper->itemText(index)); });
    connect(m_width, &QLineEdit::editingFinished, this, [this] { commitDimension(m_width, &ChartPrintSettings::widthInches); });
    connect(m_height, &QLineEdit::editingFinished, this, [this] { commitDimension(m_height, &ChartPrintSettings::heightInches); });
    connect(m_orientation, &QComboBox::activated, this, [this](int index) {
        ChartPrintSettings settings = m_bindings.settings.get();
        settings.landscape = index == 1;
        writeSettings(settings);
    });
    connect(m_balance, &QCheckBox::toggled, this, [this](bool on) {
        ChartPrintSettings settings = m_bindings.settings.get();
        settings.pageBalancedLayout = on;
        writeSettings(settings);
    });
    connect(m_title, &QLineEdit::textEdited, this, [this](const QString &text) { m_bindings.pageTitle.set(text); });
    connect(m_subtitle, &QLineEdit::textEdited, this, [this](const QString &text) { m_bindings.pageSubtitle.set(text); });
    refresh();
}

QSize ChartDesignControls::sizeHint() const
{
    return {panelWidth, panelHeight};
}

void ChartDesignControls::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    // Opened in a popup, the panel takes the keys at its first control: a screen reader hears
    // where the focus went, and Tab goes on from there.
    if (!window()->focusWidget())
        m_paper->setFocus(Qt::PopupFocusReason);
}

void ChartDesignControls::setCanChangeFocusedView(bool can)
{
    m_appearance->setCanChangeFocusedView(can);
}

void ChartDesignControls::choosePaper(const QString &name)
{
    m_customPaper = name == customName();
    const auto preset = std::find_if(m_papers.begin(), m_papers.end(), [&](const PaperPreset &paper) { return paper.name == name; });
    if (preset == m_papers.end()) {
        refresh();
        return;
    }
    // Both dimensions in one write: one relayout of the chart behind the panel.
    ChartPrintSettings settings = m_bindings.settings.get();
    settings.widthInches = preset->width;
    settings.heightInches = preset->height;
    writeSettings(settings);
}

void ChartDesignControls::commitDimension(QLineEdit *field, double ChartPrintSettings::*member)
{
    // Leaving a field untouched must not round its stored value to the shown decimals.
    if (!field->isModified())
        return;
    field->setModified(false);
    ChartPrintSettings settings = m_bindings.settings.get();
    if (const std::optional<double> value = readDimension(field->text(), QLocale())) {
        settings.*member = *value;
        writeSettings(settings);
        return;
    }
    refresh();
}

void ChartDesignControls::writeSettings(const ChartPrintSettings &settings)
{
    m_bindings.settings.set(settings);
    refresh();
}

void ChartDesignControls::refresh()
{
    const ChartPrintSettings settings = m_bindings.settings.get();
    {
        const QSignalBlocker paperBlocker(m_paper);
        m_paper->setCurrentText(paperName(settings, m_papers, m_customPaper));
        const QSignalBlocker orientationBlocker(m_orientation);
        m_orientation->setCurrentIndex(settings.landscape ? 1 : 0);
        const QSignalBlocker balanceBlocker(m_balance);
        m_balance->setChecked(settings.pageBalancedLayout);
    }
    showText(m_width, inchesText(settings.widthInches));
    showText(m_height, inchesText(settings.heightInches));
    showText(m_title, m_bindings.pageTitle.get());
    showText(m_subtitle, m_bindings.pageSubtitle.get());
    m_appearance->refresh();
}
