#include "spreadsheet/xlsx_reader.h"

#include "core/support/number_text.h"
#include "core/support/organization_error.h"
#include "spreadsheet/xlsx_worksheet.h"
#include "spreadsheet/xml_stream.h"
#include "spreadsheet/zip_parts.h"

#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>

namespace {

// The parts read whole into small lists stay below this many elements.
constexpr size_t elementLimit = 500'000;
constexpr size_t worksheetLimit = 100;

// Transitional and strict spellings of the relationships namespace.
bool isRelationshipsNamespace(std::string_view uri)
{
    return uri == "http://schemas.openxmlformats.org/officeDocument/2006/relationships" ||
           uri == "http://purl.oclc.org/ooxml/officeDocument/relationships";
}

[[noreturn]] void fail(std::string message)
{
    throw OrganizationError::invalid(std::move(message));
}

std::string requiredPart(const ZipParts &zip, const std::string &name)
{
    std::optional<std::string> bytes = zip.part(name);
    if (!bytes)
        fail("Could not read " + name + ". Use a valid, unencrypted .xlsx workbook.");
    return std::move(*bytes);
}

struct SheetEntry {
    std::optional<std::string> name;
    std::string relationshipID;
};

// Each sheet's relationship id is its "id" attribute in the relationships namespace,
// whatever prefix the file binds to it ("r" by custom).
class WorkbookHandler : public XmlHandler {
public:
    std::vector<SheetEntry> sheets;

    void startElement(std::string_view name, const XmlAttributes &attributes) override
    {
        size_t bound = 0;
        attributes.forEach([&](std::string_view attribute, std::string_view value) {
            if (attribute.starts_with("xmlns:")) {
                m_bindings.push_back({std::string(attribute.substr(6)), isRelationshipsNamespace(value)});
                ++bound;
            }
        });
        m_boundPerElement.push_back(bound);
        if (name != "sheet")
            return;
        SheetEntry &entry = sheets.emplace_back();
        if (auto sheetName = attributes.value("name"))
            entry.name = std::string(*sheetName);
        bool found = false;
        attributes.forEach([&](std::string_view attribute, std::string_view value) {
            const size_t colon = attribute.find(':');
            if (found || colon == std::string_view::npos || attribute.substr(colon + 1) != "id")
                return;
            if (isRelationshipsPrefix(attribute.substr(0, colon))) {
                entry.relationshipID = value;
                found = true;
            }
        });
    }
    void endElement() override
    {
        m_bindings.resize(m_bindings.size() - m_boundPerElement.back());
        m_boundPerElement.pop_back();
    }
    void characters(std::string_view) override {}

private:
    bool isRelationshipsPrefix(std::string_view prefix) const
    {
        for (auto binding = m_bindings.rbegin(); binding != m_bindings.rend(); ++binding) {
            if (binding->prefix == prefix)
                return binding->relationships;
        }
        return false;
    }

    struct Binding {
        std::string prefix;
        bool relationships = false;
    };
    std::vector<Binding> m_bindings;       // the prefixes in scope, innermost last
    std::vector<size_t> m_boundPerElement; // how many each open element declared
};

class RelationshipsHandler : public XmlHandler {
public:
    std::unordered_map<std::string, std::string> targets;

    void startElement(std::string_view name, const XmlAttributes &attributes) override
    {
        if (name != "Relationship" || attributes.value("TargetMode") == "External")
            return;
        auto id = attributes.value("Id");
        auto target = attributes.value("Target");
        if (id && target)
            targets.emplace(*id, *target); // the first of a repeated id wins
    }
    void endElement() override {}
    void characters(std::string_view) override {}
};

// Each "si" is one string: its text runs joined, phonetic runs left out.
class SharedStringsHandler : public XmlHandler {
public:
    std::vector<std::string> strings;

    void startElement(std::string_view name, const XmlAttributes &) override
    {
        Frame frame = Frame::other;
        if (name == "si") {
            if (strings.size() >= XlsxWorkbookContext::cellLimit)
                fail("The workbook contains invalid or excessively large XML.");
            m_open.push_back(strings.size());
            strings.emplace_back();
            frame = Frame::item;
        } else if (name == "rPh") {
            ++m_phoneticDepth;
            frame = Frame::phonetic;
        } else if (name == "t" && !m_open.empty() && m_phoneticDepth == 0) {
            frame = Frame::textRun;
        }
        m_frames.push_back(frame);
    }
    void endElement() override
    {
        if (m_frames.back() == Frame::item)
            m_open.pop_back();
        else if (m_frames.back() == Frame::phonetic)
            --m_phoneticDepth;
        m_frames.pop_back();
    }
    void characters(std::string_view text) override
    {
        if (!m_frames.empty() && m_frames.back() == Frame::textRun)
            strings[m_open.back()].append(text);
    }

private:
    enum class Frame : unsigned char { other, item, textRun, phonetic };
    std::vector<Frame> m_frames;
    std::vector<size_t> m_open; // indices of the open "si" elements, innermost last
    size_t m_phoneticDepth = 0;
};

class StylesHandler : public XmlHandler {
public:
    std::map<long long, std::string> numberFormats;
    std::vector<long long> cellFormats; // number format id per cell format

    void startElement(std::string_view name, const XmlAttributes &attributes) override
    {
        ++m_depth;
        if (m_cellFormatsDepth && m_depth == m_cellFormatsDepth + 1) {
            std::optional<long long> id;
            if (auto text = attributes.value("numFmtId"))
                id = NumberText::wholeNumber(*text);
            cellFormats.push_back(id.value_or(0));
        }
        if (name == "numFmt") {
            auto id = attributes.value("numFmtId");
            auto code = attributes.value("formatCode");
            std::optional<long long> number = id ? NumberText::wholeNumber(*id) : std::nullopt;
            if (number && code)
                numberFormats[*number] = *code;
        } else if (name == "cellXfs" && !m_seenCellFormats) {
            m_seenCellFormats = true;
            m_cellFormatsDepth = m_depth;
        }
    }
    void endElement() override
    {
        if (m_depth == m_cellFormatsDepth)
            m_cellFormatsDepth = 0;
        --m_depth;
    }
    void characters(std::string_view) override {}

private:
    size_t m_depth = 0;
    size_t m_cellFormatsDepth = 0; // depth of the open first "cellXfs", 0 when not open
    bool m_seenCellFormats = false;
};

std::vector<size_t> zeroPadWidths(const StylesHandler &styles)
{
    std::vector<size_t> widths;
    widths.reserve(styles.cellFormats.size());
    for (long long id : styles.cellFormats) {
        auto format = styles.numberFormats.find(id);
        const bool zeros = format != styles.numberFormats.end() && !format->second.empty() &&
                           format->second.find_first_not_of('0') == std::string::npos;
        widths.push_back(zeros ? format->second.size() : 0);
    }
    return widths;
}

// "/xl/worksheets/sheet1.xml" and "worksheets/sheet1.xml" both name the part
// "xl/worksheets/sheet1.xml"; nothing may lead outside "xl/".
std::string worksheetPath(std::string_view target)
{
    std::string path = target.starts_with('/') ? std::string(target.substr(1)) : "xl/" + std::string(target);
    std::vector<std::string_view> components;
    std::string_view rest = path;
    while (!rest.empty()) {
        const size_t slash = rest.find('/');
        const std::string_view component = rest.substr(0, slash);
        rest = slash == std::string_view::npos ? std::string_view() : rest.substr(slash + 1);
        if (component.empty() || component == ".")
            continue;
        if (component == ".." && !components.empty() && components.back() != "..")
            components.pop_back();
        else
            components.push_back(component);
    }
    std::string normalized;
    for (std::string_view component : components) {
        if (!normalized.empty())
            normalized += '/';
        normalized += component;
    }
    if (!normalized.starts_with("xl/") || normalized.find("..") != std::string::npos)
        fail("The workbook has an invalid worksheet path.");
    return normalized;
}

} // namespace

std::vector<ImportSheet> XlsxReader::read(const QByteArray &data)
{
    const ZipParts zip(data);

    WorkbookHandler workbook;
    XmlStream::parse(requiredPart(zip, "xl/workbook.xml"), workbook, elementLimit);
    if (workbook.sheets.size() > worksheetLimit)
        fail("Imports support up to 100 worksheets.");

    RelationshipsHandler relationships;
    XmlStream::parse(requiredPart(zip, "xl/_rels/workbook.xml.rels"), relationships, elementLimit);

    XlsxWorkbookContext context;
    if (std::optional<std::string> part = zip.part("xl/sharedStrings.xml")) {
        SharedStringsHandler strings;
        XmlStream::parse(*part, strings);
        context.sharedStrings = std::move(strings.strings);
    }
    if (std::optional<std::string> part = zip.part("xl/styles.xml")) {
        StylesHandler styles;
        XmlStream::parse(*part, styles, elementLimit);
        context.zeroPadWidths = zeroPadWidths(styles);
    }

    std::vector<ImportSheet> sheets;
    for (const SheetEntry &entry : workbook.sheets) {
        auto target = relationships.targets.find(entry.relationshipID);
        if (target == relationships.targets.end())
            continue; // an external or unknown relationship names no worksheet here
        const std::string path = worksheetPath(target->second);
        XlsxWorksheet worksheet = XlsxWorksheet::read(requiredPart(zip, path), context);
        sheets.push_back({
            .name = entry.name ? *entry.name : "Sheet " + std::to_string(sheets.size() + 1),
            .rows = std::move(worksheet.rows),
            .sourceIssues = std::move(worksheet.issues),
        });
    }
    if (sheets.empty())
        fail("No worksheets were found.");
    return sheets;
}
