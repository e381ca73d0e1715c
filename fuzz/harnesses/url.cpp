// URLs: strict parsing, the accessors, and resolution of a reference against a
// base. The input is "<base>\n<reference>" (a reference alone when there is no
// newline). A resolved URL's string must read back as the same URL: same host,
// same path, same absolute string.
#include "Harnesses.h"
#include "platform/foundation/NSURL.h"
#include "support/FuzzSupport.h"

namespace fuzz::url {
namespace {

void touch(const NSURL& url) {
    (void)url.host();
    (void)url.port();
    (void)url.user();
    (void)url.password();
    (void)url.path();
    (void)url.lastPathComponent();
    (void)url.pathExtension();
    (void)url.isFileURL();
    (void)url.absoluteURL();
    (void)url.URLByAppendingPathComponent("a b/c");
    (void)url.URLByAppendingPathComponent("", true);
    (void)url.URLByDeletingLastPathComponent();
}

// The absolute string of a URL names the same resource when read again.
void checkReparses(const NSURL& url) {
    auto again = NSURL::URLWithString(url.absoluteString());
    check(again != nullptr, "a URL's absolute string does not parse");
    check(again->absoluteString() == url.absoluteString(), "a URL's absolute string reads back as another string");
    check(again->host() == url.host(), "a URL's absolute string reads back with another host");
    check(again->port() == url.port(), "a URL's absolute string reads back with another port");
    check(again->percentEncodedPath() == url.percentEncodedPath(), "a URL's absolute string reads back with another path");
}

}  // namespace

int fuzzOne(const std::uint8_t* data, std::size_t size) {
    auto [first, second] = splitAt(data, size, '\n');
    std::string whole(reinterpret_cast<const char*>(data), size);
    (void)NSURL::parse(whole);
    (void)NSURL::removeDotSegments(whole);
    if (auto url = NSURL::URLWithString(whole)) {
        touch(*url);
        checkReparses(*url);
    }
    auto base = NSURL::URLWithString(std::string(first));
    if (!base) return 0;
    touch(*base);
    auto resolved = NSURL::URLWithString(std::string(second), base);
    if (!resolved) return 0;
    touch(*resolved);
    checkReparses(*resolved);
    return 0;
}

}  // namespace fuzz::url
