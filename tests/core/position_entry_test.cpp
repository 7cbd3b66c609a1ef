#include "core/organization_archive.h"
#include "core/position_entry.h"
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
    Position ann = person("P-1", "Ann", "1");
    ann.customJobTitle = "Principal";
    archive.organization.positions = {ann, person("P-2", "Bo", "2"), Position{.id = "P-7-2", .title = "Aide"}};
    archive.sheets = std::vector{OrganizationSheet{.id = "S", .name = "Main", .positionIDs = {"P-1", "P-7-2"}}};
    return archive;
}

std::vector<std::string> notes(const OrganizationArchive &archive)
{
    std::vector<std::string> out;
    for (const auto &revision : archive.revisions)
        out.push_back(revision->note);
    return out;
}

} // namespace

TEST(PositionEntrySave, NewVacanciesInQuantityAndIncludedPositions)
{
    OrganizationArchive archive = district();
    const Position aide{.id = " P-7 ", .title = "Aide"};
    const auto saved = archive.savePositionEntry({.position = aide, .quantity = 3, .includeOnSheet = true}, "S");
    EXPECT_EQ(idsOf(saved), (std::vector<std::string>{"P-7", "P-7-3", "P-7-4"})) << "new ids are trimmed";
    EXPECT_EQ(archive.revisions.front()->organization.size(), 3u) << "the version holds the old state";

    archive.includeExistingPositionFromEntry("P-1", "S");
    archive.includeExistingPositionFromEntry("P-2", "S");
    EXPECT_EQ(archive.sheets->front().positionIDs,
              (std::vector<std::string>{"P-1", "P-7-2", "P-7", "P-7-3", "P-7-4", "P-2"}));
    EXPECT_EQ(notes(archive),
              (std::vector<std::string>{"Before adding positions", "Before including existing position on chart"}))
        << "no version for a position already on the chart";
}

TEST(PositionEntrySave, EditsSaveAVersionOnlyWhenSomethingChangesAndKeepAStoredIdWithSpaces)
{
    OrganizationArchive archive = district();
    const Position ann = district().organization.positions[0];
    archive.savePositionEntry({.position = ann, .original = ann, .includeOnSheet = true}, "S");
    EXPECT_EQ(archive, district()) << "unchanged and already on the chart";

    const Position bo = district().organization.positions[1];
    archive.savePositionEntry({.position = bo, .original = bo, .includeOnSheet = true}, "S");
    EXPECT_EQ(notes(archive), (std::vector<std::string>{"Before editing Pay"}));
    EXPECT_EQ(archive.sheets->front().positionIDs, (std::vector<std::string>{"P-1", "P-7-2", "P-2"}));

    const Position spaced = person(" P-8 ", "Cy", "8");
    archive.organization.positions.push_back(spaced);
    Position renamed = spaced;
    renamed.employee->name = "Cy Ross";
    EXPECT_EQ(archive.savePositionEntry({.position = renamed, .original = spaced}, std::nullopt), std::vector{renamed});
    EXPECT_EQ(archive.organization.positions.back().id, " P-8 ");
}

TEST(PositionEntrySave, RefusalsChangeNothing)
{
    const auto refused = [](OrganizationArchive archive, const PositionEntryRequest &request,
                            const std::optional<std::string> &sheetID) {
        const OrganizationArchive before = archive;
        const std::string message = errorOf([&] { archive.savePositionEntry(request, sheetID); });
        EXPECT_EQ(archive, before) << message;
        return message;
    };
    const Position ann = district().organization.positions[0];
    OrganizationArchive locked = district();
    locked.planning = OrganizationPlanning{.isLocked = true};
    EXPECT_EQ(refused(locked, {.position = Position{.id = "P-2", .title = "Aide"}, .quantity = 0}, "gone"),
              "Current organization is locked. Open Planning & Proposals to edit a named proposal instead.");
    EXPECT_EQ(refused(district(), {.position = Position{.id = "P-2", .title = "Aide"}}, "S"),
              "Position ID P-2 already exists. Enter a unique Position ID.");
    OrganizationArchive edited = district();
    edited.organization.positions[0].fte = 0.5;
    EXPECT_EQ(refused(edited, {.position = ann, .original = ann}, "S"),
              "This position changed or no longer exists. Reopen the editor before saving.");
    Position invalid = ann;
    invalid.fte = 0;
    EXPECT_EQ(refused(district(), {.position = invalid, .original = ann}, "S"), "P-1 needs a positive FTE.");
}
