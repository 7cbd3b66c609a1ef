#include "app/import/correction_grid_model.h"

#include "app/import/import_flow.h"

#include <QColor>
#include <QFont>
#include <QStringList>

QColor importErrorColor()
{
    return QColor(0xc0, 0x1c, 0x28);
}

QColor importWarningColor()
{
    // Dark enough to read at 4.5:1 on a white field.
    return QColor(0xb0, 0x56, 0x00);
}

CorrectionGridModel::CorrectionGridModel(ImportFlow &flow, QObject *parent) : QAbstractTableModel(parent), m_flow(flow)
{
    connect(&m_flow, &ImportFlow::reviewChanged, this, &CorrectionGridModel::refresh);
    beginResetModel();
    m_hasSheet = m_flow.sheet() != nullptr;
    m_rows = m_flow.shownRows();
    m_headerRow = m_flow.headerRow();
    m_columns = m_flow.columnCount();
    endResetModel();
}

void CorrectionGridModel::refresh()
{
    if (m_flow.step() != ImportFlow::Step::corrections)
        return; // no review runs for a grid nobody sees
    const bool hasSheet = m_flow.sheet() != nullptr;
    const std::vector<int> &rows = m_flow.shownRows();
    const bool sameFrame = hasSheet == m_hasSheet && m_flow.headerRow() == m_headerRow && m_flow.columnCount() == m_columns;
    if (!sameFrame || (rows != m_rows && !m_flow.heldRow())) {
        beginResetModel();
        m_hasSheet = hasSheet;
        m_rows = rows;
        m_headerRow = m_flow.headerRow();
        m_columns = m_flow.columnCount();
        endResetModel();
        return;
    }
    if (rows != m_rows)
        moveRowsTo(rows);
    if (rowCount() > 0)
        emit dataChanged(index(0, 0), index(rowCount() - 1, columnCount() - 1));
}

void CorrectionGridModel::moveRowsTo(const std::vector<int> &rows)
{
    // Both lists ascend. Rows that leave go first, the last range first so the earlier
    // ones keep their model rows; what is left is then a subsequence of `rows`.
    for (int i = int(m_rows.size()) - 1; i >= 0;) {
        if (std::binary_search(rows.begin(), rows.end(), m_rows[size_t(i)])) {
            --i;
            continue;
        }
        const int last = i;
        while (i >= 0 && !std::binary_search(rows.begin(), rows.end(), m_rows[size_t(i)]))
            --i;
        beginRemoveRows({}, i + 2, last + 1); // model row = index + 1, below the header row
        m_rows.erase(m_rows.begin() + i + 1, m_rows.begin() + last + 1);
        endRemoveRows();
    }
    for (size_t k = 0; k < rows.size();) {
        if (k < m_rows.size() && m_rows[k] == rows[k]) {
            ++k;
            continue;
        }
        size_t end = k;
        while (end < rows.size() && (k >= m_rows.size() || rows[end] != m_rows[k]))
            ++end;
        beginInsertRows({}, int(k) + 1, int(end));
        m_rows.insert(m_rows.begin() + std::ptrdiff_t(k), rows.begin() + std::ptrdiff_t(k), rows.begin() + std::ptrdiff_t(end));
        endInsertRows();
        k = end;
    }
}

int CorrectionGridModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() || !m_hasSheet ? 0 : 1 + int(m_rows.size());
}

int CorrectionGridModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() || !m_hasSheet ? 0 : 1 + m_columns;
}

int CorrectionGridModel::sheetRow(int modelRow) const
{
    if (modelRow == 0)
        return m_headerRow - 1;
    return modelRow > 0 && modelRow <= int(m_rows.size()) ? m_rows[modelRow - 1] : -1;
}

int CorrectionGridModel::modelRow(int sheetRow) const
{
    if (sheetRow == m_headerRow - 1)
        return 0;
    const auto found = std::lower_bound(m_rows.begin(), m_rows.end(), sheetRow);
    return found != m_rows.end() && *found == sheetRow ? int(found - m_rows.begin()) + 1 : -1;
}

QString CorrectionGridModel::columnName(int column) const
{
    const ImportSheet *sheet = m_flow.sheet();
    const int header = m_headerRow - 1;
    if (sheet && header >= 0 && header < int(sheet->rows.size()) && column < int(sheet->rows[header].size()))
        return QString::fromStdString(sheet->rows[header][column]);
    return QStringLiteral("Column %1").arg(column + 1);
}

QVariant CorrectionGridModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= rowCount() || index.column() >= columnCount())
        return {};
    const int row = sheetRow(index.row());
    const bool isHeader = index.row() == 0;
    if (index.column() == rowNumberColumn) {
        if (role == Qt::DisplayRole)
            return isHeader ? QStringLiteral("Source Row") : QString::number(row + 1);
        if (role == Qt::FontRole && isHeader) {
            QFont bold;
            bold.setBold(true);
            return bold;
        }
        return {};
    }
    const int column = sheetColumn(index.column());
    switch (role) {
    case Qt::DisplayRole: {
        const QString text = m_flow.cell(row, column);
        return isHeader && text.isEmpty() ? QStringLiteral("Column %1").arg(column + 1) : text; // the placeholder
    }
    case Qt::EditRole:
        return m_flow.cell(row, column);
    case Qt::ForegroundRole:
        if (isHeader && m_flow.cell(row, column).isEmpty())
            return QColor(Qt::gray);
        return {};
    case Qt::FontRole:
        if (isHeader) {
            QFont bold;
            bold.setBold(true);
            return bold;
        }
        return {};
    case Qt::AccessibleTextRole:
        if (isHeader)
            return QStringLiteral("Header column %1").arg(column + 1);
        return QStringLiteral("Row %1, %2").arg(row + 1).arg(columnName(column));
    case Qt::AccessibleDescriptionRole: {
        // The name says where the cell is; a screen reader's only other text of a cell is
        // this, so it carries the cell's text, then the messages drawn under the row.
        QStringList texts;
        if (const QString text = m_flow.cell(row, column); !text.isEmpty())
            texts.append(text);
        for (const CorrectionMessage &message : messages(index.row()))
            texts.append(message.text);
        return texts.isEmpty() ? QVariant() : QVariant(texts.join('\n'));
    }
    default:
        return {};
    }
}

std::vector<CorrectionMessage> CorrectionGridModel::messages(int modelRow) const
{
    std::vector<CorrectionMessage> result;
    if (modelRow <= 0 || modelRow >= rowCount())
        return result;
    const int row = sheetRow(modelRow);
    for (const ImportMessageKind kind : {ImportMessageKind::error, ImportMessageKind::warning}) {
        for (const std::string &message : m_flow.rowMessages(row, kind))
            result.push_back({QString::fromStdString(message), kind});
    }
    return result;
}

int CorrectionGridModel::messageCount(int modelRow) const
{
    if (modelRow <= 0 || modelRow >= rowCount())
        return 0;
    const int row = sheetRow(modelRow);
    return int(m_flow.rowMessages(row, ImportMessageKind::error).size()
               + m_flow.rowMessages(row, ImportMessageKind::warning).size());
}

bool CorrectionGridModel::setData(const QModelIndex &index, const QVariant &value, int role)
{
    if (role != Qt::EditRole || !index.isValid() || index.column() == rowNumberColumn || index.row() >= rowCount())
        return false;
    m_flow.setCell(sheetRow(index.row()), sheetColumn(index.column()), value.toString());
    emit dataChanged(index, index);
    return true;
}

Qt::ItemFlags CorrectionGridModel::flags(const QModelIndex &index) const
{
    if (!index.isValid())
        return Qt::NoItemFlags;
    const Qt::ItemFlags base = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
    return index.column() == rowNumberColumn ? base : base | Qt::ItemIsEditable;
}

QVariant CorrectionGridModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (role != Qt::DisplayRole)
        return {};
    if (orientation == Qt::Horizontal) {
        if (section == rowNumberColumn)
            return QStringLiteral("Source Row");
        // What a screen reader names the column by: the header the user reads.
        const QString name = columnName(sheetColumn(section));
        return name.trimmed().isEmpty() ? QStringLiteral("Column %1").arg(section) : name;
    }
    return section == 0 ? QStringLiteral("Source Row") : QString::number(sheetRow(section) + 1);
}

CorrectionMessagesModel::CorrectionMessagesModel(ImportFlow &flow, QObject *parent) : QAbstractListModel(parent), m_flow(flow)
{
    const auto reset = [this] {
        beginResetModel();
        // Empty while step 3 is not shown, so that no review runs for it.
        const ImportReview *review = m_flow.step() == ImportFlow::Step::corrections ? m_flow.review() : nullptr;
        m_errors = review ? review->errors.size() : 0;
        m_warnings = review ? review->warnings.size() : 0;
        endResetModel();
    };
    connect(&m_flow, &ImportFlow::reviewChanged, this, reset);
    reset();
}

int CorrectionMessagesModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_errors + m_warnings);
}

QVariant CorrectionMessagesModel::data(const QModelIndex &index, int role) const
{
    const ImportReview *review = m_flow.review();
    if (!review || !index.isValid())
        return {};
    const size_t row = size_t(index.row());
    const bool isError = row < m_errors;
    const auto &list = isError ? review->errors : review->warnings;
    const size_t at = isError ? row : row - m_errors;
    // Between a change and the coalesced reset the review may hold fewer messages.
    if (at >= list.size())
        return {};
    if (role == Qt::DisplayRole || role == Qt::ToolTipRole)
        return QString::fromStdString(list[at]);
    if (role == Qt::ForegroundRole)
        return isError ? importErrorColor() : importWarningColor();
    return {};
}
