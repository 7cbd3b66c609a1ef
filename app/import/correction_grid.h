#pragma once

#include <QWidget>

class CorrectionGridModel;
class CorrectionMessagesModel;
class ImportFlow;
class QComboBox;
class QLabel;
class QListView;
class QTableView;
class QToolButton;

// Step 3 of the import window: the filter and counts, the collapsible message list and the
// grid of cells, which scrolls both ways under a pinned header row. A cell writes into the
// flow on every keystroke; the counts and messages follow once per event-loop turn.
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

private:
    void refreshState();
    void refreshReview();
    void layOutColumns();

    ImportFlow &m_flow;
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
