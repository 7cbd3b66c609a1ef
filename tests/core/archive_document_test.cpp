#include "archive_test_support.h"

#include "core/archive_json.h"
#include "core/organization_json.h"

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

Json archiveJson(Json revisions = Json::array())
{
    return Json{{"name", "District"}, {"organization", positions({person("A")})}, {"revisions", std::move(revisions)}};
}

Json revisionJson(const std::string &id, Json organization)
{
    return Json{{"id", id}, {"number", 1}, {"date", 10.5}, {"note", "n"}, {"name", "N"}, {"organization", organization}};
}

std::string decodeError(const Json &json)
{
    return errorOf([&] { OrganizationArchive::decode(json.dump()); });
}

// A document with every kind of content: versions, groups, sheets, print settings and planning.
OrganizationArchive fullDocument()
{
    OrganizationArchive a = archive({person("A"), person("B", "A"), withDotted(vacancy("C", "A"), {"B"})});
    OrganizationSheet s = sheet("S1", "Central", {"A", "B", "gone"});
    s.focusedDepartmentView = false;
    s.printSettings = ChartPrintSettings::departmentDesign();
    a.sheets = std::vector{s, sheet("S2", "Empty", {})};
    a.printSettings = ChartPrintSettings{.scalePercent = 75};
    a.groups = std::vector{PositionGroup{"group-1", "Pair", {"B", "C"}}};
    OrganizationRevision r;
    r.id = uuid1;
    r.number = 7;
    r.date = Date{123456.789012345};
    r.organization = FrozenOrganization(organization({person("A")}));
    r.sheets = std::vector<OrganizationSheet>{};
    a.revisions.push_back(r);
    r.id = uuid2;
    r.groups = a.groups;
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
    EXPECT_EQ(decodeError(positions({person("A"), person("A")})), "Position IDs must be unique.");
    // Positions that do not read as an organization make it an archive, which then lacks its name.
    EXPECT_EQ(decodeError(Json{{"positions", {1}}}), readFailure + "No value for the key \"name\".");
}

TEST(DocumentReading, MalformedInputGivesAReadableMessage)
{
    for (const char *text : {"", "{", "[1e400]", "[]", "42", R"({"name": 1})"}) {
        const std::string message = errorOf([&] { OrganizationArchive::decode(text); });
        EXPECT_EQ(message.rfind(readFailure, 0), 0u) << text << ": " << message;
    }
    Json noRevisions = archiveJson();
    noRevisions.erase("revisions");
    EXPECT_EQ(decodeError(noRevisions), readFailure + "No value for the key \"revisions\".");
    EXPECT_EQ(decodeError(archiveJson({revisionJson("not-a-uuid", positions({}))})),
              readFailure + "The value of \"id\" is not a valid UUID.");
}

// Checks run organization, planning, versions oldest first, then version ids.
TEST(DocumentReading, ValidationOrder)
{
    Json json = archiveJson({revisionJson(uuid1, positions({person("A")})), revisionJson(uuid1, positions({person("A")}))});
    EXPECT_EQ(decodeError(json), "Version identifiers must be unique.");
    json["revisions"][1] = revisionJson(uuid1, positions({person("X", "missing")}));
    EXPECT_EQ(decodeError(json), "X references an invalid manager: missing.");
    PlanningSnapshot baseline{.name = "B", .organization = organization({person("A"), person("A")})};
    json["planning"] = ArchiveJson::encode(OrganizationPlanning{Date{}, baseline, true, {}});
    EXPECT_EQ(decodeError(json), "Position IDs must be unique.");
    json["organization"] = positions({person("A", "A")});
    EXPECT_EQ(decodeError(json), "A references an invalid manager: A.");
}

TEST(DocumentWriting, FullDocumentRoundTrips)
{
    const OrganizationArchive a = fullDocument();
    const std::string bytes = a.encodeDocument();
    EXPECT_EQ(OrganizationArchive::decode(bytes), a);
    EXPECT_EQ(Json::parse(bytes).dump(2), bytes) << "pretty printed with sorted keys";
}

TEST(DocumentWriting, RefusesInvalidContent)
{
    OrganizationArchive a = fullDocument();
    a.organization.positions[0].fte = 0;
    EXPECT_EQ(errorOf([&] { a.encodeDocument(); }), "A needs a positive FTE.");
    OrganizationArchive b = archive({person("A", std::nullopt, "Bad \xff name")});
    EXPECT_EQ(errorOf([&] { b.encodeDocument(); }),
              "The document contains text that is not valid UTF-8, so it cannot be saved.");
}
