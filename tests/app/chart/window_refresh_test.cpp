#include "app/chart/chart_view.h"
#include "app/chart/chart_window.h"
#include "app/chart/chart_window_body.h"
#include "app/shell/organization_document.h"
#include "app/sidebar/organization_sidebar.h"
#include "app/sidebar/searchable_dropdown.h"
#include "core/document/position_entry.h"

#include "chart_fixtures.h"

#include <gtest/gtest.h>

#include <QLabel>
#include <QLineEdit>

using namespace AppTest;

// What the window shows follows every edit, and every undo and redo of it: the name in the
// header, the counts, the people in the sidebar and the charts in the picker.

namespace {

class WindowRefresh : public ChartWindowFixture {
protected:
    void SetUp() override
    {
        window = controller.newDocument();
        OrganizationArchive archive = district(2);
        archive.sheets = std::vector{OrganizationSheet::make("Teaching", {"P1", "P2"})};
        window->document()->setArchive(archive);
        settle();
    }

    ChartWindowBody &body() const { return window->body(); }
    OrganizationDocument &document() const { return *window->document(); }

    // The sidebar's rows, top to bottom, as "name — detail" with every group open.
    QStringList people() const
    {
        QStringList rows;
        const SidebarModel *model = body().sidebar()->model();
        std::vector<QModelIndex> work;
        for (int i = model->rowCount() - 1; i >= 0; --i)
            work.push_back(model->index(i, 0));
        while (!work.empty()) {
            const QModelIndex row = work.back();
            work.pop_back();
            rows.append(row.data().toString());
            for (int i = model->rowCount(row) - 1; i >= 0; --i)
                work.push_back(model->index(i, 0, row));
        }
        return rows;
    }
    QStringList charts() const
    {
        QStringList titles;
        for (const DropdownOption &option : body().chartPicker()->options())
            titles.append(option.title);
        return titles;
    }
    QString shown() const
    {
        return body().nameField()->text() + " | " + body().countsLabel()->text() + " | " + people().join(", ") +
               " | " + charts().join(", ");
    }
};

} // namespace

TEST_F(WindowRefresh, EditsUndosAndRedosAreShownAtOnce)
{
    const QString before = shown();
    EXPECT_TRUE(before.startsWith("Springfield District | ")) << before.toStdString();
    EXPECT_TRUE(before.contains("Person 3")) << before.toStdString();
    EXPECT_TRUE(before.contains("Teaching")) << before.toStdString();

    // A person renamed, a chart renamed, the organization renamed, a person added.
    ChartView &view = window->view();
    Position renamed = document().archive().organization.positions[2];
    renamed.employee->name = "Rosa Parks";
    view.savePositionEntry(PositionEntryRequest{.position = renamed, .original = document().archive().organization.positions[2]});
    settle();
    const QString afterRename = shown();
    EXPECT_TRUE(afterRename.contains("Rosa Parks")) << afterRename.toStdString();
    EXPECT_FALSE(afterRename.contains("Person 3")) << afterRename.toStdString();

    view.setSelectedSheetID(document().archive().sheets->front().id);
    view.renameShownChart("Teachers");
    view.setSelectedSheetID({});
    settle();
    EXPECT_EQ(charts().filter("Teach"), QStringList{"Teachers"});

    view.setOrganizationName("Shelbyville District");
    settle();
    EXPECT_EQ(body().nameField()->text(), "Shelbyville District");

    const QString countsBefore = body().countsLabel()->text();
    view.savePositionEntry(PositionEntryRequest{.position = person("P9", "Noor Haddad", "P1")});
    settle();
    EXPECT_NE(body().countsLabel()->text(), countsBefore);
    EXPECT_TRUE(people().contains("Noor Haddad")) << people().join(", ").toStdString();
    const QString after = shown();

    // Undo all four: the window shows the document as it was, field by field.
    for (int i = 0; i < 4; ++i)
        document().undo();
    settle();
    EXPECT_EQ(shown(), before);
    for (int i = 0; i < 4; ++i)
        document().redo();
    settle();
    EXPECT_EQ(shown(), after);
}
