#include "app/shell/window_placement_button.h"

#include <QEvent>
#include <QHelpEvent>
#include <QLayout>
#include <QStyleOptionButton>
#include <QStylePainter>
#include <QToolTip>

#include <algorithm>
#include <climits>

namespace WindowPlacement {

// The text as read: "&&" is one ampersand, a single "&" only marks the mnemonic.
static QString withoutMnemonics(const QString &text)
{
    QString plain;
    plain.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] == QLatin1Char('&') && i + 1 < text.size())
            ++i;
        plain.append(text[i]);
    }
    return plain;
}

ElidingButton::ElidingButton(const QString &text, QWidget *parent) : ElidingButton(QIcon(), text, parent) {}

ElidingButton::ElidingButton(const QIcon &icon, const QString &text, QWidget *parent) : QPushButton(icon, text, parent)
{
    // A plain push button never lets a layout make it narrower than its text.
    QSizePolicy policy = sizePolicy();
    policy.setHorizontalPolicy(QSizePolicy::Preferred);
    setSizePolicy(policy);
}

int ElidingButton::textWidth() const
{
    return fontMetrics().size(Qt::TextShowMnemonic, text()).width();
}

QSize ElidingButton::minimumSizeHint() const
{
    const QSize whole = sizeHint();
    const int shortest = fontMetrics().horizontalAdvance(withoutMnemonics(text()).left(4) + QChar(0x2026));
    return QSize(whole.width() - textWidth() + std::min(shortest, textWidth()), whole.height());
}

QString ElidingButton::shownText() const
{
    if (!isElided())
        return text();
    const int room = width() - (sizeHint().width() - textWidth());
    return fontMetrics().elidedText(text(), Qt::ElideRight, std::max(room, 0), Qt::TextShowMnemonic);
}

bool ElidingButton::event(QEvent *event)
{
    if (event->type() != QEvent::ToolTip || !isElided())
        return QPushButton::event(event);
    const QString whole = withoutMnemonics(text());
    const QString tip = toolTip().isEmpty() ? whole : whole + QLatin1Char('\n') + toolTip();
    QToolTip::showText(static_cast<QHelpEvent *>(event)->globalPos(), tip, this);
    return true;
}

void ElidingButton::paintEvent(QPaintEvent *event)
{
    if (!isElided()) {
        QPushButton::paintEvent(event);
        return;
    }
    // As QPushButton paints itself, with the shorter text.
    QStylePainter painter(this);
    QStyleOptionButton option;
    initStyleOption(&option);
    option.text = shownText();
    painter.drawControl(QStyle::CE_PushButton, option);
}

int commonWidth(std::vector<int> widths, int room)
{
    std::sort(widths.begin(), widths.end());
    for (size_t i = 0; i < widths.size(); ++i) {
        // What is left, shared among the buttons not yet given their width.
        const int share = std::max(room, 0) / int(widths.size() - i);
        if (widths[i] > share)
            return share;
        room -= widths[i];
    }
    return INT_MAX;
}

namespace {

class WidestFirst : public QObject {
public:
    explicit WidestFirst(QWidget &row) : QObject(&row), m_row(row) { row.installEventFilter(this); }

    bool eventFilter(QObject *, QEvent *event) override
    {
        // A button shown, hidden or given another text asks the row for a new layout.
        if (event->type() == QEvent::Resize || event->type() == QEvent::LayoutRequest)
            share();
        return false;
    }

private:
    void share()
    {
        QLayout *layout = m_row.layout();
        if (!layout)
            return;
        std::vector<ElidingButton *> buttons;
        std::vector<int> widths;
        int others = 0;
        int shown = 0;
        for (int i = 0; i < layout->count(); ++i) {
            QLayoutItem *item = layout->itemAt(i);
            if (item->isEmpty())
                continue;
            ++shown;
            if (auto *button = qobject_cast<ElidingButton *>(item->widget())) {
                buttons.push_back(button);
                widths.push_back(button->sizeHint().width());
            } else {
                others += item->minimumSize().width();
            }
        }
        const QMargins margins = layout->contentsMargins();
        const int spacing = std::max(layout->spacing(), 0);
        const int room =
            m_row.width() - margins.left() - margins.right() - others - spacing * std::max(shown - 1, 0);
        const int cap = commonWidth(widths, room);
        for (ElidingButton *button : buttons) {
            const int widest = cap == INT_MAX ? QWIDGETSIZE_MAX : std::max(cap, button->minimumSizeHint().width());
            // Only a change: each one asks the row for a new layout again.
            if (button->maximumWidth() != widest)
                button->setMaximumWidth(widest);
        }
    }

    QWidget &m_row;
};

} // namespace

void elideWidestFirst(QWidget &row)
{
    new WidestFirst(row);
}

} // namespace WindowPlacement
