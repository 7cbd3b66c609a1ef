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

// The height of a list row's text: a title line and, when present, a smaller detail line.
int twoLineHeight(const QStyleOptionViewItem &option, bool hasDetail);
// Draws a title and, when not empty, a smaller secondary detail line below it, each elided
// to the width of `rect`, in the selected colours when the row is selected.
void paintTwoLines(QPainter &painter, const QRect &rect, const QString &title, const QString &detail,
                   const QStyleOptionViewItem &option);
