#pragma once

// Whether the application's windows keep every control whole on a small screen.

#include "app/chart/chart_view.h"
#include "app/chart/chart_window.h"
#include "app/chart/version_history.h"
#include "app/entry/position_editor.h"
#include "app/entry/quick_entry_sheet.h"
#include "app/import/spreadsheet_import_window.h"
#include "app/planning/planning_workspace.h"
#include "app/print/chart_print_sheet.h"
#include "app/shell/organization_document.h"
#include "app/shell/window_placement_button.h"
#include "app/sidebar/searchable_dropdown.h"
#include "app/sidebar/sidebar_style.h"

#include "app_test_support.h"
#include "scripted_dialogs.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QLabel>
#include <QLayout>
#include <QPointer>
#include <QPushButton>
#include <QStyle>
#include <QStyleOptionButton>
#include <QStringList>
#include <QTest>

#include <functional>

namespace AppTest {

// The width a button needs for its text, its icon and its menu's arrow: its size hint, less
// the width the style gives every text button however short its text (Fusion's 80 pixels).
inline int neededWidth(const QAbstractButton &button)
{
    const auto *push = qobject_cast<const QPushButton *>(&button);
    if (!push)
        return button.sizeHint().width();
    QStyleOptionButton option;
    option.initFrom(push);
    option.features = push->autoDefault() ? QStyleOptionButton::AutoDefaultButton : QStyleOptionButton::None;
    if (push->isDefault())
        option.features |= QStyleOptionButton::DefaultButton;
    const QSize text = push->fontMetrics().size(Qt::TextShowMnemonic, push->text());
    int width = text.width();
    if (!push->icon().isNull())
        width += push->iconSize().width() + 4;
    if (push->menu())
        width += push->style()->pixelMetric(QStyle::PM_MenuButtonIndicator, &option, push);
    // No text in the option: the style's least width for text buttons stays out.
    return push->style()->sizeFromContents(QStyle::CT_PushButton, &option, QSize(width, text.height()), push).width();
}

// Buttons that elide their text where they are too narrow for it and offer it in a tooltip.
inline bool elides(const QAbstractButton &button)
{
    return qobject_cast<const WindowPlacement::ElidingButton *>(&button) || qobject_cast<const DropdownButton *>(&button);
}

// What `window` cuts of its controls: the window itself when it is smaller than its layout
// needs (the controls at its right or bottom edge are cut), each shown button narrower than
// its text, unless it elides the text and offers it in its tooltip, and each label on one line
// narrower than its text.
inline QStringList cutControls(QWidget &window)
{
    // Layouts nested in scroll areas settle a turn after their window's size.
    for (int turn = 0; turn < 3; ++turn)
        QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
    QStringList cut;
    if (const QLayout *layout = window.layout()) {
        const QSize needed = layout->totalMinimumSize();
        if (window.width() < needed.width() || window.height() < needed.height())
            cut.append(QStringLiteral("the window, %1 × %2 of %3 × %4")
                           .arg(window.width())
                           .arg(window.height())
                           .arg(needed.width())
                           .arg(needed.height()));
    }
    for (QAbstractButton *button : window.findChildren<QAbstractButton *>()) {
        if (button->window() != &window || !button->isVisibleTo(&window) || button->text().isEmpty() || elides(*button))
            continue;
        if (button->width() < neededWidth(*button))
            cut.append(QStringLiteral("'%1', %2 of %3").arg(button->text()).arg(button->width()).arg(neededWidth(*button)));
    }
    // A label on one line is as wide as its text; narrower, it is cut.
    for (QLabel *label : window.findChildren<QLabel *>()) {
        if (label->window() != &window || !label->isVisibleTo(&window) || label->wordWrap() || label->text().isEmpty()
            || qobject_cast<ElidedLabel *>(label) || label->textFormat() == Qt::RichText)
            continue;
        const int needed = label->fontMetrics().horizontalAdvance(label->text().section(QLatin1Char('\n'), 0, 0))
                           + label->contentsMargins().left() + label->contentsMargins().right();
        if (label->contentsRect().width() + label->contentsMargins().left() + label->contentsMargins().right() < needed)
            cut.append(QStringLiteral("label '%1', %2 of %3").arg(label->text()).arg(label->width()).arg(needed));
    }
    return cut;
}

// A chart window over a small district, shown.
inline QPointer<ChartWindow> showDistrictWindow(Dialogs &dialogs)
{
    auto *document = new OrganizationDocument;
    document->setArchive(district(3));
    QPointer<ChartWindow> window = new ChartWindow(document, dialogs);
    window->show();
    return window;
}

// Opens the application's windows one after another over a small district whose Current
// planning has locked (so the header's planning button has its longest title), and hands
// each one, shown, to `check` with its name: the chart window, its print sheet, the planning
// window, the position editor over it and the import window. Each closes after its check.
inline void eachWindow(const std::function<void(QWidget &, const char *)> &check)
{
    ScriptedDialogs dialogs;
    {
        // A new organization: its empty state instead of a chart.
        QPointer<ChartWindow> empty = new ChartWindow(new OrganizationDocument, dialogs);
        empty->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(empty));
        check(*empty, "new chart window");
        empty->closeWithoutAsking();
        deleteClosedWindows();
    }
    OrganizationArchive archive = district(3);
    archive.lockForPlanning();
    archive.createProposal("Option A");
    auto *document = new OrganizationDocument;
    document->setArchive(archive);
    QPointer<ChartWindow> window = new ChartWindow(document, dialogs);
    window->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window));
    check(*window, "chart window");

    window->print();
    QPointer<ChartPrintSheet> sheet = window->findChild<ChartPrintSheet *>();
    ASSERT_TRUE(sheet);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(sheet));
    check(*sheet, "print sheet");
    sheet->close();
    deleteClosedWindows();

    QPointer<VersionHistoryDialog> history = VersionHistoryDialog::open(*window);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(history));
    check(*history, "version history");
    history->close();
    deleteClosedWindows();

    {
        const std::vector<Position> &people = archive.organization.positions;
        QuickEntrySheet quickEntry("Schools", people, people, "",
                                   [](const std::vector<QuickEntryRow> &) -> QuickEntrySaveResult { return {}; },
                                   dialogs, window);
        quickEntry.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&quickEntry));
        check(quickEntry, "quick entry");
    }

    QPointer<PlanningWorkspace> planning = PlanningWorkspace::open(*window);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(planning));
    check(*planning, "planning window");
    planning->addPosition();
    QPointer<PositionEditor> editor = planning->findChild<PositionEditor *>();
    ASSERT_TRUE(editor);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(editor));
    check(*editor, "position editor");
    editor->close();
    planning->close();
    deleteClosedWindows();

    QWidget owner;
    // Six columns: the corrections grid asks for more width than the window's own.
    const ImportFlow::Reader reader = [](const QString &) {
        return std::vector<ImportSheet>{ImportSheet{
            .name = "Staff",
            .rows = {{"Employee Number", "Employee Name", "Pay Level", "Department", "Supervisor ID", "Location"},
                     {"E10", "Ada", "Superintendent", "Office", "", "North"},
                     {"E11", "Grace", "Principal", "Schools", "E10", "North"}},
            .sourceIssues = {}}};
    };
    QPointer<SpreadsheetImportWindow> importing = SpreadsheetImportWindow::present(
        &owner, Organization(), [](const Organization &, ImportMode) {}, dialogs, reader);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(importing));
    check(*importing, "import window");
    dialogs.filesToOpen.push_back(QStringLiteral("staff.xlsx"));
    importing->flow().chooseFile();
    for (int wait = 0; wait < 1000 && importing->flow().isLoading(); ++wait)
        QTest::qWait(10);
    importing->flow().pressPrimary(); // to the columns
    importing->flow().pressPrimary(); // to the corrections
    QCoreApplication::processEvents();
    ASSERT_EQ(importing->flow().step(), ImportFlow::Step::corrections);
    check(*importing, "import window, corrections");
    importing->close();
    window->closeWithoutAsking();
    deleteClosedWindows();
}

} // namespace AppTest
