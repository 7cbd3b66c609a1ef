#pragma once

#include "core/import/import_field.h"

#include <QWidget>

#include <array>

class ImportFlow;
class SearchableDropdown;

// Step 2 of the import window: one searchable dropdown per import field naming the source
// column it is read from, or "Not mapped".
class ColumnMatchingStep : public QWidget {
    Q_OBJECT
public:
    explicit ColumnMatchingStep(ImportFlow &flow, QWidget *parent = nullptr);

    SearchableDropdown *dropdown(ImportField field) const { return m_dropdowns[size_t(field)]; }

private:
    void refresh();

    ImportFlow &m_flow;
    std::array<SearchableDropdown *, allImportFields.size()> m_dropdowns{};
};
