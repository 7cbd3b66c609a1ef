#pragma once

#include <QFont>
#include <QLabel>

class QPainter;
class QRect;
class QString;
class QStyleOptionViewItem;
class QWidget;

// The smaller type of captions and second lines.
QFont captionFont(QFont font);

// A wrapping caption line in the secondary colour.
QLabel *makeCaption(const QString &text, QWidget *parent);

// The height of a list row's text: a title line and `detailLines` smaller detail lines.
int twoLineHeight(const QStyleOptionViewItem &option, int detailLines);
// Draws a title and, when not empty, the smaller secondary detail below it (one line per
// line of `detail`), each line elided to the width of `rect`, in the selected colours when
// the row is selected.
void paintTwoLines(QPainter &painter, const QRect &rect, const QString &title, const QString &detail,
                   const QStyleOptionViewItem &option);
// A whole list row: its background and selection as the style draws them, then its text
// (the title) and `detail` with paintTwoLines, `padding` inside the row. `styled` is the
// option a delegate's initStyleOption filled in.
void paintTwoLineRow(QPainter &painter, QStyleOptionViewItem styled, const QString &detail, int padding);

// One line of plain text that ends in "…" when its width cuts it; it asks for no more width
// than the ellipsis, so a long name never widens its row. Screen readers get the whole text.
class ElidedLabel : public QLabel {
    Q_OBJECT
public:
    using QLabel::QLabel;

    // The text as drawn at the label's width.
    QString shownText() const;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent *event) override;
};
