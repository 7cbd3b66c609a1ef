#include "app/entry/position_group_editor.h"

#include "app/entry/entry_sheet_parts.h"
#include "app/shell/accessible_fields.h"
#include "app/sidebar/sidebar_style.h"

#include "core/support/organization_error.h"
#include "core/support/text.h"

#include <QAbstractListModel>
#include <QApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QPainter>
#include <QPushButton>
#include <QScrollArea>
#include <QStyledItemDelegate>
#include <QVBoxLayout>

namespace {

std::string searchText(const Position &position)
{
    const std::string name = position.employee ? position.employee->name : std::string();
    return name + " " + position.jobTitle() + " " + position.title + " " + position.department + " "
        + position.location;
}

QString qt(const std::string &text)
{
    return QString::fromStdString(text);
}

} // namespace

bool groupEditorMatches(const Position &position, std::string_view query)
{
    return query.empty() || Text::localizedCaseInsensitiveContains(searchText(position), query);
}

std::string groupEditorRowTitle(const Position &position)
{
    return (position.employee ? position.employee->name : std::string("Vacant")) + " — " + position.jobTitle();
}

std::string groupEditorRowDetail(const Position &position)
{
    return position.id + " · " + position.department + " · Manager: " + position.managerID.value_or("None");
}

// The positions the filter lets through, each with a box ticked when its id is a member.
// The search texts are folded once, so that filtering 20,000 people keeps up with typing;
// the test is groupEditorMatches's.
class GroupCandidateListModel : public QAbstractListModel {
public:
    explicit GroupCandidateListModel(std::vector<Position> positions, QObject *parent)
        : QAbstractListModel(parent)
        , m_positions(std::move(positions))
    {
        m_folded.reserve(m_positions.size());
        for (const Position &position : m_positions)
            m_folded.push_back(Text::caseFolded(searchText(position)));
        setQuery({});
    }

    std::function<void()> onTicksChanged;
    const std::set<std::string> &members() const { return m_members; }

    void setQuery(const std::string &query)
    {
        beginResetModel();
        m_shown.clear();
        const std::string folded = Text::caseFolded(query);
        for (size_t i = 0; i < m_positions.size(); ++i) {
            if (query.empty() || m_folded[i].find(folded) != std::string::npos)
                m_shown.push_back(i);
        }
        endResetModel();
    }

    const Position &position(const QModelIndex &index) const { return m_positions[m_shown[size_t(index.row())]]; }

    int rowCount(const QModelIndex &parent = {}) const override
    {
        return parent.isValid() ? 0 : int(m_shown.size());
    }

    QVariant data(const QModelIndex &index, int role) const override
    {
        if (!index.isValid())
            return {};
        const Position &p = position(index);
        switch (role) {
        case Qt::DisplayRole: return qt(groupEditorRowTitle(p));
        case Qt::ToolTipRole: return qt(groupEditorRowDetail(p));
        case Qt::CheckStateRole: return m_members.contains(p.id) ? Qt::Checked : Qt::Unchecked;
        default: return {};
        }
    }

    Qt::ItemFlags flags(const QModelIndex &index) const override
    {
        return index.isValid() ? Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable : Qt::NoItemFlags;
    }

    bool setData(const QModelIndex &index, const QVariant &value, int role) override
    {
        if (!index.isValid() || role != Qt::CheckStateRole)
            return false;
        const std::string &id = position(index).id;
        if (value.toInt() == Qt::Checked)
            m_members.insert(id);
        else
            m_members.erase(id);
        emit dataChanged(index, index, {Qt::CheckStateRole});
        if (onTicksChanged)
            onTicksChanged();
        return true;
    }

private:
    std::vector<Position> m_positions;
    std::vector<std::string> m_folded;
    std::vector<size_t> m_shown;
    // Kept apart from the shown rows, so that a filter never loses a tick.
    std::set<std::string> m_members;
};

namespace {

// A checkbox with a two-line label; a click anywhere on the row ticks it, as on a label.
class CandidateDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    QSize sizeHint(const QStyleOptionViewItem &option, const QModelIndex &) const override
    {
        return {option.rect.width(), option.fontMetrics.height() * 2 + 12};
    }

    void paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const override
    {
        QStyleOptionViewItem opt = option;
        initStyleOption(&opt, index);
        const QWidget *widget = option.widget;
        QStyle *style = widget ? widget->style() : QApplication::style();
        style->drawPrimitive(QStyle::PE_PanelItemViewItem, &opt, painter, widget);

        const int indicator = style->pixelMetric(QStyle::PM_IndicatorWidth, &opt, widget);
        QStyleOptionViewItem box = opt;
        box.rect = QRect(opt.rect.left() + 6, opt.rect.center().y() - indicator / 2, indicator, indicator);
        box.state = (box.state & ~(QStyle::State_On | QStyle::State_Off))
            | (opt.checkState == Qt::Checked ? QStyle::State_On : QStyle::State_Off);
        style->drawPrimitive(QStyle::PE_IndicatorItemViewItemCheck, &box, painter, widget);

        const auto *model = static_cast<const GroupCandidateListModel *>(index.model());
        const Position &position = model->position(index);
        const QRect text = opt.rect.adjusted(indicator + 14, 5, -6, -5);
        const int line = opt.fontMetrics.height();
        const bool selected = opt.state & QStyle::State_Selected;
        painter->save();
        painter->setPen(opt.palette.color(selected ? QPalette::HighlightedText : QPalette::Text));
        painter->drawText(QRect(text.left(), text.top(), text.width(), line), Qt::AlignLeft | Qt::AlignVCenter,
                          opt.fontMetrics.elidedText(qt(groupEditorRowTitle(position)), Qt::ElideRight, text.width()));
        QFont caption = opt.font;
        caption.setPointSizeF(caption.pointSizeF() * 0.85);
        painter->setFont(caption);
        painter->setPen(opt.palette.color(selected ? QPalette::HighlightedText : QPalette::PlaceholderText));
        painter->drawText(QRect(text.left(), text.top() + line, text.width(), line), Qt::AlignLeft | Qt::AlignVCenter,
                          qt(groupEditorRowDetail(position)));
        painter->restore();
    }

    bool editorEvent(QEvent *event, QAbstractItemModel *model, const QStyleOptionViewItem &option,
                     const QModelIndex &index) override
    {
        if (!EntrySheetParts::activatesCell(event, option.rect))
            return false;
        const bool ticked = index.data(Qt::CheckStateRole).toInt() == Qt::Checked;
        return model->setData(index, ticked ? Qt::Unchecked : Qt::Checked, Qt::CheckStateRole);
    }
};

} // namespace

PositionGroupEditor::PositionGroupEditor(std::vector<Position> positions, std::vector<PositionGroup> groups,
                                         Create create, Remove remove, QWidget *parent)
    : QDialog(parent)
    , m_onCreate(std::move(create))
    , m_onRemove(std::move(remove))
    , m_model(new GroupCandidateListModel(std::move(positions), this))
{
    setWindowTitle("Group Positions");
    setModal(true);
    setFixedSize(720, 620);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(20, 20, 20, 20);
    layout->setSpacing(12);

    layout->addWidget(EntrySheetParts::title("Group Positions", this));
    QLabel *explanation = EntrySheetParts::secondaryLabel("Create a presentation group such as Elementary Principals. Choose peers with "
                                    "the same manager. Original employees and reporting relationships are retained.",
                                    this);
    explanation->setWordWrap(true);
    layout->addWidget(explanation);

    m_name = new QLineEdit(this);
    m_name->setPlaceholderText("Group name");
    AccessibleFields::name(m_name, m_name->placeholderText());
    layout->addWidget(m_name);
    m_filter = new QLineEdit(this);
    m_filter->setPlaceholderText("Filter people by name, title, department, or location");
    AccessibleFields::name(m_filter, m_filter->placeholderText());
    layout->addWidget(m_filter);

    m_list = new QListView(this);
    m_list->setModel(m_model);
    m_list->setItemDelegate(new CandidateDelegate(m_list));
    m_list->setUniformItemSizes(true);
    m_list->setAccessibleName("Positions to group");
    announceCheckedRows(m_list);
    layout->addWidget(m_list, 1);

    if (!groups.empty())
        layout->addWidget(existingGroups(groups));

    m_message = new QLabel(this);
    AccessibleFields::announce(m_message);
    m_message->setWordWrap(true);
    m_message->setTextFormat(Qt::PlainText);
    keepReadable(m_message, QPalette::WindowText, QPalette::Window, errorRed);
    m_message->hide();
    layout->addWidget(m_message);

    auto *bottom = new QHBoxLayout;
    m_count = EntrySheetParts::secondaryLabel(QString(), this);
    QPushButton *done = EntrySheetParts::button("Done", this);
    m_create = EntrySheetParts::button("Create Group", this, EntrySheetParts::ButtonStyle::prominent);
    bottom->addWidget(m_count);
    bottom->addStretch(1);
    bottom->addWidget(done);
    bottom->addWidget(m_create);
    layout->addLayout(bottom);

    connect(m_name, &QLineEdit::textChanged, this, &PositionGroupEditor::refresh);
    connect(m_filter, &QLineEdit::textChanged, this,
            [this](const QString &query) { m_model->setQuery(query.toStdString()); });
    m_model->onTicksChanged = [this] { refresh(); };
    connect(done, &QPushButton::clicked, this, &QDialog::reject);
    connect(m_create, &QPushButton::clicked, this, &PositionGroupEditor::createGroup);
    refresh();
}

PositionGroupEditor::~PositionGroupEditor() = default;

// "<name> (×<members>)" and an "Ungroup" button per group, in a short scrolling area.
QWidget *PositionGroupEditor::existingGroups(const std::vector<PositionGroup> &groups)
{
    auto *section = new QWidget(this);
    auto *layout = new QVBoxLayout(section);
    layout->setContentsMargins(0, 0, 0, 0);
    auto *heading = new QLabel("Existing groups", section);
    QFont bold = heading->font();
    bold.setBold(true);
    heading->setFont(bold);
    layout->addWidget(heading);

    auto *rows = new QWidget;
    auto *rowsLayout = new QVBoxLayout(rows);
    rowsLayout->setContentsMargins(0, 0, 0, 0);
    for (const PositionGroup &group : groups) {
        auto *row = new QHBoxLayout;
        row->addWidget(new QLabel(QString("%1 (×%2)").arg(qt(group.name)).arg(group.memberIDs.size()), rows));
        row->addStretch(1);
        QPushButton *ungroup = EntrySheetParts::button("Ungroup", rows);
        connect(ungroup, &QPushButton::clicked, this, [this, id = group.id] { removeGroup(id); });
        row->addWidget(ungroup);
        rowsLayout->addLayout(row);
    }
    rowsLayout->addStretch(1);
    auto *scroll = new QScrollArea(section);
    scroll->setWidget(rows);
    scroll->setWidgetResizable(true);
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setMaximumHeight(100);
    scroll->setFocusPolicy(Qt::NoFocus); // no nameless stop before the rows' buttons
    scroll->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    layout->addWidget(scroll);
    return section;
}

QString PositionGroupEditor::message() const
{
    return m_message->text();
}

QString PositionGroupEditor::selectedCount() const
{
    return m_count->text();
}

const std::set<std::string> &PositionGroupEditor::members() const
{
    return m_model->members();
}

void PositionGroupEditor::createGroup()
{
    if (!m_create->isEnabled())
        return;
    const std::set<std::string> &ticked = m_model->members();
    try {
        // A set of std::string is already in ascending order.
        m_onCreate(m_name->text().toStdString(), std::vector<std::string>(ticked.begin(), ticked.end()));
    } catch (const OrganizationError &error) {
        fail(error.message());
        return;
    }
    accept();
}

void PositionGroupEditor::removeGroup(const std::string &groupID)
{
    try {
        m_onRemove(groupID);
    } catch (const OrganizationError &error) {
        fail(error.message());
        return;
    }
    accept();
}

void PositionGroupEditor::fail(const std::string &message)
{
    // Heard each time: the same refusal again is news too.
    AccessibleFields::tell(m_message, qt(message));
    m_message->setVisible(!message.empty());
}

void PositionGroupEditor::refresh()
{
    const size_t ticked = m_model->members().size();
    m_count->setText(QString("%1 selected").arg(ticked));
    m_create->setEnabled(ticked >= 2 && !Text::isBlank(m_name->text().toStdString()));
}
