#pragma once
// A web view: shows a page loaded from HTML, data or a request, asks its
// delegate before every navigation, reports the main document's loads, and
// evaluates script synchronously. Main thread only.
//
// The engine sits behind UIWebViewBacking. The default backing is the real
// web engine (UIWebViewWPE.cpp); tests that only need to see what a view was
// asked to do choose the recording backing (UIWebViewRecorder.h) with
// useBackingFactory. Whatever the backing, the view records the last data and
// request it was given (loadedData, loadedRequest, loadCount).
// The engine's view of a page, and the web process behind it, are made on the
// view's first load or script evaluation: a view that is only made, laid out
// and configured starts no process, and what it was told holds for its page.
//
// Delegate contract (the platform's):
// - every navigation of every frame asks shouldStartLoadWithRequest first, in
//   the order the page made them; loads the host started are type Other;
// - a refused navigation makes no load callbacks;
// - webViewDidStartLoad, then webViewDidFinishLoad or didFailLoadWithError,
//   once per main-frame load; a load replaced by another fails with
//   NSURLErrorCancelled (-999); engine errors map to NSURLError codes;
// - a page that answers 404 still finishes (mainDocumentStatusCode tells),
//   unless the view fails loads on error statuses: then a main document
//   answered outside 200-299 is never shown (no script of it runs) and the
//   load fails with NSURLErrorBadServerResponse (-1011).
// Until a new document's first painted frame the view shows the previous
// page's frame or its background, never the engine's white (UIWebViewWPE.h).
#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/foundation/Data.h"
#include "platform/foundation/NSError.h"
#include "platform/net/NSURLRequest.h"
#include "platform/uikit/UIView.h"

class UIWebView;
class UIScrollView;

enum UIWebViewNavigationType : long {
    UIWebViewNavigationTypeLinkClicked = 0,
    UIWebViewNavigationTypeFormSubmitted = 1,
    UIWebViewNavigationTypeBackForward = 2,
    UIWebViewNavigationTypeReload = 3,
    UIWebViewNavigationTypeFormResubmitted = 4,
    UIWebViewNavigationTypeOther = 5,
};

enum UIDataDetectorTypes : unsigned long {
    UIDataDetectorTypeNone = 0,
    UIDataDetectorTypePhoneNumber = 1 << 0,
    UIDataDetectorTypeLink = 1 << 1,
    UIDataDetectorTypeAddress = 1 << 2,
    UIDataDetectorTypeCalendarEvent = 1 << 3,
    UIDataDetectorTypeAll = ~0UL,
};

// The web process a view's pages run in, chosen at construction: creatives
// (untrusted pages) share one, the library's own pages another. A process
// that stops answering for 1 s is ended: creative views fail their load with
// NSURLErrorResourceUnavailable (-1008) and their next load starts a new
// process; library pages load again (a load under way fails with -999). Every
// view of an ended process lets its last frame go: it shows its background
// until a page paints again.
enum class UIWebViewProcessGroup { Creatives, Library };

class UIWebViewDelegate {
public:
    virtual ~UIWebViewDelegate() = default;
    // webView:shouldStartLoadWithRequest:navigationType:
    virtual bool shouldStartLoadWithRequest(UIWebView& /*webView*/, const std::shared_ptr<NSURLRequest>& /*request*/,
                                            UIWebViewNavigationType /*navigationType*/) {
        return true;
    }
    virtual void webViewDidStartLoad(UIWebView& /*webView*/) {}
    virtual void webViewDidFinishLoad(UIWebView& /*webView*/) {}
    // webView:didFailLoadWithError:
    virtual void didFailLoadWithError(UIWebView& /*webView*/, const NSError& /*error*/) {}
};

// What a backing reports back to its view. Called on the main thread, never
// from inside another engine callback of the same view.
class UIWebViewBackingClient {
public:
    virtual ~UIWebViewBackingClient() = default;
    virtual bool backingShouldStartLoad(const std::shared_ptr<NSURLRequest>& request,
                                        UIWebViewNavigationType navigationType) = 0;
    virtual void backingDidStartLoad() = 0;
    virtual void backingDidFinishLoad() = 0;
    virtual void backingDidFailLoad(const NSError& error) = 0;
    // A painted frame became the view's layer contents.
    virtual void backingDidPaintFrame() = 0;
    // A frame for the view's layer (an engine backing's painting).
    virtual void backingDidReceiveFrame(CGImageRef /*image*/, double /*scale*/) {}
    // The page's web process ended: its last frame shows no live page any more.
    virtual void backingDidLosePage() {}
    // The process group the backing's pages run in.
    virtual UIWebViewProcessGroup backingProcessGroup() const { return UIWebViewProcessGroup::Creatives; }
    // The size (points) and scale a backing's page is made with, so that it
    // need not be resized as soon as it exists.
    virtual CGSize backingInitialSize() const { return CGSizeMake(0, 0); }
    virtual double backingInitialScale() const { return 1; }
};

// The engine behind one view.
class UIWebViewBacking {
public:
    virtual ~UIWebViewBacking() = default;
    virtual void loadHTMLString(const std::string& html, const std::string& baseURL) = 0;
    virtual void loadData(const Data& data, const std::string& MIMEType, const std::string& textEncodingName,
                          const std::string& baseURL) = 0;
    virtual void loadRequest(const std::shared_ptr<NSURLRequest>& request) = 0;
    virtual void stopLoading() = 0;
    virtual void reload() = 0;
    virtual void goBack() = 0;
    virtual void goForward() = 0;
    virtual bool canGoBack() const = 0;
    virtual bool canGoForward() const = 0;
    virtual bool isLoading() const = 0;
    // The request of the page shown (or being loaded), nil before the first load.
    virtual std::shared_ptr<NSURLRequest> request() const = 0;
    // HTTP status of the main document of the last finished load, when it came over HTTP.
    virtual std::optional<long> mainDocumentStatusCode() const = 0;
    // The title of the document shown, as the engine last reported it; "" without
    // one (and for backings that cannot tell). Never waits on the page.
    virtual std::string documentTitle() const { return {}; }
    // Synchronous evaluation: the result's string conversion; "" for undefined,
    // null, promises, exceptions and an unresponsive page.
    virtual std::string evaluateJavaScript(const std::string& script) = 0;
    // The view's size in points and the screen scale.
    virtual void setViewSize(CGSize size, double scale) = 0;
    // Whether the engine paints: a view in use stays visible to the engine
    // whatever its hidden flag; pooled views are not.
    virtual void setEngineVisible(bool visible) = 0;
    // Background (premultiplied RGBA components 0..1) and opacity of the page.
    virtual void setBackground(double red, double green, double blue, double alpha, bool opaque) = 0;
    virtual void setScalesPageToFit(bool scales) = 0;
    virtual void setMediaPlaybackRequiresUserAction(bool required) = 0;
    virtual void setAllowsInlineMediaPlayback(bool allows) = 0;
    // A touch from the window at a point in the view's coordinates: began (0),
    // moved (1), ended (2), cancelled (3).
    virtual void touch(CGPoint point, int phase) = 0;
    // Whether a main document answered over HTTP outside 200-299 fails its
    // load before anything of it is shown (see UIWebView). Backings that only
    // learn the status once the load finished ignore it.
    virtual void setFailsLoadOnErrorStatus(bool /*fails*/) {}
    // Whether the engine holds a page for the view (a load or an evaluation
    // reached it); a view whose page was never made is blank. True for
    // backings that cannot tell.
    virtual bool hasPage() const { return true; }
    // While the client decides on a navigation: whether the page made it in
    // answer to the user (a tap, or script the host evaluated), not on its own
    // (a timer's link.click()). False for backings that cannot tell.
    virtual bool navigationIsUserGesture() const { return false; }
};

class UIWebView : public UIView, public UIWebViewBackingClient {
public:
    using BackingFactory = std::function<std::unique_ptr<UIWebViewBacking>(UIWebViewBackingClient& client)>;

    explicit UIWebView(CGRect frame = CGRectZero, UIWebViewProcessGroup group = UIWebViewProcessGroup::Creatives);
    ~UIWebView() override;

    // The backing every later view gets (process-wide, main thread). Null
    // restores the engine.
    static void useBackingFactory(BackingFactory factory);
    // How long (seconds, default 1) a page's web process may leave the
    // watchdog's ping unanswered before it is ended. Process-wide, main thread;
    // tests whose pages run long turns on purpose on a busy machine raise it.
    static void setUnresponsivePageLimit(double seconds);
    static double unresponsivePageLimit();
    // Engine views of views (the real engine's backing) not yet freed: a
    // view let go frees its engine view and page once the engine lets go too.
    static std::size_t liveEngineViewCount();
    // Trusts a certificate authority (a PEM file) for these hosts alone, in
    // web views and their sub-resources; any other certificate error fails the
    // load. Process-wide; call before the first page of those hosts loads.
    static void trustCertificateAuthorityForHosts(const std::string& authorityPEMPath,
                                                  const std::vector<std::string>& hosts);
    // Engine views made for web views since the process started (one when a
    // view first needs its page: its first load or script evaluation; another
    // when its page's process was ended); a view that never loads makes none,
    // nor does a pooled view taken again. Zero for other backings.
    static std::size_t engineViewsMade();

    std::shared_ptr<UIWebViewDelegate> delegate() const { return delegate_.lock(); }
    void setDelegate(std::weak_ptr<UIWebViewDelegate> delegate) { delegate_ = std::move(delegate); }

    void loadHTMLString(const std::string& html, const std::string& baseURL);
    // loadData:MIMEType:textEncodingName:baseURL:
    void loadData(Data data, std::string MIMEType, std::string textEncodingName, std::string baseURL);
    void loadRequest(std::shared_ptr<NSURLRequest> request);
    void stopLoading();
    void reload();
    void goBack();
    void goForward();
    bool canGoBack() const;
    bool canGoForward() const;
    bool isLoading() const;
    std::shared_ptr<NSURLRequest> request() const;
    std::optional<long> mainDocumentStatusCode() const;
    std::string documentTitle() const { return backing_->documentTitle(); }
    // Whether the view's page exists yet (see UIWebViewBacking::hasPage): one
    // that never loaded nor evaluated script is blank and holds no process.
    bool hasPage() const { return backing_->hasPage(); }
    std::string stringByEvaluatingJavaScriptFromString(const std::string& script);
    // Inside shouldStartLoadWithRequest: whether the navigation answers the
    // user (see UIWebViewBacking::navigationIsUserGesture).
    bool navigationIsUserGesture() const { return backing_->navigationIsUserGesture(); }

    const std::shared_ptr<UIScrollView>& scrollView() const { return scrollView_; }
    // With scalesPageToFit, a page wider than the view is zoomed out (the
    // engine's page zoom) so that its whole width shows; it is measured when
    // its load finishes, before the delegate hears of it. Turned off, the page
    // shown goes back to its own size; turned on, it applies from the next
    // finished load. A view of no width fits nothing.
    bool scalesPageToFit() const { return scalesPageToFit_; }
    void setScalesPageToFit(bool scales);
    // Stored only: the engine detects no phone numbers, links or addresses.
    UIDataDetectorTypes dataDetectorTypes() const { return dataDetectorTypes_; }
    void setDataDetectorTypes(UIDataDetectorTypes types) { dataDetectorTypes_ = types; }
    // Stored only: the engine plays every video inline, in the page (it has no
    // full-screen player, and pages' full-screen requests are refused), so NO
    // changes nothing.
    bool allowsInlineMediaPlayback() const { return allowsInlineMediaPlayback_; }
    void setAllowsInlineMediaPlayback(bool allows);
    bool mediaPlaybackRequiresUserAction() const { return mediaPlaybackRequiresUserAction_; }
    void setMediaPlaybackRequiresUserAction(bool required);
    // Stored only: there is no AirPlay.
    bool mediaPlaybackAllowsAirPlay() const { return mediaPlaybackAllowsAirPlay_; }
    // Off by default: a main document the server answered with a status
    // outside 200-299 fails its load (NSURLErrorBadServerResponse, the status
    // in mainDocumentStatusCode) as soon as its headers arrive, before any of
    // its body is shown or run; for pages whose error answers must do nothing.
    bool failsLoadOnErrorStatus() const { return failsLoadOnErrorStatus_; }
    void setFailsLoadOnErrorStatus(bool fails);
    void setMediaPlaybackAllowsAirPlay(bool allows) { mediaPlaybackAllowsAirPlay_ = allows; }
    // Background colour and opacity reach the page (clear: a transparent page).
    void setBackgroundColor(CGColorRef color) override;
    void setOpaque(bool opaque) override;
    // Whether the engine paints this view (see UIWebViewBacking::setEngineVisible).
    void setEngineVisible(bool visible);
    // Painted frames since creation (tests wait for one after a moment).
    std::size_t paintedFrameCount() const { return paintedFrames_; }
    UIWebViewProcessGroup processGroup() const { return group_; }
    // The page follows the view's size (at the main screen's scale).
    void setFrame(CGRect frame) override;
    void layoutSubviews() override;
    // Touches from the window reach the page as pointer events at their point.
    void touchesBegan(const UITouchSet& touches, UIEvent* event) override;
    void touchesMoved(const UITouchSet& touches, UIEvent* event) override;
    void touchesEnded(const UITouchSet& touches, UIEvent* event) override;
    void touchesCancelled(const UITouchSet& touches, UIEvent* event) override;

    // What the view was last asked to show, whatever the backing.
    struct LoadedData {
        Data data;
        std::string MIMEType;
        std::string textEncodingName;
        std::string baseURL;
    };
    const std::optional<LoadedData>& loadedData() const { return loadedData_; }
    const std::shared_ptr<NSURLRequest>& loadedRequest() const { return loadedRequest_; }
    std::size_t loadCount() const { return loads_; }
    UIWebViewBacking& backing() const { return *backing_; }

    // UIWebViewBackingClient
    bool backingShouldStartLoad(const std::shared_ptr<NSURLRequest>& request,
                                UIWebViewNavigationType navigationType) override;
    void backingDidStartLoad() override;
    void backingDidFinishLoad() override;
    void backingDidFailLoad(const NSError& error) override;
    void backingDidPaintFrame() override;
    void backingDidReceiveFrame(CGImageRef image, double scale) override;
    void backingDidLosePage() override;
    UIWebViewProcessGroup backingProcessGroup() const override { return group_; }
    CGSize backingInitialSize() const override { return bounds().size; }
    double backingInitialScale() const override;

private:
    void touch(const UITouchSet& touches, int phase);
    void updateViewSize();

    UIWebViewProcessGroup group_;
    CGSize engineSize_{-1, -1};
    std::unique_ptr<UIWebViewBacking> backing_;
    std::weak_ptr<UIWebViewDelegate> delegate_;
    std::shared_ptr<UIScrollView> scrollView_;
    bool scalesPageToFit_ = false;
    UIDataDetectorTypes dataDetectorTypes_ = UIDataDetectorTypePhoneNumber;
    bool allowsInlineMediaPlayback_ = false;
    bool mediaPlaybackRequiresUserAction_ = true;
    bool mediaPlaybackAllowsAirPlay_ = true;
    bool failsLoadOnErrorStatus_ = false;
    std::optional<LoadedData> loadedData_;
    std::shared_ptr<NSURLRequest> loadedRequest_;
    std::size_t loads_ = 0;
    std::size_t paintedFrames_ = 0;
};
