// The event-driven XML parser. The first byte picks namespace processing and
// prefix reports; the rest is the document. External entities stay off (the
// default), so no input reaches the file system. Events must come in a
// well-formed order: ends match starts, nothing follows an error.
#include <vector>

#include "Harnesses.h"
#include "platform/foundation/NSXMLParser.h"
#include "support/FuzzSupport.h"

namespace fuzz::xml {
namespace {

class Recorder : public NSXMLParserDelegate {
public:
    void parserDidStartDocument(NSXMLParser&) override { afterError(); }
    void parserDidEndDocument(NSXMLParser&) override {
        afterError();
        ended_ = true;
    }
    void didStartElement(NSXMLParser&, const std::string& name, const std::string&, const std::string&,
                         const Value& attributes) override {
        afterError();
        check(attributes.isDictionary() || attributes.isNull(), "element attributes are not a dictionary");
        open_.push_back(name);
    }
    void didEndElement(NSXMLParser&, const std::string& name, const std::string&, const std::string&) override {
        afterError();
        check(!open_.empty() && open_.back() == name, "an element ended that was not the open one");
        open_.pop_back();
    }
    void foundCharacters(NSXMLParser&, const std::string&) override { afterError(); }
    void foundCDATA(NSXMLParser&, const Data&) override { afterError(); }
    void foundComment(NSXMLParser&, const std::string&) override { afterError(); }
    void parseErrorOccurred(NSXMLParser&, const NSErrorPtr& error) override {
        check(error != nullptr, "a parse error came without an error");
        check(!failed_, "a second parse error was reported");
        failed_ = true;
    }
    bool failed() const { return failed_; }
    bool balanced() const { return open_.empty() && ended_; }

private:
    void afterError() const { check(!failed_, "an event followed the parse error"); }
    std::vector<std::string> open_;
    bool failed_ = false;
    bool ended_ = false;
};

}  // namespace

int fuzzOne(const std::uint8_t* data, std::size_t size) {
    ByteReader input(data, size);
    std::uint8_t mode = input.take();
    auto parser = NSXMLParser::initWithData(input.restAsData());
    auto recorder = std::make_shared<Recorder>();
    parser->setDelegate(recorder);
    parser->setShouldProcessNamespaces(mode & 1);
    parser->setShouldReportNamespacePrefixes(mode & 2);
    bool ok = parser->parse();
    if (ok) {
        check(!recorder->failed(), "a parse that succeeded reported an error");
        check(recorder->balanced(), "a parse that succeeded left elements open");
    } else {
        check(parser->parserError() != nullptr, "a failed parse has no error");
    }
    check(parser->parse() == ok, "a second parse answered differently");
    return 0;
}

}  // namespace fuzz::xml
