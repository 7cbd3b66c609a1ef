#include "app/chart/chart_card_accessibility.h"

#include "core/model/organization.h"
#include "core/model/print_settings.h"

#include <gtest/gtest.h>

#include <QLocale>

namespace {

class CardAccessibility : public ::testing::Test {
protected:
    void SetUp() override { QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates)); }
    void TearDown() override { QLocale::setDefault(QLocale::system()); }

    static Position teacher()
    {
        Position position;
        position.id = "P7";
        position.title = "T2";
        position.customJobTitle = "Teacher";
        position.department = "Science";
        position.location = "North High";
        position.employee = Employee{"E7", "Grace Hopper"};
        return position;
    }

    static ChartPrintSettings namesOnly()
    {
        ChartPrintSettings settings;
        settings.showJobTitle = false;
        settings.showPayLevel = false;
        return settings;
    }
};

TEST_F(CardAccessibility, LabelFollowsWhatTheCardShows)
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

TEST_F(CardAccessibility, FilledPositionReadsNameDepartmentLocationAndFte)
{
    EXPECT_EQ(ChartCardAccessibility::label(teacher(), namesOnly(), 1), "Grace Hopper, Science, North High, 1 FTE");
}

TEST_F(CardAccessibility, FollowsWhatTheCardShows)
{
    Position vacant = teacher();
    vacant.employee.reset();
    ChartPrintSettings hidden = namesOnly();
    hidden.hideNames = true;
    ChartPrintSettings everything;
    everything.showPayLevel = true;
    Position payLevelOnly = teacher();
    payLevelOnly.customJobTitle.reset();
    Position group = teacher();
    group.groupMemberCount = 3;
    Position assistant = teacher();
    assistant.isAssistant = true;
    Position blank = teacher();
    blank.department.clear();
    blank.location.clear();

    struct Case {
        const char *name;
        Position position;
        ChartPrintSettings settings;
        int64_t count;
        QString label;
    };
    const Case cases[] = {
        {"vacant shows Vacant", vacant, namesOnly(), 1, "Vacant, Science, North High, 1 FTE"},
        {"hidden names hide Vacant too", vacant, hidden, 1, "Science, North High, 1 FTE"},
        {"group even with names hidden", group, hidden, 1, "Position group, Science, North High, 1 FTE"},
        {"assistant", assistant, namesOnly(), 1, "Grace Hopper, Assistant, Science, North High, 1 FTE"},
        {"no empty parts", blank, namesOnly(), 1, "Grace Hopper, 1 FTE"},
        {"count of two", teacher(), namesOnly(), 2, "Grace Hopper, Science, North High, 1 FTE, 2 positions"},
        {"count of zero", teacher(), namesOnly(), 0, "Grace Hopper, Science, North High, 1 FTE"},
        {"title and pay level", teacher(), everything, 1,
         "Teacher, Grace Hopper, Science, North High, 1 FTE, Pay Level: T2"},
        {"pay level read twice", payLevelOnly, everything, 1,
         "T2, Grace Hopper, Science, North High, 1 FTE, Pay Level: T2"},
    };
    for (const Case &c : cases)
        EXPECT_EQ(ChartCardAccessibility::label(c.position, c.settings, c.count), c.label) << c.name;
}

TEST_F(CardAccessibility, SpacesAreKeptAsTyped)
{
    Position position = teacher();
    position.location = "  ";
    EXPECT_EQ(ChartCardAccessibility::label(position, namesOnly(), 1), "Grace Hopper, Science,   , 1 FTE");
}

TEST_F(CardAccessibility, FteInTheUsersNumberFormat)
{
    const auto fte = [](double value) {
        Position position = teacher();
        position.fte = value;
        ChartPrintSettings bare = namesOnly();
        bare.hideNames = true;
        position.department.clear();
        position.location.clear();
        return ChartCardAccessibility::label(position, bare, 1);
    };
    EXPECT_EQ(fte(0.75), "0.75 FTE");
    EXPECT_EQ(fte(2), "2 FTE");
    EXPECT_EQ(fte(1234.5), "1,234.5 FTE");
    EXPECT_EQ(fte(1e-320), "1e-320 FTE"); // a share too small to round, but a share
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    EXPECT_EQ(fte(1234.5), "1.234,5 FTE");
}

TEST_F(CardAccessibility, ManagerReferenceAndCalloutComeLast)
{
    Position position = teacher();
    position.primaryManagerReference = PrimaryManagerReference{"P1", "Ada Lovelace", "Principal", {{"S1", "Science"}}};
    position.reportingCallout = ReportingCallout{{{"P1", "Ada Lovelace", "Principal", {}}, {"P2", {}, "Dean", {}}}, "P1"};
    EXPECT_EQ(ChartCardAccessibility::label(position, namesOnly(), 1),
              "Grace Hopper, Science, North High, 1 FTE, Primary: Ada Lovelace \u00b7 Science, "
              "Also reports to 1 other manager");
    ChartPrintSettings hidden = namesOnly();
    hidden.hideNames = true;
    EXPECT_EQ(ChartCardAccessibility::label(position, hidden, 1),
              "Science, North High, 1 FTE, Primary: Principal \u00b7 Science, Also reports to 1 other manager");
}

} // namespace
