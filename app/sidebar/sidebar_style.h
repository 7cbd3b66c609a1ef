#pragma once

#include <QFont>

class QLabel;
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
