#include "platform/foundation/NSXMLParser.h"

NSXMLParser::NSXMLParser(Data data) : data_(std::move(data)) {}

NSXMLParser::~NSXMLParser() = default;

bool NSXMLParser::parse() {
    if (parsing_) return false;  // re-entered from a delegate method
    if (parsed_) return result_;
    // A delegate may drop its last reference to the parser while being told.
    auto keepAlive = weak_from_this().lock();
    parsing_ = true;
    result_ = parseWithBacking();
    parsing_ = false;
    parsed_ = true;
    return result_;
}

void NSXMLParser::abortParsing() {
    if (aborted_ || !parsing_) return;
    aborted_ = true;
    if (!parserError_)
        parserError_ = NSError::errorWithDomain(NSXMLParserErrorDomain, NSXMLParserDelegateAbortedParseError,
                                                Value{{NSLocalizedDescriptionKey, Value("Parsing was aborted")}});
    stopBacking();
}
