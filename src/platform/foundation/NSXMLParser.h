#pragma once
// An event-driven (SAX-style) XML parser: parse() walks the document once and
// tells the delegate what it meets, in document order.
//
// Safe by default: external entities are never loaded unless
// setShouldResolveExternalEntities(true) is asked for, and even then only
// local ones (never over the network). Entity expansion is bounded; a
// document whose text expands out of proportion to its size ("billion
// laughs", or one large entity referenced many times) fails with
// NSXMLParserEntityRefLoopError instead of eating memory and time.
#include <memory>
#include <string>

#include "platform/foundation/Data.h"
#include "platform/foundation/NSError.h"
#include "platform/foundation/NSObject.h"
#include "platform/foundation/Value.h"

inline constexpr const char* NSXMLParserErrorDomain = "NSXMLParserErrorDomain";
// Codes are the backing parser's; these are the ones callers test for.
inline constexpr long NSXMLParserInternalError = 1;
inline constexpr long NSXMLParserEmptyDocumentError = 4;
inline constexpr long NSXMLParserUndeclaredEntityError = 26;
inline constexpr long NSXMLParserEntityRefLoopError = 89;
inline constexpr long NSXMLParserExternalEntityRefusedError = 1549;  // the backing's "failed to load" code
inline constexpr long NSXMLParserDelegateAbortedParseError = 512;

class NSXMLParser;

// Every method is optional (no-op by default).
class NSXMLParserDelegate {
public:
    virtual ~NSXMLParserDelegate() = default;
    virtual void parserDidStartDocument(NSXMLParser&) {}
    virtual void parserDidEndDocument(NSXMLParser&) {}
    // With namespace processing: the local name, the namespace URI and the
    // qualified name ("prefix:local"). Without: the qualified name as written
    // and empty URI and qualified name. Attributes: a dictionary of qualified
    // attribute names to string values (namespace declarations included only
    // when namespaces are not processed).
    virtual void didStartElement(NSXMLParser&, const std::string& /*elementName*/,
                                 const std::string& /*namespaceURI*/, const std::string& /*qualifiedName*/,
                                 const Value& /*attributes*/) {}
    virtual void didEndElement(NSXMLParser&, const std::string& /*elementName*/,
                               const std::string& /*namespaceURI*/, const std::string& /*qualifiedName*/) {}
    // Only with setShouldReportNamespacePrefixes(true) and namespace processing.
    virtual void didStartMappingPrefix(NSXMLParser&, const std::string& /*prefix*/, const std::string& /*namespaceURI*/) {}
    virtual void didEndMappingPrefix(NSXMLParser&, const std::string& /*prefix*/) {}
    // Text may come in several pieces.
    virtual void foundCharacters(NSXMLParser&, const std::string& /*string*/) {}
    virtual void foundCDATA(NSXMLParser&, const Data& /*CDATABlock*/) {}
    virtual void foundComment(NSXMLParser&, const std::string& /*comment*/) {}
    // Once, for the first fatal error; no events follow it.
    virtual void parseErrorOccurred(NSXMLParser&, const NSErrorPtr& /*parseError*/) {}
};

class NSXMLParser : public NSObject {
public:
    explicit NSXMLParser(Data data);
    ~NSXMLParser() override;
    static std::shared_ptr<NSXMLParser> initWithData(Data data) { return std::make_shared<NSXMLParser>(std::move(data)); }

    std::shared_ptr<NSXMLParserDelegate> delegate() const { return delegate_.lock(); }
    void setDelegate(std::weak_ptr<NSXMLParserDelegate> delegate) { delegate_ = std::move(delegate); }

    bool shouldProcessNamespaces() const { return shouldProcessNamespaces_; }
    void setShouldProcessNamespaces(bool on) { shouldProcessNamespaces_ = on; }
    bool shouldReportNamespacePrefixes() const { return shouldReportNamespacePrefixes_; }
    void setShouldReportNamespacePrefixes(bool on) { shouldReportNamespacePrefixes_ = on; }
    bool shouldResolveExternalEntities() const { return shouldResolveExternalEntities_; }
    void setShouldResolveExternalEntities(bool on) { shouldResolveExternalEntities_ = on; }

    const Data& data() const { return data_; }

    // Parses the whole document, calling the delegate on this thread. True when
    // the document is well formed and parsing was not aborted. A parser parses
    // once; later calls answer the first result without events.
    bool parse();
    // From a delegate method: no further events; parse() fails with
    // NSXMLParserDelegateAbortedParseError.
    void abortParsing();
    NSErrorPtr parserError() const { return parserError_; }

    // The position in the document of the event being reported (1-based), or of
    // the error after a failed parse.
    long lineNumber() const { return lineNumber_; }
    long columnNumber() const { return columnNumber_; }

private:
    friend struct NSXMLParserBacking;
    bool parseWithBacking();  // in the file of the backing library
    void stopBacking();

    Data data_;
    std::weak_ptr<NSXMLParserDelegate> delegate_;
    bool shouldProcessNamespaces_ = false;
    bool shouldReportNamespacePrefixes_ = false;
    bool shouldResolveExternalEntities_ = false;
    bool parsing_ = false;
    bool parsed_ = false;
    bool result_ = false;
    bool aborted_ = false;
    NSErrorPtr parserError_;
    long lineNumber_ = 0;
    long columnNumber_ = 0;
    void* backing_ = nullptr;  // the running parse, while parse() runs
};
