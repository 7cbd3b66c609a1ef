#pragma once

// How GoogleTest shows Qt's values in a failure: as text, not as the object's raw bytes. Every
// test program that uses Qt includes this first (see CMakeLists.txt).

#include <iosfwd>

class QString;
class QByteArray;
class QVariant;
class QPoint;
class QPointF;
class QSize;
class QSizeF;
class QRect;
class QRectF;
class QColor;
class QDate;
class QDateTime;
class QUrl;
class QModelIndex;

void PrintTo(const QString &text, std::ostream *out);
void PrintTo(const QByteArray &bytes, std::ostream *out);
void PrintTo(const QVariant &value, std::ostream *out);
void PrintTo(const QPoint &point, std::ostream *out);
void PrintTo(const QPointF &point, std::ostream *out);
void PrintTo(const QSize &size, std::ostream *out);
void PrintTo(const QSizeF &size, std::ostream *out);
void PrintTo(const QRect &rect, std::ostream *out);
void PrintTo(const QRectF &rect, std::ostream *out);
void PrintTo(const QColor &color, std::ostream *out);
void PrintTo(const QDate &date, std::ostream *out);
void PrintTo(const QDateTime &moment, std::ostream *out);
void PrintTo(const QUrl &url, std::ostream *out);
// A row of a list or tree: its text under its parents' ("Site 0 (203)" > "Vacant position").
void PrintTo(const QModelIndex &index, std::ostream *out);
