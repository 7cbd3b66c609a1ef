#include "app/chart/chart_navigation_surface.h"

#include "app/chart/chart_canvas_input.h"
#include "app/sidebar/sidebar_style.h"

#include <QContextMenuEvent>
#include <QElapsedTimer>
#include <QCursor>
#include <QMouseEvent>
#include <QNativeGestureEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QResizeEvent>
#include <QPixmap>
#include <QToolTip>
#include <QWheelEvent>

#include <algorithm>
#include <limits>
#include <cmath>
#include <utility>

static Size toSize(const QPointF &point)
{
    return Size{point.x(), point.y()};
}

ChartNavigationSurface::ChartNavigationSurface(QWidget *parent) : QWidget(parent)
{
    // Every pixel is painted, which lets a pan scroll what is drawn and repaint only the
    // strip it uncovers.
    setAttribute(Qt::WA_OpaquePaintEvent);
    // The camera stays where it was when the view is resized (a strip shown or hidden beside
    // it): what is drawn keeps its place, and only what a larger view uncovers is painted.
    setAttribute(Qt::WA_StaticContents);
    setMouseTracking(true);
    setFocusPolicy(Qt::StrongFocus);
    m_commitTimer.setSingleShot(true);
    m_commitTimer.setInterval(commitDelayMs);
    connect(&m_commitTimer, &QTimer::timeout, this, &ChartNavigationSurface::commit);
    m_sliceTimer.setSingleShot(true);
    connect(&m_sliceTimer, &QTimer::timeout, this, &ChartNavigationSurface::repaintNextSlice);
    setToolTip(QStringLiteral("Two fingers on the trackpad pan. Pinch to zoom at the pointer. Mouse wheel, "
                              "Ctrl-scroll or Alt-scroll zooms; click-drag also pans."));
}

ChartViewport ChartNavigationSurface::displayedCamera() const
{
    return m_camera.panned(toSize(m_drag));
}

QRect ChartNavigationSurface::viewRect(const Rect &chart) const
{
    const ChartViewport camera = displayedCamera();
    return QRectF(chart.minX() * camera.scale + camera.offset.width, chart.minY() * camera.scale + camera.offset.height,
                  chart.width() * camera.scale, chart.height() * camera.scale)
        .toAlignedRect();
}

void ChartNavigationSurface::setZoom(double zoom)
{
    m_zoom = zoom;
    // Against the camera, not the value last committed: a re-fit to the same zoom must undo
    // a wheel zoom that has not been committed yet.
    if (zoom == m_camera.scale)
        return;
    ChartViewport next = m_camera;
    next.scale = zoom;
    takeOver(next);
}

void ChartNavigationSurface::setPan(Size pan)
{
    m_pan = pan;
    if (pan == m_camera.offset)
        return;
    ChartViewport next = m_camera;
    next.offset = pan;
    takeOver(next);
}

void ChartNavigationSurface::takeOver(const ChartViewport &next)
{
    cancelCommit();
    // The owner's zoom is a settled one: draw it sharp, not scaled from the last picture.
    if (std::exchange(m_liveZoom, false))
        update();
    updateCamera(next);
}

void ChartNavigationSurface::setClickableRects(std::vector<Rect> rects)
{
    if (rects == m_clickableRects)
        return;
    m_clickableRects = std::move(rects);
    scheduleCursorRefresh();
}

Rect ChartNavigationSurface::visibleChartRect() const
{
    return displayedCamera().visibleChartRect(Size{double(width()), double(height())}).value_or(Rect::null());
}

void ChartNavigationSurface::updateCamera(const ChartViewport &next)
{
    // Exact comparison: a step that changes nothing repaints nothing.
    if (next == m_camera)
        return;
    const ChartViewport previous = displayedCamera();
    m_camera = next;
    present(previous, displayedCamera());
}

void ChartNavigationSurface::present(const ChartViewport &previous, const ChartViewport &next)
{
    const double dx = next.offset.width - previous.offset.width;
    const double dy = next.offset.height - previous.offset.height;
    const bool wholePixels = dx == std::round(dx) && dy == std::round(dy);
    if (next.scale == previous.scale && wholePixels && std::abs(dx) < width() && std::abs(dy) < height()) {
        scroll(int(dx), int(dy));
        // What waits to be drawn again moved with what is drawn.
        m_pending.translate(int(dx), int(dy));
        m_pending &= rect();
    } else {
        update();
    }
    cameraChanged();
    scheduleCursorRefresh();
}

void ChartNavigationSurface::pan(Size translation)
{
    updateCamera(m_camera.panned(translation));
    scheduleCommit();
}

void ChartNavigationSurface::zoomAt(double logarithmicDelta, const QPointF &at)
{
    // A large chart takes longer to draw than a zoom step lasts: until the zoom settles,
    // frames scale the last sharp picture.
    m_liveZoom = true;
    updateCamera(m_camera.zoomed(logarithmicDelta, Point{at.x(), at.y()}));
    scheduleCommit();
}

void ChartNavigationSurface::interactionEnded()
{
    m_trackpadPanning = false;
    commit();
    scheduleCursorRefresh();
}

void ChartNavigationSurface::scheduleCommit()
{
    // Every step pushes the commit back: the owner hears once per settled interaction.
    m_commitTimer.start();
}

void ChartNavigationSurface::cancelCommit()
{
    m_commitTimer.stop();
}

void ChartNavigationSurface::commitPending()
{
    if (hasPendingCommit())
        commit();
}

void ChartNavigationSurface::commit()
{
    cancelCommit();
    if (m_liveZoom) {
        m_liveZoom = false;
        update();
    }
    if (m_zoom != m_camera.scale) {
        m_zoom = m_camera.scale;
        emit zoomCommitted(m_zoom);
    }
    if (m_pan != m_camera.offset) {
        m_pan = m_camera.offset;
        emit panCommitted(m_pan);
    }
}

bool ChartNavigationSurface::event(QEvent *event)
{
    if (event->type() == QEvent::NativeGesture) {
        nativeGesture(static_cast<QNativeGestureEvent *>(event));
        return true;
    }
    return QWidget::event(event);
}

void ChartNavigationSurface::nativeGesture(QNativeGestureEvent *event)
{
    switch (event->gestureType()) {
    case Qt::ZoomNativeGesture:
        if (const double delta = ChartCanvasInput::pinchDelta(event->value()); delta != 0)
            zoomAt(delta, event->position());
        break;
    case Qt::EndNativeGesture: interactionEnded(); break;
    default: break;
    }
    event->accept();
}

void ChartNavigationSurface::wheelEvent(QWheelEvent *event)
{
    const ChartCanvasInput::WheelStep step = ChartCanvasInput::wheelStep(*event);
    if (step.action.kind == ChartScrollAction::Kind::pan) {
        if (step.action.translation != Size{}) {
            m_trackpadPanning = step.inGesture;
            pan(step.action.translation);
        }
    } else if (step.action.logarithmicDelta != 0) {
        zoomAt(step.action.logarithmicDelta, event->position());
    }
    if (step.ended)
        interactionEnded();
    scheduleCursorRefresh();
    // Every scroll over the chart is the chart's, even one that moved nothing.
    event->accept();
}

void ChartNavigationSurface::mousePressEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton) {
        QWidget::mousePressEvent(event);
        return;
    }
    m_pressed = true;
    m_dragging = false;
    m_pressPoint = event->position();
    event->accept();
}

void ChartNavigationSurface::mouseMoveEvent(QMouseEvent *event)
{
    scheduleCursorRefresh();
    if (!m_pressed || !(event->buttons() & Qt::LeftButton))
        return;
    const QPointF translation = event->position() - m_pressPoint;
    if (!m_dragging && std::hypot(translation.x(), translation.y()) < dragThreshold)
        return;
    m_dragging = true;
    const ChartViewport previous = displayedCamera();
    m_drag = translation;
    // An interrupted commit would write a camera that no longer shows.
    cancelCommit();
    present(previous, displayedCamera());
}

void ChartNavigationSurface::mouseReleaseEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton || !m_pressed) {
        QWidget::mouseReleaseEvent(event);
        return;
    }
    m_pressed = false;
    const bool secondClick = std::exchange(m_doubleClicked, false);
    if (m_dragging) {
        const ChartViewport shown = displayedCamera();
        m_dragging = false;
        m_drag = QPointF();
        m_camera = m_camera.panned(toSize(event->position() - m_pressPoint));
        if (!(m_camera == shown))
            present(shown, m_camera);
        commit();
        scheduleCursorRefresh();
        return;
    }
    // The first click of a double click has already been reported.
    if (!secondClick)
        chartClicked(displayedCamera().chartPoint(Point{event->position().x(), event->position().y()}), event->position());
}

void ChartNavigationSurface::mouseDoubleClickEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton) {
        QWidget::mouseDoubleClickEvent(event);
        return;
    }
    // The second press of a double click can also start a drag.
    m_pressed = true;
    m_dragging = false;
    m_pressPoint = event->position();
    m_doubleClicked = true;
    chartDoubleClicked(displayedCamera().chartPoint(Point{event->position().x(), event->position().y()}),
                       event->position());
}

void ChartNavigationSurface::contextMenuEvent(QContextMenuEvent *event)
{
    const QPointF at = event->pos();
    chartContextMenu(displayedCamera().chartPoint(Point{at.x(), at.y()}), event->globalPos());
}

void ChartNavigationSurface::leaveEvent(QEvent *event)
{
    unsetCursor();
    QWidget::leaveEvent(event);
}

void ChartNavigationSurface::scheduleCursorRefresh()
{
    if (m_cursorRefreshPending)
        return;
    m_cursorRefreshPending = true;
    QMetaObject::invokeMethod(
        this,
        [this] {
            m_cursorRefreshPending = false;
            refreshCursor();
        },
        Qt::QueuedConnection);
}

void ChartNavigationSurface::refreshCursor()
{
    const QPointF at = mapFromGlobal(QCursor::pos());
    if (!rect().contains(at.toPoint()))
        return;
    setCursor(ChartCanvasInput::cursorShape(at, displayedCamera(), m_clickableRects,
                                            m_dragging || m_trackpadPanning));
}

void ChartNavigationSurface::contentChanged()
{
    m_snapshot = QPixmap();
    m_pending = QRegion();
    m_sliceTimer.stop();
    m_restoredExcept.reset();
    update();
}

std::optional<ChartNavigationSurface::Picture> ChartNavigationSurface::shownPicture() const
{
    // Parts still to draw again leave the picture behind what is shown.
    if (m_liveZoom || m_restoredExcept || !m_pending.isEmpty() || m_snapshot.isNull() ||
        !(m_snapshotCamera == displayedCamera()) || m_snapshot.size() != size() * devicePixelRatioF())
        return std::nullopt;
    return Picture{m_snapshot, m_snapshotCamera};
}

void ChartNavigationSurface::contentRestored(const Picture &picture, const std::vector<Rect> &areas)
{
    // A picture of a view since resized (a strip shown or hidden beside it) serves where it
    // still covers the view: the camera is the same.
    if (m_liveZoom || !(picture.camera == displayedCamera()) || picture.pixels.devicePixelRatio() != devicePixelRatioF()) {
        contentChanged();
        return;
    }
    QRegion except = uncoveredBy(picture.pixels);
    m_snapshot = fittedToView(picture.pixels);
    m_snapshotCamera = picture.camera;
    // What was pending concerned the picture replaced: `areas` say what differs from this one.
    m_pending = QRegion();
    m_sliceTimer.stop();
    for (const Rect &area : areas)
        except += viewRect(area).adjusted(-1, -1, 1, 1) & rect();
    m_restoredExcept = except;
    update();
}

QRegion ChartNavigationSurface::uncoveredBy(const QPixmap &pixels) const
{
    return QRegion(rect()) - QRect(QPoint(), pixels.deviceIndependentSize().toSize());
}

QPixmap ChartNavigationSurface::fittedToView(const QPixmap &pixels) const
{
    const QSize size = this->size() * devicePixelRatioF();
    if (pixels.size() == size)
        return pixels;
    QPixmap fitted(size);
    fitted.setDevicePixelRatio(devicePixelRatioF());
    // Until drawn, what is uncovered shows as the space around the chart does.
    fitted.fill(underPageColour(palette()));
    QPainter painter(&fitted);
    painter.setCompositionMode(QPainter::CompositionMode_Source);
    painter.drawPixmap(0, 0, pixels);
    return fitted;
}

namespace {

// A frame's worth of drawing; and the pause after a slice, as a multiple of what it took, so
// that drawing over several frames leaves most of the main thread to input and routing.
constexpr double sliceBudgetMs = 12;
constexpr double slicePauseFactor = 3;
constexpr int tile = 64;
// Up to so many changed parts are drawn as they are, not as the tiles they meet; up to so
// many more, as the smaller tiles they meet.
constexpr size_t exactParts = 64;
constexpr size_t smallTileParts = 1024;
constexpr int smallTile = 16;

// Where `part` meets the tiles of the view, row by row.
std::vector<QRect> tilesOf(const QRect &part)
{
    std::vector<QRect> cells;
    for (int y = part.top() / tile * tile; y <= part.bottom(); y += tile)
        for (int x = part.left() / tile * tile; x <= part.right(); x += tile)
            cells.push_back(QRect(x, y, tile, tile) & part);
    return cells;
}

} // namespace

void ChartNavigationSurface::contentChangedIn(const std::vector<Rect> &areas)
{
    if (m_liveZoom) {
        contentChanged();
        return;
    }
    // Each painted part costs a pass over what the chart holds: tiles keep them few. Fewer
    // changes are drawn as they are, or in smaller tiles: the lines of a card picked out
    // cross the view a few pixels high, where tiles of the full size would be whole rows of it.
    std::vector<QRect> shownAreas;
    shownAreas.reserve(areas.size());
    for (const Rect &area : areas) {
        // A pixel more on each side for the antialiased edges.
        const QRect shown = viewRect(area).adjusted(-1, -1, 1, 1) & rect();
        if (!shown.isEmpty())
            shownAreas.push_back(shown);
    }
    if (shownAreas.size() <= exactParts) {
        QRegion exact;
        for (const QRect &shown : shownAreas)
            exact += shown;
        if (exact.rectCount() <= int(exactParts)) {
            changedIn(exact);
            return;
        }
    }
    const int cell = shownAreas.size() <= smallTileParts ? smallTile : tile;
    const int columns = (width() + cell - 1) / cell;
    const int rows = (height() + cell - 1) / cell;
    if (columns <= 0 || rows <= 0)
        return;
    std::vector<char> dirty(size_t(columns) * size_t(rows), 0);
    for (const QRect &shown : shownAreas) {
        for (int row = shown.top() / cell; row <= shown.bottom() / cell; ++row)
            std::fill_n(dirty.begin() + row * columns + shown.left() / cell, shown.right() / cell - shown.left() / cell + 1,
                        1);
    }
    // Runs of dirty tiles on each row, a run of rows alike as one rectangle.
    QRegion region;
    std::vector<std::pair<int, int>> runs;
    std::vector<std::pair<int, int>> previousRuns;
    int runsFrom = 0;
    const auto flush = [&](int rowEnd) {
        for (const auto &[from, to] : previousRuns)
            region += QRect(from * cell, runsFrom * cell, (to - from) * cell, (rowEnd - runsFrom) * cell) & rect();
    };
    for (int row = 0; row < rows; ++row) {
        runs.clear();
        for (int column = 0; column < columns;) {
            if (!dirty[size_t(row * columns + column)]) {
                ++column;
                continue;
            }
            const int from = column;
            while (column < columns && dirty[size_t(row * columns + column)])
                ++column;
            runs.emplace_back(from, column);
        }
        if (runs != previousRuns) {
            flush(row);
            previousRuns = runs;
            runsFrom = row;
        }
    }
    flush(rows);
    changedIn(region);
}

void ChartNavigationSurface::changedIn(const QRegion &region)
{
    if (region.isEmpty())
        return;
    m_pending += region;
    // Past a dozen parts, one pass over everything costs less, when it fits in a frame.
    if (m_pending.rectCount() > 12 && std::max(0.0, m_passMs) + m_msPerPixel * width() * height() <= sliceBudgetMs) {
        contentChanged();
        return;
    }
    // A restored picture yet to show takes these with what differs from it, when it shows.
    if (!m_sliceTimer.isActive() && !m_restoredExcept)
        repaintNextSlice();
}

void ChartNavigationSurface::repaintNextSlice()
{
    // A live zoom shows the last sharp picture scaled; its end draws everything anew.
    if (m_pending.isEmpty() || m_liveZoom)
        return;
    const double budget = sliceBudgetMs - std::max(0.0, m_passMs);
    // One pass: tiles of the first group, as long as what it draws stays in budget. A tile
    // dearer than that alone is drawn a quarter, or less, at a time.
    const std::vector<QRegion> passes = passesOver(m_pending);
    QRegion slice;
    for (const QRect &part : passes.front()) {
        for (const QRect &cell : tilesOf(part)) {
            // Until a part was drawn, costs are a whole drawing's average: one tile to learn.
            if (!slice.isEmpty() && m_passMs < 0)
                break;
            if (slice.isEmpty() && costOf(cell) > budget) {
                int side = tile;
                while (side > 8 && costOf(cell) * side * side > budget * tile * tile)
                    side /= 2;
                slice = QRect(cell.topLeft(), QSize(std::min(side, cell.width()), std::min(side, cell.height())));
                break;
            }
            if (!slice.isEmpty() && costOf(slice.boundingRect().united(cell)) > budget)
                break;
            slice += cell;
        }
        if (slice.isEmpty() || costOf(slice.boundingRect().united(part)) > budget)
            break;
    }
    m_pending -= slice;
    update(slice);
}

double ChartNavigationSurface::costOf(const QRect &area) const
{
    // Before anything was drawn, the whole view at once.
    if (m_msPerPixel <= 0)
        return 0;
    const bool known = m_tileCostCamera == displayedCamera() && m_tileCosts.size() == tileCount();
    const int columns = (width() + tile - 1) / tile;
    double ms = 0;
    for (const QRect &cell : tilesOf(area & rect())) {
        const double perPixel = known ? m_tileCosts[size_t(cell.top() / tile * columns + cell.left() / tile)] : -1;
        ms += (perPixel >= 0 ? perPixel : m_msPerPixel) * cell.width() * cell.height();
    }
    return ms;
}

size_t ChartNavigationSurface::tileCount() const
{
    return size_t((width() + tile - 1) / tile) * size_t((height() + tile - 1) / tile);
}

QColor ChartNavigationSurface::underPageColour(const QPalette &palette)
{
    return palette.color(QPalette::Window).darker(108);
}

QColor ChartNavigationSurface::focusRingColour(const QPalette &palette)
{
    return visibleOn(palette.color(QPalette::Highlight), {underPageColour(palette)});
}

void ChartNavigationSurface::paintView(QPainter &painter, const QRect &area, const ChartViewport &camera)
{
    const QColor underPage = underPageColour(palette());
    painter.fillRect(area, underPage);
    // Two pixels more around: what lies just outside still shades the pixels at the edge
    // (thin lines are drawn a pixel wide at any scale).
    const double margin = 2 / camera.scale;
    const Rect visible = camera.visibleChartRect(Size{double(area.width()), double(area.height())})
                             .value_or(Rect::null())
                             .offsetBy(area.left() / camera.scale, area.top() / camera.scale)
                             .insetBy(-margin, -margin);
    painter.save();
    painter.translate(camera.offset.width, camera.offset.height);
    painter.scale(camera.scale, camera.scale);
    paintContent(painter, visible);
    painter.restore();
}

void ChartNavigationSurface::paintPart(QPainter &target, const QRegion &parts, const ChartViewport &camera)
{
    // Drawn unclipped on a pixmap of the whole view, as a whole drawing is, and then copied:
    // Qt's thin-line stroker rounds a line it clips otherwise, so that parts drawn clipped
    // would differ from the whole by a shade along each thin line. One pass over the chart
    // serves all the parts.
    const double ratio = devicePixelRatioF();
    if (m_scratch.size() != size() * ratio || m_scratch.devicePixelRatio() != ratio) {
        m_scratch = QPixmap(size() * ratio);
        m_scratch.setDevicePixelRatio(ratio);
    }
    {
        QPainter scratch(&m_scratch);
        paintView(scratch, parts.boundingRect(), camera);
    }
    target.save();
    target.setCompositionMode(QPainter::CompositionMode_Source);
    for (const QRect &part : parts)
        target.drawPixmap(part, m_scratch, QRectF(part.topLeft() * ratio, part.size() * ratio));
    target.restore();
}

void ChartNavigationSurface::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    const QSize pixels = size() * devicePixelRatioF();
    if (m_snapshot.isNull() || m_snapshot.size() == pixels)
        return;
    if (m_liveZoom || !(m_snapshotCamera == displayedCamera()) || m_snapshot.devicePixelRatio() != devicePixelRatioF()) {
        contentChanged();
        return;
    }
    // The picture as drawn, cut or widened to the new size; what it does not cover is drawn.
    const QRegion uncovered = uncoveredBy(m_snapshot);
    m_snapshot = fittedToView(m_snapshot);
    m_pending &= rect();
    if (m_restoredExcept)
        *m_restoredExcept &= rect();
    if (!uncovered.isEmpty()) {
        m_pending += uncovered;
        update(uncovered);
    }
}

void ChartNavigationSurface::hideEvent(QHideEvent *event)
{
    // A step not committed yet is dropped with the surface that showed it.
    cancelCommit();
    m_liveZoom = false;
    QWidget::hideEvent(event);
}

void ChartNavigationSurface::paintEvent(QPaintEvent *event)
{
    const ChartViewport camera = displayedCamera();
    QPainter painter(this);
    if (m_liveZoom && !m_snapshot.isNull()) {
        // A chart point drawn at v in the snapshot belongs at (v - o0) * s1 / s0 + o1 now.
        painter.fillRect(rect(), underPageColour(palette()));
        const double ratio = camera.scale / m_snapshotCamera.scale;
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        painter.translate(camera.offset.width, camera.offset.height);
        painter.scale(ratio, ratio);
        painter.translate(-m_snapshotCamera.offset.width, -m_snapshotCamera.offset.height);
        painter.drawPixmap(0, 0, m_snapshot);
        return;
    }
    QElapsedTimer clock;
    clock.start();
    const QRegion painted = event->region();
    // A picture drawn before shows again with the first paint, of the whole view or of the
    // parts not covered (the rest is drawn when uncovered): what differs from it is drawn as
    // any change is, a slice at a time. A camera moved since draws anew.
    if (const std::optional<QRegion> except = std::exchange(m_restoredExcept, std::nullopt);
        except && m_snapshotCamera == camera && m_snapshot.size() == size() * devicePixelRatioF()) {
        m_pending += *except;
        painter.drawPixmap(0, 0, m_snapshot);
        if (!m_pending.isEmpty() && !m_sliceTimer.isActive())
            m_sliceTimer.start(0);
        return;
    }
    if (painted != QRegion(rect())) {
        paintParts(painter, painted, camera);
    } else {
        m_snapshot = QPixmap(size() * devicePixelRatioF());
        m_snapshot.setDevicePixelRatio(devicePixelRatioF());
        m_snapshotCamera = camera;
        {
            QPainter sharp(&m_snapshot);
            paintView(sharp, rect(), camera);
        }
        painter.drawPixmap(0, 0, m_snapshot);
        learnCost(clock, rect(), false);
    }
    // What was drawn now is current.
    m_pending -= painted;
    if (!m_pending.isEmpty() && !m_sliceTimer.isActive())
        m_sliceTimer.start(int(slicePauseFactor * double(clock.elapsed())));
}

void ChartNavigationSurface::learnCost(const QElapsedTimer &pass, const QRect &bounds, bool part)
{
    // A pass costs a part that does not depend on its size (going over all the chart holds),
    // told by the cheapest parts, and a part that does. Both grow as lines come in, and the
    // cost differs across the chart: a dear pass counts at once, a cheap one only slowly.
    const double ms = double(pass.nsecsElapsed()) / 1e6;
    if (part)
        m_passMs = m_passMs < 0 ? ms : std::min(ms, m_passMs * 1.05);
    const double area = double(bounds.width()) * bounds.height();
    if (area <= 0)
        return;
    const double perPixel = (ms - std::max(0.0, m_passMs)) / area;
    m_msPerPixel = std::max(perPixel, m_msPerPixel * 0.95);
    // What each tile cost when last drawn, for this camera: where the chart is dense, a
    // tile can cost many frames.
    if (m_tileCostCamera != displayedCamera() || m_tileCosts.size() != tileCount()) {
        m_tileCostCamera = displayedCamera();
        m_tileCosts.assign(tileCount(), -1);
    }
    const int columns = (width() + tile - 1) / tile;
    for (const QRect &cell : tilesOf(bounds & rect())) {
        double &cost = m_tileCosts[size_t(cell.top() / tile * columns + cell.left() / tile)];
        if (part || cost < 0)
            cost = perPixel;
    }
}

std::vector<QRegion> ChartNavigationSurface::passesOver(const QRegion &region)
{
    // Each pass goes over everything the chart holds: nearby parts share one, as long as
    // what lies between them costs no more than they do.
    std::vector<QRegion> passes;
    QRegion group;
    double groupArea = 0;
    for (const QRect &part : region) {
        const double area = double(part.width()) * part.height();
        const QRect bounds = group.boundingRect().united(part);
        if (!group.isEmpty() && double(bounds.width()) * bounds.height() > 2 * (groupArea + area)) {
            passes.push_back(std::exchange(group, QRegion()));
            groupArea = 0;
        }
        group += part;
        groupArea += area;
    }
    if (!group.isEmpty())
        passes.push_back(group);
    return passes;
}

void ChartNavigationSurface::paintParts(QPainter &painter, const QRegion &region, const ChartViewport &camera)
{
    // A strip uncovered by a pan, or parts whose content changed: the rest is drawn
    // already. The snapshot follows while it shows the same camera.
    const bool current = !m_snapshot.isNull() && m_snapshotCamera == camera &&
                         m_snapshot.size() == size() * devicePixelRatioF();
    for (const QRegion &pass : passesOver(region)) {
        QElapsedTimer clock;
        clock.start();
        const QRect bounds = pass.boundingRect();
        if (!current) {
            paintPart(painter, pass, camera);
        } else {
            {
                QPainter sharp(&m_snapshot);
                paintPart(sharp, pass, camera);
            }
            for (const QRect &part : pass)
                painter.drawPixmap(part, m_snapshot,
                                   QRectF(part.topLeft() * devicePixelRatioF(), part.size() * devicePixelRatioF()));
        }
        learnCost(clock, bounds, true);
    }
}

int ChartNavigationSurface::neighbourCard(int count, const std::function<std::optional<Rect>(int)> &frameOf, int from,
                                          int key)
{
    const std::optional<Rect> start = frameOf(from);
    if (!start)
        return -1;
    const bool horizontal = key == Qt::Key_Left || key == Qt::Key_Right;
    const double sign = key == Qt::Key_Left || key == Qt::Key_Up ? -1 : 1;
    int best = -1;
    double bestScore = std::numeric_limits<double>::infinity();
    for (int i = 0; i < count; ++i) {
        const std::optional<Rect> frame = i == from ? std::nullopt : frameOf(i);
        if (!frame)
            continue;
        const double dx = frame->midX() - start->midX();
        const double dy = frame->midY() - start->midY();
        const double along = sign * (horizontal ? dx : dy);
        if (along < 1)
            continue;
        const double score = along + 2 * std::abs(horizontal ? dy : dx);
        if (score < bestScore) {
            bestScore = score;
            best = i;
        }
    }
    return best;
}
