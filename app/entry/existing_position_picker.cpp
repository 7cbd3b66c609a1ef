#include "app/entry/existing_position_picker.h"

#include "app/shell/accessible_fields.h"
#include "app/sidebar/sidebar_style.h"
#include "core/model/employee_directory.h"
#include "core/support/text.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QPainter>
#include <QPushButton>
#include <QStyledItemDelegate>
#include <QVBoxLayout>

#include <algorithm>
#include <unordered_set>

namespace {

QString toQt(const std::string &text)
{
    return QString::fromStdString(text);
}

std::string searchText(const Position &p)
{
    return (p.employee ? p.employee->name : std::string("Vacant")) + ' ' + p.jobTitle() + ' ' + p.title + ' '
        + p.department + ' ' + p.id;
}

// Draws the check box as usual, then the row's two lines: the person, and in a smaller
// dimmed font the id, department and charts.
class TwoLineDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const override
    {
        QStyleOptionViewItem opt = option;
        initStyleOption(&opt, index);
        const QString title = opt.text;
        opt.text.clear();
        const QWidget *widget = opt.widget;
        QStyle *style = widget ? widget->style() : QApplication::style();
        style->drawControl(QStyle::CE_ItemViewItem, &opt, painter, widget);
        opt.text = title;
        const QRect text = style->subElementRect(QStyle::SE_ItemViewItemText, &opt, widget).adjusted(2, 0, -2, 0);
        const int half = text.height() / 2;
        painter->save();
        painter->setFont(opt.font);
        painter->drawText(text.adjusted(0, 0, 0, -half), Qt::AlignLeft | Qt::AlignBottom | Qt::TextSingleLine,
                          opt.fontMetrics.elidedText(title, Qt::ElideRight, text.width()));
        painter->setFont(captionFont(opt.font));
        painter->setPen(opt.palette.color(QPalette::PlaceholderText));
        const QString detail = index.data(ExistingPositionListModel::detailRole).toString();
        painter->drawText(text.adjusted(0, half, 0, 0), Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine,
                          QFontMetrics(captionFont(opt.font)).elidedText(detail, Qt::ElideRight, text.width()));
        painter->restore();
    }

    // The view ticks a row wherever it is clicked; the check box must not tick it a second time.
    bool editorEvent(QEvent *event, QAbstractItemModel *model, const QStyleOptionViewItem &option,
                     const QModelIndex &index) override
    {
        switch (event->type()) {
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonRelease:
        case QEvent::MouseButtonDblClick:
            return false;
        default:
            return QStyledItemDelegate::editorEvent(event, model, option, index);
        }
    }

    QSize sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const override
    {
        QSize size = QStyledItemDelegate::sizeHint(option, index);
        size.setHeight(option.fontMetrics.height() + QFontMetrics(captionFont(option.font)).height() + 8);
        return size;
    }
};

} // namespace

ExistingPositionFilter::ExistingPositionFilter(const std::vector<Position> &positions,
                                               const std::vector<OrganizationSheet> &sheets,
                                               const std::string &selectedSheetID)
{
    std::unordered_set<std::string_view> listed;
    const auto sheet = std::find_if(sheets.begin(), sheets.end(),
                                    [&](const OrganizationSheet &s) { return s.id == selectedSheetID; });
    if (sheet != sheets.end())
        listed.insert(sheet->positionIDs.begin(), sheet->positionIDs.end());
    std::vector<const Position *> candidates;
    for (const Position &p : positions) {
        if (!listed.contains(p.id))
            candidates.push_back(&p);
    }
    for (const Position *p : EmployeeDirectory::sorted(std::move(candidates))) {
        m_order.push_back(size_t(p - positions.data()));
        m_folded.push_back(Text::caseFolded(searchText(*p)));
    }
}

std::vector<size_t> ExistingPositionFilter::filtered(std::string_view query) const
{
    if (query.empty())
        return m_order;
    // The same test as Text::localizedCaseInsensitiveContains, with the rows folded once.
    const std::string needle = Text::caseFolded(query);
    std::vector<size_t> rows;
    for (size_t i = 0; i < m_order.size(); ++i) {
        if (m_folded[i].find(needle) != std::string::npos)
            rows.push_back(m_order[i]);
    }
    return rows;
}

std::vector<Position> availableExistingPositions(const std::vector<Position> &positions,
                                                 const std::vector<OrganizationSheet> &sheets,
                                                 const std::string &selectedSheetID, std::string_view query)
{
    std::vector<Position> result;
    for (size_t index : ExistingPositionFilter(positions, sheets, selectedSheetID).filtered(query))
        result.push_back(positions[index]);
    return result;
}

QString existingPositionTitle(const Position &position)
{
    return (position.employee ? toQt(position.employee->name) : QStringLiteral("Vacant")) + QStringLiteral(" — ")
        + toQt(position.jobTitle());
}

QString existingPositionDetail(const Position &position, const QString &chartNames)
{
    return toQt(position.id) + QStringLiteral(" · ") + toQt(position.department) + QStringLiteral(" · ") + chartNames;
}

ExistingPositionListModel::ExistingPositionListModel(std::vector<Position> positions,
                                                     std::vector<OrganizationSheet> sheets,
                                                     std::string selectedSheetID, IncludeAction onInclude,
                                                     QObject *parent)
    : QAbstractListModel(parent)
    , m_positions(std::move(positions))
    , m_sheets(std::move(sheets))
    , m_selectedSheetID(std::move(selectedSheetID))
    , m_onInclude(std::move(onInclude))
    , m_filter(m_positions, m_sheets, m_selectedSheetID)
    , m_rows(m_filter.filtered({}))
{
    // Chart names per position in one pass over the sheets, not one per row.
    for (const OrganizationSheet &sheet : m_sheets) {
        std::unordered_set<std::string_view> once(sheet.positionIDs.begin(), sheet.positionIDs.end());
        for (std::string_view id : once) {
            QString &names = m_chartNames[std::string(id)];
            names += (names.isEmpty() ? QString() : QStringLiteral(", ")) + toQt(sheet.name);
        }
    }
}

QString ExistingPositionListModel::description() const
{
    const auto sheet = std::find_if(m_sheets.begin(), m_sheets.end(),
                                    [&](const OrganizationSheet &s) { return s.id == m_selectedSheetID; });
    const QString name = sheet == m_sheets.end() ? QStringLiteral("this sheet") : toQt(sheet->name);
    return QStringLiteral("Include people from any sheet in %1. These are shared positions, not copies. Changes to a "
                          "person apply everywhere.")
        .arg(name);
}

void ExistingPositionListModel::setQuery(const QString &query)
{
    if (query == m_query)
        return;
    m_query = query;
    beginResetModel();
    m_rows = m_filter.filtered(query.toStdString());
    endResetModel();
}

void ExistingPositionListModel::setSelected(const std::string &id, bool selected)
{
    const bool changed = selected ? m_selected.insert(id).second : m_selected.erase(id) > 0;
    if (changed)
        emit selectionChanged();
}

QString ExistingPositionListModel::selectionCount() const
{
    return QStringLiteral("%1 selected").arg(m_selected.size());
}

bool ExistingPositionListModel::include()
{
    if (m_selected.empty())
        return false;
    try {
        m_onInclude(m_selected);
    } catch (const OrganizationError &error) {
        m_errorMessage = toQt(error.message());
        emit failed();
        return false;
    }
    return true;
}

int ExistingPositionListModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_rows.size());
}

QVariant ExistingPositionListModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || size_t(index.row()) >= m_rows.size())
        return {};
    const Position &position = m_positions[m_rows[size_t(index.row())]];
    switch (role) {
    case Qt::DisplayRole:
        return existingPositionTitle(position);
    case detailRole: {
        const auto names = m_chartNames.find(position.id);
        return existingPositionDetail(position, names == m_chartNames.end() ? QString() : names->second);
    }
    case idRole:
        return toQt(position.id);
    case Qt::CheckStateRole:
        return m_selected.contains(position.id) ? Qt::Checked : Qt::Unchecked;
    default:
        return {};
    }
}

bool ExistingPositionListModel::setData(const QModelIndex &index, const QVariant &value, int role)
{
    if (!index.isValid() || role != Qt::CheckStateRole || size_t(index.row()) >= m_rows.size())
        return false;
    setSelected(m_positions[m_rows[size_t(index.row())]].id, value.toInt() == Qt::Checked);
    emit dataChanged(index, index, {Qt::CheckStateRole});
    return true;
}

Qt::ItemFlags ExistingPositionListModel::flags(const QModelIndex &index) const
{
    return QAbstractListModel::flags(index) | Qt::ItemIsUserCheckable;
}

ExistingPositionPicker::ExistingPositionPicker(std::vector<Position> positions, std::vector<OrganizationSheet> sheets,
                                               std::string selectedSheetID,
                                               ExistingPositionListModel::IncludeAction onInclude, QWidget *parent)
    : QDialog(parent)
    , m_model(new ExistingPositionListModel(std::move(positions), std::move(sheets), std::move(selectedSheetID),
                                            std::move(onInclude), this))
{
    setWindowTitle(QStringLiteral("Add Existing Positions"));
    setFixedSize(700, 540);
    auto *layout = new QVBoxLayout(this);
    layout->setSpacing(14);
    layout->setContentsMargins(20, 20, 20, 20);

    auto *title = new QLabel(QStringLiteral("Add Existing Positions"));
    QFont titleFont = title->font();
    titleFont.setPointSizeF(titleFont.pointSizeF() * 1.4);
    titleFont.setBold(true);
    title->setFont(titleFont);
    layout->addWidget(title);
    auto *description = new QLabel(m_model->description());
    description->setWordWrap(true);
    description->setForegroundRole(QPalette::PlaceholderText);
    layout->addWidget(description);

    auto *search = new QLineEdit;
    search->setPlaceholderText(QStringLiteral("Search name, Job Title, Pay Level, department, or Position ID"));
    search->setClearButtonEnabled(true);
    AccessibleFields::name(search, search->placeholderText());
    connect(search, &QLineEdit::textChanged, m_model, &ExistingPositionListModel::setQuery);
    layout->addWidget(search);

    auto *list = new QListView;
    list->setModel(m_model);
    list->setItemDelegate(new TwoLineDelegate(list));
    list->setUniformItemSizes(true);
    list->setSelectionMode(QAbstractItemView::NoSelection);
    list->setAccessibleName(QStringLiteral("Positions to add"));
    announceCheckedRows(list);
    // A click anywhere on a row ticks it, as on a labelled check box.
    connect(list, &QListView::clicked, this, [this](const QModelIndex &index) {
        const bool checked = index.data(Qt::CheckStateRole).toInt() == Qt::Checked;
        m_model->setData(index, checked ? Qt::Unchecked : Qt::Checked, Qt::CheckStateRole);
    });
    layout->addWidget(list, 1);

    layout->addWidget(makeCaption(QStringLiteral("Only selected positions are included. A person appears at the top "
                                                 "when their manager isn't on this sheet; their organization-wide "
                                                 "reporting relationship is preserved."),
                                  this));

    m_error = new QLabel;
    AccessibleFields::announce(m_error);
    m_error->setWordWrap(true);
    keepReadable(m_error, QPalette::WindowText, QPalette::Window, errorRed);
    m_error->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_error->hide(); // until the first failure: the message stays until the sheet closes
    layout->addWidget(m_error);

    auto *footer = new QHBoxLayout;
    m_count = new QLabel;
    m_count->setForegroundRole(QPalette::PlaceholderText);
    footer->addWidget(m_count);
    footer->addStretch();
    auto *cancel = new QPushButton(QStringLiteral("Cancel"));
    m_add = new QPushButton(QStringLiteral("Add to Sheet"));
    for (QPushButton *button : {cancel, m_add}) {
        button->setAutoDefault(false);
        button->setDefault(false);
        footer->addWidget(button);
    }
    layout->addLayout(footer);

    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(m_add, &QPushButton::clicked, this, [this] {
        if (m_model->include())
            accept();
    });
    connect(m_model, &ExistingPositionListModel::selectionChanged, this, &ExistingPositionPicker::refresh);
    connect(m_model, &ExistingPositionListModel::failed, this, [this] {
        AccessibleFields::tell(m_error, m_model->errorMessage());
        m_error->show();
    });
    refresh();
    search->setFocus();
}

void ExistingPositionPicker::refresh()
{
    m_count->setText(m_model->selectionCount());
    m_add->setEnabled(!m_model->selected().empty());
}
