#pragma once

#include <QWidget>

class ChartView;
class QPushButton;

// The selection inspector under the chart: a person's summary and actions, or a group
// card's members. Drawn from SelectionInspector::strip; hidden when there is nothing to show.
class SelectionInspectorStrip : public QWidget {
    Q_OBJECT
public:
    explicit SelectionInspectorStrip(ChartView &view, QWidget *parent = nullptr);

    // Reads the selection again. The strip is made anew each time: the keyboard stays on the
    // action that had it, or, where that one is gone or disabled (Make Vacant… on the vacancy
    // it made), goes to `setKeyboardHome`'s widget rather than wherever Qt would send it.
    void refresh();
    void setKeyboardHome(QWidget *home) { m_keyboardHome = home; }
    // The action button with this text, for tests; null when absent.
    QPushButton *button(const QString &text) const;

    // Whether the person strip stacks its summary above icon-only actions, as it does when
    // the one-row arrangement does not fit.
    bool isNarrow() const { return m_narrow; }

protected:
    void resizeEvent(QResizeEvent *event) override;

private:
    void clear();
    void giveKeyboardBack(const QString &action);

    ChartView &m_view;
    QWidget *m_content = nullptr;
    QWidget *m_keyboardHome = nullptr;
    bool m_narrow = false;
    int m_wideWidth = 0; // what the one-row person strip needs, measured when last shown wide
};
