// The XML parser: event order, attributes, CDATA, namespaces, errors with
// positions, aborting, refused external entities and expansion bombs, and a
// large document.
#include <doctest/doctest.h>

#include <fstream>
#include <string>
#include <vector>

#include "platform/foundation/NSXMLParser.h"
#include "support/LoopbackHttpServer.h"
#include "support/TestEnvironment.h"

namespace {

Data bytes(const std::string& s) { return Data(s.begin(), s.end()); }

// Writes every event as one line.
class Recorder : public NSXMLParserDelegate {
public:
    std::vector<std::string> events;
    std::vector<Value> attributes;
    std::string text;
    NSErrorPtr reportedError;
    int errorReports = 0;
    std::string abortAt;  // element name that aborts on its start
    long startLineOfLast = 0;

    void parserDidStartDocument(NSXMLParser&) override { events.push_back("startDocument"); }
    void parserDidEndDocument(NSXMLParser&) override { events.push_back("endDocument"); }
    void didStartElement(NSXMLParser& parser, const std::string& name, const std::string& uri, const std::string& qname,
                         const Value& attrs) override {
        events.push_back("start " + name + " {" + uri + "} " + qname);
        attributes.push_back(attrs);
        startLineOfLast = parser.lineNumber();
        if (name == abortAt) parser.abortParsing();
    }
    void didEndElement(NSXMLParser&, const std::string& name, const std::string& uri, const std::string& qname) override {
        flushText();
        events.push_back("end " + name + " {" + uri + "} " + qname);
    }
    void didStartMappingPrefix(NSXMLParser&, const std::string& prefix, const std::string& uri) override {
        events.push_back("map " + prefix + "=" + uri);
    }
    void didEndMappingPrefix(NSXMLParser&, const std::string& prefix) override { events.push_back("unmap " + prefix); }
    void foundCharacters(NSXMLParser&, const std::string& s) override { text += s; }
    void foundCDATA(NSXMLParser&, const Data& block) override {
        flushText();
        events.push_back("cdata " + std::string(block.begin(), block.end()));
    }
    void foundComment(NSXMLParser&, const std::string& comment) override { events.push_back("comment" + comment); }
    void parseErrorOccurred(NSXMLParser&, const NSErrorPtr& error) override {
        reportedError = error;
        ++errorReports;
    }

private:
    void flushText() {
        std::string trimmed;
        for (char c : text)
            if (c != '\n' && c != ' ') trimmed.push_back(c);
        if (!trimmed.empty()) events.push_back("text " + text);
        text.clear();
    }
};

struct Run {
    std::shared_ptr<NSXMLParser> parser;
    std::shared_ptr<Recorder> recorder = std::make_shared<Recorder>();
    bool ok = false;
};

Run parseText(const std::string& xml, bool namespaces = false, bool prefixes = false, std::string abortAt = {}) {
    Run run;
    run.parser = NSXMLParser::initWithData(bytes(xml));
    run.parser->setDelegate(run.recorder);
    run.parser->setShouldProcessNamespaces(namespaces);
    run.parser->setShouldReportNamespacePrefixes(prefixes);
    run.recorder->abortAt = std::move(abortAt);
    run.ok = run.parser->parse();
    return run;
}

}  // namespace

TEST_SUITE("xml parser") {

TEST_CASE("a small document gives its events in document order") {
    auto run = parseText("<?xml version=\"1.0\"?>\n<films><film>Alien</film><!-- note --><film>Heat &amp; Dust</film></films>");
    REQUIRE(run.ok);
    CHECK_FALSE(run.parser->parserError());
    std::vector<std::string> expected{"startDocument", "start films {} ",   "start film {} ",  "text Alien",
                                      "end film {} ",  "comment note ",     "start film {} ",  "text Heat & Dust",
                                      "end film {} ",  "end films {} ",     "endDocument"};
    CHECK(run.recorder->events == expected);
    CHECK(run.recorder->errorReports == 0);
}

TEST_CASE("attributes arrive as a dictionary of strings with entities decoded") {
    auto run = parseText("<show id=\"42\" title='Q &lt;&amp;&gt; A' empty=\"\"/>");
    REQUIRE(run.ok);
    REQUIRE(run.recorder->attributes.size() == 1);
    const Value& attrs = run.recorder->attributes[0];
    CHECK(attrs["id"].stringValue() == "42");
    CHECK(attrs["title"].stringValue() == "Q <&> A");
    CHECK(attrs["empty"].isString());
    CHECK(attrs.dictionaryRef()->size() == 3);
}

TEST_CASE("CDATA comes as its own bytes and internal entities as text") {
    auto run = parseText("<!DOCTYPE a [<!ENTITY who \"world\">]><a>hello &who;<![CDATA[<not> & markup]]></a>");
    REQUIRE(run.ok);
    std::vector<std::string> expected{"startDocument", "start a {} ", "text hello world", "cdata <not> & markup",
                                      "end a {} ", "endDocument"};
    CHECK(run.recorder->events == expected);
}

TEST_CASE("namespaces are reported split only when processing is on") {
    const std::string xml = "<c:list xmlns:c=\"urn:cat\" xmlns=\"urn:def\"><c:item c:kind=\"film\"/><plain/></c:list>";
    SUBCASE("off: qualified names as written and declarations as attributes") {
        auto run = parseText(xml);
        REQUIRE(run.ok);
        CHECK(run.recorder->events[1] == "start c:list {} ");
        CHECK(run.recorder->events[2] == "start c:item {} ");
        CHECK(run.recorder->attributes[0]["xmlns:c"].stringValue() == "urn:cat");
        CHECK(run.recorder->attributes[0]["xmlns"].stringValue() == "urn:def");
        CHECK(run.recorder->attributes[1]["c:kind"].stringValue() == "film");
    }
    SUBCASE("on: local name with its URI and qualified name and prefix mappings when asked") {
        auto run = parseText(xml, true, true);
        REQUIRE(run.ok);
        std::vector<std::string> expected{"startDocument",
                                          "map c=urn:cat",
                                          "map =urn:def",
                                          "start list {urn:cat} c:list",
                                          "start item {urn:cat} c:item",
                                          "end item {urn:cat} c:item",
                                          "start plain {urn:def} plain",
                                          "end plain {urn:def} plain",
                                          "end list {urn:cat} c:list",
                                          "unmap c",
                                          "unmap ",
                                          "endDocument"};
        CHECK(run.recorder->events == expected);
        CHECK(run.recorder->attributes[0].dictionaryRef()->empty());
        CHECK(run.recorder->attributes[1]["c:kind"].stringValue() == "film");
    }
    SUBCASE("on without prefix reports: no mapping events") {
        auto run = parseText(xml, true, false);
        REQUIRE(run.ok);
        for (const auto& e : run.recorder->events) CHECK(e.rfind("map", 0) != 0);
    }
}

TEST_CASE("malformed input fails with an error of the parser domain and its line") {
    auto run = parseText("<a>\n<b>\n</a>\n");
    CHECK_FALSE(run.ok);
    auto error = run.parser->parserError();
    REQUIRE(error);
    CHECK(error->domain() == NSXMLParserErrorDomain);
    CHECK(error->code() == 76);  // mismatched tag
    CHECK(run.parser->lineNumber() == 3);
    CHECK(run.recorder->errorReports == 1);
    CHECK(run.recorder->reportedError == error);
    CHECK(run.recorder->events.back() != "endDocument");
}

TEST_CASE("an empty document is an error") {
    auto run = parseText("");
    CHECK_FALSE(run.ok);
    REQUIRE(run.parser->parserError());
    CHECK(run.parser->parserError()->code() == NSXMLParserEmptyDocumentError);
}

TEST_CASE("aborting from the delegate stops all further events") {
    auto run = parseText("<a><b/><stop/><c/><d>text</d></a>", false, false, "stop");
    CHECK_FALSE(run.ok);
    REQUIRE(run.parser->parserError());
    CHECK(run.parser->parserError()->code() == NSXMLParserDelegateAbortedParseError);
    std::vector<std::string> expected{"startDocument", "start a {} ", "start b {} ", "end b {} ", "start stop {} "};
    CHECK(run.recorder->events == expected);
    CHECK(run.recorder->errorReports == 0);
    // A parser parses once.
    CHECK_FALSE(run.parser->parse());
    CHECK(run.recorder->events.size() == expected.size());
}

TEST_CASE("an external entity is refused and its file never read") {
    testsupport::TempHome home;
    std::string secretPath = home.path() + "/secret.txt";
    std::ofstream(secretPath) << "TOPSECRET";
    auto run = parseText("<!DOCTYPE a [<!ENTITY x SYSTEM \"file://" + secretPath + "\">]><a>&x;</a>");
    CHECK_FALSE(run.ok);
    REQUIRE(run.parser->parserError());
    CHECK(run.parser->parserError()->code() == NSXMLParserExternalEntityRefusedError);
    for (const auto& e : run.recorder->events) CHECK(e.find("TOPSECRET") == std::string::npos);
    CHECK(run.recorder->text.find("TOPSECRET") == std::string::npos);

    SUBCASE("when resolving is allowed a local entity is read") {
        auto parser = NSXMLParser::initWithData(bytes("<!DOCTYPE a [<!ENTITY x SYSTEM \"file://" + secretPath + "\">]><a>&x;</a>"));
        auto recorder = std::make_shared<Recorder>();
        parser->setDelegate(recorder);
        parser->setShouldResolveExternalEntities(true);
        CHECK(parser->parse());
        CHECK(recorder->events[2] == "text TOPSECRET");
    }
}

TEST_CASE("an external parameter entity in the internal subset is refused") {
    testsupport::TempHome home;
    std::string dtdPath = home.path() + "/evil.dtd";
    std::ofstream(dtdPath) << "<!ENTITY leaked \"FROMDTD\">";
    auto run = parseText("<!DOCTYPE a [<!ENTITY % p SYSTEM \"file://" + dtdPath + "\"> %p;]><a>&leaked;</a>");
    CHECK_FALSE(run.ok);
    REQUIRE(run.parser->parserError());
    CHECK(run.parser->parserError()->code() == NSXMLParserExternalEntityRefusedError);
    CHECK(run.recorder->text.find("FROMDTD") == std::string::npos);
}

TEST_CASE("an entity over the network is never fetched even when resolving is allowed") {
    testsupport::LoopbackHttpServer server;
    server.route("GET", "/entity", testsupport::Reply::text("FROMNET"));
    const std::string xml = "<!DOCTYPE a [<!ENTITY x SYSTEM \"" + server.url("/entity") + "\">]><a>&x;</a>";
    for (bool resolve : {false, true}) {
        auto parser = NSXMLParser::initWithData(bytes(xml));
        auto recorder = std::make_shared<Recorder>();
        parser->setDelegate(recorder);
        parser->setShouldResolveExternalEntities(resolve);
        parser->parse();  // the loading is synchronous: any fetch has happened when this returns
        CHECK(recorder->text.find("FROMNET") == std::string::npos);
        for (const auto& e : recorder->events) CHECK(e.find("FROMNET") == std::string::npos);
    }
    CHECK(server.connectionCount() == 0);
}

TEST_CASE("an entity expansion bomb is refused with an error") {
    std::string xml = "<?xml version=\"1.0\"?><!DOCTYPE lolz [<!ENTITY lol \"lollollollollollollollollollol\">";
    std::string previous = "lol";
    for (int i = 1; i <= 9; ++i) {
        std::string name = "lol" + std::to_string(i);
        xml += "<!ENTITY " + name + " \"";
        for (int k = 0; k < 10; ++k) xml += "&" + previous + ";";
        xml += "\">";
        previous = name;
    }
    xml += "]><lolz>&" + previous + ";</lolz>";
    auto run = parseText(xml);
    CHECK_FALSE(run.ok);
    REQUIRE(run.parser->parserError());
    CHECK(run.parser->parserError()->domain() == NSXMLParserErrorDomain);
    CHECK(run.parser->parserError()->code() == NSXMLParserEntityRefLoopError);
    CHECK(run.recorder->text.size() < 10'000'000);
    CHECK(run.recorder->events.back() != "endDocument");
}

TEST_CASE("one large entity referenced many times is refused with an error") {
    std::string xml = "<!DOCTYPE a [<!ENTITY big \"" + std::string(20000, 'x') + "\">]><a>";
    for (int i = 0; i < 20000; ++i) xml += "&big;";
    xml += "</a>";
    SUBCASE("with a delegate") {
        auto run = parseText(xml);
        CHECK_FALSE(run.ok);
        REQUIRE(run.parser->parserError());
        CHECK(run.parser->parserError()->code() == NSXMLParserEntityRefLoopError);
        CHECK(run.recorder->text.size() <= 16 * xml.size() + 1024 * 1024);
        CHECK(run.recorder->errorReports == 1);
    }
    SUBCASE("without a delegate") { CHECK_FALSE(NSXMLParser::initWithData(bytes(xml))->parse()); }
    SUBCASE("in attribute values") {
        std::string attrs = "<!DOCTYPE a [<!ENTITY big \"" + std::string(20000, 'y') + "\">]><a>";
        for (int i = 0; i < 20000; ++i) attrs += "<b v=\"&big;\"/>";
        attrs += "</a>";
        CHECK_FALSE(NSXMLParser::initWithData(bytes(attrs))->parse());
    }
    SUBCASE("a modest internal entity used often is fine") {
        std::string ok = "<!DOCTYPE a [<!ENTITY studio \"Universal Pictures\">]><a>";
        for (int i = 0; i < 5000; ++i) ok += "<s>&studio;</s>";
        ok += "</a>";
        auto run = parseText(ok);
        CHECK(run.ok);
        CHECK_FALSE(run.parser->parserError());
    }
}

TEST_CASE("a large document streams through with every event") {
    std::string xml = "<catalogue>";
    const int count = 200'000;
    for (int i = 0; i < count; ++i) xml += "<movie id=\"" + std::to_string(i) + "\">Title " + std::to_string(i) + "</movie>\n";
    xml += "</catalogue>";
    class Counter : public NSXMLParserDelegate {
    public:
        int starts = 0, ends = 0;
        long idSum = 0;
        std::size_t textBytes = 0;
        void didStartElement(NSXMLParser&, const std::string& name, const std::string&, const std::string&,
                             const Value& attrs) override {
            ++starts;
            if (name == "movie") idSum += static_cast<long>(attrs["id"].integerValue());
        }
        void didEndElement(NSXMLParser&, const std::string&, const std::string&, const std::string&) override { ++ends; }
        void foundCharacters(NSXMLParser&, const std::string& s) override { textBytes += s.size(); }
    };
    auto counter = std::make_shared<Counter>();
    auto parser = NSXMLParser::initWithData(bytes(xml));
    parser->setDelegate(counter);
    REQUIRE(parser->parse());
    CHECK(counter->starts == count + 1);
    CHECK(counter->ends == count + 1);
    CHECK(counter->idSum == static_cast<long>(count) * (count - 1) / 2);
    CHECK(parser->lineNumber() == count + 1);
}

TEST_CASE("a parser without a delegate still checks the document") {
    CHECK(NSXMLParser::initWithData(bytes("<a/>"))->parse());
    CHECK_FALSE(NSXMLParser::initWithData(bytes("<a>"))->parse());
}

}
