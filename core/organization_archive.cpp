#include "core/organization_archive.h"

#include "core/archive_json.h"
#include "core/organization_json.h"

#include <unordered_set>

using Json = nlohmann::json;

namespace {

const char *const lockedMessage =
    "Current organization is locked. Open Planning & Proposals to edit a named proposal instead.";

// Versions are decoded and frozen as the parser finishes each one, so the JSON of a long
// history is never held all at once. Failures are kept until the reader reaches the
// place where they count, because a bare organization ignores every other key.
struct RevisionCollector {
    std::vector<Shared<OrganizationRevision>> revisions;
    std::optional<std::string> readError;
    std::optional<std::string> invalidOrganization; // the oldest version's validation failure

    void reset()
    {
        revisions.clear();
        readError.reset();
        invalidOrganization.reset();
    }

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

Json parseDocument(std::string_view bytes, RevisionCollector &collector)
{
    using Event = Json::parse_event_t;
    std::string topKey;
    bool inRevisions = false;
    auto callback = [&](int depth, Event event, Json &parsed) {
        if (depth == 1 && event == Event::key) {
            topKey = parsed.get<std::string>();
            if (topKey == "revisions")
                collector.reset(); // a repeated key replaces the earlier value
            return true;
        }
        if (depth == 1 && (event == Event::array_start || event == Event::array_end)) {
            inRevisions = event == Event::array_start && topKey == "revisions";
            return true;
        }
        const bool elementDone = event == Event::object_end || event == Event::array_end || event == Event::value;
        if (inRevisions && depth == 2 && elementDone) {
            collector.add(parsed);
            return false; // the version is kept decoded; drop its JSON
        }
        return true;
    };
    try {
        return Json::parse(bytes.begin(), bytes.end(), callback);
    } catch (const Json::parse_error &error) {
        throw JsonRead::Error("The data is not valid JSON (at byte " + std::to_string(error.byte) + ").");
    } catch (const Json::exception &) {
        throw JsonRead::Error("The data is not valid JSON: a number is out of range.");
    }
}

std::optional<Organization> bareOrganization(const Json &root)
{
    try {
        return OrganizationJson::decodeOrganization(root);
    } catch (const JsonRead::Error &) {
        return std::nullopt;
    }
}

// Reads the archive's keys in declaration order, so the first bad key is the one reported.
OrganizationArchive readArchive(const Json &root, RevisionCollector &collector)
{
    if (!root.is_object())
        throw JsonRead::Error("The data is not a JSON object.");
    OrganizationArchive archive;
    archive.name = JsonRead::string(root, "name");
    archive.organization = OrganizationJson::decodeOrganization(JsonRead::object(root, "organization"));
    archive.pageTitle = JsonRead::optionalString(root, "pageTitle");
    archive.pageSubtitle = JsonRead::optionalString(root, "pageSubtitle");
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

OrganizationArchive decodeDocument(std::string_view bytes)
{
    RevisionCollector collector;
    const Json root = parseDocument(bytes, collector);
    if (std::optional<Organization> organization = bareOrganization(root)) {
        organization->validate();
        return OrganizationArchive::make("Untitled Organization", std::move(*organization));
    }
    OrganizationArchive archive = readArchive(root, collector);
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

// Indents every line after the first, as the pretty printer does for a nested value.
void appendIndented(std::string &out, const std::string &text, size_t indent)
{
    for (char c : text) {
        out.push_back(c);
        if (c == '\n')
            out.append(indent, ' ');
    }
}

std::string dumped(const Json &value)
{
    return value.dump(2);
}

} // namespace

OrganizationArchive OrganizationArchive::make(std::string name, Organization organization)
{
    OrganizationArchive archive;
    archive.name = std::move(name);
    archive.organization = std::move(organization);
    return archive;
}

OrganizationArchive OrganizationArchive::decode(std::string_view bytes)
{
    try {
        return decodeDocument(bytes);
    } catch (const JsonRead::Error &error) {
        throw OrganizationError::invalid(std::string("This file could not be read as an organization. ") +
                                         error.what());
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

    // Written member by member in sorted key order, exactly as the pretty printer lays out a
    // whole object, so that the versions are turned into JSON one at a time.
    try {
        std::string out = "{\n";
        bool first = true;
        for (const auto &[key, value] : top.items()) {
            out += first ? "  \"" : ",\n  \"";
            first = false;
            out += key;
            out += "\": ";
            if (key != "revisions") {
                appendIndented(out, dumped(value), 2);
                continue;
            }
            if (revisions.empty()) {
                out += "[]";
                continue;
            }
            out += "[\n";
            for (size_t i = 0; i < revisions.size(); ++i) {
                out += i == 0 ? "    " : ",\n    ";
                appendIndented(out, dumped(ArchiveJson::encode(*revisions[i])), 4);
            }
            out += "\n  ]";
        }
        out += "\n}";
        return out;
    } catch (const Json::type_error &) {
        throw OrganizationError::invalid(
            "The document contains text that is not valid UTF-8, so it cannot be saved.");
    }
}

void OrganizationArchive::requireCurrentEditing() const
{
    if (planning && planning->isLocked)
        throw OrganizationError::invalid(lockedMessage);
}
