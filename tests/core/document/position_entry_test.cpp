#include "core/document/organization_archive.h"
#include "core/document/position_entry.h"
#include "error_of.h"
#include "position_ids.h"

#include <gtest/gtest.h>

namespace {

Position person(std::string id, std::string name, std::string number)
{
    Position p{.id = std::move(id), .title = "Pay"};
    p.employee = Employee{.id = std::move(number), .name = std::move(name)};
    return p;
}

// Ann on chart S; Bo on no chart; the vacancy P-7-2 on chart S.
OrganizationArchive district()
{
    OrganizationArchive archive;
    archive.organization.positions = {person("P-1", "Ann", "1"), person("P-2", "Bo", "2"),
                                      Position{.id = "P-7-2", .title = "Aide"}};
    archive.sheets = std::vector{OrganizationSheet{.id = "S", .name = "Main", .positionIDs = {"P-1", "P-7-2"}}};
    return archive;
}

} // namespace

TEST(PositionEntrySave, NewVacanciesEditsAndRefusals)
{
    OrganizationArchive archive = district();
    const Position ann = archive.organization.positions[0];
    archive.savePositionEntry({.position = ann, .original = ann, .includeOnSheet = true}, "S");
    EXPECT_EQ(archive, district()) << "unchanged and already on the chart";

    const Position aide{.id = " P-7 ", .title = "Aide"};
    const auto saved = archive.savePositionEntry({.position = aide, .quantity = 3, .includeOnSheet = true}, "S");
    EXPECT_EQ(idsOf(saved), (std::vector<std::string>{"P-7", "P-7-3", "P-7-4"})) << "new ids are trimmed";
    EXPECT_EQ(archive.revisions.front()->organization.size(), 3u) << "the version holds the old state";
    archive.includeExistingPositionFromEntry("P-1", "S");
    archive.includeExistingPositionFromEntry("P-2", "S");
    EXPECT_EQ(archive.sheets->front().positionIDs,
              (std::vector<std::string>{"P-1", "P-7-2", "P-7", "P-7-3", "P-7-4", "P-2"}));
    EXPECT_EQ(archive.revisions.size(), 2u) << "no version for a position already on the chart";

    const Position spaced = person(" P-8 ", "Cy", "8");
    archive.organization.positions.push_back(spaced);
    Position renamed = spaced;
    renamed.employee->name = "Cy Ross";
    EXPECT_EQ(archive.savePositionEntry({.position = renamed, .original = spaced}, std::nullopt), std::vector{renamed});
    EXPECT_EQ(archive.organization.positions.back().id, " P-8 ") << "a stored id with spaces is kept";

    const auto refused = [](OrganizationArchive a, const PositionEntryRequest &request,
                            const std::optional<std::string> &sheetID) {
        const OrganizationArchive before = a;
        const std::string message = errorOf([&] { a.savePositionEntry(request, sheetID); });
        EXPECT_EQ(a, before) << message;
        return message;
    };
    EXPECT_EQ(refused(district(), {.position = Position{.id = "P-2", .title = "Aide"}}, "S"),
              "Position ID P-2 already exists. Enter a unique Position ID.");
    OrganizationArchive edited = district();
    edited.organization.positions[0].fte = 0.5;
    EXPECT_EQ(refused(edited, {.position = ann, .original = ann}, "S"),
              "This position changed or no longer exists. Reopen the editor before saving.");
}
