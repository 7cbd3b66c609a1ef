#pragma once

#include <QByteArray>

#include <optional>
#include <string>

struct ChartPagination;
struct ChartPicture;
struct ChartPrintSettings;
struct Organization;

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

// The pages of a chart already laid out, in the tiling's order. `title` is the first
// heading line; the second is the trimmed `subtitle` when it is not blank, else "Positions
// only" when names are hidden, else `scope` as given. Every page draws only what can show
// on it. Throws OrganizationError("Could not create the PDF.") when no PDF can be started.
QByteArray renderPages(const ChartPicture &picture, const ChartPagination &pagination, const std::string &title,
                       const std::string &scope, const std::optional<std::string> &subtitle);

} // namespace ChartPDFRenderer
