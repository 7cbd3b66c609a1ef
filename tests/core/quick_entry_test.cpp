#include "core/quick_entry.h"

#include <gtest/gtest.h>

namespace {

Position person(std::string id, std::string name, std::string department, std::optional<std::string> manager = {})
{
    Position p{.id = std::move(id), .title = "Pay", .department = std::move(department)};
    p.employee = Employee{.id = p.id, .name = std::move(name)};
    p.managerID = std::move(manager);
    return p;
}

Position vacancy(std::string id, std::string department, std::optional<std::string> manager = {})
{
    Position p = person(std::move(id), "", std::move(department), std::move(manager));
    p.employee.reset();
    return p;
}

} // namespace

TEST(QuickEntryRow, ManagerOptionsArePeopleWithReportsFirst)
{
    const std::vector<Position> positions = {
        person("P1", "zed", "X"),   person("P2", "Amy", "X", "P1"), person("P3", " Bea ", "X"),
        vacancy("V1", "X", "P3"),   person("P4", "  ", "X"),        person("P5", "Cal", "X", "P3"),
    };
    QuickEntryRow self(positions[5]);
    QuickEntryRow twin(positions[5]); // another row for Cal's position
    QuickEntryRow draft("X", "", "");
    draft.name = "Abe";
    draft.title = "Pay";
    QuickEntryRow vacantDraft("X", "", "");
    vacantDraft.vacant = true;

    const auto options = QuickEntryRow::managerOptions(positions, {self, twin, draft, vacantDraft}, self);
    EXPECT_EQ(options, (std::vector<std::string>{"Bea \u2014 Pay [P3]", "zed \u2014 Pay [P1]",
                                                 "Abe \u2014 Pay [draft:" + draft.id + "]", "Amy \u2014 Pay [P2]"}));
}

TEST(QuickEntrySelectManager, SameNamesResolveOnlyByKeyAndTheDepartmentFollowsUnlessOwn)
{
    const std::vector<Position> positions = {person("P1", "Pat Kim", "Art"), person("P2", "pat kim", "Music"),
                                             person("P3", "Old Name", "Law"), vacancy("V", "Art"),
                                             person("E", "Eli", "Dance", "P1")};
    QuickEntryRow renamed(positions[2]);
    renamed.name = "New Name";
    renamed.department = "Drama";
    const QuickEntryRow fresh("", "", "");
    QuickEntryRow ownDepartment = fresh;
    ownDepartment.setDepartment("Own");
    QuickEntryRow followedBefore(positions[4]);
    followedBefore.suggestedDepartment = "Dance";
    struct Case {
        QuickEntryRow row;
        const char *text;
        std::string department;
    };
    const Case cases[] = {
        {fresh, "PAT KIM", ""},
        {fresh, "pat kim \u2014 Pay [P2] ", "Music"},
        {fresh, "P1", "Art"},
        {fresh, "new name", "Drama"},
        {fresh, "Old Name", ""},
        {fresh, "V", ""},
        {ownDepartment, "P2", "Own"},
        {QuickEntryRow(positions[4]), "P2", "Dance"}, // differs from its manager's
        {followedBefore, "P2", "Music"},
    };
    for (const Case &c : cases) {
        QuickEntryRow row = c.row;
        row.selectManager(c.text, positions, {renamed});
        EXPECT_EQ(row.manager, c.text);
        EXPECT_EQ(row.department, c.department) << c.text << " / " << c.row.department;
    }
}
