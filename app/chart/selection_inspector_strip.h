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

    // Reads the selection again.
    void refresh();
    // The action button with this text, for tests; null when absent.
    QPushButton *button(const QString &text) const;

    // Whether the person strip stacks its summary above icon-only actions, as it does when
    // the one-row arrangement does not fit.
    bool isNarrow() const { return m_narrow; }

protected:
    void resizeEvent(QResizeEvent *event) override;

private:
    void clear();

    ChartView &m_view;
    QWidget *m_content = nullptr;
    bool m_narrow = false;
    int m_wideWidth = 0; // what the one-row person strip needs, measured when last shown wide
};
