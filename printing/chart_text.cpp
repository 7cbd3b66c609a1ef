#include "printing/chart_text.h"

#include "core/support/number_text.h"

#include <QFontMetricsF>
#include <QPainter>
#include <QRectF>
#include <QCoreApplication>
#include <QHash>
#include <QTextLayout>
#include <QThread>

#include <cmath>
#include <memory>
#include <optional>
#include <utility>
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

namespace {

// A text laid out in a box: the lines drawn whole, and the last line cut with an ellipsis.
struct LaidOutBox {
    LaidOutBox(const QString &text, const QFont &font) : layout(text, font) {}
    QTextLayout layout;
    int wholeLines = 0;
    std::optional<QPointF> cutAt; // baseline of the cut line, from the box's corner
    QString cutLine;
};

std::shared_ptr<const LaidOutBox> layOut(const QString &text, const QFont &font, const QSizeF &size)
{
    QString laidOut = text;
    laidOut.replace(QLatin1Char('\n'), QChar::LineSeparator);
    laidOut.replace(QLatin1Char('\r'), QChar::LineSeparator);

    QTextOption option;
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    option.setUseDesignMetrics(true);
    auto box = std::make_shared<LaidOutBox>(laidOut, font);
    QTextLayout &layout = box->layout;
    layout.setTextOption(option);
    layout.setCacheEnabled(true);

    std::vector<QTextLine> shown;
    bool cut = false;
    double y = 0;
    layout.beginLayout();
    for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
        line.setLineWidth(size.width());
        if (!shown.empty() && y + line.height() > size.height()) {
            cut = true;
            break;
        }
        line.setPosition(QPointF(0, y));
        y += line.height();
        shown.push_back(line);
    }
    layout.endLayout();

    box->wholeLines = int(cut ? shown.size() - 1 : shown.size());
    if (!cut)
        return box;
    const QTextLine &last = shown.back();
    QString rest = laidOut.mid(last.textStart());
    rest.replace(QChar::LineSeparator, QLatin1Char(' '));
    const QFontMetricsF metrics(font);
    QString elided = metrics.elidedText(rest, Qt::ElideRight, size.width());
    // A forced line break can leave a rest that fits; it was still cut.
    if (elided == rest)
        elided = metrics.elidedText(rest.trimmed() + QChar(0x2026), Qt::ElideRight, size.width());
    box->cutAt = QPointF(0, last.y() + last.ascent());
    box->cutLine = elided;
    return box;
}

// A single line as QPainter::drawText lays it out: unwrapped, at the top of its box, with the
// height it is centred by.
struct LaidOutLine {
    LaidOutLine(const QString &text, const QFont &font) : layout(text, font) {}
    QTextLayout layout;
    double width = 0;
    double height = 0;
};

std::shared_ptr<const LaidOutLine> layOutLine(const QString &text, const QFont &font, Qt::LayoutDirection direction)
{
    // As drawText takes a single line: breaks and tabs are spaces.
    QString laidOut = text;
    for (QChar &c : laidOut) {
        if (c == QLatin1Char('\n') || c == QLatin1Char('\r') || c == QLatin1Char('\t'))
            c = QLatin1Char(' ');
    }
    auto line = std::make_shared<LaidOutLine>(laidOut, font);
    QTextLayout &layout = line->layout;
    QTextOption option;
    option.setTextDirection(direction);
    option.setAlignment(Qt::AlignLeft);
    layout.setTextOption(option);
    layout.setCacheEnabled(true);
    layout.beginLayout();
    QTextLine only = layout.createLine();
    if (only.isValid()) {
        only.setLineWidth(0x01000000);
        only.setPosition(QPointF(0, 0));
        // Unrounded, as drawText centres by.
        line->height = only.ascent() + only.descent();
        line->width = only.naturalTextWidth();
    }
    layout.endLayout();
    return line;
}

// Sizes compared exactly: QSizeF's own comparison is fuzzy.
struct BoxKey {
    QString text;
    QFont font;
    double width = 0;
    double height = 0;
    bool operator==(const BoxKey &) const = default;
};

size_t qHash(const BoxKey &key, size_t seed = 0)
{
    return qHashMulti(seed, key.text, key.font.pixelSize(), key.font.weight(), key.width, key.height);
}

bool onWindowThread()
{
    const QCoreApplication *application = QCoreApplication::instance();
    return application && QThread::currentThread() == application->thread();
}

void forgetKept();

// What the window's thread lays out and measures, kept: it repaints the same cards again and
// again, and shaping their texts is most of what a card costs. A few screenfuls of cards are
// kept, and freed with the application object, while its fonts still exist.
template <class Value, class Make>
Value kept(QHash<BoxKey, Value> *&store, BoxKey key, Make make)
{
    if (!onWindowThread())
        return make();
    if (!store) {
        store = new QHash<BoxKey, Value>;
        qAddPostRoutine(forgetKept);
    }
    if (const auto found = store->constFind(key); found != store->constEnd())
        return found.value();
    constexpr qsizetype most = 4000;
    if (store->size() >= most)
        store->clear();
    Value made = make();
    store->insert(std::move(key), made);
    return made;
}

QHash<BoxKey, std::shared_ptr<const LaidOutBox>> *laidOutBoxes = nullptr;
QHash<BoxKey, std::shared_ptr<const LaidOutLine>> *laidOutLines = nullptr;
QHash<BoxKey, double> *advances = nullptr;
QHash<BoxKey, QString> *elidedTexts = nullptr;

template <class Value>
void forget(QHash<BoxKey, Value> *&store)
{
    delete std::exchange(store, nullptr);
}

void forgetKept()
{
    forget(laidOutBoxes);
    forget(laidOutLines);
    forget(advances);
    forget(elidedTexts);
}

} // namespace

void drawBox(QPainter &painter, const QRectF &box, const QString &text, const QFont &font, const QColor &colour)
{
    if (text.isEmpty() || !(box.width() > 0) || !(box.height() > 0))
        return;
    const std::shared_ptr<const LaidOutBox> laidOut = kept(laidOutBoxes, BoxKey{text, font, box.width(), box.height()},
                                                           [&] { return layOut(text, font, box.size()); });
    painter.save();
    painter.setPen(colour);
    painter.setFont(font);
    for (int i = 0; i < laidOut->wholeLines; ++i)
        laidOut->layout.lineAt(i).draw(&painter, box.topLeft());
    if (laidOut->cutAt)
        painter.drawText(box.topLeft() + *laidOut->cutAt, laidOut->cutLine);
    painter.restore();
}

void drawLine(QPainter &painter, const QRectF &box, const QString &text)
{
    if (text.isEmpty() || painter.pen().style() == Qt::NoPen)
        return;
    const QFont &font = painter.font();
    const Qt::LayoutDirection direction = painter.layoutDirection();
    // The direction rides in the key's height, which a line does not otherwise need.
    const std::shared_ptr<const LaidOutLine> line =
        kept(laidOutLines, BoxKey{text, font, 0, double(direction)}, [&] { return layOutLine(text, font, direction); });
    const QRectF bounds(box.x(), box.y() + (box.height() - line->height) / 2, line->width, line->height);
    // What reaches out of the box is cut at its edges.
    const bool clip = !box.contains(bounds);
    if (clip) {
        painter.save();
        painter.setClipRect(box, Qt::IntersectClip);
    }
    line->layout.lineAt(0).draw(&painter, bounds.topLeft());
    if (clip)
        painter.restore();
}

double advance(const QString &text, const QFont &font)
{
    return kept(advances, BoxKey{text, font, -1, 0}, [&] { return QFontMetricsF(font).horizontalAdvance(text); });
}

double lineHeight(const QFont &font)
{
    return kept(advances, BoxKey{QString(), font, -2, 0}, [&] { return QFontMetricsF(font).height(); });
}

QString elided(const QString &text, const QFont &font, double width)
{
    return kept(elidedTexts, BoxKey{text, font, width, 0},
                [&] { return QFontMetricsF(font).elidedText(text, Qt::ElideRight, width); });
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
