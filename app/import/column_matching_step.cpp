#include "app/import/column_matching_step.h"

#include "app/import/import_flow.h"
#include "app/sidebar/searchable_dropdown.h"

#include <QLabel>
#include <QScrollArea>
#include <QVBoxLayout>

namespace {

QString toQt(std::string_view text)
{
    return QString::fromUtf8(text.data(), qsizetype(text.size()));
}

} // namespace

ColumnMatchingStep::ColumnMatchingStep(ImportFlow &flow, QWidget *parent) : QWidget(parent), m_flow(flow)
{
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    auto *intro = new QLabel(QStringLiteral("Match your file's columns to Vantrel fields. Unneeded columns can be left unmapped."));
    intro->setForegroundRole(QPalette::PlaceholderText);
    layout->addWidget(intro);

    auto *scroll = new QScrollArea;
    scroll->setWidgetResizable(true);
    // No stop of its own between the step bar and the first field: nameless, it would be
    // heard as an empty filler.
    scroll->setFocusPolicy(Qt::NoFocus);
    auto *form = new QWidget;
    auto *rows = new QVBoxLayout(form);
    for (const ImportField field : allImportFields) {
        auto *dropdown = new SearchableDropdown(toQt(importFieldHeader(field)));
        m_dropdowns[size_t(field)] = dropdown;
        rows->addWidget(dropdown);
        connect(dropdown, &SearchableDropdown::chosen, this,
                [this, field](const QString &id) { m_flow.chooseColumn(field, id.toStdString()); });
    }
    rows->addStretch();
    scroll->setWidget(form);
    layout->addWidget(scroll, 1);

    connect(&m_flow, &ImportFlow::stateChanged, this, &ColumnMatchingStep::refresh);
    refresh();
}

void ColumnMatchingStep::refresh()
{
    if (m_flow.step() != ImportFlow::Step::columns)
        return; // rebuilt when the step is shown
    std::vector<DropdownOption> options;
    for (const ImportColumnOption &option : m_flow.columnOptions())
        options.push_back({QString::fromStdString(option.id), QString::fromStdString(option.title), QString::fromStdString(option.detail)});
    for (const ImportField field : allImportFields) {
        SearchableDropdown *dropdown = m_dropdowns[size_t(field)];
        dropdown->setOptions(options);
        dropdown->setSelection(QString::fromStdString(m_flow.columnOptionID(field)));
    }
}
