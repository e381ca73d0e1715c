#pragma once
// Immutable URLs: URI references of RFC 3986, absolute or relative to a base.
//
// URLWithString parses strictly and answers nullptr for a string that is not a
// URI reference (spaces and other characters that must be escaped, a "%" not
// followed by two hexadecimal digits, a port that is not a number up to 65535,
// a second "#", ...). Like the platform it lets square brackets through in the
// path, query and fragment, where query strings of nested parameters put them
// ("a[y][]=1"). Components the URL lacks are nullopt; the
// query and fragment are given as written, the path, user, password and host
// percent-decoded.
#include <memory>
#include <optional>
#include <string>

#include "platform/foundation/NSObject.h"

class NSURL;
using NSURLPtr = std::shared_ptr<NSURL>;

class NSURL : public NSObject {
public:
    // The raw, still escaped components of a URI reference.
    struct Parts {
        std::optional<std::string> scheme;
        std::optional<std::string> authority;  // without the leading "//"
        std::string path;
        std::optional<std::string> query;
        std::optional<std::string> fragment;
        std::string toString() const;
    };

    static NSURLPtr URLWithString(const std::string& string);
    // Resolves the string against the base (RFC 3986 section 5). The base is kept
    // as baseURL unless the string is itself absolute (has a scheme).
    static NSURLPtr URLWithString(const std::string& string, const NSURLPtr& relativeToURL);
    // A file URL for a local path; a relative path is taken from the current
    // directory. The one-argument form looks at the file system to decide whether
    // the path names a directory (directory URLs end in "/").
    static NSURLPtr fileURLWithPath(const std::string& path);
    static NSURLPtr fileURLWithPath(const std::string& path, bool isDirectory);

    const std::string& absoluteString() const { return absoluteString_; }
    const std::string& relativeString() const { return relativeString_; }
    const NSURLPtr& baseURL() const { return baseURL_; }
    NSURLPtr absoluteURL() const;

    const std::optional<std::string>& scheme() const { return parts_.scheme; }
    std::optional<std::string> host() const;
    std::optional<int> port() const;
    std::optional<std::string> user() const;
    std::optional<std::string> password() const;
    // Percent-decoded path without a trailing slash (except for "/"); the raw
    // path when the escapes do not decode to UTF-8.
    std::string path() const;
    // The path as written, escapes kept and trailing slash included.
    const std::string& percentEncodedPath() const { return parts_.path; }
    const std::optional<std::string>& query() const { return parts_.query; }
    const std::optional<std::string>& fragment() const { return parts_.fragment; }
    const Parts& parts() const { return parts_; }

    std::string lastPathComponent() const;
    std::string pathExtension() const;
    bool isFileURL() const;
    bool hasDirectoryPath() const { return !parts_.path.empty() && parts_.path.back() == '/'; }

    // Appends the component (escaped for a path; "/" kept) after exactly one
    // slash, before any query and fragment; an empty component adds the trailing
    // slash alone. isDirectory adds a trailing slash after the component.
    NSURLPtr URLByAppendingPathComponent(const std::string& component, bool isDirectory = false) const;
    // "/a/b/c" -> "/a/b/", "/a/b/" -> "/a/".
    NSURLPtr URLByDeletingLastPathComponent() const;

    // URLs are equal when their absolute strings are.
    bool isEqual(const NSURL& other) const { return absoluteString_ == other.absoluteString_; }
    bool operator==(const NSURL& other) const { return isEqual(other); }
    std::string description() const override { return absoluteString_; }

    // Parsing and resolution, public for the URL helpers of other parts.
    static std::optional<Parts> parse(const std::string& string);
    static Parts resolve(const Parts& reference, const Parts& base);
    static std::string removeDotSegments(const std::string& path);

    NSURL(Parts resolved, std::string relativeString, NSURLPtr base);

private:
    struct Authority {
        std::optional<std::string> user, password, host;
        std::optional<int> port;
    };
    Authority authority() const;

    Parts parts_;  // resolved against the base
    std::string relativeString_;
    std::string absoluteString_;
    NSURLPtr baseURL_;
};
