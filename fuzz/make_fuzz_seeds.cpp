// Writes seed inputs for the fuzz harnesses with the program's own writers, so that fuzzing
// starts from documents, drafts and workbooks as the program makes them.
// Usage: make_fuzz_seeds <folder>; one subfolder per harness.
#include "core/document/organization_archive.h"
#include "core/import/column_mapping.h"
#include "core/import/import_draft.h"
#include "core/import/import_json.h"
#include "core/model/organization.h"
#include "core/support/organization_error.h"
#include "core/update/update_feed.h"

#ifdef VANTREL_SEEDS_WITH_WORKBOOKS
#include "spreadsheet/organization_workbook.h"
#endif

#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

void write(const fs::path &folder, const std::string &name, const std::string &bytes)
{
    fs::create_directories(folder);
    std::ofstream out(folder / name, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), std::streamsize(bytes.size()));
    out.close();
    if (!out)
        throw std::runtime_error("could not write " + (folder / name).string());
}

// The sample district with a chart, a group, saved versions and a proposal: every part a
// document can hold.
OrganizationArchive richArchive()
{
    OrganizationArchive archive = OrganizationArchive::make("Seed District", Organization::example());
    std::vector<std::string> ids;
    for (const Position &position : archive.organization.positions)
        ids.push_back(position.id);
    OrganizationSheet sheet = OrganizationSheet::make("Leadership", {ids.begin(), ids.begin() + 3});
    sheet.pageSubtitle = "Seed";
    archive.sheets = std::vector<OrganizationSheet>{sheet};
    archive.pageTitle = "Seed District";
    archive.addGroup("Pair", {ids[1], ids[2]});
    archive.checkpoint("Before seeding");
    archive.makePositionVacant(ids.back());
    archive.lockForPlanning();
    const std::string proposal = archive.createProposal("Option A");
    archive.makeProposalPositionVacant(ids[1], proposal);
    return archive;
}

std::string csvCell(const std::string &cell)
{
    if (cell.find_first_of(",\"\n\r") == std::string::npos)
        return cell;
    std::string quoted = "\"";
    for (char c : cell) {
        quoted += c;
        if (c == '"')
            quoted += '"';
    }
    return quoted + '"';
}

std::string delimited(const ImportSheet &sheet, char separator)
{
    std::string text;
    for (const std::vector<std::string> &row : sheet.rows) {
        for (size_t i = 0; i < row.size(); ++i) {
            if (i)
                text += separator;
            text += separator == ',' ? csvCell(row[i]) : row[i];
        }
        text += "\r\n";
    }
    return text;
}

// The workbook tabs of the archive as the import reads them back.
std::vector<ImportSheet> tabsOf(const OrganizationArchive &archive)
{
#ifdef VANTREL_SEEDS_WITH_WORKBOOKS
    return OrganizationWorkbook::tabs(archive, std::nullopt);
#else
    ImportSheet sheet{.name = "Staff", .rows = {{"Position ID", "Name", "Pay Level", "Manager Position ID"}}};
    for (const Position &position : archive.organization.positions)
        sheet.rows.push_back({position.id, position.employee ? position.employee->name : "", position.title,
                              position.managerID.value_or("")});
    return {sheet};
#endif
}

// Documents with versions, as written and with the faults that once read differently apart
// and in one pass: a NUL byte for a comma, a NUL followed by more text, a byte-order mark in
// front of a version or a position; and keys repeated at the top, in a position and in a
// version, and a run of NULs.
void writeReaderSeeds(const fs::path &folder)
{
    OrganizationArchive archive = OrganizationArchive::make("Seed District", Organization::example());
    for (int v = 0; v < 3; ++v) {
        archive.organization.positions[size_t(v)].location = "Moved " + std::to_string(v);
        archive.checkpoint("Before moving");
    }
    const std::string text = archive.encodeDocument();
    write(folder, "written.json", text);
    const size_t organization = text.find("\"positions\"");
    const size_t versions = text.find("\"revisions\"");
    const size_t betweenPositions = text.find("},", organization) + 1;
    const size_t betweenVersions = text.find("\n    },\n", versions) + 6; // the comma
    const size_t inVersion = text.find("},", text.find("\"positions\"", versions)) + 1;
    const std::string nul(1, '\0');
    const std::string bom = "\xEF\xBB\xBF";
    const auto replaced = [&](size_t at, const std::string &with) { return std::string(text).replace(at, 1, with); };
    const auto inserted = [&](size_t at, const std::string &what) { return std::string(text).insert(at, what); };
    write(folder, "nul_between_positions.json", replaced(betweenPositions, nul));
    write(folder, "nul_between_versions.json", replaced(betweenVersions, nul));
    write(folder, "nul_in_version.json", replaced(inVersion, nul));
    write(folder, "nul_then_brackets.json", inserted(inVersion, nul + "{\"x\": [1]}"));
    write(folder, "mark_before_version.json", inserted(betweenVersions + 1, bom));
    write(folder, "mark_before_position.json", inserted(betweenPositions + 1, bom));
    write(folder, "mark_in_version.json", inserted(inVersion + 1, bom));
    write(folder, "repeated_revisions.json", inserted(text.rfind('}'), ", \"revisions\": []"));
    write(folder, "repeated_key_in_position.json", inserted(betweenPositions - 1, ", \"id\": \"Z\""));
    write(folder, "repeated_key_in_version.json", inserted(inVersion - 1, ", \"title\": \"Z\""));
    write(folder, "nuls_in_version.json", inserted(inVersion + 1, std::string(100, '\0')));
}

void writeSeeds(const fs::path &root)
{
    const OrganizationArchive archive = richArchive();
    write(root / "archive_decode_fuzz", "written_document.json", archive.encodeDocument());
    write(root / "json_parser_fuzz", "written_document.json", archive.encodeDocument());
    write(root / "archive_decode_fuzz", "written_organization.json",
          OrganizationArchive::make("Bare", Organization::example()).encodeDocument());

    writeReaderSeeds(root / "archive_readers_fuzz");

    const std::vector<ImportSheet> tabs = tabsOf(archive);
    for (size_t i = 0; i < tabs.size(); ++i) {
        const ImportSheet &tab = tabs[i];
        const std::string name = "tab" + std::to_string(i);
        write(root / "delimited_text_fuzz", name + ".csv", delimited(tab, ','));
        write(root / "quick_entry_paste_fuzz", name + ".tsv", delimited(tab, '\t'));
        // Options byte (add mode, position ids), header row 0.
        write(root / "import_review_fuzz", name + ".bin", std::string("\x00\x01", 2) + delimited(tab, ','));
        write(root / "import_review_fuzz", name + "_numbers.bin", std::string("\x05\x01", 2) + delimited(tab, ','));

        ImportDraft draft{.sheet = tab, .headerRow = 0};
        draft.mapping = TabularImport::suggestedMapping(TabularImport::headerCells(tab, 0));
        draft.mode = ImportMode::update;
        write(root / "correction_draft_fuzz", name + ".vantrelimport", draft.encode());
    }

    // The .xls harness reads the library's answer: "J" and the sheets' JSON.
    JsonRead::Json answer = JsonRead::Json::array();
    for (const ImportSheet &tab : tabs)
        answer.push_back(ImportJson::encode(tab));
    write(root / "spreadsheet_xls_fuzz", "answer_sheets.bin", "J" + answer.dump());
    write(root / "spreadsheet_xls_fuzz", "answer_error.bin", "EError: Unsupported file");

    // The feed harness signs its input itself: a manifest as the release tooling writes it.
    const UpdateManifest manifest{.product = "Vantrel", .version = "1.2.0", .build = 42, .notes = "Fixes.",
                                  .pubDate = "2026-12-01T00:00:00Z",
                                  .downloadURL = "https://updates.vantrel.org/vantrel_1.2.0-42_amd64.deb",
                                  .sha256 = std::string(64, 'a'), .size = 1'000'000};
    write(root / "update_feed_fuzz", "written_manifest.json", manifest.encode().dump());

#ifdef VANTREL_SEEDS_WITH_WORKBOOKS
    // From 5 on, the .xlsx harness takes the rest of its input as the whole file.
    const QByteArray workbook = OrganizationWorkbook::write(archive);
    write(root / "spreadsheet_xlsx_fuzz", "exported_workbook.bin",
          "\x05" + std::string(workbook.constData(), size_t(workbook.size())));
#endif
}

} // namespace

int main(int argc, char **argv)
{
    if (argc != 2) {
        std::cerr << "usage: make_fuzz_seeds <folder>\n";
        return 2;
    }
    try {
        writeSeeds(argv[1]);
    } catch (const std::exception &error) {
        std::cerr << "make_fuzz_seeds: " << error.what() << '\n';
        return 1;
    }
    return 0;
}
