#include "archive_test_support.h"

#include "core/document/archive_json.h"
#include "core/model/organization_json.h"

#include <gtest/gtest.h>

using namespace TestDocs;
using Json = nlohmann::json;

namespace {

const std::string readFailure = "This file could not be read as an organization. ";
const std::string uuid1 = "11111111-1111-4111-8111-111111111111";
const std::string uuid2 = "22222222-2222-4222-8222-222222222222";

Json positions(std::initializer_list<Position> list)
{
    Json result = Json::array();
    for (const Position &p : list)
        result.push_back(OrganizationJson::encode(p));
    return Json{{"positions", result}};
}

Json revisionJson(const std::string &id, Json organization)
{
    return Json{{"id", id}, {"number", 1}, {"date", 10.5}, {"note", "n"}, {"name", "N"}, {"organization", organization}};
}

Json archiveJson(Json revisions = Json::array())
{
    return Json{{"name", "District"}, {"organization", positions({person("A")})}, {"revisions", std::move(revisions)}};
}

std::string decodeError(const std::string &text)
{
    return errorOf([&] { OrganizationArchive::decode(text); });
}

std::string jsonDecodeError(const Json &json) { return decodeError(json.dump()); }

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
    Position &b = a.organization.positions[1];
    b.setJobTitle("Teacher"); // equal to the pay level, yet set on purpose
    b.isAssistant = false;
    b.siblingOrder = 3;
    b.schoolAssignments = {{"North", 0.5}, {"South", 0.5}};

    OrganizationRevision r{.id = uuid1, .number = 7, .date = Date{123456.789012345}, .note = "Before deleting Teacher",
                           .name = "Old name", .organization = FrozenOrganization(organization({person("A")})),
                           .sheets = std::vector<OrganizationSheet>{}};
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

TEST(DocumentReading, BareOrganizationOpensUntitledAndIsValidated)
{
    Json json = positions({person("A")});
    json["name"] = "Lost";
    json["revisions"] = 5;
    EXPECT_EQ(OrganizationArchive::decode(json.dump()), OrganizationArchive::make("Untitled Organization", organization({person("A")})));
    EXPECT_EQ(decodeError(positions({person("A"), person("A")}).dump()), "Position IDs must be unique.");
}

// A file of positions that do not read is a broken bare organization: the error is that of
// its positions, not that of an archive it never meant to be.
TEST(DocumentReading, ABrokenBareOrganizationReportsItsPositions)
{
    Json wrongType = positions({person("A"), person("B", "A")});
    wrongType["positions"][1]["fte"] = "one";
    EXPECT_EQ(decodeError(wrongType.dump()), readFailure + "The value of \"fte\" is not a number.");
    EXPECT_EQ(decodeError(R"({"positions": [1]})"), readFailure + "The value of \"positions\" is not an object.");
    // With an organization beside them, the file is an archive, and its own error counts.
    wrongType["organization"] = positions({person("A")});
    EXPECT_EQ(decodeError(wrongType.dump()), readFailure + "No value for the key \"name\".");
}

TEST(DocumentReading, BareOrganizationOpensUntitledAndIgnoresOtherKeys)
{
    const OrganizationArchive empty = OrganizationArchive::decode(R"({"positions": []})");
    EXPECT_EQ(empty, OrganizationArchive::make("Untitled Organization", {}));

    Json json = positions({person("A")});
    json["name"] = "Lost";
    json["revisions"] = 5;
    json["sheets"] = Json::array();
    const OrganizationArchive bare = OrganizationArchive::decode(json.dump());
    EXPECT_EQ(bare.name, "Untitled Organization");
    EXPECT_EQ(bare.organization.positions.size(), 1u);
    EXPECT_FALSE(bare.sheets.has_value());
    EXPECT_TRUE(bare.revisions.empty());
}

// A bare organization is validated like a full document.
TEST(DocumentReading, BareOrganizationIsValidated)
{
    EXPECT_EQ(jsonDecodeError(positions({person("A"), person("A")})), "Position IDs must be unique.");
}

TEST(DocumentReading, UnreadablePositionsFallBackToTheArchiveForm)
{
    Json json = archiveJson();
    json["positions"] = Json::array({1});
    EXPECT_NO_THROW(OrganizationArchive::decode(json.dump()));

    // A file that holds only positions is read as a bare organization and reports its own error.
    EXPECT_EQ(jsonDecodeError(Json{{"positions", Json::array({1})}}),
              readFailure + "The value of \"positions\" is not an object.");
}

TEST(DocumentReading, RequiredAndOptionalKeys)
{
    Json noRevisions = archiveJson();
    noRevisions.erase("revisions");
    EXPECT_EQ(jsonDecodeError(noRevisions), readFailure + "No value for the key \"revisions\".");
    Json nullRevisions = archiveJson();
    nullRevisions["revisions"] = nullptr;
    EXPECT_NE(jsonDecodeError(nullRevisions), "");

    Json nulls = archiveJson();
    for (const char *key : {"planning", "sheets", "groups", "printSettings", "pageTitle", "pageSubtitle"})
        nulls[key] = nullptr;
    nulls["unknown"] = "ignored";
    const OrganizationArchive a = OrganizationArchive::decode(nulls.dump());
    EXPECT_EQ(a, OrganizationArchive::make("District", organization({person("A")})));
}

// "Café" with a precomposed letter and with a combining accent is one id.
TEST(DocumentReading, CanonicallyEquivalentIdsAreOneId)
{
    const std::string composed = "Caf\u00e9", decomposed = "Cafe\u0301";
    EXPECT_EQ(decodeError(positions({person(composed), person(decomposed)}).dump()), "Position IDs must be unique.");
    Json json{{"name", "D"}, {"revisions", Json::array()},
              {"organization", positions({person(composed), withDotted(person("B", decomposed), {decomposed})})},
              {"sheets", Json::array({ArchiveJson::encode(sheet("S", "Main", {decomposed}))})}};
    const OrganizationArchive read = OrganizationArchive::decode(json.dump());
    EXPECT_EQ(read.organization.positions[1].managerID, composed);
    EXPECT_EQ(read.organization.positions[1].dottedManagerIDs, IDs{composed});
    EXPECT_EQ(read.sheets->front().positionIDs, IDs{composed});
}

TEST(DocumentReading, MalformedInputGivesAReadableMessage)
{
    for (const char *text : {"", "{", "[1e400]", "[]", "42", R"({"name": 1})"})
        EXPECT_EQ(decodeError(text).rfind(readFailure, 0), 0u) << text << ": " << decodeError(text);
    const std::string head = R"({"name": "D", "organization": {"positions": []})";
    EXPECT_EQ(decodeError(head + "}"), readFailure + "No value for the key \"revisions\".");
    EXPECT_EQ(decodeError(head + R"(, "revisions": [{"id": "not-a-uuid", "number": 1, "date": 1, "note": "", "name": "",
                                 "organization": {"positions": []}}]})"),
              readFailure + "The value of \"id\" is not a valid UUID.");
    // A NUL byte would end the text early, and the bytes after it would go unread.
    EXPECT_EQ(decodeError(head + R"(, "revisions": []})" + std::string("\0junk", 5)),
              readFailure + "The data is not valid JSON (at byte 66).");
    EXPECT_EQ(jsonDecodeError(archiveJson(Json::array({3}))), readFailure + "The value of \"revisions\" is not an object.");
    // Also among the versions, which are read apart from the rest of the text.
    const std::string versions = archiveJson(Json::array({revisionJson(uuid1, positions({person("A")})),
                                                          revisionJson(uuid2, positions({person("A")}))}))
                                     .dump(2);
    const size_t between = versions.rfind("},\n", versions.find(uuid2)) + 2;
    const size_t inside = versions.find(uuid2) + 3;
    for (const size_t at : {between, inside}) {
        std::string text = versions;
        text[at] = '\0';
        EXPECT_EQ(decodeError(text), readFailure + "The data is not valid JSON (at byte " + std::to_string(at + 1) + ").");
    }
}

// Checks run organization, planning, versions oldest first, then version ids.
TEST(DocumentReading, ValidationOrder)
{
    const Json invalidOrg = positions({person("X", "missing")});
    const Json validOrg = positions({person("A")});

    Json twoSameIDs = archiveJson(Json::array({revisionJson(uuid1, validOrg), revisionJson(uuid1, validOrg)}));
    EXPECT_EQ(jsonDecodeError(twoSameIDs), "Version identifiers must be unique.");

    Json sameIDsAndInvalid = archiveJson(Json::array({revisionJson(uuid1, validOrg), revisionJson(uuid1, invalidOrg)}));
    EXPECT_EQ(jsonDecodeError(sameIDsAndInvalid), "X references an invalid manager: missing.");

    Json planningInvalid = sameIDsAndInvalid;
    PlanningSnapshot baseline{.name = "B", .organization = organization({person("A"), person("A")})};
    planningInvalid["planning"] = ArchiveJson::encode(OrganizationPlanning{Date{}, baseline, true, {}});
    EXPECT_EQ(jsonDecodeError(planningInvalid), "Position IDs must be unique.");

    Json currentInvalid = planningInvalid;
    currentInvalid["organization"] = positions({person("A", "A")});
    EXPECT_EQ(jsonDecodeError(currentInvalid), "A references an invalid manager: A.");
}

TEST(DocumentReading, VersionNumbersAreTakenAsTheyAre)
{
    Json revisions = Json::array({revisionJson(uuid1, positions({})), revisionJson(uuid2, positions({}))});
    revisions[0]["number"] = 5;
    revisions[1]["number"] = 5;
    revisions[1]["id"] = "22222222-2222-4222-8222-22222222222a"; // lower case reads as upper case
    const OrganizationArchive a = OrganizationArchive::decode(archiveJson(revisions).dump());
    ASSERT_EQ(a.revisions.size(), 2u);
    EXPECT_EQ(a.revisions[1]->id, "22222222-2222-4222-8222-22222222222A");
    EXPECT_EQ(a.revisions[1]->date, Date{10.5});
}

// A later, empty "revisions" would lose every saved version at the next save.
TEST(DocumentReading, RepeatedRevisionsKeyIsRefused)
{
    const std::string start = R"({"name":"N","organization":{"positions":[]},"revisions":[)" +
                              revisionJson(uuid1, positions({})).dump() + "],";
    EXPECT_EQ(decodeError(start + R"("revisions":[]})"),
              readFailure + "The key \"revisions\" appears twice in one object (at byte " +
                  std::to_string(start.size() + 1) + ").");
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
    EXPECT_EQ(Json::parse(bytes).dump(2), bytes) << "pretty printed with sorted keys";
    EXPECT_LT(bytes.find("\"groups\""), bytes.find("\"name\""));
    EXPECT_LT(bytes.find("\"planning\""), bytes.find("\"printSettings\""));
}

TEST(DocumentWriting, RefusesInvalidContent)
{
    OrganizationArchive a = archive({person("A", std::nullopt, "Bad \xff name")});
    a.organization.positions.push_back(person("B"));
    a.organization.positions[1].fte = 0;
    EXPECT_EQ(errorOf([&] { a.encodeDocument(); }), "B needs a positive FTE.");
    a.organization.positions.pop_back();
    EXPECT_EQ(errorOf([&] { a.encodeDocument(); }),
              "The document contains text that is not valid UTF-8, so it cannot be saved.");

    OrganizationArchive b = fullDocument();
    b.planning->proposals.push_back(b.planning->proposals[0]);
    b.planning->proposals[1].id = uuid2;
    EXPECT_EQ(errorOf([&] { b.encodeDocument(); }), "Every proposal needs a unique, nonempty name.");
}

TEST(DocumentEquality, EveryFieldCounts)
{
    const OrganizationArchive a = fullDocument();
    OrganizationArchive b = a;
    EXPECT_EQ(a, b);
    OrganizationRevision changed = *b.revisions[0];
    changed.date.secondsSinceReferenceDate += 1e-9;
    b.revisions[0] = changed;
    EXPECT_NE(a, b);

    OrganizationArchive absent = archive({});
    OrganizationArchive empty = absent;
    empty.sheets.emplace();
    EXPECT_NE(absent, empty);

    const std::vector<std::function<void(OrganizationArchive &)>> changes{
        [](OrganizationArchive &d) { d.name += "x"; },
        [](OrganizationArchive &d) { d.organization.positions[1].location = "Elsewhere"; },
        [](OrganizationArchive &d) { d.pageTitle.reset(); },
        [](OrganizationArchive &d) { d.pageSubtitle = "Other"; },
        [](OrganizationArchive &d) { d.sheets->front().name = "Renamed"; },
        [](OrganizationArchive &d) { d.printSettings->scalePercent = 50; },
        [](OrganizationArchive &d) { d.groups->front().name = "Trio"; },
        [](OrganizationArchive &d) { d.revisions.pop_back(); },
        [](OrganizationArchive &d) { d.planning->isLocked = true; },
        [](OrganizationArchive &d) { d.planning->lockedAt.secondsSinceReferenceDate += 1; },
        [](OrganizationArchive &d) { d.planning->proposals.front().name = "Plan B"; },
        [](OrganizationArchive &d) { d.planning->baseline.organization.positions.front().fte = 0.5; },
    };
    for (size_t i = 0; i < changes.size(); ++i) {
        OrganizationArchive c = a;
        changes[i](c);
        EXPECT_NE(a, c) << "change " << i;
        EXPECT_NE(c, a) << "change " << i;
    }
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

TEST(JsonReadParse, NumberOutOfRangeIsAReadError)
{
    EXPECT_THROW(JsonRead::parse("[1e400]"), JsonRead::Error);
    EXPECT_THROW(JsonRead::parse("{"), JsonRead::Error);
}

// Documents with many versions are read a few versions at a time on several threads; what
// comes out, and every refusal, is what reading the text in one pass gives.
TEST(DocumentReading, ManyVersionsReadAlikeWhateverTheirLayout)
{
    OrganizationArchive a = fullDocument();
    a.revisions.clear();
    for (int v = 0; v < 13; ++v) {
        a.organization.positions[size_t(v % 3)].department = "Edited [" + std::to_string(v) + "] \"{\\";
        a.checkpoint(v % 2 ? "Before \"]\" [ {" : "Note, with , commas");
    }
    const std::string pretty = a.encodeDocument();
    const OrganizationArchive read = OrganizationArchive::decode(pretty);
    EXPECT_EQ(read, a);
    EXPECT_EQ(OrganizationArchive::decode(Json::parse(pretty).dump()), a);

    Json document = Json::parse(pretty);
    // A version that does not read, deep in the list.
    Json badID = document;
    badID["revisions"][9]["id"] = "nope";
    EXPECT_EQ(jsonDecodeError(badID), readFailure + "The value of \"id\" is not a valid UUID.");
    // Versions whose organizations are invalid: the oldest one's message.
    Json invalid = document;
    invalid["revisions"][4]["organization"] = positions({person("X", "missing")});
    invalid["revisions"][8]["organization"] = positions({person("Y", "Y")});
    EXPECT_EQ(jsonDecodeError(invalid), "X references an invalid manager: missing.");
    // Broken JSON inside a version and after the list: the byte of the fault in the file.
    for (const std::string &text : {pretty.substr(0, pretty.find("\"number\"", pretty.size() / 2)) + "\"number\": tru" +
                                        pretty.substr(pretty.find("\"number\"", pretty.size() / 2) + 12),
                                    pretty.substr(0, pretty.size() - 2) + ",}"}) {
        size_t byte = 0;
        try {
            [[maybe_unused]] const Json parsed = Json::parse(text);
        } catch (const Json::parse_error &error) {
            byte = error.byte;
        }
        ASSERT_GT(byte, 0u);
        EXPECT_EQ(decodeError(text), readFailure + "The data is not valid JSON (at byte " + std::to_string(byte) + ").");
    }
    // A trailing comma in the list, and a later "revisions" spelt with an escape, as one pass reads them.
    const std::string compact = document.dump();
    const size_t listEnd = compact.rfind("]}");
    EXPECT_EQ(decodeError(compact.substr(0, compact.find("],\"sheets\"")) + ",]" +
                          compact.substr(compact.find("],\"sheets\"") + 1))
                  .rfind(readFailure, 0),
              0u);
    EXPECT_EQ(decodeError(compact.substr(0, listEnd + 1) + ",\"revi\\u0073ions\":[]}"),
              readFailure + "The key \"revisions\" appears twice in one object (at byte " +
                  std::to_string(listEnd + 3) + ").");
}
