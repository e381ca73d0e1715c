#include "adkit/rendering/AKMRAIDInterceptor.h"

#include <algorithm>
#include <mutex>
#include <set>

#include "adkit/foundation/AKAdHosts.h"
#include "adkit/rendering/AKAdURLStash.h"
#include "adkit/rendering/AKWebView.h"
#include "platform/base/MainThread.h"
#include "platform/dispatch/Dispatch.h"
#include "platform/foundation/AnnotatedMutex.h"
#include "platform/foundation/ProcessLifetime.h"

namespace {

// The class-wide state, all under the class lock.
class ClassState {
public:
    void setAllowed(bool allowed) {
        AnnotatedLock guard(lock_);
        allowed_ = allowed;
    }
    bool allowed() {
        AnnotatedLock guard(lock_);
        return allowed_;
    }
    // Adds to the counter, which stays at 0 or above; nullopt resets it.
    void count(std::optional<std::int64_t> delta) {
        AnnotatedLock guard(lock_);
        counter_ = delta ? std::max<std::int64_t>(0, counter_ + *delta) : 0;
    }
    std::int64_t counter() {
        AnnotatedLock guard(lock_);
        return counter_;
    }
    bool allowedAndCounting() {
        AnnotatedLock guard(lock_);
        return allowed_ && counter_ > 0;
    }

    using Path = std::optional<std::string> ClassState::*;
    void setPath(Path field, const std::optional<std::string>& path) {
        AnnotatedLock guard(lock_);
        if (this->*field == path) return;
        this->*field = path;
        if (bannerPath && expandedBannerPath && interstitialPath) {
            implementationPaths_ = {*bannerPath, *expandedBannerPath, *interstitialPath};
        }
    }
    std::optional<std::string> path(Path field) {
        AnnotatedLock guard(lock_);
        return this->*field;
    }
    bool isImplementationPath(const std::string& URL) {
        AnnotatedLock guard(lock_);
        return implementationPaths_.contains(URL);
    }

    // Named through path() and setPath() only.
    std::optional<std::string> bannerPath QV_GUARDED_BY(lock_);
    std::optional<std::string> expandedBannerPath QV_GUARDED_BY(lock_);
    std::optional<std::string> interstitialPath QV_GUARDED_BY(lock_);

private:
    AnnotatedMutex lock_;
    bool allowed_ QV_GUARDED_BY(lock_) = false;
    std::int64_t counter_ QV_GUARDED_BY(lock_) = 0;
    std::set<std::string> implementationPaths_ QV_GUARDED_BY(lock_);
};

ClassState& state() {
    static ProcessLifetime<ClassState> shared;  // asked from loading threads until the process ends
    return *shared;
}

// A view found off the main thread goes back to the main thread to be released there.
void releaseOnMainThread(std::shared_ptr<AKWebView> view) {
    if (!view || isProcessMainThread()) return;
    dispatch_async(dispatch_get_main_queue(), [view = std::move(view)] {});
}

}  // namespace

void AKMRAIDInterceptor::registerClass() {
    static std::once_flag once;
    std::call_once(once, [] {
        resetToDefaultPaths();
        (void)NSURLProtocol::registerClass(protocolClass());  // a complete class is always accepted
        allow();
    });
}

NSURLProtocol::Class AKMRAIDInterceptor::protocolClass() {
    NSURLProtocol::Class protocolClass;
    protocolClass.name = kProtocolClassName;
    protocolClass.canInitWithRequest = [](const NSURLRequest& request) { return canInitWithRequest(request); };
    protocolClass.make = [](const std::shared_ptr<NSURLRequest>& request,
                            const std::shared_ptr<NSCachedURLResponse>& cachedResponse,
                            const std::shared_ptr<NSURLProtocolClient>& client) -> std::shared_ptr<NSURLProtocol> {
        return std::make_shared<AKMRAIDInterceptor>(request, cachedResponse, client);
    };
    protocolClass.claimedLastPathComponents = {kClaimedLastPathComponent};
    return protocolClass;
}

void AKMRAIDInterceptor::allow() { state().setAllowed(true); }

void AKMRAIDInterceptor::disallow() { state().setAllowed(false); }

bool AKMRAIDInterceptor::isAllowed() { return state().allowed(); }

void AKMRAIDInterceptor::enableCanInitWithRequest() { state().count(1); }

void AKMRAIDInterceptor::disableCanInitWithRequest() { state().count(-1); }

void AKMRAIDInterceptor::resetCanInitWithRequestCounter() { state().count(std::nullopt); }

std::int64_t AKMRAIDInterceptor::canInitWithRequestCounter() { return state().counter(); }

bool AKMRAIDInterceptor::canInitWithRequestIsEnabled() {
    if (!state().allowedAndCounting()) return false;
    return AKAdURLStash::hasStashedURLs();  // under the stash's own lock, never inside the class lock
}

void AKMRAIDInterceptor::setBannerImplementationPath(const std::optional<std::string>& path) {
    state().setPath(&ClassState::bannerPath, path);
}

void AKMRAIDInterceptor::setExpandedBannerImplementationPath(const std::optional<std::string>& path) {
    state().setPath(&ClassState::expandedBannerPath, path);
}

void AKMRAIDInterceptor::setInterstitialImplementationPath(const std::optional<std::string>& path) {
    state().setPath(&ClassState::interstitialPath, path);
}

std::optional<std::string> AKMRAIDInterceptor::bannerImplementationPath() {
    return state().path(&ClassState::bannerPath);
}

std::optional<std::string> AKMRAIDInterceptor::expandedBannerImplementationPath() {
    return state().path(&ClassState::expandedBannerPath);
}

std::optional<std::string> AKMRAIDInterceptor::interstitialImplementationPath() {
    return state().path(&ClassState::interstitialPath);
}

std::string AKMRAIDInterceptor::staticMediaBaseURL() {
    return AKAdHosts::staticMediaOrigin().description();
}

void AKMRAIDInterceptor::resetToDefaultPaths() {
    const std::string base = staticMediaBaseURL();
    setBannerImplementationPath(base + kBannerScriptPath);
    setExpandedBannerImplementationPath(base + kExpandedBannerScriptPath);
    setInterstitialImplementationPath(base + kInterstitialScriptPath);
}

bool AKMRAIDInterceptor::urlIsAnImplementationPath(const std::string& URL) {
    const NSURLPtr url = NSURL::URLWithString(URL);
    if (!url) return false;
    return state().isImplementationPath(url->absoluteString());
}

NSURLPtr AKMRAIDInterceptor::refererURLFromRequest(const NSURLRequest& request) {
    const auto referer = request.valueForHTTPHeaderField("referer");
    if (!referer || referer->empty()) return nullptr;
    return NSURL::URLWithString(*referer);
}

bool AKMRAIDInterceptor::shouldRedirectForMRAID(const NSURLRequest& request) {
    const NSURLPtr url = NSURL::URLWithString(request.URL());
    if (!url || url->lastPathComponent() != kClaimedLastPathComponent) return false;
    return !urlIsAnImplementationPath(request.URL());
}

bool AKMRAIDInterceptor::canInitWithRequest(const NSURLRequest& request) {
    if (!canInitWithRequestIsEnabled()) return false;
    if (!shouldRedirectForMRAID(request)) return false;
    const NSURLPtr referer = refererURLFromRequest(request);
    if (!referer) return false;
    auto view = AKAdURLStash::viewForURL(referer->absoluteString());
    const bool stashed = view != nullptr;
    releaseOnMainThread(std::move(view));
    return stashed;
}
