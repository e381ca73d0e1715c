#pragma once
// Response serializers: validate a finished HTTP response (status code and
// content type) and turn its body into a response object.
//
// Errors use the domain NLURLResponseSerializationErrorDomain: -1011 for an
// unacceptable status code, -1016 for an unacceptable content type or a body
// that cannot be decoded as text. An error found earlier is chained under
// NSUnderlyingErrorKey.
//
// Archiving: encodeWithCoder() writes a keyed archive into a Value dictionary
// (the property names as keys, plus "$class" naming the class) and
// NLResponseSerializerWithCoder() makes the right class back from it.
#include <cstdint>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "platform/foundation/NSPropertyListSerialization.h"
#include "platform/foundation/Data.h"
#include "platform/foundation/NSError.h"
#include "platform/foundation/NSJSONSerialization.h"
#include "platform/foundation/NSObject.h"
#include "platform/foundation/NSString.h"
#include "platform/foundation/Value.h"
#include "platform/net/NSHTTPURLResponse.h"

inline constexpr const char* NLURLResponseSerializationErrorDomain = "com.netline.error.serialization.response";
inline constexpr const char* NLNetworkingOperationFailingURLResponseErrorKey =
    "com.netline.serialization.response.error.response";
inline constexpr const char* NLNetworkingOperationFailingURLResponseDataErrorKey =
    "com.netline.serialization.response.error.data";

// The codes of the response domain (the platform's URL error codes of the same meaning).
inline constexpr long NLURLErrorBadServerResponse = -1011;
inline constexpr long NLURLErrorCannotDecodeContentData = -1016;

// The body a serializer reads: a view of bytes owned by the caller (or none),
// so that a large body is not copied on its way in. Made from the body as the
// callers hold it (an optional buffer, a buffer, a pointer).
class NLResponseBody {
public:
    NLResponseBody() = default;
    NLResponseBody(std::nullopt_t) {}
    NLResponseBody(const std::optional<Data>& data) : bytes_(data ? &*data : nullptr) {}
    NLResponseBody(const Data& data) : bytes_(&data) {}
    NLResponseBody(const Data* data) : bytes_(data) {}
    explicit operator bool() const { return bytes_ != nullptr; }
    const Data& operator*() const { return *bytes_; }
    const Data* operator->() const { return bytes_; }

private:
    const Data* bytes_ = nullptr;
};

// The platform string encoding named by an IANA charset ("utf-8", "iso-8859-1",
// "windows-1252", any charset ICU knows); nullopt for a name it does not know.
std::optional<NSStringEncoding> NLStringEncodingForIANACharSetName(const std::string& name);

// The -1016 error of a body that is not text in the charset its response names
// (UTF-8 when it names none), with the failing URL, the response and the body.
NSErrorPtr NLUndecodableBodyError(const std::shared_ptr<NSURLResponse>& response, const NLResponseBody& data);

// Chains `error` over `underlying`: the result carries `underlying` under
// NSUnderlyingErrorKey unless `error` already has an underlying error.
NSErrorPtr NLErrorWithUnderlyingError(const NSErrorPtr& error, const NSErrorPtr& underlying);
// True for a -1016 error of the response domain, directly or under NSUnderlyingErrorKey.
bool NLErrorOrUnderlyingErrorHasCodeInDomain(const NSErrorPtr& error, long code, const std::string& domain);

class NLURLResponseSerialization {
public:
    virtual ~NLURLResponseSerialization() = default;
    // The response object for a finished response and its body; nothing (null)
    // when there is none. Errors go to `error` when given.
    virtual Value responseObjectForResponse(const std::shared_ptr<NSURLResponse>& response,
                                            const NLResponseBody& data, NSErrorPtr* error) = 0;
};

class NLHTTPResponseSerializer : public NSObject, public NLURLResponseSerialization {
public:
    NLHTTPResponseSerializer();
    static std::shared_ptr<NLHTTPResponseSerializer> serializer();

    NSStringEncoding stringEncoding() const { return stringEncoding_; }
    void setStringEncoding(NSStringEncoding encoding) { stringEncoding_ = encoding; }
    // None means any.
    const std::optional<std::set<long>>& acceptableStatusCodes() const { return *acceptableStatusCodes_; }
    void setAcceptableStatusCodes(std::optional<std::set<long>> codes) {
        acceptableStatusCodes_ = std::make_shared<const std::optional<std::set<long>>>(std::move(codes));
    }
    const std::optional<std::set<std::string>>& acceptableContentTypes() const { return acceptableContentTypes_; }
    void setAcceptableContentTypes(std::optional<std::set<std::string>> types) {
        acceptableContentTypes_ = std::move(types);
    }

    // True when the response passes; otherwise the error built (possibly none) goes to `error`.
    bool validateResponse(const std::shared_ptr<NSHTTPURLResponse>& response, const NLResponseBody& data,
                          NSErrorPtr* error) const;
    // The response object, sharing `body` (a Value holding the bytes, or null)
    // where this class returns the body unchanged; other classes serialize as
    // responseObjectForResponse does.
    std::shared_ptr<const Value> responseObjectSharingBody(const std::shared_ptr<NSURLResponse>& response,
                                                           const std::shared_ptr<const Value>& body, NSErrorPtr* error);
    // Validates and returns the body unchanged (as data), valid or not.
    Value responseObjectForResponse(const std::shared_ptr<NSURLResponse>& response, const NLResponseBody& data,
                                    NSErrorPtr* error) override;

    static bool supportsSecureCoding() { return true; }
    virtual Value encodeWithCoder() const;
    // Reads the keys this class writes from `archive` into this instance.
    virtual void decodeWithCoder(const Value& archive);
    virtual std::shared_ptr<NLHTTPResponseSerializer> copy() const;

protected:
    // Validation, then whether parsing goes on (the shared gate of the parsing serializers).
    bool passesGate(const std::shared_ptr<NSURLResponse>& response, const NLResponseBody& data,
                    NSErrorPtr* error) const;

private:
    NSStringEncoding stringEncoding_ = NSUTF8StringEncoding;
    // Shared between serializers until one sets its own: every request
    // operation makes a serializer, and the default set of 100 codes is made once.
    std::shared_ptr<const std::optional<std::set<long>>> acceptableStatusCodes_;
    std::optional<std::set<std::string>> acceptableContentTypes_;
};

class NLJSONResponseSerializer : public NLHTTPResponseSerializer {
public:
    NLJSONResponseSerializer();
    static std::shared_ptr<NLJSONResponseSerializer> serializer() { return serializerWithReadingOptions(0); }
    static std::shared_ptr<NLJSONResponseSerializer> serializerWithReadingOptions(std::uint64_t options);

    std::uint64_t readingOptions() const { return readingOptions_; }
    void setReadingOptions(std::uint64_t options) { readingOptions_ = options; }
    bool removesKeysWithNullValues() const { return removesKeysWithNullValues_; }
    void setRemovesKeysWithNullValues(bool removes) { removesKeysWithNullValues_ = removes; }

    Value responseObjectForResponse(const std::shared_ptr<NSURLResponse>& response, const NLResponseBody& data,
                                    NSErrorPtr* error) override;
    Value encodeWithCoder() const override;
    void decodeWithCoder(const Value& archive) override;
    std::shared_ptr<NLHTTPResponseSerializer> copy() const override;

private:
    bool removesKeysWithNullValues_ = false;
    std::uint64_t readingOptions_ = 0;
};

// The response object is a new NSXMLParser over the body (in the Value as an
// object), not yet run: the caller sets its delegate and parses.
class NLXMLParserResponseSerializer : public NLHTTPResponseSerializer {
public:
    NLXMLParserResponseSerializer();
    static std::shared_ptr<NLXMLParserResponseSerializer> serializer() {
        return std::make_shared<NLXMLParserResponseSerializer>();
    }

    Value responseObjectForResponse(const std::shared_ptr<NSURLResponse>& response, const NLResponseBody& data,
                                    NSErrorPtr* error) override;
    std::shared_ptr<NLHTTPResponseSerializer> copy() const override;
};

class NLPropertyListResponseSerializer : public NLHTTPResponseSerializer {
public:
    NLPropertyListResponseSerializer();
    static std::shared_ptr<NLPropertyListResponseSerializer> serializer() {
        return serializerWithFormat(NSPropertyListXMLFormat_v1_0, 0);
    }
    static std::shared_ptr<NLPropertyListResponseSerializer> serializerWithFormat(std::uint64_t format,
                                                                                  std::uint64_t readOptions);
    std::uint64_t format() const { return format_; }
    void setFormat(std::uint64_t format) { format_ = format; }
    std::uint64_t readOptions() const { return readOptions_; }
    void setReadOptions(std::uint64_t options) { readOptions_ = options; }

    // Reads an XML or a binary property list.
    Value responseObjectForResponse(const std::shared_ptr<NSURLResponse>& response, const NLResponseBody& data,
                                    NSErrorPtr* error) override;
    Value encodeWithCoder() const override;
    void decodeWithCoder(const Value& archive) override;
    std::shared_ptr<NLHTTPResponseSerializer> copy() const override;

private:
    std::uint64_t format_ = 0;
    std::uint64_t readOptions_ = 0;
};

// Decodes images into a UIImage (in the Value as an object) at `imageScale`,
// with the orientation the file names; an animated GIF or WebP becomes an
// animated image of all its frames. With `automaticallyInflatesResponseImage`
// a still image of at most 1024 x 1024 pixels and 8 bits per component is
// drawn once into a bitmap of the display's own layout (32 bits, host byte
// order, alpha first), so that nothing is left to convert when it is shown;
// larger, deeper and animated images are returned as decoded. A CMYK JPEG is
// inflated from the decoder's RGB image. Runs on any thread.
class NLImageResponseSerializer : public NLHTTPResponseSerializer {
public:
    NLImageResponseSerializer();
    static std::shared_ptr<NLImageResponseSerializer> serializer() { return std::make_shared<NLImageResponseSerializer>(); }

    bool automaticallyInflatesResponseImage() const { return automaticallyInflatesResponseImage_; }
    void setAutomaticallyInflatesResponseImage(bool inflates) { automaticallyInflatesResponseImage_ = inflates; }
    double imageScale() const { return imageScale_; }
    void setImageScale(double scale) { imageScale_ = scale; }

    Value responseObjectForResponse(const std::shared_ptr<NSURLResponse>& response, const NLResponseBody& data,
                                    NSErrorPtr* error) override;
    Value encodeWithCoder() const override;
    void decodeWithCoder(const Value& archive) override;
    std::shared_ptr<NLHTTPResponseSerializer> copy() const override;

private:
    bool automaticallyInflatesResponseImage_ = true;
    double imageScale_ = 1;
};

class NLCompoundResponseSerializer : public NLHTTPResponseSerializer {
public:
    using SerializerList = std::vector<std::shared_ptr<NLHTTPResponseSerializer>>;
    static std::shared_ptr<NLCompoundResponseSerializer> compoundSerializerWithResponseSerializers(
        SerializerList serializers);

    const SerializerList& responseSerializers() const { return responseSerializers_; }
    void setResponseSerializers(SerializerList serializers) { responseSerializers_ = std::move(serializers); }

    Value responseObjectForResponse(const std::shared_ptr<NSURLResponse>& response, const NLResponseBody& data,
                                    NSErrorPtr* error) override;
    Value encodeWithCoder() const override;
    void decodeWithCoder(const Value& archive) override;
    std::shared_ptr<NLHTTPResponseSerializer> copy() const override;

private:
    SerializerList responseSerializers_;
};

// A serializer of the class named in the archive, decoded from it; null when the
// archive names no known serializer class.
std::shared_ptr<NLHTTPResponseSerializer> NLResponseSerializerWithCoder(const Value& archive);
