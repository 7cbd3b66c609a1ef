#include "app/chart/chart_search.h"

#include "app/sidebar/sidebar_style.h"

#include <QLabel>
#include <QListWidget>
#include <QPainter>
#include <QStyledItemDelegate>
#include <QVBoxLayout>

#include <algorithm>
#include <string_view>
#include <unordered_set>

static QString toQt(const std::string &text)
{
    return QString::fromStdString(text);
}

namespace {

constexpr int detailRole = Qt::UserRole + 1;
constexpr int rowPadding = 4;

// "<name> · <job title>" above the number, department and location (and, for a person off
// the chart shown, where to find them) in the smaller secondary style.
class SearchRowDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    QSize sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const override
    {
        const int lines = int(index.data(detailRole).toString().count(QLatin1Char('\n'))) + 1;
        return {1, twoLineHeight(option, lines) + 2 * rowPadding};
    }

    void paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const override
    {
        QStyleOptionViewItem styled = option;
        initStyleOption(&styled, index);
        paintTwoLineRow(*painter, styled, index.data(detailRole).toString(), rowPadding);
    }
};

} // namespace

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
    setAccessibleName(QStringLiteral("Search results"));
    setAttribute(Qt::WA_DeleteOnClose);
    setFrameShape(QFrame::StyledPanel);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(8, 8, 8, 8);
    m_header = new QLabel(this);
    QFont headline = m_header->font();
    headline.setBold(true);
    m_header->setFont(headline);
    m_list = new QListWidget(this);
    m_list->setFrameShape(QFrame::NoFrame);
    m_list->setAccessibleName(QStringLiteral("Search results"));
    m_list->setItemDelegate(new SearchRowDelegate(m_list));
    // The current result reads as the sidebar's selected row does.
    keepSelectionReadable(m_list);
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

QSize ChartSearchPopup::sizeHint() const
{
    return {popupWidth, popupHeight};
}

bool ChartSearchPopup::focusNextPrevChild(bool)
{
    // The list is the popup's one stop: Tab and Shift+Tab leave the results as Escape does.
    close();
    return true;
}

void ChartSearchPopup::setResults(const SearchResults &results)
{
    m_header->setText(ChartSearch::headerText(results.count));
    // Heard with the list as the focus enters it: how many people matched.
    m_list->setAccessibleDescription(m_header->text());
    m_list->clear();
    for (const SearchResultRow &row : results.rows) {
        QString detail = row.detail;
        if (row.offChart)
            detail += QLatin1Char('\n') + ChartSearch::offChartNote();
        auto *item = new QListWidgetItem(row.title, m_list);
        item->setData(Qt::UserRole, toQt(row.id));
        item->setData(detailRole, detail);
        item->setData(Qt::AccessibleTextRole, row.title + QLatin1Char('\n') + detail);
    }
    if (m_list->count() > 0)
        m_list->setCurrentRow(0);
}
