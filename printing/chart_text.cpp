#include "printing/chart_text.h"

#include "core/support/number_text.h"

#include <QFontMetricsF>
#include <QPainter>
#include <QRectF>
#include <QTextLayout>

#include <cmath>
#include <vector>

namespace ChartText {

QFont font(int size, Weight weight)
{
    // Families named outright: a fallback chosen per machine would move every line break.
    // Symbola only draws what DejaVu Sans lacks (emoji in names); it is monochrome and
    // outlined, so it goes into PDFs as a small embedded font, where a colour bitmap emoji
    // font leaves a blank. Screen and paper share it, so text wraps alike on both.
    QFont f(QStringLiteral("DejaVu Sans"));
    f.setFamilies({QStringLiteral("DejaVu Sans"), QStringLiteral("Symbola")});
    f.setStyleHint(QFont::SansSerif, QFont::PreferOutline);
    f.setHintingPreference(QFont::PreferNoHinting);
    f.setPixelSize(size);
    f.setWeight(weight == Weight::bold ? QFont::Bold : QFont::Normal);
    // Any letter spacing, even the 100 % that changes no advance, makes Qt shape without
    // ligatures. A ligature glyph goes into a PDF's text layer as one character ("ﬃ" for
    // "ffi"), where a reader's search for "Office" cannot find it.
    f.setLetterSpacing(QFont::PercentageSpacing, 100);
    return f;
}

void drawBox(QPainter &painter, const QRectF &box, const QString &text, const QFont &font, const QColor &colour)
{
    if (text.isEmpty() || !(box.width() > 0) || !(box.height() > 0))
        return;
    QString laidOut = text;
    laidOut.replace(QLatin1Char('\n'), QChar::LineSeparator);
    laidOut.replace(QLatin1Char('\r'), QChar::LineSeparator);

    QTextOption option;
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    option.setUseDesignMetrics(true);
    QTextLayout layout(laidOut, font);
    layout.setTextOption(option);
    layout.setCacheEnabled(true);

    std::vector<QTextLine> shown;
    bool cut = false;
    double y = 0;
    layout.beginLayout();
    for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
        line.setLineWidth(box.width());
        if (!shown.empty() && y + line.height() > box.height()) {
            cut = true;
            break;
        }
        line.setPosition(QPointF(0, y));
        y += line.height();
        shown.push_back(line);
    }
    layout.endLayout();

    painter.save();
    painter.setPen(colour);
    painter.setFont(font);
    const size_t whole = cut ? shown.size() - 1 : shown.size();
    for (size_t i = 0; i < whole; ++i)
        shown[i].draw(&painter, box.topLeft());
    if (cut) {
        const QTextLine &last = shown.back();
        QString rest = laidOut.mid(last.textStart());
        rest.replace(QChar::LineSeparator, QLatin1Char(' '));
        const QFontMetricsF metrics(font);
        QString elided = metrics.elidedText(rest, Qt::ElideRight, box.width());
        // A forced line break can leave a rest that fits; it was still cut.
        if (elided == rest)
            elided = metrics.elidedText(rest.trimmed() + QChar(0x2026), Qt::ElideRight, box.width());
        painter.drawText(box.topLeft() + QPointF(0, last.y() + last.ascent()), elided);
    }
    painter.restore();
}

QString decimal(double value, int maxFractionDigits, const QLocale &locale)
{
    if (!std::isfinite(value))
        return locale.toString(value);
    QString text = locale.toString(value, 'f', maxFractionDigits);
    const QString point = locale.decimalPoint();
    const int at = text.lastIndexOf(point);
    if (at < 0)
        return text;
    const QString zero = locale.zeroDigit();
    while (text.endsWith(zero) && text.size() > at + point.size())
        text.chop(zero.size());
    if (text.size() == at + point.size())
        text.chop(point.size());
    return text;
}

QString fteInFull(double value, const QLocale &locale)
{
    const QString text = decimal(value, 3, locale);
    bool read = false;
    const bool showsZero = value != 0 && locale.toDouble(text, &read) == 0 && read;
    if (!showsZero)
        return text;
    return QString::fromStdString(NumberText::shortestDecimal(value)).replace(QLatin1Char('.'), locale.decimalPoint());
}

QString fte(double value, const QLocale &locale)
{
    constexpr qsizetype longest = 10;
    const QString text = fteInFull(value, locale);
    if (text.size() <= longest)
        return text;
    // Cut the digits, never the exponent: "1.23…e-07" must not read as about one.
    const qsizetype e = text.indexOf(QLatin1Char('e'));
    const QString exponent = e < 0 ? QString() : text.mid(e);
    return text.left(longest - 1 - exponent.size()) + QChar(0x2026) + exponent;
}

} // namespace ChartText
