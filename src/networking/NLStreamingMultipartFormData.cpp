#include "networking/NLStreamingMultipartFormData.h"

#include <sys/stat.h>

#include <cstdio>
#include <random>

#include "networking/NLLocalizedString.h"
#include "networking/NLURLRequestSerialization.h"
#include "platform/foundation/NSFileManager.h"
#include "platform/foundation/UTType.h"

namespace {
std::string createMultipartFormBoundary() {
    std::random_device random;
    char text[32];
    std::snprintf(text, sizeof text, "Boundary+%08X%08X", static_cast<unsigned>(random()),
                  static_cast<unsigned>(random()));
    return text;
}

NSErrorPtr requestSerializationError(const std::string& reason) {
    return NSError::errorWithDomain(NLURLRequestSerializationErrorDomain, NLURLRequestSerializationErrorCode,
                                    Value{{NSLocalizedFailureReasonErrorKey, Value(NLLocalizedString(reason))}});
}
}  // namespace

std::string NLContentTypeForPathExtension(const std::string& extension) {
    auto identifier = UTTypeCreatePreferredIdentifierForTag(kUTTagClassFilenameExtension, extension);
    if (!identifier) return "application/octet-stream";
    return UTTypeCopyPreferredTagWithClass(*identifier, kUTTagClassMIMEType).value_or("application/octet-stream");
}

NLStreamingMultipartFormData::NLStreamingMultipartFormData(const std::shared_ptr<NSURLRequest>& request,
                                                           NSStringEncoding encoding)
    : request_(request ? request->mutableCopy() : std::make_shared<NSMutableURLRequest>(std::string())),
      stringEncoding_(encoding),
      boundary_(createMultipartFormBoundary()),
      bodyStream_(NLMultipartBodyStream::initWithStringEncoding(encoding)) {}

std::string NLStreamingMultipartFormData::escapedQuotedParameter(const std::string& text) {
    std::string out;
    for (char c : text) {
        if (c == '"') out += "%22";
        else if (c == '\r') out += "%0D";
        else if (c == '\n') out += "%0A";
        else out += c;
    }
    return out;
}

bool NLStreamingMultipartFormData::appendPartWithFileURL(const NSURLPtr& fileURL, const std::string& name,
                                                         NSErrorPtr* error) {
    if (!fileURL) {
        if (error) *error = requestSerializationError("Expected URL to be a file URL");
        return false;
    }
    return appendPartWithFileURL(fileURL, name, fileURL->lastPathComponent(),
                                 NLContentTypeForPathExtension(fileURL->pathExtension()), error);
}

bool NLStreamingMultipartFormData::appendPartWithFileURL(const NSURLPtr& fileURL, const std::string& name,
                                                         const std::string& fileName, const std::string& mimeType,
                                                         NSErrorPtr* error) {
    if (!fileURL || !fileURL->isFileURL()) {
        if (error) *error = requestSerializationError("Expected URL to be a file URL");
        return false;
    }
    auto path = fileURL->path();
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) {  // follows links, as reading the file will
        if (error) *error = requestSerializationError("File URL not reachable.");
        return false;
    }
    NSErrorPtr attributesError;
    auto attributes = NSFileManager::defaultManager()->attributesOfItemAtPath(path, &attributesError);
    if (attributes.isNull()) {
        if (error) *error = attributesError;
        return false;
    }
    // The size of what will be read: the link's target for a symbolic link.
    std::uint64_t size = attributes[NSFileType].stringValue() == NSFileTypeSymbolicLink
                             ? static_cast<std::uint64_t>(st.st_size)
                             : attributes[NSFileSize].unsignedLongLongValue();
    NLPartHeaders headers = {
        {"Content-Disposition", "form-data; name=\"" + escapedQuotedParameter(name) + "\"; filename=\"" +
                                    escapedQuotedParameter(fileName) + "\""},
        {"Content-Type", mimeType},
    };
    appendPart(headers, Value(fileURL), size);
    return true;
}

void NLStreamingMultipartFormData::appendPartWithInputStream(const std::shared_ptr<NSInputStream>& inputStream,
                                                             const std::string& name, const std::string& fileName,
                                                             std::int64_t length, const std::string& mimeType) {
    NLPartHeaders headers = {
        {"Content-Disposition", "form-data; name=\"" + escapedQuotedParameter(name) + "\"; filename=\"" +
                                    escapedQuotedParameter(fileName) + "\""},
        {"Content-Type", mimeType},
    };
    appendPart(headers, inputStream ? Value(inputStream) : Value(Data()),
               length > 0 ? static_cast<std::uint64_t>(length) : 0);
}

void NLStreamingMultipartFormData::appendPartWithFileData(const Data& data, const std::string& name,
                                                          const std::string& fileName, const std::string& mimeType) {
    NLPartHeaders headers = {
        {"Content-Disposition", "form-data; name=\"" + escapedQuotedParameter(name) + "\"; filename=\"" +
                                    escapedQuotedParameter(fileName) + "\""},
        {"Content-Type", mimeType},
    };
    appendPartWithHeaders(headers, data);
}

void NLStreamingMultipartFormData::appendPartWithFormData(const Data& data, const std::string& name) {
    appendPartWithHeaders({{"Content-Disposition", "form-data; name=\"" + escapedQuotedParameter(name) + "\""}}, data);
}

void NLStreamingMultipartFormData::appendPartWithHeaders(const NLPartHeaders& headers, const Data& body) {
    appendPart(headers, Value(body), body.size());
}

void NLStreamingMultipartFormData::appendPart(const NLPartHeaders& headers, Value body, std::uint64_t length) {
    auto part = std::make_shared<NLHTTPBodyPart>();
    part->stringEncoding = stringEncoding_;
    part->headers = headers;
    part->boundary = boundary_;
    part->body = std::move(body);
    part->bodyContentLength = length;
    bodyStream_->appendHTTPBodyPart(std::move(part));
}

void NLStreamingMultipartFormData::throttleBandwidthWithPacketSize(std::uint64_t numberOfBytes, double delay) {
    bodyStream_->numberOfBytesInPacket = numberOfBytes;
    bodyStream_->delay = delay;
}

std::shared_ptr<NSMutableURLRequest> NLStreamingMultipartFormData::requestByFinalizingMultipartFormData() {
    if (bodyStream_->isEmpty()) return request_;
    bodyStream_->setInitialAndFinalBoundaries();
    request_->setHTTPBodyStream(bodyStream_);
    request_->setValue("multipart/form-data; boundary=" + boundary_, "Content-Type");
    request_->setValue(std::to_string(bodyStream_->contentLength()), "Content-Length");
    return request_;
}
