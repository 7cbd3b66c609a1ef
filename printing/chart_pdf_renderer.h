#pragma once

#include "core/chart/chart_layout.h"
#include "core/chart/chart_print_presentation.h"
#include "core/chart/dotted_route_store.h"
#include "core/model/print_settings.h"

#include <QByteArray>
#include <QPageLayout>
#include <QString>

#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <stop_token>
#include <string>
#include <unordered_map>

class QPainter;
struct DottedInk;
struct ChartPicture;
struct Organization;

// One chart made ready for paper, all but its dotted lines: the printed presentation, its
// layout and tiling, and the key its dotted routes are stored under. A preview draws the
// cards from it at once (an empty ink) and the lines when a DottedRoutingJob on
// routingKey() has them; an export takes them from the store or routes them on its thread.
class PrintedChart {
public:
    // Throws the OrganizationError of the presentation, the layout or the tiling unchanged.
    PrintedChart(const Organization &organization, const ChartPrintSettings &settings);
    PrintedChart(const PrintedChart &) = delete;
    PrintedChart &operator=(const PrintedChart &) = delete;

    const ChartLayout &layout() const { return m_layout; }
    const ChartPagination &pagination() const { return m_pagination; }
    const std::shared_ptr<const DottedRoutingKey> &routingKey() const { return m_routingKey; }
    // What the painter draws, with `ink` for the dotted lines; borrows from this chart.
    ChartPicture picture(const DottedInk &ink) const;

private:
    ChartPrintPresentation m_presentation;
    ChartLayout m_layout;
    ChartPagination m_pagination;
    std::unordered_map<std::string, const Position *> m_positions;
    std::shared_ptr<const DottedRoutingKey> m_routingKey;
};

// Where a PDF's dotted lines come from, and how its caller follows and stops the routing and
// the pages.
struct ChartPDFRouting {
    // Routes taken from here when it has them for the chart's key (the window's store holds
    // the lines it shows), and kept here when they had to be made. Null: routed alone.
    std::shared_ptr<DottedRouteStore> store;
    // Once requested, routing stops and no PDF is made.
    std::stop_token stop;
    // Lines routed of all, after each line, on the rendering thread; not called when the
    // lines were already there.
    std::function<void(size_t done, size_t total)> progress;
    // Pages written of all, after each page, on the rendering thread. The stop above also
    // ends the pages: no PDF is made.
    std::function<void(size_t done, size_t total)> pageDone;
};

// The pages of one chart, ready to be drawn one at a time onto any paged device: the PDF
// writer, a printer. Borrows the picture and the tiling, which must outlive it.
class ChartPages {
public:
    // `title` is the first heading line; the second is the trimmed `subtitle` when it is not
    // blank, else "Positions only" when names are hidden, else `scope` as given.
    ChartPages(const ChartPicture &picture, const ChartPagination &pagination, const std::string &title,
               const std::string &scope, const std::optional<std::string> &subtitle);

    size_t count() const { return m_pagination.tiles.size(); }
    // The paper of every page: the settings' size and orientation, no margins.
    QPageLayout pageLayout() const;
    // Page `index` (from 0, in the tiling's order) in page points, the origin at the paper's
    // top-left corner. Draws only what can show on the page.
    void draw(QPainter &painter, size_t index) const;

private:
    const ChartPicture &m_picture;
    const ChartPagination &m_pagination;
    QString m_title;
    QString m_secondLine;
};

// The one producer of chart PDFs: export, printing, the preview and the export of every
// chart all print through it. Each tile of the page tiling becomes one page with two
// heading lines, the part of the chart that falls on it, a footer and trim guides.
namespace ChartPDFRenderer {

// The PDF of one chart: `organization` is what the chart shows, already reduced to one
// sheet. Builds the printed presentation, its layout, the tiling and the dotted lines
// once, then one page per tile as renderPages does. Throws the OrganizationError of the
// presentation, the layout or the tiling unchanged, or "Could not create the PDF.".
// Cost: the layout and the dotted-line routing once, then each page draws only what
// falls on it; 1,000 positions on 423 Letter pages take about half a second.
QByteArray render(const Organization &organization, const std::string &title, const std::string &scope,
                  const ChartPrintSettings &settings, const std::optional<std::string> &subtitle);
// As above, with the dotted lines as `routing` says; nothing once routing.stop is requested.
// Run it off the main thread when the store may lack the chart's routes: routing a large
// chart takes seconds to minutes, and the pages are written only after it.
std::optional<QByteArray> render(const Organization &organization, const std::string &title,
                                 const std::string &scope, const ChartPrintSettings &settings,
                                 const std::optional<std::string> &subtitle, const ChartPDFRouting &routing);

// The pages of a chart already laid out (ChartPages), in the tiling's order. Throws
// OrganizationError("Could not create the PDF.") when no PDF can be started.
QByteArray renderPages(const ChartPicture &picture, const ChartPagination &pagination, const std::string &title,
                       const std::string &scope, const std::optional<std::string> &subtitle);
// As above, reporting each page to `pageDone` and stopping, with no PDF, once `stop` is
// requested between two pages.
std::optional<QByteArray> renderPages(const ChartPicture &picture, const ChartPagination &pagination,
                                      const std::string &title, const std::string &scope,
                                      const std::optional<std::string> &subtitle, std::stop_token stop,
                                      const std::function<void(size_t done, size_t total)> &pageDone);

} // namespace ChartPDFRenderer
