#pragma once

#include <QFont>
#include <QHash>
#include <QRect>
#include <QString>
#include <QWidget>

class CorrectionGridModel;
class CorrectionMessagesModel;
class ImportFlow;
class QComboBox;
class QLabel;
class QListView;
class QPainter;
class QTableView;
class QToolButton;

// Messages in the caption font wrapped to their pane's width, at spaces and, for a word longer
// than a line, inside it. What is measured is kept: a review after a keystroke leaves nearly
// every message as it was, and a 20,000-row sheet may have as many. A message's width on one
// line is kept whatever the pane's, so a new width lays out again only those longer than it.
class WrappedMessages {
public:
    explicit WrappedMessages(const QFont &font);
    int height(const QString &text, int width) const;
    // Draws `text` in the painter's pen, wrapped to the width of `rect` from its top left.
    void draw(QPainter &painter, const QRect &rect, const QString &text) const;

private:
    QFont m_font;
    int m_lineHeight;
    mutable QHash<QString, int> m_oneLineWidths;
    mutable int m_width = -1;
    mutable QHash<QString, int> m_wrappedHeights; // at m_width
};

// Where the parts of one grid row stand: a line of text fields, then the row's messages
// under it, each wrapped to the pane.
struct CorrectionRowGeometry {
    explicit CorrectionRowGeometry(const QFont &font);
    // A row whose `count` messages are `messagesHeight` high together.
    int rowHeight(int count, int messagesHeight) const;
    // Within a cell: the line of fields, and the field itself.
    QRect lineRect(const QRect &cell) const;
    QRect fieldRect(const QRect &cell) const;
    // The top of a row's first message, within its block.
    int firstMessageTop(const QRect &block) const;

    int fieldHeight;
    WrappedMessages messages;
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
    // Where message `index` of a model row is drawn, in the table's viewport: across the
    // pane, however far the cells are scrolled.
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
