#pragma once

// The pages of a PDF as Qt PDF reads them, for the tests that check what a PDF says.

#include <QBuffer>
#include <QByteArray>
#include <QPdfDocument>
#include <QRegularExpression>
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
