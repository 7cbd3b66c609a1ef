#pragma once

#include "core/model/chart_viewport.h"
#include "core/support/geometry.h"

#include <QColor>
#include <QPalette>
#include <QPixmap>
#include <QPointF>
#include <QRegion>
#include <QTimer>
#include <QWidget>

#include <functional>
#include <optional>
#include <vector>

class QElapsedTimer;
class QNativeGestureEvent;

// The zoom-and-pan surface around a drawn chart. It keeps a live camera that follows the
// trackpad, the wheel, pinches and click-drags frame by frame, and hands the settled
// zoom and pan back to its owner once the interaction has settled: when a gesture or a
// drag ends, or 0.15 s after the last step. A zoom or pan the owner sets takes over the
// camera. Subclasses draw the chart in chart points and handle clicks on it.
class ChartNavigationSurface : public QWidget {
    Q_OBJECT
public:
    static constexpr int commitDelayMs = 150;
    // A press must travel this far (view points) before it pans rather than clicks.
    static constexpr double dragThreshold = 6;

    explicit ChartNavigationSurface(QWidget *parent = nullptr);

    // The owner's committed values. One that differs from the camera cancels a pending
    // commit and moves the camera, also when the owner had it committed before (a re-fit
    // after a wheel step); the surface's own commits never come back as changes.
    void setZoom(double zoom);
    void setPan(Size pan);

    // The live camera, and what is shown now: the camera moved by a click-drag in progress.
    const ChartViewport &camera() const { return m_camera; }
    ChartViewport displayedCamera() const;
    bool isPanning() const { return m_dragging; }
    bool isTrackpadPanning() const { return m_trackpadPanning; }
    bool hasPendingCommit() const { return m_commitTimer.isActive(); }
    // Commits a step not committed yet at once: a zoom step of the owner's then starts from
    // what shows, not from what was committed before the wheel turned.
    void commitPending();

    // Rectangles in chart points over which the cursor is an arrow (the cards).
    void setClickableRects(std::vector<Rect> rects);

    // The part of the chart shown, in chart points.
    Rect visibleChartRect() const;
    // Where a rectangle of the chart shows now, in widget coordinates.
    QRect viewRect(const Rect &chart) const;
    // Whether parts whose content changed still wait to be drawn again: a change too dear
    // for one frame is drawn over the next ones, and a restored picture waits for its paint.
    bool hasPendingRepaint() const { return !m_pending.isEmpty() || m_restoredExcept; }

    // The card an arrow key (Qt::Key_Left, _Right, _Up or _Down) reaches from card `from`
    // among `count` cards: the nearest whose centre lies that way, one straight on counting
    // for more than one off to the side; -1 when there is none. Cards whose frame is absent
    // are passed over. Ties go to the card first in order, so the same key always reaches the
    // same card. One pass over the cards.
    static int neighbourCard(int count, const std::function<std::optional<Rect>(int)> &frameOf, int from, int key);

    // The space around the chart: a shade darker than the window.
    static QColor underPageColour(const QPalette &palette);
    // The keyboard's ring around a card, which stands on that space: the accent colour,
    // darkened or lightened until it stands out at 3:1.
    static QColor focusRingColour(const QPalette &palette);

signals:
    void zoomCommitted(double zoom);
    void panCommitted(Size pan);

protected:
    // Draws the chart in chart points; what lies wholly outside `visible` need not be drawn.
    virtual void paintContent(QPainter &painter, const Rect &visible) = 0;
    // A click (a press and release that did not pan) or a double click at a chart point.
    virtual void chartClicked(Point, const QPointF &) {}
    virtual void chartDoubleClicked(Point, const QPointF &) {}
    virtual void chartContextMenu(Point, const QPoint &) {}
    // The camera moved or zoomed; the base class has already scheduled the repaint.
    virtual void cameraChanged() {}
    // What paintContent draws has changed: draw it again.
    void contentChanged();
    // What paintContent draws has changed only within `areas` (chart points): draw those
    // parts again (in tiles of the view, when they are many), and keep the rest as it is drawn. What would take
    // longer than a frame to draw is drawn a slice per frame, with pauses for input between.
    void contentChangedIn(const std::vector<Rect> &areas);
    // The whole picture as last drawn and the camera it was drawn with; none while it is not
    // the one shown (a zoom in progress, a camera moved since).
    struct Picture {
        QPixmap pixels;
        ChartViewport camera;
    };
    std::optional<Picture> shownPicture() const;
    // What paintContent draws is `picture` again but within `areas` (chart points): it shows
    // at once with only those parts drawn anew. Anything else (another camera or size) draws
    // everything.
    void contentRestored(const Picture &picture, const std::vector<Rect> &areas);

    bool event(QEvent *event) override;
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void wheelEvent(QWheelEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;
    void contextMenuEvent(QContextMenuEvent *event) override;
    void leaveEvent(QEvent *event) override;
    void hideEvent(QHideEvent *event) override;

private:
    void nativeGesture(QNativeGestureEvent *event);
    void paintView(QPainter &painter, const QRect &area, const ChartViewport &camera);
    // Draws `parts` of the view into `target` exactly as a drawing of the whole view does.
    void paintPart(QPainter &target, const QRegion &parts, const ChartViewport &camera);
    void pan(Size translation);
    void zoomAt(double logarithmicDelta, const QPointF &at);
    void interactionEnded();
    // Shows `next` as the displayed camera: a whole-pixel move scrolls what is drawn and
    // repaints only the uncovered strip; anything else repaints everything.
    void present(const ChartViewport &previous, const ChartViewport &next);
    void updateCamera(const ChartViewport &next);
    // The owner's value replaces what the camera shows, and an uncommitted step with it.
    void takeOver(const ChartViewport &next);
    void scheduleCommit();
    void cancelCommit();
    void commit();
    void scheduleCursorRefresh();
    void refreshCursor();
    void changedIn(const QRegion &region);
    void repaintNextSlice();
    // The region in groups of parts each drawn in one pass over the chart.
    static std::vector<QRegion> passesOver(const QRegion &region);
    void paintParts(QPainter &painter, const QRegion &region, const ChartViewport &camera);
    void learnCost(const QElapsedTimer &pass, const QRect &bounds, bool part);
    // What a picture drawn for the view before a resize does not cover now, and the picture
    // cut or widened to the view's size (the camera stays on a resize).
    QRegion uncoveredBy(const QPixmap &pixels) const;
    QPixmap fittedToView(const QPixmap &pixels) const;
    // What drawing `area` again is expected to cost (ms), less the pass itself.
    double costOf(const QRect &area) const;
    size_t tileCount() const;

    ChartViewport m_camera;
    double m_zoom = 1; // the owner's committed values
    Size m_pan;
    QTimer m_commitTimer;
    std::vector<Rect> m_clickableRects;

    QPointF m_pressPoint;
    bool m_pressed = false;
    bool m_dragging = false; // the press has travelled far enough to pan
    bool m_doubleClicked = false;
    QPointF m_drag;          // translation of the click-drag in progress
    bool m_trackpadPanning = false;
    bool m_liveZoom = false; // a wheel or pinch zoom has not settled yet
    QPixmap m_snapshot;      // the last sharp frame of the whole surface
    ChartViewport m_snapshotCamera;
    std::optional<QRegion> m_restoredExcept; // a restored snapshot, but for these parts
    QPixmap m_scratch;                       // where parts are drawn before they are copied
    bool m_cursorRefreshPending = false;
    QRegion m_pending;       // changed, not drawn again yet (view coordinates)
    QTimer m_sliceTimer;     // the pause before the next slice of m_pending
    double m_passMs = -1;    // what drawing has lately cost: per pass (-1 before a part was
    double m_msPerPixel = 0; // drawn), and per pixel of its bounds besides
    std::vector<double> m_tileCosts; // per pixel, as each tile of the view last cost; -1 unknown
    ChartViewport m_tileCostCamera;
};
