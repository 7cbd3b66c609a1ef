#include "app/chart/chart_search.h"
#include "app/sidebar/organization_sidebar.h"
#include "app/sidebar/searchable_dropdown.h"
#include "app/sidebar/sidebar_style.h"

#include "palette_contrast.h"
#include "sidebar_positions.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QCoreApplication>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QListWidget>
#include <QTest>
#include <QTreeView>
#include <QVBoxLayout>
#include <QWidget>

using namespace AppTest;

namespace {

// How well a caption reads, drawn in a window of `palette`.
double captionContrast(const QPalette &palette)
{
    QWidget window;
    window.setPalette(palette);
    auto *layout = new QVBoxLayout(&window);
    QLabel *caption = makeCaption(QStringLiteral("Changes apply to this chart and its print layout."), &window);
    layout->addWidget(caption);
    window.show();
    QCoreApplication::processEvents();
    const QImage shot = caption->grab().toImage();
    return strongestContrast(shot, shot.rect(), palette.color(QPalette::Window));
}

// Captions and second lines read at 4.5:1 in a light and a dark palette once the
// application's secondary text is made readable; a light desktop's own grey does not.
TEST(ReadableText, SecondaryTextReadsInBothPalettes)
{
    EXPECT_LT(captionContrast(lightPalette()), 4.5) << "the desktop's grey alone";
    for (const QPalette &palette : {lightPalette(), darkPalette()}) {
        const QPalette readable = withReadableSecondaryText(palette);
        EXPECT_GE(captionContrast(readable), 4.5) << palette.color(QPalette::Window).name().toStdString();
        EXPECT_GE(contrast(readable.color(QPalette::PlaceholderText), readable.color(QPalette::Base)), 4.5);
        // Text that already reads is left as it is.
        EXPECT_EQ(withReadableSecondaryText(readable), readable);
    }
}

// A colour made readable keeps its hue: red stays red, darker on light, lighter on dark.
TEST(ReadableText, ColoursStayTheirHue)
{
    for (const QColor &background : {QColor(239, 239, 239), QColor(53, 53, 53), QColor(72, 72, 72)}) {
        const QColor red = readableOn(errorRed, {background});
        EXPECT_GE(contrast(red, background), 4.5) << background.name().toStdString();
        EXPECT_GT(red.red(), red.green() + 40) << red.name().toStdString();
    }
    EXPECT_EQ(readableOn(Qt::black, {Qt::white}), QColor(Qt::black));
}

// A desktop whose placeholder grey is its text colour at half strength: placeholders read at
// 4.5:1 yet stay lighter than typed text. Dropping the translucency made them solid text.
TEST(ReadableText, TranslucentPlaceholdersStayPlaceholders)
{
    for (QPalette palette : {lightPalette(), darkPalette()}) {
        QColor half = palette.color(QPalette::Text);
        half.setAlpha(128);
        palette.setColor(QPalette::PlaceholderText, half);
        const QPalette readable = withReadableSecondaryText(palette);
        const QColor placeholder = readable.color(QPalette::PlaceholderText);
        EXPECT_GE(contrast(placeholder, readable.color(QPalette::Base)), 4.5) << placeholder.name().toStdString();
        EXPECT_GE(contrast(placeholder, readable.color(QPalette::Window)), 4.5) << placeholder.name().toStdString();
        EXPECT_GE(contrast(placeholder, readable.color(QPalette::Text)), 2.0)
            << "looks typed: " << placeholder.name().toStdString();
    }
}

// The selected person in the sidebar reads at 4.5:1 in a light and a dark palette: the
// desktop's highlight is darkened just enough under its white text.
TEST(ReadableText, TheSelectedSidebarRowReads)
{
    for (QPalette palette : {lightPalette(), darkPalette()}) {
        palette.setColor(QPalette::HighlightedText, Qt::white);
        QWidget window;
        window.setPalette(palette);
        auto *layout = new QVBoxLayout(&window);
        auto *sidebar = new OrganizationSidebar({"None"}, &window);
        layout->addWidget(sidebar);
        sidebar->setPositions(SidebarTest::school());
        window.resize(300, 600);
        window.show();
        const std::string id = SidebarTest::school().front().id;
        sidebar->setSelection(id);
        QCoreApplication::processEvents();
        QTreeView *list = sidebar->treeView();
        const QRect row = list->visualRect(sidebar->indexOfPosition(id));
        const QImage shot = list->viewport()->grab().toImage();
        const QColor background = commonestColour(shot, row);
        EXPECT_NE(background, palette.color(QPalette::Base)) << "the row is drawn selected";
        EXPECT_GE(strongestContrast(shot, row, background), 4.5) << palette.color(QPalette::Window).name().toStdString();
    }
}

// How well the current row of `list` reads against the colour it is drawn on.
double currentRowContrast(QAbstractItemView *list, const QPalette &palette)
{
    QCoreApplication::processEvents();
    const QRect row = list->visualRect(list->currentIndex());
    const QImage shot = list->viewport()->grab().toImage();
    const QColor background = commonestColour(shot, row);
    EXPECT_NE(background, palette.color(QPalette::Base)) << "the row is drawn highlighted";
    return strongestContrast(shot, row, background);
}

// The row a dropdown's arrows reach, and the current search result, read at 4.5:1 in a light
// and a dark palette as the sidebar's selected row does: the desktop's blue under white
// reads at 3.69:1 and 3.96:1.
TEST(ReadableText, TheRowTheArrowsReachInAPopupReads)
{
    for (QPalette palette : {lightPalette(), darkPalette()}) {
        palette.setColor(QPalette::HighlightedText, Qt::white);
        const std::string name = palette.color(QPalette::Window).name().toStdString();
        QWidget window;
        auto *layout = new QVBoxLayout(&window);
        auto *dropdown = new SearchableDropdown(QStringLiteral("Chart"), &window);
        layout->addWidget(dropdown);
        dropdown->setOptions({{"", "Entire organization", ""}, {"S1", "Schools", "12 positions"}});
        window.show();
        // Popups are windows of their own: they take the application's palette, not their owner's.
        dropdown->popup()->setPalette(palette);
        dropdown->open();
        QTest::keyClick(dropdown->popup()->queryField(), Qt::Key_Down);
        EXPECT_GE(currentRowContrast(dropdown->popup()->listView(), palette), 4.5) << "dropdown, " << name;
        dropdown->popup()->close();

        ChartSearchPopup results;
        results.setPalette(palette);
        results.setResults({2, {{"P1", "Ada Lovelace · Superintendent", "E1 · Office · North"},
                                {"P2", "Grace Hopper · Principal", "E2 · Schools · North"}}});
        results.show();
        EXPECT_GE(currentRowContrast(results.list(), palette), 4.5) << "search results, " << name;
    }
}

} // namespace

namespace {

// Lists and grids of no special care (quick entry's, the import's, the group editor's) draw
// their selected rows from the application's palette, which the application keeps readable.
TEST(ReadableText, EveryListsSelectedRowReadsOnTheApplicationsPalette)
{
    const QPalette before = QApplication::palette();
    keepApplicationTextReadable();
    for (QPalette palette : {lightPalette(), darkPalette()}) {
        palette.setColor(QPalette::HighlightedText, Qt::white);
        QApplication::setPalette(palette);
        // The colours themselves: a small default font's edges never reach the text's own.
        QListWidget list;
        for (QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive}) {
            EXPECT_GE(contrast(list.palette().color(group, QPalette::Highlight),
                               list.palette().color(group, QPalette::HighlightedText)),
                      4.5)
                << palette.color(QPalette::Window).name().toStdString();
        }
    }
    QApplication::setPalette(before);
}

} // namespace
