#pragma once

// The pages of a PDF as Qt PDF reads them, for the tests that check what a PDF says.

#include <QBuffer>
#include <QByteArray>
#include <QPdfDocument>
#include <QPdfSelection>
#include <QRectF>
#include <QRegularExpression>
#include <QSet>
#include <QSizeF>
#include <QStringList>

#include <vector>

struct PDFPages {
    QStringList texts;
    std::vector<QSizeF> sizes;
};

// Each page's text, with every match of `joined` (line breaks, say) made one space, and its
// size in points.
inline PDFPages readPDFPages(const QByteArray &pdf, const QRegularExpression &joined)
{
    QBuffer buffer;
    buffer.setData(pdf);
    buffer.open(QIODevice::ReadOnly);
    QPdfDocument document;
    document.load(&buffer);
    PDFPages pages;
    for (int page = 0; page < document.pageCount(); ++page) {
        pages.texts.append(document.getAllText(page).text().replace(joined, " "));
        pages.sizes.push_back(document.pagePointSize(page));
    }
    return pages;
}

// Where `text` first stands on `page`, in points from the page's top-left corner; null when
// it is not there.
inline QRectF textBounds(const QByteArray &pdf, int page, const QString &text)
{
    QBuffer buffer;
    buffer.setData(pdf);
    buffer.open(QIODevice::ReadOnly);
    QPdfDocument document;
    document.load(&buffer);
    const qsizetype at = document.getAllText(page).text().indexOf(text);
    if (at < 0)
        return QRectF();
    return document.getSelectionAtIndex(page, int(at), int(text.size())).boundingRectangle();
}

// Every character a PDF's text layer gives for its glyphs: the targets of the fonts'
// ToUnicode maps, as a reader that searches the text sees them (Qt PDF normalises some
// of them when it extracts text; other readers do not).
inline QSet<char16_t> textLayerCharacters(const QByteArray &pdf)
{
    static const QRegularExpression streams(R"(stream\r?\n(.*?)endstream)",
                                            QRegularExpression::DotMatchesEverythingOption);
    static const QRegularExpression blocks(R"(beginbf(char|range)(.*?)endbf\1)",
                                           QRegularExpression::DotMatchesEverythingOption);
    static const QRegularExpression hex(R"(<([0-9A-Fa-f]+)>)");
    QSet<char16_t> characters;
    const QString whole = QString::fromLatin1(pdf);
    for (const QRegularExpressionMatch &stream : streams.globalMatch(whole)) {
        QByteArray bytes = stream.captured(1).toLatin1();
        // Qt writes its streams deflated; qUncompress wants the size first and grows from there.
        const QByteArray inflated = qUncompress(QByteArray("\0\0\x10\0", 4) + bytes);
        const QString text = QString::fromLatin1(inflated.isEmpty() ? bytes : inflated);
        for (const QRegularExpressionMatch &block : blocks.globalMatch(text)) {
            const QStringList lines = block.captured(2).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
            for (const QString &line : lines) {
                QList<QRegularExpressionMatch> codes;
                for (const QRegularExpressionMatch &code : hex.globalMatch(line))
                    codes.append(code);
                // The targets follow the source code (bfchar) or the source range (bfrange).
                const qsizetype first = block.captured(1) == QLatin1String("char") ? 1 : 2;
                for (qsizetype i = first; i < codes.size(); ++i) {
                    const QString digits = codes[i].captured(1);
                    for (qsizetype at = 0; at + 4 <= digits.size(); at += 4)
                        characters.insert(char16_t(digits.mid(at, 4).toUShort(nullptr, 16)));
                }
            }
        }
    }
    return characters;
}
