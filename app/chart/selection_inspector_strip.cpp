#include "app/chart/selection_inspector_strip.h"

#include "app/chart/chart_view.h"
#include "app/chart/selection_inspector.h"
#include "app/sidebar/sidebar_style.h"

#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QPainter>
#include <QPixmap>
#include <QPolygonF>
#include <QPushButton>
#include <QResizeEvent>
#include <QStyle>
#include <QVBoxLayout>

using namespace SelectionInspector;

namespace {

QWidget *summary(const QString &title, const QString &subtitle, QWidget *parent)
{
    auto *box = new QWidget(parent);
    auto *layout = new QVBoxLayout(box);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(3);
    auto *head = new ElidedLabel(title, box);
    QFont bold = head->font();
    bold.setBold(true);
    bold.setPointSizeF(bold.pointSizeF() * 1.1);
    head->setFont(bold);
    auto *caption = new QLabel(subtitle, box);
    caption->setForegroundRole(QPalette::PlaceholderText);
    layout->addWidget(head);
    layout->addWidget(caption);
    box->setMinimumWidth(160);
    return box;
}

QPushButton *makeButton(const QString &text, const QString &tip, QWidget *parent)
{
    auto *made = new QPushButton(text, parent);
    made->setToolTip(tip);
    made->setAutoDefault(false);
    return made;
}

// "✕" says nothing to a screen reader: it hears the tooltip's words instead.
QPushButton *dismissButton(QWidget *parent)
{
    auto *made = makeButton(QStringLiteral("\u2715"), QStringLiteral("Dismiss selection"), parent);
    made->setAccessibleName(made->toolTip());
    return made;
}

enum class ActionSymbol { pencil, personMinus, trash };

// "pencil", "person.crop.circle.badge.minus" and "trash", drawn in a 16-unit box; the
// badge's minus is cut out in `cutout`, the button's own colour.
void paintActionSymbol(QPainter &painter, ActionSymbol symbol, const QColor &colour, const QColor &cutout)
{
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(colour, 1.3, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    painter.setBrush(Qt::NoBrush);
    switch (symbol) {
    case ActionSymbol::pencil:
        painter.drawPolygon(QPolygonF({{3, 13}, {3.6, 10.4}, {11, 3}, {13, 5}, {5.6, 12.4}}));
        painter.drawLine(QPointF(9.6, 4.4), QPointF(11.6, 6.4));
        return;
    case ActionSymbol::personMinus:
        painter.drawEllipse(QRectF(1.5, 1.5, 11.5, 11.5));
        painter.drawEllipse(QRectF(5.3, 3.8, 4, 4));
        painter.drawArc(QRectF(3.8, 8.6, 7, 5.5), 30 * 16, 120 * 16);
        painter.setPen(Qt::NoPen);
        painter.setBrush(colour);
        painter.drawEllipse(QRectF(9, 9, 6.5, 6.5));
        painter.setPen(QPen(cutout, 1.3, Qt::SolidLine, Qt::RoundCap));
        painter.drawLine(QPointF(10.6, 12.25), QPointF(13.9, 12.25));
        return;
    case ActionSymbol::trash:
        painter.drawLine(QPointF(2.5, 4), QPointF(13.5, 4));
        painter.drawPolyline(QPolygonF({{6, 4}, {6.5, 2}, {9.5, 2}, {10, 4}}));
        painter.drawPolygon(QPolygonF({{4, 4}, {4.8, 14}, {11.2, 14}, {12, 4}}));
        painter.drawLine(QPointF(6.7, 6.5), QPointF(6.9, 11.5));
        painter.drawLine(QPointF(9.3, 6.5), QPointF(9.1, 11.5));
        return;
    }
}

// The symbol in the button text's colour, greyed when the button is disabled.
QIcon actionIcon(ActionSymbol symbol, const QPalette &palette)
{
    QIcon icon;
    const std::pair<QIcon::Mode, QPalette::ColorGroup> looks[] = {{QIcon::Normal, QPalette::Active},
                                                                   {QIcon::Disabled, QPalette::Disabled}};
    for (const auto &[mode, group] : looks) {
        for (const int scale : {1, 2}) {
            QPixmap pixmap(16 * scale, 16 * scale);
            pixmap.setDevicePixelRatio(scale);
            pixmap.fill(Qt::transparent);
            QPainter painter(&pixmap);
            paintActionSymbol(painter, symbol, palette.color(group, QPalette::ButtonText),
                              palette.color(group, QPalette::Button));
            painter.end();
            icon.addPixmap(pixmap, mode);
        }
    }
    return icon;
}

// Runs after the click has finished: a confirmation may open and the strip be rebuilt.
template <typename Function>
void later(ChartView &view, Function function)
{
    QMetaObject::invokeMethod(&view, std::move(function), Qt::QueuedConnection);
}

// Menu texts come from the document: "&" is a character there, not a shortcut mark.
QString menuText(const QString &text)
{
    return QString(text).replace('&', QStringLiteral("&&"));
}

} // namespace

SelectionInspectorStrip::SelectionInspectorStrip(ChartView &view, QWidget *parent) : QWidget(parent), m_view(view)
{
    setAutoFillBackground(true);
    setBackgroundRole(QPalette::Window);
    setMinimumHeight(82);
    // May be narrower than the one-row arrangement: it then stacks (see resizeEvent).
    setMinimumWidth(1);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(8);
    auto *divider = new QFrame(this);
    divider->setFrameShape(QFrame::HLine);
    divider->setFrameShadow(QFrame::Sunken);
    layout->addWidget(divider);
    refresh();
}

QPushButton *SelectionInspectorStrip::button(const QString &text) const
{
    if (!m_content)
        return nullptr;
    for (QPushButton *found : m_content->findChildren<QPushButton *>()) {
        if (found->text() == text || found->accessibleName() == text)
            return found;
    }
    return nullptr;
}

void SelectionInspectorStrip::clear()
{
    delete m_content;
    m_content = nullptr;
}

// The action a button stands for: its text, or its name where it shows an icon alone.
static QString actionOf(const QWidget *widget)
{
    const auto *button = qobject_cast<const QPushButton *>(widget);
    if (!button)
        return {};
    return button->text().isEmpty() ? button->accessibleName() : button->text();
}

void SelectionInspectorStrip::giveKeyboardBack(const QString &action)
{
    QPushButton *same = action.isEmpty() ? nullptr : button(action);
    QWidget *target = same && same->isEnabled() ? static_cast<QWidget *>(same) : m_keyboardHome;
    if (target && target->isVisibleTo(window()))
        target->setFocus(Qt::OtherFocusReason);
}

void SelectionInspectorStrip::refresh()
{
    QWidget *focused = window()->focusWidget();
    const bool holding = m_content && focused && m_content->isAncestorOf(focused);
    const QString action = holding ? actionOf(focused) : QString();
    // Let go before the buttons go, so that Qt has no focus to hand on meanwhile.
    if (holding)
        focused->clearFocus();
    clear();
    const Strip shown = strip(m_view);
    if (std::holds_alternative<std::monostate>(shown)) {
        hide();
        if (holding)
            giveKeyboardBack(QString());
        return;
    }
    m_content = new QWidget(this);
    auto *row = new QHBoxLayout(m_content);
    row->setContentsMargins(12, 0, 12, 12);
    ChartView &view = m_view;
    const bool editorAvailable = view.isPositionEditorAvailable();

    if (const auto *group = std::get_if<GroupStrip>(&shown)) {
        row->addWidget(summary(group->title, group->subtitle, m_content), 1);
        auto *people = makeButton(QStringLiteral("People in Group"), QString(), m_content);
        auto *menu = new QMenu(people);
        for (const GroupMember &member : group->members) {
            menu->addAction(menuText(member.label), &view, [&view, position = member.position] {
                view.selectPerson(position.id);
                view.editPosition(position);
            });
        }
        people->setMenu(menu);
        people->setEnabled(group->membersEnabled && editorAvailable);
        row->addWidget(people);
        if (group->offersExpand) {
            auto *expand = makeButton(QStringLiteral("Expand Group"), QString(), m_content);
            connect(expand, &QPushButton::clicked, &view,
                    [&view, id = group->cardID] { later(view, [&view, id] { view.toggleGroup(id); }); });
            row->addWidget(expand);
        }
        auto *dismiss = dismissButton(m_content);
        connect(dismiss, &QPushButton::clicked, &view, [&view] {
            view.setSelectedID(std::nullopt);
            view.setSelectedGroupID(std::nullopt);
        });
        row->addWidget(dismiss);
    } else {
        const PersonStrip &person = std::get<PersonStrip>(shown);
        const Position position = person.position;
        QWidget *personSummary = summary(person.title, person.subtitle, m_content);
        if (m_narrow) {
            // Summary above the actions, which show as icons with their labels as tooltips.
            delete row;
            auto *stack = new QVBoxLayout(m_content);
            stack->setContentsMargins(12, 0, 12, 12);
            stack->setSpacing(8);
            stack->addWidget(personSummary);
            row = new QHBoxLayout;
            stack->addLayout(row);
        } else {
            row->addWidget(personSummary, 1);
        }

        auto *edit = makeButton(QStringLiteral("Edit"), QString(), m_content);
        edit->setEnabled(person.canEdit && editorAvailable);
        connect(edit, &QPushButton::clicked, &view, [&view, position] { view.editPosition(position); });
        row->addWidget(edit);

        auto *add = makeButton(QStringLiteral("Add"), QString(), m_content);
        auto *addMenu = new QMenu(add);
        addMenu->addAction(QStringLiteral("Sibling"), &view, [&view, position] { view.addPosition(position.managerID, false); });
        addMenu->addAction(QStringLiteral("Subordinate"), &view, [&view, position] { view.addPosition(position.id, false); });
        addMenu->addAction(QStringLiteral("Assistant"), &view, [&view, position] { view.addPosition(position.id, true); });
        add->setMenu(addMenu);
        add->setEnabled(person.canEdit && editorAvailable);
        row->addWidget(add);

        auto *vacancy = makeButton(QStringLiteral("Make Vacant…"),
                               QStringLiteral("Remove the employee but keep the position, reports, and charts"), m_content);
        vacancy->setEnabled(person.canMakeVacant);
        connect(vacancy, &QPushButton::clicked, &view,
                [&view, position] { later(view, [&view, position] { view.requestVacancy(position); }); });
        row->addWidget(vacancy);

        auto *deletion = makeButton(QStringLiteral("Delete…"),
                                QStringLiteral("Delete this position and its employee from the entire organization"),
                                m_content);
        deletion->setEnabled(person.canDelete);
        connect(deletion, &QPushButton::clicked, &view,
                [&view, position] { later(view, [&view, position] { view.requestDeletion(position); }); });
        row->addWidget(deletion);

        auto *more = makeButton(QStringLiteral("More"), QString(), m_content);
        auto *moreMenu = new QMenu(more);
        for (const QString &line : person.moreLines)
            moreMenu->addAction(menuText(line))->setEnabled(false);
        moreMenu->addSeparator();
        if (person.offersRemoveFromChart) {
            QAction *remove = moreMenu->addAction(QStringLiteral("Remove from This Chart…"), &view,
                                                  [&view] { later(view, [&view] { view.requestRemoveFromChart(); }); });
            remove->setEnabled(person.canDelete);
        }
        more->setMenu(moreMenu);
        row->addWidget(more);

        auto *dismiss = dismissButton(m_content);
        connect(dismiss, &QPushButton::clicked, &view, [&view] { view.setSelectedID(std::nullopt); });
        row->addWidget(dismiss);
        if (m_narrow) {
            // Icons for the actions that have one; the menus keep their short labels.
            const std::pair<QPushButton *, ActionSymbol> icons[] = {
                {edit, ActionSymbol::pencil}, {vacancy, ActionSymbol::personMinus}, {deletion, ActionSymbol::trash}};
            for (const auto &[action, symbol] : icons) {
                action->setAccessibleName(action->text());
                if (action->toolTip().isEmpty())
                    action->setToolTip(action->text());
                action->setIcon(actionIcon(symbol, palette()));
                action->setText(QString());
            }
            row->addStretch(1);
        }
        // After the last change of text: a button's new text replaces its shortcut with
        // the text's mnemonic, so an icon-only Edit would lose Ctrl+E.
        edit->setShortcut(QKeySequence(QStringLiteral("Ctrl+E")));
    }
    static_cast<QVBoxLayout *>(layout())->addWidget(m_content);
    if (!m_narrow && std::holds_alternative<PersonStrip>(shown))
        m_wideWidth = m_content->minimumSizeHint().width(); // a long name elides rather than stacking
    show();
    if (holding) {
        m_content->show(); // now, not when its layout gets to it: a hidden button takes no focus
        giveKeyboardBack(action);
    }
}

void SelectionInspectorStrip::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    const bool narrow = m_wideWidth > 0 && width() < m_wideWidth;
    if (narrow == m_narrow)
        return;
    m_narrow = narrow;
    // Rebuilt after this event: the buttons being laid out must not go away under it.
    QMetaObject::invokeMethod(this, &SelectionInspectorStrip::refresh, Qt::QueuedConnection);
}
