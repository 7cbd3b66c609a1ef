#include "app/import/import_file_step.h"

#include "app/import/correction_grid_model.h"
#include "app/import/import_flow.h"
#include "app/shell/accessible_fields.h"
#include "app/sidebar/searchable_dropdown.h"
#include "app/sidebar/sidebar_style.h"

#include <QComboBox>
#include <QFormLayout>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSpinBox>
#include <QStyle>
#include <QVBoxLayout>

namespace {

QString modeLine(ImportMode mode)
{
    switch (mode) {
    case ImportMode::add:
        return QStringLiteral("Keep existing people and add new rows. Duplicate IDs are errors.");
    case ImportMode::replace:
        return QStringLiteral("Replace the entire organization. A recovery version is saved first.");
    case ImportMode::update:
        break;
    }
    return QStringLiteral("Update matching Position IDs and add new people. People missing from this file are kept.");
}

} // namespace

ImportFileStep::ImportFileStep(ImportFlow &flow, QWidget *parent)
    : QWidget(parent), m_flow(flow), m_fileName(new QLabel), m_choose(new QPushButton(QStringLiteral("Choose File…"))),
      m_mode(new QComboBox), m_modeLine(new QLabel), m_sheetControls(new QWidget),
      m_worksheet(new SearchableDropdown(QStringLiteral("Worksheet"))), m_headerRow(new QSpinBox), m_references(new QComboBox)
{
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(16);

    auto *card = new QFrame;
    card->setObjectName(QStringLiteral("importFileCard"));
    card->setStyleSheet(QStringLiteral("#importFileCard { background: palette(alternate-base); border-radius: 10px; }"));
    auto *cardRow = new QHBoxLayout(card);
    auto *icon = new QLabel;
    icon->setPixmap(style()->standardIcon(QStyle::SP_FileDialogDetailedView).pixmap(32, 32));
    auto *lines = new QVBoxLayout;
    QFont headline = m_fileName->font();
    headline.setBold(true);
    m_fileName->setFont(headline);
    auto *supports = new QLabel(QStringLiteral("Supports .xls, .xlsx, .csv, .tsv, and saved correction drafts."));
    supports->setForegroundRole(QPalette::PlaceholderText);
    lines->addWidget(m_fileName);
    lines->addWidget(supports);
    cardRow->addWidget(icon);
    cardRow->addLayout(lines);
    cardRow->addStretch();
    cardRow->addWidget(m_choose);
    layout->addWidget(card);
    connect(m_choose, &QPushButton::clicked, this, [this] {
        m_flow.chooseFile();
        emit chooserClosed();
    });

    auto *form = new QFormLayout;
    for (const ImportMode mode : allImportModes)
        m_mode->addItem(QString::fromUtf8(importModeLabel(mode).data(), qsizetype(importModeLabel(mode).size())));
    form->addRow(QStringLiteral("What should this import do?"), m_mode);
    m_modeLine->setWordWrap(true);
    form->addRow(QString(), m_modeLine);
    layout->addLayout(form);
    connect(m_mode, &QComboBox::currentIndexChanged, this, [this](int index) {
        if (index >= 0)
            m_flow.setMode(allImportModes[size_t(index)]);
    });

    auto *sheetForm = new QFormLayout(m_sheetControls);
    sheetForm->setContentsMargins(0, 0, 0, 0);
    sheetForm->addRow(m_worksheet);
    m_headerRow->setPrefix(QStringLiteral("Header row: "));
    // The prefix is the field's only label.
    AccessibleFields::name(m_headerRow, QStringLiteral("Header row"));
    m_headerRow->setKeyboardTracking(false);
    m_headerRow->setMinimum(1);
    m_headerRow->setMaximumWidth(200);
    sheetForm->addRow(m_headerRow);
    m_references->addItem(QStringLiteral("Employee numbers"));
    m_references->addItem(QStringLiteral("Position IDs"));
    sheetForm->addRow(QStringLiteral("Manager references"), m_references);
    layout->addWidget(m_sheetControls);
    layout->addStretch();
    connect(m_worksheet, &SearchableDropdown::chosen, this, [this](const QString &name) { m_flow.setSheetName(name.toStdString()); });
    connect(m_headerRow, &QSpinBox::valueChanged, this, [this](int row) { m_flow.setHeaderRow(row); });
    connect(m_references, &QComboBox::currentIndexChanged, this, [this](int index) {
        m_flow.setReferences(index == 1 ? ManagerReferences::positionIDs : ManagerReferences::employeeNumbers);
    });

    connect(&m_flow, &ImportFlow::stateChanged, this, &ImportFileStep::refresh);
    refresh();
}

void ImportFileStep::refresh()
{
    m_fileName->setText(m_flow.fileName().isEmpty() ? QStringLiteral("Choose an Excel or CSV file") : m_flow.fileName());
    const bool choosable = m_flow.canChooseFile();
    // Disabled while the chosen file is read: Qt would hand its focus to the next control,
    // which a screen reader announces and the next Space presses. The focus waits with no
    // control until the window places it once the file is read.
    if (!choosable && window()->focusWidget() == m_choose)
        m_choose->clearFocus();
    m_choose->setEnabled(choosable);
    const QSignalBlocker blockMode(m_mode);
    m_mode->setCurrentIndex(int(m_flow.mode()));
    m_modeLine->setText(modeLine(m_flow.mode()));
    QPalette palette = m_modeLine->palette();
    palette.setColor(QPalette::WindowText, m_flow.mode() == ImportMode::replace
                                               ? readableOn(importWarningColor(), {palette.color(QPalette::Window)})
                                               : this->palette().color(QPalette::PlaceholderText));
    m_modeLine->setPalette(palette);

    m_sheetControls->setVisible(!m_flow.sheets().empty());
    std::vector<DropdownOption> sheets;
    for (const ImportSheet &sheet : m_flow.sheets())
        sheets.push_back({QString::fromStdString(sheet.name), QString::fromStdString(sheet.name), QString()});
    m_worksheet->setOptions(std::move(sheets));
    m_worksheet->setSelection(QString::fromStdString(m_flow.sheetName()));
    const QSignalBlocker blockRow(m_headerRow);
    m_headerRow->setMaximum(m_flow.headerRowLimit());
    m_headerRow->setValue(m_flow.headerRow());
    const QSignalBlocker blockReferences(m_references);
    m_references->setCurrentIndex(m_flow.references() == ManagerReferences::positionIDs ? 1 : 0);
}
