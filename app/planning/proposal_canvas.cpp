#include "app/planning/proposal_canvas.h"

#include "app/chart/chart_canvas.h"
#include "app/chart/chart_canvas_card.h"
#include "app/chart/chart_card_accessibility.h"
#include "app/chart/chart_scene_changes.h"
#include "app/chart/dotted_lines_pace.h"
#include "printing/chart_painter.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPaintEvent>
#include <QPainter>
#include <QPushButton>
#include <QResizeEvent>
#include <QStringList>
#include <QThreadPool>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>
#include <limits>

// The name plays no part in the drawing.
static const std::string chartName = "Untitled Organization";

// A replaced chart or scene holds several copies of a large organization: the last reference
// is let go on a worker thread, so that freeing them does not hold up the repaint.
template <typename T>
static void releaseAside(std::shared_ptr<const T> &&replaced)
{
    if (replaced.use_count() == 1)
        QThreadPool::globalInstance()->start([replaced = std::move(replaced)]() mutable { replaced.reset(); });
}

ProposalChartSurface::ProposalChartSurface(std::shared_ptr<DottedRouteStore> routeStore, QWidget *parent)
    : CardChartSurface(parent)
    , m_cache(std::move(routeStore))
    , m_chart(std::make_shared<const OrganizationArchive>(OrganizationArchive::make(chartName, {})))
{
    ChartCanvasAccessible::install();
    setAccessibleName(QStringLiteral("Proposal chart"));
    // The keys it answers, which nothing on screen shows.
    setAccessibleDescription(selectionKeysText +
                             QStringLiteral(" Alt+Down, Menu key or Shift+F10: the reporting relationships of a "
                                            "selected person who reports to several managers."));
    routeDottedLinesPaced(m_cache, this, [this] { rebuild(); });
    connect(this, &ChartNavigationSurface::zoomCommitted, this, [this](double zoom) { m_zoom = zoom; });
    connect(this, &ChartNavigationSurface::panCommitted, this, [this](Size pan) { m_pan = pan; });
}

double ProposalChartSurface::zoomedIn(double zoom)
{
    return std::min(zoom * 1.2, maximumZoom);
}

double ProposalChartSurface::zoomedOut(double zoom)
{
    // A zoom already below the floor is never raised to it.
    return std::max(zoom / 1.2, std::min(zoom, minimumZoom));
}

void ProposalChartSurface::setCamera(double zoom, Size pan)
{
    m_zoom = zoom;
    m_pan = pan;
    setZoom(zoom);
    setPan(pan);
}

// The zoom buttons step from what shows and leave the pan alone.
void ProposalChartSurface::zoomIn()
{
    commitPending();
    m_zoom = zoomedIn(m_zoom);
    setZoom(m_zoom);
}

void ProposalChartSurface::zoomOut()
{
    commitPending();
    m_zoom = zoomedOut(m_zoom);
    setZoom(m_zoom);
}

void ProposalChartSurface::fit()
{
    if (!m_scene || !m_viewport)
        return;
    if (const std::optional<ChartViewport> fitted = ChartViewport::fit(m_scene->layout().size, *m_viewport, fitPadding))
        setCamera(fitted->scale, fitted->offset);
}

void ProposalChartSurface::setOrganization(std::shared_ptr<const Organization> organization)
{
    if (organization == m_organization)
        return;
    setChart(std::make_shared<const OrganizationArchive>(
        OrganizationArchive::make(chartName, organization ? *organization : Organization())));
    m_organization = std::move(organization);
}

void ProposalChartSurface::setChart(std::shared_ptr<const OrganizationArchive> chart)
{
    if (!chart || chart == m_chart)
        return;
    m_organization.reset();
    releaseAside(std::exchange(m_chart, std::move(chart)));
    ++m_chartRevision;
    rebuild();
    fit();
}

void ProposalChartSurface::setSettings(const ChartPrintSettings &settings)
{
    if (settings == m_settings)
        return;
    m_settings = settings;
    rebuild();
    fit();
}

void ProposalChartSurface::setSelection(const std::optional<std::string> &id)
{
    if (id == m_selection)
        return;
    const std::optional<std::string> was = selectedCard();
    const int wasIndex = selectedCardIndex();
    m_selection = id;
    if (!m_scene)
        return;
    std::vector<Rect> areas;
    ChartSceneChanges::addSelectionAreas(areas, *m_scene, was, *m_scene, selectedCard());
    // The keyboard's ring goes with the selection, further out than the card's border.
    for (const int index : {wasIndex, selectedCardIndex()}) {
        if (index >= 0)
            areas.push_back(ringArea(index));
    }
    contentChangedIn(areas);
}

void ProposalChartSurface::rebuild()
{
    std::shared_ptr<const ChartScene> scene;
    try {
        scene = m_cache.snapshot(*m_chart, {}, {}, {}, {}, {}, m_settings, m_chartRevision);
    } catch (const OrganizationError &) {
        // The placeholder says the chart cannot be drawn; why is not shown.
    }
    if (scene == m_scene)
        return;
    const bool newCards = !scene || !m_scene || &scene->layout() != &m_scene->layout();
    std::shared_ptr<const ChartScene> shown = std::exchange(m_scene, std::move(scene));
    // A scene of the same settings that keeps the cards' places is drawn again only where it
    // differs, as the chart window draws an edit: an edit of one card of a large proposal
    // repaints that card, not every card and line.
    std::optional<std::vector<Rect>> changed;
    if (shown && m_scene && m_drawnSettings == m_settings)
        changed = ChartSceneChanges::changedAreas(*shown, *m_scene, false);
    m_drawnSettings = m_settings;
    releaseAside(std::move(shown));
    if (newCards) {
        std::vector<Rect> frames;
        if (m_scene) {
            for (const ChartNode &node : m_scene->layout().nodes)
                frames.push_back(node.frame);
        }
        setClickableRects(std::move(frames));
        ChartCanvasAccessible::cardsChanged(this);
    }
    if (changed)
        contentChangedIn(*changed);
    else
        contentChanged();
}

int ProposalChartSurface::cardIndex(Point point) const
{
    if (!m_scene)
        return -1;
    const auto &nodes = m_scene->layout().nodes;
    const auto found = std::find_if(nodes.begin(), nodes.end(), [&](const ChartNode &node) {
        return node.frame.contains(point) && m_scene->position(node.id);
    });
    return found == nodes.end() ? -1 : int(found - nodes.begin());
}

int ProposalChartSurface::cardIndex(const std::optional<std::string> &id) const
{
    if (!m_scene || !id)
        return -1;
    // The layout's cards are in the order of their ids.
    const auto &nodes = m_scene->layout().nodes;
    const auto found = std::lower_bound(nodes.begin(), nodes.end(), *id,
                                        [](const ChartNode &node, const std::string &wanted) { return node.id < wanted; });
    return found == nodes.end() || found->id != *id || !m_scene->position(found->id) ? -1 : int(found - nodes.begin());
}

Rect ProposalChartSurface::ringArea(int index) const
{
    // The ring stands a few view pixels outside the card whatever the zoom.
    const double pixel = 1 / std::max(displayedCamera().scale, minimumZoom);
    return m_scene->layout().nodes[size_t(index)].frame.insetBy(-6 * pixel, -6 * pixel);
}

int ProposalChartSurface::selectedCardIndex() const
{
    return cardIndex(selectedCard());
}

std::optional<Rect> ProposalChartSurface::selectableFrame(int index) const
{
    const ChartNode &node = m_scene->layout().nodes[size_t(index)];
    return m_scene->position(node.id) ? std::optional(node.frame) : std::nullopt;
}

void ProposalChartSurface::selectCard(int index)
{
    emit cardClicked(m_scene->layout().nodes[size_t(index)].id);
}

void ProposalChartSurface::revealCard(int index)
{
    if (m_viewport)
        setCamera(m_zoom, ChartViewport::centeredOffset(m_scene->layout().nodes[size_t(index)].frame, m_zoom, *m_viewport));
}

std::optional<Rect> ProposalChartSurface::calloutBadge(int index) const
{
    const ChartNode &node = m_scene->layout().nodes[size_t(index)];
    const Position *position = m_scene->position(node.id);
    if (!position || !position->reportingCallout)
        return std::nullopt;
    ChartScreenCard::State state;
    const auto &counts = m_scene->presentation().counts;
    if (const auto count = counts.find(node.id); count != counts.end())
        state.count = count->second;
    state.selected = selectedCard() == node.id;
    const ChartScreenCard::Look look = ChartCanvas::screenCardLook(m_settings, palette(), ChartScreenCard::ChangeTints::shown);
    return ChartCanvasCard::controls(node.frame, *position, state, look).callout;
}

void ProposalChartSurface::showCardDetails(int index)
{
    if (const std::optional<Rect> badge = calloutBadge(index)) {
        const Position &position = *m_scene->position(m_scene->layout().nodes[size_t(index)].id);
        showCallout(*position.reportingCallout, m_settings.hideNames, *badge, Opened::byKeys);
    }
}

std::vector<AccessibleCardCanvas::CardButton> ProposalChartSurface::cardButtons(int index) const
{
    // The badge, pressed, opens as a click does.
    const std::optional<Rect> badge = calloutBadge(index);
    if (!badge)
        return {};
    const Position &position = *m_scene->position(m_scene->layout().nodes[size_t(index)].id);
    return {{QString::fromStdString(position.reportingCallout->summary()), viewRect(*badge)}};
}

void ProposalChartSurface::pressCardButton(int index, int button)
{
    if (button == 0)
        showCardDetails(index);
}

void ProposalChartSurface::focusInEvent(QFocusEvent *event)
{
    CardChartSurface::focusInEvent(event);
    if (const int index = selectedCardIndex(); index >= 0)
        contentChangedIn({ringArea(index)});
}

void ProposalChartSurface::focusOutEvent(QFocusEvent *event)
{
    CardChartSurface::focusOutEvent(event);
    if (const int index = selectedCardIndex(); index >= 0)
        contentChangedIn({ringArea(index)});
}

std::optional<std::string> ProposalChartSurface::cardAt(Point point) const
{
    const int index = cardIndex(point);
    return index < 0 ? std::nullopt : std::optional(m_scene->layout().nodes[size_t(index)].id);
}

int ProposalChartSurface::cardCount() const
{
    return m_scene ? int(m_scene->layout().nodes.size()) : 0;
}

QString ProposalChartSurface::cardLabel(int index) const
{
    const Position *position = m_scene->position(m_scene->layout().nodes[size_t(index)].id);
    return position ? ChartCardAccessibility::label(*position, m_settings, 1) : QString();
}

QString ProposalChartSurface::cardDescription(int index) const
{
    const Position *position = m_scene->position(m_scene->layout().nodes[size_t(index)].id);
    if (!position)
        return {};
    QStringList parts;
    if (position->proposalChange)
        parts.append(changeText(*position->proposalChange));
    if (const QString managers = ChartCardAccessibility::description(*position, m_settings); !managers.isEmpty())
        parts.append(managers);
    return parts.join(QLatin1Char('\n'));
}

QString ProposalChartSurface::changeText(ProposalChangeKind kind)
{
    switch (kind) {
    case ProposalChangeKind::added: return QStringLiteral("Added");
    case ProposalChangeKind::deleted: return QStringLiteral("Deleted");
    case ProposalChangeKind::moved:
    case ProposalChangeKind::modified: return QStringLiteral("Moved / edited");
    }
    return {};
}

QRect ProposalChartSurface::cardViewRect(int index) const
{
    return viewRect(m_scene->layout().nodes[size_t(index)].frame);
}

bool ProposalChartSurface::isCardSelected(int index) const
{
    return selectedCard() == m_scene->layout().nodes[size_t(index)].id;
}

void ProposalChartSurface::pressCard(int index)
{
    emit cardClicked(m_scene->layout().nodes[size_t(index)].id);
}

int ProposalChartSurface::cardIndexAt(const QPoint &viewPoint) const
{
    return cardIndex(displayedCamera().chartPoint(Point{double(viewPoint.x()), double(viewPoint.y())}));
}

std::optional<std::string> ProposalChartSurface::selectedCard() const
{
    if (!m_scene || !m_selection)
        return std::nullopt;
    const auto &cards = m_scene->presentation().positionIDs;
    const auto card = cards.find(*m_selection);
    return card == cards.end() ? *m_selection : card->second;
}

void ProposalChartSurface::chartClicked(Point point, const QPointF &)
{
    const int index = cardIndex(point);
    if (index < 0)
        return;
    // A click on the badge opens the list, as in the chart window, and selects nothing.
    if (const std::optional<Rect> badge = calloutBadge(index); badge && badge->contains(point)) {
        const Position &position = *m_scene->position(m_scene->layout().nodes[size_t(index)].id);
        showCallout(*position.reportingCallout, m_settings.hideNames, *badge, Opened::byPointer);
        return;
    }
    emit cardClicked(m_scene->layout().nodes[size_t(index)].id);
}

void ProposalChartSurface::paintContent(QPainter &painter, const Rect &visible)
{
    if (!m_scene)
        return;
    const ChartScene &scene = *m_scene;
    PaintOptions options = PaintOptions::forSettings(m_settings);
    options.visibleRect = visible;
    options.selectedID = selectedCard();
    options.style = ChartCanvas::screenStyle(palette());
    // Only the chart window marks the selected card's dotted lines; here they look like all others.
    options.style.highlightedInkWidth = options.style.inkWidth;
    const ChartScreenCard::Look look = ChartCanvas::screenCardLook(m_settings, palette(), ChartScreenCard::ChangeTints::shown);
    options.cardPainter = [&](QPainter &cardPainter, const ChartNode &node, const Position &position, int64_t count) {
        ChartScreenCard::State state;
        state.count = count;
        state.selected = options.selectedID == node.id;
        ChartScreenCard::paint(cardPainter, node.frame, position, state, look);
        if (position.reportingCallout)
            ChartCanvasCard::paintBadge(cardPainter, position, ChartCanvasCard::controls(node.frame, position, state, look));
    };
    ChartPainter::paint(painter, scene, options);
    if (const int current = selectedCardIndex(); current >= 0 && hasFocus()) {
        // A dashed ring outside the card, apart from the selection's border on it.
        const double pixel = 1 / std::max(painter.transform().m11(), minimumZoom);
        const Rect ring = scene.layout().nodes[size_t(current)].frame.insetBy(-3.5 * pixel, -3.5 * pixel);
        QPen pen(focusRingColour(palette()), 2 * pixel, Qt::DashLine);
        painter.save();
        painter.setPen(pen);
        painter.setBrush(Qt::NoBrush);
        painter.drawRoundedRect(QRectF(ring.minX(), ring.minY(), ring.width(), ring.height()), 12, 12);
        painter.restore();
    }
}

void ProposalChartSurface::paintEvent(QPaintEvent *event)
{
    if (m_scene) {
        CardChartSurface::paintEvent(event);
        return;
    }
    QPainter painter(this);
    painter.fillRect(rect(), palette().color(QPalette::Window));
    painter.setPen(palette().color(QPalette::PlaceholderText));
    QFont font = painter.font();
    font.setPointSizeF(font.pointSizeF() * 1.3);
    font.setBold(true);
    painter.setFont(font);
    painter.drawText(rect(), Qt::AlignCenter, QStringLiteral("\u26a0\n") + unavailableText);
}

void ProposalChartSurface::resizeEvent(QResizeEvent *event)
{
    CardChartSurface::resizeEvent(event);
    // The first showing and every later change of the area fit the chart.
    m_viewport = Size{double(event->size().width()), double(event->size().height())};
    fit();
}

ProposalCanvas::ProposalCanvas(std::shared_ptr<DottedRouteStore> routeStore, QWidget *parent)
    : QWidget(parent)
    , m_surface(new ProposalChartSurface(std::move(routeStore), this))
    , m_zoomOut(new QPushButton(QStringLiteral("\u2212"), this))
    , m_fit(new QPushButton(QStringLiteral("Fit"), this))
    , m_zoomIn(new QPushButton(QStringLiteral("+"), this))
{
    auto *header = new QHBoxLayout;
    auto *title = new QLabel(QStringLiteral("Proposal chart"), this);
    QFont bold = title->font();
    bold.setBold(true);
    title->setFont(bold);
    header->addWidget(title);
    header->addStretch();
    for (QPushButton *button : {m_zoomOut, m_fit, m_zoomIn}) {
        button->setAutoDefault(false);
        button->setMaximumWidth(56);
        header->addWidget(button);
    }
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(8);
    layout->addLayout(header);
    layout->addWidget(m_surface, 1);
    // Tab goes from the zoom buttons down to the chart, in the order they stand.
    setTabOrder(m_zoomIn, m_surface);
    // Heard as the chart window's zoom buttons are, not as a minus sign and a plus sign.
    m_zoomOut->setAccessibleName(QStringLiteral("Zoom out"));
    m_zoomIn->setAccessibleName(QStringLiteral("Zoom in"));
    connect(m_zoomOut, &QPushButton::clicked, m_surface, &ProposalChartSurface::zoomOut);
    connect(m_fit, &QPushButton::clicked, m_surface, &ProposalChartSurface::fit);
    connect(m_zoomIn, &QPushButton::clicked, m_surface, &ProposalChartSurface::zoomIn);
}
