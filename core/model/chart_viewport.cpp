#include "core/model/chart_viewport.h"

#include <algorithm>
#include <cmath>

ChartViewport ChartViewport::zoomed(double logarithmicDelta, Point at) const
{
    const bool usable = std::isfinite(scale) && scale > 0 && std::isfinite(logarithmicDelta) &&
                        std::isfinite(at.x) && std::isfinite(at.y);
    if (!usable)
        return *this;
    const double lower = std::min(scale, minimumZoomScale);
    const double t = std::log(scale) + logarithmicDelta;
    double next = std::exp(t);
    if (t <= std::log(lower))
        next = lower;
    else if (t >= std::log(maximumScale))
        next = maximumScale;
    const double ratio = next / scale;
    return ChartViewport{next, Size{at.x - (at.x - offset.width) * ratio, at.y - (at.y - offset.height) * ratio}};
}

ChartViewport ChartViewport::panned(Size by) const
{
    const Size moved{offset.width + by.width, offset.height + by.height};
    const bool usable = std::isfinite(by.width) && std::isfinite(by.height) && std::isfinite(moved.width) &&
                        std::isfinite(moved.height);
    if (!usable)
        return *this;
    return ChartViewport{scale, moved};
}

Point ChartViewport::chartPoint(Point at) const
{
    return Point{(at.x - offset.width) / scale, (at.y - offset.height) / scale};
}

std::optional<Rect> ChartViewport::visibleChartRect(Size viewport) const
{
    const bool usable = std::isfinite(scale) && scale > 0 && std::isfinite(offset.width) &&
                        std::isfinite(offset.height) && std::isfinite(viewport.width) &&
                        std::isfinite(viewport.height) && viewport.width > 0 && viewport.height > 0;
    if (!usable)
        return std::nullopt;
    const Rect visible = Rect::make(-offset.width / scale, -offset.height / scale, viewport.width / scale,
                                    viewport.height / scale);
    const bool finite = std::isfinite(visible.origin.x) && std::isfinite(visible.origin.y) &&
                        std::isfinite(visible.size.width) && std::isfinite(visible.size.height);
    if (!finite)
        return std::nullopt;
    return visible;
}

Size ChartViewport::centeredOffset(const Rect &rect, double scale, Size viewport)
{
    return Size{viewport.width * 0.5 - scale * rect.midX(), viewport.height * 0.5 - scale * rect.midY()};
}

std::optional<ChartViewport> ChartViewport::fit(Size chart, Size viewport, double padding)
{
    const bool chartUsable = std::isfinite(chart.width) && std::isfinite(chart.height) && chart.width > 0 &&
                             chart.height > 0;
    if (!chartUsable)
        return std::nullopt;
    if (!(2 * padding < viewport.width && 2 * padding < viewport.height))
        return std::nullopt;
    const double scale = std::min({(viewport.width - 2 * padding) / chart.width,
                                   (viewport.height - 2 * padding) / chart.height, maximumScale});
    return ChartViewport{scale, Size{(viewport.width - chart.width * scale) / 2,
                                     (viewport.height - chart.height * scale) / 2}};
}

ChartScrollAction ChartScrollAction::resolve(double horizontal, double vertical, bool precise, bool zoomModifier)
{
    if (zoomModifier || !precise)
        return zoom(vertical * (precise ? 0.01 : 0.08));
    return pan(Size{horizontal, vertical});
}
