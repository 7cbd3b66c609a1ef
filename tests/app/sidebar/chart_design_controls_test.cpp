#include "app/sidebar/chart_appearance_controls.h"
#include "app/sidebar/chart_design_controls.h"
#include "app/sidebar/popup_placement.h"

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QFrame>
#include <QLineEdit>
#include <QTest>

#include <cmath>
#include <limits>

namespace {

// On the box itself: a checkbox wider than its label takes clicks only on the box and label.
void click(QCheckBox *box)
{
    QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(6, box->height() / 2));
}

ChartPrintSettings sized(double width, double height, bool landscape = false)
{
    ChartPrintSettings settings;
    settings.widthInches = width;
    settings.heightInches = height;
    settings.landscape = landscape;
    return settings;
}

TEST(PaperName, MatchesPresetsWithinAHundredthOfAnInch)
{
    const std::vector<PaperPreset> twins{{"Mine", 8.5, 11}, {"Letter", 8.5, 11}};
    const struct {
        ChartPrintSettings settings;
        std::vector<PaperPreset> papers;
        bool custom;
        const char *expected;
    } cases[] = {
        {sized(8.5, 11, true), standardPapers(), false, "Letter"}, // orientation aside
        {sized(8.509, 11), standardPapers(), false, "Letter"},
        {sized(8.52, 11), standardPapers(), false, "Custom"},
        {sized(11, 8.5), standardPapers(), false, "Custom"},       // stored values as they are
        {sized(297 / 25.4, 420 / 25.4), standardPapers(), false, "A3"},
        {sized(8.5, 11), twins, false, "Mine"},                    // the first preset wins
        {sized(8.5, 11), {}, false, "Custom"},
        {sized(8.5, 11), standardPapers(), true, "Custom"},        // chosen custom stays
    };
    for (const auto &c : cases)
        EXPECT_EQ(paperName(c.settings, c.papers, c.custom), c.expected)
            << c.settings.widthInches << " x " << c.settings.heightInches;
}

TEST(PaperName, KeepsOnlyReadableDimensionsFromTwoToTwoHundredInches)
{
    const QLocale english(QLocale::English, QLocale::UnitedStates);
    const QLocale german(QLocale::German, QLocale::Germany);
    const struct {
        const char *text;
        const QLocale &locale;
        std::optional<double> expected;
    } cases[] = {
        {"2", english, 2},          {"200", english, 200},        {" 8.5 ", english, 8.5},
        {"8,5", german, 8.5},       {"1.99", english, {}},        {"200.01", english, {}},
        {"8.5", german, {}},        {"abc", english, {}},         {"", english, {}},
        {"inf", english, {}},       {"nan", english, {}},         {"-5", english, {}},
    };
    for (const auto &c : cases)
        EXPECT_EQ(readDimension(c.text, c.locale), c.expected) << c.text;
    EXPECT_FALSE(acceptDimension(std::numeric_limits<double>::infinity()));
    EXPECT_FALSE(acceptDimension(std::nan("")));
}

TEST(PaperName, HelpGivesThePaperAsLaidOut)
{
    EXPECT_EQ(paperHelpText(ChartPrintSettings::departmentDesign()),
              "Design paper: 11 × 8.5 inches. Change paper size, orientation, headings, and card appearance.");
    EXPECT_TRUE(paperHelpText(sized(11, 8.5)).startsWith("Design paper: 8.5 × 11 inches."));
    EXPECT_TRUE(paperHelpText(sized(210 / 25.4, 297 / 25.4)).startsWith("Design paper: 8.268 × 11.693 inches."));
}

// Each row: a starting state of the four switches, one switch set, the fields afterwards.
TEST(DisplayToggles, CouplingKeepsNamesAndCollapsedTitlesApart)
{
    struct Flags {
        bool hideNames, showJobTitle, combine;
        bool operator==(const Flags &) const = default;
    };
    const struct {
        Flags before;
        DisplayToggle toggle;
        bool on;
        Flags after;
    } cases[] = {
        {{false, true, true}, DisplayToggle::names, false, {true, true, false}},       // never turns collapse on
        {{true, true, true}, DisplayToggle::names, true, {false, true, false}},
        {{true, false, false}, DisplayToggle::collapseToPosition, true, {true, true, true}},
        {{true, true, true}, DisplayToggle::positions, false, {true, false, false}},
        {{true, true, true}, DisplayToggle::collapseToPosition, false, {true, true, false}}, // names stay off
        {{false, true, true}, DisplayToggle::payLevel, true, {false, true, true}},
    };
    for (const auto &c : cases) {
        ChartPrintSettings settings;
        settings.hideNames = c.before.hideNames;
        settings.showJobTitle = c.before.showJobTitle;
        settings.combineMatchingTitles = c.before.combine;
        const ChartPrintSettings after = withDisplayToggle(settings, c.toggle, c.on);
        EXPECT_EQ((Flags{after.hideNames, after.showJobTitle, after.combineMatchingTitles}), c.after) << int(c.toggle);
        EXPECT_FALSE(after.showNames() && after.collapseToPosition());
    }
    const ChartPrintSettings defaults;
    EXPECT_TRUE(isDisplayToggleOn(defaults, DisplayToggle::names));
    EXPECT_TRUE(isDisplayToggleOn(defaults, DisplayToggle::positions));
    EXPECT_FALSE(isDisplayToggleOn(defaults, DisplayToggle::payLevel));
    EXPECT_FALSE(isDisplayToggleOn(defaults, DisplayToggle::collapseToPosition));
}

TEST(DisplayToggles, ClicksWriteThroughTheBindingAndShowWhatIsKept)
{
    ChartPrintSettings stored;
    int writes = 0;
    bool refuse = false;
    ChartAppearanceControls controls({[&] { return stored; },
                                      [&](const ChartPrintSettings &next) {
                                          ++writes;
                                          if (!refuse)
                                              stored = next;
                                      }});
    EXPECT_EQ(controls.focusedViewBox(), nullptr);

    click(controls.checkBox(DisplayToggle::collapseToPosition));
    EXPECT_TRUE(stored.collapseToPosition());
    EXPECT_FALSE(controls.checkBox(DisplayToggle::names)->isChecked());
    EXPECT_EQ(writes, 1); // refreshing the names box wrote nothing back

    refuse = true;
    click(controls.checkBox(DisplayToggle::payLevel));
    EXPECT_FALSE(controls.checkBox(DisplayToggle::payLevel)->isChecked());
}

TEST(DisplayToggles, FocusedViewShowsItsValueWhileItCannotChange)
{
    ChartPrintSettings settings;
    bool focused = true;
    ChartAppearanceControls controls(Binding<ChartPrintSettings>::over(settings), Binding<bool>::over(focused));
    controls.setCanChangeFocusedView(false);
    ASSERT_NE(controls.focusedViewBox(), nullptr);
    EXPECT_TRUE(controls.focusedViewBox()->isChecked());
    EXPECT_FALSE(controls.focusedViewBox()->isEnabled());
    controls.setCanChangeFocusedView(true);
    click(controls.focusedViewBox());
    EXPECT_FALSE(focused);
}

class DesignPanel : public ::testing::Test {
protected:
    ChartDesignControls &panel()
    {
        if (!m_panel) {
            Binding<ChartPrintSettings> binding{[this] { return settings; },
                                                [this](const ChartPrintSettings &next) {
                                                    settings = next;
                                                    ++writes;
                                                }};
            m_panel = std::make_unique<ChartDesignControls>(
                ChartDesignBindings{binding, Binding<QString>::over(title), Binding<QString>::over(subtitle), std::nullopt},
                standardPapers());
            m_panel->show();
        }
        return *m_panel;
    }
    void choose(const QString &paper)
    {
        const int index = panel().paperPicker()->findText(paper);
        ASSERT_GE(index, 0) << paper.toStdString();
        emit panel().paperPicker()->activated(index);
    }
    void type(QLineEdit *field, const QString &text)
    {
        field->setFocus();
        field->selectAll();
        QTest::keyClicks(field, text);
        QTest::keyClick(field, Qt::Key_Return);
    }

    ChartPrintSettings settings;
    QString title = "District";
    QString subtitle;
    int writes = 0;
    std::unique_ptr<ChartDesignControls> m_panel;
};

TEST_F(DesignPanel, CustomStaysChosenAndAPresetWritesBothDimensionsAtOnce)
{
    EXPECT_EQ(panel().paperPicker()->currentText(), "Letter");
    choose("Custom");
    EXPECT_EQ(panel().paperPicker()->currentText(), "Custom");
    EXPECT_EQ(settings, ChartPrintSettings());
    choose("Tabloid");
    EXPECT_EQ(writes, 1);
    EXPECT_EQ(std::pair(settings.widthInches, settings.heightInches), std::pair(11.0, 17.0));
    EXPECT_EQ(panel().paperPicker()->currentText(), "Tabloid");
    EXPECT_EQ(panel().heightField()->text(), "17");
}

TEST_F(DesignPanel, OutOfRangeWidthRevertsAndTheBoundaryIsKept)
{
    type(panel().widthField(), "1.99");
    EXPECT_EQ(settings.widthInches, 8.5);
    EXPECT_EQ(writes, 0);
    EXPECT_EQ(panel().widthField()->text(), "8.5");

    type(panel().widthField(), "2");
    EXPECT_EQ(settings.widthInches, 2);
    EXPECT_EQ(panel().paperPicker()->currentText(), "Custom"); // the picker follows the size
}

TEST_F(DesignPanel, LeavingAnUntouchedFieldKeepsTheStoredPrecision)
{
    settings.widthInches = 210 / 25.4;
    settings.heightInches = 297 / 25.4;
    EXPECT_EQ(panel().widthField()->text(), "8.268");
    panel().widthField()->setFocus();
    emit panel().widthField()->editingFinished();
    EXPECT_EQ(writes, 0);
}

TEST_F(DesignPanel, HeadingsAndSwitchesWriteAsTheyChange)
{
    EXPECT_EQ(panel().titleField()->text(), "District");
    QTest::keyClicks(panel().subtitleField(), "Fall");
    EXPECT_EQ(subtitle, "Fall");
    click(panel().balanceBox());
    EXPECT_TRUE(settings.pageBalancedLayout);
    click(panel().appearance()->checkBox(DisplayToggle::names));
    EXPECT_TRUE(settings.hideNames);
    EXPECT_EQ(panel().appearance()->focusedViewBox(), nullptr);
}

// The panel's fixed frame is its size in its popup wherever the screen's free area holds it:
// 480 × 700 (and the popup's frame) on 1280 × 800 at scale 1, however little its controls
// take; only a smaller room shortens it, and it scrolls there.
TEST_F(DesignPanel, OpensAtItsWholeSizeWhereTheScreenHoldsIt)
{
    Binding<ChartPrintSettings> binding{[this] { return settings; }, [this](const ChartPrintSettings &next) { settings = next; }};
    QFrame popup;
    popup.setFrameShape(QFrame::StyledPanel);
    setScrollingContent(&popup, new ChartDesignControls(ChartDesignBindings{binding, Binding<QString>::over(title),
                                                                            Binding<QString>::over(subtitle), std::nullopt},
                                                        standardPapers()));
    const int frame = 2 * popup.frameWidth();
    const QSize wanted = popup.sizeHint();
    EXPECT_EQ(wanted, QSize(ChartDesignControls::panelWidth + frame, ChartDesignControls::panelHeight + frame));
    const QRect button(615, 148, 131, 24);
    const QRect screen(0, 0, 1280, 800);
    EXPECT_EQ(popupPlaced(wanted, popup.minimumSizeHint(), button, screen, screen, PopupFit::wholeOnScreen).size(), wanted);
    const QRect scaledTwice(0, 0, 640, 400);
    EXPECT_EQ(popupPlaced(wanted, popup.minimumSizeHint(), button.translated(-300, 0), scaledTwice, scaledTwice,
                          PopupFit::wholeOnScreen)
                  .height(),
              400);
}

} // namespace
