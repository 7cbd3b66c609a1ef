#include "error_of.h"
#include "spreadsheet/xml_stream.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

namespace {

const std::string invalidMessage = "The workbook contains invalid or excessively large XML.";

// Writes every event as a line; can be told to throw at the n-th event of a kind.
class Recorder : public XmlHandler {
public:
    std::vector<std::string> events;
    std::string throwAt; // "start", "end" or "characters"

    void startElement(std::string_view name, const XmlAttributes &attributes) override
    {
        std::string line = "<" + std::string(name);
        attributes.forEach([&](std::string_view key, std::string_view value) {
            line += " " + std::string(key) + "=" + std::string(value);
        });
        record(line, "start");
    }
    void endElement() override { record(">", "end"); }
    void characters(std::string_view text) override { record("'" + std::string(text) + "'", "characters"); }

private:
    void record(const std::string &line, const std::string &kind)
    {
        events.push_back(line);
        if (kind == throwAt)
            throw std::runtime_error("handler failed at " + line);
    }
};

std::string nested(size_t depth)
{
    std::string xml;
    for (size_t i = 0; i < depth; ++i)
        xml += "<e>";
    for (size_t i = 0; i < depth; ++i)
        xml += "</e>";
    return xml;
}

std::string parseFailure(const std::string &xml, std::optional<size_t> elementLimit = std::nullopt)
{
    Recorder recorder;
    return errorOf([&] { XmlStream::parse(xml, recorder, elementLimit); });
}

} // namespace

TEST(XmlStream, EventsCarryLocalNamesAndAttributesAsWritten)
{
    Recorder recorder;
    XmlStream::parse(R"(<x:sheet xmlns:x="urn:x" r:id="rId1" ref="A1"><row>v</row></x:sheet>)", recorder);
    EXPECT_EQ(recorder.events,
              (std::vector<std::string>{"<sheet xmlns:x=urn:x r:id=rId1 ref=A1", "<row", "'v'", ">", ">"}));

    const char *pairs[] = {"r:id", "rId1", "ref", "A1", nullptr};
    const XmlAttributes attributes(pairs);
    EXPECT_EQ(attributes.value("ref"), "A1");
    EXPECT_EQ(attributes.value("r:id"), "rId1");
    EXPECT_EQ(attributes.value("id"), std::nullopt); // prefixes are part of attribute names
}

TEST(XmlStream, RefusesWhatItMustNotRead)
{
    EXPECT_EQ(parseFailure("<a><b></a>"), invalidMessage);
    EXPECT_EQ(parseFailure(""), invalidMessage);
    // Any DOCTYPE, with or without entities, before one is declared or expanded.
    EXPECT_EQ(parseFailure("<!DOCTYPE a><a/>"), invalidMessage);
    EXPECT_EQ(parseFailure(R"(<!DOCTYPE a [<!ENTITY x "xx">]><a>&x;</a>)"), invalidMessage);
    Recorder recorder;
    EXPECT_EQ(errorOf([&] { XmlStream::parse("<!DOCTYPE a><a>text</a>", recorder); }), invalidMessage);
    EXPECT_TRUE(recorder.events.empty());
}

TEST(XmlStream, DepthAndElementLimits)
{
    Recorder deepest;
    XmlStream::parse(nested(XmlStream::maximumDepth), deepest);
    EXPECT_EQ(deepest.events.size(), 2 * XmlStream::maximumDepth);
    EXPECT_EQ(parseFailure(nested(XmlStream::maximumDepth + 1)), invalidMessage);

    // The limit itself is one element too many.
    const std::string three = "<a><b/><c/></a>";
    Recorder counted;
    XmlStream::parse(three, counted, 4);
    EXPECT_EQ(counted.events.size(), 6u);
    EXPECT_EQ(parseFailure(three, 3), invalidMessage);
}

// The handler's own failure comes out as it was thrown, not as invalid XML, and the handler
// hears nothing after it.
TEST(XmlStream, HandlerFailureStopsTheParseAndIsRethrown)
{
    for (const std::string kind : {"start", "end", "characters"}) {
        Recorder recorder;
        recorder.throwAt = kind;
        std::string message;
        try {
            XmlStream::parse("<a>one<b>two</b>three<c/></a>", recorder);
        } catch (const std::runtime_error &error) {
            message = error.what();
        }
        ASSERT_FALSE(recorder.events.empty()) << kind;
        EXPECT_EQ(message, "handler failed at " + recorder.events.back()) << kind;
        // The first event of its kind was the last one heard.
        const std::vector<std::string> heard = kind == "start" ? std::vector<std::string>{"<a"}
                                               : kind == "end" ? std::vector<std::string>{"<a", "'one'", "<b", "'two'", ">"}
                                                               : std::vector<std::string>{"<a", "'one'"};
        EXPECT_EQ(recorder.events, heard) << kind;
    }

    // An OrganizationError from the handler keeps its own message.
    class Refusing : public XmlHandler {
        void startElement(std::string_view, const XmlAttributes &) override
        {
            throw OrganizationError::invalid("Cell A1 is not a number.");
        }
        void endElement() override {}
        void characters(std::string_view) override {}
    } refusing;
    EXPECT_EQ(errorOf([&] { XmlStream::parse("<a/>", refusing); }), "Cell A1 is not a number.");
}
