#pragma once
// The rich-media script interceptor: a URL protocol class that answers a
// creative's request for "mraid.js" with the library's own implementation
// script for banners, interstitials or expanded banners.
//
// Registration: registerClass() (the class's initialisation) sets the default
// script URLs, registers the class with the URL loading system and allows
// interception; later calls do nothing. The application's early activities
// and the tests call it; it stays registered for the life of the process.
//
// Claiming (canInitWithRequest, asked for every request of the process, from
// any loading thread): only while interception is allowed, the interception
// counter is above 0 and the ad URL stash holds a live page (cheap checks
// first); then only a request whose last path component is "mraid.js", that is
// not itself one of the implementation scripts, and whose "referer" header
// names a page in the stash. Web views divert such sub-resources of their pages
// to the application with the page's document URL as the referer.
//
// The counter: enableCanInitWithRequest adds 1 when a slot starts a request,
// disableCanInitWithRequest takes 1 away when a slot's load ends (core page
// failed, valid ad, failed); a web-app controller with a page of its own holds
// 1 while it lives (AKWebAppViewController). It never goes below 0, so the
// ends of loads that never counted (a load started from a resting state, a
// failure reported twice) cannot leave it negative and switch interception
// off for the next one.
//
// Loading (an instance, made and started on one loading thread): the script
// is chosen on the main thread, where views and their delegates live. When the
// page's view has a delegate that is a AKMRAIDSlotSource, its slot chooses
// (the interstitial script for an interstitial, else the banner script) and is
// told willLoadMRAIDAd; any other delegate (the second page of an expanded ad),
// or none, gets the expanded-banner script and no slot is told. Then the script is
// downloaded on the loading thread's run loop and handed to the client as an
// "application/javascript" response that may be cached. A request without a
// referer fails with NSCocoaErrorDomain -1000; a download that fails,
// answers a status outside 200-299 or takes longer than
// kScriptDownloadLimit seconds (Clock time) fails the request too (with the
// download's error, NSURLErrorBadServerResponse or NSURLErrorTimedOut), so a
// creative never runs without the container it asked for. stopLoading cancels
// the download; the client hears nothing after it.
//
// Threads: the class-wide state (flag, counter, paths) is guarded by one lock
// and may be read and changed from any thread.
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "platform/foundation/Data.h"
#include "platform/foundation/NSURL.h"
#include "platform/net/NSURLConnection.h"
#include "platform/net/NSURLProtocol.h"
#include "platform/runloop/NSRunLoop.h"

class AKSlot;

// What the rich-media interceptor asks of a web view's delegate: a banner
// web-view delegate answers the slot whose ad its view shows (null when it has
// none). Delegates that are not banner delegates do not implement it.
class AKMRAIDSlotSource {
public:
    virtual ~AKMRAIDSlotSource() = default;
    virtual std::shared_ptr<AKSlot> slotForMRAID() const = 0;
};

class AKMRAIDInterceptor : public NSURLProtocol {
public:
    static constexpr const char* kProtocolClassName = "AKMRAIDInterceptor";
    static constexpr const char* kClaimedLastPathComponent = "mraid.js";
    static constexpr const char* kBannerScriptPath = "/mraid/v1/mraid_app_banner.js";
    static constexpr const char* kExpandedBannerScriptPath = "/mraid/v1/mraid_app_expanded_banner.js";
    static constexpr const char* kInterstitialScriptPath = "/mraid/v1/mraid_app_interstitial.js";
    static constexpr const char* kScriptMIMEType = "application/javascript";
    static constexpr double kScriptDownloadLimit = 10;

    // initialize: once per process.
    static void registerClass();
    // The class as registered with the URL loading system.
    static NSURLProtocol::Class protocolClass();

    static void allow();
    static void disallow();
    static bool isAllowed();
    static void enableCanInitWithRequest();
    static void disableCanInitWithRequest();
    static void resetCanInitWithRequestCounter();
    static std::int64_t canInitWithRequestCounter();
    // Allowed, the counter above 0 and a page in the stash.
    static bool canInitWithRequestIsEnabled();

    // The script URLs; a nil path is stored as nil (the SDK constants may lack
    // one) and the set of implementation paths is rebuilt only when all three are set.
    static void setBannerImplementationPath(const std::optional<std::string>& path);
    static void setExpandedBannerImplementationPath(const std::optional<std::string>& path);
    static void setInterstitialImplementationPath(const std::optional<std::string>& path);
    static std::optional<std::string> bannerImplementationPath();
    static std::optional<std::string> expandedBannerImplementationPath();
    static std::optional<std::string> interstitialImplementationPath();
    static void resetToDefaultPaths();
    // Where the default scripts are served from ("http://" and the static-media host).
    static std::string staticMediaBaseURL();

    // Whether the URL's absolute string is one of the implementation paths.
    static bool urlIsAnImplementationPath(const std::string& URL);
    // The URL of the request's "referer" header; null when absent, empty or not a URL.
    static NSURLPtr refererURLFromRequest(const NSURLRequest& request);
    // Not an implementation script, and the last path component is "mraid.js".
    static bool shouldRedirectForMRAID(const NSURLRequest& request);
    static bool canInitWithRequest(const NSURLRequest& request);

    // initWithRequest:cachedResponse:client:
    AKMRAIDInterceptor(std::shared_ptr<NSURLRequest> request, std::shared_ptr<NSCachedURLResponse> cachedResponse,
                       std::shared_ptr<NSURLProtocolClient> client);
    ~AKMRAIDInterceptor() override;

    void startLoading() override;
    void stopLoading() override;
    // The script chosen for this request (set once startLoading chose it).
    std::optional<std::string> mraidLocationToLoad() const;

private:
    class ScriptDownload;
    // Main thread: picks the script and tells the banner's slot.
    void chooseScript();
    // The loading thread: downloads the chosen script.
    void beginDownload();
    void downloadFinished(const Data& script);
    void fail(const NSErrorPtr& error);
    // Ends the download and its limit; false when the load already ended.
    bool end();

    const NSURLPtr refererURL_;
    std::shared_ptr<NSRunLoop> loadingRunLoop_;  // set by startLoading
    mutable std::mutex mutex_;  // guards the fields below (chosen on main, read on the loading thread)
    std::optional<std::string> mraidLocationToLoad_;
    bool ended_ = false;
    NSURLConnectionPtr download_;
    std::shared_ptr<NSTimer> limit_;
};
