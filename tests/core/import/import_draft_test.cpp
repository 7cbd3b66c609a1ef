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
