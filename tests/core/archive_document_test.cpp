#include "archive_test_support.h"

#include "core/archive_json.h"
#include "core/organization_json.h"

#include <gtest/gtest.h>

using namespace TestDocs;
using Json = nlohmann::json;

namespace {

const char *const readFailure = "This file could not be read as an organization. ";

Json positionJson(const std::string &id, std::optional<std::string> manager = std::nullopt)
{
    return OrganizationJson::encode(person(id, std::move(manager)));
}

Json revisionJson(const std::string &id, Json organization)
{
    return Json{{"id", id}, {"number", 1}, {"date", 10.5}, {"note", "n"}, {"name", "N"},
                {"organization", std::move(organization)}};
}

Json archiveJson(Json revisions = Json::array())
{
    return Json{{"name", "District"},
                {"organization", {{"positions", {positionJson("A")}}}},
                {"revisions", std::move(revisions)}};
}

std::string decodeError(const Json &json)
{
    return errorOf([&] { OrganizationArchive::decode(json.dump()); });
}

const std::string uuid1 = "11111111-1111-4111-8111-111111111111";
const std::string uuid2 = "22222222-2222-4222-8222-222222222222";

// A document with every kind of content: versions, groups, sheets, print settings and planning.
OrganizationArchive fullDocument()
{
    OrganizationArchive a = archive({person("A"), person("B", "A"), withDotted(vacancy("C", "A"), {"B"})});
    a.pageTitle = "Title";
    a.pageSubtitle = "Sub";
    OrganizationSheet s = sheet("S1", "Central", {"A", "B", "gone"});
    s.focusedDepartmentView = false;
    s.printSettings = ChartPrintSettings::departmentDesign();
    s.pageTitle = "Sheet title";
    a.sheets = std::vector{s, sheet("S2", "Empty", {})};
    a.printSettings = ChartPrintSettings{.scalePercent = 75};
    a.groups = std::vector{PositionGroup{"group-1", "Pair", {"B", "C"}}};
    a.organization.positions[1].setJobTitle("Teacher");
    a.organization.positions[1].isAssistant = false;
    a.organization.positions[1].siblingOrder = 3;
    a.organization.positions[1].schoolAssignments = {{"North", 0.5}, {"South", 0.5}};

    OrganizationRevision r;
    r.id = uuid1;
    r.number = 7;
    r.date = Date{123456.789012345};
    r.note = "Before deleting Teacher";
    r.name = "Old name";
    r.organization = FrozenOrganization(organization({person("A")}));
    r.sheets = std::vector<OrganizationSheet>{};
    a.revisions.push_back(r);
    r.id = uuid2;
    r.number = 2;
    r.groups = a.groups;
    r.printSettings = ChartPrintSettings{};
    a.revisions.push_back(r);

    PlanningSnapshot baseline = PlanningSnapshot::make(a);
    a.planning = OrganizationPlanning{Date{99.25}, baseline, false,
                                      {OrganizationProposal{uuid1, "Plan A", Date{100.5}, baseline}}};
    return a;
}

} // namespace

TEST(DocumentReading, BareOrganizationOpensUntitledAndIgnoresOtherKeys)
{
    const OrganizationArchive empty = OrganizationArchive::decode(R"({"positions": []})");
    EXPECT_EQ(empty, OrganizationArchive::make("Untitled Organization", {}));

    Json json{{"positions", {positionJson("A")}}, {"name", "Lost"}, {"revisions", 5}, {"sheets", Json::array()}};
    const OrganizationArchive bare = OrganizationArchive::decode(json.dump());
    EXPECT_EQ(bare.name, "Untitled Organization");
    EXPECT_EQ(bare.organization.positions.size(), 1u);
    EXPECT_FALSE(bare.sheets.has_value());
    EXPECT_TRUE(bare.revisions.empty());
}

// A bare organization is validated like a full document.
TEST(DocumentReading, BareOrganizationIsValidated)
{
    Json json{{"positions", {positionJson("A"), positionJson("A")}}};
    EXPECT_EQ(decodeError(json), "Position IDs must be unique.");
}

TEST(DocumentReading, UnreadablePositionsFallBackToTheArchiveForm)
{
    Json json = archiveJson();
    json["positions"] = Json::array({1});
    EXPECT_NO_THROW(OrganizationArchive::decode(json.dump()));

    Json broken{{"positions", Json::array({1})}};
    EXPECT_EQ(decodeError(broken), std::string(readFailure) + "No value for the key \"name\".");
}

TEST(DocumentReading, RequiredAndOptionalKeys)
{
    Json noRevisions = archiveJson();
    noRevisions.erase("revisions");
    EXPECT_EQ(decodeError(noRevisions), std::string(readFailure) + "No value for the key \"revisions\".");
    Json nullRevisions = archiveJson();
    nullRevisions["revisions"] = nullptr;
    EXPECT_NE(decodeError(nullRevisions), "");

    Json nulls = archiveJson();
    for (const char *key : {"planning", "sheets", "groups", "printSettings", "pageTitle", "pageSubtitle"})
        nulls[key] = nullptr;
    nulls["unknown"] = "ignored";
    const OrganizationArchive a = OrganizationArchive::decode(nulls.dump());
    EXPECT_EQ(a, OrganizationArchive::make("District", organization({person("A")})));
}

TEST(DocumentReading, MalformedInputGivesAReadableMessage)
{
    for (const char *text : {"", "{", "[1e400]", "[]", "42", R"({"name": 1})"}) {
        const std::string message = errorOf([&] { OrganizationArchive::decode(text); });
        EXPECT_EQ(message.rfind(readFailure, 0), 0u) << text << ": " << message;
    }
    Json badID = archiveJson(Json::array({revisionJson("not-a-uuid", {{"positions", Json::array()}})}));
    EXPECT_EQ(decodeError(badID), std::string(readFailure) + "The value of \"id\" is not a valid UUID.");
    Json notObject = archiveJson(Json::array({3}));
    EXPECT_EQ(decodeError(notObject), std::string(readFailure) + "The value of \"revisions\" is not an object.");
}

// Checks run organization, planning, versions oldest first, then version ids.
TEST(DocumentReading, ValidationOrder)
{
    const Json invalidOrg{{"positions", {positionJson("X", "missing")}}};
    const Json validOrg{{"positions", {positionJson("A")}}};

    Json twoSameIDs = archiveJson(Json::array({revisionJson(uuid1, validOrg), revisionJson(uuid1, validOrg)}));
    EXPECT_EQ(decodeError(twoSameIDs), "Version identifiers must be unique.");

    Json sameIDsAndInvalid = archiveJson(Json::array({revisionJson(uuid1, validOrg), revisionJson(uuid1, invalidOrg)}));
    EXPECT_EQ(decodeError(sameIDsAndInvalid), "X references an invalid manager: missing.");

    Json planningInvalid = sameIDsAndInvalid;
    PlanningSnapshot baseline{.name = "B", .organization = organization({person("A"), person("A")})};
    planningInvalid["planning"] = ArchiveJson::encode(OrganizationPlanning{Date{}, baseline, true, {}});
    EXPECT_EQ(decodeError(planningInvalid), "Position IDs must be unique.");

    Json currentInvalid = planningInvalid;
    currentInvalid["organization"] = Json{{"positions", {positionJson("A", "A")}}};
    EXPECT_EQ(decodeError(currentInvalid), "A references an invalid manager: A.");
}

TEST(DocumentReading, VersionNumbersAreTakenAsTheyAre)
{
    Json revisions = Json::array({revisionJson(uuid1, {{"positions", Json::array()}}),
                                  revisionJson(uuid2, {{"positions", Json::array()}})});
    revisions[0]["number"] = 5;
    revisions[1]["number"] = 5;
    revisions[1]["id"] = "22222222-2222-4222-8222-22222222222a"; // lower case reads as upper case
    const OrganizationArchive a = OrganizationArchive::decode(archiveJson(revisions).dump());
    ASSERT_EQ(a.revisions.size(), 2u);
    EXPECT_EQ(a.revisions[1]->id, "22222222-2222-4222-8222-22222222222A");
    EXPECT_EQ(a.revisions[1]->date, Date{10.5});
}

TEST(DocumentReading, RepeatedRevisionsKeyKeepsTheLastValue)
{
    const std::string text = R"({"name":"N","organization":{"positions":[]},"revisions":[)" +
                             revisionJson(uuid1, {{"positions", Json::array()}}).dump() +
                             R"(],"revisions":[]})";
    EXPECT_TRUE(OrganizationArchive::decode(text).revisions.empty());
}

TEST(DocumentWriting, NewDocumentWritesOnlyRequiredKeys)
{
    const Json written = Json::parse(OrganizationArchive::make("N", {}).encodeDocument());
    std::vector<std::string> keys;
    for (const auto &[key, value] : written.items())
        keys.push_back(key);
    EXPECT_EQ(keys, (std::vector<std::string>{"name", "organization", "revisions"}));
    EXPECT_EQ(written["revisions"], Json::array());

    OrganizationArchive withSheets = OrganizationArchive::make("N", {});
    withSheets.sheets.emplace();
    EXPECT_EQ(Json::parse(withSheets.encodeDocument())["sheets"], Json::array());
}

TEST(DocumentWriting, FullDocumentRoundTrips)
{
    const OrganizationArchive a = fullDocument();
    const std::string bytes = a.encodeDocument();
    EXPECT_EQ(OrganizationArchive::decode(bytes), a);
    EXPECT_EQ(a.encodeDocument(), bytes);
    // Laid out exactly as the pretty printer writes the whole object, keys sorted.
    EXPECT_EQ(Json::parse(bytes).dump(2), bytes);
    EXPECT_LT(bytes.find("\"groups\""), bytes.find("\"name\""));
    EXPECT_LT(bytes.find("\"planning\""), bytes.find("\"printSettings\""));
}

TEST(DocumentWriting, RefusesInvalidContent)
{
    OrganizationArchive a = fullDocument();
    a.organization.positions[0].fte = 0;
    EXPECT_EQ(errorOf([&] { a.encodeDocument(); }), "A needs a positive FTE.");

    OrganizationArchive b = fullDocument();
    b.planning->proposals.push_back(b.planning->proposals[0]);
    b.planning->proposals[1].id = uuid2;
    EXPECT_EQ(errorOf([&] { b.encodeDocument(); }), "Every proposal needs a unique, nonempty name.");

    OrganizationArchive c = archive({person("A", std::nullopt, "Bad \xff name")});
    EXPECT_EQ(errorOf([&] { c.encodeDocument(); }),
              "The document contains text that is not valid UTF-8, so it cannot be saved.");
}

TEST(PlanningJson, OptionalSnapshotKeysAndRequiredPlanningKeys)
{
    PlanningSnapshot snapshot{.name = "N", .organization = organization({person("A")})};
    const Json json = ArchiveJson::encode(snapshot);
    EXPECT_FALSE(json.contains("sheets"));
    Json withNull = json;
    withNull["sheets"] = nullptr;
    EXPECT_EQ(ArchiveJson::decodeSnapshot(withNull), snapshot);

    Json planning = ArchiveJson::encode(OrganizationPlanning{Date{1}, snapshot, true, {}});
    planning.erase("isLocked");
    EXPECT_THROW(ArchiveJson::decodePlanning(planning), JsonRead::Error);
}
