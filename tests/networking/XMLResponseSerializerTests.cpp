// The XML response serializer: on the wire it hands back an unparsed XML
// parser over the body; a wrong content type is refused; archiving and copying
// keep its class.
#include <doctest/doctest.h>

#include <string>
#include <vector>

#include "OperationTestSupport.h"
#include "networking/NLURLResponseSerialization.h"
#include "platform/foundation/NSXMLParser.h"
#include "support/LoopbackHttpServer.h"
#include "support/TestEnvironment.h"

using namespace optest;
using testsupport::LoopbackHttpServer;
using testsupport::Reply;
using testsupport::runMainUntil;

namespace {

class Titles : public NSXMLParserDelegate {
public:
    std::vector<std::string> titles;
    bool inTitle = false;
    void didStartElement(NSXMLParser&, const std::string& name, const std::string&, const std::string&,
                         const Value&) override {
        if (name == "title") {
            inTitle = true;
            titles.emplace_back();
        }
    }
    void didEndElement(NSXMLParser&, const std::string&, const std::string&, const std::string&) override {
        inTitle = false;
    }
    void foundCharacters(NSXMLParser&, const std::string& s) override {
        if (inTitle) titles.back() += s;
    }
};

std::shared_ptr<NLHTTPRequestOperation> xmlGet(const std::string& url) {
    auto op = get(url);
    op->setResponseSerializer(NLXMLParserResponseSerializer::serializer());
    return op;
}

}  // namespace

TEST_SUITE("xml response serializer") {

TEST_CASE("an XML reply gives a parser over the body that has not run yet") {
    LoopbackHttpServer server;
    const std::string body = "<?xml version=\"1.0\"?><films><title>Alien</title><title>Heat</title></films>";
    server.route("GET", "/films.xml", Reply::text(body, "application/xml; charset=utf-8"));
    server.route("GET", "/films2.xml", Reply::text(body, "text/xml"));
    auto op = xmlGet(server.url("/films.xml"));
    auto op2 = xmlGet(server.url("/films2.xml"));
    Outcome out, out2;
    out.install(op);
    out2.install(op2);
    op->start();
    op2->start();
    REQUIRE(runMainUntil([&] { return out.done() && out2.done(); }));
    REQUIRE(out.successes == 1);
    REQUIRE(out2.successes == 1);
    auto parser = out.object.objectAs<NSXMLParser>();
    REQUIRE(parser);
    CHECK(out2.object.objectAs<NSXMLParser>());
    CHECK(parser->data() == bytes(body));
    CHECK_FALSE(parser->parserError());
    CHECK(parser->lineNumber() == 0);  // not run
    auto titles = std::make_shared<Titles>();
    parser->setDelegate(titles);
    REQUIRE(parser->parse());
    CHECK(titles->titles == std::vector<std::string>{"Alien", "Heat"});
}

TEST_CASE("a reply of another content type fails with -1016 and no parser") {
    LoopbackHttpServer server;
    server.route("GET", "/page", Reply::text("<html><body>no</body></html>", "text/html"));
    auto op = xmlGet(server.url("/page"));
    Outcome out;
    out.install(op);
    op->start();
    REQUIRE(runMainUntil([&] { return out.done(); }));
    REQUIRE(out.failures == 1);
    REQUIRE(out.error);
    CHECK(out.error->domain() == NLURLResponseSerializationErrorDomain);
    CHECK(out.error->code() == -1016);

    NSErrorPtr error;
    HTTPHeaderFields fields{{"Content-Type", "application/json"}};
    auto response = NSHTTPURLResponse::initWithURL(server.url("/page"), 200, "HTTP/1.1", fields);
    Value object = NLXMLParserResponseSerializer::serializer()->responseObjectForResponse(response, bytes("{}"), &error);
    CHECK(object.isNull());
    REQUIRE(error);
    CHECK(error->code() == -1016);
}

TEST_CASE("an error status with an XML body gives both the parser and the -1011 error") {
    HTTPHeaderFields fields{{"Content-Type", "text/xml"}};
    auto response = NSHTTPURLResponse::initWithURL("http://127.0.0.1/e", 500, "HTTP/1.1", fields);
    NSErrorPtr error;
    Value object =
        NLXMLParserResponseSerializer::serializer()->responseObjectForResponse(response, bytes("<error>down</error>"), &error);
    auto parser = object.objectAs<NSXMLParser>();
    REQUIRE(parser);
    CHECK(parser->parse());
    REQUIRE(error);
    CHECK(error->code() == -1011);
}

TEST_CASE("archiving and copying keep the XML serializer class and its fields") {
    auto serializer = NLXMLParserResponseSerializer::serializer();
    serializer->setAcceptableContentTypes(std::set<std::string>{"application/atom+xml"});
    Value archive = serializer->encodeWithCoder();
    CHECK(archive["$class"].stringValue() == "NLXMLParserResponseSerializer");
    auto decoded = std::dynamic_pointer_cast<NLXMLParserResponseSerializer>(NLResponseSerializerWithCoder(archive));
    REQUIRE(decoded);
    CHECK(decoded->acceptableContentTypes() == serializer->acceptableContentTypes());
    auto copy = std::dynamic_pointer_cast<NLXMLParserResponseSerializer>(serializer->copy());
    REQUIRE(copy);
    CHECK(copy.get() != serializer.get());
    CHECK(copy->acceptableContentTypes() == serializer->acceptableContentTypes());
    CHECK(copy->acceptableStatusCodes() == serializer->acceptableStatusCodes());

    auto compound = NLCompoundResponseSerializer::compoundSerializerWithResponseSerializers({serializer});
    auto decodedCompound =
        std::dynamic_pointer_cast<NLCompoundResponseSerializer>(NLResponseSerializerWithCoder(compound->encodeWithCoder()));
    REQUIRE(decodedCompound);
    REQUIRE(decodedCompound->responseSerializers().size() == 1);
    CHECK(std::dynamic_pointer_cast<NLXMLParserResponseSerializer>(decodedCompound->responseSerializers()[0]));
}

}
