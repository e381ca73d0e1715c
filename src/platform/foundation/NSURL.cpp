#include "platform/foundation/NSURL.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <string_view>

#include "platform/foundation/NSString.h"

namespace {

constexpr std::string_view kSubDelims = "!$&'()*+,;=";

bool isUnreserved(char c) {
    return std::isalnum(static_cast<unsigned char>(c)) || c == '-' || c == '.' || c == '_' || c == '~';
}
bool isSubDelim(char c) { return kSubDelims.find(c) != std::string_view::npos; }
bool isHex(char c) { return std::isxdigit(static_cast<unsigned char>(c)) != 0; }

// Every character is unreserved, a sub-delimiter, one of `extra`, or a valid
// percent escape. Bytes outside ASCII and controls never are.
bool validChars(std::string_view s, std::string_view extra) {
    for (std::size_t i = 0; i < s.size(); ++i) {
        char c = s[i];
        if (c == '%') {
            if (i + 2 >= s.size() || !isHex(s[i + 1]) || !isHex(s[i + 2])) return false;
            i += 2;
            continue;
        }
        if (static_cast<unsigned char>(c) >= 0x80) return false;
        if (!isUnreserved(c) && !isSubDelim(c) && extra.find(c) == std::string_view::npos) return false;
    }
    return true;
}

bool validScheme(std::string_view s) {
    if (s.empty() || !std::isalpha(static_cast<unsigned char>(s[0]))) return false;
    for (char c : s)
        if (!std::isalnum(static_cast<unsigned char>(c)) && c != '+' && c != '-' && c != '.') return false;
    return true;
}

struct RawAuthority {
    std::optional<std::string> userinfo;
    std::string host;  // brackets of an IP literal removed
    std::optional<std::string> port;
};

std::optional<RawAuthority> splitAuthority(std::string_view a) {
    RawAuthority out;
    if (auto at = a.rfind('@'); at != std::string_view::npos) {
        std::string_view info = a.substr(0, at);
        if (!validChars(info, ":")) return std::nullopt;
        out.userinfo = std::string(info);
        a = a.substr(at + 1);
    }
    std::string_view rest;
    if (!a.empty() && a.front() == '[') {
        auto close = a.find(']');
        if (close == std::string_view::npos) return std::nullopt;
        std::string_view literal = a.substr(1, close - 1);
        if (literal.empty()) return std::nullopt;
        bool future = literal.front() == 'v' || literal.front() == 'V';
        if (future) {
            if (!validChars(literal, ":")) return std::nullopt;
        } else {
            if (literal.find(':') == std::string_view::npos) return std::nullopt;
            for (char c : literal)
                if (!isHex(c) && c != ':' && c != '.') return std::nullopt;
        }
        out.host = std::string(literal);
        rest = a.substr(close + 1);
        if (!rest.empty() && rest.front() != ':') return std::nullopt;
    } else {
        auto colon = a.find(':');
        std::string_view host = a.substr(0, colon);
        if (!validChars(host, "")) return std::nullopt;
        out.host = std::string(host);
        rest = colon == std::string_view::npos ? std::string_view() : a.substr(colon);
    }
    if (!rest.empty()) {
        std::string_view port = rest.substr(1);
        for (char c : port)
            if (!std::isdigit(static_cast<unsigned char>(c))) return std::nullopt;
        // Leading zeros are allowed; the value must fit a port number.
        while (port.size() > 1 && port.front() == '0') port.remove_prefix(1);
        if (port.size() > 5) return std::nullopt;
        if (!port.empty()) {
            if (std::stoi(std::string(port)) > 65535) return std::nullopt;
            out.port = std::string(port);
        }
    }
    return out;
}

std::optional<std::string> decoded(const std::string& s) { return stringByReplacingPercentEscapes(s); }

std::string merge(const NSURL::Parts& base, const std::string& referencePath) {
    if (base.authority && base.path.empty()) return "/" + referencePath;
    auto slash = base.path.rfind('/');
    if (slash == std::string::npos) return referencePath;
    return base.path.substr(0, slash + 1) + referencePath;
}

// A resolved path must read back as a path. Without an authority, a path that
// begins with "//" would read back as an authority (another host), so it
// becomes "/.//..."; without a scheme either, a first segment holding ":"
// would read back as a scheme, so it becomes "./...". Both spell the same path.
void keepPathUnambiguous(NSURL::Parts& parts) {
    if (parts.authority) return;
    if (parts.path.starts_with("//")) {
        parts.path.insert(0, "/.");
    } else if (!parts.scheme) {
        auto colon = parts.path.find(':');
        if (colon != std::string::npos && parts.path.find('/') > colon) parts.path.insert(0, "./");
    }
}

bool isDirectoryOnDisk(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::string absolutePath(const std::string& path) {
    if (!path.empty() && path.front() == '/') return path;
    char buf[4096];
    std::string cwd = ::getcwd(buf, sizeof buf) ? buf : "/";
    return stringByAppendingPathComponent(cwd, path);
}

}  // namespace

std::string NSURL::Parts::toString() const {
    std::string out;
    if (scheme) out += *scheme + ":";
    if (authority) out += "//" + *authority;
    out += path;
    if (query) out += "?" + *query;
    if (fragment) out += "#" + *fragment;
    return out;
}

std::optional<NSURL::Parts> NSURL::parse(const std::string& string) {
    Parts parts;
    std::string_view rest = string;

    auto delimiter = rest.find_first_of(":/?#");
    if (delimiter != std::string_view::npos && rest[delimiter] == ':') {
        std::string_view scheme = rest.substr(0, delimiter);
        // A colon in the first segment of a relative path is not allowed.
        if (!validScheme(scheme)) return std::nullopt;
        parts.scheme = std::string(scheme);
        rest = rest.substr(delimiter + 1);
    }

    if (auto hash = rest.find('#'); hash != std::string_view::npos) {
        std::string_view fragment = rest.substr(hash + 1);
        if (!validChars(fragment, ":@/?[]")) return std::nullopt;
        parts.fragment = std::string(fragment);
        rest = rest.substr(0, hash);
    }
    if (auto question = rest.find('?'); question != std::string_view::npos) {
        std::string_view query = rest.substr(question + 1);
        if (!validChars(query, ":@/?[]")) return std::nullopt;
        parts.query = std::string(query);
        rest = rest.substr(0, question);
    }
    if (rest.substr(0, 2) == "//") {
        rest.remove_prefix(2);
        auto slash = rest.find('/');
        std::string_view authority = rest.substr(0, slash);
        if (!splitAuthority(authority)) return std::nullopt;
        parts.authority = std::string(authority);
        rest = slash == std::string_view::npos ? std::string_view() : rest.substr(slash);
    }
    if (!validChars(rest, ":@/[]")) return std::nullopt;
    parts.path = std::string(rest);
    return parts;
}

std::string NSURL::removeDotSegments(const std::string& path) {
    // RFC 3986 section 5.2.4, in one pass: the input is consumed from the front
    // through a view and the output only grows or loses its last segment, so
    // the work is linear in the length of the path.
    std::string_view input = path;
    std::string output;
    output.reserve(path.size());
    auto dropLastOutputSegment = [&] {
        auto slash = output.rfind('/');
        output.erase(slash == std::string::npos ? 0 : slash);
    };
    while (!input.empty()) {
        if (input.starts_with("../")) input.remove_prefix(3);
        else if (input.starts_with("./")) input.remove_prefix(2);
        else if (input.starts_with("/./")) input.remove_prefix(2);
        else if (input == "/.") input = "/";
        else if (input.starts_with("/../")) {
            input.remove_prefix(3);
            dropLastOutputSegment();
        } else if (input == "/..") {
            input = "/";
            dropLastOutputSegment();
        } else if (input == "." || input == "..") {
            input = {};
        } else {
            auto next = input.find('/', input[0] == '/' ? 1 : 0);
            if (next == std::string_view::npos) next = input.size();
            output += input.substr(0, next);
            input.remove_prefix(next);
        }
    }
    return output;
}

NSURL::Parts NSURL::resolve(const Parts& r, const Parts& base) {
    Parts t;
    if (r.scheme) {
        t = r;
        t.path = removeDotSegments(r.path);
        keepPathUnambiguous(t);
        return t;
    }
    if (r.authority) {
        t.authority = r.authority;
        t.path = removeDotSegments(r.path);
        t.query = r.query;
    } else {
        if (r.path.empty()) {
            t.path = base.path;
            t.query = r.query ? r.query : base.query;
        } else {
            if (r.path.front() == '/') t.path = removeDotSegments(r.path);
            else t.path = removeDotSegments(merge(base, r.path));
            t.query = r.query;
        }
        t.authority = base.authority;
    }
    t.scheme = base.scheme;
    t.fragment = r.fragment;
    keepPathUnambiguous(t);
    return t;
}

NSURL::NSURL(Parts resolved, std::string relativeString, NSURLPtr base)
    : parts_(std::move(resolved)),
      relativeString_(std::move(relativeString)),
      absoluteString_(parts_.toString()),
      baseURL_(std::move(base)) {}

NSURLPtr NSURL::URLWithString(const std::string& string) {
    auto parts = parse(string);
    if (!parts) return nullptr;
    return std::make_shared<NSURL>(*parts, string, nullptr);
}

NSURLPtr NSURL::URLWithString(const std::string& string, const NSURLPtr& relativeToURL) {
    if (!relativeToURL) return URLWithString(string);
    auto parts = parse(string);
    if (!parts) return nullptr;
    if (parts->scheme) return URLWithString(string);
    return std::make_shared<NSURL>(resolve(*parts, relativeToURL->parts_), string, relativeToURL);
}

NSURLPtr NSURL::fileURLWithPath(const std::string& path) {
    return fileURLWithPath(path, isDirectoryOnDisk(absolutePath(path)));
}

NSURLPtr NSURL::fileURLWithPath(const std::string& path, bool isDirectory) {
    std::string absolute = absolutePath(path);
    if (isDirectory && absolute.back() != '/') absolute += '/';
    Parts parts;
    parts.scheme = "file";
    parts.authority = "";
    parts.path = stringByAddingPercentEncodingWithAllowedCharacters(absolute, URLPathAllowedCharacters());
    return std::make_shared<NSURL>(parts, parts.toString(), nullptr);
}

NSURLPtr NSURL::absoluteURL() const {
    if (!baseURL_) return std::const_pointer_cast<NSURL>(self<NSURL>());
    return std::make_shared<NSURL>(parts_, absoluteString_, nullptr);
}

NSURL::Authority NSURL::authority() const {
    Authority out;
    if (!parts_.authority) return out;
    auto raw = splitAuthority(*parts_.authority);
    if (!raw) return out;
    if (raw->userinfo) {
        auto colon = raw->userinfo->find(':');
        std::string user = raw->userinfo->substr(0, colon);
        out.user = decoded(user).value_or(user);
        if (colon != std::string::npos) {
            std::string password = raw->userinfo->substr(colon + 1);
            out.password = decoded(password).value_or(password);
        }
    }
    if (!raw->host.empty()) out.host = decoded(raw->host).value_or(raw->host);
    if (raw->port) out.port = std::stoi(*raw->port);
    return out;
}

std::optional<std::string> NSURL::host() const { return authority().host; }
std::optional<int> NSURL::port() const { return authority().port; }
std::optional<std::string> NSURL::user() const { return authority().user; }
std::optional<std::string> NSURL::password() const { return authority().password; }

std::string NSURL::path() const {
    std::string p = parts_.path;
    while (p.size() > 1 && p.back() == '/') p.pop_back();
    return decoded(p).value_or(p);
}

std::string NSURL::lastPathComponent() const { return ::lastPathComponent(path()); }

std::string NSURL::pathExtension() const { return ::pathExtension(path()); }

bool NSURL::isFileURL() const { return parts_.scheme && lowercaseString(*parts_.scheme) == "file"; }

NSURLPtr NSURL::URLByAppendingPathComponent(const std::string& component, bool isDirectory) const {
    Parts parts = parts_;
    std::string escaped = stringByAddingPercentEncodingWithAllowedCharacters(component, URLPathAllowedCharacters());
    if (parts.path.empty() || parts.path.back() != '/') parts.path += '/';
    while (!escaped.empty() && escaped.front() == '/') escaped.erase(0, 1);
    parts.path += escaped;
    if (isDirectory && parts.path.back() != '/') parts.path += '/';
    return std::make_shared<NSURL>(parts, parts.toString(), nullptr);
}

NSURLPtr NSURL::URLByDeletingLastPathComponent() const {
    Parts reference;
    reference.path = hasDirectoryPath() ? ".." : ".";
    Parts parts = resolve(reference, parts_);
    parts.query.reset();
    parts.fragment.reset();
    return std::make_shared<NSURL>(parts, parts.toString(), nullptr);
}
