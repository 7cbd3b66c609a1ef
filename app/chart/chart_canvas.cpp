#include "app/chart/chart_canvas.h"

#include "app/chart/chart_canvas_accessible.h"
#include "app/chart/chart_canvas_card.h"
#include "app/chart/chart_card_accessibility.h"
#include "app/chart/chart_scene_changes.h"
#include "app/chart/chart_view.h"
#include "app/shell/organization_document.h"
#include "app/chart/page_break_overlay.h"
#include "app/sidebar/sidebar_style.h"

#include "printing/chart_painter.h"

#include <QHelpEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QPaintEvent>
#include <QPainter>
#include <QResizeEvent>
#include <QToolTip>

#include <algorithm>
#include <array>
#include <optional>
#include <unordered_map>
#include <vector>

static QString toQt(const std::string &text)
{
    return QString::fromStdString(text);
}

// The secondary text of a card: the text colour halfway to the card's, so that it reads
// as quieter than the primary text on a light palette and on a dark one.
static QColor secondaryText(const QPalette &palette)
{
    const QColor text = palette.color(QPalette::Text);
    const QColor base = palette.color(QPalette::Base);
    return QColor::fromRgbF((text.redF() + base.redF()) / 2, (text.greenF() + base.greenF()) / 2,
                            (text.blueF() + base.blueF()) / 2);
}

ChartPaintStyle ChartCanvas::screenStyle(const QPalette &palette)
{
    const QColor secondary(128, 128, 128);
    ChartPaintStyle style;
    style.regionFill = QColor(128, 128, 128, 10);
    style.regionOutline = QColor(128, 128, 128, 102);
    style.regionLineWidth = 1;
    // Region titles stand on the canvas, which follows the window's colour.
    style.regionTitle = palette.color(QPalette::WindowText);
    style.regionSubtitle = palette.color(QPalette::PlaceholderText);
    style.connector = secondary;
    style.connectorWidth = 1.5;
    // The dotted lines carry relationships: their orange, darkened on a light palette, stands
    // out at 3:1 from the space around the cards and from the region panels on it. Paper keeps
    // the bright orange on white.
    const QColor chart = ChartNavigationSurface::underPageColour(palette);
    const double share = style.regionFill.alphaF();
    const QColor panel = QColor::fromRgbF(chart.redF() + (style.regionFill.redF() - chart.redF()) * share,
                                          chart.greenF() + (style.regionFill.greenF() - chart.greenF()) * share,
                                          chart.blueF() + (style.regionFill.blueF() - chart.blueF()) * share);
    style.ink = visibleOn(ChartScreenCard::orange, {chart, panel});
    style.inkWidth = DottedInk::lineWidth;
    style.highlightedInkWidth = DottedInk::selectedLineWidth;
    style.cardFill = palette.color(QPalette::Base);
    style.cardOutline = QColor(128, 128, 128, 64);
    style.cardOutlineWidth = 1;
    style.cardRadius = 12;
    return style;
}

ChartCanvas::ChartCanvas(ChartView &view, QWidget *parent) : CardChartSurface(parent), m_view(view)
{
    ChartCanvasAccessible::install();
    setAccessibleName(QStringLiteral("Chart"));
    setAccessibleDescription(keysDescription(view.canEditCurrent()));
    setZoom(view.zoom());
    setPan(view.pan());
    connect(&view, &ChartView::zoomChanged, this, [this] {
        setZoom(m_view.zoom());
        scheduleRefresh(); // while page breaks show, the revision carries the zoom
    });
    connect(&view, &ChartView::panChanged, this, [this] { setPan(m_view.pan()); });
    connect(&view, &ChartView::cameraRequested, this, [this] {
        setZoom(m_view.zoom());
        setPan(m_view.pan());
    });
    connect(&view, &ChartView::zoomStepRequested, this, &ChartNavigationSurface::commitPending);
    connect(this, &ChartNavigationSurface::zoomCommitted, &view, &ChartView::setZoom);
    connect(this, &ChartNavigationSurface::panCommitted, &view, &ChartView::setPan);
    for (auto changed : {&ChartView::chartChanged, &ChartView::selectionChanged, &ChartView::pageBreaksChanged,
                         &ChartView::printSettingsChanged, &ChartView::dottedLinesRouted})
        connect(&view, changed, this, &ChartCanvas::scheduleRefresh);
    connect(&view.document(), &OrganizationDocument::archiveChanged, this, &ChartCanvas::scheduleRefresh);
    refresh();
}

QString ChartCanvas::keysDescription(bool canEdit)
{
    // The keys it answers, which nothing on screen shows; while Current is locked, only those
    // that can act.
    return selectionKeysText + QStringLiteral(" ")
        + (canEdit ? QStringLiteral("Return or Ctrl+E: edit the selected person. ") : QString())
        + QStringLiteral("Menu key or Shift+F10: actions for the selected person. Alt+Down: the reporting "
                         "relationships of a selected person who reports to several managers.");
}

const std::shared_ptr<const ChartScene> &ChartCanvas::scene() const
{
    return m_scene;
}

const ChartCanvasRevision &ChartCanvas::revision() const
{
    return m_revision;
}

ChartCanvasRevision ChartCanvas::currentRevision() const
{
    ChartCanvasRevision revision;
    revision.scene = m_scene.get();
    // The card that shows the selected position, read from the scene already at hand.
    if (m_scene && m_view.selectedID()) {
        const auto &cards = m_scene->presentation().positionIDs;
        if (const auto card = cards.find(*m_view.selectedID()); card != cards.end())
            revision.selection = card->second;
    }
    revision.settings = m_view.printSettings();
    revision.guides = m_view.isShowingPageBreaks();
    if (revision.guides)
        revision.guideScale = m_view.zoom();
    revision.canEdit = m_view.canEditCurrent();
    return revision;
}

void ChartCanvas::scheduleRefresh()
{
    // One change of the window often moves several fields: read the chart once they settle.
    if (m_refreshPending)
        return;
    m_refreshPending = true;
    QMetaObject::invokeMethod(this, &ChartCanvas::refresh, Qt::QueuedConnection);
}

void ChartCanvas::refresh()
{
    refreshContent();
    // The ring is drawn over the chart, apart from its picture: it moves with the selection.
    if (hasFocus() && focusRingRect() != m_ringShown) {
        update(ringRegion(m_ringShown));
        update(ringRegion(focusRingRect()));
    }
}

QRegion ChartCanvas::ringRegion(const QRect &ring)
{
    return QRegion(ring).subtracted(QRegion(ring.adjusted(8, 8, -8, -8)));
}

void ChartCanvas::refreshContent()
{
    m_refreshPending = false;
    std::shared_ptr<const ChartScene> scene = m_view.chartScene();
    // A scene that only adds dotted lines to the shown one keeps its cards (an edit's scene
    // may keep the layout, yet its cards say something else).
    const bool newCards =
        scene != m_scene && (!scene || !m_scene || &scene->presentation() != &m_scene->presentation());
    const std::shared_ptr<const ChartScene> shown = std::move(m_scene);
    m_scene = std::move(scene);
    const ChartCanvasRevision revision = currentRevision();
    if (newCards) {
        std::vector<Rect> frames;
        if (m_scene) {
            frames.reserve(m_scene->layout().nodes.size());
            for (const ChartNode &node : m_scene->layout().nodes)
                frames.push_back(node.frame);
        }
        setClickableRects(std::move(frames));
        m_startingCard = m_scene ? topCard(cardCount(), [this](int index) { return selectableFrame(index); }) : -1;
        ChartCanvasAccessible::cardsChanged(this);
    }
    if (revision.canEdit != m_revision.canEdit)
        setAccessibleDescription(keysDescription(revision.canEdit));
    if (revision == m_revision)
        return;
    ChartCanvasRevision sameButScene = revision;
    sameButScene.scene = m_revision.scene;
    const bool onlyScene = sameButScene == m_revision;
    sameButScene.selection = m_revision.selection;
    // An edit often selects the card it changed (the editor's save does).
    const bool sceneOrSelection = sameButScene == m_revision && shown && m_scene;
    const ChartCanvasRevision shownRevision = std::exchange(m_revision, revision);
    std::optional<std::vector<Rect>> changed;
    if (sceneOrSelection && shown == m_scene)
        changed.emplace();
    else if (sceneOrSelection)
        changed = ChartSceneChanges::changedAreas(*shown, *m_scene, false);
    if (changed && !onlyScene)
        ChartSceneChanges::addSelectionAreas(*changed, *shown, shownRevision.selection, *m_scene, revision.selection);
    // The ink is made now, not in the paint that follows: new lines then cost two turns of
    // the event loop, each shorter.
    if (m_scene)
        m_scene->ink(m_revision.selection);
    if (changed) {
        contentChangedIn(*changed);
        return;
    }
    // Cards moved: the picture of the chart as it was is kept, with all its lines, for an
    // undo that brings those cards back; one kept before may be that undo. A picture kept
    // earlier stays until a newer one replaces it: a chart shown while its lines still
    // route, or never painted, leaves nothing to keep, and the undos that follow may still
    // come back to the earlier one.
    std::optional<KeptPicture> replaced;
    const KeptPicture *candidate = m_keptPicture ? &*m_keptPicture : nullptr;
    // (A Delete of the selected card also clears the selection.)
    if (sceneOrSelection && !shown->routesPending()) {
        if (std::optional<Picture> picture = shownPicture()) {
            replaced = std::exchange(m_keptPicture, KeptPicture{shown, shownRevision, palette().cacheKey(), std::move(*picture)});
            candidate = replaced ? &*replaced : nullptr;
        }
    }
    if (candidate && m_scene) {
        // Another selection is drawn where it differs, as a click draws it.
        ChartCanvasRevision keptButScene = candidate->revision;
        keptButScene.scene = revision.scene;
        keptButScene.selection = revision.selection;
        const ChartLayout &was = candidate->scene->layout();
        const ChartLayout &is = m_scene->layout();
        const bool sameLayout = &was == &is || (was.nodes.size() == is.nodes.size() && was.size == is.size && was == is);
        if (keptButScene == revision && candidate->palette == palette().cacheKey() && sameLayout) {
            changed = ChartSceneChanges::changedAreas(*candidate->scene, *m_scene, true);
            if (changed)
                ChartSceneChanges::addSelectionAreas(*changed, *candidate->scene, candidate->revision.selection, *m_scene, revision.selection);
        }
        if (changed) {
            contentRestored(candidate->picture, *changed);
            return;
        }
    }
    contentChanged();
}

int ChartCanvas::cardCount() const
{
    return m_scene ? int(m_scene->layout().nodes.size()) : 0;
}

std::string ChartCanvas::cardID(int index) const
{
    return m_scene->layout().nodes[size_t(index)].id;
}

Rect ChartCanvas::cardFrame(int index) const
{
    return m_scene->layout().nodes[size_t(index)].frame;
}

QString ChartCanvas::cardLabel(int index) const
{
    const std::string &id = cardID(index);
    const Position *position = m_scene->position(id);
    if (!position)
        return QString();
    return ChartCardAccessibility::label(*position, m_view.printSettings(), positionsBehind(id));
}

QString ChartCanvas::cardDescription(int index) const
{
    const Position *position = m_scene->position(cardID(index));
    return position ? ChartCardAccessibility::description(*position, m_view.printSettings()) : QString();
}

int ChartCanvas::cardAt(Point point) const
{
    if (!m_scene)
        return -1;
    const auto &nodes = m_scene->layout().nodes;
    const auto found = std::find_if(nodes.begin(), nodes.end(), [&](const ChartNode &node) {
        return node.frame.contains(point) && m_scene->position(node.id);
    });
    return found == nodes.end() ? -1 : int(found - nodes.begin());
}

QRect ChartCanvas::cardViewRect(int index) const
{
    return viewRect(cardFrame(index));
}

bool ChartCanvas::isCardSelected(int index) const
{
    return m_revision.selection == cardID(index);
}

void ChartCanvas::pressCard(int index)
{
    m_view.selectChartPerson(cardID(index));
}

std::vector<ChartCanvasCard::Toggle> ChartCanvas::cardToggles(int index) const
{
    const std::string id = cardID(index);
    const Position *position = m_scene->position(id);
    if (!position)
        return {};
    const ChartCanvasCard::State state = cardState(id, *position);
    return ChartCanvasCard::toggles(ChartCanvasCard::controls(cardFrame(index), *position, state, cardLook()), state);
}

std::vector<AccessibleCardCanvas::CardButton> ChartCanvas::cardButtons(int index) const
{
    std::vector<CardButton> buttons;
    for (const ChartCanvasCard::Toggle &toggle : cardToggles(index))
        buttons.push_back({toggle.name, viewRect(toggle.rect)});
    // The badge last, as it is drawn at the card's foot; pressed, it opens as a click does.
    const std::string id = cardID(index);
    const Position *position = m_scene->position(id);
    if (position && position->reportingCallout) {
        const ChartCanvasCard::Controls controls =
            ChartCanvasCard::controls(cardFrame(index), *position, cardState(id, *position), cardLook());
        if (controls.callout)
            buttons.push_back({toQt(position->reportingCallout->summary()), viewRect(*controls.callout)});
    }
    return buttons;
}

void ChartCanvas::pressCardButton(int index, int button)
{
    const std::vector<ChartCanvasCard::Toggle> toggles = cardToggles(index);
    if (button == int(toggles.size())) {
        showCalloutByKeys(index);
        return;
    }
    if (button < 0 || button >= int(toggles.size()))
        return;
    const std::string id = cardID(index);
    if (toggles[size_t(button)].part == ChartCanvasCard::Part::expandGroup)
        m_view.toggleGroup(id);
    else
        m_view.toggleBranch(id);
}

int ChartCanvas::cardIndexAt(const QPoint &viewPoint) const
{
    return cardAt(displayedCamera().chartPoint(Point{double(viewPoint.x()), double(viewPoint.y())}));
}

bool ChartCanvas::showsPageBreaks() const
{
    return m_view.isShowingPageBreaks();
}

int64_t ChartCanvas::positionsBehind(const std::string &cardID) const
{
    const auto &counts = m_scene->presentation().counts;
    const auto count = counts.find(cardID);
    return count == counts.end() ? 1 : count->second;
}

ChartCanvasCard::State ChartCanvas::cardState(const std::string &id, const Position &) const
{
    ChartCanvasCard::State state;
    state.hasReports = m_scene->hasReports(id);
    const std::set<std::string> &collapsed = m_view.collapsedPositionIDs();
    const std::vector<const Position *> &members = m_scene->membersOf(id);
    state.branchExpanded = std::none_of(members.begin(), members.end(),
                                        [&](const Position *member) { return collapsed.contains(member->id); });
    for (const OrganizationSheet *sheet : m_scene->linkedSheetsOf(id))
        state.linkedSheetNames.push_back(sheet->name);
    state.count = positionsBehind(id);
    state.selected = m_revision.selection == id;
    return state;
}

// The card's texts, each moved from its wanted colour just far enough to read on every fill
// the cards may have. A screen reader's walk asks for the look of every card, so the last
// answer is kept: it changes only with the palette.
static void makeTextsReadable(ChartScreenCard::Look &look, ChartScreenCard::ChangeTints tints)
{
    constexpr size_t textCount = 6;
    struct Answer {
        QRgb background = 0;
        ChartScreenCard::ChangeTints tints = ChartScreenCard::ChangeTints::absent;
        std::array<QRgb, textCount> wanted{};
        std::array<QColor, textCount> readable;
    };
    thread_local std::optional<Answer> last;
    const std::array<QColor *, textCount> texts = {&look.text,       &look.secondaryText, &look.vacantText,
                                                  &look.groupText,  &look.assistantText, &look.referenceText};
    Answer asked{.background = look.background.rgba(), .tints = tints};
    for (size_t i = 0; i < textCount; ++i)
        asked.wanted[i] = texts[i]->rgba();
    if (!last || last->background != asked.background || last->tints != asked.tints || last->wanted != asked.wanted) {
        const std::vector<QColor> fills = ChartScreenCard::fills(look.background, tints);
        for (size_t i = 0; i < textCount; ++i)
            asked.readable[i] = readableOn(*texts[i], fills);
        last = asked;
    }
    for (size_t i = 0; i < textCount; ++i)
        *texts[i] = last->readable[i];
}

ChartScreenCard::Look ChartCanvas::screenCardLook(const ChartPrintSettings &settings, const QPalette &palette,
                                                  ChartScreenCard::ChangeTints tints)
{
    ChartScreenCard::Look look;
    look.hideNames = settings.hideNames;
    look.showPayLevel = settings.showPayLevel;
    look.showJobTitle = settings.showJobTitle;
    look.background = palette.color(QPalette::Base);
    look.accent = palette.color(QPalette::Highlight);
    look.text = palette.color(QPalette::Text);
    look.secondaryText = secondaryText(palette);
    look.referenceText = look.accent;
    makeTextsReadable(look, tints);
    return look;
}

ChartCanvasCard::Look ChartCanvas::cardLook() const
{
    return screenCardLook(m_view.printSettings(), palette());
}

const ChartScreenCard::Layout &ChartCanvas::keptLayout(const ChartNode &node, const Position &position,
                                                       const ChartScreenCard::State &state,
                                                       const ChartScreenCard::Look &look)
{
    if (const auto found = m_keptLayouts.cards.find(node.id); found != m_keptLayouts.cards.end()) {
        const KeptLayout &kept = found->second;
        if (kept.frame == node.frame && kept.count == state.count && kept.hasReports == state.hasReports &&
            kept.linkedSheetNames == state.linkedSheetNames && kept.position == position)
            return kept.layout;
    }
    // Cards that went stay until there are as many again.
    if (m_keptLayouts.cards.size() > 2 * m_scene->layout().nodes.size())
        m_keptLayouts.cards.clear();
    KeptLayout made{node.frame, position, state.count, state.hasReports, state.linkedSheetNames,
                    ChartScreenCard::layout(node.frame, position, state, look)};
    return m_keptLayouts.cards.insert_or_assign(node.id, std::move(made)).first->second.layout;
}

void ChartCanvas::paintContent(QPainter &painter, const Rect &visible)
{
    if (m_refreshPending)
        refresh();
    if (!m_scene)
        return;
    const ChartScene &scene = *m_scene;
    const ChartPrintSettings &settings = m_view.printSettings();
    PaintOptions options = PaintOptions::forSettings(settings);
    options.visibleRect = visible;
    options.selectedID = m_revision.selection;
    options.style = ChartCanvas::screenStyle(palette());
    const ChartCanvasCard::Look look = cardLook();
    // The kept layouts are for these display toggles.
    if (m_keptLayouts.hideNames != look.hideNames || m_keptLayouts.showPayLevel != look.showPayLevel ||
        m_keptLayouts.showJobTitle != look.showJobTitle)
        m_keptLayouts = KeptLayouts{look.hideNames, look.showPayLevel, look.showJobTitle, {}};
    // The screen's own card, with its buttons; the reporting badge goes on top of it.
    options.cardPainter = [&](QPainter &cardPainter, const ChartNode &node, const Position &position, int64_t) {
        const bool speck = ChartScreenCard::isSpeck(cardPainter, node.frame);
        // A fitted district is thousands of specks, which need no state; only a badge does.
        if (speck && !position.reportingCallout) {
            ChartScreenCard::paint(cardPainter, node.frame, position, {}, look);
            return;
        }
        const ChartCanvasCard::State state = cardState(node.id, position);
        // A speck needs no layout but for its badge, nor does a card too small for its text.
        if (!position.reportingCallout && !ChartScreenCard::isLegible(cardPainter)) {
            ChartScreenCard::paint(cardPainter, node.frame, position, state, look);
            return;
        }
        const ChartScreenCard::Layout &placed = keptLayout(node, position, state, look);
        ChartScreenCard::paint(cardPainter, node.frame, position, state, look, placed);
        if (position.reportingCallout && placed.callout)
            ChartCanvasCard::paintBadge(cardPainter, *position.reportingCallout, *placed.callout);
    };
    ChartPainter::paint(painter, scene, options);
    if (m_view.isShowingPageBreaks())
        PageBreakOverlay::paint(painter, scene.layout().size, settings, camera().scale);
}

void ChartCanvas::paintEvent(QPaintEvent *event)
{
    if (m_refreshPending)
        refresh();
    if (m_scene || m_view.sceneError().isEmpty()) {
        // A new layout can move the ring's card without a refresh (a scene taken from the
        // cache): what shows only part of the view draws the ring's old and new bands again.
        const QRect ring = hasFocus() && m_scene ? focusRingRect() : QRect();
        if (ring != m_ringShown) {
            update(ringRegion(m_ringShown));
            update(ringRegion(ring));
        }
        CardChartSurface::paintEvent(event);
        m_ringShown = QRect();
        if (!hasFocus() || !m_scene)
            return;
        // A dashed ring just outside the card, apart from the selection's border on it.
        m_ringShown = focusRingRect();
        if (m_ringShown.isEmpty())
            return;
        QPainter painter(this);
        painter.setClipRegion(event->region());
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(QPen(focusRingColour(palette()), 2, Qt::DashLine));
        painter.drawRoundedRect(QRectF(m_ringShown).adjusted(3, 3, -3, -3), 14, 14);
        return;
    }
    // Never a silent empty window: say why there is no chart.
    QPainter painter(this);
    painter.fillRect(rect(), palette().color(QPalette::Window));
    painter.setPen(palette().color(QPalette::WindowText));
    painter.drawText(rect().adjusted(40, 40, -40, -40), Qt::AlignCenter | Qt::TextWordWrap, m_view.sceneError());
}

void ChartCanvas::chartClicked(Point point, const QPointF &viewPoint)
{
    const int index = cardAt(point);
    if (index < 0)
        return;
    const std::string id = cardID(index);
    const Position &position = *m_scene->position(id);
    const ChartCanvasCard::State state = cardState(id, position);
    const ChartCanvasCard::Controls controls = ChartCanvasCard::controls(cardFrame(index), position, state, cardLook());
    switch (ChartCanvasCard::hit(controls, point)) {
    case ChartCanvasCard::Part::expandGroup: m_view.toggleGroup(id); return;
    case ChartCanvasCard::Part::branchToggle: m_view.toggleBranch(id); return;
    case ChartCanvasCard::Part::linkedSheets: showLinkedSheets(id, viewPoint); return;
    case ChartCanvasCard::Part::managerReference: showManagerReference(position, viewPoint); return;
    case ChartCanvasCard::Part::callout:
        showCallout(*position.reportingCallout, m_view.printSettings().hideNames, *controls.callout, Opened::byPointer);
        return;
    case ChartCanvasCard::Part::card: m_view.selectChartPerson(id); return;
    }
}

void ChartCanvas::chartDoubleClicked(Point point, const QPointF &)
{
    const int index = cardAt(point);
    if (index < 0)
        return;
    const std::string id = cardID(index);
    const Position position = *m_scene->position(id);
    const ChartCanvasCard::Controls controls =
        ChartCanvasCard::controls(cardFrame(index), position, cardState(id, position), cardLook());
    if (ChartCanvasCard::hit(controls, point) == ChartCanvasCard::Part::card)
        openCard(index);
}

void ChartCanvas::openCard(int index)
{
    const std::string id = cardID(index);
    const Position position = *m_scene->position(id);
    if (position.groupMemberCount) {
        m_view.toggleGroup(id);
        return;
    }
    const int64_t n = positionsBehind(id);
    m_view.selectChartPerson(id);
    // A merged title card stands for several positions: there is no one position to edit.
    if (n <= 1)
        m_view.editPosition(position);
}

void ChartCanvas::chartContextMenu(Point point, const QPoint &globalPosition)
{
    const int index = cardAt(point);
    if (index >= 0)
        emit cardContextMenuRequested(cardID(index), globalPosition);
}

void ChartCanvas::keyPressEvent(QKeyEvent *event)
{
    // The keys act on the chart as it is now, not as it was last drawn.
    if (m_refreshPending)
        refresh();
    // The inspector's Edit takes Ctrl+E while it can edit; disabled while Current is locked,
    // it would leave the key unanswered: the editor's refusal says why here.
    if (event->key() == Qt::Key_E && (event->modifiers() & ~Qt::KeypadModifier) == Qt::ControlModifier
        && !m_view.canEditCurrent()) {
        if (const int index = selectedCardIndex(); index >= 0)
            m_view.editPosition(*m_scene->position(cardID(index)));
        return;
    }
    CardChartSurface::keyPressEvent(event);
}

int ChartCanvas::selectedCardIndex() const
{
    if (!m_scene || !m_revision.selection)
        return -1;
    // The layout's cards are in the order of their ids.
    const std::vector<ChartNode> &nodes = m_scene->layout().nodes;
    const auto node = std::lower_bound(nodes.begin(), nodes.end(), *m_revision.selection,
                                       [](const ChartNode &n, const std::string &id) { return n.id < id; });
    return node != nodes.end() && node->id == *m_revision.selection && m_scene->position(node->id)
               ? int(node - nodes.begin())
               : -1;
}

std::optional<Rect> ChartCanvas::selectableFrame(int index) const
{
    const ChartNode &node = m_scene->layout().nodes[size_t(index)];
    return m_scene->position(node.id) ? std::optional(node.frame) : std::nullopt;
}

void ChartCanvas::selectCard(int index)
{
    m_view.selectChartPerson(cardID(index));
}

void ChartCanvas::revealCard(int index)
{
    m_view.setPan(ChartViewport::centeredOffset(cardFrame(index), m_view.zoom(), Size{double(width()), double(height())}));
}

QRect ChartCanvas::focusRingRect() const
{
    // Only around the selected card: the card the arrows start from moves with every new
    // layout, and a ring there would have to follow it over the kept picture.
    if (const int index = selectedCardIndex(); index >= 0)
        return cardViewRect(index).adjusted(-7, -7, 7, 7);
    return {};
}

void ChartCanvas::focusInEvent(QFocusEvent *event)
{
    CardChartSurface::focusInEvent(event);
    update(ringRegion(focusRingRect()));
}

void ChartCanvas::focusOutEvent(QFocusEvent *event)
{
    CardChartSurface::focusOutEvent(event);
    update(ringRegion(m_ringShown));
}

void ChartCanvas::showCardMenu(int index)
{
    // A card scrolled out of view has its menu mid-canvas.
    const QRect shown = cardViewRect(index).intersected(rect());
    const QPoint at = shown.isEmpty() ? rect().center() : shown.center();
    emit cardContextMenuRequested(cardID(index), mapToGlobal(at));
}

void ChartCanvas::popUp(QMenu *menu, const QPointF &viewPoint)
{
    menu->setAttribute(Qt::WA_DeleteOnClose);
    menu->popup(mapToGlobal(viewPoint.toPoint()));
}

void ChartCanvas::showLinkedSheets(const std::string &cardID, const QPointF &viewPoint)
{
    auto *menu = new QMenu(this);
    for (const OrganizationSheet *sheet : m_scene->linkedSheetsOf(cardID)) {
        const std::string sheetID = sheet->id;
        menu->addAction(toQt(sheet->name), this, [this, sheetID] { m_view.openLinkedSheet(sheetID); });
    }
    popUp(menu, viewPoint);
}

void ChartCanvas::showManagerReference(const Position &position, const QPointF &viewPoint)
{
    const PrimaryManagerReference reference = *position.primaryManagerReference;
    auto *menu = new QMenu(this);
    const auto open = [this, managerID = reference.positionID](const std::string &sheetID) {
        m_view.openLinkedSheet(sheetID);
        m_view.setSelectedID(managerID);
    };
    if (reference.charts.empty()) {
        menu->addAction(QStringLiteral("View primary manager in entire organization"), this,
                        [open] { open(std::string()); });
    }
    const bool hideNames = m_view.printSettings().hideNames;
    const std::string who = hideNames || !reference.employeeName ? reference.jobTitle : *reference.employeeName;
    for (const ManagerChartReference &chart : reference.charts) {
        menu->addAction(toQt(who + " \u00b7 " + chart.name), this, [open, id = chart.id] { open(id); });
    }
    popUp(menu, viewPoint);
}

void ChartCanvas::showCalloutByKeys(int index)
{
    const std::string id = cardID(index);
    const Position *position = m_scene->position(id);
    if (!position || !position->reportingCallout)
        return;
    const ChartCanvasCard::Controls controls =
        ChartCanvasCard::controls(cardFrame(index), *position, cardState(id, *position), cardLook());
    showCallout(*position->reportingCallout, m_view.printSettings().hideNames,
                controls.callout.value_or(cardFrame(index)), Opened::byKeys);
}

bool ChartCanvas::event(QEvent *event)
{
    if (event->type() != QEvent::ToolTip)
        return CardChartSurface::event(event);
    auto *help = static_cast<QHelpEvent *>(event);
    const Point point = displayedCamera().chartPoint(Point{double(help->pos().x()), double(help->pos().y())});
    const int index = cardAt(point);
    if (index < 0) {
        QToolTip::showText(help->globalPos(), toolTip(), this);
        return true;
    }
    const std::string id = cardID(index);
    const Position &position = *m_scene->position(id);
    const ChartCanvasCard::State state = cardState(id, position);
    const ChartCanvasCard::Controls controls = ChartCanvasCard::controls(cardFrame(index), position, state, cardLook());
    const QString text =
        ChartCanvasCard::toolTip(controls, point, position, state, m_view.printSettings().hideNames);
    if (text.isEmpty())
        QToolTip::hideText();
    else
        QToolTip::showText(help->globalPos(), text, this);
    return true;
}

void ChartCanvas::reportViewport()
{
    m_view.setViewportSize(Size{double(width()), double(height())});
}

void ChartCanvas::resizeEvent(QResizeEvent *event)
{
    CardChartSurface::resizeEvent(event);
    reportViewport();
    // What is kept of the view on a resize would keep the ring along its old edge.
    if (hasFocus()) {
        update(ringRegion(m_ringShown));
        update(ringRegion(focusRingRect()));
    }
}

void ChartCanvas::showEvent(QShowEvent *event)
{
    CardChartSurface::showEvent(event);
    reportViewport();
}
