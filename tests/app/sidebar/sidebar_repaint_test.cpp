#include "app/sidebar/organization_sidebar.h"

#include "sidebar_positions.h"

#include <gtest/gtest.h>

#include <QHash>
#include <QPersistentModelIndex>

#include <cstdio>
#include <functional>

using namespace SidebarTest;

namespace {

// The texts of every row as a view that keeps them shows them: read when a row comes, and
// read again only when the model says that row changed (as the list repaints, and a screen
// reader rereads, only what it is told of).
class ShownTexts {
public:
    explicit ShownTexts(QAbstractItemModel &model) : m_model(model)
    {
        readAll();
        QObject::connect(&model, &QAbstractItemModel::dataChanged, &m_context,
                         [this](const QModelIndex &first, const QModelIndex &last) {
                             for (int row = first.row(); row <= last.row(); ++row)
                                 read(m_model.index(row, 0, first.parent()), false);
                         });
        QObject::connect(&model, &QAbstractItemModel::rowsInserted, &m_context,
                         [this](const QModelIndex &parent, int first, int last) {
                             for (int row = first; row <= last; ++row)
                                 read(m_model.index(row, 0, parent), true);
                         });
        QObject::connect(&model, &QAbstractItemModel::rowsRemoved, &m_context, [this] { m_texts.removeIf(gone); });
        QObject::connect(&model, &QAbstractItemModel::layoutChanged, &m_context, [this] { readAll(); });
        QObject::connect(&model, &QAbstractItemModel::modelReset, &m_context, [this] { readAll(); });
    }

    // The rows whose shown texts are not the model's, as "shown -> model".
    std::vector<std::string> stale() const
    {
        std::vector<std::string> rows;
        forEachRow({}, [&](const QModelIndex &index) {
            const auto found = m_texts.find(QPersistentModelIndex(index));
            const std::string shown = found == m_texts.end() ? "(never read)" : found.value();
            if (shown != textOf(index))
                rows.push_back(shown + " -> " + textOf(index));
        });
        return rows;
    }

private:
    static bool gone(QHash<QPersistentModelIndex, std::string>::iterator entry) { return !entry.key().isValid(); }

    static std::string textOf(const QModelIndex &index)
    {
        return index.data().toString().toStdString() + " | " + index.data(SidebarModel::detailRole).toString().toStdString();
    }
    void forEachRow(const QModelIndex &parent, const std::function<void(const QModelIndex &)> &visit) const
    {
        for (int row = 0; row < m_model.rowCount(parent); ++row) {
            const QModelIndex index = m_model.index(row, 0, parent);
            visit(index);
            forEachRow(index, visit);
        }
    }
    void read(const QModelIndex &index, bool withChildren)
    {
        m_texts[QPersistentModelIndex(index)] = textOf(index);
        if (withChildren)
            forEachRow(index, [this](const QModelIndex &child) { m_texts[QPersistentModelIndex(child)] = textOf(child); });
    }
    void readAll()
    {
        m_texts.clear();
        forEachRow({}, [this](const QModelIndex &index) { read(index, false); });
    }

    QAbstractItemModel &m_model;
    QObject m_context;
    // Keyed by the rows as they move: a persistent index follows its row.
    QHash<QPersistentModelIndex, std::string> m_texts;
};

// A hundred people at three sites, listed by their numbered last names.
std::vector<Position> staffOfThreeSites()
{
    std::vector<Position> positions;
    for (int i = 0; i < 100; ++i) {
        char name[16];
        std::snprintf(name, sizeof name, "Al Z%03d", i);
        positions.push_back(staff("P" + std::to_string(i), name, "Teaching", "Site " + std::to_string(i % 3),
                                  i == 0 ? std::nullopt : std::optional<std::string>("P0")));
    }
    return positions;
}

} // namespace

// An edit that changes only the second line of rows (their job titles) is announced for
// every such row, in every way the sidebar takes an edit: one row moved, many rows' new
// texts at once, and a few among many other changes. A row left out keeps its old title on
// screen until something else repaints it.
TEST(SidebarRepaint, RowsWithANewJobTitleAreAnnounced)
{
    const std::vector<Position> before = staffOfThreeSites();
    const auto edited = [&](const std::function<void(std::vector<Position> &)> &edit) {
        std::vector<Position> positions = before;
        edit(positions);
        return positions;
    };
    const struct {
        const char *name;
        std::string mode;
        std::vector<Position> after;
    } cases[] = {
        {"one new job title", std::string(SidebarMode::none), edited([](auto &p) { p[5].setJobTitle("Lead Teacher"); })},
        {"one new job title in groups", std::string(SidebarMode::locationDepartment),
         edited([](auto &p) { p[5].setJobTitle("Lead Teacher"); })},
        {"seventy new job titles", std::string(SidebarMode::none), edited([](auto &p) {
             for (int i = 0; i < 70; ++i)
                 p[size_t(i)].setJobTitle("Lead Teacher");
         })},
        {"seventy new job titles in groups", std::string(SidebarMode::location), edited([](auto &p) {
             for (int i = 0; i < 70; ++i)
                 p[size_t(i)].setJobTitle("Lead Teacher");
         })},
        {"one new job title among seventy new managers", std::string(SidebarMode::location), edited([](auto &p) {
             for (int i = 20; i < 90; ++i)
                 p[size_t(i)].managerID = "P1";
             p[0].setJobTitle("Lead Teacher");
         })},
    };
    for (const auto &c : cases) {
        OrganizationSidebar sidebar;
        sidebar.setGrouping(c.mode);
        sidebar.setPositions(before);
        ShownTexts shown(*sidebar.model());
        sidebar.setPositions(c.after);
        EXPECT_EQ(shown.stale(), std::vector<std::string>()) << c.name;
    }
}
