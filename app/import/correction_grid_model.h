#pragma once

#include <QAbstractListModel>
#include <QAbstractTableModel>
#include <QString>

// moc cannot parse the standard library's C++20 headers that the JSON library pulls in.
#ifndef Q_MOC_RUN
#include "core/import/import_review.h"
#endif

#include <string>
#include <vector>

class ImportFlow;

// One message under a row of the correction grid.
struct CorrectionMessage {
    QString text;
    ImportMessageKind kind;
    bool operator==(const CorrectionMessage &) const = default;
};

// The correction grid over an import flow: model row 0 is the sheet's header row (pinned
// by the view), then one row per shown sheet row; column 0 holds the spreadsheet row
// number, then one column per sheet column. A row's messages stand under its cells (the
// view draws them from messages()). Rows are addressed by index into the flow's shown
// rows, so a 20,000-row sheet costs one int per row here; cells are read on demand.
class CorrectionGridModel : public QAbstractTableModel {
    Q_OBJECT
public:
    static constexpr int rowNumberColumn = 0;

    explicit CorrectionGridModel(ImportFlow &flow, QObject *parent = nullptr);

    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    bool setData(const QModelIndex &index, const QVariant &value, int role = Qt::EditRole) override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

    // The row's errors, then its warnings, each in review order; none for the header row.
    std::vector<CorrectionMessage> messages(int modelRow) const;
    // Their number, without copying them.
    int messageCount(int modelRow) const;

    // The 0-based sheet row and column of a model index; -1 for the row number column.
    int sheetRow(int modelRow) const;
    static int sheetColumn(int modelColumn) { return modelColumn - 1; }
    // The model row that shows a sheet row, or -1.
    int modelRow(int sheetRow) const;

private:
    // Resets when the columns shown change, and when the rows do while no row is held;
    // otherwise only repaints. While a cell editor holds its row (ImportFlow::holdRow), the
    // rows that come and go are inserted and removed one range at a time, so the editor and
    // its typing stay.
    void refresh();
    void moveRowsTo(const std::vector<int> &rows);
    QString columnName(int column) const;

    ImportFlow &m_flow;
    std::vector<int> m_rows;
    int m_headerRow = 0;
    int m_columns = 0;
    bool m_hasSheet = false;
};

// "All Validation Messages": every error of the review in red, then every warning in orange.
class CorrectionMessagesModel : public QAbstractListModel {
    Q_OBJECT
public:
    explicit CorrectionMessagesModel(ImportFlow &flow, QObject *parent = nullptr);

    int rowCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;

private:
    ImportFlow &m_flow;
    size_t m_errors = 0;
    size_t m_warnings = 0;
};

// The colours of errors and warnings in the grid and the message list.
QColor importErrorColor();
QColor importWarningColor();
