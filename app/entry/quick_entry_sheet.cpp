#include "app/entry/quick_entry_sheet.h"

#include "app/entry/entry_sheet_parts.h"
#include "app/entry/quick_entry_table.h"
#include "app/shell/accessible_fields.h"
#include "app/shell/dialogs.h"

#include <algorithm>

#include <QApplication>
#include <QClipboard>
#include <QHBoxLayout>
#include <QLabel>
#include <QMimeData>
#include <QPainter>
#include <QPushButton>
#include <QScrollArea>
#include <QTimer>
#include <QVBoxLayout>

namespace {

// The "plus" symbol of "Add Row".
QIcon plusSymbol(const QColor &color)
{
    QPixmap pixmap(32, 32);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(color, 3.5, Qt::SolidLine, Qt::RoundCap));
    painter.drawLine(QPointF(16, 6), QPointF(16, 26));
    painter.drawLine(QPointF(6, 16), QPointF(26, 16));
    return QIcon(pixmap);
}

} // namespace

QuickEntrySheet::QuickEntrySheet(const std::string &sheetName, std::vector<Position> positions,
                                 const std::vector<Position> &sheetPositions, const std::string &initialManager,
                                 QuickEntryCommit commit, Dialogs &dialogs, QWidget *parent)
    : QDialog(parent)
    , m_grid(sheetName, std::move(positions), sheetPositions, initialManager)
    , m_commit(std::move(commit))
    , m_dialogs(dialogs)
    , m_model(new QuickEntryTableModel(m_grid, this))
{
    const QString title = "Quick Entry — " + QString::fromStdString(sheetName);
    setWindowTitle(title);
    setModal(true);
    setFixedSize(1280, 540);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(20, 20, 20, 20);
    layout->setSpacing(12);

    layout->addWidget(EntrySheetParts::title(title, this));

    QLabel *instructions = EntrySheetParts::secondaryLabel(
        "Edit existing positions or add rows. Mark a new row Vacant and enter QTY to create separate positions "
        "with unique IDs. Existing rows always have QTY 1. Tab moves between cells; Enter adds a row.",
        this);
    instructions->setWordWrap(true);
    layout->addWidget(instructions);

    m_table = new QuickEntryTableView(*m_model, this);
    // At its full height the sheet gives the grid well over 280; on a small screen (1280 × 800
    // at scale 2 has 400 points) the grid gives way before the buttons would cover it.
    m_table->setMinimumHeight(150);
    layout->addWidget(m_table, 1);

    m_message = new QLabel(this);
    AccessibleFields::announce(m_message);
    m_message->setWordWrap(true);
    m_message->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    m_message->setTextFormat(Qt::PlainText);
    m_message->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    m_messageArea = new QScrollArea(this);
    m_messageArea->setWidget(m_message);
    m_messageArea->setWidgetResizable(true);
    m_messageArea->setFrameShape(QFrame::NoFrame);
    m_messageArea->setMaximumHeight(100);
    m_messageArea->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    // The message itself is the stop; the pane around it, nameless and unseen, is none.
    m_messageArea->setFocusPolicy(Qt::NoFocus);
    m_messageArea->hide();
    layout->addWidget(m_messageArea);

    auto *buttons = new QHBoxLayout;
    // Return belongs to the grid: it adds a row and never presses a button.
    QPushButton *add = EntrySheetParts::button("Add Row", this);
    add->setIcon(plusSymbol(palette().color(QPalette::ButtonText)));
    QPushButton *paste = EntrySheetParts::button("Paste Rows from Excel", this);
    paste->setToolTip("Paste six columns: Name, Pay Level, Job Title, Department, Manager, Location. Legacy "
                      "five-column rows are also accepted. Do not include a header.");
    QPushButton *done = EntrySheetParts::button("Done", this);
    m_save = EntrySheetParts::button("Save Changes", this, EntrySheetParts::ButtonStyle::prominent);
    buttons->addWidget(add);
    buttons->addWidget(paste);
    buttons->addStretch(1);
    buttons->addWidget(done);
    buttons->addWidget(m_save);
    layout->addLayout(buttons);

    connect(add, &QPushButton::clicked, this, &QuickEntrySheet::appendRow);
    connect(paste, &QPushButton::clicked, this, &QuickEntrySheet::pasteRows);
    connect(done, &QPushButton::clicked, this, &QuickEntrySheet::reject);
    connect(m_save, &QPushButton::clicked, this, &QuickEntrySheet::saveChanges);
    connect(m_model, &QuickEntryTableModel::changed, this, &QuickEntrySheet::refresh);
    connect(m_model, &QuickEntryTableModel::messageGiven, this, &QuickEntrySheet::showMessage);
    refresh();
}

QuickEntrySheet::~QuickEntrySheet()
{
    // The grid is a member and goes before the child widgets. An open cell writes its text
    // when it loses the focus, which closing the sheet causes: the table goes first, while
    // the grid lives, and what it writes then no longer reaches this sheet.
    disconnect(m_model, nullptr, this, nullptr);
    delete m_table;
}

QString QuickEntrySheet::message() const
{
    return m_message->text();
}

void QuickEntrySheet::appendRow()
{
    m_table->appendRow();
}

void QuickEntrySheet::pasteRows()
{
    const QMimeData *data = QApplication::clipboard()->mimeData();
    std::optional<std::string> text;
    if (data && data->hasText())
        text = data->text().toStdString();
    m_model->paste(text);
}

void QuickEntrySheet::saveChanges()
{
    if (!m_grid.hasChanges())
        return;
    m_model->save(m_commit);
}

void QuickEntrySheet::reject()
{
    if (m_grid.hasChanges()) {
        const int choice = m_dialogs.ask("Discard unsaved grid changes?", QString(),
                                         {{"Discard Unsaved Changes", DialogButton::Role::destructive, true},
                                          {"Keep Editing", DialogButton::Role::cancel}},
                                         DialogButton::Role::cancel);
        if (choice != 0)
            return;
    }
    QDialog::reject();
}

void QuickEntrySheet::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    // Once shown, so that the name field's editor can open and take the focus.
    QTimer::singleShot(0, m_table, &QuickEntryTableView::focusName);
}

void QuickEntrySheet::refresh()
{
    m_save->setEnabled(m_grid.hasChanges());
}

void QuickEntrySheet::showMessage()
{
    const QString message = QString::fromStdString(m_grid.message());
    // Heard each time: a failure met again, or a second save of as many positions, is news.
    AccessibleFields::tell(m_message, message);
    m_messageArea->setVisible(!message.isEmpty());
    // As high as the text, up to the area's limit: the grid keeps the rest.
    const int textHeight = m_message->heightForWidth(m_messageArea->viewport()->width());
    m_messageArea->setFixedHeight(std::clamp(textHeight, 1, 100));
}
