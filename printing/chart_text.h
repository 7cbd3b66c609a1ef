#pragma once

#include <QColor>
#include <QFont>
#include <QLocale>
#include <QString>

class QPainter;
class QRectF;

// Text on charts and printed pages: font families resolved by name, sizes in drawing units
// (chart or page points), so that screen, PDF and preview lay text out alike.
namespace ChartText {

enum class Weight { regular, bold };

// DejaVu Sans at `size` units, unhinted, so line breaks do not depend on the device; the
// emoji and symbols it lacks come from Symbola. No ligatures, so each letter stays a
// letter in a PDF's text.
QFont font(int size, Weight weight = Weight::regular);

// Draws `text` in `colour` (black unless given) into `box`: wrapped at word boundaries (a word wider than the box
// is broken), lines that do not fit below are dropped, and the last line shown ends with
// an ellipsis when anything was dropped. The first line is always drawn.
void drawBox(QPainter &painter, const QRectF &box, const QString &text, const QFont &font,
             const QColor &colour = Qt::black);

// One line in `box` in the painter's font and pen, left-aligned and centred in its height:
// what QPainter::drawText draws with Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine,
// but laid out once per text and font on the window's thread (badges repaint with every card).
void drawLine(QPainter &painter, const QRectF &box, const QString &text);

// QFontMetricsF's horizontalAdvance, height and right-elided text, kept on the window's
// thread as drawn boxes are: a card measures its texts on every repaint.
double advance(const QString &text, const QFont &font);
double lineHeight(const QFont &font);
QString elided(const QString &text, const QFont &font, double width);

// `value` in `locale`'s own style with at most `maxFractionDigits` fraction digits,
// trailing zeros dropped: 62.5, 100, 33.33.
QString decimal(double value, int maxFractionDigits, const QLocale &locale = QLocale());

// An FTE as cards and their spoken labels give it: `decimal` with three fraction digits, but
// a value that would read 0 there in its shortest exact form ("4e-05", "1e-320"), so that no
// position with a share shows none.
QString fteInFull(double value, const QLocale &locale = QLocale());

// An FTE as cards and the inspector show it: `fteInFull` cut with "…" past ten characters
// (before an exponent, which stays), so that an absurd value read from a file keeps to its
// place.
QString fte(double value, const QLocale &locale = QLocale());

} // namespace ChartText
