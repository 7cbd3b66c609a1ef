#include "app/chart/chart_card_accessibility.h"

#include "core/model/organization.h"
#include "core/model/print_settings.h"

#include <gtest/gtest.h>

#include <QLocale>

TEST(CardAccessibility, LabelFollowsWhatTheCardShows)
{
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    Position vacant;
    vacant.title = "T2";
    vacant.department = "Science";
    vacant.location = "North High";
    vacant.fte = 1234.5;
    ChartPrintSettings hidden;
    hidden.showJobTitle = false;
    hidden.hideNames = true;
    Position referenced = vacant;
    referenced.fte = 1;
    referenced.employee = Employee{"E7", "Grace Hopper"};
    referenced.primaryManagerReference = PrimaryManagerReference{"P1", "Ada", "Principal", {{"S1", "Science"}}};
    referenced.reportingCallout = ReportingCallout{{{"P1", "Ada", "Principal", {}}, {"P2", {}, "Dean", {}}}, "P1"};

    EXPECT_EQ(ChartCardAccessibility::label(vacant, ChartPrintSettings{}, 2),
              "T2, Vacant, Science, North High, 1.234,5 FTE, 2 positions");
    EXPECT_EQ(ChartCardAccessibility::label(referenced, hidden, 1),
              "Science, North High, 1 FTE, Primary: Principal \u00b7 Science, Also reports to 1 other manager");
    QLocale::setDefault(QLocale::system());
}
