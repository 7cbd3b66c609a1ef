#include "spreadsheet/xml_stream.h"

#include "core/support/organization_error.h"

#include <expat.h>

#include <climits>
#include <cstring>
#include <exception>
#include <memory>

std::optional<std::string_view> XmlAttributes::value(std::string_view name) const
{
    for (const char **pair = m_pairs; *pair; pair += 2) {
        if (name == pair[0])
            return std::string_view(pair[1]);
    }
    return std::nullopt;
}

namespace {

struct ParseState {
    XML_Parser parser = nullptr;
    XmlHandler *handler = nullptr;
    std::optional<size_t> elementLimit;
    size_t depth = 0;
    size_t elements = 0;
    bool refused = false;            // a limit or a DOCTYPE stopped the parse
    std::exception_ptr handlerError; // the handler's own failure, rethrown after the parse
};

ParseState &stateOf(void *userData)
{
    return *static_cast<ParseState *>(userData);
}

// Expat is C: nothing may unwind through it, so failures are recorded and the parse stopped.
void stop(ParseState &state)
{
    XML_StopParser(state.parser, XML_FALSE);
}

bool isStopped(const ParseState &state)
{
    return state.refused || state.handlerError;
}

std::string_view localName(const char *name)
{
    const char *colon = std::strrchr(name, ':');
    return colon ? std::string_view(colon + 1) : std::string_view(name);
}

void XMLCALL onStart(void *userData, const XML_Char *name, const XML_Char **attributes)
{
    ParseState &state = stateOf(userData);
    if (isStopped(state))
        return;
    ++state.elements;
    if (state.depth >= XmlStream::maximumDepth || (state.elementLimit && state.elements >= *state.elementLimit)) {
        state.refused = true;
        stop(state);
        return;
    }
    ++state.depth;
    try {
        state.handler->startElement(localName(name), XmlAttributes(attributes));
    } catch (...) {
        state.handlerError = std::current_exception();
        stop(state);
    }
}

void XMLCALL onEnd(void *userData, const XML_Char *)
{
    ParseState &state = stateOf(userData);
    if (isStopped(state))
        return;
    --state.depth;
    try {
        state.handler->endElement();
    } catch (...) {
        state.handlerError = std::current_exception();
        stop(state);
    }
}

void XMLCALL onCharacters(void *userData, const XML_Char *text, int length)
{
    ParseState &state = stateOf(userData);
    if (isStopped(state))
        return;
    try {
        state.handler->characters(std::string_view(text, size_t(length)));
    } catch (...) {
        state.handlerError = std::current_exception();
        stop(state);
    }
}

// Entity declarations live only in a DOCTYPE; refusing it rules out entity expansion.
void XMLCALL onDoctype(void *userData, const XML_Char *, const XML_Char *, const XML_Char *, int)
{
    ParseState &state = stateOf(userData);
    state.refused = true;
    stop(state);
}

[[noreturn]] void failInvalid()
{
    throw OrganizationError::invalid("The workbook contains invalid or excessively large XML.");
}

} // namespace

void XmlStream::parse(std::string_view data, XmlHandler &handler, std::optional<size_t> elementLimit)
{
    if (data.size() > size_t(INT_MAX))
        failInvalid();
    std::unique_ptr<XML_ParserStruct, void (*)(XML_Parser)> parser(XML_ParserCreate(nullptr),
                                                                   XML_ParserFree);
    if (!parser)
        throw std::bad_alloc();
    ParseState state{.parser = parser.get(), .handler = &handler, .elementLimit = elementLimit};
    XML_SetUserData(parser.get(), &state);
    XML_SetElementHandler(parser.get(), onStart, onEnd);
    XML_SetCharacterDataHandler(parser.get(), onCharacters);
    XML_SetStartDoctypeDeclHandler(parser.get(), onDoctype);
    XML_SetParamEntityParsing(parser.get(), XML_PARAM_ENTITY_PARSING_NEVER);

    const XML_Status status = XML_Parse(parser.get(), data.data(), int(data.size()), XML_TRUE);
    if (state.handlerError)
        std::rethrow_exception(state.handlerError);
    if (status != XML_STATUS_OK || state.refused)
        failInvalid();
}
