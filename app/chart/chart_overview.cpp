// What the chart window lists and counts beside the chart: the sidebar's people and the
// header's counts, both read from the chart scene once per scene.
#include "app/chart/chart_view.h"

#include "app/shell/organization_document.h"

void ChartView::setOnlyNullManagers(bool on)
{
    if (on == m_onlyNullManagers)
        return;
    m_onlyNullManagers = on;
    emit sidebarFilterChanged();
}

std::shared_ptr<const std::vector<Position>> ChartView::sidebarPositions() const
{
    const std::shared_ptr<const ChartScene> scene = chartScene();
    if (scene && !m_onlyNullManagers)
        return {scene, &scene->scopedOrganization().positions};
    // A chart that cannot be drawn still lists its people, so they can be found and fixed.
    const Organization fallback = scene ? Organization() : archive().organizationIn(m_selectedSheetID);
    const std::vector<Position> &positions = scene ? scene->scopedOrganization().positions : fallback.positions;
    auto listed = std::make_shared<std::vector<Position>>();
    listed->reserve(positions.size());
    for (const Position &position : positions) {
        if (!m_onlyNullManagers || !position.managerID)
            listed->push_back(position);
    }
    return listed;
}

ChartCounts ChartView::chartCounts() const
{
    const std::shared_ptr<const ChartScene> scene = chartScene();
    if (scene.get() != m_countedScene || !scene) {
        // The scene is built for the collapsed branches too, so one count per scene holds.
        m_counts = ChartCounts();
        if (scene) {
            m_counts.cards = int64_t(scene->presentation().organization.positions.size());
            m_counts.shown = int64_t(scene->scopedOrganization().countShown(m_collapsedPositionIDs));
        }
        m_countedScene = scene.get();
        m_countedSceneHold = scene;
    }
    m_counts.total = int64_t(archive().organization.positions.size());
    return m_counts;
}

QString ChartView::countsText(const ChartCounts &counts)
{
    return QString("%1 tiles \u00b7 %2 of %3 positions").arg(counts.cards).arg(counts.shown).arg(counts.total);
}
