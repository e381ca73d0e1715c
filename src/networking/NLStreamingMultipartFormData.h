#pragma once
// Builds "multipart/form-data" bodies that are streamed, not assembled in
// memory: form fields, data, files and input streams become parts of one
// NLMultipartBodyStream set as the request's body stream.
//
// Names and file names go into the quoted parameters of "Content-Disposition"
// with '"', CR and LF written as "%22", "%0D" and "%0A", so no name can close
// the quotes or start a header line of its own.
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "networking/NLHTTPBodyPart.h"
#include "networking/NLMultipartBodyStream.h"
#include "platform/foundation/NSError.h"
#include "platform/foundation/NSObject.h"
#include "platform/foundation/NSURL.h"
#include "platform/net/NSURLRequest.h"

// The builder handed to a request serializer's constructing callback.
class NLMultipartFormData {
public:
    virtual ~NLMultipartFormData() = default;
    // The file name is the URL's last path component, the MIME type the one of
    // its extension ("application/octet-stream" when there is none).
    virtual bool appendPartWithFileURL(const NSURLPtr& fileURL, const std::string& name, NSErrorPtr* error) = 0;
    // False, and nothing added, for a URL that is not a file URL, a file that
    // cannot be reached or one whose attributes cannot be read.
    virtual bool appendPartWithFileURL(const NSURLPtr& fileURL, const std::string& name, const std::string& fileName,
                                       const std::string& mimeType, NSErrorPtr* error) = 0;
    virtual void appendPartWithInputStream(const std::shared_ptr<NSInputStream>& inputStream, const std::string& name,
                                           const std::string& fileName, std::int64_t length,
                                           const std::string& mimeType) = 0;
    virtual void appendPartWithFileData(const Data& data, const std::string& name, const std::string& fileName,
                                        const std::string& mimeType) = 0;
    virtual void appendPartWithFormData(const Data& data, const std::string& name) = 0;
    virtual void appendPartWithHeaders(const NLPartHeaders& headers, const Data& body) = 0;
    virtual void throttleBandwidthWithPacketSize(std::uint64_t numberOfBytes, double delay) = 0;
};

class NLStreamingMultipartFormData : public NSObject, public NLMultipartFormData {
public:
    NLStreamingMultipartFormData(const std::shared_ptr<NSURLRequest>& request, NSStringEncoding encoding);
    static std::shared_ptr<NLStreamingMultipartFormData> initWithURLRequest(const std::shared_ptr<NSURLRequest>& request,
                                                                           NSStringEncoding encoding) {
        return std::make_shared<NLStreamingMultipartFormData>(request, encoding);
    }

    // The builder's own copy of the request.
    const std::shared_ptr<NSMutableURLRequest>& request() const { return request_; }
    void setRequest(const std::shared_ptr<NSURLRequest>& request) { request_ = request->mutableCopy(); }
    NSStringEncoding stringEncoding() const { return stringEncoding_; }
    // "Boundary+" and two random 32-bit numbers in upper-case hexadecimal.
    const std::string& boundary() const { return boundary_; }
    const std::shared_ptr<NLMultipartBodyStream>& bodyStream() const { return bodyStream_; }

    bool appendPartWithFileURL(const NSURLPtr& fileURL, const std::string& name, NSErrorPtr* error) override;
    bool appendPartWithFileURL(const NSURLPtr& fileURL, const std::string& name, const std::string& fileName,
                               const std::string& mimeType, NSErrorPtr* error) override;
    void appendPartWithInputStream(const std::shared_ptr<NSInputStream>& inputStream, const std::string& name,
                                   const std::string& fileName, std::int64_t length,
                                   const std::string& mimeType) override;
    void appendPartWithFileData(const Data& data, const std::string& name, const std::string& fileName,
                                const std::string& mimeType) override;
    void appendPartWithFormData(const Data& data, const std::string& name) override;
    void appendPartWithHeaders(const NLPartHeaders& headers, const Data& body) override;
    void throttleBandwidthWithPacketSize(std::uint64_t numberOfBytes, double delay) override;

    // The request with the body stream, "Content-Type" "multipart/form-data;
    // boundary=..." and "Content-Length"; unchanged when no part was added.
    std::shared_ptr<NSMutableURLRequest> requestByFinalizingMultipartFormData();

    // The quoted-parameter form of a name or file name ('"', CR, LF escaped).
    static std::string escapedQuotedParameter(const std::string& text);

private:
    void appendPart(const NLPartHeaders& headers, Value body, std::uint64_t length);

    std::shared_ptr<NSMutableURLRequest> request_;
    NSStringEncoding stringEncoding_;
    std::string boundary_;
    std::shared_ptr<NLMultipartBodyStream> bodyStream_;
};

// The MIME type of a file-name extension, "application/octet-stream" when unknown.
std::string NLContentTypeForPathExtension(const std::string& extension);
