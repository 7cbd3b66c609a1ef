#include "app/chart/chart_toolbar.h"

#include "app/chart/chart_search.h"
#include "app/chart/chart_view.h"
#include "app/chart/chart_window.h"
#include "app/chart/version_history.h"
#include "app/shell/accessible_fields.h"
#include "app/shell/organization_document.h"
#include "app/shell/organization_file_commands.h"
#include "app/shell/window_placement_button.h"
#include "app/sidebar/popup_placement.h"

#include <QAction>
#include <QContextMenuEvent>
#include <QEvent>
#include <QHBoxLayout>
#include <QIcon>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QLocale>
#include <QMenu>
#include <QMetaObject>
#include <QPushButton>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>
#include <vector>

static QString toQt(const std::string &text)
{
    return QString::fromStdString(text);
}

ChartCommandStates ChartCommands::states(const ChartCommandInput &in)
{
    ChartCommandStates s;
    s.rename = in.chartShown && in.canEdit;
    s.addExisting = in.chartShown && in.canEdit && in.addExisting;
    // On the entire organization it asks for a new chart, which needs no dialog of its own.
    s.spreadsheet = in.canEdit && (!in.chartShown || in.quickEntry);
    s.addPerson = in.canEdit && in.positionEditor;
    s.newSheet = in.canEdit;
    s.exportCurrentSheet = in.chartShown;
    s.exportAllPDFs = in.hasSheets && in.canPrint;
    s.groupEditor = in.canEdit && in.groupEditor;
    s.find = !in.searchBlank;
    s.planning = in.planning;
    s.importSpreadsheet = in.canEdit && in.spreadsheetImport;
    s.importJSON = in.canEdit;
    s.print = in.canPrint;
    s.centerOnSelection = in.hasSelection;
    return s;
}

ChartCommandInput ChartCommands::input(const ChartView &view, bool canPrint)
{
    using Command = ChartView::WindowCommand;
    const OrganizationArchive &archive = view.archive();
    ChartCommandInput in;
    in.canEdit = view.canEditCurrent();
    in.chartShown = !view.selectedSheetID().empty();
    in.hasSheets = archive.sheets && !archive.sheets->empty();
    in.hasSelection = view.selectedID().has_value();
    in.searchBlank = view.searchText().trimmed().isEmpty();
    in.canPrint = canPrint;
    in.positionEditor = view.isPositionEditorAvailable();
    in.addExisting = view.isCommandAvailable(Command::addExisting);
    in.quickEntry = view.isCommandAvailable(Command::quickEntry);
    in.groupEditor = view.isCommandAvailable(Command::groupEditor);
    in.spreadsheetImport = view.isCommandAvailable(Command::spreadsheetImport);
    in.planning = view.isCommandAvailable(Command::planning);
    return in;
}

QString ChartCommands::planningTitle(const OrganizationArchive &archive)
{
    return archive.planning && archive.planning->isLocked ? QStringLiteral("Planning \u00b7 Current Locked")
                                                          : QStringLiteral("Planning & Proposals");
}

QString ChartCommands::zoomText(double zoom)
{
    return QLocale().toString(std::round(zoom * 100), 'f', 0) + QLocale().percent();
}

static bool windowCanPrint(QWidget *inside)
{
    const auto *window = qobject_cast<ChartWindow *>(inside->window());
    return window && window->canPrint();
}

// ---- Header ----

ChartHeaderControls::ChartHeaderControls(ChartView &view, QWidget *parent)
    : QObject(parent), m_view(view), m_parent(parent)
{
    m_rename = new QToolButton(parent);
    m_rename->setIcon(QIcon::fromTheme(QStringLiteral("edit-rename")));
    m_rename->setText(QStringLiteral("\u270e"));
    m_rename->setToolButtonStyle(m_rename->icon().isNull() ? Qt::ToolButtonTextOnly : Qt::ToolButtonIconOnly);
    m_rename->setAccessibleName(QStringLiteral("Rename Chart"));
    m_rename->setToolTip(QStringLiteral("Rename Chart"));
    connect(m_rename, &QToolButton::clicked, &view, &ChartView::requestRenameChart);

    m_sheets = new QPushButton(QStringLiteral("Sheets"), parent);
    m_sheetsMenu = new QMenu(m_sheets);
    m_sheets->setMenu(m_sheetsMenu);
    // Filled when shown: the group items follow the document and the expanded groups.
    connect(m_sheetsMenu, &QMenu::aboutToShow, this, &ChartHeaderControls::fillSheetsMenu);
    fillSheetsMenu();

    m_addExisting = new QPushButton(QIcon::fromTheme(QStringLiteral("list-add-user")), QStringLiteral("Add Existing"), parent);
    m_addExisting->setToolTip(
        QStringLiteral("Include a position from another chart on the selected sheet without creating a duplicate."));
    connect(m_addExisting, &QPushButton::clicked, &view, &ChartView::requestAddExisting);
    m_spreadsheet = new QPushButton(QIcon::fromTheme(QStringLiteral("x-office-spreadsheet")), QStringLiteral("Spreadsheet"), parent);
    connect(m_spreadsheet, &QPushButton::clicked, &view, &ChartView::requestQuickEntry);
    m_addPerson = new QPushButton(QIcon::fromTheme(QStringLiteral("contact-new")), QStringLiteral("Add Person"), parent);
    m_addPerson->setDefault(true);
    connect(m_addPerson, &QPushButton::clicked, this, [this] { m_view.addPosition(m_view.selectedID(), false); });

    m_search = new QLineEdit(parent);
    m_search->setPlaceholderText(QStringLiteral("Search people\u2026"));
    // Narrower in a narrow window, so that every control of the header still fits.
    m_search->setMinimumWidth(100);
    m_search->setMaximumWidth(160);
    m_search->setClearButtonEnabled(true);
    AccessibleFields::name(m_search, QStringLiteral("Search people"));
    connect(m_search, &QLineEdit::textChanged, &view, &ChartView::setSearchText);
    // Return opens the results even for blank text, which Find refuses.
    connect(m_search, &QLineEdit::returnPressed, this, &ChartHeaderControls::showSearch);
    m_find = new QToolButton(parent);
    m_find->setIcon(QIcon::fromTheme(QStringLiteral("edit-find")));
    m_find->setText(QStringLiteral("Find"));
    m_find->setToolButtonStyle(m_find->icon().isNull() ? Qt::ToolButtonTextOnly : Qt::ToolButtonIconOnly);
    m_find->setToolTip(QStringLiteral("Find people in the chart"));
    connect(m_find, &QToolButton::clicked, this, &ChartHeaderControls::showSearch);

    m_planning = new WindowPlacement::ElidingButton(QIcon::fromTheme(QStringLiteral("object-locked")), QString(), parent);
    m_planning->setToolTip(QStringLiteral(
        "Lock Current and compare independent named staffing proposals without changing the current organization."));
    connect(m_planning, &QPushButton::clicked, &view, &ChartView::requestPlanning);

    auto schedule = [this] {
        if (m_refreshPending)
            return;
        m_refreshPending = true;
        QMetaObject::invokeMethod(this, &ChartHeaderControls::refresh, Qt::QueuedConnection);
    };
    for (auto changed : {&ChartView::chartChanged, &ChartView::selectionChanged, &ChartView::searchChanged})
        connect(&view, changed, this, schedule);
    connect(&view.document(), &OrganizationDocument::archiveChanged, this, schedule);
    // The window wires its dialogs after building the body: read their availability then.
    schedule();
}

QLayout *ChartHeaderControls::layout(QWidget *chartPicker, QWidget *paperButton)
{
    auto *rows = new QVBoxLayout;
    m_rows = rows;
    rows->setSpacing(10);
    m_first = new QHBoxLayout;
    m_first->addWidget(chartPicker, 1);
    m_first->addWidget(m_rename);
    m_first->addWidget(m_sheets);
    // Room the row has to spare goes to the picker first (up to its widest): sharing it with
    // the space after Sheets would cut its title to "Entir…" in a narrow window while half the
    // row stood empty.
    m_first->addStretch(0);
    // The three add buttons move to a row of their own when the first row has no room for
    // them; they count for nothing in the window's narrowest width, so it never cuts a control.
    m_adding = new QWidget(m_parent);
    auto *adding = new QHBoxLayout(m_adding);
    adding->setContentsMargins(0, 0, 0, 0);
    adding->addWidget(m_addExisting);
    adding->addWidget(m_spreadsheet);
    adding->addWidget(m_addPerson);
    m_adding->setMinimumWidth(1);
    m_first->addWidget(m_adding);
    m_wrapped = new QWidget(m_parent);
    auto *wrapped = new QHBoxLayout(m_wrapped);
    wrapped->setContentsMargins(0, 0, 0, 0);
    wrapped->addStretch(1);
    m_wrapped->hide();
    m_chartPicker = chartPicker;
    m_parent->installEventFilter(this);
    // The planning and paper buttons go below the search when the row has no room for both.
    m_second = new QHBoxLayout;
    m_second->addWidget(m_search);
    m_second->addWidget(m_find);
    m_viewControls = new QWidget(m_parent);
    auto *viewControls = new QHBoxLayout(m_viewControls);
    viewControls->setContentsMargins(12, 0, 0, 0);
    viewControls->addWidget(m_planning);
    viewControls->addWidget(paperButton);
    m_second->addWidget(m_viewControls);
    m_second->addStretch(1);
    m_stacked = new QWidget(m_parent);
    auto *stacked = new QHBoxLayout(m_stacked);
    stacked->setContentsMargins(0, 0, 0, 0);
    stacked->addStretch(1);
    m_stacked->hide();
    rows->addLayout(m_first);
    rows->addLayout(m_second);
    rows->addWidget(m_stacked);
    rows->addWidget(m_wrapped);
    // Tab reads the rows as they stand, left to right: the picker and the paper button are
    // made before the others, which would put the paper button second.
    // The control Tab reaches in `area`: itself, or the first one inside it.
    const auto tabStop = [](QWidget *area) {
        if (area->focusPolicy() & Qt::TabFocus)
            return area;
        for (QWidget *next = area->nextInFocusChain(); next != area && area->isAncestorOf(next);
             next = next->nextInFocusChain()) {
            if (next->focusPolicy() & Qt::TabFocus)
                return next;
        }
        return area;
    };
    const std::vector<QWidget *> order{tabStop(chartPicker), m_rename, m_sheets, m_addExisting, m_spreadsheet, m_addPerson,
                                       m_search, m_find, m_planning, paperButton};
    for (size_t i = 1; i < order.size(); ++i)
        QWidget::setTabOrder(order[i - 1], order[i]);
    return rows;
}

bool ChartHeaderControls::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_parent && event->type() == QEvent::Resize)
        arrangeRows(m_parent->width());
    return QObject::eventFilter(watched, event);
}

void ChartHeaderControls::arrangeRows(int width)
{
    if (!m_rows)
        return;
    const int spacing = m_first->spacing() < 0 ? 6 : m_first->spacing();
    const QMargins margins = m_rows->contentsMargins();
    const int sides = margins.left() + margins.right();
    const int needed = m_chartPicker->minimumSizeHint().width() + m_rename->sizeHint().width() +
                       m_sheets->sizeHint().width() + m_adding->sizeHint().width() + 4 * spacing + sides;
    const bool wrap = width < needed;
    if (wrap != m_wrapped->isVisible()) {
        if (wrap) {
            m_first->removeWidget(m_adding);
            m_wrapped->layout()->addWidget(m_adding);
        } else {
            m_wrapped->layout()->removeWidget(m_adding);
            m_first->addWidget(m_adding);
        }
        m_wrapped->setVisible(wrap);
    }

    // Measured as they stand in one row, with the space before the planning button; stacked,
    // they stand flush with the search.
    const int space = 12;
    const int viewWidth = m_viewControls->sizeHint().width() - m_viewControls->layout()->contentsMargins().left() + space;
    const int oneRow = std::min(m_search->sizeHint().width(), m_search->maximumWidth()) +
                       m_find->sizeHint().width() + viewWidth + 2 * spacing + sides;
    const bool stack = width < oneRow;
    m_viewControls->layout()->setContentsMargins(stack ? 0 : space, 0, 0, 0);
    if (stack == m_stacked->isVisible())
        return;
    if (stack) {
        m_second->removeWidget(m_viewControls);
        static_cast<QHBoxLayout *>(m_stacked->layout())->insertWidget(0, m_viewControls);
    } else {
        m_stacked->layout()->removeWidget(m_viewControls);
        m_second->insertWidget(2, m_viewControls);
    }
    m_stacked->setVisible(stack);
}

void ChartHeaderControls::fillSheetsMenu()
{
    const ChartCommandStates states = ChartCommands::states(ChartCommands::input(m_view, windowCanPrint(m_parent)));
    m_sheetsMenu->clear();
    ChartView &view = m_view;
    m_sheetsMenu->addAction(QStringLiteral("New Sheet\u2026"), &view, &ChartView::requestNewSheet)->setEnabled(states.newSheet);
    m_sheetsMenu->addAction(QStringLiteral("Add Existing Positions to Sheet\u2026"), &view, &ChartView::requestAddExisting)
        ->setEnabled(states.addExisting);
    m_sheetsMenu
        ->addAction(QStringLiteral("Export Current Sheet\u2026"), &view,
                    [&view] { view.exportWorkbook(ChartView::WorkbookScope::shownChart); })
        ->setEnabled(states.exportCurrentSheet);
    m_sheetsMenu->addAction(QStringLiteral("Export Entire Workbook\u2026"), &view,
                            [&view] { view.exportWorkbook(ChartView::WorkbookScope::allCharts); });
    QWidget *inside = m_parent;
    m_sheetsMenu
        ->addAction(QStringLiteral("Export All Sheets as PDFs\u2026"), this,
                    [inside] {
                        if (auto *window = qobject_cast<ChartWindow *>(inside->window()))
                            window->print();
                    })
        ->setEnabled(states.exportAllPDFs);
    m_sheetsMenu->addSeparator();
    m_sheetsMenu->addAction(QStringLiteral("Create / Manage Groups\u2026"), &view, &ChartView::requestGroupEditor)
        ->setEnabled(states.groupEditor);
    if (const auto &groups = view.archive().groups) {
        for (const PositionGroup &group : *groups) {
            const bool expanded = view.expandedGroups().contains(group.id);
            const QString label = (expanded ? QStringLiteral("Collapse ") : QStringLiteral("Expand ")) + toQt(group.name);
            // "&&": a group name is shown as typed, never as a mnemonic.
            QString shown = label;
            shown.replace(QLatin1Char('&'), QStringLiteral("&&"));
            m_sheetsMenu->addAction(shown, &view, [&view, id = group.id] { view.toggleGroup(id); });
        }
    }
}

void ChartHeaderControls::showSearch()
{
    m_view.setShowingSearch(true);
}

void ChartHeaderControls::refresh()
{
    m_refreshPending = false;
    const ChartCommandStates states = ChartCommands::states(ChartCommands::input(m_view, windowCanPrint(m_parent)));
    m_rename->setEnabled(states.rename);
    m_addExisting->setEnabled(states.addExisting);
    m_spreadsheet->setEnabled(states.spreadsheet);
    m_addPerson->setEnabled(states.addPerson);
    m_find->setEnabled(states.find);
    m_planning->setEnabled(states.planning);
    QString planning = ChartCommands::planningTitle(m_view.archive()).replace(QLatin1Char('&'), QStringLiteral("&&"));
    if (m_planning->text() != planning) {
        m_planning->setText(planning);
        // "Planning · Current Locked" may no longer fit beside the search.
        arrangeRows(m_parent->width());
    }
    if (m_search->text() != m_view.searchText())
        m_search->setText(m_view.searchText());

    if (!m_view.isShowingSearch()) {
        if (m_popup)
            m_popup->close();
        return;
    }
    if (!m_popup) {
        m_popup = new ChartSearchPopup(m_parent);
        connect(m_popup, &ChartSearchPopup::chosen, &m_view, [this](const QString &id) { m_view.chooseSearchResult(id.toStdString()); });
        connect(m_popup, &QObject::destroyed, &m_view, [view = &m_view] { view->setShowingSearch(false); });
        m_popup->setResults(m_view.searchResults());
        showPopupBelow(m_popup, m_find);
        // Arrows and Return act on the results at once.
        m_popup->list()->setFocus();
        return;
    }
    m_popup->setResults(m_view.searchResults());
}

// ---- Toolbar ----

static QAction *addTool(QToolBar *bar, const QString &text, const QString &icon, const QString &help = {})
{
    QAction *action = bar->addAction(QIcon::fromTheme(icon), text);
    action->setToolTip(help.isEmpty() ? text : help);
    return action;
}

namespace {

// Opens a menu button's menu with the keys that open menus and drop-downs elsewhere: Alt+Down,
// F4, the Menu key and Shift+F10. Qt's tool button opens its arrow's menu only to the mouse,
// and Space runs the button's own command.
class MenuKeys : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        auto *button = qobject_cast<QToolButton *>(watched);
        if (!button || !button->menu() || !opensMenu(event))
            return false;
        // After this event: the menu runs a loop of its own until it closes.
        QMetaObject::invokeMethod(button, [button] {
            QMenu *menu = button->menu();
            if (!menu || menu->isVisible())
                return; // the Menu key arrives both as a key and as a context menu request
            // The first command is current, as in a menu bar's menu opened by keys: Return
            // runs it and a screen reader hears it.
            QMetaObject::invokeMethod(menu, [menu] {
                for (QAction *action : menu->actions()) {
                    if (!menu->activeAction() && action->isEnabled() && !action->isSeparator())
                        menu->setActiveAction(action);
                }
            }, Qt::QueuedConnection);
            button->showMenu();
        }, Qt::QueuedConnection);
        return true;
    }

private:
    static bool opensMenu(QEvent *event)
    {
        if (event->type() == QEvent::ContextMenu)
            return static_cast<QContextMenuEvent *>(event)->reason() == QContextMenuEvent::Keyboard;
        if (event->type() != QEvent::KeyPress)
            return false;
        const auto *key = static_cast<QKeyEvent *>(event);
        const Qt::KeyboardModifiers modifiers = key->modifiers() & ~Qt::KeypadModifier;
        return (key->key() == Qt::Key_Down && modifiers == Qt::AltModifier)
            || (key->key() == Qt::Key_F4 && modifiers == Qt::NoModifier)
            || (key->key() == Qt::Key_Menu && modifiers == Qt::NoModifier)
            || (key->key() == Qt::Key_F10 && modifiers == Qt::ShiftModifier);
    }
};

} // namespace

// A toolbar button that runs `main` when clicked and offers `menu` from its arrow, or from
// the keys that open menus.
static QToolButton *addMenuButton(QToolBar *bar, QAction *main, QMenu *menu)
{
    auto *button = new QToolButton(bar);
    button->setDefaultAction(main);
    button->setMenu(menu);
    button->setPopupMode(QToolButton::MenuButtonPopup);
    button->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    button->installEventFilter(new MenuKeys(button));
    bar->addWidget(button);
    return button;
}

ChartToolbar::ChartToolbar(ChartWindow &window) : QToolBar(QStringLiteral("Chart"), &window), m_window(window)
{
    setObjectName(QStringLiteral("chartToolbar"));
    setMovable(false);
    setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    ChartView &view = window.view();
    ChartWindow *owner = &window;

    m_open = new QAction(QIcon::fromTheme(QStringLiteral("document-open")), QStringLiteral("Open"), this);
    auto open = [owner] {
        if (owner->hasCommands())
            owner->commands().openOrganization()->trigger();
    };
    connect(m_open, &QAction::triggered, this, open);
    auto *openMenu = new QMenu(this);
    openMenu->addAction(QStringLiteral("Open Organization\u2026"), this, open);
    m_importSpreadsheet = openMenu->addAction(QStringLiteral("Import Excel / CSV\u2026"), &view, &ChartView::requestSpreadsheetImport);
    m_importJSON = openMenu->addAction(QStringLiteral("Import JSON\u2026"), &view, &ChartView::importOrganization);
    m_openButton = addMenuButton(this, m_open, openMenu);

    m_save = new QAction(QIcon::fromTheme(QStringLiteral("document-save")), QStringLiteral("Save"), this);
    auto save = [owner] {
        if (owner->hasCommands())
            owner->commands().save()->trigger();
    };
    connect(m_save, &QAction::triggered, this, save);
    auto *saveMenu = new QMenu(this);
    saveMenu->addAction(QStringLiteral("Save Organization"), this, save);
    m_history = saveMenu->addAction(QStringLiteral("Save Version / History\u2026"), this,
                                    [owner] { VersionHistoryDialog::open(*owner); });
    m_saveButton = addMenuButton(this, m_save, saveMenu);
    addSeparator();

    m_printGuides = addTool(this, QStringLiteral("Print Guides"), QStringLiteral("view-grid"),
                            QStringLiteral("Show or hide page boundaries"));
    m_printGuides->setCheckable(true);
    connect(m_printGuides, &QAction::toggled, &view, &ChartView::setShowingPageBreaks);
    m_print = addTool(this, QStringLiteral("Print"), QStringLiteral("document-print"),
                      QStringLiteral("Export PDF or print the current chart"));
    connect(m_print, &QAction::triggered, &window, &ChartWindow::print);
    addSeparator();

    m_zoomOut = addTool(this, QStringLiteral("Zoom out"), QStringLiteral("zoom-out"));
    connect(m_zoomOut, &QAction::triggered, &view, &ChartView::zoomOut);
    m_zoomLabel = new QLabel(this);
    m_zoomLabel->setMinimumWidth(m_zoomLabel->fontMetrics().horizontalAdvance(QStringLiteral("3000%")));
    m_zoomLabel->setAlignment(Qt::AlignCenter);
    addWidget(m_zoomLabel);
    m_zoomIn = addTool(this, QStringLiteral("Zoom in"), QStringLiteral("zoom-in"));
    connect(m_zoomIn, &QAction::triggered, &view, &ChartView::zoomIn);
    m_resetView = addAction(QStringLiteral("Reset View"));
    connect(m_resetView, &QAction::triggered, &view, &ChartView::resetView);
    m_fit = addTool(this, QStringLiteral("Size to Visible Canvas"), QStringLiteral("zoom-fit-best"),
                    QStringLiteral("Fit and center the current chart in the visible canvas, excluding the sidebar and "
                                   "controls. Paper size and print scale are unchanged."));
    connect(m_fit, &QAction::triggered, &view, &ChartView::fitToWindow);
    m_center = addTool(this, QStringLiteral("Center on Selection"), QStringLiteral("zoom-original"),
                       QStringLiteral("Center the selected position without changing zoom"));
    connect(m_center, &QAction::triggered, &view, [&view] {
        if (view.selectedID())
            view.requestCenterPerson(*view.selectedID());
    });

    // A toolbar makes its buttons unfocusable; these take Tab and Space like every other button.
    for (QAction *action : {m_printGuides, m_print, m_zoomOut, m_zoomIn, m_resetView, m_fit, m_center})
        widgetForAction(action)->setFocusPolicy(Qt::TabFocus);
    keepOverflowReachable();

    auto schedule = [this] {
        if (m_refreshPending)
            return;
        m_refreshPending = true;
        QMetaObject::invokeMethod(this, &ChartToolbar::refresh, Qt::QueuedConnection);
    };
    for (auto changed : {&ChartView::zoomChanged, &ChartView::selectionChanged, &ChartView::pageBreaksChanged,
                         &ChartView::chartChanged})
        connect(&view, changed, this, schedule);
    connect(&view.document(), &OrganizationDocument::archiveChanged, this, schedule);
    connect(&window, &ChartWindow::printActionChanged, this, schedule);
    refresh();
    // Again once the window has wired its dialogs.
    schedule();
}

void ChartToolbar::keepOverflowReachable()
{
    // Qt's own button for the commands that do not fit; nameless and out of the Tab order.
    m_overflow = findChild<QToolButton *>(QStringLiteral("qt_toolbar_ext_button"), Qt::FindDirectChildrenOnly);
    if (!m_overflow)
        return;
    m_overflow->setAccessibleName(QStringLiteral("More Commands"));
    m_overflow->setToolTip(QStringLiteral("More Commands"));
    m_overflow->setFocusPolicy(Qt::TabFocus);
    setTabOrder(widgetForAction(m_center), m_overflow);
    // Opened from the keyboard, it hands the focus to the first command it shows, so Tab
    // walks on through the rest and back to it.
    connect(m_overflow, &QAbstractButton::pressed, this, [this] {
        m_firstHidden = nullptr;
        for (QAction *action : actions()) {
            QWidget *widget = widgetForAction(action);
            if (action->isVisible() && widget && widget->isHidden() && widget->focusPolicy() & Qt::TabFocus) {
                m_firstHidden = widget;
                break;
            }
        }
    });
    connect(m_overflow, &QAbstractButton::clicked, this, [this](bool open) {
        // The commands may show only once the toolbar has finished growing; a hidden widget
        // takes the focus when it shows.
        if (open && m_overflow->hasFocus() && m_firstHidden)
            m_firstHidden->setFocus(Qt::TabFocusReason);
    });
}

void ChartToolbar::refresh()
{
    m_refreshPending = false;
    const ChartView &view = m_window.view();
    const ChartCommandStates states = ChartCommands::states(ChartCommands::input(view, m_window.canPrint()));
    m_importSpreadsheet->setEnabled(states.importSpreadsheet);
    m_importJSON->setEnabled(states.importJSON);
    m_print->setEnabled(states.print);
    m_center->setEnabled(states.centerOnSelection);
    if (m_printGuides->isChecked() != view.isShowingPageBreaks())
        m_printGuides->setChecked(view.isShowingPageBreaks());
    m_zoomLabel->setText(ChartCommands::zoomText(view.zoom()));
}
