#pragma once

#include "app/entry/quick_entry_grid_model.h"

#include <QAbstractTableModel>
#include <QStyledItemDelegate>
#include <QTableView>

// The quick-entry grid as an item model: one row per grid row, the columns of the sheet.
// Every change goes through the grid model's rules; changed() follows each one.
class QuickEntryTableModel : public QAbstractTableModel {
    Q_OBJECT

public:
    enum Column { number, vacant, quantity, name, payLevel, jobTitle, department, manager, location, remove, columns };

    explicit QuickEntryTableModel(QuickEntryGridModel &grid, QObject *parent = nullptr);

    QuickEntryGridModel &grid() { return m_grid; }
    // The fixed width of a column, in pixels.
    static int columnWidth(int column);

    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;
    bool setData(const QModelIndex &index, const QVariant &value, int role = Qt::EditRole) override;

    // The remove cell's name for a screen reader: "Remove row <n>".
    static QString removeName(int row);
    // The suggestions of an autocomplete column for one row.
    QStringList options(const QModelIndex &index);

    void appendRow();
    void removeGridRow(int row);
    // See QuickEntryGridModel::beginCellEdit.
    void beginCellEdit(int row);
    void cancelCellEdit();
    void toggleVacant(int row);
    void matchPayLevel(int row);
    // See QuickEntryGridModel::paste and save.
    bool paste(const std::optional<std::string> &clipboardText);
    bool save(const QuickEntryCommit &commit);

signals:
    void changed();
    // A save or a paste gave the grid's message, perhaps in the words it already shows;
    // after changed().
    void messageGiven();

private:
    void rowChanged(int row);

    QuickEntryGridModel &m_grid;
};

// Editors of the grid's cells: plain fields for name and QTY, autocomplete fields for the
// others, a box for Vacant and a button for removing the row; it draws the Vacant box and
// the remove button of the cells not open and handles their clicks. Every keystroke is
// written to the model at once, so the Save button follows the typing.
class QuickEntryDelegate : public QStyledItemDelegate {
    Q_OBJECT

public:
    explicit QuickEntryDelegate(QuickEntryTableModel &model, QObject *parent = nullptr);

    QWidget *createEditor(QWidget *parent, const QStyleOptionViewItem &option, const QModelIndex &index) const override;
    void setEditorData(QWidget *editor, const QModelIndex &index) const override;
    void setModelData(QWidget *editor, QAbstractItemModel *model, const QModelIndex &index) const override;
    void updateEditorGeometry(QWidget *editor, const QStyleOptionViewItem &option,
                              const QModelIndex &index) const override;
    void destroyEditor(QWidget *editor, const QModelIndex &index) const override;
    void paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const override;
    bool editorEvent(QEvent *event, QAbstractItemModel *model, const QStyleOptionViewItem &option,
                     const QModelIndex &index) override;

protected:
    bool eventFilter(QObject *editor, QEvent *event) override;

signals:
    // Return in a cell: the grid adds a row.
    void returnPressed();
    void matchPayLevelRequested(int row);

private:
    QWidget *makeEditor(QWidget *parent, const QStyleOptionViewItem &option, const QModelIndex &index) const;

    QuickEntryTableModel &m_model;
    mutable QPersistentModelIndex m_symbolEditor; // a Vacant or remove cell open as a control
};

// The grid's table: Return in any cell adds a row (never saves), Tab walks the cells in
// reading order, and a new row's name field takes the focus.
class QuickEntryTableView : public QTableView {
    Q_OBJECT

public:
    explicit QuickEntryTableView(QuickEntryTableModel &model, QWidget *parent = nullptr);

    // Adds a row and starts editing its name.
    void appendRow();
    // Puts the keyboard focus in the name field of the grid's focused row.
    void focusName();

protected:
    using QTableView::edit;
    bool edit(const QModelIndex &index, EditTrigger trigger, QEvent *event) override;
    void closeEditor(QWidget *editor, QAbstractItemDelegate::EndEditHint hint) override;
    void currentChanged(const QModelIndex &current, const QModelIndex &previous) override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    void showCellMenu(const QPoint &position);

    QuickEntryTableModel &m_model;
};
