// NSXMLParser over libxml2's SAX2 push interface: the document is fed in
// pieces, so a large one never becomes a tree in memory.
#include "platform/foundation/NSXMLParser.h"

#include <libxml/globals.h>
#include <libxml/parser.h>
#include <libxml/parserInternals.h>
#include <libxml/SAX2.h>
#include <libxml/xmlIO.h>
#include <libxml/xmlerror.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <mutex>
#include <vector>

struct NSXMLParserBacking {
    NSXMLParser& parser;
    std::shared_ptr<NSXMLParserDelegate> delegate;
    xmlParserCtxtPtr ctxt = nullptr;
    bool failed = false;  // an error was reported; no more events
    // Prefixes mapped per open element, for didEndMappingPrefix.
    std::vector<std::vector<std::string>> mappedPrefixes;

    // Text the document may produce (character data, attribute values, CDATA,
    // comments), as a multiple of its own size: only entity expansion makes
    // more text than the input holds, so a document over this is an expansion
    // attack (nested or one large entity referenced many times).
    std::uint64_t textBudget = 0;

    bool live() const { return delegate && !failed && !parser.aborted_; }

    // Charges `n` bytes of produced text; true when the delegate is to be told.
    bool deliver(std::size_t n) {
        if (failed || parser.aborted_) return false;
        if (n > textBudget) {
            fail(NSXMLParserEntityRefLoopError, "Entity expansion exceeds the size bound of the document",
                 ctxt ? xmlSAX2GetLineNumber(ctxt) : 0, ctxt ? xmlSAX2GetColumnNumber(ctxt) : 0);
            return false;
        }
        textBudget -= n;
        return delegate != nullptr;
    }

    void updatePosition(xmlParserCtxtPtr c) {
        parser.lineNumber_ = xmlSAX2GetLineNumber(c);
        parser.columnNumber_ = xmlSAX2GetColumnNumber(c);
    }

    void fail(long code, std::string message, long line, long column) {
        if (failed || parser.aborted_) return;
        failed = true;
        while (!message.empty() && (message.back() == '\n' || message.back() == ' ')) message.pop_back();
        parser.lineNumber_ = line;
        parser.columnNumber_ = column;
        parser.parserError_ = NSError::errorWithDomain(
            NSXMLParserErrorDomain, code,
            Value{{NSLocalizedDescriptionKey, Value(message)}, {"lineNumber", Value(line)}, {"columnNumber", Value(column)}});
        if (ctxt) xmlStopParser(ctxt);
        if (delegate) delegate->parseErrorOccurred(parser, parser.parserError_);
    }

    static NSXMLParserBacking* from(void* ctx);
};

namespace {

// The backing parsing on this thread (the external entity loader is global,
// so it finds its parse here).
thread_local NSXMLParserBacking* current = nullptr;
xmlExternalEntityLoader previousLoader = nullptr;

xmlParserInputPtr guardedEntityLoader(const char* URL, const char* ID, xmlParserCtxtPtr ctxt) {
    NSXMLParserBacking* backing = current;
    if (!backing) return previousLoader ? previousLoader(URL, ID, ctxt) : nullptr;
    if (backing->parser.shouldResolveExternalEntities()) return xmlNoNetExternalEntityLoader(URL, ID, ctxt);
    backing->fail(NSXMLParserExternalEntityRefusedError,
                  std::string("External entity refused: ") + (URL ? URL : ID ? ID : "(unnamed)"),
                  backing->ctxt ? xmlSAX2GetLineNumber(backing->ctxt) : 0,
                  backing->ctxt ? xmlSAX2GetColumnNumber(backing->ctxt) : 0);
    return nullptr;
}

void installEntityLoader() {
    static std::once_flag once;
    std::call_once(once, [] {
        xmlInitParser();
        previousLoader = xmlGetExternalEntityLoader();
        xmlSetExternalEntityLoader(guardedEntityLoader);
    });
}

std::string str(const xmlChar* s) { return s ? reinterpret_cast<const char*>(s) : std::string(); }
std::string str(const xmlChar* s, int len) {
    return std::string(reinterpret_cast<const char*>(s), static_cast<std::size_t>(std::max(len, 0)));
}
std::string qualified(const xmlChar* prefix, const xmlChar* local) {
    return prefix ? str(prefix) + ":" + str(local) : str(local);
}

void onStartDocument(void* ctx) {
    xmlSAX2StartDocument(ctx);  // keeps the entity declarations of the internal subset
    auto* b = NSXMLParserBacking::from(ctx);
    if (!b->live()) return;
    b->updatePosition(static_cast<xmlParserCtxtPtr>(ctx));
    b->delegate->parserDidStartDocument(b->parser);
}

void onEndDocument(void* ctx) {
    auto* b = NSXMLParserBacking::from(ctx);
    auto* c = static_cast<xmlParserCtxtPtr>(ctx);
    if (!b->live() || !c->wellFormed) return;
    b->updatePosition(c);
    b->delegate->parserDidEndDocument(b->parser);
}

void onStartElement(void* ctx, const xmlChar* localname, const xmlChar* prefix, const xmlChar* URI,
                    int nbNamespaces, const xmlChar** namespaces, int nbAttributes, int /*nbDefaulted*/,
                    const xmlChar** attributes) {
    auto* b = NSXMLParserBacking::from(ctx);
    std::size_t attributeBytes = 0;
    for (int i = 0; i < nbAttributes; ++i) attributeBytes += static_cast<std::size_t>(attributes[5 * i + 4] - attributes[5 * i + 3]);
    if (!b->deliver(attributeBytes)) return;
    b->updatePosition(static_cast<xmlParserCtxtPtr>(ctx));
    const bool processNamespaces = b->parser.shouldProcessNamespaces();
    Value attrs = Value::dictionary();
    if (!processNamespaces)
        for (int i = 0; i < nbNamespaces; ++i) {
            const xmlChar* nsPrefix = namespaces[2 * i];
            attrs.setObject(nsPrefix ? "xmlns:" + str(nsPrefix) : std::string("xmlns"), Value(str(namespaces[2 * i + 1])));
        }
    for (int i = 0; i < nbAttributes; ++i) {
        const xmlChar** a = attributes + 5 * i;
        attrs.setObject(qualified(a[1], a[0]), Value(str(a[3], static_cast<int>(a[4] - a[3]))));
    }
    std::vector<std::string> mapped;
    if (processNamespaces && b->parser.shouldReportNamespacePrefixes())
        for (int i = 0; i < nbNamespaces && b->live(); ++i) {
            std::string nsPrefix = str(namespaces[2 * i]);
            b->delegate->didStartMappingPrefix(b->parser, nsPrefix, str(namespaces[2 * i + 1]));
            mapped.push_back(nsPrefix);
        }
    b->mappedPrefixes.push_back(std::move(mapped));
    if (!b->live()) return;
    if (processNamespaces)
        b->delegate->didStartElement(b->parser, str(localname), str(URI), qualified(prefix, localname), attrs);
    else
        b->delegate->didStartElement(b->parser, qualified(prefix, localname), {}, {}, attrs);
}

void onEndElement(void* ctx, const xmlChar* localname, const xmlChar* prefix, const xmlChar* URI) {
    auto* b = NSXMLParserBacking::from(ctx);
    if (!b->live()) return;
    b->updatePosition(static_cast<xmlParserCtxtPtr>(ctx));
    if (b->parser.shouldProcessNamespaces())
        b->delegate->didEndElement(b->parser, str(localname), str(URI), qualified(prefix, localname));
    else
        b->delegate->didEndElement(b->parser, qualified(prefix, localname), {}, {});
    if (b->mappedPrefixes.empty()) return;
    auto mapped = std::move(b->mappedPrefixes.back());
    b->mappedPrefixes.pop_back();
    for (const auto& p : mapped)
        if (b->live()) b->delegate->didEndMappingPrefix(b->parser, p);
}

void onCharacters(void* ctx, const xmlChar* ch, int len) {
    auto* b = NSXMLParserBacking::from(ctx);
    if (!b->deliver(static_cast<std::size_t>(std::max(len, 0)))) return;
    b->updatePosition(static_cast<xmlParserCtxtPtr>(ctx));
    b->delegate->foundCharacters(b->parser, str(ch, len));
}

void onCDATA(void* ctx, const xmlChar* value, int len) {
    auto* b = NSXMLParserBacking::from(ctx);
    if (!b->deliver(static_cast<std::size_t>(std::max(len, 0)))) return;
    b->updatePosition(static_cast<xmlParserCtxtPtr>(ctx));
    b->delegate->foundCDATA(b->parser, Data(value, value + std::max(len, 0)));
}

void onComment(void* ctx, const xmlChar* value) {
    auto* b = NSXMLParserBacking::from(ctx);
    if (!b->deliver(value ? std::strlen(reinterpret_cast<const char*>(value)) : 0)) return;
    b->updatePosition(static_cast<xmlParserCtxtPtr>(ctx));
    b->delegate->foundComment(b->parser, str(value));
}

void onStructuredError(void* ctx, xmlErrorPtr error) {
    if (!error || error->level != XML_ERR_FATAL) return;  // warnings and recoverable errors go on
    auto* b = NSXMLParserBacking::from(ctx);
    if (!b) b = current;
    if (!b) return;
    b->fail(error->code, error->message ? error->message : "XML error", error->line, error->int2);
}

void quietGenericError(void*, const char*, ...) {}

}  // namespace

NSXMLParserBacking* NSXMLParserBacking::from(void* ctx) {
    auto* c = static_cast<xmlParserCtxtPtr>(ctx);
    return c && c->_private ? static_cast<NSXMLParserBacking*>(c->_private) : current;
}

bool NSXMLParser::parseWithBacking() {
    installEntityLoader();
    NSXMLParserBacking backing{*this, delegate_.lock(), nullptr, false, {}, 0};
    backing.textBudget = 16 * static_cast<std::uint64_t>(data_.size()) + 1024 * 1024;

    xmlSAXHandler sax;
    std::memset(&sax, 0, sizeof sax);
    xmlSAXVersion(&sax, 2);  // the defaults keep entity declarations; the content events are ours
    sax.startDocument = onStartDocument;
    sax.endDocument = onEndDocument;
    sax.startElementNs = onStartElement;
    sax.endElementNs = onEndElement;
    sax.startElement = nullptr;
    sax.endElement = nullptr;
    sax.characters = onCharacters;
    sax.ignorableWhitespace = onCharacters;
    sax.cdataBlock = onCDATA;
    sax.comment = onComment;
    sax.processingInstruction = nullptr;
    sax.reference = nullptr;
    sax.serror = onStructuredError;
    sax.error = nullptr;
    sax.warning = nullptr;
    sax.fatalError = nullptr;

    xmlParserCtxtPtr ctxt = xmlCreatePushParserCtxt(&sax, nullptr, nullptr, 0, nullptr);
    if (!ctxt) {
        parserError_ = NSError::errorWithDomain(NSXMLParserErrorDomain, NSXMLParserInternalError,
                                                Value{{NSLocalizedDescriptionKey, Value("Cannot create a parser")}});
        return false;
    }
    // Internal entities are replaced by their text; external ones go through the
    // guarded loader; nothing is fetched from the network; no size override, so
    // the parser's own expansion limits stay in force.
    xmlCtxtUseOptions(ctxt, XML_PARSE_NOENT | XML_PARSE_NONET);
    ctxt->_private = &backing;
    backing.ctxt = ctxt;
    backing_ = &backing;
    NSXMLParserBacking* outer = current;
    current = &backing;
    // Messages raised outside the parser context (the I/O layer's) would go to
    // stderr; errors reach the caller through parserError() instead.
    xmlGenericErrorFunc previousGeneric = xmlGenericError;
    void* previousGenericContext = xmlGenericErrorContext;
    xmlSetGenericErrorFunc(nullptr, quietGenericError);

    if (data_.empty()) {
        backing.fail(NSXMLParserEmptyDocumentError, "Document is empty", 1, 0);
    } else {
        constexpr std::size_t kChunk = 64 * 1024;
        std::size_t offset = 0;
        while (!backing.failed && !aborted_) {
            std::size_t n = std::min(kChunk, data_.size() - offset);
            bool last = offset + n == data_.size();
            int rc = xmlParseChunk(ctxt, reinterpret_cast<const char*>(data_.data() + offset), static_cast<int>(n),
                                   last ? 1 : 0);
            offset += n;
            if (rc != 0 && !backing.failed && !aborted_) {
                const xmlError* e = xmlCtxtGetLastError(ctxt);
                backing.fail(rc, e && e->message ? e->message : "XML error", e ? e->line : lineNumber_,
                             e ? e->int2 : columnNumber_);
            }
            if (last) break;
        }
        if (!backing.failed && !aborted_ && !ctxt->wellFormed)
            backing.fail(ctxt->errNo ? ctxt->errNo : NSXMLParserInternalError, "Document is not well formed",
                         xmlSAX2GetLineNumber(ctxt), xmlSAX2GetColumnNumber(ctxt));
    }

    xmlSetGenericErrorFunc(previousGenericContext, previousGeneric);
    current = outer;
    backing_ = nullptr;
    if (ctxt->myDoc) xmlFreeDoc(ctxt->myDoc);
    ctxt->myDoc = nullptr;
    xmlFreeParserCtxt(ctxt);
    return !backing.failed && !aborted_;
}

void NSXMLParser::stopBacking() {
    if (auto* backing = static_cast<NSXMLParserBacking*>(backing_); backing && backing->ctxt) xmlStopParser(backing->ctxt);
}
