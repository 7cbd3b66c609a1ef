#include "app/chart/chart_search.h"
#include "app/chart/chart_view.h"
#include "app/shell/organization_document.h"

#include "core/model/chart_viewport.h"

#include "app_test_support.h"
#include "chart_fixtures.h"
#include "scripted_dialogs.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QImage>
#include <QListWidget>

using namespace AppTest;

namespace {

Organization searchDistrict()
{
    Organization org;
    org.positions.push_back(person("P1", "Ada Lovelace"));
    org.positions.push_back(person("P2", "Grace Hopper", "P1"));
    Position vacancy = person("V1", "", "P1");
    vacancy.employee.reset();
    vacancy.customJobTitle = "Counselor";
    vacancy.location = "North High";
    org.positions.push_back(vacancy);
    org.positions.push_back(person("P3", "Alan Turing", "P1"));
    return org;
}

std::vector<std::string> ids(const SearchResults &results)
{
    std::vector<std::string> out;
    for (const SearchResultRow &row : results.rows)
        out.push_back(row.id);
    return out;
}

TEST(ChartSearchRows, MatchesEveryWordInAnyOrderAndCase)
{
    const Organization org = searchDistrict();
    struct Case {
        const char *text;
        std::vector<std::string> expected;
    };
    const Case cases[] = {
        {"lovelace ada", {"P1"}},
        {"  HOPPER\tgrace ", {"P2"}},
        {"vacant", {"V1"}},
        {"counselor north", {"V1"}},
        // Person order: by last name, vacancies last.
        {"teacher", {"P2", "P1", "P3", "V1"}},
        {"", {}},
        {"   ", {}},
        {"ada nobody", {}},
    };
    for (const Case &c : cases) {
        const SearchResults results = searchResultRows(org, c.text, org);
        EXPECT_EQ(ids(results), c.expected) << c.text;
        EXPECT_EQ(results.count, int64_t(c.expected.size())) << c.text;
    }
}

TEST(ChartSearchRows, RowTextsAndTheOffChartLine)
{
    const Organization org = searchDistrict();
    Organization chart;
    chart.positions.push_back(org.positions[0]);
    const SearchResults results = searchResultRows(org, "e", chart);
    ASSERT_EQ(results.count, 4);
    const auto row = [&](const std::string &id) {
        return *std::find_if(results.rows.begin(), results.rows.end(), [&](const SearchResultRow &r) { return r.id == id; });
    };
    EXPECT_EQ(row("P1"), (SearchResultRow{"P1", "Ada Lovelace · Teacher", "EP1 · Instruction · ", false}));
    // A vacancy shows "Vacant", its job title and its position id for the number.
    EXPECT_EQ(row("V1"), (SearchResultRow{"V1", "Vacant · Counselor", "V1 · Instruction · North High", true}));
    EXPECT_TRUE(row("P2").offChart);
}

TEST(ChartSearchRows, ListsAHundredButCountsAll)
{
    Organization org;
    for (int i = 0; i < 150; ++i)
        org.positions.push_back(person("P" + std::to_string(i), "Person " + std::to_string(i)));
    const SearchResults results = searchResultRows(org, "person", org);
    EXPECT_EQ(results.count, 150);
    EXPECT_EQ(results.rows.size(), ChartSearch::maximumRows);
    EXPECT_EQ(ChartSearch::headerText(results.count), "150 matches");
}

class ChartSearchView : public ChartViewFixture {
protected:
    void SetUp() override
    {
        OrganizationArchive archive = OrganizationArchive::make("District", searchDistrict());
        archive.sheets = std::vector<OrganizationSheet>{{"S1", "Leaders", {"P1", "P2"}}};
        document.setArchive(archive);
    }
};

// The first line in the list's text colour, the lines below it in the secondary colour.
TEST(ChartSearchPopup, SecondLinesAreDrawnInTheSecondaryStyle)
{
    ChartSearchPopup popup;
    QPalette palette = popup.palette();
    palette.setColor(QPalette::Text, Qt::black);
    palette.setColor(QPalette::PlaceholderText, QColor(0, 0, 255));
    palette.setColor(QPalette::Base, Qt::white);
    palette.setColor(QPalette::AlternateBase, Qt::white);
    popup.setPalette(palette);
    popup.setResults(searchResultRows(searchDistrict(), "grace", Organization()));
    popup.show();
    QListWidget *list = popup.list();
    ASSERT_EQ(list->count(), 1);
    list->clearSelection();
    list->setCurrentItem(nullptr);
    const QRect row = list->visualItemRect(list->item(0));
    const QImage shot = list->viewport()->grab().toImage();
    const int firstLineBottom = row.top() + list->fontMetrics().height() + 4;
    const auto count = [&](int top, int bottom, auto &&test) {
        int found = 0;
        for (int y = top; y < bottom; ++y) {
            for (int x = row.left(); x < row.right(); ++x)
                found += test(shot.pixelColor(x, y));
        }
        return found;
    };
    const auto dark = [](const QColor &c) { return c.red() < 90 && c.green() < 90 && c.blue() < 90; };
    const auto blue = [](const QColor &c) { return c.blue() > 200 && c.red() < 120 && c.green() < 120; };
    EXPECT_GT(count(row.top(), firstLineBottom, dark), 20);
    EXPECT_EQ(count(row.top(), firstLineBottom, blue), 0);
    EXPECT_GT(count(firstLineBottom, row.bottom(), blue), 20) << "the detail and the off-chart note";
    EXPECT_EQ(count(firstLineBottom, row.bottom(), dark), 0);
    EXPECT_EQ(list->item(0)->data(Qt::AccessibleTextRole).toString().count('\n'), 2);
}

TEST_F(ChartSearchView, ResultsFollowTheTextTheChartAndTheDocument)
{
    view.setSelectedSheetID("S1");
    view.setSearchText("turing");
    ASSERT_EQ(view.searchResults().rows.size(), 1u);
    EXPECT_TRUE(view.searchResults().rows[0].offChart);
    // Listed on the chart since: searched again.
    document.edit([](OrganizationArchive &a) { a.sheets->at(0).positionIDs.push_back("P3"); });
    EXPECT_FALSE(view.searchResults().rows[0].offChart);
    view.setSelectedSheetID("");
    view.setSearchText("hopper");
    EXPECT_EQ(ids(view.searchResults()), std::vector<std::string>{"P2"});
    document.edit([](OrganizationArchive &a) { a.organization.positions[1].employee->name = "Grace Brewster"; });
    EXPECT_EQ(view.searchResults().count, 0);
}

TEST_F(ChartSearchView, ChoosingAPersonOffTheChartShowsTheWholeOrganization)
{
    view.setSelectedSheetID("S1");
    view.setFocusPersonID("P2");
    view.setShowingSearch(true);
    view.chooseSearchResult("P3");
    EXPECT_EQ(view.selectedSheetID(), "");
    EXPECT_EQ(view.focusPersonID(), "");
    EXPECT_FALSE(view.isShowingSearch());
    // Selected on the next turn of the event loop.
    EXPECT_EQ(view.selectedID(), std::nullopt);
    QCoreApplication::processEvents();
    EXPECT_EQ(view.selectedID(), "P3");

    // On the chart and inside the focus: both stay.
    view.setSelectedSheetID("S1");
    view.setFocusPersonID("P1");
    view.chooseSearchResult("P2");
    QCoreApplication::processEvents();
    EXPECT_EQ(view.selectedSheetID(), "S1");
    EXPECT_EQ(view.focusPersonID(), "P1");
    EXPECT_EQ(view.selectedID(), "P2");
}

TEST_F(ChartSearchView, CenteringKeepsTheZoomAndNeedsACanvasAndACard)
{
    view.setPan({5, 5});
    view.centerPerson("P2");
    EXPECT_EQ(view.pan(), (Size{5, 5})) << "no canvas size yet";
    view.setViewportSize({800, 600});
    view.setZoom(2);
    view.setPan({5, 5});
    view.centerPerson("GONE");
    EXPECT_EQ(view.pan(), (Size{5, 5}));
    view.centerPerson("P2");
    const auto scene = view.chartScene();
    ASSERT_TRUE(scene);
    const auto node = std::find_if(scene->layout().nodes.begin(), scene->layout().nodes.end(),
                                   [](const ChartNode &n) { return n.id == "P2"; });
    ASSERT_NE(node, scene->layout().nodes.end());
    EXPECT_EQ(view.pan(), (Size{400 - 2 * node->frame.midX(), 300 - 2 * node->frame.midY()}));
    EXPECT_EQ(view.zoom(), 2);

    // A pending fit is dropped at once, the centring waits a turn.
    view.setPan({0, 0});
    view.resetFocusedView();
    view.requestCenterPerson("P2");
    EXPECT_FALSE(view.isFitRequested());
    QCoreApplication::processEvents();
    EXPECT_EQ(view.pan(), (Size{400 - view.zoom() * node->frame.midX(), 300 - view.zoom() * node->frame.midY()}));
}

} // namespace
