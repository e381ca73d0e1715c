#include "networking/NLURLResponseSerialization.h"

#include "networking/NLLocalizedString.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <ctime>
#include <cstdlib>
#include <iomanip>
#include <sstream>
#include <typeinfo>

#include "platform/foundation/NSLog.h"
#include "platform/foundation/NSPropertyListSerialization.h"
#include "platform/foundation/NSXMLParser.h"
#include "platform/foundation/ProcessLifetime.h"
#include "platform/uikit/UIScreen.h"

// ---------------------------------------------------------------- helpers

std::optional<NSStringEncoding> NLStringEncodingForIANACharSetName(const std::string& name) {
    return NSStringEncodingForIANACharSetName(name);
}

NSErrorPtr NLUndecodableBodyError(const std::shared_ptr<NSURLResponse>& response, const NLResponseBody& data) {
    std::string charset = "UTF-8";
    if (response && response->textEncodingName() && NLStringEncodingForIANACharSetName(*response->textEncodingName()))
        charset = *response->textEncodingName();
    Value info = Value::dictionary();
    info.setObject(NSLocalizedDescriptionKey, NLLocalizedString("Data failed decoding as a string in its character set"));
    info.setObject(NSLocalizedFailureReasonErrorKey, format(NLLocalizedString("Could not decode the body as %@"), charset));
    if (response) {
        info.setObject(NSURLErrorFailingURLErrorKey, response->URL());
        info.setObject(NLNetworkingOperationFailingURLResponseErrorKey, Value(response));
    }
    if (data) info.setObject(NLNetworkingOperationFailingURLResponseDataErrorKey, Value(*data));
    return NSError::errorWithDomain(NLURLResponseSerializationErrorDomain, NLURLErrorCannotDecodeContentData, info);
}

NSErrorPtr NLErrorWithUnderlyingError(const NSErrorPtr& error, const NSErrorPtr& underlying) {
    if (!error) return underlying;
    if (!underlying || error->userInfo()[NSUnderlyingErrorKey]) return error;
    Value info = error->userInfo().isDictionary() ? error->userInfo().copy() : Value::dictionary();
    info.setObject(NSUnderlyingErrorKey, Value(underlying));
    return NSError::errorWithDomain(error->domain(), error->code(), info);
}

bool NLErrorOrUnderlyingErrorHasCodeInDomain(const NSErrorPtr& error, long code, const std::string& domain) {
    if (!error) return false;
    if (error->domain() == domain && error->code() == code) return true;
    return NLErrorOrUnderlyingErrorHasCodeInDomain(error->underlyingError(), code, domain);
}

namespace {

Value indexSetValue(const std::optional<std::set<long>>& codes) {
    if (!codes) return {};
    ValueArray items;
    for (long c : *codes) items.emplace_back(c);
    return Value(std::move(items));
}

std::optional<std::set<long>> indexSetFrom(const Value& v) {
    if (!v.isArray()) return std::nullopt;
    std::set<long> out;
    for (const auto& item : *v.arrayRef()) out.insert(static_cast<long>(item.integerValue()));
    return out;
}

Value stringSetValue(const std::optional<std::set<std::string>>& types) {
    if (!types) return {};
    ValueArray items;
    for (const auto& t : *types) items.emplace_back(t);
    return Value(std::move(items));
}

std::optional<std::set<std::string>> stringSetFrom(const Value& v) {
    if (!v.isArray()) return std::nullopt;
    std::set<std::string> out;
    for (const auto& item : *v.arrayRef())
        if (const auto* s = item.string()) out.insert(*s);
    return out;
}

Value errorUserInfo(const std::string& description, const std::shared_ptr<NSURLResponse>& response,
                    const NLResponseBody& data) {
    Value info = Value::dictionary();
    info.setObject(NSLocalizedDescriptionKey, description);
    info.setObject(NSURLErrorFailingURLErrorKey, response->URL());
    info.setObject(NLNetworkingOperationFailingURLResponseErrorKey, Value(response));
    if (data) info.setObject(NLNetworkingOperationFailingURLResponseDataErrorKey, Value(*data));
    return info;
}

}  // namespace

// ---------------------------------------------------------------- NLHTTPResponseSerializer

NLHTTPResponseSerializer::NLHTTPResponseSerializer() {
    static ProcessLifetime<std::shared_ptr<const std::optional<std::set<long>>>> successCodes([] {
        std::set<long> codes;
        for (long c = 200; c < 300; ++c) codes.insert(c);
        return std::make_shared<const std::optional<std::set<long>>>(std::move(codes));
    }());
    acceptableStatusCodes_ = *successCodes;
}

std::shared_ptr<NLHTTPResponseSerializer> NLHTTPResponseSerializer::serializer() {
    return std::make_shared<NLHTTPResponseSerializer>();
}

bool NLHTTPResponseSerializer::validateResponse(const std::shared_ptr<NSHTTPURLResponse>& response,
                                                const NLResponseBody& data, NSErrorPtr* error) const {
    if (!response) return true;
    bool valid = true;
    NSErrorPtr validationError;
    const bool hasURL = !response->URL().empty();
    if (acceptableContentTypes_) {
        const auto& mime = response->MIMEType();
        if (!mime || !acceptableContentTypes_->count(*mime)) {
            if (data && !data->empty() && hasURL) {
                auto description = format(NLLocalizedString("Request failed: unacceptable content-type: %@"),
                                          mime ? Value(*mime) : Value());
                validationError = NSError::errorWithDomain(NLURLResponseSerializationErrorDomain,
                                                           NLURLErrorCannotDecodeContentData,
                                                           errorUserInfo(description, response, data));
            }
            valid = false;
        }
    }
    if (const auto& codes = *acceptableStatusCodes_; codes && !codes->count(response->statusCode()) && hasURL) {
        auto description = format(NLLocalizedString("Request failed: %@ (%ld)"),
                                  NSHTTPURLResponse::localizedStringForStatusCode(response->statusCode()),
                                  response->statusCode());
        auto statusError = NSError::errorWithDomain(NLURLResponseSerializationErrorDomain, NLURLErrorBadServerResponse,
                                                    errorUserInfo(description, response, data));
        validationError = NLErrorWithUnderlyingError(statusError, validationError);
        valid = false;
    }
    if (error && !valid) *error = validationError;
    return valid;
}

Value NLHTTPResponseSerializer::responseObjectForResponse(const std::shared_ptr<NSURLResponse>& response,
                                                          const NLResponseBody& data, NSErrorPtr* error) {
    validateResponse(std::dynamic_pointer_cast<NSHTTPURLResponse>(response), data, error);
    return data ? Value(*data) : Value();
}

std::shared_ptr<const Value> NLHTTPResponseSerializer::responseObjectSharingBody(
    const std::shared_ptr<NSURLResponse>& response, const std::shared_ptr<const Value>& body, NSErrorPtr* error) {
    const Data* bytes = body ? body->data() : nullptr;
    // Only this class returns the body as it is; subclasses make objects of their own.
    if (typeid(*this) != typeid(NLHTTPResponseSerializer))
        return std::make_shared<const Value>(responseObjectForResponse(response, bytes, error));
    validateResponse(std::dynamic_pointer_cast<NSHTTPURLResponse>(response), bytes, error);
    return bytes ? body : std::make_shared<const Value>();
}

bool NLHTTPResponseSerializer::passesGate(const std::shared_ptr<NSURLResponse>& response,
                                          const NLResponseBody& data, NSErrorPtr* error) const {
    if (validateResponse(std::dynamic_pointer_cast<NSHTTPURLResponse>(response), data, error)) return true;
    if (!error) return false;
    return !NLErrorOrUnderlyingErrorHasCodeInDomain(*error, NLURLErrorCannotDecodeContentData,
                                                    NLURLResponseSerializationErrorDomain);
}

Value NLHTTPResponseSerializer::encodeWithCoder() const {
    Value archive = Value::dictionary();
    archive.setObject("$class", className());
    archive.setObject("acceptableStatusCodes", indexSetValue(*acceptableStatusCodes_));
    archive.setObject("acceptableContentTypes", stringSetValue(acceptableContentTypes_));
    return archive;
}

void NLHTTPResponseSerializer::decodeWithCoder(const Value& archive) {
    setAcceptableStatusCodes(indexSetFrom(archive["acceptableStatusCodes"]));
    acceptableContentTypes_ = stringSetFrom(archive["acceptableContentTypes"]);
}

std::shared_ptr<NLHTTPResponseSerializer> NLHTTPResponseSerializer::copy() const {
    auto copy = std::make_shared<NLHTTPResponseSerializer>();
    copy->acceptableStatusCodes_ = acceptableStatusCodes_;
    copy->acceptableContentTypes_ = acceptableContentTypes_;
    return copy;
}

// ---------------------------------------------------------------- JSON

namespace {

Value removingNulls(const Value& value) {
    if (value.isArray()) {
        ValueArray out;
        for (const auto& item : *value.arrayRef()) out.push_back(removingNulls(item));
        return Value(std::move(out));
    }
    if (value.isDictionary()) {
        ValueDictionary out;
        for (const auto& [key, item] : *value.dictionaryRef()) {
            if (item.isNull()) continue;
            out.emplace(key, (item.isArray() || item.isDictionary()) ? removingNulls(item) : item);
        }
        return Value(std::move(out));
    }
    return value;
}

}  // namespace

NLJSONResponseSerializer::NLJSONResponseSerializer() {
    setAcceptableContentTypes(std::set<std::string>{"application/json", "text/json", "text/javascript"});
}

std::shared_ptr<NLJSONResponseSerializer> NLJSONResponseSerializer::serializerWithReadingOptions(std::uint64_t options) {
    auto s = std::make_shared<NLJSONResponseSerializer>();
    s->readingOptions_ = options;
    return s;
}

Value NLJSONResponseSerializer::responseObjectForResponse(const std::shared_ptr<NSURLResponse>& response,
                                                          const NLResponseBody& data, NSErrorPtr* error) {
    if (!passesGate(response, data, error)) return {};
    NSStringEncoding encoding = stringEncoding();
    if (response && response->textEncodingName())
        if (auto named = NLStringEncodingForIANACharSetName(*response->textEncodingName())) encoding = *named;

    Value result;
    NSErrorPtr parseError;
    if (data && !data->empty()) {
        if (encoding == NSUTF8StringEncoding) {
            // Already the parser's input: checked, not copied.
            if (!isValidUTF8(std::string_view(reinterpret_cast<const char*>(data->data()), data->size())))
                parseError = NLUndecodableBodyError(response, data);
            else if (!(data->size() == 1 && (*data)[0] == ' '))
                if (auto parsed = NSJSONSerialization::JSONObjectWithData(*data, readingOptions_, &parseError))
                    result = *parsed;
        } else if (std::optional<std::string> text = stringWithData(*data, encoding); !text) {
            // Bytes the named charset does not define: an error, never an empty success.
            parseError = NLUndecodableBodyError(response, data);
        } else if (!text->empty() && *text != " ") {
            // The decoded text is UTF-8 already, so re-encoding it cannot fail here.
            Data utf8(text->begin(), text->end());
            if (auto parsed = NSJSONSerialization::JSONObjectWithData(utf8, readingOptions_, &parseError))
                result = *parsed;
        }
    }
    if (removesKeysWithNullValues_ && result) result = removingNulls(result);
    if (error) *error = NLErrorWithUnderlyingError(parseError, *error);
    return result;
}

Value NLJSONResponseSerializer::encodeWithCoder() const {
    Value archive = NLHTTPResponseSerializer::encodeWithCoder();
    archive.setObject("readingOptions", Value(static_cast<unsigned long long>(readingOptions_)));
    archive.setObject("removesKeysWithNullValues", Value(removesKeysWithNullValues_));
    return archive;
}

void NLJSONResponseSerializer::decodeWithCoder(const Value& archive) {
    NLHTTPResponseSerializer::decodeWithCoder(archive);
    readingOptions_ = archive["readingOptions"].unsignedLongLongValue();
    removesKeysWithNullValues_ = archive["removesKeysWithNullValues"].boolValue();
}

std::shared_ptr<NLHTTPResponseSerializer> NLJSONResponseSerializer::copy() const {
    auto copy = std::make_shared<NLJSONResponseSerializer>();
    copy->readingOptions_ = readingOptions_;
    copy->removesKeysWithNullValues_ = removesKeysWithNullValues_;
    return copy;
}

// ---------------------------------------------------------------- XML

NLXMLParserResponseSerializer::NLXMLParserResponseSerializer() {
    setAcceptableContentTypes(std::set<std::string>{"application/xml", "text/xml"});
}

Value NLXMLParserResponseSerializer::responseObjectForResponse(const std::shared_ptr<NSURLResponse>& response,
                                                               const NLResponseBody& data, NSErrorPtr* error) {
    if (!passesGate(response, data, error)) return {};
    return Value(NSXMLParser::initWithData(data ? *data : Data()));
}

std::shared_ptr<NLHTTPResponseSerializer> NLXMLParserResponseSerializer::copy() const {
    auto copy = std::make_shared<NLXMLParserResponseSerializer>();
    copy->setAcceptableStatusCodes(acceptableStatusCodes());
    copy->setAcceptableContentTypes(acceptableContentTypes());
    return copy;
}

// ---------------------------------------------------------------- property lists


NLPropertyListResponseSerializer::NLPropertyListResponseSerializer() {
    setAcceptableContentTypes(std::set<std::string>{"application/x-plist"});
}

std::shared_ptr<NLPropertyListResponseSerializer> NLPropertyListResponseSerializer::serializerWithFormat(
    std::uint64_t format, std::uint64_t readOptions) {
    auto s = std::make_shared<NLPropertyListResponseSerializer>();
    s->format_ = format;
    s->readOptions_ = readOptions;
    return s;
}

Value NLPropertyListResponseSerializer::responseObjectForResponse(const std::shared_ptr<NSURLResponse>& response,
                                                                  const NLResponseBody& data, NSErrorPtr* error) {
    if (!passesGate(response, data, error)) return {};
    if (!data) return {};
    NSErrorPtr parseError;
    auto parsed = NSPropertyListSerialization::propertyListWithData(*data, readOptions_, nullptr, &parseError);
    if (error) *error = NLErrorWithUnderlyingError(parseError, *error);
    return parsed ? *parsed : Value();
}

Value NLPropertyListResponseSerializer::encodeWithCoder() const {
    Value archive = NLHTTPResponseSerializer::encodeWithCoder();
    archive.setObject("format", Value(static_cast<unsigned long long>(format_)));
    archive.setObject("readOptions", Value(static_cast<unsigned long long>(readOptions_)));
    return archive;
}

void NLPropertyListResponseSerializer::decodeWithCoder(const Value& archive) {
    NLHTTPResponseSerializer::decodeWithCoder(archive);
    format_ = archive["format"].unsignedLongLongValue();
    readOptions_ = archive["readOptions"].unsignedLongLongValue();
}

std::shared_ptr<NLHTTPResponseSerializer> NLPropertyListResponseSerializer::copy() const {
    auto copy = std::make_shared<NLPropertyListResponseSerializer>();
    copy->format_ = format_;
    copy->readOptions_ = readOptions_;
    return copy;
}

// ---------------------------------------------------------------- images

NLImageResponseSerializer::NLImageResponseSerializer() {
    setAcceptableContentTypes(std::set<std::string>{"image/tiff", "image/jpeg", "image/gif", "image/png", "image/ico",
                                                    "image/x-icon", "image/bmp", "image/x-bmp", "image/x-xbitmap",
                                                    "image/x-win-bitmap"});
    imageScale_ = UIScreen::mainScreen()->scale();
}

Value NLImageResponseSerializer::encodeWithCoder() const {
    Value archive = NLHTTPResponseSerializer::encodeWithCoder();
    archive.setObject("imageScale", Value(imageScale_));
    archive.setObject("automaticallyInflatesResponseImage", Value(automaticallyInflatesResponseImage_));
    return archive;
}

void NLImageResponseSerializer::decodeWithCoder(const Value& archive) {
    NLHTTPResponseSerializer::decodeWithCoder(archive);
    imageScale_ = archive["imageScale"].doubleValue();
    automaticallyInflatesResponseImage_ = archive["automaticallyInflatesResponseImage"].boolValue();
}

std::shared_ptr<NLHTTPResponseSerializer> NLImageResponseSerializer::copy() const {
    auto copy = std::make_shared<NLImageResponseSerializer>();
    copy->imageScale_ = imageScale_;
    copy->automaticallyInflatesResponseImage_ = automaticallyInflatesResponseImage_;
    return copy;
}

// ---------------------------------------------------------------- compound

std::shared_ptr<NLCompoundResponseSerializer> NLCompoundResponseSerializer::compoundSerializerWithResponseSerializers(
    SerializerList serializers) {
    auto s = std::make_shared<NLCompoundResponseSerializer>();
    s->responseSerializers_ = std::move(serializers);
    return s;
}

Value NLCompoundResponseSerializer::responseObjectForResponse(const std::shared_ptr<NSURLResponse>& response,
                                                              const NLResponseBody& data, NSErrorPtr* error) {
    for (const auto& member : responseSerializers_) {
        if (!member) continue;
        NSErrorPtr memberError;
        Value object = member->responseObjectForResponse(response, data, &memberError);
        if (object) {
            if (error) *error = NLErrorWithUnderlyingError(memberError, *error);
            return object;
        }
    }
    return NLHTTPResponseSerializer::responseObjectForResponse(response, data, error);
}

Value NLCompoundResponseSerializer::encodeWithCoder() const {
    Value archive = NLHTTPResponseSerializer::encodeWithCoder();
    ValueArray members;
    for (const auto& m : responseSerializers_)
        if (m) members.push_back(m->encodeWithCoder());
    archive.setObject("responseSerializers", Value(std::move(members)));
    return archive;
}

void NLCompoundResponseSerializer::decodeWithCoder(const Value& archive) {
    NLHTTPResponseSerializer::decodeWithCoder(archive);
    responseSerializers_.clear();
    Value members = archive["responseSerializers"];
    if (members.isArray())
        for (const auto& m : *members.arrayRef())
            if (auto s = NLResponseSerializerWithCoder(m)) responseSerializers_.push_back(s);
}

std::shared_ptr<NLHTTPResponseSerializer> NLCompoundResponseSerializer::copy() const {
    auto copy = std::make_shared<NLCompoundResponseSerializer>();
    copy->responseSerializers_ = responseSerializers_;
    return copy;
}

std::shared_ptr<NLHTTPResponseSerializer> NLResponseSerializerWithCoder(const Value& archive) {
    if (!archive.isDictionary()) return nullptr;
    std::string name = archive["$class"].stringValue();
    std::shared_ptr<NLHTTPResponseSerializer> s;
    if (name == "NLHTTPResponseSerializer") s = std::make_shared<NLHTTPResponseSerializer>();
    else if (name == "NLJSONResponseSerializer") s = std::make_shared<NLJSONResponseSerializer>();
    else if (name == "NLXMLParserResponseSerializer") s = std::make_shared<NLXMLParserResponseSerializer>();
    else if (name == "NLPropertyListResponseSerializer") s = std::make_shared<NLPropertyListResponseSerializer>();
    else if (name == "NLImageResponseSerializer") s = std::make_shared<NLImageResponseSerializer>();
    else if (name == "NLCompoundResponseSerializer") s = std::make_shared<NLCompoundResponseSerializer>();
    else return nullptr;
    s->decodeWithCoder(archive);
    return s;
}
