#include "adkit/rendering/AKMRAIDInterceptor.h"

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
struct ClassState {
    AnnotatedMutex lock;
    bool allowed QV_GUARDED_BY(lock) = false;
    std::int64_t counter QV_GUARDED_BY(lock) = 0;
    std::optional<std::string> bannerPath QV_GUARDED_BY(lock);
    std::optional<std::string> expandedBannerPath QV_GUARDED_BY(lock);
    std::optional<std::string> interstitialPath QV_GUARDED_BY(lock);
    std::set<std::string> implementationPaths QV_GUARDED_BY(lock);

    void setPath(std::optional<std::string> ClassState::*field, const std::optional<std::string>& path) {
        AnnotatedLock guard(lock);
        if (this->*field == path) return;
        this->*field = path;
        if (bannerPath && expandedBannerPath && interstitialPath) {
            implementationPaths = {*bannerPath, *expandedBannerPath, *interstitialPath};
        }
    }
    std::optional<std::string> path(std::optional<std::string> ClassState::*field) {
        AnnotatedLock guard(lock);
        return this->*field;
    }
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

void AKMRAIDInterceptor::allow() {
    AnnotatedLock guard(state().lock);
    state().allowed = true;
}

void AKMRAIDInterceptor::disallow() {
    AnnotatedLock guard(state().lock);
    state().allowed = false;
}

bool AKMRAIDInterceptor::isAllowed() {
    AnnotatedLock guard(state().lock);
    return state().allowed;
}

void AKMRAIDInterceptor::enableCanInitWithRequest() {
    AnnotatedLock guard(state().lock);
    ++state().counter;
}

void AKMRAIDInterceptor::disableCanInitWithRequest() {
    AnnotatedLock guard(state().lock);
    if (state().counter > 0) --state().counter;
}

void AKMRAIDInterceptor::resetCanInitWithRequestCounter() {
    AnnotatedLock guard(state().lock);
    state().counter = 0;
}

std::int64_t AKMRAIDInterceptor::canInitWithRequestCounter() {
    AnnotatedLock guard(state().lock);
    return state().counter;
}

bool AKMRAIDInterceptor::canInitWithRequestIsEnabled() {
    {
        AnnotatedLock guard(state().lock);
        if (!state().allowed || state().counter == 0) return false;
    }
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
    return "http://" + AKAdHosts::staticContentHost();
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
    AnnotatedLock guard(state().lock);
    return state().implementationPaths.contains(url->absoluteString());
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
