#include "core/document/organization_archive.h"
#include "core/document/position_entry.h"
#include "error_of.h"
#include "position_ids.h"

#include <gtest/gtest.h>

namespace {

const std::string locked = "Current organization is locked. Open Planning & Proposals to edit a named proposal instead.";
const std::string stale = "This position changed or no longer exists. Reopen the editor before saving.";

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

std::string saveFailure(OrganizationArchive &archive, const PositionEntryRequest &request,
                        const std::optional<std::string> &sheetID = "S")
{
    const OrganizationArchive before = archive;
    try {
        archive.savePositionEntry(request, sheetID);
    } catch (const OrganizationError &error) {
        EXPECT_EQ(archive, before) << "a refused save must change nothing";
        return error.message();
    }
    return "no error";
}

std::vector<std::string> notes(const OrganizationArchive &archive)
{
    std::vector<std::string> out;
    for (const auto &revision : archive.revisions)
        out.push_back(revision->note);
    return out;
}

} // namespace

TEST(PositionEntrySave, NewVacanciesInQuantity)
{
    OrganizationArchive archive = district();
    const Position aide{.id = " P-7 ", .title = "Aide"};
    const auto saved = archive.savePositionEntry({.position = aide, .quantity = 3, .includeOnSheet = true}, "S");
    EXPECT_EQ(idsOf(saved), (std::vector<std::string>{"P-7", "P-7-3", "P-7-4"})) << "new ids are trimmed";
    EXPECT_EQ(archive.sheets->front().positionIDs,
              (std::vector<std::string>{"P-1", "P-7-2", "P-7", "P-7-3", "P-7-4"}));
    EXPECT_EQ(notes(archive), (std::vector<std::string>{"Before adding positions"}));
    EXPECT_EQ(archive.revisions.front()->organization.size(), 3u) << "the version holds the old state";

    OrganizationArchive whole = district();
    whole.savePositionEntry({.position = Position{.id = "P-9", .title = "Aide"}}, std::nullopt);
    EXPECT_EQ(whole.organization.positions.back().id, "P-9");
    EXPECT_EQ(whole.sheets, district().sheets);
}

TEST(PositionEntrySave, Refusals)
{
    const Position ann = district().organization.positions[0];
    Position changedID = ann;
    changedID.id = "P-1b";
    struct Case {
        const char *what;
        PositionEntryRequest request;
        std::optional<std::string> sheetID;
        std::string message;
    };
    const Case cases[] = {
        {"occupied in quantity", {.position = person("P-5", "Cy", "5"), .quantity = 2}, "S",
         "Quantity greater than 1 is only allowed for vacant positions."},
        {"taken id", {.position = Position{.id = "P-2", .title = "Aide"}}, "S",
         "Position ID P-2 already exists. Enter a unique Position ID."},
        {"missing chart", {.position = Position{.id = "P-5", .title = "Aide"}}, "gone",
         "The selected chart no longer exists. Reopen the editor."},
        {"edit in quantity", {.position = ann, .original = ann, .quantity = 2}, "S", stale},
        {"edit with another id", {.position = changedID, .original = ann}, "S", stale},
        {"edit of a deleted position", {.position = person("P-3", "Cy", "3"), .original = person("P-3", "Cy", "3")},
         "S", stale},
        {"invalid result", {.position = [&] { auto p = ann; p.fte = 0; return p; }(), .original = ann}, "S",
         "P-1 needs a positive FTE."},
    };
    for (const Case &c : cases) {
        OrganizationArchive archive = district();
        EXPECT_EQ(saveFailure(archive, c.request, c.sheetID), c.message) << c.what;
    }

    OrganizationArchive archive = district();
    archive.organization.positions[0].fte = 0.5; // edited elsewhere since the editor opened
    EXPECT_EQ(saveFailure(archive, {.position = ann, .original = ann}), stale);
}

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

TEST(PositionEntrySave, EditsSaveAVersionOnlyWhenSomethingChanges)
{
    const Position bo = district().organization.positions[1];
    OrganizationArchive archive = district();
    EXPECT_EQ(archive.savePositionEntry({.position = bo, .original = bo, .includeOnSheet = false}, "S"),
              std::vector{bo});
    EXPECT_EQ(archive, district());

    const Position ann = district().organization.positions[0];
    EXPECT_EQ(archive.savePositionEntry({.position = ann, .original = ann, .includeOnSheet = true}, "S"),
              std::vector{ann});
    EXPECT_EQ(archive, district()) << "already on the chart";

    archive.savePositionEntry({.position = bo, .original = bo, .includeOnSheet = true}, "S");
    EXPECT_EQ(notes(archive), (std::vector<std::string>{"Before editing Pay"}));
    EXPECT_EQ(archive.sheets->front().positionIDs, (std::vector<std::string>{"P-1", "P-7-2", "P-2"}));

    Position renamed = ann;
    renamed.employee->name = "Ann Lee";
    archive.savePositionEntry({.position = renamed, .original = ann, .includeOnSheet = true}, std::nullopt);
    EXPECT_EQ(notes(archive), (std::vector<std::string>{"Before editing Pay", "Before editing Principal"}));
    EXPECT_EQ(archive.organization.positions[0], renamed);
}

TEST(PositionEntrySave, EditKeepsAStoredIdWithSpaces)
{
    OrganizationArchive archive = district();
    Position spaced = person(" P-8 ", "Cy", "8");
    archive.organization.positions.push_back(spaced);
    Position renamed = spaced;
    renamed.employee->name = "Cy Ross";
    EXPECT_EQ(archive.savePositionEntry({.position = renamed, .original = spaced}, std::nullopt), std::vector{renamed});
    EXPECT_EQ(archive.organization.positions.back().id, " P-8 ");
}

TEST(PositionEntryInclude, SavesAVersionOnlyForANewPlacement)
{
    OrganizationArchive archive = district();
    archive.includeExistingPositionFromEntry("P-1", "S");
    EXPECT_EQ(archive, district());

    archive.includeExistingPositionFromEntry("P-2", "S");
    EXPECT_EQ(notes(archive), (std::vector<std::string>{"Before including existing position on chart"}));
    EXPECT_EQ(archive.sheets->front().positionIDs, (std::vector<std::string>{"P-1", "P-7-2", "P-2"}));

    for (auto [id, sheet, message] : {std::tuple{"P-2", "gone", "Select a department sheet first."},
                                      std::tuple{"P-404", "S", "A selected position no longer exists. Reopen the picker."}}) {
        OrganizationArchive before = district();
        OrganizationArchive after = before;
        try {
            after.includeExistingPositionFromEntry(id, sheet);
            ADD_FAILURE() << id;
        } catch (const OrganizationError &error) {
            EXPECT_EQ(error.message(), message);
        }
        EXPECT_EQ(after, before);
    }
}

TEST(PositionEntry, LockedCurrentRefusesBothBeforeAnythingElse)
{
    OrganizationArchive archive = district();
    archive.planning = OrganizationPlanning{.isLocked = true};
    EXPECT_EQ(saveFailure(archive, {.position = Position{.id = "P-2", .title = "Aide"}, .quantity = 0}, "gone"), locked);
    try {
        archive.includeExistingPositionFromEntry("P-404", "gone");
        ADD_FAILURE();
    } catch (const OrganizationError &error) {
        EXPECT_EQ(error.message(), locked);
    }
}
