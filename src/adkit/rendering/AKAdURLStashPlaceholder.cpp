// The URL stash by exact URL text, until the stash with canonical URLs joins.
#include <map>
#include <mutex>

#include "adkit/rendering/AKAdURLStash.h"
#include "platform/foundation/ProcessLifetime.h"

namespace {
struct Stash {
    std::mutex mutex;
    std::map<std::string, std::weak_ptr<AKWebView>> views;
};
Stash& stash() {
    static ProcessLifetime<Stash> shared;
    return *shared;
}
}  // namespace

void AKAdURLStash::add(const std::string& URL, const std::shared_ptr<AKWebView>& view) {
    std::lock_guard<std::mutex> lock(stash().mutex);
    stash().views[URL] = view;
}

void AKAdURLStash::remove(const std::string& URL) {
    std::lock_guard<std::mutex> lock(stash().mutex);
    stash().views.erase(URL);
}

std::shared_ptr<AKWebView> AKAdURLStash::viewForURL(const std::string& URL) {
    std::lock_guard<std::mutex> lock(stash().mutex);
    auto found = stash().views.find(URL);
    return found == stash().views.end() ? nullptr : found->second.lock();
}

bool AKAdURLStash::hasStashedURLs() {
    std::lock_guard<std::mutex> lock(stash().mutex);
    return !stash().views.empty();
}

std::optional<std::string> AKAdURLStash::canonicalURLForURL(const std::string& URL) { return URL; }
