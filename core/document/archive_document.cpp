// Reading and writing the document file. A long history makes a large file (every version
// is a full copy of the organization), so versions are read on several threads (see
// version_reading.h) and written one at a time, and a position shared by many versions is
// turned into text once.
#include "core/document/organization_archive.h"

#include "core/document/archive_json.h"
#include "core/document/arriving_bytes.h"
#include "core/document/version_reading.h"
#include "core/model/organization_json.h"
#include "core/support/json_read_parser.h"
#include "core/support/strict_json_builder.h"

#include <algorithm>
#include <iterator>
#include <unordered_map>
#include <variant>
#include <unordered_set>

using Json = nlohmann::json;

namespace {

// Versions are decoded and frozen as the parser finishes each one. Failures are kept until
// the reader reaches the place where they count, because a bare organization ignores every
// other key.
struct RevisionCollector {
    std::vector<Shared<OrganizationRevision>> revisions;
    std::optional<std::string> readError;
    std::optional<std::string> invalidOrganization; // the oldest version's validation failure

    void add(const Json &element)
    {
        if (readError)
            return;
        auto inspect = [this](const Organization &organization) {
            if (invalidOrganization)
                return;
            try {
                organization.validate();
            } catch (const OrganizationError &error) {
                invalidOrganization = error.message();
            }
        };
        try {
            const FrozenOrganization *previous = revisions.empty() ? nullptr : &revisions.back()->organization;
            revisions.emplace_back(ArchiveJson::decodeRevision(element, previous, inspect));
        } catch (const JsonRead::Error &error) {
            readError = error.what();
            revisions.clear();
        }
    }
};

// Builds the JSON value of the document, except that each element of the top-level
// "revisions" array goes to the collector as soon as it is complete and is then dropped.
// An object that repeats a key stops it: the parser alone would keep the last value, and a
// second "revisions" would silently drop every saved version.
class DocumentParser final : public JsonRead::StrictBuilder {
public:
    explicit DocumentParser(RevisionCollector &collector) : m_collector(collector) {}

private:
    void memberElementDone(const std::string &member, Json &elements) override
    {
        if (member != "revisions")
            return;
        m_collector.add(elements.back());
        elements.get_ref<Json::array_t &>().pop_back(); // the version is kept decoded
    }

    RevisionCollector &m_collector;
};

// The bytes as the parser reads them, each as soon as it has arrived, so that a text is
// refused at its first fault without waiting for the rest.
JsonRead::ParseInput arrivingInput(ArrivingBytes &bytes, std::vector<std::pair<size_t, size_t>> skipped = {})
{
    return JsonRead::ParseInput{.data = bytes.data(),
                                .available = 0,
                                .more = [&bytes](size_t offset) { return bytes.beyond(offset); },
                                .skipped = std::move(skipped)};
}

// Throws the fault the parser found, if any, or the key a handler found repeated.
void refuseFault(const JsonRead::ParseOutcome &outcome, const std::optional<JsonRead::Error> &repeated,
                 ArrivingBytes &bytes)
{
    if (outcome.atNul) // placed at the NUL, even past where a file cut short ends now
        throw JsonRead::malformedAt(*outcome.failure, *outcome.failure);
    if (outcome.failure)
        throw JsonRead::malformedAt(*outcome.failure, bytes.endBeyond(*outcome.failure - 1));
    if (repeated)
        throw *repeated;
}

// The one-pass reader. Throws JsonRead::Error at the first fault, NUL bytes and repeated keys
// included, with the byte the fault lies at, and ArrivingBytes::Abandoned. The elements of
// the arrays `skipped` names are not read.
Json parseDocument(ArrivingBytes &bytes, RevisionCollector &collector, std::vector<std::pair<size_t, size_t>> skipped = {})
{
    DocumentParser parser(collector);
    refuseFault(JsonRead::parseText<JsonRead::StrictBuilder>(parser, arrivingInput(bytes, std::move(skipped))),
                parser.repeated, bytes);
    return std::move(parser.root);
}

// Throws what the one-pass reader would throw while it parses the text, at the cost of a
// pass that keeps nothing: for a text sure to be refused, such as one with NUL bytes after
// the document. Returns when the text parses.
void refuseLikeOnePass(ArrivingBytes &bytes)
{
    JsonRead::KeyChecker checker;
    refuseFault(JsonRead::parseText(checker, arrivingInput(bytes)), checker.repeated, bytes);
}

// The organization a file of only positions holds, or why its positions do not read.
std::variant<Organization, JsonRead::Error> bareOrganization(const Json &root)
{
    try {
        return OrganizationJson::decodeOrganization(root);
    } catch (const JsonRead::Error &error) {
        return error;
    }
}

// Reads the archive's keys in declaration order, so the first bad key is the one reported.
// The texts are moved out of `root`: a name may be as long as the file.
OrganizationArchive readArchive(Json &root, RevisionCollector &collector)
{
    if (!root.is_object())
        throw JsonRead::Error("The data is not a JSON object.");
    OrganizationArchive archive;
    archive.name = JsonRead::takeString(root, "name");
    archive.organization = OrganizationJson::decodeOrganization(JsonRead::object(root, "organization"));
    archive.pageTitle = JsonRead::takeOptionalString(root, "pageTitle");
    archive.pageSubtitle = JsonRead::takeOptionalString(root, "pageSubtitle");
    if (JsonRead::find(root, "sheets")) {
        archive.sheets.emplace();
        for (const Json &sheet : JsonRead::array(root, "sheets"))
            archive.sheets->push_back(ArchiveJson::decodeSheet(sheet));
    }
    if (const Json *settings = JsonRead::find(root, "printSettings"))
        archive.printSettings = PrintSettingsJson::decode(*settings);
    if (JsonRead::find(root, "groups")) {
        archive.groups.emplace();
        for (const Json &group : JsonRead::array(root, "groups"))
            archive.groups->push_back(ArchiveJson::decodeGroup(group));
    }
    JsonRead::array(root, "revisions"); // required even when empty
    if (collector.readError)
        throw JsonRead::Error(*collector.readError);
    archive.revisions = std::move(collector.revisions);
    if (const Json *planning = JsonRead::find(root, "planning"))
        archive.planning = ArchiveJson::decodePlanning(*planning);
    return archive;
}

// What the text holds, parsed and partly decoded.
struct ParsedDocument {
    Json root;
    // The positions of the organization when they were decoded apart: root's are left out.
    std::optional<Organization> organization;
};

// The document's JSON with the versions and the organization's positions decoded on several
// threads as the bytes arrive, while this thread parses the rest of the text. Throws the
// rest's fault once every piece has read: the one-pass reader fails there too (a document
// followed by NULs, say). Nothing when the one-pass reader must read it all; `malformed`
// then tells whether the scan found the text sure to be refused.
std::optional<ParsedDocument> parseApart(ArrivingBytes &bytes, RevisionCollector &collector, bool &malformed)
{
    ParsedDocument parsed;
    std::optional<JsonRead::Error> restFault;
    std::optional<VersionReading::Versions> versions = VersionReading::read(
        bytes,
        [&](const VersionReading::Spans &readApart) {
            RevisionCollector none;
            try {
                parsed.root = parseDocument(bytes, none, readApart);
            } catch (const JsonRead::Error &error) {
                restFault = error;
                return true;
            }
            return none.revisions.empty() && !none.readError;
        },
        &malformed);
    if (!versions)
        return std::nullopt;
    if (restFault)
        throw *restFault;
    collector.revisions = std::move(versions->revisions);
    collector.invalidOrganization = std::move(versions->invalidOrganization);
    parsed.organization = std::move(versions->organization);
    return parsed;
}

OrganizationArchive decodeDocument(ArrivingBytes &bytes, OrganizationArchive::Reading reading,
                                   OrganizationArchive::Reading *readWith)
{
    using Reading = OrganizationArchive::Reading;
    RevisionCollector collector;
    if (reading == Reading::automatic)
        reading = OrganizationArchive::automaticReading(bytes.capacity());
    std::optional<ParsedDocument> apart;
    if (reading == Reading::apart) {
        bool malformed = false;
        apart = parseApart(bytes, collector, malformed);
        // A text sure to be refused is not decoded: only where it fails is wanted.
        if (!apart && malformed)
            refuseLikeOnePass(bytes);
    }
    if (readWith)
        *readWith = apart ? Reading::apart : Reading::onePass;
    Json root = apart ? std::move(apart->root) : parseDocument(bytes, collector);
    std::variant<Organization, JsonRead::Error> bare = bareOrganization(root);
    if (Organization *organization = std::get_if<Organization>(&bare)) {
        organization->validate();
        return OrganizationArchive::make("Untitled Organization", std::move(*organization));
    }
    OrganizationArchive archive;
    try {
        archive = readArchive(root, collector);
    } catch (const JsonRead::Error &) {
        // Positions without an organization make a bare organization file: the fault is in
        // its positions, not in archive keys it never meant to have.
        if (root.is_object() && JsonRead::find(root, "positions") && !JsonRead::find(root, "organization"))
            throw std::get<JsonRead::Error>(bare);
        throw;
    }
    if (apart && apart->organization)
        archive.organization = std::move(*apart->organization);
    archive.organization.validate();
    if (archive.planning)
        archive.planning->validate();
    if (collector.invalidOrganization)
        throw OrganizationError::invalid(*collector.invalidOrganization);
    std::unordered_set<std::string_view> ids;
    for (const Shared<OrganizationRevision> &revision : archive.revisions) {
        if (!ids.insert(revision->id).second)
            throw OrganizationError::invalid("Version identifiers must be unique.");
    }
    return archive;
}

// Writes JSON exactly as the pretty printer lays out a whole value (two spaces a level,
// keys sorted), but member by member, so that parts can be written without building them.
class PrettyWriter {
public:
    std::string out;

    // `value` dumped alone, placed at nesting column `column`.
    void value(const Json &value, size_t column) { indented(value.dump(2), column); }

    void indented(const std::string &text, size_t column)
    {
        for (char c : text) {
            out.push_back(c);
            if (c == '\n')
                out.append(column, ' ');
        }
    }

    // An object at `column` whose members are `members`, in their sorted order; `write`
    // may write a member's value itself and return true.
    template <typename Write>
    void object(const Json &members, size_t column, Write write)
    {
        if (members.empty()) {
            out += "{}";
            return;
        }
        out += "{";
        bool first = true;
        for (const auto &[key, member] : members.items()) {
            out += first ? "\n" : ",\n";
            first = false;
            out.append(column + 2, ' ');
            out += Json(key).dump();
            out += ": ";
            if (!write(key, member, column + 2))
                value(member, column + 2);
        }
        out += "\n";
        out.append(column, ' ');
        out += "}";
    }

    // An array at `column` of `count` elements written by `element(i, elementColumn)`.
    template <typename Element>
    void array(size_t count, size_t column, Element element)
    {
        if (count == 0) {
            out += "[]";
            return;
        }
        out += "[";
        for (size_t i = 0; i < count; ++i) {
            out += i == 0 ? "\n" : ",\n";
            out.append(column + 2, ' ');
            element(i, column + 2);
        }
        out += "\n";
        out.append(column, ' ');
        out += "]";
    }
};

// Versions share their positions, so each distinct position is turned into text once.
class RevisionWriter {
public:
    explicit RevisionWriter(PrettyWriter &writer) : m_writer(writer) {}

    void write(const OrganizationRevision &revision, size_t column)
    {
        Json members = ArchiveJson::encodeWithoutOrganization(revision);
        members["organization"] = nullptr; // written below from the frozen positions
        m_writer.object(members, column, [&](const std::string &key, const Json &, size_t at) {
            if (key != "organization")
                return false;
            m_writer.object(Json{{"positions", nullptr}}, at, [&](const std::string &, const Json &, size_t inner) {
                m_writer.array(revision.organization.size(), inner,
                               [&](size_t i, size_t elementColumn) { position(revision.organization[i], elementColumn); });
                return true;
            });
            return true;
        });
    }

private:
    void position(const Position &p, size_t column)
    {
        auto [cached, fresh] = m_texts.try_emplace(&p);
        if (fresh) {
            PrettyWriter text;
            text.value(OrganizationJson::encode(p), column);
            cached->second = std::move(text.out);
        }
        m_writer.out += cached->second; // every position of a version sits at the same column
    }

    PrettyWriter &m_writer;
    std::unordered_map<const Position *, std::string> m_texts;
};

} // namespace

OrganizationArchive::Reading OrganizationArchive::automaticReading(std::size_t bytes)
{
    return bytes >= apartFromBytes ? Reading::apart : Reading::onePass;
}

OrganizationArchive OrganizationArchive::decode(std::string_view bytes, Reading reading, Reading *readWith)
{
    ArrivingBytes arrived(bytes);
    return decode(arrived, reading, readWith);
}

OrganizationArchive OrganizationArchive::decode(ArrivingBytes &bytes, Reading reading, Reading *readWith)
{
    try {
        return decodeDocument(bytes, reading, readWith);
    } catch (const JsonRead::Error &error) {
        bytes.stopWanting(); // refused: the rest of a large file is not read for nothing
        throw OrganizationError::invalid(std::string("This file could not be read as an organization. ") +
                                         error.what());
    } catch (...) {
        bytes.stopWanting();
        throw;
    }
}

std::string OrganizationArchive::encodeDocument() const
{
    organization.validate();
    if (planning)
        planning->validate();

    Json top{{"name", name}, {"organization", OrganizationJson::encode(organization)}, {"revisions", nullptr}};
    if (pageTitle)
        top["pageTitle"] = *pageTitle;
    if (pageSubtitle)
        top["pageSubtitle"] = *pageSubtitle;
    if (sheets) {
        top["sheets"] = Json::array();
        for (const OrganizationSheet &sheet : *sheets)
            top["sheets"].push_back(ArchiveJson::encode(sheet));
    }
    if (printSettings)
        top["printSettings"] = PrintSettingsJson::encode(*printSettings);
    if (groups) {
        top["groups"] = Json::array();
        for (const PositionGroup &group : *groups)
            top["groups"].push_back(ArchiveJson::encode(group));
    }
    if (planning)
        top["planning"] = ArchiveJson::encode(*planning);

    try {
        PrettyWriter writer;
        RevisionWriter revisionWriter(writer);
        writer.object(top, 0, [&](const std::string &key, const Json &, size_t column) {
            if (key != "revisions")
                return false;
            writer.array(revisions.size(), column,
                          [&](size_t i, size_t at) { revisionWriter.write(*revisions[i], at); });
            return true;
        });
        return std::move(writer.out);
    } catch (const Json::type_error &) {
        throw OrganizationError::invalid("The document contains text that is not valid UTF-8, so it cannot be saved.");
    }
}
