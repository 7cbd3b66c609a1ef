#include "printing/file_names.h"

#include <QStringView>
#include <QTextBoundaryFinder>

#include <algorithm>

namespace FileNames {

QString cutToBytes(const QString &text, qsizetype maxBytes)
{
    if (text.toUtf8().size() <= maxBytes)
        return text;
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, text);
    qsizetype bytes = 0;
    qsizetype kept = 0;
    for (qsizetype start = 0, end = finder.toNextBoundary(); end > 0; start = end, end = finder.toNextBoundary()) {
        bytes += QStringView(text).mid(start, end - start).toUtf8().size();
        if (bytes > maxBytes)
            break;
        kept = end;
    }
    return text.left(kept);
}

QString fitted(const QString &base, const QString &suffix)
{
    const qsizetype room = std::max<qsizetype>(0, maximumBytes - suffix.toUtf8().size());
    return cutToBytes(base, room) + suffix;
}

} // namespace FileNames
