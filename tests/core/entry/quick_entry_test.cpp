#include "core/entry/quick_entry.h"

#include <gtest/gtest.h>

namespace {

Position person(std::string id, std::string name, std::string department, std::optional<std::string> manager = {})
{
    Position p{.id = std::move(id), .title = "Pay", .department = std::move(department)};
    p.employee = Employee{.id = p.id, .name = std::move(name)};
    p.managerID = std::move(manager);
    return p;
}

} // namespace

TEST(QuickEntrySelectManager, SameNamesResolveOnlyByKeyAndTheDepartmentFollowsUnlessOwn)
{
    const std::vector<Position> positions = {person("P1", "Pat Kim", "Art"), person("P2", "pat kim", "Music"),
                                             person("P3", "Old Name", "Law"), person("E", "Eli", "Dance", "P1")};
    QuickEntryRow renamed(positions[2]);
    renamed.name = "New Name";
    renamed.department = "Drama";
    const QuickEntryRow fresh("", "", "");
    QuickEntryRow ownDepartment = fresh;
    ownDepartment.setDepartment("Own");
    QuickEntryRow followedBefore(positions[3]);
    followedBefore.suggestedDepartment = "Dance";
    struct Case {
        QuickEntryRow row;
        const char *text;
        std::string department;
    };
    const Case cases[] = {
        {fresh, "PAT KIM", ""},
        {fresh, "pat kim \u2014 Pay [P2] ", "Music"},
        {fresh, "new name", "Drama"},
        {fresh, "Old Name", ""},
        {ownDepartment, "P2", "Own"},
        {QuickEntryRow(positions[3]), "P2", "Dance"}, // differs from its manager's
        {followedBefore, "P2", "Music"},
    };
    for (const Case &c : cases) {
        QuickEntryRow row = c.row;
        row.selectManager(c.text, positions, {renamed});
        EXPECT_EQ(row.manager, c.text);
        EXPECT_EQ(row.department, c.department) << c.text << " / " << c.row.department;
    }
}
