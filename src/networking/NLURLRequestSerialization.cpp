#include "networking/NLURLRequestSerialization.h"

#include <algorithm>
#include <cstdio>

#include "networking/NLLocalizedString.h"
#include "platform/dispatch/Dispatch.h"
#include "platform/foundation/CFStringTransform.h"
#include "platform/foundation/NSBundle.h"
#include "platform/foundation/NSDataBase64.h"
#include "platform/foundation/NSLocale.h"
#include "platform/foundation/NSLog.h"
#include "platform/foundation/ProcessLifetime.h"
#include "platform/runloop/NSRunLoop.h"
#include "platform/uikit/UIDevice.h"
#include "platform/uikit/UIScreen.h"

namespace {

// Legal URL characters that query fields and values escape all the same.
constexpr std::string_view kCharactersToBeEscapedInQueryString = ":/?&=;+!@#$()',*";
constexpr std::string_view kCharactersToLeaveUnescapedInQueryStringPairKey = "[].";

NSErrorPtr serializationError(const std::string& description, const NSErrorPtr& underlying = nullptr) {
    Value info{{NSLocalizedDescriptionKey, Value(NLLocalizedString(description))}};
    if (underlying) info.setObject(NSUnderlyingErrorKey, Value(underlying));
    return NSError::errorWithDomain(NLURLRequestSerializationErrorDomain, NLURLRequestSerializationErrorCode, info);
}

void appendPairs(const std::optional<std::string>& key, const Value& value, NLQueryStringPairs& pairs) {
    if (auto dictionary = value.dictionaryRef()) {
        std::vector<std::string> keys;
        for (const auto& [k, v] : *dictionary) keys.push_back(k);
        std::stable_sort(keys.begin(), keys.end(),
                         [](const std::string& a, const std::string& b) { return compare(a, b) == NSOrderedAscending; });
        for (const auto& nestedKey : keys)
            appendPairs(key ? *key + "[" + nestedKey + "]" : nestedKey, dictionary->at(nestedKey), pairs);
    } else if (auto array = value.arrayRef()) {
        for (const auto& element : *array) appendPairs(key.value_or("") + "[]", element, pairs);
    } else {
        pairs.push_back(NLQueryStringPair::initWithField(key ? Value(*key) : Value(), value));
    }
}

std::string uppercaseASCII(std::string s) {
    for (auto& c : s)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return s;
}

bool isASCII(const std::string& s) {
    return std::all_of(s.begin(), s.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

}  // namespace

// ---- Query strings ----------------------------------------------------------------

std::optional<std::string> NLQueryStringPair::URLEncodedStringValueWithEncoding(NSStringEncoding encoding) const {
    auto escapedField = stringByAddingPercentEscapes(field.description(), encoding, kCharactersToBeEscapedInQueryString,
                                                     kCharactersToLeaveUnescapedInQueryStringPairKey);
    if (!escapedField) return std::nullopt;
    if (value.isNull()) return escapedField;
    auto escapedValue = stringByAddingPercentEscapes(value.description(), encoding, kCharactersToBeEscapedInQueryString);
    if (!escapedValue) return std::nullopt;
    return *escapedField + "=" + *escapedValue;
}

NLQueryStringPairs NLQueryStringPairsFromKeyAndValue(const std::optional<std::string>& key,
                                                                 const Value& value) {
    NLQueryStringPairs pairs;
    appendPairs(key, value, pairs);
    return pairs;
}

std::optional<NLQueryStringPairs> NLQueryStringPairsFromDictionary(const Value& parameters) {
    if (!parameters.isDictionary()) return std::nullopt;
    return NLQueryStringPairsFromKeyAndValue(std::nullopt, parameters);
}

std::optional<std::string> NLQueryStringFromParametersWithEncoding(const Value& parameters, NSStringEncoding encoding,
                                                                   NSErrorPtr* error) {
    auto pairs = NLQueryStringPairsFromDictionary(parameters);
    if (!pairs) {
        if (error) *error = serializationError("The parameters of a request must be a dictionary.");
        return std::nullopt;
    }
    std::vector<std::string> components;
    for (const auto& pair : *pairs) {
        auto component = pair->URLEncodedStringValueWithEncoding(encoding);
        if (!component) {
            if (error) *error = serializationError("The parameters cannot be represented in the request's string encoding.");
            return std::nullopt;
        }
        components.push_back(std::move(*component));
    }
    return componentsJoinedByString(components, "&");
}

// ---- NLHTTPRequestSerializer --------------------------------------------------------

const std::vector<std::string>& NLHTTPRequestSerializer::observedKeyPaths() {
    static ProcessLifetime<const std::vector<std::string>> keyPaths(std::vector<std::string>{
        "allowsCellularAccess", "cachePolicy", "HTTPShouldHandleCookies", "HTTPShouldUsePipelining",
        "networkServiceType", "timeoutInterval"});
    return *keyPaths;
}

std::string NLHTTPRequestSerializer::acceptLanguageForLanguages(const std::vector<std::string>& languages) {
    std::vector<std::string> entries;
    for (std::size_t i = 0; i < languages.size(); ++i) {
        float q = 1.0f + static_cast<float>(i) * -0.1f;
        char quality[16];
        std::snprintf(quality, sizeof quality, "%0.1g", static_cast<double>(q));
        entries.push_back(languages[i] + ";q=" + quality);
        if (q <= 0.5f) break;
    }
    return componentsJoinedByString(entries, ", ");
}

std::string NLHTTPRequestSerializer::userAgentForBundle(const NSBundle& bundle) {
    auto info = bundle.infoDictionary();
    Value executable = info["CFBundleExecutable"];
    if (executable.isNull()) executable = Value(bundle.bundleIdentifier());
    Value version = info["CFBundleShortVersionString"];
    if (version.isNull()) version = info["CFBundleVersion"];
    char scale[32];
    std::snprintf(scale, sizeof scale, "%0.2f", static_cast<double>(UIScreen::mainScreen()->scale()));
    auto userAgent = format("%@/%@ (%@; iOS %@; Scale/%@)", executable, version, UIDevice::currentDevice()->model(),
                            UIDevice::currentDevice()->systemVersion(), std::string(scale));
    if (isASCII(userAgent)) return userAgent;
    if (auto folded = CFStringTransform(userAgent, "Any-Latin; Latin-ASCII; [:^ASCII:] Remove")) return *folded;
    return userAgent;
}

NLHTTPRequestSerializer::NLHTTPRequestSerializer() {
    setValue(acceptLanguageForLanguages(NSLocale::preferredLanguages()), "Accept-Language");
    setValue(userAgentForBundle(*NSBundle::mainBundle()), "User-Agent");
    for (const auto& keyPath : observedKeyPaths()) {
        // The token lives and dies with this object, so the observer never outlives it.
        observations_.push_back(observeValueForKey(
            keyPath, [this](const std::string& key) { mutableObservedChangedKeyPaths_.insert(key); }));
    }
}

NLHTTPRequestSerializer::~NLHTTPRequestSerializer() { observations_.clear(); }

void NLHTTPRequestSerializer::setAllowsCellularAccess(bool allows) {
    setObserved("allowsCellularAccess", allowsCellularAccess_, allows);
}
void NLHTTPRequestSerializer::setCachePolicy(NSURLRequestCachePolicy policy) {
    setObserved("cachePolicy", cachePolicy_, policy);
}
void NLHTTPRequestSerializer::setHTTPShouldHandleCookies(bool handle) {
    setObserved("HTTPShouldHandleCookies", HTTPShouldHandleCookies_, handle);
}
void NLHTTPRequestSerializer::setHTTPShouldUsePipelining(bool pipelining) {
    setObserved("HTTPShouldUsePipelining", HTTPShouldUsePipelining_, pipelining);
}
void NLHTTPRequestSerializer::setNetworkServiceType(NSURLRequestNetworkServiceType type) {
    setObserved("networkServiceType", networkServiceType_, type);
}
void NLHTTPRequestSerializer::setTimeoutInterval(double seconds) {
    setObserved("timeoutInterval", timeoutInterval_, seconds);
}

void NLHTTPRequestSerializer::setValue(const std::optional<std::string>& value, const std::string& field) {
    mutableHTTPRequestHeaders_.erase(field);
    if (value) mutableHTTPRequestHeaders_.emplace(field, *value);
}

std::optional<std::string> NLHTTPRequestSerializer::valueForHTTPHeaderField(const std::string& field) const {
    return headerValue(mutableHTTPRequestHeaders_, field);
}

void NLHTTPRequestSerializer::setAuthorizationHeaderFieldWithUsername(const std::string& username,
                                                                      const std::string& password) {
    auto credentials = format("%@:%@", username, password);
    setValue(format("Basic %@", base64EncodeRFC4648(Data(credentials.begin(), credentials.end()))), "Authorization");
}

void NLHTTPRequestSerializer::setAuthorizationHeaderFieldWithToken(const std::string& token) {
    setValue(format("Token token=\"%@\"", token), "Authorization");
}

void NLHTTPRequestSerializer::clearAuthorizationHeader() { mutableHTTPRequestHeaders_.erase("Authorization"); }

void NLHTTPRequestSerializer::setQueryStringSerializationWithStyle(NLHTTPRequestQueryStringSerializationStyle style) {
    style_ = style;
    queryStringSerialization_ = nullptr;
}

void NLHTTPRequestSerializer::setQueryStringSerializationWithBlock(NLQueryStringSerializationBlock block) {
    queryStringSerialization_ = std::move(block);
}

std::shared_ptr<NSMutableURLRequest> NLHTTPRequestSerializer::requestWithMethod(const std::string& method,
                                                                               const std::string& URLString,
                                                                               const Value& parameters,
                                                                               NSErrorPtr* error) {
    auto url = NSURL::URLWithString(URLString);
    if (!url) {
        if (error) {
            *error = serializationError("The URL string does not form a URL.");
            Value info = (*error)->userInfo().copy();
            info.setObject(NSURLErrorFailingURLStringErrorKey, Value(URLString));
            *error = NSError::errorWithDomain((*error)->domain(), (*error)->code(), info);
        }
        return nullptr;
    }
    auto request = std::make_shared<NSMutableURLRequest>(url->absoluteString());
    request->setHTTPMethod(method);
    for (const auto& keyPath : observedKeyPaths()) {
        if (!mutableObservedChangedKeyPaths_.count(keyPath)) continue;
        if (keyPath == "allowsCellularAccess") request->setAllowsCellularAccess(allowsCellularAccess_);
        else if (keyPath == "cachePolicy") request->setCachePolicy(cachePolicy_);
        else if (keyPath == "HTTPShouldHandleCookies") request->setHTTPShouldHandleCookies(HTTPShouldHandleCookies_);
        else if (keyPath == "HTTPShouldUsePipelining") request->setHTTPShouldUsePipelining(HTTPShouldUsePipelining_);
        else if (keyPath == "networkServiceType") request->setNetworkServiceType(networkServiceType_);
        else if (keyPath == "timeoutInterval") request->setTimeoutInterval(timeoutInterval_);
    }
    auto serialized = requestBySerializingRequest(request, parameters, error);
    return serialized ? serialized->mutableCopy() : nullptr;
}

std::shared_ptr<NSMutableURLRequest> NLHTTPRequestSerializer::copyWithDefaultHeaders(const NSURLRequest& request) const {
    auto mutableRequest = request.mutableCopy();
    for (const auto& [field, value] : mutableHTTPRequestHeaders_)
        if (!request.valueForHTTPHeaderField(field)) mutableRequest->setValue(value, field);
    return mutableRequest;
}

bool NLHTTPRequestSerializer::encodesParametersInURI(const NSURLRequest& request) const {
    return HTTPMethodsEncodingParametersInURI.count(uppercaseASCII(request.HTTPMethod())) > 0;
}

std::shared_ptr<NSMutableURLRequest> NLHTTPRequestSerializer::requestBySerializingRequest(
    const std::shared_ptr<NSURLRequest>& request, const Value& parameters, NSErrorPtr* error) {
    if (!request) {
        if (error) *error = serializationError("The URL string does not form a URL.");
        return nullptr;
    }
    auto mutableRequest = copyWithDefaultHeaders(*request);
    if (parameters.isNull()) return mutableRequest;

    std::optional<std::string> query;
    if (queryStringSerialization_) {
        NSErrorPtr serializationFailure;
        query = queryStringSerialization_(request, parameters, &serializationFailure);
        if (serializationFailure) {
            if (error) *error = serializationFailure;
            return nullptr;
        }
    } else if (style_ == NLHTTPRequestQueryStringDefaultStyle) {
        NSErrorPtr serializationFailure;
        query = NLQueryStringFromParametersWithEncoding(parameters, stringEncoding, &serializationFailure);
        if (!query) {
            if (error) *error = serializationFailure;
            return nullptr;
        }
    }
    // A style without a query string (or a callback that gave none) adds nothing.
    if (!query) return mutableRequest;

    if (encodesParametersInURI(*request)) {
        std::string url = mutableRequest->URL();
        // The query goes before any fragment, where a URL keeps it.
        auto hash = url.find('#');
        std::string fragment = hash == std::string::npos ? "" : url.substr(hash);
        std::string base = url.substr(0, hash);
        bool hasQuery = base.find('?') != std::string::npos;
        mutableRequest->setURL(base + (hasQuery ? "&" : "?") + *query + fragment);
    } else {
        auto body = dataUsingEncoding(*query, stringEncoding);
        if (!body) {
            if (error) *error = serializationError("The parameters cannot be represented in the request's string encoding.");
            return nullptr;
        }
        if (!mutableRequest->valueForHTTPHeaderField("Content-Type"))
            mutableRequest->setValue("application/x-www-form-urlencoded", "Content-Type");
        mutableRequest->setHTTPBody(std::move(*body));
    }
    return mutableRequest;
}

std::shared_ptr<NSMutableURLRequest> NLHTTPRequestSerializer::multipartFormRequestWithMethod(
    const std::string& method, const std::string& URLString, const Value& parameters,
    const NLMultipartConstructingBlock& block, NSErrorPtr* error) {
    auto request = requestWithMethod(method, URLString, Value(), error);
    if (!request) return nullptr;
    auto formData = NLStreamingMultipartFormData::initWithURLRequest(request, NSUTF8StringEncoding);
    if (!parameters.isNull()) {
        auto pairs = NLQueryStringPairsFromDictionary(parameters);
        if (!pairs) {
            if (error) *error = serializationError("The parameters of a request must be a dictionary.");
            return nullptr;
        }
        for (const auto& pair : *pairs) {
            std::optional<Data> data;
            if (const Data* bytes = pair->value.data()) data = *bytes;
            else if (pair->value.isNull()) data = Data();
            else data = dataUsingEncoding(pair->value.description(), stringEncoding);
            if (!data) {
                // Leaving the field out would send a form that silently lacks it.
                if (error)
                    *error = serializationError("The parameters cannot be represented in the request's string encoding.");
                return nullptr;
            }
            formData->appendPartWithFormData(*data, pair->field.description());
        }
    }
    if (block) block(formData);
    return formData->requestByFinalizingMultipartFormData();
}

std::shared_ptr<NSMutableURLRequest> NLHTTPRequestSerializer::requestWithMultipartFormRequest(
    const std::shared_ptr<NSURLRequest>& request, const NSURLPtr& fileURL,
    std::function<void(const NSErrorPtr& error)> completionHandler) {
    auto mutableRequest = request->mutableCopy();
    auto inputStream = request->HTTPBodyStream();
    if (!inputStream) return mutableRequest;
    mutableRequest->setHTTPBodyStream(nullptr);

    auto finish = [completionHandler](NSErrorPtr error) {
        if (!completionHandler) return;
        dispatch_async(dispatch_get_main_queue(), [completionHandler, error] { completionHandler(error); });
    };
    if (!fileURL || !fileURL->isFileURL()) {
        Value info{{NSLocalizedFailureReasonErrorKey, Value(NLLocalizedString("Expected URL to be a file URL"))}};
        finish(NSError::errorWithDomain(NLURLRequestSerializationErrorDomain, NLURLRequestSerializationErrorCode, info));
        return mutableRequest;
    }
    auto outputStream = NSOutputStream::outputStreamToFileAtPath(fileURL->path(), false);
    dispatch_async(dispatch_get_global_queue(DISPATCH_QUEUE_PRIORITY_DEFAULT, 0), [inputStream, outputStream, finish] {
        auto runLoop = NSRunLoop::currentRunLoop();
        inputStream->scheduleInRunLoop(runLoop, NSDefaultRunLoopMode);
        outputStream->scheduleInRunLoop(runLoop, NSDefaultRunLoopMode);
        inputStream->open();
        outputStream->open();

        NSErrorPtr error;
        auto streamFailure = [](const std::shared_ptr<NSStream>& stream) {
            if (auto e = stream->streamError()) return e;
            return NSError::make(NSPOSIXErrorDomain, EIO, "The stream failed without naming an error.");
        };
        if (outputStream->streamStatus() == NSStreamStatusError) error = streamFailure(outputStream);
        if (inputStream->streamStatus() == NSStreamStatusError) error = streamFailure(inputStream);

        std::uint8_t buffer[1024];
        while (!error && inputStream->hasBytesAvailable() && outputStream->hasSpaceAvailable()) {
            long bytesRead = inputStream->read(buffer, sizeof buffer);
            if (inputStream->streamError() || bytesRead < 0) {
                error = streamFailure(inputStream);
                break;
            }
            if (bytesRead == 0) break;
            // Every byte read is written, however many writes that takes.
            long written = 0;
            while (written < bytesRead) {
                long n = outputStream->write(buffer + written, static_cast<std::size_t>(bytesRead - written));
                if (outputStream->streamError() || n < 0) {
                    error = streamFailure(outputStream);
                    break;
                }
                if (n == 0) {
                    error = NSError::make(NSPOSIXErrorDomain, ENOSPC, "The file stream took no more bytes.");
                    break;
                }
                written += n;
            }
        }
        outputStream->close();
        inputStream->close();
        finish(error);
    });
    return mutableRequest;
}

Value NLHTTPRequestSerializer::encodeWithCoder() const {
    Value headers = Value::dictionary();
    for (const auto& [field, value] : mutableHTTPRequestHeaders_) headers.setObject(field, Value(value));
    return Value{{"mutableHTTPRequestHeaders", headers},
                 {"queryStringSerializationStyle", Value(static_cast<unsigned long>(style_))}};
}

void NLHTTPRequestSerializer::initWithCoder(const Value& archive) {
    if (auto headers = archive["mutableHTTPRequestHeaders"].dictionaryRef()) {
        mutableHTTPRequestHeaders_.clear();
        for (const auto& [field, value] : *headers)
            if (value.isString()) mutableHTTPRequestHeaders_.emplace(field, *value.string());
    }
    Value style = archive["queryStringSerializationStyle"];
    if (style.isNumber()) style_ = static_cast<NLHTTPRequestQueryStringSerializationStyle>(style.unsignedLongLongValue());
}

void NLHTTPRequestSerializer::copyInto(NLHTTPRequestSerializer& other) const {
    other.mutableHTTPRequestHeaders_ = mutableHTTPRequestHeaders_;
    other.style_ = style_;
    other.queryStringSerialization_ = queryStringSerialization_;
}

std::shared_ptr<NLHTTPRequestSerializer> NLHTTPRequestSerializer::copy() const {
    auto serializer = std::make_shared<NLHTTPRequestSerializer>();
    copyInto(*serializer);
    return serializer;
}

std::shared_ptr<NSMutableURLRequest> NLHTTPRequestSerializer::requestWithEncodedBody(
    const std::shared_ptr<NSURLRequest>& request, const Value& parameters, NSErrorPtr* error,
    const std::string& contentType, const std::string& failure, const BodyEncoder& encode) {
    if (!request || encodesParametersInURI(*request))
        return NLHTTPRequestSerializer::requestBySerializingRequest(request, parameters, error);
    auto mutableRequest = copyWithDefaultHeaders(*request);
    if (parameters.isNull()) return mutableRequest;
    NSErrorPtr platformError;
    auto body = encode(parameters, &platformError);
    if (!body) {
        if (error) *error = serializationError(failure, platformError);
        return nullptr;
    }
    if (!mutableRequest->valueForHTTPHeaderField("Content-Type")) mutableRequest->setValue(contentType, "Content-Type");
    mutableRequest->setHTTPBody(std::move(*body));
    return mutableRequest;
}

// ---- NLJSONRequestSerializer --------------------------------------------------------

std::shared_ptr<NLJSONRequestSerializer> NLJSONRequestSerializer::serializerWithWritingOptions(
    unsigned long writingOptions) {
    auto serializer = std::make_shared<NLJSONRequestSerializer>();
    serializer->writingOptions = writingOptions;
    return serializer;
}

std::shared_ptr<NSMutableURLRequest> NLJSONRequestSerializer::requestBySerializingRequest(
    const std::shared_ptr<NSURLRequest>& request, const Value& parameters, NSErrorPtr* error) {
    // The platform refuses what JSON cannot carry (data, dates, NaN, a bare
    // scalar) with its own error, kept as the underlying one.
    return requestWithEncodedBody(
        request, parameters, error, "application/json", "The parameters could not be written as JSON.",
        [this](const Value& p, NSErrorPtr* e) { return NSJSONSerialization::dataWithJSONObject(p, writingOptions, e); });
}

Value NLJSONRequestSerializer::encodeWithCoder() const {
    Value archive = NLHTTPRequestSerializer::encodeWithCoder();
    archive.setObject("writingOptions", Value(writingOptions));
    return archive;
}

void NLJSONRequestSerializer::initWithCoder(const Value& archive) {
    NLHTTPRequestSerializer::initWithCoder(archive);
    Value options = archive["writingOptions"];
    if (options.isNumber()) writingOptions = static_cast<unsigned long>(options.unsignedLongLongValue());
}

std::shared_ptr<NLHTTPRequestSerializer> NLJSONRequestSerializer::copy() const {
    auto serializer = std::make_shared<NLJSONRequestSerializer>();
    copyInto(*serializer);
    serializer->writingOptions = writingOptions;
    return serializer;
}

// ---- NLPropertyListRequestSerializer ------------------------------------------------

std::shared_ptr<NLPropertyListRequestSerializer> NLPropertyListRequestSerializer::serializerWithFormat(
    NSPropertyListFormat format, unsigned long writeOptions) {
    auto serializer = std::make_shared<NLPropertyListRequestSerializer>();
    serializer->format = format;
    serializer->writeOptions = writeOptions;
    return serializer;
}

std::shared_ptr<NSMutableURLRequest> NLPropertyListRequestSerializer::requestBySerializingRequest(
    const std::shared_ptr<NSURLRequest>& request, const Value& parameters, NSErrorPtr* error) {
    return requestWithEncodedBody(request, parameters, error, "application/x-plist",
                                  "The parameters could not be written as a property list.",
                                  [this](const Value& p, NSErrorPtr* e) {
                                      return NSPropertyListSerialization::dataWithPropertyList(p, format, writeOptions, e);
                                  });
}

Value NLPropertyListRequestSerializer::encodeWithCoder() const {
    Value archive = NLHTTPRequestSerializer::encodeWithCoder();
    archive.setObject("format", Value(static_cast<unsigned long>(format)));
    archive.setObject("writeOptions", Value(writeOptions));
    return archive;
}

void NLPropertyListRequestSerializer::initWithCoder(const Value& archive) {
    NLHTTPRequestSerializer::initWithCoder(archive);
    Value f = archive["format"];
    if (f.isNumber()) format = static_cast<NSPropertyListFormat>(f.unsignedLongLongValue());
    Value options = archive["writeOptions"];
    if (options.isNumber()) writeOptions = static_cast<unsigned long>(options.unsignedLongLongValue());
}

std::shared_ptr<NLHTTPRequestSerializer> NLPropertyListRequestSerializer::copy() const {
    auto serializer = std::make_shared<NLPropertyListRequestSerializer>();
    copyInto(*serializer);
    serializer->format = format;
    serializer->writeOptions = writeOptions;
    return serializer;
}
