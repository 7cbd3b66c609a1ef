#include "app/chart/chart_search.h"

#include <QLabel>
#include <QListWidget>
#include <QVBoxLayout>

#include <algorithm>
#include <string_view>
#include <unordered_set>

static QString toQt(const std::string &text)
{
    return QString::fromStdString(text);
}

QString ChartSearch::offChartNote()
{
    return QStringLiteral("View in Entire organization. Use Add Existing to include on this sheet.");
}

QString ChartSearch::headerText(int64_t count)
{
    return QStringLiteral("%1 matches").arg(count);
}

SearchResults searchResultRows(const Organization &organization, std::string_view text,
                               const Organization &chartOrganization)
{
    const std::vector<Position> matches = organization.search(text);
    SearchResults results;
    results.count = int64_t(matches.size());
    const std::size_t listed = std::min(matches.size(), ChartSearch::maximumRows);
    if (listed == 0)
        return results;
    // A set of the chart's ids: one lookup a row, not a scan of the chart.
    std::unordered_set<std::string_view> onChart;
    onChart.reserve(chartOrganization.positions.size());
    for (const Position &position : chartOrganization.positions)
        onChart.insert(position.id);
    results.rows.reserve(listed);
    for (std::size_t i = 0; i < listed; ++i) {
        const Position &p = matches[i];
        const QString name = p.employee ? toQt(p.employee->name) : QStringLiteral("Vacant");
        const QString number = p.employee ? toQt(p.employee->id) : toQt(p.id);
        results.rows.push_back({p.id, name + QStringLiteral(" · ") + toQt(p.jobTitle()),
                                number + QStringLiteral(" · ") + toQt(p.department) + QStringLiteral(" · ")
                                    + toQt(p.location),
                                !onChart.contains(p.id)});
    }
    return results;
}

ChartSearchPopup::ChartSearchPopup(QWidget *parent) : QFrame(parent, Qt::Popup)
{
    setAttribute(Qt::WA_DeleteOnClose);
    setFrameShape(QFrame::StyledPanel);
    resize(popupWidth, popupHeight);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(8, 8, 8, 8);
    m_header = new QLabel(this);
    QFont headline = m_header->font();
    headline.setBold(true);
    m_header->setFont(headline);
    m_list = new QListWidget(this);
    m_list->setFrameShape(QFrame::NoFrame);
    m_list->setWordWrap(true);
    m_list->setAlternatingRowColors(true);
    layout->addWidget(m_header);
    layout->addWidget(m_list, 1);
    auto choose = [this](QListWidgetItem *item) {
        if (!item)
            return;
        const QString id = item->data(Qt::UserRole).toString();
        close();
        emit chosen(id);
    };
    connect(m_list, &QListWidget::itemClicked, this, choose);
    connect(m_list, &QListWidget::itemActivated, this, choose);
}

void ChartSearchPopup::setResults(const SearchResults &results)
{
    m_header->setText(ChartSearch::headerText(results.count));
    m_list->clear();
    for (const SearchResultRow &row : results.rows) {
        QString label = row.title + QLatin1Char('\n') + row.detail;
        if (row.offChart)
            label += QLatin1Char('\n') + ChartSearch::offChartNote();
        auto *item = new QListWidgetItem(label, m_list);
        item->setData(Qt::UserRole, toQt(row.id));
    }
    if (m_list->count() > 0)
        m_list->setCurrentRow(0);
}
