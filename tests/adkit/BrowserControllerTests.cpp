// Protects the in-app browser on the recording engine: the view it builds per
// device (toolbar height, web view height and resizing), the "Referer" of its
// first request (the referring URL's host only), the toolbar's row of items
// while loading and after, the open-outside button (the URL opened with
// the leave-application reports and "pcbo", and nothing at all without a
// page), and the opener's browser action behind its guard and state check.
#include <doctest/doctest.h>

#include <memory>
#include <string>
#include <vector>

#include "InterstitialTestSupport.h"
#include "RenderingScope.h"
#include "adkit/rendering/AKBrowserViewController.h"
#include "adkit/rendering/AKWebView.h"
#include "platform/net/NSURLRequest.h"
#include "platform/uikit/UIActivityIndicatorView.h"
#include "platform/uikit/UIApplication.h"
#include "platform/uikit/UIDevice.h"
#include "platform/uikit/UIToolbar.h"
#include "support/TestEnvironment.h"

using namespace adkittest;
using renderingtest::RecordingSlot;

namespace {

// The browser presented from the screen's root, its view built.
std::shared_ptr<AKBrowserViewController> presentedBrowser(interstitialtest::Screen& screen,
                                                          const std::shared_ptr<AKSlot>& slot) {
    auto browser = AKBrowserViewController::make();
    browser->setSlot(slot);
    browser->load("https://landing.example/page", "https://ads.example:8443/ad/page?id=7#top");
    CHECK(browser->URLToLoad() == "https://landing.example/page");  // waits for the view
    browser->presentFromViewController(screen.root);
    waitFor([&] { return browser->webView() != nullptr; }, "the browser's view to be built");
    return browser;
}

std::vector<std::string> itemLabels(const UIToolbar& toolbar) {
    std::vector<std::string> labels;
    for (const auto& item : toolbar.items())
        labels.push_back(item->isFlexibleSpace() ? "|" : item->accessibilityLabel());
    return labels;
}

std::vector<std::string> lines(const renderingtest::CallLog& log, const std::string& prefix) {
    std::vector<std::string> found;
    for (const auto& line : log.calls)
        if (line.starts_with(prefix)) found.push_back(line);
    return found;
}

}  // namespace

TEST_CASE("in-app browser: the view per device, the first request's Referer, the toolbar while loading and after") {
    testsupport::TempHome home;
    RenderingScope scope;
    const auto app = UIApplication::sharedApplication();
    const auto device = UIDevice::currentDevice();
    const auto idiomBefore = device->userInterfaceIdiom();
    struct Case {
        UIUserInterfaceIdiom idiom;
        UIInterfaceOrientation orientation;
        CGFloat toolbarHeight;
        UIViewAutoresizing webViewMask;
    };
    const UIViewAutoresizing stretch = UIViewAutoresizingFlexibleWidth | UIViewAutoresizingFlexibleHeight;
    for (const Case& c : {Case{UIUserInterfaceIdiomPhone, UIInterfaceOrientationPortrait, 44, stretch},
                          Case{UIUserInterfaceIdiomPhone, UIInterfaceOrientationLandscapeLeft, 30,
                               stretch | UIViewAutoresizingFlexibleBottomMargin},
                          Case{UIUserInterfaceIdiomPad, UIInterfaceOrientationLandscapeLeft, 44, stretch}}) {
        CAPTURE(c.idiom);
        CAPTURE(c.orientation);
        device->setUserInterfaceIdiom(c.idiom);
        app->setStatusBarOrientation(c.orientation);
        interstitialtest::Screen screen;
        auto slot = std::make_shared<RecordingSlot>();
        auto browser = presentedBrowser(screen, slot);
        const CGRect bounds = browser->view()->bounds();
        const auto& webView = browser->webView();
        CHECK(webView->frame() == CGRectMake(0, 0, bounds.size.width, bounds.size.height - c.toolbarHeight + 1));
        CHECK(webView->autoresizingMask() == c.webViewMask);
        CHECK(webView->dataDetectorTypes() == UIDataDetectorTypeAll);
        CHECK_FALSE(webView->showDebug());
        CHECK(browser->toolbar()->frame() ==
              CGRectMake(0, bounds.size.height - c.toolbarHeight + 1, bounds.size.width, c.toolbarHeight));
        CHECK_FALSE(browser->URLToLoad());
        const auto request = webView->webView()->loadedRequest();  // as the browser handed it over
        REQUIRE(request);
        CHECK(request->URL() == "https://landing.example/page");
        CHECK(request->valueForHTTPHeaderField("Referer") == "ads.example");
        CHECK(lines(*slot, "adWillPresentScreen").size() == 1);
        browser->relinquishScreen();
        waitFor([&] { return !screen.root->presentedViewController(); }, "the browser to go");
    }
    device->setUserInterfaceIdiom(idiomBefore);
    app->setStatusBarOrientation(UIInterfaceOrientationPortrait);

    // The row of items, loading and loaded (the roads check their looks on screen).
    interstitialtest::Screen screen;
    auto browser = presentedBrowser(screen, std::make_shared<RecordingSlot>());
    const auto& toolbar = *browser->toolbar();
    CHECK(itemLabels(toolbar) ==
          std::vector<std::string>{"Back", "|", "Forward", "|", "Spinner", "|", "View in Safari", "|", "Done"});
    UIWebViewRecorder::of(*browser->webView()->webView()).finishLoad();
    CHECK(itemLabels(toolbar) ==
          std::vector<std::string>{"Back", "|", "Forward", "|", "Reload", "|", "View in Safari", "|", "Done"});
    CHECK(browser->doneButton()->style() == UIBarButtonItemStyleDone);
    browser->reloadButton()->sendAction();
    CHECK(toolbar.items()[4] == browser->spinnerContainingButton());
    CHECK(browser->spinner()->isAnimating());
    browser->relinquishScreen();
}

TEST_CASE("in-app browser: open outside opens the page with the leave reports and counts pcbo, without a page nothing") {
    testsupport::TempHome home;
    RenderingScope scope;
    interstitialtest::Screen screen;
    const auto app = UIApplication::sharedApplication();
    app->resetOpenedURLs();

    // No page yet (the view is not built): nothing opened, nothing counted.
    auto slot = std::make_shared<RecordingSlot>();
    auto idle = AKBrowserViewController::make();
    idle->setSlot(slot);
    idle->openInSafari();
    drainMainQueue();
    CHECK(app->openedURLs().empty());
    CHECK(slot->calls.empty());

    // A page: it opens outside after the reports, and "pcbo" is counted.
    auto browser = presentedBrowser(screen, slot);
    UIWebViewRecorder::of(*browser->webView()->webView()).finishLoad();
    slot->calls.clear();
    browser->safariButton()->sendAction();
    CHECK(slot->joined() ==
          "pingClickURLs; adWillLeaveApplication; willLeaveAppDueToClick; setAdStatistic pcbo=1 onlyWhenAbsent=0");
    CHECK(app->openedURLs().empty());  // the platform opens it after the reports
    drainMainQueue();
    CHECK(app->openedURLs() == std::vector<std::string>{"https://landing.example/page"});
    browser->relinquishScreen();
    app->resetOpenedURLs();
}

TEST_CASE("in-app browser: the opener opens it only past its guard and with a URL and a view controller") {
    testsupport::TempHome home;
    RenderingScope scope;
    interstitialtest::Screen screen;
    struct Case {
        const char* name;
        bool guarded, touched, withController;
        std::string URL;
        bool opens;
    };
    for (const Case& c : {Case{"guard off", false, false, true, "https://landing.example/", true},
                          Case{"guarded and touched", true, true, true, "https://landing.example/", true},
                          Case{"guarded, untouched", true, false, true, "https://landing.example/", false},
                          Case{"no view controller", false, false, false, "https://landing.example/", false},
                          Case{"no URL", false, false, true, "", false}}) {
        CAPTURE(c.name);
        auto slot = std::make_shared<RecordingSlot>();
        auto adWebView = AKWebView::make(CGRectMake(0, 0, 320, 50));
        adWebView->setTouched(c.touched);
        auto opener = std::make_shared<AKOpener>();
        opener->setSlot(slot);
        opener->setWebView(adWebView);
        opener->setAutoClickProtected(c.guarded);
        opener->setReferringURL("http://ads.example/ad");
        if (c.withController) opener->setViewController(screen.root);
        opener->openBrowserToURL(c.URL, AKSupportedOrientationsPortrait);
        const auto browser = std::dynamic_pointer_cast<AKBrowserViewController>(screen.root->presentedViewController());
        CHECK(static_cast<bool>(browser) == c.opens);
        CHECK(lines(*slot, "pingClickURLs").size() == (c.opens ? 1u : 0u));
        if (!browser) continue;
        CHECK(browser->supportedOrientations() == 2);
        CHECK(browser->slot() == slot);
        waitFor([&] { return browser->webView() != nullptr; }, "the browser's view to be built");
        CHECK(browser->webView()->webView()->loadedRequest()->valueForHTTPHeaderField("Referer") == "ads.example");
        browser->relinquishScreen();
        waitFor([&] { return !screen.root->presentedViewController(); }, "the browser to go");
    }
}
