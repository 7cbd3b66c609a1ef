#include "app/chart/chart_canvas.h"
#include "app/chart/chart_view.h"
#include "app/chart/chart_window.h"
#include "app/chart/chart_window_body.h"
#include "app/chart/selection_inspector_strip.h"
#include "app/chart/update_notice.h"
#include "app/print/chart_print_sheet.h"
#include "app/shell/document_controller.h"
#include "app/shell/organization_document.h"
#include "app/sidebar/chart_design_controls.h"
#include "app/sidebar/organization_sidebar.h"
#include "app/sidebar/sidebar_style.h"

#include "app_test_support.h"
#include "chart_fixtures.h"
#include "scripted_dialogs.h"

#include <gtest/gtest.h>

#include <algorithm>

#include <QApplication>
#include <QList>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

using namespace AppTest;

namespace {

QStringList listed(const ChartWindowBody &body)
{
    QStringList rows;
    const SidebarModel *model = body.sidebar()->model();
    for (int i = 0; i < model->rowCount(); ++i) {
        const QModelIndex row = model->index(i, 0);
        rows.append(row.data().toString() + QStringLiteral(" \u2014 ") + row.data(SidebarModel::detailRole).toString());
    }
    return rows;
}

// Writes `archive` to `path` and opens it as the user does, once it has been read.
ChartWindow *openWritten(DocumentController &controller, const QString &path, const OrganizationArchive &archive)
{
    writeBytes(path, QByteArray::fromStdString(archive.encodeDocument()));
    ChartWindow *window = controller.openFile(path);
    waitForOpening(controller);
    settle();
    return window;
}

class ChartWindowTest : public ChartWindowFixture {
protected:
    void SetUp() override
    {
        window = controller.newDocument();
        window->activateWindow();
        QApplication::setActiveWindow(window);
        settle();
    }
};

TEST_F(ChartWindowTest, SampleDistrictInspectorAndUndoFromTheKeyboard)
{
    ChartWindowBody &body = window->body();
    OrganizationDocument &document = *window->document();
    EXPECT_TRUE(body.emptyState()->isVisible());
    QTest::mouseClick(body.loadSampleButton(), Qt::LeftButton);
    settle();
    const size_t total = Organization::example().positions.size();
    EXPECT_EQ(document.archive().organization.positions.size(), total);
    EXPECT_TRUE(document.isModified());
    EXPECT_TRUE(document.archive().revisions.empty());
    EXPECT_FALSE(body.emptyState()->isVisible());
    EXPECT_EQ(body.countsLabel()->text(), QString("%1 tiles \u00b7 %1 of %1 positions").arg(total));
    EXPECT_EQ(listed(body).size(), qsizetype(total));

    // Select a report with a person: the inspector shows under the chart.
    const Position &chosen = *std::find_if(document.archive().organization.positions.begin(),
                                           document.archive().organization.positions.end(),
                                           [](const Position &p) { return p.managerID && p.employee; });
    const Position person = chosen;
    window->view().selectPerson(person.id);
    settle();
    SelectionInspectorStrip *inspector = body.inspector();
    ASSERT_TRUE(inspector->isVisible());
    ASSERT_TRUE(inspector->button("Make Vacant…"));
    EXPECT_TRUE(inspector->button("Make Vacant…")->isEnabled());
    EXPECT_TRUE(inspector->button("Edit")->isEnabled());
    // Pixels: the strip shows dark text on the window colour, and the chart a selected card.
    const QImage strip = inspector->grab().toImage();
    int dark = 0;
    for (int y = 0; y < strip.height(); ++y)
        for (int x = 0; x < strip.width() / 3; ++x)
            dark += qGray(strip.pixel(x, y)) < 80;
    EXPECT_GT(dark, 50);
    const QImage chart = body.canvas()->grab().toImage();
    const QRect card = body.canvas()->cardViewRect([&] {
        for (int i = 0; i < body.canvas()->cardCount(); ++i)
            if (body.canvas()->cardID(i) == person.id)
                return i;
        return -1;
    }());
    const QColor accent = body.canvas()->palette().color(QPalette::Highlight);
    // The outline's row depends on the zoom's rounding: take the best of the top rows.
    int accentPixels = 0;
    for (int y = card.top(); y <= card.top() + 3; ++y) {
        int row = 0;
        for (int x = card.left(); x <= card.right(); ++x) {
            const QColor seen = chart.pixelColor(x, y);
            row += std::abs(seen.hue() - accent.hue()) < 12 && seen.saturation() > 60;
        }
        accentPixels = std::max(accentPixels, row);
    }
    EXPECT_GT(accentPixels, card.width() / 3);
    // Too narrow for one row: the summary goes above icon-only actions, and back when wide.
    const QSize size = window->size();
    window->resize(200, size.height());
    settle();
    ASSERT_TRUE(inspector->isNarrow()) << inspector->width();
    ASSERT_TRUE(inspector->button("Make Vacant…"));
    EXPECT_TRUE(inspector->button("Make Vacant…")->text().isEmpty());
    EXPECT_FALSE(inspector->button("Make Vacant…")->icon().isNull());
    // The menus have no symbol of their own: they keep their short labels.
    EXPECT_TRUE(inspector->button("Add"));
    EXPECT_TRUE(inspector->button("More"));
    window->resize(size);
    settle();
    EXPECT_FALSE(inspector->isNarrow());

    // Make vacant, then Ctrl+Z brings the person back and Ctrl+Shift+Z takes them away again.
    dialogs.choices = {"Make Vacant"};
    window->view().requestVacancy(person);
    window->setFocus();
    QTest::keyClick(window, Qt::Key_Z, Qt::ControlModifier);
    settle();
    const auto current = [&] {
        for (const Position &p : document.archive().organization.positions)
            if (p.id == person.id)
                return p;
        return Position();
    };
    EXPECT_EQ(current().employee, person.employee);
    QTest::keyClick(window, Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
    settle();
    EXPECT_FALSE(current().employee);
}

// A new document has nothing to draw: no canvas under the empty state and no fit of an
// empty chart; the first chart with cards is fitted to the canvas it gets.
TEST_F(ChartWindowTest, AnEmptyDocumentShowsTheEmptyStateAloneAndFitsItsFirstChart)
{
    ChartWindowBody &body = window->body();
    ChartView &view = window->view();
    EXPECT_TRUE(body.emptyState()->isVisible());
    EXPECT_FALSE(body.canvas()->isVisible());
    EXPECT_EQ(view.zoom(), 1.0);
    EXPECT_TRUE(view.isFitRequested());

    QTest::mouseClick(body.loadSampleButton(), Qt::LeftButton);
    settle();
    EXPECT_FALSE(body.emptyState()->isVisible());
    ASSERT_TRUE(body.canvas()->isVisible());
    const Size canvas{double(body.canvas()->width()), double(body.canvas()->height())};
    const std::optional<ChartViewport> fitted =
        ChartViewport::fit(view.chartScene()->layout().size, canvas, ChartView::fitPadding);
    ASSERT_TRUE(fitted);
    EXPECT_DOUBLE_EQ(view.zoom(), fitted->scale);
    EXPECT_EQ(view.pan(), fitted->offset);
}

TEST_F(ChartWindowTest, ALongNameEndsInAnEllipsisInTheInspector)
{
    OrganizationArchive archive = district(2);
    const QString longName = QStringLiteral("Maximiliana Theodora Wilhelmina Bartholomew-Castellanos de la Fuente");
    archive.organization.positions[1].employee->name = longName.toStdString();
    window->document()->setArchive(archive);
    window->view().selectPerson("P2");
    window->resize(420, window->height());
    settle();
    SelectionInspectorStrip *inspector = window->body().inspector();
    ASSERT_TRUE(inspector->isVisible());
    const QList<ElidedLabel *> labels = inspector->findChildren<ElidedLabel *>();
    ASSERT_EQ(labels.size(), 1);
    const ElidedLabel *name = labels.front();
    EXPECT_EQ(name->text(), longName) << "read whole by a screen reader";
    EXPECT_TRUE(name->shownText().endsWith(QStringLiteral("\u2026"))) << name->shownText().toStdString();
    EXPECT_LE(name->mapTo(inspector, QPoint(name->width(), 0)).x(), inspector->width());
}

// The inspector is made anew at each change, and the keyboard stays on the action that had
// it; Make Vacant…, disabled on the vacancy it made, hands it to the chart rather than to
// whatever control Qt would pick (the first of the window). Nothing else is announced.
TEST_F(ChartWindowTest, TheInspectorKeepsTheKeyboardOnItsActions)
{
    window->document()->setArchive(district(3));
    window->view().selectPerson("P2");
    settle();
    SelectionInspectorStrip *inspector = window->body().inspector();
    std::vector<QWidget *> focused;
    const QMetaObject::Connection watch = QObject::connect(qApp, &QApplication::focusChanged, [&](QWidget *, QWidget *now) {
        if (now)
            focused.push_back(now);
    });
    inspector->button("Edit")->setFocus(Qt::TabFocusReason);
    focused.clear();
    window->body().nameField()->setText("Renamed");
    settle();
    EXPECT_EQ(QApplication::focusWidget(), inspector->button("Edit"));

    inspector->button("Make Vacant…")->setFocus(Qt::TabFocusReason);
    focused.clear();
    dialogs.choices = {"Make Vacant"};
    QTest::keyClick(inspector->button("Make Vacant…"), Qt::Key_Space);
    settle();
    QObject::disconnect(watch);
    ASSERT_FALSE(inspector->button("Make Vacant…")->isEnabled());
    EXPECT_EQ(QApplication::focusWidget(), window->canvas());
    EXPECT_EQ(focused, std::vector<QWidget *>{window->canvas()});
}

// A name wider than its field (a narrow window, a large scale) shows from its start; one being
// typed keeps its cursor.
TEST_F(ChartWindowTest, ALongOrganizationNameShowsFromItsStart)
{
    OrganizationArchive archive = district(2);
    archive.name = "Northern Valley Consolidated Independent School District of the Three Rivers";
    window->document()->setArchive(archive);
    settle();
    QLineEdit *name = window->body().nameField();
    EXPECT_EQ(name->cursorPosition(), 0);
    name->setFocus();
    name->end(false);
    QTest::keyClicks(name, " North");
    settle();
    EXPECT_EQ(name->cursorPosition(), name->text().size());
    // Left, it reads from its start again; so it does after Tab passed through it, which
    // selects the whole name with the cursor at its end.
    QTest::keyClick(name, Qt::Key_Tab);
    ASSERT_NE(QApplication::focusWidget(), name);
    EXPECT_EQ(name->cursorPosition(), 0);
    name->setFocus(Qt::TabFocusReason);
    ASSERT_EQ(name->cursorPosition(), name->text().size());
    QTest::keyClick(name, Qt::Key_Tab);
    EXPECT_EQ(name->cursorPosition(), 0);
}

// A name and a page title longer than a line edit holds by default (32,767 characters) open
// unmodified and shown whole, in the header, the paper panel and the print sheet, and are
// saved whole, with what the user typed.
TEST(ChartWindowTexts, LongerThanAFieldHoldsOpenUnmodifiedAndSaveWhole)
{
    QTemporaryDir dir;
    OrganizationArchive archive = district(2);
    archive.name = std::string(40000, 'n') + " end";
    archive.pageTitle = std::string(40000, 't') + " end";
    const QString path = dir.filePath("long.json");
    ScriptedDialogs dialogs;
    DocumentController controller(dialogs);
    ChartWindow *window = openWritten(controller, path, archive);
    ASSERT_TRUE(window);
    OrganizationDocument &document = *window->document();
    ChartWindowBody &body = window->body();
    // Compared, not printed: the texts are 40,000 characters long.
    const auto whole = [](const QString &shown, const std::string &text) { return shown.toStdString() == text; };
    EXPECT_TRUE(document.archive() == archive);
    EXPECT_FALSE(document.isModified());
    EXPECT_TRUE(whole(body.nameField()->text(), archive.name)) << body.nameField()->text().size();
    body.togglePaperPanel();
    settle();
    ASSERT_TRUE(body.paperPanel());
    EXPECT_TRUE(whole(body.paperPanel()->titleField()->text(), *archive.pageTitle));
    body.paperPanel()->window()->close();
    window->print();
    settle();
    const auto *sheet = window->findChild<ChartPrintSheet *>();
    ASSERT_TRUE(sheet);
    const QList<QLineEdit *> fields = sheet->findChildren<QLineEdit *>();
    EXPECT_TRUE(std::any_of(fields.begin(), fields.end(),
                            [&](const QLineEdit *field) { return whole(field->text(), *archive.pageTitle); }))
        << "the print sheet's page title";
    window->findChild<ChartPrintSheet *>()->close();
    settle();
    EXPECT_FALSE(document.isModified());

    QLineEdit *name = body.nameField();
    name->setFocus();
    name->end(false);
    QTest::keyClicks(name, "!");
    settle();
    ASSERT_TRUE(controller.save(window));
    const OrganizationArchive saved = OrganizationArchive::decode(readBytes(path).toStdString());
    EXPECT_TRUE(saved.name == archive.name + "!") << saved.name.size();
    EXPECT_TRUE(saved.pageTitle == archive.pageTitle);
    window->closeWithoutAsking();
    deleteClosedWindows();
}

TEST_F(ChartWindowTest, TheFocusedNameFieldKeepsCtrlZForItsText)
{
    QLineEdit *name = window->body().nameField();
    OrganizationDocument &document = *window->document();
    name->setFocus();
    name->end(false); // the name shows from its start: typing goes after it
    QTest::keyClicks(name, " North");
    settle();
    EXPECT_EQ(document.archive().name, "Untitled Organization North");
    EXPECT_EQ(document.history().undoCount(), 1u); // the typing is one step
    QTest::keyClick(name, Qt::Key_Z, Qt::ControlModifier);
    settle();
    EXPECT_EQ(name->text(), "Untitled Organization");
    EXPECT_EQ(document.archive().name, "Untitled Organization");
    // The field undid its own text: the document's history was not undone, and the typing
    // left no step that would undo nothing.
    EXPECT_FALSE(document.canRedo());
    EXPECT_FALSE(document.canUndo());
}

// Ctrl+Z in the name field stays in the field, and each committed edit of the name is one
// step: clearing the name and then renaming it leaves no state the user never committed.
TEST_F(ChartWindowTest, CtrlZInTheNameFieldIsNoStep)
{
    QLineEdit *name = window->body().nameField();
    OrganizationDocument &document = *window->document();
    name->setFocus();
    QTest::keyClick(name, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClick(name, Qt::Key_Backspace);
    QTest::keyClick(name, Qt::Key_Return);
    settle();
    ASSERT_EQ(document.archive().name, "");
    QTest::keyClick(name, Qt::Key_Z, Qt::ControlModifier);
    settle();
    EXPECT_EQ(document.archive().name, name->text().toStdString());
    EXPECT_EQ(document.history().undoCount(), 1u);
    EXPECT_FALSE(document.canRedo());

    QTest::keyClick(name, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClicks(name, "North District");
    window->setFocus(); // clicking away commits the name
    settle();
    EXPECT_EQ(document.archive().name, "North District");
    EXPECT_EQ(document.history().undoCount(), 2u);
    QTest::keyClick(window, Qt::Key_Z, Qt::ControlModifier);
    settle();
    EXPECT_EQ(document.archive().name, "");
    QTest::keyClick(window, Qt::Key_Z, Qt::ControlModifier);
    settle();
    EXPECT_EQ(document.archive().name, "Untitled Organization");
    EXPECT_EQ(name->text(), "Untitled Organization");
    EXPECT_TRUE(document.canRedo());
}

TEST_F(ChartWindowTest, AChartThatCannotBeBuiltStillListsItsPeople)
{
    OrganizationArchive archive = district(3);
    // A group whose id is a position's: the chart cannot be drawn.
    archive.groups = std::vector<PositionGroup>{{"P2", "Clash", {"P3", "P4"}}};
    window->document()->setArchive(archive);
    settle();
    ChartView &view = window->view();
    EXPECT_FALSE(view.chartScene());
    EXPECT_FALSE(view.sceneError().isEmpty());
    EXPECT_EQ(window->body().countsLabel()->text(), "0 tiles \u00b7 0 of 4 positions");
    EXPECT_EQ(listed(window->body()).size(), 4);
    view.setOnlyNullManagers(true);
    settle();
    EXPECT_EQ(listed(window->body()), QStringList{"Ada Lovelace \u2014 Teacher"});
}

TEST_F(ChartWindowTest, CountsFollowCollapsedBranchesAndTheWholeOrganization)
{
    OrganizationArchive archive = district(2);
    archive.organization.positions.push_back(person("P4", "Grace", "P2"));
    archive.sheets = std::vector<OrganizationSheet>{{"S1", "Team", {"P2", "P4"}}};
    window->document()->setArchive(archive);
    ChartView &view = window->view();
    view.setSelectedSheetID("S1");
    view.toggleBranch("P2");
    settle();
    const ChartCounts counts = view.chartCounts();
    EXPECT_EQ(counts.shown, 1);
    EXPECT_EQ(counts.total, 4);
    EXPECT_EQ(counts.cards, 1);
}

class FakeOffer final : public UpdateOffer {
public:
    bool installing = false;
    std::optional<QString> version;
    bool isInstalling() const override { return installing; }
    std::optional<QString> offeredVersion() const override { return version; }
    void install() override {}
};

// The window opens before the file is read; the chart is fitted to the canvas it has once
// the document is shown, so "Size to Visible Canvas" right after changes nothing.
TEST(ChartWindowOpening, AFileOpensFittedToTheCanvasItIsShownIn)
{
    QTemporaryDir dir;
    ScriptedDialogs dialogs;
    DocumentController controller(dialogs);
    ChartWindow *window = openWritten(controller, dir.filePath("district.json"), district(40));
    ASSERT_TRUE(window);
    ChartView &view = window->view();
    ASSERT_EQ(view.archive().organization.positions.size(), 41u);
    ASSERT_FALSE(view.isFitRequested());
    const double openedZoom = view.zoom();
    const Size openedPan = view.pan();
    view.fitToWindow();
    EXPECT_DOUBLE_EQ(openedZoom, view.zoom());
    EXPECT_EQ(openedPan, view.pan());
    window->closeWithoutAsking();
    deleteClosedWindows();
}

TEST(UpdateNoticeContent, InstallingOutranksAnOffer)
{
    FakeOffer offer;
    EXPECT_EQ(UpdateNotice::content(nullptr).kind, UpdateNotice::Kind::none);
    EXPECT_EQ(UpdateNotice::content(&offer).kind, UpdateNotice::Kind::none);
    offer.version = "2.4.1";
    EXPECT_EQ(UpdateNotice::content(&offer), (UpdateNotice::Content{UpdateNotice::Kind::offer, "Update to 2.4.1…"}));
    offer.installing = true;
    EXPECT_EQ(UpdateNotice::content(&offer),
              (UpdateNotice::Content{UpdateNotice::Kind::installing, "Updating Vantrel…"}));
}

// The window's settings follow the chart shown and go back into the document only when
// they differ and Current is editable.
TEST(ChartWindowSettings, ShownChartSettingsAreStoredAsTheChartsOwn)
{
    ScriptedDialogs dialogs;
    OrganizationDocument document;
    OrganizationArchive archive = district(2);
    ChartPrintSettings district = ChartPrintSettings::departmentDesign();
    district.showPayLevel = true;
    archive.printSettings = district;
    archive.sheets = std::vector<OrganizationSheet>{{"S1", "Team", {"P2"}}, {"S2", "Other", {"P3"}}};
    ChartPrintSettings other = district;
    other.hideNames = true;
    archive.sheets->at(1).printSettings = other;
    document.setArchive(archive);
    document.setModified(false);
    ChartView view(document, dialogs);
    EXPECT_EQ(view.printSettings(), district);
    EXPECT_FALSE(document.isModified());
    const size_t opened = document.history().undoCount();

    // A chart without settings of its own, shown after one with other settings, shows the
    // document's; taken from the document, they are not stored again.
    view.setSelectedSheetID("S2");
    EXPECT_EQ(view.printSettings(), other);
    EXPECT_FALSE(document.isModified());
    view.setFocusDepartment("Instruction");
    view.setSelectedSheetID("S1");
    EXPECT_EQ(view.focusDepartment(), "");
    EXPECT_EQ(view.printSettings(), district);
    EXPECT_EQ(document.archive().sheets->at(0).printSettings, std::nullopt);
    EXPECT_FALSE(document.isModified());
    EXPECT_EQ(document.history().undoCount(), opened);

    // A change goes to that chart only; the same settings again write nothing.
    ChartPrintSettings changed = district;
    changed.showJobTitle = false;
    view.setPrintSettings(changed);
    EXPECT_TRUE(document.isModified());
    const size_t steps = document.history().undoCount();
    view.setPrintSettings(changed);
    EXPECT_EQ(document.history().undoCount(), steps);
    EXPECT_EQ(document.archive().sheets->at(0).printSettings, changed);
    EXPECT_EQ(document.archive().printSettings, district);
    EXPECT_EQ(document.archive().sheets->at(1).printSettings, other);

    // Locked: the drawing changes, the document does not.
    document.edit("Lock", [](OrganizationArchive &a) { a.lockForPlanning(); });
    const OrganizationArchive locked = document.archive();
    view.setPrintSettings(district);
    EXPECT_EQ(view.printSettings(), district);
    EXPECT_EQ(document.archive(), locked);
}

// Undoing a chart's first paper change is one step: the settings the window reloads from
// the document are not stored again, so Redo stays and a saved document is unmodified again.
TEST(ChartWindowSettings, UndoingTheFirstPaperChangeIsOneStep)
{
    for (const bool saved : {true, false}) {
        SCOPED_TRACE(saved ? "saved document" : "new document");
        ScriptedDialogs dialogs;
        OrganizationDocument document;
        ChartView view(document, dialogs);
        view.loadSampleDistrict();
        dialogs.texts = {QStringLiteral("Counseling")};
        view.requestNewSheet();
        ASSERT_FALSE(view.selectedSheetID().empty());
        QTemporaryDir dir;
        if (saved)
            document.saveTo(dir.filePath("district.json"));
        const OrganizationArchive before = document.archive();
        const size_t steps = document.history().undoCount();
        EXPECT_EQ(document.isModified(), !saved);

        ChartPrintSettings ticked = view.printSettings();
        ticked.showPayLevel = !ticked.showPayLevel;
        view.setPrintSettings(ticked);
        ASSERT_EQ(document.history().undoCount(), steps + 1);

        document.undo();
        EXPECT_EQ(view.printSettings().showPayLevel, !ticked.showPayLevel);
        EXPECT_EQ(document.history().undoCount(), steps);
        EXPECT_TRUE(document.canRedo());
        EXPECT_EQ(document.archive(), before);
        EXPECT_EQ(document.isModified(), !saved);

        document.redo();
        EXPECT_EQ(view.printSettings(), ticked);
        EXPECT_EQ(document.history().undoCount(), steps + 1);
    }
}

} // namespace
