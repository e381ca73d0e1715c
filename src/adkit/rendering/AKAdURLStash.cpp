#include "adkit/rendering/AKAdURLStash.h"

#include <map>
#include <mutex>
#include <string>

#include "adkit/foundation/AKAdOrigin.h"
#include "adkit/rendering/AKWebView.h"
#include "platform/foundation/AnnotatedMutex.h"
#include "platform/foundation/NSURL.h"
#include "platform/foundation/ProcessLifetime.h"

namespace {

struct Stash {
    AnnotatedMutex lock;
    std::map<std::string, std::weak_ptr<AKWebView>> views QV_GUARDED_BY(lock);

    // Forgets the entries whose view went away.
    void prune() QV_REQUIRES(lock) {
        std::erase_if(views, [](const auto& entry) { return entry.second.expired(); });
    }
};

Stash& stash() {
    static ProcessLifetime<Stash> shared;  // asked from loading threads until the process ends
    return *shared;
}

}  // namespace

std::optional<std::string> AKAdURLStash::canonicalURLForURL(const std::string& URL) {
    const NSURLPtr url = NSURL::URLWithString(URL);
    if (!url) return std::nullopt;
    NSURL::Parts parts = url->parts();
    const auto host = url->host();
    if (parts.authority && host && !host->empty() && !url->port()) {
        if (const auto port = parts.scheme ? AKAdOrigin::defaultPortForScheme(*parts.scheme) : std::nullopt) {
            std::string& authority = *parts.authority;
            if (authority.back() == ':') authority.pop_back();  // "host:" names no port either
            authority += ":" + std::to_string(*port);
        }
    }
    parts.fragment.reset();
    std::string text = parts.toString();
    if (!text.empty() && text.back() == '/') text.pop_back();
    const NSURLPtr canonical = NSURL::URLWithString(text);
    if (!canonical) return std::nullopt;
    return canonical->absoluteString();
}

void AKAdURLStash::add(const std::string& URL, const std::shared_ptr<AKWebView>& view) {
    const auto key = canonicalURLForURL(URL);
    if (!key) return;
    auto& s = stash();
    AnnotatedLock lock(s.lock);
    if (view) {
        s.views[*key] = view;
    } else {
        s.views.erase(*key);  // a nil view stores nothing
    }
}

void AKAdURLStash::remove(const std::string& URL) {
    const auto key = canonicalURLForURL(URL);
    if (!key) return;
    auto& s = stash();
    AnnotatedLock lock(s.lock);
    s.views.erase(*key);
}

std::shared_ptr<AKWebView> AKAdURLStash::viewForURL(const std::string& URL) {
    const auto key = canonicalURLForURL(URL);
    if (!key) return nullptr;
    auto& s = stash();
    AnnotatedLock lock(s.lock);
    const auto found = s.views.find(*key);
    if (found == s.views.end()) return nullptr;
    auto view = found->second.lock();
    if (!view) s.views.erase(found);
    return view;
}

bool AKAdURLStash::hasStashedURLs() {
    auto& s = stash();
    AnnotatedLock lock(s.lock);
    s.prune();
    return !s.views.empty();
}
