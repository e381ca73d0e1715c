#pragma once
// Request serializers: turn a method, a URL string and parameters into a
// mutable URL request with the serializer's default header fields and the
// request properties its owner set. NLHTTPRequestSerializer writes query
// strings and form bodies (and starts multipart requests);
// NLJSONRequestSerializer and NLPropertyListRequestSerializer write a JSON or
// property-list body instead.
//
// Errors are in NLURLRequestSerializationErrorDomain with code -1000
// (NSURLErrorBadURL); a platform error that caused one is kept under
// NSUnderlyingErrorKey. Unlike a silently broken request, bad input (a URL
// string that forms no URL, parameters that cannot be encoded, a body that
// cannot be written) gives no request and an error.
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "networking/NLStreamingMultipartFormData.h"
#include "platform/foundation/NSError.h"
#include "platform/foundation/NSJSONSerialization.h"
#include "platform/foundation/NSObject.h"
#include "platform/foundation/NSPropertyListSerialization.h"
#include "platform/foundation/NSString.h"
#include "platform/foundation/NSURL.h"
#include "platform/foundation/Value.h"
#include "platform/net/HTTPHeaderFields.h"
#include "platform/net/NSURLRequest.h"

class NSBundle;

inline constexpr const char* NLURLRequestSerializationErrorDomain = "com.netline.error.serialization.request";
inline constexpr long NLURLRequestSerializationErrorCode = -1000;

// ---- Query strings ----------------------------------------------------------------

// One field and value of flattened parameters; a null value is a field without value.
class NLQueryStringPair : public NSObject {
public:
    NLQueryStringPair(Value field, Value value) : field(std::move(field)), value(std::move(value)) {}
    static std::shared_ptr<NLQueryStringPair> initWithField(Value field, Value value) {
        return std::make_shared<NLQueryStringPair>(std::move(field), std::move(value));
    }
    Value field;
    Value value;
    // "field=value" with both escaped (brackets and points stay in the field), or
    // the field alone for a null value; nullopt when the text cannot be
    // represented in the encoding.
    std::optional<std::string> URLEncodedStringValueWithEncoding(NSStringEncoding encoding) const;
};

// Flattens parameters: dictionary keys sorted at every level ("a[b]"), array
// elements in order ("a[]"). Top-level parameters must be a dictionary: for
// anything else nullopt.
using NLQueryStringPairs = std::vector<std::shared_ptr<NLQueryStringPair>>;
std::optional<NLQueryStringPairs> NLQueryStringPairsFromDictionary(const Value& parameters);
NLQueryStringPairs NLQueryStringPairsFromKeyAndValue(const std::optional<std::string>& key,
                                                                 const Value& value);
// The escaped pairs joined by "&"; nullopt with an error for parameters that are
// not a dictionary or cannot be represented in the encoding.
std::optional<std::string> NLQueryStringFromParametersWithEncoding(const Value& parameters, NSStringEncoding encoding,
                                                                   NSErrorPtr* error = nullptr);

// ---- The serializer interface -----------------------------------------------------

class NLURLRequestSerialization {
public:
    virtual ~NLURLRequestSerialization() = default;
    // A new request from the one given (which is not changed) with the
    // parameters encoded; null with an error when they cannot be.
    virtual std::shared_ptr<NSMutableURLRequest> requestBySerializingRequest(const std::shared_ptr<NSURLRequest>& request,
                                                                            const Value& parameters,
                                                                            NSErrorPtr* error) = 0;
    // Keyed archiving: the archive is a dictionary under the property names.
    static bool supportsSecureCoding() { return true; }
    virtual Value encodeWithCoder() const = 0;
};

enum NLHTTPRequestQueryStringSerializationStyle : unsigned long {
    NLHTTPRequestQueryStringDefaultStyle = 0,
};

using NLQueryStringSerializationBlock =
    std::function<std::optional<std::string>(const std::shared_ptr<NSURLRequest>& request, const Value& parameters,
                                             NSErrorPtr* error)>;
using NLMultipartConstructingBlock = std::function<void(const std::shared_ptr<NLMultipartFormData>& formData)>;

class NLHTTPRequestSerializer : public NSObject, public NLURLRequestSerialization {
public:
    NLHTTPRequestSerializer();  // init
    ~NLHTTPRequestSerializer() override;
    static std::shared_ptr<NLHTTPRequestSerializer> serializer() { return std::make_shared<NLHTTPRequestSerializer>(); }

    NSStringEncoding stringEncoding = NSUTF8StringEncoding;

    // The observed request properties: each is copied into new requests only
    // after it was set on the serializer (to any value, its current one included).
    bool allowsCellularAccess() const { return allowsCellularAccess_; }
    void setAllowsCellularAccess(bool allows);
    NSURLRequestCachePolicy cachePolicy() const { return cachePolicy_; }
    void setCachePolicy(NSURLRequestCachePolicy policy);
    bool HTTPShouldHandleCookies() const { return HTTPShouldHandleCookies_; }
    void setHTTPShouldHandleCookies(bool handle);
    bool HTTPShouldUsePipelining() const { return HTTPShouldUsePipelining_; }
    void setHTTPShouldUsePipelining(bool pipelining);
    NSURLRequestNetworkServiceType networkServiceType() const { return networkServiceType_; }
    void setNetworkServiceType(NSURLRequestNetworkServiceType type);
    double timeoutInterval() const { return timeoutInterval_; }
    void setTimeoutInterval(double seconds);
    // The key paths above, in the order they are applied.
    static const std::vector<std::string>& observedKeyPaths();
    const std::set<std::string>& mutableObservedChangedKeyPaths() const { return mutableObservedChangedKeyPaths_; }

    // Default header fields.
    HTTPHeaderFields HTTPRequestHeaders() const { return mutableHTTPRequestHeaders_; }
    void setValue(const std::optional<std::string>& value, const std::string& field);
    std::optional<std::string> valueForHTTPHeaderField(const std::string& field) const;
    void setAuthorizationHeaderFieldWithUsername(const std::string& username, const std::string& password);
    void setAuthorizationHeaderFieldWithToken(const std::string& token);
    void clearAuthorizationHeader();

    // "Accept-Language" for the languages: q from 1 down by 0.1, at most six.
    static std::string acceptLanguageForLanguages(const std::vector<std::string>& languages);
    // "User-Agent" from the bundle's executable name and version, the device
    // model, the system version and the screen scale, folded to ASCII.
    static std::string userAgentForBundle(const NSBundle& bundle);

    // Methods whose parameters go into the URL query (default GET, HEAD, DELETE).
    std::set<std::string> HTTPMethodsEncodingParametersInURI = {"GET", "HEAD", "DELETE"};

    NLHTTPRequestQueryStringSerializationStyle queryStringSerializationStyle() const { return style_; }
    // Any style but the default one writes no query string.
    void setQueryStringSerializationWithStyle(NLHTTPRequestQueryStringSerializationStyle style);
    void setQueryStringSerializationWithBlock(NLQueryStringSerializationBlock block);
    const NLQueryStringSerializationBlock& queryStringSerialization() const { return queryStringSerialization_; }

    std::shared_ptr<NSMutableURLRequest> requestWithMethod(const std::string& method, const std::string& URLString,
                                                          const Value& parameters, NSErrorPtr* error = nullptr);
    std::shared_ptr<NSMutableURLRequest> requestBySerializingRequest(const std::shared_ptr<NSURLRequest>& request,
                                                                    const Value& parameters,
                                                                    NSErrorPtr* error) override;

    // A multipart request: the parameters as form fields (in flattening order),
    // then whatever the block appends. Boundaries and part headers are UTF-8; the
    // field values are text in the serializer's string encoding.
    std::shared_ptr<NSMutableURLRequest> multipartFormRequestWithMethod(const std::string& method,
                                                                       const std::string& URLString,
                                                                       const Value& parameters,
                                                                       const NLMultipartConstructingBlock& block,
                                                                       NSErrorPtr* error = nullptr);
    // Writes the request's body stream to the file on a global queue and calls the
    // completion on the main queue with the first error (or null); answers a copy
    // of the request without body stream.
    std::shared_ptr<NSMutableURLRequest> requestWithMultipartFormRequest(
        const std::shared_ptr<NSURLRequest>& request, const NSURLPtr& fileURL,
        std::function<void(const NSErrorPtr& error)> completionHandler);

    // Keyed archiving ("mutableHTTPRequestHeaders", "queryStringSerializationStyle").
    Value encodeWithCoder() const override;
    // Reads an archive into a serializer made by init; unknown or mistyped keys are ignored.
    virtual void initWithCoder(const Value& archive);
    template <class T>
    static std::shared_ptr<T> decodeWithCoder(const Value& archive) {
        auto serializer = std::make_shared<T>();
        serializer->initWithCoder(archive);
        return serializer;
    }
    // A new serializer of the same class with the default headers, the style and
    // the callback; everything else at its defaults.
    virtual std::shared_ptr<NLHTTPRequestSerializer> copy() const;

protected:
    // The request with the default headers added where it has none.
    std::shared_ptr<NSMutableURLRequest> copyWithDefaultHeaders(const NSURLRequest& request) const;
    bool encodesParametersInURI(const NSURLRequest& request) const;
    // The body serializers' common step: parameters of a body-carrying method are
    // encoded by `encode` into the body, with `contentType` unless one is set;
    // a failure gives no request and an error saying `failure`.
    using BodyEncoder = std::function<std::optional<Data>(const Value&, NSErrorPtr*)>;
    std::shared_ptr<NSMutableURLRequest> requestWithEncodedBody(const std::shared_ptr<NSURLRequest>& request,
                                                               const Value& parameters, NSErrorPtr* error,
                                                               const std::string& contentType,
                                                               const std::string& failure,
                                                               const BodyEncoder& encode);
    void copyInto(NLHTTPRequestSerializer& other) const;

private:
    template <class T>
    void setObserved(const char* key, T& field, T value) {
        willChangeValueForKey(key);
        field = value;
        didChangeValueForKey(key);
    }

    bool allowsCellularAccess_ = true;
    NSURLRequestCachePolicy cachePolicy_ = NSURLRequestUseProtocolCachePolicy;
    bool HTTPShouldHandleCookies_ = true;
    bool HTTPShouldUsePipelining_ = false;
    NSURLRequestNetworkServiceType networkServiceType_ = NSURLNetworkServiceTypeDefault;
    double timeoutInterval_ = NSURLRequestDefaultTimeoutInterval;

    HTTPHeaderFields mutableHTTPRequestHeaders_;
    std::set<std::string> mutableObservedChangedKeyPaths_;
    std::vector<ObservationToken> observations_;
    NLHTTPRequestQueryStringSerializationStyle style_ = NLHTTPRequestQueryStringDefaultStyle;
    NLQueryStringSerializationBlock queryStringSerialization_;
};

class NLJSONRequestSerializer : public NLHTTPRequestSerializer {
public:
    static std::shared_ptr<NLJSONRequestSerializer> serializer() { return serializerWithWritingOptions(0); }
    static std::shared_ptr<NLJSONRequestSerializer> serializerWithWritingOptions(unsigned long writingOptions);

    unsigned long writingOptions = 0;

    // URI methods as the base class; otherwise a JSON body ("application/json").
    std::shared_ptr<NSMutableURLRequest> requestBySerializingRequest(const std::shared_ptr<NSURLRequest>& request,
                                                                    const Value& parameters,
                                                                    NSErrorPtr* error) override;
    Value encodeWithCoder() const override;
    void initWithCoder(const Value& archive) override;
    std::shared_ptr<NLHTTPRequestSerializer> copy() const override;
};

class NLPropertyListRequestSerializer : public NLHTTPRequestSerializer {
public:
    static std::shared_ptr<NLPropertyListRequestSerializer> serializer() {
        return serializerWithFormat(NSPropertyListXMLFormat_v1_0, 0);
    }
    static std::shared_ptr<NLPropertyListRequestSerializer> serializerWithFormat(NSPropertyListFormat format,
                                                                                unsigned long writeOptions);

    NSPropertyListFormat format = NSPropertyListXMLFormat_v1_0;
    unsigned long writeOptions = 0;

    // URI methods as the base class; otherwise a property-list body ("application/x-plist").
    std::shared_ptr<NSMutableURLRequest> requestBySerializingRequest(const std::shared_ptr<NSURLRequest>& request,
                                                                    const Value& parameters,
                                                                    NSErrorPtr* error) override;
    Value encodeWithCoder() const override;
    void initWithCoder(const Value& archive) override;
    std::shared_ptr<NLHTTPRequestSerializer> copy() const override;
};
