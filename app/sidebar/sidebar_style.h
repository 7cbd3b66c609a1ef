#pragma once

#include <QColor>
#include <QFont>
#include <QLabel>
#include <QPalette>

#include <initializer_list>
#include <span>

class QAbstractItemView;
class QPainter;
class QRect;
class QString;
class QStyleOptionViewItem;
class QWidget;

// Tells screen readers when a row of `view` is ticked or unticked. The view reports such a
// row only as changed data, which leaves a screen reader with the old state. Call after the
// view has its model.
void announceCheckedRows(QAbstractItemView *view);

// The smaller type of captions and second lines.
QFont captionFont(QFont font);

// A wrapping caption line in the secondary colour.
QLabel *makeCaption(const QString &text, QWidget *parent);

// The red of error messages and destructive actions, as wanted on a light background.
inline const QColor errorRed = QColor(215, 0, 21);
// `wanted`, moved towards black or white (whichever reads better on the first background)
// just far enough to read at least 4.5:1 on every one of `backgrounds`: a red stays red,
// darker on light and lighter on dark.
QColor readableOn(const QColor &wanted, std::initializer_list<QColor> backgrounds);
QColor readableOn(const QColor &wanted, std::span<const QColor> backgrounds);
// The same for a mark that is not text (a focus ring, an outline): at least 3:1.
QColor visibleOn(const QColor &wanted, std::initializer_list<QColor> backgrounds);
// Draws `widget`'s `role` in `wanted` made readable on its palette's `background` role, and
// again whenever the palette changes (a switch between light and dark).
void keepReadable(QWidget *widget, QPalette::ColorRole role, QPalette::ColorRole background, const QColor &wanted);

// Keeps the selected rows of `widget` readable: its highlight is the one it would inherit,
// darkened or lightened just enough for the highlighted text to read at 4.5:1 on it.
void keepSelectionReadable(QWidget *widget);

// `palette` with its secondary text (the placeholder colour, which captions and second lines
// use) made readable at 4.5:1 on both the window and the fields' base colours.
QPalette withReadableSecondaryText(QPalette palette);
// `palette` with the highlight `inherited` has (the palette's own by default) darkened or
// lightened just enough for the highlighted text to read at 4.5:1 on it.
QPalette withReadableSelection(QPalette palette, const QPalette &inherited);
inline QPalette withReadableSelection(const QPalette &palette)
{
    return withReadableSelection(palette, palette);
}
// Keeps the application's secondary text and selected rows readable, now and after every
// palette change.
void keepApplicationTextReadable();

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
