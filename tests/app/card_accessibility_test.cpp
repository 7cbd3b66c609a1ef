#include "app/chart_card_accessibility.h"

#include "core/organization.h"
#include "core/print_settings.h"

#include <gtest/gtest.h>

#include <QLocale>

namespace {

TEST(CardAccessibility, LabelFollowsWhatTheCardShows)
{
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    Position teacher;
    teacher.title = "T2";
    teacher.customJobTitle = "Teacher";
    teacher.department = "Science";
    teacher.location = "North High";
    teacher.employee = Employee{"E7", "Grace Hopper"};
    ChartPrintSettings namesOnly;
    namesOnly.showJobTitle = false;
    ChartPrintSettings hidden = namesOnly;
    hidden.hideNames = true;
    ChartPrintSettings everything;
    everything.showPayLevel = true;
    Position vacant = teacher;
    vacant.employee.reset();
    Position blank = teacher;
    blank.department.clear();
    blank.location = "  ";
    blank.fte = 1234.5;
    Position referenced = teacher;
    referenced.primaryManagerReference = PrimaryManagerReference{"P1", "Ada", "Principal", {{"S1", "Science"}}};
    referenced.reportingCallout = ReportingCallout{{{"P1", "Ada", "Principal", {}}, {"P2", {}, "Dean", {}}}, "P1"};

    const struct {
        Position position;
        ChartPrintSettings settings;
        int64_t count;
        QString label;
    } cases[] = {
        {vacant, namesOnly, 2, "Vacant, Science, North High, 1 FTE, 2 positions"},
        {vacant, hidden, 1, "Science, North High, 1 FTE"},
        // Spaces are kept as typed; the FTE is in the user's number format.
        {blank, namesOnly, 1, "Grace Hopper,   , 1.234,5 FTE"},
        {teacher, everything, 1, "Teacher, Grace Hopper, Science, North High, 1 FTE, Pay Level: T2"},
        {referenced, hidden, 1,
         "Science, North High, 1 FTE, Primary: Principal \u00b7 Science, Also reports to 1 other manager"},
    };
    for (const auto &c : cases)
        EXPECT_EQ(ChartCardAccessibility::label(c.position, c.settings, c.count), c.label);
    QLocale::setDefault(QLocale::system());
}

} // namespace
