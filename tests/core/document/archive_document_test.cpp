#include "archive_test_support.h"

#include "core/document/archive_json.h"
#include "core/model/organization_json.h"

#include <gtest/gtest.h>

using namespace TestDocs;
using Json = nlohmann::json;

namespace {

const std::string readFailure = "This file could not be read as an organization. ";
const std::string uuid1 = "11111111-1111-4111-8111-111111111111";

Json positions(std::initializer_list<Position> list)
{
    Json result = Json::array();
    for (const Position &p : list)
        result.push_back(OrganizationJson::encode(p));
    return Json{{"positions", result}};
}

std::string decodeError(const std::string &text)
{
    return errorOf([&] { OrganizationArchive::decode(text); });
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
}

// A document with every kind of content: versions, groups, sheets, print settings and planning.
TEST(DocumentWriting, FullDocumentRoundTrips)
{
    OrganizationArchive a = archive({person("A"), person("B", "A"), withDotted(vacancy("C", "A"), {"B"})});
    OrganizationSheet s = sheet("S1", "Central", {"A", "B", "gone"});
    s.focusedDepartmentView = false;
    s.printSettings = ChartPrintSettings::departmentDesign();
    a.sheets = std::vector{s};
    a.printSettings = ChartPrintSettings{.scalePercent = 75};
    a.groups = std::vector{PositionGroup{"group-1", "Pair", {"B", "C"}}};
    a.revisions.push_back(OrganizationRevision{.id = uuid1, .number = 7, .date = Date{123456.789012345},
                                               .organization = FrozenOrganization(organization({person("A")})),
                                               .sheets = std::vector<OrganizationSheet>{}, .groups = a.groups});
    PlanningSnapshot baseline = PlanningSnapshot::make(a);
    a.planning = OrganizationPlanning{Date{99.25}, baseline, false,
                                      {OrganizationProposal{uuid1, "Plan A", Date{100.5}, baseline}}};
    const std::string bytes = a.encodeDocument();
    EXPECT_EQ(OrganizationArchive::decode(bytes), a);
    EXPECT_EQ(Json::parse(bytes).dump(2), bytes) << "pretty printed with sorted keys";
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
}
