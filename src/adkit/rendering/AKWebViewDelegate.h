#pragma once
// The base of the ad web views' delegates: decides for every navigation of an
// ad page whether it loads (the routing below), turns page messages into
// handler calls and other links into the opener's actions, and reports page
// loads. Main thread only.
//
// Routing, in order: no URL → refused; the opener's navigation URL is set; the
// publisher toolbar sentinel opens the toolbar (refused); the request's
// User-Agent becomes the device's; the opener gets its view controller and the
// web view; for a link click, a jump within the page shown is refused and an
// http(s) link of a rich-media ad opens in the in-app browser (refused); a
// page message ("amsg") posts "didReceiveWebAction" with "u" and "a" and goes
// to the handlers (refused); any other URL posts "didReceiveWebAction" with
// "u" (not for a load of type other whose path is shorter than 2 characters)
// and then by scheme: "mailto" and "sms" open composers (refused), "file"
// loads only with fileAccessAllowed, "about" loads, "http" and "https" are
// registered in the ad URL stash for the web view and load, anything else
// opens outside the application (refused).
//
// Page messages reach the handlers in the order the page sent them: each
// message is one block on the main queue that asks every handler in list
// order and, when none took it, posts it to the observers of its web view
// (AKNotificationCenter). Every handler sees every message.
//
// Load finished: the page gets the status bar's orientation with the
// orientation-change event, the web view its load event, and the first time
// only "webViewDidFinishLoad" is posted and loadedFirstPage called. Load
// failed: "webViewDidFailLoad" is posted.
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "adkit/rendering/AKWebView.h"
#include "platform/foundation/NSObject.h"

class AKAMSGHandler;
class AKOpener;
class AKOpenerAMSGHandler;
class AKSlot;

inline constexpr const char* kDidReceiveWebActionNotification = "didReceiveWebAction";
inline constexpr const char* kWebViewDidFinishLoadNotification = "webViewDidFinishLoad";
inline constexpr const char* kWebViewDidFailLoadNotification = "webViewDidFailLoad";

// A view that shows the ads of one ad unit (the banner view): an ad web view
// inside one names that ad unit to the publisher toolbar.
class AKAdUnitView {
public:
    virtual ~AKAdUnitView() = default;
    virtual std::optional<std::string> adUnitID() const = 0;
};

class AKWebViewDelegate : public NSObject, public AKWebViewDelegateProtocol {
public:
    // init: the opener (AKOpener::make), its handler and the handler list.
    AKWebViewDelegate();
    ~AKWebViewDelegate() override;

    const std::shared_ptr<AKOpener>& opener() const { return opener_; }
    void setOpener(std::shared_ptr<AKOpener> opener) { opener_ = std::move(opener); }
    const std::vector<std::shared_ptr<AKAMSGHandler>>& amsgHandlers() const { return amsgHandlers_; }
    const std::shared_ptr<AKOpenerAMSGHandler>& openerAMSGHandler() const { return openerAMSGHandler_; }
    void setOpenerAMSGHandler(std::shared_ptr<AKOpenerAMSGHandler> handler) {
        openerAMSGHandler_ = std::move(handler);
    }
    bool hasLoadedAtLeastOnce() const { return hasLoadedAtLeastOnce_; }
    bool fileAccessAllowed() const { return fileAccessAllowed_; }
    void setFileAccessAllowed(bool allowed) { fileAccessAllowed_ = allowed; }

    bool shouldStartLoadWithRequest(AKWebView& webView, const std::shared_ptr<NSURLRequest>& request,
                                    UIWebViewNavigationType navigationType) override;
    // Dispatches one page message to the handlers (one block on the main queue).
    void handleAMSGRequest(const std::shared_ptr<NSURLRequest>& request, const std::shared_ptr<AKWebView>& webView);
    void webViewDidStartLoad(AKWebView& webView) override;
    void webViewDidFinishLoad(AKWebView& webView) override;
    void didFailLoadWithError(AKWebView& webView, const NSError& error) override;
    // Called once, after the first load finished.
    virtual void loadedFirstPage(AKWebView& /*webView*/) {}

protected:
    void addAMSGHandler(std::shared_ptr<AKAMSGHandler> handler);
    virtual std::shared_ptr<UIViewController> viewControllerForPresentingFromWebView(AKWebView& webView);
    // Stores the current time in milliseconds under the ad statistic key
    // (only when absent, when asked), telling the statistics delegate.
    static void stampAdStatistic(const std::shared_ptr<AKSlot>& slot, const std::string& key, bool onlyWhenAbsent);

private:
    // Routing by scheme of a URL that is no page message.
    bool routeByScheme(AKWebView& webView, const std::string& scheme, const std::string& URL);

    std::shared_ptr<AKOpener> opener_;
    std::vector<std::shared_ptr<AKAMSGHandler>> amsgHandlers_;
    std::shared_ptr<AKOpenerAMSGHandler> openerAMSGHandler_;
    bool hasLoadedAtLeastOnce_ = false;
    bool fileAccessAllowed_ = false;
};
