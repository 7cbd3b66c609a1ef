// Versions are read apart, on several threads, and a position whose text is the text of the
// same position in the version before is not read again. Whatever a version's text looks
// like, the document must read exactly as in one pass: the same archive or the same message.
#include "archive_test_support.h"
#include "random_edits.h"

#include "core/document/archive_json.h"
#include "core/document/arriving_bytes.h"
#include "core/document/json_array_scan.h"
#include "core/document/version_reading.h"
#include "core/model/organization_json.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <variant>

using namespace TestDocs;
using Json = nlohmann::json;

namespace {

using Outcome = std::variant<OrganizationArchive, std::string>;

// Read apart unless asked otherwise: the documents here are too small to be read apart
// unasked.
Outcome outcome(const std::string &text, OrganizationArchive::Reading reading = OrganizationArchive::Reading::apart)
{
    try {
        return OrganizationArchive::decode(text, reading);
    } catch (const OrganizationError &error) {
        return error.message();
    }
}

std::string described(const Outcome &result)
{
    if (const std::string *message = std::get_if<std::string>(&result))
        return "refused: " + *message;
    return "read " + std::to_string(std::get<OrganizationArchive>(result).revisions.size()) + " versions";
}

std::string joined(const std::vector<std::string> &texts, const std::string &separator)
{
    std::string result;
    for (size_t i = 0; i < texts.size(); ++i)
        result += (i ? separator : "") + texts[i];
    return result;
}

// The positions of `organization` as texts, laid out in turn compact, indented and with other
// white space.
std::vector<std::string> positionTexts(const Organization &organization, int layout)
{
    std::vector<std::string> texts;
    for (size_t i = 0; i < organization.positions.size(); ++i) {
        const Json json = OrganizationJson::encode(organization.positions[i]);
        const int kind = (layout + int(i)) % 3;
        texts.push_back(kind == 0 ? json.dump() : kind == 1 ? json.dump(2) : "\t\r\n" + json.dump(1, '\t'));
    }
    return texts;
}

// A version's text with its organization written as `organizationText`.
std::string versionText(const OrganizationRevision &revision, const std::string &organizationText)
{
    std::string text = ArchiveJson::encodeWithoutOrganization(revision).dump();
    text.pop_back(); // the closing brace
    return text + ",\"organization\":" + organizationText + "}";
}

std::string plainOrganization(const std::vector<std::string> &positions)
{
    return "{\"positions\": [" + joined(positions, ", ") + "]}";
}

// The document around `versions`; in one pass when its "revisions" key is spelt with an
// escape, which the parallel reader is never sure of (white space keeps every later byte
// where it is, for the messages that give one).
std::string documentText(const OrganizationArchive &archive, const std::vector<std::string> &versions, bool onePass)
{
    OrganizationArchive rest = archive;
    rest.revisions.clear();
    const std::string text = Json::parse(rest.encodeDocument()).dump();
    const size_t list = text.find("\"revisions\":[]");
    return text.substr(0, list) + (onePass ? "\"revi\\u0073ions\":[" : "\"revisions\":     [") +
           joined(versions, ",\n") + text.substr(list + 13);
}

void expectReadAlike(const OrganizationArchive &archive, const std::vector<std::string> &versions)
{
    const Outcome apart = outcome(documentText(archive, versions, false));
    const Outcome onePass = outcome(documentText(archive, versions, true));
    EXPECT_EQ(described(apart), described(onePass));
    EXPECT_TRUE(apart == onePass);
}

OrganizationRevision revisionOf(const Organization &organization, int number)
{
    return OrganizationRevision{.id = canonicalUUID("00000000-0000-4000-8000-" + std::to_string(100000000000 + number)).value(),
                                .number = number,
                                .date = Date{double(number)},
                                .note = "Before editing [" + std::to_string(number) + "] \"{\\",
                                .name = "District",
                                .organization = FrozenOrganization(organization)};
}

// Three positions, each written compactly, and documents of two versions of them.
struct ThreePositions {
    Organization organization = TestDocs::organization({person("A"), person("B", "A"), vacancy("C", "B")});
    OrganizationArchive archive = OrganizationArchive::make("District", organization);
    std::vector<std::string> texts;

    ThreePositions()
    {
        for (const Position &position : organization.positions)
            texts.push_back(OrganizationJson::encode(position).dump());
    }

    // The document, to be read apart, with the versions numbered `first` and `second`.
    std::string document(int first, int second) const
    {
        const std::string positions = plainOrganization(texts);
        return documentText(archive,
                            {versionText(revisionOf(organization, first), positions),
                             versionText(revisionOf(organization, second), positions)},
                            false);
    }
};

} // namespace

// Histories of random edits (some leave a version invalid), with positions added, deleted,
// moved and laid out differently from one version to the next.
TEST(DocumentReading, RandomHistoriesReadAsInOnePass)
{
    for (unsigned seed : {1u, 2u, 3u, 4u}) {
        SCOPED_TRACE(seed);
        std::mt19937 random(seed);
        const OrganizationArchive document = RandomEdits::district(random, 30);
        OrganizationArchive archive = document;
        std::vector<std::string> versions;
        for (int v = 0; v < 14; ++v) {
            const OrganizationArchive unedited = archive;
            for (int edits = RandomEdits::below(random, 3); edits >= 0; --edits)
                RandomEdits::apply(archive, random);
            if (seed % 2 && !errorOf([&] { archive.organization.validate(); }).empty())
                archive = unedited; // every version valid: nothing hides a difference
            Organization organization = archive.organization;
            if (v % 5 == 3) // the order of the positions changes
                std::rotate(organization.positions.begin(), organization.positions.begin() + 1, organization.positions.end());
            const int layout = random() % 7 == 0 ? RandomEdits::below(random, 3) : 0;
            versions.push_back(versionText(revisionOf(organization, v), plainOrganization(positionTexts(organization, layout))));
        }
        expectReadAlike(document, versions);
    }
}

// One version among plain ones written in a way the reader cannot be sure of, or with a
// fault, or with positions that look alike but are not where they were.
TEST(DocumentReading, UnusualVersionsReadAsInOnePass)
{
    const Organization before = organization({person("A"), person("B", "A"), vacancy("C", "B")});
    Organization moved = before;
    std::swap(moved.positions[1], moved.positions[2]);
    const std::vector<std::string> texts = positionTexts(before, 0);
    Organization missingManager = before;
    missingManager.positions[2].managerID = "gone";
    Json badFTE = OrganizationJson::encode(before.positions[1]);
    badFTE["fte"] = "x";
    const std::string plain = plainOrganization(texts);
    const std::string positions = "\"positions\": [" + joined(texts, ",") + "]";

    const std::vector<std::pair<std::string, std::string>> cases{
        {"a decoy positions list before the real one", "{\"extra\": {\"positions\": [1, {\"a\": \"]\"}]}, " + positions + "}"},
        {"positions given twice", "{\"positions\": [], " + positions + "}"},
        {"positions spelt with an escape", "{\"positi\\u006fns\": [" + joined(texts, ",") + "]}"},
        {"positions not a list", "{\"positions\": {}}"},
        {"organization not an object", "[" + plain + "]"},
        {"no positions", "{}"},
        {"no positions at all in the list", "{\"positions\": []}"},
        {"an empty element", "{\"positions\": [," + joined(texts, ",") + "]}"},
        {"a trailing comma", "{\"positions\": [" + joined(texts, ",") + ",]}"},
        {"a position that does not read", plainOrganization({texts[0], badFTE.dump(), texts[2]})},
        {"an unknown manager in a position that changed", plainOrganization(positionTexts(missingManager, 0))},
        {"positions moved", plainOrganization(positionTexts(moved, 0))},
        {"the same positions laid out otherwise", plainOrganization(positionTexts(before, 1))},
        {"one position fewer", plainOrganization({texts[0], texts[1]})},
        {"a position more", plainOrganization({texts[0], texts[1], texts[2], texts[2]})},
    };
    for (const auto &[name, organizationText] : cases) {
        SCOPED_TRACE(name);
        std::vector<std::string> versions;
        for (int v = 0; v < 5; ++v)
            versions.push_back(versionText(revisionOf(before, v), v == 2 ? organizationText : plain));
        expectReadAlike(archive({person("A")}), versions);
    }
    // The organization given twice: the later one counts.
    std::vector<std::string> versions{versionText(revisionOf(before, 0), plain), versionText(revisionOf(before, 1), plain)};
    versions[1].insert(versions[1].find("\"organization\""), "\"organization\": {\"positions\": []},");
    expectReadAlike(archive({person("A")}), versions);
}

// The organization's positions are read apart too, a few hundred at a time.
TEST(DocumentReading, OrganizationReadsAsInOnePass)
{
    std::mt19937 random(3);
    const Organization large = RandomEdits::district(random, 1200).organization;
    const std::vector<std::string> texts = positionTexts(large, 0);
    std::vector<std::string> badPosition = texts;
    badPosition[700].replace(badPosition[700].find("\"fte\""), 6, "\"fte\":\"x\",\"_\":");
    Organization unknownManager = large;
    unknownManager.positions[900].managerID = "gone";
    const std::string positions = "\"positions\": [" + joined(texts, ",") + "]";

    const std::vector<std::pair<std::string, std::string>> cases{
        {"plain", plainOrganization(texts)},
        {"a position that does not read", plainOrganization(badPosition)},
        {"an unknown manager", plainOrganization(positionTexts(unknownManager, 1))},
        {"a decoy positions list", "{\"extra\": {\"positions\": [1, {\"a\": \"]\"}]}, " + positions + "}"},
        {"positions given twice", "{\"positions\": [], " + positions + "}"},
        {"positions spelt with an escape", "{\"positi\\u006fns\": [" + joined(texts, ",") + "]}"},
        {"positions not a list", "{\"positions\": {}}"},
        {"organization not an object", "[" + plainOrganization(texts) + "]"},
        {"no positions", "{}"},
        {"no positions at all in the list", "{\"positions\": []}"},
    };
    const Organization small = organization({person("A"), person("B", "A")});
    std::vector<std::string> versions;
    for (int v = 0; v < 3; ++v)
        versions.push_back(versionText(revisionOf(small, v), plainOrganization(positionTexts(small, v))));
    for (const auto &[name, organizationText] : cases) {
        SCOPED_TRACE(name);
        const std::string list = joined(versions, ",");
        const Outcome apart = outcome("{\"name\": \"D\", \"organization\": " + organizationText + ", \"revisions\":     [" + list + "]}");
        const Outcome onePass = outcome("{\"name\": \"D\", \"organization\": " + organizationText + ", \"revi\\u0073ions\":[" + list + "]}");
        EXPECT_EQ(described(apart), described(onePass));
        EXPECT_TRUE(apart == onePass);
    }
}

// The oldest version's positions laid out as the organization's but for indentation are
// taken from it; any other difference is read.
TEST(DocumentReading, OldestVersionReadsAsInOnePassWhateverItsIndentation)
{
    Organization current = organization({person("A"), person("B", "A", "Line\n    break"), vacancy("C", "B")});
    Organization oldest = current;
    oldest.positions[1].employee->name = "Line\n  break"; // only spaces differ, inside a string
    oldest.positions[2].department = "Other";
    const auto laidOut = [](const Organization &organization, int indent, const std::string &after) {
        std::vector<std::string> texts;
        for (const Position &position : organization.positions) {
            std::string text = OrganizationJson::encode(position).dump(indent);
            for (size_t at = text.find("\n"); at != std::string::npos; at = text.find("\n", at + 1))
                text.insert(at + 1, after);
            texts.push_back(text);
        }
        return "{\"positions\": [" + joined(texts, ",") + "]}";
    };
    const std::vector<std::pair<std::string, std::string>> layouts{
        {"indented otherwise", laidOut(oldest, 2, "      ")},
        {"indented alike", laidOut(oldest, 4, "")},
        {"tabs after line breaks", laidOut(oldest, 4, "\t")},
        {"on one line", laidOut(oldest, -1, "")},
    };
    for (const auto &[name, oldestText] : layouts) {
        SCOPED_TRACE(name);
        const std::string list = versionText(revisionOf(oldest, 0), oldestText) + ",\n" +
                                 versionText(revisionOf(current, 1), laidOut(current, 2, ""));
        const std::string text = "{\"name\": \"D\", \"organization\": " + laidOut(current, 4, "") + ", ";
        const Outcome apart = outcome(text + "\"revisions\":     [" + list + "]}");
        EXPECT_EQ(described(apart), described(outcome(text + "\"revi\\u0073ions\":[" + list + "]}")));
        ASSERT_TRUE(std::holds_alternative<OrganizationArchive>(apart));
        const OrganizationArchive &read = std::get<OrganizationArchive>(apart);
        EXPECT_EQ(read.organization, current);
        EXPECT_EQ(read.revisions[0]->organization.toOrganization(), oldest);
        EXPECT_EQ(read.revisions[1]->organization.toOrganization(), current);
    }
}

// Files as they are written are read apart, not handed to the one-pass reader: the rest of
// the text holds neither the versions nor the organization's positions.
TEST(DocumentReading, WrittenDocumentsAreReadApart)
{
    std::mt19937 random(23);
    OrganizationArchive archive = RandomEdits::district(random, 700);
    for (int v = 0; v < 6; ++v) {
        archive.organization.positions[size_t(v * 100)].location = "Moved " + std::to_string(v);
        archive.checkpoint("Before moving");
    }
    const std::string pretty = archive.encodeDocument();
    for (const std::string &text : {pretty, Json::parse(pretty).dump()}) {
        ArrivingBytes bytes{std::string_view(text)};
        VersionReading::Spans readApart;
        const std::optional<VersionReading::Versions> versions = VersionReading::read(bytes, [&](const VersionReading::Spans &spans) {
            readApart = spans;
            return true;
        });
        ASSERT_TRUE(versions);
        EXPECT_EQ(versions->revisions, archive.revisions);
        EXPECT_EQ(versions->organization, archive.organization);
        EXPECT_FALSE(versions->invalidOrganization);
        std::string rest;
        size_t from = 0;
        for (const auto &[open, close] : readApart) {
            rest += text.substr(from, open + 1 - from);
            from = close;
        }
        const Json parsed = Json::parse(rest + text.substr(from));
        EXPECT_EQ(parsed["revisions"], Json::array());
        EXPECT_EQ(parsed["organization"]["positions"], Json::array());
        EXPECT_EQ(parsed["name"], archive.name);
    }
}

// An invalid version among valid ones whose positions are not read again: its message, and
// the oldest invalid version's message when there are several.
TEST(DocumentReading, InvalidVersionsAmongUnchangedPositions)
{
    Organization organization = RandomEdits::district(*std::make_unique<std::mt19937>(7), 50).organization;
    OrganizationArchive document = OrganizationArchive::make("District", organization);
    std::vector<std::string> versions;
    for (int v = 0; v < 9; ++v) {
        Organization version = organization;
        if (v == 4 || v == 6)
            version.positions[size_t(10 + v)].managerID = version.positions[size_t(10 + v)].id; // reports to itself
        versions.push_back(versionText(revisionOf(version, v), plainOrganization(positionTexts(version, 0))));
    }
    const Outcome read = outcome(documentText(document, versions, false));
    ASSERT_TRUE(std::holds_alternative<std::string>(read));
    EXPECT_EQ(std::get<std::string>(read), std::get<std::string>(outcome(documentText(document, versions, true))));
    expectReadAlike(document, versions);
}

// A NUL byte or a byte-order mark among the versions and positions read apart: the one-pass
// reader refuses the text at that byte, and so must every piece read apart, rather than stop
// reading a piece at the NUL (losing what follows it) or skip the mark.
TEST(DocumentReading, NulsAndByteOrderMarksRefusedAsInOnePass)
{
    const ThreePositions three;
    const std::vector<std::string> &texts = three.texts;
    const std::string text = three.document(1, 2);
    const std::string sameIDs = three.document(1, 1);
    const std::string bom = "\xEF\xBB\xBF";
    const std::string nul(1, '\0');
    const size_t organizationSecond = text.find(texts[1]); // the top-level organization comes first
    const size_t secondVersion = text.find("{\"date\":2");
    const size_t inSecondVersion = text.find(texts[1], secondVersion);
    ASSERT_LT(organizationSecond, text.find("\"revisions\""));
    ASSERT_NE(inSecondVersion, std::string::npos);
    struct Case {
        const char *name;
        std::string text;
        size_t at; // the offset of the fault
    };
    const auto replaced = [](std::string from, size_t at, const std::string &with) { return from.replace(at, 1, with); };
    const auto inserted = [](std::string into, size_t at, const std::string &what) { return into.insert(at, what); };
    const std::vector<Case> cases{
        {"NUL for the comma between positions", replaced(text, organizationSecond - 1, nul), organizationSecond - 1},
        {"NUL for the comma between versions", replaced(text, secondVersion - 2, nul), secondVersion - 2},
        {"NUL for the comma in a version", replaced(text, inSecondVersion - 2, nul), inSecondVersion - 2},
        {"NUL and brackets after a position", inserted(text, inSecondVersion - 2, nul + "{\"x\": [1]}"), inSecondVersion - 2},
        {"NUL and brackets after a version", inserted(text, secondVersion - 2, nul + "[{}]"), secondVersion - 2},
        {"mark before a position", inserted(text, organizationSecond, bom), organizationSecond},
        {"mark before a version", inserted(text, secondVersion, bom), secondVersion},
        {"mark before a position in a version", inserted(text, inSecondVersion, bom), inSecondVersion},
        {"mark among versions of one id", inserted(sameIDs, sameIDs.find(texts[1], sameIDs.find("\"revisions\"")), bom),
         sameIDs.find(texts[1], sameIDs.find("\"revisions\""))},
    };
    for (const Case &fault : cases) {
        SCOPED_TRACE(fault.name);
        const Outcome onePass = outcome(fault.text, OrganizationArchive::Reading::onePass);
        EXPECT_EQ(described(onePass), "refused: This file could not be read as an organization. The data is not valid "
                                      "JSON (at byte " + std::to_string(fault.at + 1) + ").");
        EXPECT_EQ(described(outcome(fault.text)), described(onePass));
    }
}

// An object that repeats a key would keep the last value: a second, empty "revisions" would
// drop every saved version at the next save. Both readers refuse it wherever it lies, with
// the key and the byte where it comes again; a key spelt with an escape is the same key.
TEST(DocumentReading, RepeatedKeysRefusedInBothReaders)
{
    const ThreePositions three;
    const std::vector<std::string> &texts = three.texts;
    const std::string text = three.document(1, 2);
    ASSERT_EQ(described(outcome(text)), "read 2 versions");
    const size_t organizationSecond = text.find(texts[1]) + texts[1].size() - 1; // its closing brace
    const size_t secondVersion = text.find("{\"date\":2");
    const size_t inSecondVersion = text.find(texts[1], secondVersion) + texts[1].size() - 1;
    const size_t end = text.size() - 1;
    const std::string longKey(100, 'k');
    struct Case {
        const char *name;
        std::string text;
        std::string key; // as the message shows it
        size_t at;       // the offset of the repeated key's quote
    };
    const auto inserted = [](std::string into, size_t at, const std::string &what) { return into.insert(at, what); };
    const std::vector<Case> cases{
        {"a second, empty list of versions", inserted(text, end, ", \"revisions\": []"), "revisions", end + 2},
        {"versions spelt with an escape", inserted(text, end, ",\"revi\\u0073ions\":[]"), "revisions", end + 1},
        {"a key of the archive nobody reads", inserted(text, 1, "\"x\": 1, \"x\": [2], "), "x", 9},
        {"a key of a position", inserted(text, organizationSecond, ",\"id\":\"Z\""), "id", organizationSecond + 1},
        {"a key of a position in a version", inserted(text, inSecondVersion, ",\"title\":\"Z\""), "title",
         inSecondVersion + 1},
        {"a key of a version", inserted(text, secondVersion + 1, "\"note\": \"x\"  ,  \"note\": \"y\","), "note",
         secondVersion + 17},
        {"a long key", inserted(text, 1, "\"" + longKey + "\": 1, \"" + longKey + "\": 1, "), std::string(60, 'k') + "\u2026",
         108},
        {"the positions of a bare organization", "{\"positions\": [], \"positions\": [" + texts[0] + "]}", "positions", 18},
    };
    for (const Case &fault : cases) {
        SCOPED_TRACE(fault.name);
        const std::string expected = "refused: This file could not be read as an organization. The key \"" + fault.key +
                                     "\" appears twice in one object (at byte " + std::to_string(fault.at + 1) + ").";
        EXPECT_EQ(described(outcome(fault.text, OrganizationArchive::Reading::onePass)), expected);
        EXPECT_EQ(described(outcome(fault.text)), expected);
    }
    // Every reader of outside JSON refuses them alike.
    const auto parseError = [](const std::string &json) {
        try {
            JsonRead::parse(json);
        } catch (const JsonRead::Error &error) {
            return std::string(error.what());
        }
        return std::string();
    };
    EXPECT_EQ(parseError(R"({"a": [{"b": 1, "b": 1}]})"), "The key \"b\" appears twice in one object (at byte 17).");
    EXPECT_EQ(parseError("[1e400]"), "The data holds a number that is out of range.");
}

namespace {

// A random JSON value with long and short strings full of brackets and quotes, nested
// objects and lists: the scan looks at many bytes at a time, and strings cross its blocks.
Json randomValue(std::mt19937 &random, int depth)
{
    // Mostly pieces written as they are; now and then one written with a backslash.
    static const std::vector<std::string> pieces{"[", "]", "{", "}", ",", ":", " ", "ab", "é", "\"", "\\", "\n"};
    switch (depth > 3 ? random() % 3 : random() % 6) {
    case 0: return int(random() % 1000);
    case 1:
    case 2: {
        std::string text;
        for (int n = RandomEdits::below(random, random() % 4 ? 12 : 90); n > 0; --n)
            text += pieces[size_t(RandomEdits::below(random, random() % 40 ? 9 : pieces.size()))];
        return text;
    }
    case 3:
    case 4: {
        Json object = Json::object();
        for (int n = RandomEdits::below(random, 5); n > 0; --n)
            object["key" + std::to_string(random() % 50) + "[\"]"] = randomValue(random, depth + 1);
        return object;
    }
    default: {
        Json list = Json::array();
        for (int n = RandomEdits::below(random, 5); n > 0; --n)
            list.push_back(randomValue(random, depth + 1));
        return list;
    }
    }
}

} // namespace

// Whatever the strings and nesting around and inside its elements, the array is found and
// each element found is one element of the list.
TEST(DocumentReading, ArrayFoundInRandomText)
{
    std::mt19937 random(17);
    for (int round = 0; round < 300; ++round) {
        Json document{{"before", randomValue(random, 0)}, {"list", Json::array()}, {"z", randomValue(random, 0)}};
        for (int n = RandomEdits::below(random, 8); n > 0; --n)
            document["list"].push_back(randomValue(random, 1));
        const std::string text = document.dump(round % 3 == 0 ? -1 : round % 3);
        const std::optional<JsonArrayScan::ArraySpans> found = JsonArrayScan::findArray(text, {"list"});
        ASSERT_TRUE(found) << text;
        ASSERT_EQ(found->elements.size(), document["list"].size()) << text;
        for (size_t i = 0; i < found->elements.size(); ++i)
            EXPECT_EQ(Json::parse(found->elements[i]), document["list"][i]) << text;
    }
}

// The array a path names, found by following strings and brackets only.
TEST(DocumentReading, ArrayFoundThroughStringsAndBrackets)
{
    const std::string text = R"( {"a": "\"[\\", "b": {"c": [1]}, "c": [ {"x": "]\\\""} , [2, "," ] ,3 ] } )";
    const std::optional<JsonArrayScan::ArraySpans> found = JsonArrayScan::findArray(text, {"c"});
    ASSERT_TRUE(found);
    EXPECT_EQ(text[found->open], '[');
    EXPECT_EQ(text[found->close], ']');
    EXPECT_EQ(found->elements, (std::vector<std::string_view>{R"({"x": "]\\\""})", R"([2, "," ])", "3"}));
    const std::optional<JsonArrayScan::ArraySpans> nested = JsonArrayScan::findArray(text, {"b", "c"});
    ASSERT_TRUE(nested);
    EXPECT_EQ(nested->elements, std::vector<std::string_view>{"1"});
    EXPECT_FALSE(JsonArrayScan::findArray(text, {"a"}));
    EXPECT_FALSE(JsonArrayScan::findArray(text, {"b", "d"}));
    EXPECT_FALSE(JsonArrayScan::findArray(R"({"c": [1], "c": [2]})", {"c"}));
    EXPECT_FALSE(JsonArrayScan::findArray(R"({"c": [1]} {})", {"c"}));
    EXPECT_FALSE(JsonArrayScan::findArray(R"({"c": [1, "])", {"c"}));
    EXPECT_FALSE(JsonArrayScan::findArray(R"({"\u0063": [1]})", {"c"}));
}

// Closing brackets of the wrong kind around the arrays leave the scan unsure: no element is
// handed out that was never opened.
TEST(DocumentReading, MismatchedBracketsFindNothing)
{
    for (const std::string text : {R"({"c": [1, }, "d": 2})", R"({"c": [1, {"x": 2}, }})", R"({"c": [1}})",
                                   R"({"b": {"c": [1] ], "d": 2})", R"({"b": {"c": [1]}])", R"({"c": [], "d": 1])"}) {
        std::vector<std::string_view> handed;
        const auto found = JsonArrayScan::findArrays(text, nullptr, {{"c"}, {"b", "c"}},
                                                     [&](size_t, std::optional<std::string_view> element) {
                                                         if (element)
                                                             handed.push_back(*element);
                                                     });
        EXPECT_FALSE(found) << text;
        for (std::string_view element : handed) {
            EXPECT_GE(element.data(), text.data()) << text;
            EXPECT_LE(element.data() + element.size(), text.data() + text.size()) << text;
            EXPECT_FALSE(element.empty()) << text;
        }
    }
}

// A document decoded while its bytes still arrive, a few at a time, reads as the whole text
// does; when reading them fails, decoding gives up wherever it is.
TEST(DocumentReading, BytesReadAsTheyArrive)
{
    std::mt19937 random(11);
    const OrganizationArchive document = RandomEdits::district(random, 40);
    OrganizationArchive archive = document;
    std::vector<std::string> versions;
    for (int v = 0; v < 8; ++v) {
        RandomEdits::apply(archive, random);
        versions.push_back(versionText(revisionOf(archive.organization, v), plainOrganization(positionTexts(archive.organization, v))));
    }
    const std::string valid = documentText(document, versions, false);
    const std::string broken = valid.substr(0, valid.size() / 2) + "[" + valid.substr(valid.size() / 2);
    // White space after the document makes room large enough to be made ready ahead.
    for (const std::string &text : {valid, broken, std::string(valid.size() / 3, ' '), valid + std::string(20 << 20, ' ')}) {
        for (const size_t stop : {text.size() / 4, text.size(), std::string::npos}) {
            ArrivingBytes bytes(text.size());
            std::jthread feeder([&] {
                std::mt19937 sizes(5);
                size_t sent = 0;
                while (bytes.room() > 0 && sent < stop) {
                    const size_t count = std::min<size_t>(bytes.room(), 1 + sizes() % (text.size() > (1 << 20) ? 70000 : 700));
                    std::copy_n(text.data() + sent, count, bytes.next());
                    bytes.arrived(count);
                    sent += count;
                }
                if (stop == std::string::npos)
                    bytes.finish();
                else
                    bytes.abandon();
            });
            if (stop != std::string::npos) {
                // A fault among the bytes that arrived may be found before reading fails.
                try {
                    OrganizationArchive::decode(bytes);
                    ADD_FAILURE() << "read although reading failed";
                } catch (const ArrivingBytes::Abandoned &) {
                } catch (const OrganizationError &error) {
                    EXPECT_TRUE(text == broken && stop == text.size()) << error.message();
                    EXPECT_EQ("refused: " + error.message(), described(outcome(text)));
                }
                continue;
            }
            Outcome arrived;
            try {
                arrived = OrganizationArchive::decode(bytes);
            } catch (const OrganizationError &error) {
                arrived = error.message();
            }
            EXPECT_EQ(described(arrived), described(outcome(text)));
            EXPECT_TRUE(arrived == outcome(text));
        }
    }
}

// Which reader a document's size gets: helper threads from the size where they gain about
// what they cost (bench/ BM_DecodeBySize), so a history of a few hundred positions, 300 KB,
// is read apart, and a few dozen positions in one pass. Decoding makes that choice: a
// document one byte short of the size is read in one pass, one of the size apart.
TEST(DocumentReading, AutomaticReadingBySize)
{
    using Reading = OrganizationArchive::Reading;
    const size_t from = OrganizationArchive::apartFromBytes;
    EXPECT_EQ(OrganizationArchive::automaticReading(0), Reading::onePass);
    EXPECT_EQ(OrganizationArchive::automaticReading(36'000), Reading::onePass);
    EXPECT_EQ(OrganizationArchive::automaticReading(from - 1), Reading::onePass);
    EXPECT_EQ(OrganizationArchive::automaticReading(from), Reading::apart);
    EXPECT_EQ(OrganizationArchive::automaticReading(300'000), Reading::apart);

    std::mt19937 random(13);
    OrganizationArchive archive = RandomEdits::district(random, 40);
    archive.checkpoint("Before");
    archive.checkpoint("Before");
    const std::string text = archive.encodeDocument();
    ASSERT_LT(text.size(), from - 1);
    for (const size_t size : {from - 1, from}) {
        SCOPED_TRACE(size);
        const std::string padded = text + std::string(size - text.size(), '\n');
        Reading readWith = Reading::automatic;
        EXPECT_EQ(OrganizationArchive::decode(padded, Reading::automatic, &readWith), archive);
        EXPECT_EQ(readWith, size < from ? Reading::onePass : Reading::apart);
    }
}

// Whatever follows a whole document, the first byte that is not white space ends the read
// with the one-pass reader's message, placed where it places it: after the pieces read
// apart have read, or at a fault among them or in the rest of the text, which comes first.
TEST(DocumentReading, WhatFollowsTheDocumentIsRefusedAsInOnePass)
{
    const ThreePositions three;
    const std::string text = three.document(1, 2);
    const size_t secondVersion = text.find("{\"date\":2");
    const auto replaced = [](std::string from, const std::string &what, const std::string &with, size_t after = 0) {
        return from.replace(from.find(what, after), what.size(), with);
    };
    const std::vector<std::string> documents{
        text,
        replaced(text, "\"name\":\"District\"", "\"name\":tru"),                // a fault in the rest
        replaced(text, "\"number\":2", "\"number\":2x", secondVersion),            // a fault in a version
        replaced(text, "\"number\":2", "\"number\":\"2\"", secondVersion),        // a version that does not decode
        replaced(text, "\"revisions\":", "\"x\": 1, \"x\": 2, \"revisions\":"), // a key given twice in the rest
    };
    const std::string nul(1, '\0');
    for (const std::string &document : documents) {
        for (const std::string &after : {nul, "  " + nul + nul, std::string("x"), std::string(" \"abc\""),
                                         std::string("\n{}"), std::string("1e400"), std::string("]"), std::string(" tru")}) {
            SCOPED_TRACE(document + after);
            const Outcome onePass = outcome(document + after, OrganizationArchive::Reading::onePass);
            EXPECT_EQ(described(outcome(document + after)), described(onePass));
            EXPECT_EQ(described(onePass).rfind("refused: ", 0), 0u);
        }
    }
    EXPECT_EQ(described(outcome(text + "  " + nul)), "refused: This file could not be read as an organization. The "
                                                     "data is not valid JSON (at byte " + std::to_string(text.size() + 3) + ").");
}

// A document followed by a file's worth of NULs, as a crash or a preallocating tool leaves
// one, is refused at the first NUL while the bytes after it are read only a little ahead.
TEST(DocumentReading, NulsAfterTheDocumentAreNotReadThrough)
{
    const std::string text = ThreePositions().document(1, 2);
    const size_t nuls = size_t(64) << 20;
    ArrivingBytes bytes(text.size() + nuls);
    std::copy(text.begin(), text.end(), bytes.next());
    std::atomic<size_t> put = 0;
    std::jthread feeder([&] {
        bytes.arrived(text.size());
        while (bytes.room() > 0 && bytes.isWanted()) {
            const size_t count = std::min<size_t>(bytes.room(), 1 << 20);
            std::fill_n(bytes.next(), count, '\0');
            bytes.arrived(count);
            put += count;
        }
        bytes.finish();
    });
    std::string message;
    try {
        OrganizationArchive::decode(bytes);
    } catch (const OrganizationError &error) {
        message = error.message();
    }
    feeder.join();
    EXPECT_EQ(message, "This file could not be read as an organization. The data is not valid JSON (at byte " +
                           std::to_string(text.size() + 1) + ").");
    EXPECT_LE(put, ArrivingBytes::readAhead + (1 << 20));
}

// A text that cannot be a document is refused from its first bytes: a large file is not
// read whole first. The feeder sends the rest only if decoding waits for it. NUL bytes, at
// the top, in a string, in a value nobody looks into (many at once) and among elements, end
// the text there, as a file of NULs after one brace must.
TEST(DocumentReading, RefusedBeforeTheRestArrives)
{
    const std::string nuls(200, '\0');
    const std::string inValue = "{\"revisions\": [{\"a\": [";
    const std::string inList = "{\"organization\": {\"positions\": [";
    const std::vector<std::pair<std::string, size_t>> starts{
        {"not JSON at all", 2},
        {"[1, 2, x", 8},
        {"\xEF\xBB\xBF" "nope", 5},
        {"  42, and more", 5},
        {"{" + nuls, 2},
        {"{\"revisions\": [{\"a\": \"" + std::string(40, 'x') + nuls, 63},
        {inValue + nuls, inValue.size() + 1},
        {inList + nuls, inList.size() + 1}};
    for (const auto &[start, byte] : starts) {
        SCOPED_TRACE(start);
        ArrivingBytes bytes(start.size() + (8 << 20)); // large enough to be read apart
        std::copy(start.begin(), start.end(), bytes.next());
        bytes.arrived(start.size());
        std::atomic<bool> refused = false;
        std::atomic<bool> waitedForTheRest = false;
        std::jthread feeder([&] {
            for (int i = 0; i < 1000 && !refused; ++i)
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
            waitedForTheRest = !refused;
            std::fill_n(bytes.next(), bytes.room(), ' ');
            bytes.arrived(bytes.room());
            bytes.finish();
        });
        std::string message;
        try {
            OrganizationArchive::decode(bytes);
        } catch (const OrganizationError &error) {
            message = error.message();
        }
        refused = true;
        feeder.join();
        EXPECT_FALSE(waitedForTheRest);
        EXPECT_EQ(message, "This file could not be read as an organization. The data is not valid JSON (at byte " +
                               std::to_string(byte) + ").");
    }
}

// A text that stops short, as a file cut while it is read, is reported at its last byte,
// not at the byte after it, nor at a byte read before the cut.
TEST(DocumentReading, ACutShortTextIsReportedAtItsEnd)
{
    std::mt19937 random(3);
    OrganizationArchive archive = RandomEdits::district(random, 20);
    archive.checkpoint("Before");
    archive.checkpoint("Before");
    const std::string text = archive.encodeDocument();
    for (const size_t kept : {size_t(1), text.size() / 3, text.size() - 1}) {
        SCOPED_TRACE(kept);
        ArrivingBytes bytes(text.size() + 1);
        std::copy_n(text.data(), kept, bytes.next());
        bytes.arrived(kept);
        bytes.finish();
        const std::string expected = "refused: This file could not be read as an organization. The data is not valid "
                                     "JSON (at byte " + std::to_string(kept) + ").";
        Outcome read;
        try {
            read = OrganizationArchive::decode(bytes);
        } catch (const OrganizationError &error) {
            read = error.message();
        }
        EXPECT_EQ(described(read), expected);
        EXPECT_EQ(described(outcome(text.substr(0, kept))), expected);
        EXPECT_EQ(described(outcome(text.substr(0, kept), OrganizationArchive::Reading::onePass)), expected);

        // The file was cut to `kept` bytes after more had been read: its end is still the end.
        for (const auto reading : {OrganizationArchive::Reading::apart, OrganizationArchive::Reading::onePass}) {
            const size_t arrived = std::min(text.size() - 1, kept + text.size() / 2);
            ArrivingBytes readBeforeTheCut(text.size() + 1);
            std::copy_n(text.data(), arrived, readBeforeTheCut.next());
            readBeforeTheCut.arrived(arrived);
            readBeforeTheCut.finish(kept);
            try {
                read = OrganizationArchive::decode(readBeforeTheCut, reading);
            } catch (const OrganizationError &error) {
                read = error.message();
            }
            EXPECT_EQ(described(read), expected);
        }
    }
}
