#include "qt_printers.h"

#include <QColor>
#include <QDateTime>
#include <QModelIndex>
#include <QDebug>
#include <QRectF>
#include <QString>
#include <QUrl>
#include <QStringList>
#include <QVariant>

#include <gtest/gtest.h>

#include <ostream>

// Qt's own debug form: quoted, with unprintable characters escaped.
template <typename T>
static std::string debugText(const T &value)
{
    QString text;
    QDebug(&text).nospace() << value;
    return text.toStdString();
}

void PrintTo(const QString &text, std::ostream *out) { *out << ::testing::PrintToString(text.toStdString()); }
void PrintTo(const QByteArray &bytes, std::ostream *out) { *out << ::testing::PrintToString(bytes.toStdString()); }
void PrintTo(const QVariant &value, std::ostream *out) { *out << debugText(value); }
void PrintTo(const QPoint &point, std::ostream *out) { *out << "(" << point.x() << ", " << point.y() << ")"; }
void PrintTo(const QPointF &point, std::ostream *out) { *out << "(" << point.x() << ", " << point.y() << ")"; }
void PrintTo(const QSize &size, std::ostream *out) { *out << size.width() << " x " << size.height(); }
void PrintTo(const QSizeF &size, std::ostream *out) { *out << size.width() << " x " << size.height(); }

void PrintTo(const QRect &rect, std::ostream *out)
{
    PrintTo(rect.topLeft(), out);
    *out << " ";
    PrintTo(rect.size(), out);
}

void PrintTo(const QRectF &rect, std::ostream *out)
{
    PrintTo(rect.topLeft(), out);
    *out << " ";
    PrintTo(rect.size(), out);
}

void PrintTo(const QColor &color, std::ostream *out)
{
    *out << (color.isValid() ? color.name(QColor::HexArgb).toStdString() : std::string("no color"));
}

void PrintTo(const QDate &date, std::ostream *out) { *out << date.toString(Qt::ISODate).toStdString(); }
void PrintTo(const QDateTime &moment, std::ostream *out) { *out << moment.toString(Qt::ISODateWithMs).toStdString(); }
void PrintTo(const QUrl &url, std::ostream *out) { *out << url.toString().toStdString(); }

void PrintTo(const QModelIndex &index, std::ostream *out)
{
    if (!index.isValid()) {
        *out << "no row";
        return;
    }
    QStringList path;
    for (QModelIndex row = index; row.isValid(); row = row.parent())
        path.prepend(QString::fromStdString(::testing::PrintToString(row.data().toString().toStdString())));
    *out << path.join(QStringLiteral(" > ")).toStdString();
}
