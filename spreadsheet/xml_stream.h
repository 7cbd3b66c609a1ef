#pragma once

#include <cstddef>
#include <optional>
#include <string_view>

// The attributes of one element as written, names with their prefixes ("r:id").
class XmlAttributes {
public:
    explicit XmlAttributes(const char **pairs) : m_pairs(pairs) {}
    std::optional<std::string_view> value(std::string_view name) const;

    // Calls `visit(name, value)` for every attribute in document order.
    template <typename Visit>
    void forEach(Visit visit) const
    {
        for (const char **pair = m_pairs; *pair; pair += 2)
            visit(std::string_view(pair[0]), std::string_view(pair[1]));
    }

private:
    const char **m_pairs; // name, value, name, value, ..., null
};

// Receives one part's events in document order.
class XmlHandler {
public:
    virtual ~XmlHandler() = default;
    // `name` is the element's local name: its prefix, if any, is dropped. Namespaces are not
    // resolved, which keeps the reading of large worksheets cheap.
    virtual void startElement(std::string_view name, const XmlAttributes &attributes) = 0;
    virtual void endElement() = 0;
    virtual void characters(std::string_view text) = 0;
};

// Event-driven reading of the XML parts of a workbook, with expat.
namespace XmlStream {

// Elements may nest this deep, the outermost element counting as 1.
inline constexpr size_t maximumDepth = 127;

// Streams `data` through `handler`. Throws OrganizationError "The workbook contains invalid
// or excessively large XML." for malformed XML, any DOCTYPE (so no entity is ever declared,
// expanded or fetched), nesting deeper than maximumDepth, or, when `elementLimit` is given,
// a part holding that many elements or more. An exception thrown by the handler stops the
// parse and is rethrown as it is. Linear in the size of `data`.
void parse(std::string_view data, XmlHandler &handler, std::optional<size_t> elementLimit = std::nullopt);

} // namespace XmlStream
