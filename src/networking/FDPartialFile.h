#pragma once
// What a partial download keeps beside its bytes, and how an answer to a resume
// is read.
//
// The first response of a download names the version of the resource it sent
// (its ETag, else its Last-Modified). That validator is kept in a small side
// file next to the partial file (".<name>.resume", JSON), so that a later resume
// asks for the rest with "If-Range": a resource that changed in between answers
// 200 with the whole new version instead of a part that would be spliced onto
// bytes of the old one. The side file goes when the download finishes or its
// file is removed. A side file that is missing, unreadable or written for
// another URL is ignored: the resume then goes without "If-Range".
#include <cstdint>
#include <optional>
#include <string>

#include "platform/net/NSHTTPURLResponse.h"

struct FDResumeValidators {
    std::string url;
    std::optional<std::string> etag;          // a strong ETag only (a weak one cannot guard a range)
    std::optional<std::string> lastModified;

    // The validators a response names; nullopt when it names neither.
    static std::optional<FDResumeValidators> fromResponse(const std::string& url, const NSHTTPURLResponse& response);
    // The value for "If-Range": the ETag, else the Last-Modified date.
    std::optional<std::string> ifRange() const { return etag ? etag : lastModified; }
};

// "bytes a-b/L" or "bytes */L": the first byte (nullopt for "*") and the whole
// length (-1 for "*").
struct FDContentRange {
    std::optional<std::uint64_t> first;
    std::int64_t length = -1;
    static std::optional<FDContentRange> parse(const std::string& value);
};

namespace FDPartialFile {

// Size of the regular file at `path`; nullopt when there is none.
std::optional<std::uint64_t> sizeOfFile(const std::string& path);
// The side file of the partial file at `pathToFile`.
std::string sidePath(const std::string& pathToFile);
// The validators kept for `pathToFile`, when they were written for `url`.
std::optional<FDResumeValidators> readValidators(const std::string& pathToFile, const std::string& url);
// Keeps the validators (or removes the side file when there are none). A side
// file that cannot be written only costs the next resume its "If-Range".
void keepValidators(const std::string& pathToFile, const std::optional<FDResumeValidators>& validators);
void removeValidators(const std::string& pathToFile);

}  // namespace FDPartialFile
