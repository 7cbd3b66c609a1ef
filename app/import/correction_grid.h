#pragma once

#include <QRect>
#include <QWidget>

class CorrectionGridModel;
class CorrectionMessagesModel;
class ImportFlow;
class QComboBox;
class QLabel;
class QListView;
class QTableView;
class QToolButton;

// Where the parts of one grid row stand: a line of text fields, then one caption line per
// message under it.
struct CorrectionRowGeometry {
    explicit CorrectionRowGeometry(const QFont &font);
    int rowHeight(int messages) const;
    // Within a cell: the line of fields, and the field itself.
    QRect lineRect(const QRect &cell) const;
    QRect fieldRect(const QRect &cell) const;
    // Within a row's whole block: its message number `index`.
    QRect messageRect(const QRect &block, int index) const;

    int fieldHeight;
    int messageHeight;
};

// Step 3 of the import window: the filter and counts, the collapsible message list and the
// grid of cells, which scrolls both ways under a pinned header row; each row's messages
// stand under its cells. A cell writes into the flow on every keystroke; the counts and
// messages follow once per event-loop turn.
class CorrectionGrid : public QWidget {
    Q_OBJECT
public:
    explicit CorrectionGrid(ImportFlow &flow, QWidget *parent = nullptr);

    CorrectionGridModel &model() const { return *m_model; }
    QTableView *table() const { return m_table; }
    QTableView *headerLine() const { return m_headerLine; }
    QComboBox *filterPicker() const { return m_filter; }
    QLabel *countsLabel() const { return m_counts; }
    QLabel *emptyLabel() const { return m_empty; }
    QListView *messageList() const { return m_messages; }
    QToolButton *messagesToggle() const { return m_messagesToggle; }
    // Where message `index` of a model row is drawn, in the table's viewport.
    QRect messageRect(int modelRow, int index) const;

private:
    void refreshState();
    void refreshReview();
    void layOutColumns();
    void fitRowsToMessages();

    ImportFlow &m_flow;
    CorrectionRowGeometry m_geometry;
    CorrectionGridModel *m_model;
    CorrectionMessagesModel *m_messageModel;
    QWidget *m_body;
    QComboBox *m_filter;
    QLabel *m_counts;
    QToolButton *m_messagesToggle;
    QListView *m_messages;
    QTableView *m_headerLine;
    QTableView *m_table;
    QLabel *m_empty;
};
