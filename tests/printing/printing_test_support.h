#pragma once

#include "core/chart/chart_layout.h"
#include "core/model/organization.h"
#include "core/model/print_settings.h"
#include "printing/chart_painter.h"

#include <QByteArray>
#include <QImage>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <functional>
#include <string>
#include <unordered_map>

// A chart assembled by hand, cards placed where a test wants them, without the layout engine.
struct TestChart {
    ChartLayout layout;
    std::unordered_map<std::string, Position> positions;
    std::unordered_map<std::string, int64_t> counts;
    DottedInk ink;

    // A 240 x 112 card for `position` with its top-left corner at (x, y).
    void addCard(const Position &position, double x, double y, double height = 112);
    // Valid until the chart changes.
    ChartPicture picture() const;

private:
    mutable std::unordered_map<std::string, const Position *> m_cards;
};

Position testPosition(const std::string &id, const std::string &title, const std::string &name);

// The PDF of `chart` with the given settings, through the renderer.
QByteArray renderTestChart(const TestChart &chart, const ChartPrintSettings &settings, const std::string &title = "Title",
                           const std::string &scope = "Scope", const std::optional<std::string> &subtitle = {});

// Text of every page as Qt PDF reads it back, with line breaks made spaces.
QStringList pageTexts(const QByteArray &pdf);

// The page's size in points as Qt PDF reads it.
QSizeF pageSize(const QByteArray &pdf, int page);

// The text a PDF reader extracts from one page that `paint` draws (one device unit a point),
// each run of white space made one space.
QString paintedText(const std::function<void(QPainter &)> &paint);

// Whether a pixel is plain white, or clearly tinted toward a colour.
bool isWhite(QRgb pixel);
