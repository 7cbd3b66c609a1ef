#pragma once

#ifndef Q_MOC_RUN
#include "core/model/organization.h"
#endif

#include <QFrame>
#include <QString>

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

class QLabel;
class QListWidget;

// One row of the Find popup.
struct SearchResultRow {
    std::string id;
    QString title;  // "<name> · <job title>"
    QString detail; // "<number> · <department> · <location>"
    bool offChart = false; // not on the chart shown: choosing it shows the entire organization
    bool operator==(const SearchResultRow &) const = default;
};

struct SearchResults {
    int64_t count = 0; // every match, also those past the rows listed
    std::vector<SearchResultRow> rows;
    bool operator==(const SearchResults &) const = default;
};

namespace ChartSearch {

// The popup lists no more rows than this, however many positions match.
inline constexpr std::size_t maximumRows = 100;

QString offChartNote();
QString headerText(int64_t count);

} // namespace ChartSearch

// The positions of the whole organization that match `text`, in person order, with the
// first maximumRows as rows; a row is off-chart when `chartOrganization` lacks it.
// Linear in the positions plus the sort of the matches.
SearchResults searchResultRows(const Organization &organization, std::string_view text,
                               const Organization &chartOrganization);

// The Find popup: "<n> matches" over the list of rows; choosing a row (click or Return)
// reports its position id and closes the popup; Escape, Tab and Shift+Tab close it.
class ChartSearchPopup : public QFrame {
    Q_OBJECT
public:
    static constexpr int popupWidth = 520;
    static constexpr int popupHeight = 360;

    explicit ChartSearchPopup(QWidget *parent = nullptr);
    // Its size where the screen has room; on a smaller screen the list is shorter.
    QSize sizeHint() const override;
    void setResults(const SearchResults &results);
    QLabel *header() const { return m_header; }
    QListWidget *list() const { return m_list; }

signals:
    void chosen(const QString &id);

protected:
    bool focusNextPrevChild(bool next) override;

private:
    QLabel *m_header;
    QListWidget *m_list;
};
