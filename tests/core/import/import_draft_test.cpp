#include "core/import/import_draft.h"
#include "error_of.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <filesystem>
#include <fstream>

#include <unistd.h>

namespace {

ImportDraft sample()
{
    return ImportDraft{.sheet = {.name = "Staff", .rows = {{"Position ID", "Pay Level"}, {"P-\xFF", "T", "extra"}, {}}},
                       .headerRow = 0,
                       .mapping = {{ImportField::positionID, 0}, {ImportField::title, 1}, {ImportField::jobTitle, 1}},
                       .employeeReferences = false, .mode = ImportMode::update};
}

std::string refusal(std::string_view bytes)
{
    return errorOf([&] { ImportDraft::decode(bytes); });
}

// The draft above with a plain id in place of the stray byte, so that it round-trips exactly.
ImportDraft cleanSample()
{
    ImportDraft draft = sample();
    draft.sheet.rows[1][0] = "P-1";
    return draft;
}

nlohmann::json encoded(const ImportDraft &draft)
{
    return nlohmann::json::parse(draft.encode());
}

std::filesystem::path writeTemporary(const std::string &name, const std::string &bytes)
{
    // The process id keeps parallel test runs apart.
    const auto path = std::filesystem::temp_directory_path() / (std::to_string(::getpid()) + "-" + name);
    std::ofstream(path, std::ios::binary) << bytes;
    return path;
}

} // namespace

TEST(ImportDraft, RoundTripsWithCanonicalHeaders)
{
    ImportDraft draft = sample();
    draft.sheet.rows[1][0] = "P-\uFFFD"; // stray bytes in a cell do not stop the save
    EXPECT_EQ(ImportDraft::decode(sample().encode()), draft);
    draft.sheet.sourceIssues = std::vector<ImportCellIssue>{}; // an empty list stays apart from an absent one
    EXPECT_EQ(ImportDraft::decode(draft.encode()), draft);
    const nlohmann::json json = nlohmann::json::parse(sample().encode());
    EXPECT_EQ(json["mapping"], nlohmann::json::parse(R"(["Position ID",0,"Pay Level",1,"Job Title",1])"));
    EXPECT_EQ(json["mode"], "Update Matching IDs / Add New");
}

TEST(ImportDraft, ReadsTheLegacyHeaderAndRefusesMalformedDrafts)
{
    const nlohmann::json good = nlohmann::json::parse(sample().encode());
    auto with = [&](const char *key, nlohmann::json value) {
        nlohmann::json json = good;
        json[key] = std::move(value);
        return json.dump();
    };
    EXPECT_EQ(ImportDraft::decode(with("mapping", nlohmann::json::parse(R"(["Position / Title",3,"FTE",1,"FTE",2])"))).mapping,
              (ImportMapping{{ImportField::title, 3}, {ImportField::fte, 2}}));
    EXPECT_EQ(refusal(with("mapping", nlohmann::json::parse(R"(["pay level",1])"))), "Unknown import field: pay level");
    EXPECT_EQ(refusal(R"({"headerRow":1e999})"), "The data holds a number that is out of range.");
    for (const std::string &bad : {with("mapping", nlohmann::json::parse(R"(["Pay Level",1.5])")), with("mode", "Add"),
                                   with("employeeReferences", "true"), std::string("{"), sample().encode() + '\0' + "}"})
        EXPECT_NE(refusal(bad), "") << bad;
    // A column far beyond int fails the bounds rather than wrapping into them.
    EXPECT_FALSE(ImportDraft::decode(with("mapping", nlohmann::json::parse(R"(["FTE",4294967296])"))).hasUsableBounds());
}

TEST(ImportDraft, FileOfExactly50MBIsReadAndOneByteMoreIsNot)
{
    const std::string tooLarge = "Correction draft exceeds 50 MB.";
    std::string bytes = sample().encode();
    bytes.resize(ImportDraft::maximumFileSize, ' ');
    // The process id keeps parallel test runs apart.
    const auto path = std::filesystem::temp_directory_path() / (std::to_string(::getpid()) + "-draft.vantrelimport");
    std::ofstream(path, std::ios::binary) << bytes;
    EXPECT_EQ(ImportDraft::readFile(path), ImportDraft::decode(sample().encode()));

    std::ofstream(path, std::ios::binary | std::ios::app) << ' ';
    EXPECT_EQ(errorOf([&] { ImportDraft::readFile(path); }), tooLarge);
    EXPECT_EQ(refusal(bytes + " "), tooLarge);
    // A character device has no size to check beforehand.
    EXPECT_EQ(errorOf([&] { ImportDraft::readFile("/dev/zero"); }), tooLarge);

    ImportDraft outOfBounds = sample();
    outOfBounds.headerRow = 7;
    std::ofstream(path, std::ios::binary | std::ios::trunc) << outOfBounds.encode();
    EXPECT_EQ(errorOf([&] { ImportDraft::readFile(path); }), "Invalid correction draft dimensions or mapping.");
    std::filesystem::remove(path);
}

TEST(ImportDraft, RoundTripsEveryField)
{
    ImportDraft draft = cleanSample();
    EXPECT_EQ(ImportDraft::decode(draft.encode()), draft);
    draft.sheet.sourceIssues = std::vector<ImportCellIssue>{};
    draft.mapping.clear();
    EXPECT_EQ(ImportDraft::decode(draft.encode()), draft);
    EXPECT_EQ(encoded(draft)["mapping"], nlohmann::json::array());
    EXPECT_EQ(encoded(draft)["sheet"]["sourceIssues"], nlohmann::json::array());
    EXPECT_FALSE(encoded(cleanSample())["sheet"].contains("sourceIssues"));
}

TEST(ImportDraft, WritesCompactJsonWithCanonicalFieldHeaders)
{
    const std::string text = cleanSample().encode();
    EXPECT_EQ(text.find('\n'), std::string::npos);
    const nlohmann::json json = nlohmann::json::parse(text);
    EXPECT_EQ(json["mapping"], nlohmann::json::parse(R"(["Position ID",0,"Pay Level",1,"Job Title",1])"));
    EXPECT_EQ(json["mode"], "Update Matching IDs / Add New");
    EXPECT_EQ(json["employeeReferences"], false);
    EXPECT_EQ(json["headerRow"], 0);
}

TEST(ImportDraft, ReadsTheLegacyPayLevelHeaderAndLaterPairsWin)
{
    nlohmann::json json = encoded(cleanSample());
    json["mapping"] = nlohmann::json::parse(R"(["Position / Title",3,"FTE",1,"FTE",2])");
    const ImportDraft draft = ImportDraft::decode(json.dump());
    EXPECT_EQ(draft.mapping, (ImportMapping{{ImportField::title, 3}, {ImportField::fte, 2}}));
    EXPECT_EQ(encoded(draft)["mapping"], nlohmann::json::parse(R"(["Pay Level",3,"FTE",2])"));
}

TEST(ImportDraft, RefusesMalformedDrafts)
{
    const nlohmann::json good = encoded(cleanSample());
    struct Case {
        const char *label;
        nlohmann::json json;
        std::string message; // empty: any message
    };
    auto with = [&](const char *key, nlohmann::json value) {
        nlohmann::json json = good;
        json[key] = std::move(value);
        return json;
    };
    auto without = [&](const char *key) {
        nlohmann::json json = good;
        json.erase(key);
        return json;
    };
    const Case cases[] = {
        {"other letter case", with("mapping", nlohmann::json::parse(R"(["pay level",1])")), "Unknown import field: pay level"},
        {"odd length", with("mapping", nlohmann::json::parse(R"(["Pay Level"])")), ""},
        {"fractional column", with("mapping", nlohmann::json::parse(R"(["Pay Level",1.5])")), ""},
        {"column as text", with("mapping", nlohmann::json::parse(R"(["Pay Level","1"])")), ""},
        {"unknown mode", with("mode", "Add"), ""},
        {"text reference option", with("employeeReferences", "true"), ""},
        {"no sheet", without("sheet"), ""},
        {"no header row", without("headerRow"), ""},
        {"no mapping", without("mapping"), ""},
        {"no option", without("employeeReferences"), ""},
        {"no mode", without("mode"), ""},
        {"not an object", nlohmann::json::array(), ""},
    };
    for (const Case &c : cases) {
        const std::string message = refusal(c.json.dump());
        EXPECT_FALSE(message.empty()) << c.label;
        if (!c.message.empty()) {
            EXPECT_EQ(message, c.message) << c.label;
        }
    }
    EXPECT_FALSE(refusal("{").empty());
    // Well-formed JSON whose number no double can hold is refused like any malformed draft.
    EXPECT_EQ(refusal(R"({"headerRow":1e999})"), "The data holds a number that is out of range.");
}

TEST(ImportDraft, BoundsOfAUsableDraft)
{
    struct Case {
        const char *label;
        void (*change)(ImportDraft &);
        bool usable;
    };
    const Case cases[] = {
        {"as saved", [](ImportDraft &) {}, true},
        {"20,000 rows", [](ImportDraft &d) { d.sheet.rows.resize(20'000); }, true},
        {"20,001 rows", [](ImportDraft &d) { d.sheet.rows.resize(20'001); }, false},
        {"500 cells", [](ImportDraft &d) { d.sheet.rows[1].resize(500); }, true},
        {"501 cells", [](ImportDraft &d) { d.sheet.rows[1].resize(501); }, false},
        {"header on the last row", [](ImportDraft &d) { d.headerRow = 2; }, true},
        {"header past the end", [](ImportDraft &d) { d.headerRow = 3; }, false},
        {"negative header", [](ImportDraft &d) { d.headerRow = -1; }, false},
        {"empty sheet", [](ImportDraft &d) { d.sheet.rows.clear(); }, false},
        {"column 499", [](ImportDraft &d) { d.mapping[ImportField::fte] = 499; }, true},
        {"column 500", [](ImportDraft &d) { d.mapping[ImportField::fte] = 500; }, false},
        {"column -1", [](ImportDraft &d) { d.mapping[ImportField::fte] = -1; }, false},
    };
    for (const Case &c : cases) {
        ImportDraft draft = cleanSample();
        c.change(draft);
        EXPECT_EQ(draft.hasUsableBounds(), c.usable) << c.label;
    }
    // A column far beyond int still fails the bounds rather than wrapping into them.
    nlohmann::json json = encoded(cleanSample());
    json["mapping"] = nlohmann::json::parse(R"(["FTE",4294967296])");
    EXPECT_FALSE(ImportDraft::decode(json.dump()).hasUsableBounds());
}

TEST(ImportDraft, FileOfExactlyTheLimitIsReadAndOneByteMoreIsNot)
{
    std::string bytes = cleanSample().encode();
    bytes.resize(ImportDraft::maximumFileSize, ' ');
    const auto path = writeTemporary("vantrel-draft-limit.vantrelimport", bytes);
    EXPECT_EQ(ImportDraft::readFile(path), cleanSample());

    std::ofstream(path, std::ios::binary | std::ios::app) << ' ';
    try {
        ImportDraft::readFile(path);
        FAIL();
    } catch (const OrganizationError &error) {
        EXPECT_EQ(error.message(), "Correction draft exceeds 50 MB.");
    }
    std::filesystem::remove(path);
    bytes.push_back(' ');
    EXPECT_EQ(refusal(bytes), "Correction draft exceeds 50 MB.");
}

TEST(ImportDraft, EndlessSourceStopsAtTheLimit)
{
    // No size is known beforehand for a character device.
    try {
        ImportDraft::readFile("/dev/zero");
        FAIL();
    } catch (const OrganizationError &error) {
        EXPECT_EQ(error.message(), "Correction draft exceeds 50 MB.");
    }
}

TEST(ImportDraft, ReadingChecksTheBounds)
{
    ImportDraft draft = cleanSample();
    draft.headerRow = 7;
    const auto path = writeTemporary("vantrel-draft-bounds.vantrelimport", draft.encode());
    try {
        ImportDraft::readFile(path);
        FAIL();
    } catch (const OrganizationError &error) {
        EXPECT_EQ(error.message(), "Invalid correction draft dimensions or mapping.");
    }
    std::filesystem::remove(path);
    EXPECT_THROW(ImportDraft::readFile(std::filesystem::temp_directory_path() / "vantrel-no-such-draft"), OrganizationError);
}

TEST(ImportDraft, StrayBytesInCellsDoNotStopTheSave)
{
    ImportDraft draft = cleanSample();
    draft.sheet.rows[1][0] = "P-\xFF";
    EXPECT_EQ(ImportDraft::decode(draft.encode()).sheet.rows[1][0], "P-\uFFFD");
}
