#include "app/import/spreadsheet_import_window.h"

#include "app/import/column_matching_step.h"
#include "app/import/correction_grid.h"
#include "app/import/correction_grid_model.h"
#include "app/import/import_file_step.h"
#include "app/shell/accessible_fields.h"
#include "app/shell/window_placement.h"
#include "app/sidebar/popup_placement.h"
#include "app/sidebar/searchable_dropdown.h"
#include "app/sidebar/sidebar_style.h"

#include <QCloseEvent>
#include <QKeyEvent>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QSettings>
#include <QStackedWidget>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>
#include <vector>

namespace {

struct Entry {
    QPointer<QWidget> owner; // a deleted owner's address may be reused: it then matches nothing
    SpreadsheetImportWindow *window;
};

std::vector<Entry> &registry()
{
    static std::vector<Entry> entries;
    return entries;
}

void forget(const SpreadsheetImportWindow *window)
{
    std::erase_if(registry(), [window](const Entry &entry) { return entry.window == window; });
}

QFrame *divider()
{
    auto *line = new QFrame;
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Sunken);
    return line;
}

QLabel *secondaryLabel(const QString &text)
{
    auto *label = new QLabel(text);
    label->setForegroundRole(QPalette::PlaceholderText);
    return label;
}

// The first control inside `area` that Tab reaches, or null.
QWidget *firstControl(QWidget *area)
{
    for (QWidget *next = area->nextInFocusChain(); next && next != area; next = next->nextInFocusChain()) {
        if (area->isAncestorOf(next) && next->isVisible() && next->isEnabled() && !next->focusProxy()
            && (next->focusPolicy() & Qt::TabFocus))
            return next;
    }
    return nullptr;
}

} // namespace

SpreadsheetImportWindow *SpreadsheetImportWindow::present(QWidget *owner, Organization existing, ImportFlow::ApplyAction apply,
                                                          Dialogs &dialogs, ImportFlow::Reader reader)
{
    SpreadsheetImportWindow *window = windowFor(owner);
    if (!window) {
        window = new SpreadsheetImportWindow(owner, std::move(existing), std::move(apply), dialogs, std::move(reader));
        registry().push_back({owner, window});
        connect(window, &QObject::destroyed, [window] { forget(window); });
    }
    window->show();
    window->raise();
    window->activateWindow();
    return window;
}

SpreadsheetImportWindow *SpreadsheetImportWindow::windowFor(const QWidget *owner)
{
    for (const Entry &entry : registry()) {
        if (entry.owner && entry.owner == owner)
            return entry.window;
    }
    return nullptr;
}

SpreadsheetImportWindow::Frame SpreadsheetImportWindow::frameFor(int requestedWidth, const QRect &current,
                                                                  const QPoint &resting, const QRect &available)
{
    const int minimumHeight = std::min(ImportFlow::minimumHeight, available.height());
    const QSize size(std::min(std::max(requestedWidth, defaultWidth), available.width()),
                     std::clamp(current.height(), minimumHeight, available.height()));
    const QPoint origin(std::clamp(resting.x(), available.left(), available.left() + available.width() - size.width()),
                        std::clamp(resting.y(), available.top(), available.top() + available.height() - size.height()));
    return Frame{.minimum = QSize(std::min(requestedWidth, available.width()), minimumHeight),
                 .geometry = QRect(origin, size)};
}

SpreadsheetImportWindow::SpreadsheetImportWindow(QWidget *owner, Organization existing, ImportFlow::ApplyAction apply,
                                                 Dialogs &dialogs, ImportFlow::Reader reader)
    : QWidget(nullptr, Qt::Window),
      m_flow(new ImportFlow(std::move(existing), std::move(apply), dialogs, std::move(reader), this)), m_owner(owner)
{
    AccessibleFields::readAsWindow(this);
    setAttribute(Qt::WA_DeleteOnClose);
    followOwnerTitle();
    // The owner may read another file in place, or be saved under another name.
    if (owner)
        connect(owner, &QWidget::windowTitleChanged, this, &SpreadsheetImportWindow::followOwnerTitle);

    auto *layout = new QVBoxLayout(this);
    layout->setSpacing(16);
    layout->addWidget(buildTitleRow());
    layout->addWidget(buildStepBar());
    layout->addWidget(divider());

    m_busy = new QWidget;
    auto *busyRow = new QHBoxLayout(m_busy);
    busyRow->setContentsMargins(0, 0, 0, 0);
    m_reading = new QProgressBar;
    m_reading->setRange(0, 0);
    m_reading->setMaximumWidth(200);
    m_reading->setAccessibleName(QStringLiteral("Reading workbook…"));
    busyRow->addWidget(m_reading);
    busyRow->addWidget(new QLabel(m_reading->accessibleName()));
    busyRow->addStretch();
    layout->addWidget(m_busy);

    m_steps = new QStackedWidget;
    m_fileStep = new ImportFileStep(*m_flow);
    m_columnStep = new ColumnMatchingStep(*m_flow);
    auto *corrections = new QWidget;
    auto *correctionLayout = new QVBoxLayout(corrections);
    correctionLayout->setContentsMargins(0, 0, 0, 0);
    m_caption = secondaryLabel(QString());
    m_grid = new CorrectionGrid(*m_flow);
    correctionLayout->addWidget(m_caption);
    correctionLayout->addWidget(m_grid, 1);
    m_steps->addWidget(m_fileStep);
    m_steps->addWidget(m_columnStep);
    m_steps->addWidget(corrections);
    // A screen too short for a step (1280 × 800 at scale 2 has 400 points) scrolls it rather
    // than laying the grid under the buttons.
    auto *stepArea = new QScrollArea;
    stepArea->setWidget(m_steps);
    stepArea->setWidgetResizable(true);
    stepArea->setFrameShape(QFrame::NoFrame);
    stepArea->setFocusPolicy(Qt::NoFocus); // no stop of its own between its controls
    keepFocusInSight(stepArea);
    layout->addWidget(stepArea, 1);

    m_error = new QLabel;
    AccessibleFields::announce(m_error);
    m_error->setWordWrap(true);
    m_error->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    keepReadable(m_error, QPalette::WindowText, QPalette::Window, importErrorColor());
    layout->addWidget(m_error);
    layout->addWidget(divider());
    layout->addWidget(buildActionRow());

    connect(m_flow, &ImportFlow::stateChanged, this, &SpreadsheetImportWindow::refresh);
    connect(m_flow, &ImportFlow::reviewChanged, this, &SpreadsheetImportWindow::refresh);
    connect(m_flow, &ImportFlow::widthChanged, this, &SpreadsheetImportWindow::followWidth);
    connect(m_flow, &ImportFlow::closeRequested, this, &QWidget::close);
    connect(m_flow, &ImportFlow::failed, this, [this] {
        // Heard each time: the same refusal again is news too.
        AccessibleFields::tell(m_error, m_flow->errorMessage().value_or(QString()));
        m_error->show();
    });
    connect(m_fileStep, &ImportFileStep::chooserClosed, this, &SpreadsheetImportWindow::chooserClosed);

    resize(defaultWidth, defaultHeight);
    if (const QScreen *screen = this->screen())
        move(screen->availableGeometry().center() - rect().center());
    restoreGeometry(QSettings().value(frameKey).toByteArray());
    followWidth(m_flow->minimumWidth());
    refresh();
}

void SpreadsheetImportWindow::followOwnerTitle()
{
    QString ownerTitle = m_owner ? m_owner->windowTitle() : QString();
    ownerTitle.remove(QStringLiteral("[*]"));
    setWindowTitle(QStringLiteral("Import & Correct — ") + ownerTitle);
}

QWidget *SpreadsheetImportWindow::buildTitleRow()
{
    auto *row = new QWidget;
    auto *layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 0, 0, 0);
    auto *title = new QLabel(QStringLiteral("Import People"));
    QFont font = title->font();
    font.setBold(true);
    font.setPointSizeF(font.pointSizeF() * 1.5);
    title->setFont(font);
    auto *help = new QToolButton;
    help->setText(QStringLiteral("Help && Template"));
    help->setPopupMode(QToolButton::InstantPopup);
    auto *menu = new QMenu(help);
    menu->addAction(QStringLiteral("Import Instructions"), m_flow, &ImportFlow::openInstructions);
    menu->addAction(QStringLiteral("Save Excel Template…"), m_flow, &ImportFlow::saveTemplate);
    help->setMenu(menu);
    layout->addWidget(title);
    layout->addStretch();
    layout->addWidget(help);
    return row;
}

QWidget *SpreadsheetImportWindow::buildStepBar()
{
    auto *bar = new QWidget;
    auto *layout = new QHBoxLayout(bar);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(16);
    const std::array<QString, 3> titles = {QStringLiteral("1  File && Worksheet"), QStringLiteral("2  Match Columns"),
                                           QStringLiteral("3  Review && Correct")};
    for (size_t i = 0; i < titles.size(); ++i) {
        if (i > 0)
            layout->addWidget(secondaryLabel(QStringLiteral("›")));
        auto *button = new QPushButton(titles[i]);
        button->setCheckable(true);
        const auto step = static_cast<ImportFlow::Step>(i);
        // The flow decides which step shows; a click only asks for it.
        connect(button, &QPushButton::clicked, this, [this, step] {
            m_flow->showStep(step);
            refresh();
        });
        m_stepButtons[i] = button;
        layout->addWidget(button);
    }
    layout->addStretch();
    return bar;
}

QWidget *SpreadsheetImportWindow::buildActionRow()
{
    auto *row = new QWidget;
    auto *layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 0, 0, 0);
    auto *close = new QPushButton(QStringLiteral("Close"));
    connect(close, &QPushButton::clicked, m_flow, &ImportFlow::close);
    m_backToColumns = new QPushButton(QStringLiteral("Back to Columns"));
    connect(m_backToColumns, &QPushButton::clicked, this, [this] { m_flow->showStep(ImportFlow::Step::columns); });
    m_saveDraft = new QPushButton(QStringLiteral("Save Correction Draft…"));
    connect(m_saveDraft, &QPushButton::clicked, m_flow, &ImportFlow::saveDraft);
    m_backToFile = new QPushButton(QStringLiteral("Back to File"));
    connect(m_backToFile, &QPushButton::clicked, this, [this] { m_flow->showStep(ImportFlow::Step::file); });
    m_primary = new QPushButton;
    m_primary->setDefault(true);
    connect(m_primary, &QPushButton::clicked, m_flow, &ImportFlow::pressPrimary);
    for (QWidget *widget : {static_cast<QWidget *>(close), static_cast<QWidget *>(m_backToColumns),
                            static_cast<QWidget *>(m_saveDraft), static_cast<QWidget *>(m_backToFile)})
        layout->addWidget(widget);
    layout->addStretch();
    // On two lines where the buttons leave it too little room for one.
    QLabel *note = secondaryLabel(QStringLiteral("Your chart changes only when you apply the import."));
    note->setWordWrap(true);
    layout->addWidget(note, 1);
    layout->addWidget(m_primary);
    return row;
}

void SpreadsheetImportWindow::refresh()
{
    const ImportFlow::Step step = m_flow->step();
    for (size_t i = 0; i < m_stepButtons.size(); ++i) {
        const auto buttonStep = static_cast<ImportFlow::Step>(i);
        m_stepButtons[i]->setEnabled(m_flow->canShow(buttonStep));
        m_stepButtons[i]->setChecked(buttonStep == step);
    }
    m_steps->setCurrentIndex(int(step));
    m_caption->setText(m_flow->caption());
    // A failure comes to the line with the flow's failed(), which has it heard each time.
    if (!m_flow->errorMessage()) {
        AccessibleFields::setMessage(m_error, QString());
        m_error->hide();
    }
    m_backToColumns->setVisible(step == ImportFlow::Step::corrections);
    m_saveDraft->setVisible(step == ImportFlow::Step::corrections);
    m_backToFile->setVisible(step == ImportFlow::Step::columns);
    m_primary->setText(m_flow->primaryTitle());
    m_primary->setEnabled(m_flow->canPressPrimary());
    if (m_focusAfterReading && !m_flow->isLoading()) {
        m_focusAfterReading = false;
        placeFocusAfterReading();
    }
    // Hidden after the focus has left it: Qt would hand it to the next control.
    m_busy->setVisible(m_flow->isLoading());
}

void SpreadsheetImportWindow::chooserClosed()
{
    m_focusAfterReading = m_flow->isLoading();
    // "Choose File…" is disabled while the file is read: the focus waits on the progress
    // line, heard as "Reading workbook…", rather than on the next control, which a screen
    // reader would announce and Space would press.
    if (m_focusAfterReading && (!focusWidget() || focusWidget() == m_fileStep->chooseButton()))
        m_reading->setFocus(Qt::OtherFocusReason);
}

void SpreadsheetImportWindow::placeFocusAfterReading()
{
    // Moved by the user while the file was read: left there.
    if (focusWidget() && focusWidget() != m_reading)
        return;
    QWidget *target = nullptr;
    if (m_flow->errorMessage())
        target = m_fileStep->chooseButton();
    else if (m_flow->step() == ImportFlow::Step::file)
        target = firstControl(m_fileStep->worksheetPicker()); // the worksheet, header row and references
    if (!target)
        target = firstControl(m_steps->currentWidget()); // a draft opens on its corrections
    if (target)
        target->setFocus(Qt::OtherFocusReason);
}

void SpreadsheetImportWindow::followWidth(int width)
{
    const QScreen *screen = this->screen();
    // The room inside the frame the desktop draws around the window: a window as wide as the
    // screen would have its title bar above it.
    const QRect available = screen ? screen->availableGeometry().marginsRemoved(WindowPlacement::frameOf(*this))
                                   : QRect(pos(), QSize(width, height()));
    if (geometry().topLeft() != m_placed)
        m_resting = geometry().topLeft();
    const Frame frame = frameFor(width, geometry(), m_resting, available);
    setMinimumSize(frame.minimum);
    setGeometry(frame.geometry);
    m_placed = geometry().topLeft();
}

void SpreadsheetImportWindow::keyPressEvent(QKeyEvent *event)
{
    // Escape arrives here only when no cell editor or popup took it, so cancelling an
    // edit never closes the window.
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
        m_flow->close();
        return;
    }
    QWidget::keyPressEvent(event);
}

void SpreadsheetImportWindow::closeEvent(QCloseEvent *event)
{
    // The frame remembered for the next import window is where this one rests, not the
    // width a wide grid gave it.
    if (m_flow->minimumWidth() > defaultWidth)
        followWidth(ImportFlow::baseWidth);
    QSettings().setValue(frameKey, saveGeometry());
    forget(this); // a closed window is never brought back, even before it is deleted
    QWidget::closeEvent(event);
}
