// Protects the routing of ad page navigations: by scheme and navigation type
// (page messages refused and dispatched, jumps within the page refused,
// composers, other applications, about, file, http), the click test on the
// virtual clock, page messages reaching handlers in the order sent, and the
// web-app and in-app browser delegates' statistics, toolbar and "onshow",
// and the publisher toolbar sentinel naming the banner view's ad unit.
#include "RenderingScope.h"
#include <algorithm>

#include "adkit/foundation/AKTiming.h"
#include "adkit/rendering/AKAMSGHandler.h"
#include "adkit/rendering/AKBannerWebViewDelegate.h"
#include "adkit/rendering/AKBrowserViewController.h"
#include "adkit/rendering/AKBrowserWebView.h"
#include "adkit/rendering/AKBrowserWebViewDelegate.h"
#include "adkit/rendering/AKWebAppViewController.h"
#include "adkit/rendering/AKWebAppWebViewDelegate.h"
#include "adkit/rendering/AKWebViewDelegate.h"
#include "adkit/requests/AKBannerView.h"
#include "platform/foundation/Clock.h"
#include "platform/foundation/NSNotificationCenter.h"
#include "platform/uikit/UIEvent.h"

using namespace adkittest;
using renderingtest::RecordingSlot;

namespace {
// Records the notifications of one name sent for one web view.
struct Observed {
    std::vector<Value> userInfos;
    std::shared_ptr<NSObject> token;
    Observed(const std::string& name, const std::shared_ptr<AKWebView>& view) {
        token = NSNotificationCenter::defaultCenter()->addObserverForName(
            name, view, nullptr, [this](const NSNotification& note) { userInfos.push_back(note.userInfo()); });
    }
    ~Observed() { NSNotificationCenter::defaultCenter()->removeObserver(token.get()); }
};

class RecordingHandler : public AKAMSGHandler {
public:
    std::vector<std::string> seen;
    RecordingHandler() : AKAMSGHandler(table()) {}
    static std::shared_ptr<const ActionSelectorDictionary> table() {
        static const auto shared = std::make_shared<const ActionSelectorDictionary>(
            ActionSelectorDictionary{{"m", action<RecordingHandler, &RecordingHandler::record>()}});
        return shared;
    }
    void record(const AKAMSGHandlerArguments& arguments) { seen.push_back(arguments.parameter("i").value_or("")); }
};

struct HandlerDelegate : AKWebViewDelegate {
    explicit HandlerDelegate(std::shared_ptr<AKAMSGHandler> handler) { addAMSGHandler(std::move(handler)); }
};
}  // namespace

TEST_CASE("routing: page messages, jumps, composers, other applications, about, file and http by scheme and type") {
    testsupport::TempHome home;
    RenderingScope scope;
    auto view = AKWebView::make(CGRectMake(0, 0, 32, 20));
    auto delegate = std::make_shared<AKWebViewDelegate>();
    view->setDelegate(delegate);
    auto& opener = *scope.openers.back();
    auto& recorder = UIWebViewRecorder::of(*view->webView());
    Observed actions(kDidReceiveWebActionNotification, view);
    Observed finished(kWebViewDidFinishLoadNotification, view);
    Observed unhandled("noSuchMessage", view);
    auto mraidSlot = std::make_shared<RecordingSlot>();
    mraidSlot->richMedia = true;

    view->loadHTMLString("<p>ad</p>", "http://ads.example/page");
    recorder.finishLoad();
    recorder.finishLoad();
    CHECK(finished.userInfos.size() == 1);
    CHECK(view->didReceiveLoadEvent());
    CHECK(view->orientation() == 1);

    struct Row {
        const char* URL;
        UIWebViewNavigationType type;
        bool fileAccess, mraid, allowed;
        const char* openerCall;
        const char* action;  // the "a" of "didReceiveWebAction", "-" for none posted, "" for no "a"
    };
    const auto link = UIWebViewNavigationTypeLinkClicked, other = UIWebViewNavigationTypeOther;
    const Row rows[] = {
        {"amsg://ad/noSuchMessage?k=v", link, false, false, false, "", "noSuchMessage"},
        {"http://ads.example/page#later", link, false, false, false, "", "-"},
        {"mailto:ads@example.com", link, false, false, false, "openEmailComposer mailto:ads@example.com", ""},
        {"SMS:5551234", link, false, false, false, "openSmsComposer SMS:5551234", ""},
        {"tel:5551234", link, false, false, false, "openApp tel:5551234", ""},
        {"about:blank", other, false, false, true, "", ""},
        {"file:///tmp/ad.html", other, false, false, false, "", ""},
        {"file:///tmp/ad.html", other, true, false, true, "", ""},
        {"https://ads.example/", other, false, false, true, "", "-"},
        {"http://ads.example/landing", link, false, false, true, "", ""},
        {"http://ads.example/rich", link, false, true, false, "openBrowser http://ads.example/rich o=1", "-"},
    };
    for (const auto& row : rows) {
        INFO(std::string(row.URL));
        opener.calls.clear();
        actions.userInfos.clear();
        delegate->setFileAccessAllowed(row.fileAccess);
        opener.setSlot(row.mraid ? mraidSlot : nullptr);
        CHECK(recorder.navigate(row.URL, row.type) == row.allowed);
        CHECK(opener.calls == (*row.openerCall ? std::vector<std::string>{row.openerCall} : std::vector<std::string>{}));
        const std::string expected = row.action;
        REQUIRE(actions.userInfos.size() == (expected == "-" ? 0u : 1u));
        if (expected == "-") continue;
        CHECK(actions.userInfos[0]["u"].stringValue() == row.URL);
        CHECK(actions.userInfos[0]["a"].stringValue() == expected);
        if (row.allowed && std::string(row.URL).starts_with("http")) CHECK(view->URL() == std::string(row.URL));
    }
    waitFor([&] { return unhandled.userInfos.size() == 1; }, "the unhandled page message as a notification");
    CHECK(unhandled.userInfos[0]["k"].stringValue() == "v");

    // The publisher toolbar sentinel: the page's markup, and the ad unit of the
    // banner view the web view is in (none in any other view); never loaded.
    opener.setSlot(nullptr);
    recorder.setScriptAnswer([](const std::string& script) {
        return script == "document.body.innerHTML" ? std::string("<p>ad</p>") : std::string();
    });
    auto plain = std::make_shared<UIView>(CGRectMake(0, 0, 320, 50));
    auto banner = AKBannerView::makeWithAdSize(kAKAdSizeBanner);
    REQUIRE(banner);
    banner->setAdUnitID("unit-7");
    for (const auto& parent : {plain, std::static_pointer_cast<UIView>(banner)}) {
        parent->addSubview(view);
        opener.calls.clear();
        CHECK_FALSE(recorder.navigate(AKWebView::kPublisherToolbarURL, other));
        CHECK(opener.calls == std::vector<std::string>{parent == plain ? "openPublisherToolbar nil <p>ad</p>"
                                                                       : "openPublisherToolbar unit-7 <p>ad</p>"});
    }
}

TEST_CASE("routing: a touched banner's link is a click from 150 ms after its ad loaded, in states 0, 2, 3, 4, 6 and 7") {
    testsupport::TempHome home;
    RenderingScope scope;
    VirtualTime time(Clock::now());  // the click clock never runs backwards: start from the real time
    auto slot = std::make_shared<RecordingSlot>();
    slot->adWebView = AKWebView::make(CGRectMake(0, 0, 32, 20));
    auto delegate = std::make_shared<AKBannerWebViewDelegate>(slot);
    slot->adWebView->setDelegate(delegate);
    auto& opener = *scope.openers.back();
    auto& recorder = UIWebViewRecorder::of(*slot->adWebView->webView());
    slot->adWebView->loadHTMLString("<a href='http://shop.example/p'>buy</a>", "http://ads.example/ad");
    std::vector<std::string> handlers;
    for (const auto& handler : delegate->amsgHandlers()) handlers.push_back(handler->className());
    CHECK(handlers == std::vector<std::string>{"AKOpenerAMSGHandler", "AKDefaultAMSGHandler",
                                               "AKViewabilityAMSGHandler", "AKMRAIDAMSGHandler",
                                               "AKAppEventAMSGHandler", "AKWebAppAMSGHandler",
                                               "AKSwipeToViewControllerAMSGHandler"});

    struct Row {
        AKSlotState state;
        double delay;
        bool touched;
        UIWebViewNavigationType type;
        const char* URL;
        bool click;
    };
    const auto link = UIWebViewNavigationTypeLinkClicked;
    const Row rows[] = {
        {AKSlotStateValidAd, 0.2, true, link, "http://shop.example/p", true},
        {AKSlotStateValidAd, 0.1, true, link, "http://shop.example/p", false},
        {AKSlotStateValidAd, 0.2, false, link, "http://shop.example/p", false},
        {AKSlotStateValidAd, 0.2, true, UIWebViewNavigationTypeReload, "http://shop.example/p", false},
        {AKSlotStateValidAd, 0.2, true, UIWebViewNavigationTypeBackForward, "http://shop.example/p", false},
        {AKSlotStateIdle, 0.2, true, link, "http://shop.example/p", true},
        {AKSlotStateRequestingAdURL, 0.2, true, link, "http://shop.example/p", true},
        {AKSlotStateReceivedAdURL, 0.2, true, link, "http://shop.example/p", true},
        {AKSlotStateFetchingAdContent, 0.2, true, link, "http://shop.example/p", true},
        {AKSlotStateFailed, 0.2, true, link, "http://shop.example/p", true},
        {AKSlotStateCorePageFailed, 0.2, true, link, "http://shop.example/p", false},
        {AKSlotStateRendering, 0.2, true, link, "http://shop.example/p", false},
        {AKSlotStateInvalidated, 0.2, true, link, "http://shop.example/p", false},
        {AKSlotStateValidAd, 0.2, true, link, "about:blank", true},
    };
    for (const auto& row : rows) {
        CAPTURE(row.state);
        CAPTURE(row.delay);
        CAPTURE(row.type);
        slot->calls.clear();
        opener.calls.clear();
        slot->adWebView->setTouched(false);
        slot->loadedAt = static_cast<std::int64_t>(AKAbsoluteTime::absoluteTimeInMilliseconds());
        Clock::advance(row.delay);
        UIEvent touch;
        if (row.touched) slot->adWebView->hitTest(CGPointMake(4, 4), &touch);
        slot->slotState = row.state;
        CHECK(recorder.navigate(row.URL, row.type) == !row.click);
        CHECK(std::count(slot->calls.begin(), slot->calls.end(), "adWasClicked") == (row.click ? 1 : 0));
        const bool opens = row.click && std::string(row.URL).starts_with("http");
        CHECK(opener.calls == (opens ? std::vector<std::string>{"openApp " + slot->clickURLPrefix + row.URL}
                                     : std::vector<std::string>{}));
    }

    // A rich-media ad's link opens the in-app browser with the ad page as its referrer.
    slot->richMedia = true;
    slot->slotState = AKSlotStateValidAd;
    opener.calls.clear();
    opener.setReferringURL("");
    slot->loadedAt = static_cast<std::int64_t>(AKAbsoluteTime::absoluteTimeInMilliseconds());
    Clock::advance(0.2);
    UIEvent touch;
    slot->adWebView->hitTest(CGPointMake(4, 4), &touch);
    CHECK_FALSE(recorder.navigate("http://shop.example/rich", link));
    CHECK(opener.calls == std::vector<std::string>{"openBrowser http://shop.example/rich o=1"});
    REQUIRE(slot->adWebView->request());
    CHECK_FALSE(opener.referringURL().empty());
    CHECK(opener.referringURL() == slot->adWebView->request()->URL());
}

TEST_CASE("routing: a thousand page messages reach the handlers in the order the page sent them") {
    testsupport::TempHome home;
    RenderingScope scope;
    auto view = AKWebView::make(CGRectMake(0, 0, 32, 20));
    auto handler = std::make_shared<RecordingHandler>();
    auto delegate = std::make_shared<HandlerDelegate>(handler);
    view->setDelegate(delegate);
    Observed unhandled("u", view);
    auto& recorder = UIWebViewRecorder::of(*view->webView());
    std::vector<std::string> handledSent, unhandledSent;
    for (int i = 0; i < 1000; ++i) {
        const std::string name = i % 3 == 0 ? "u" : "m";
        (name == "u" ? unhandledSent : handledSent).push_back(std::to_string(i));
        CHECK_FALSE(recorder.navigate("amsg://ad/" + name + "?i=" + std::to_string(i), UIWebViewNavigationTypeOther));
    }
    waitFor([&] { return handler->seen.size() == handledSent.size() && unhandled.userInfos.size() == unhandledSent.size(); },
            "every page message at its handler or posted");
    CHECK(handler->seen == handledSent);
    std::vector<std::string> posted;
    for (const auto& info : unhandled.userInfos) posted.push_back(info["i"].stringValue());
    CHECK(posted == unhandledSent);
}

namespace {
struct Browser : AKBrowserViewController {
    std::shared_ptr<AKSlot> slotShown;
    int toolbarRefreshes = 0;
    void refreshToolbar() override { ++toolbarRefreshes; }
    std::shared_ptr<AKSlot> slot() const override { return slotShown; }
};
struct WebApp : AKWebAppViewController {
    std::shared_ptr<AKSlot> slotShown;
    std::shared_ptr<AKWebView> view;
    std::shared_ptr<AKSlot> slot() const override { return slotShown; }
    std::shared_ptr<AKWebView> webView() const override { return view; }
};
}  // namespace

TEST_CASE("routing: the in-app browser counts followed links and stamps its page loads, a web app hears onshow once") {
    testsupport::TempHome home;
    RenderingScope scope;
    VirtualTime time(1700000000.5);
    auto slot = std::make_shared<RecordingSlot>();
    auto browser = std::make_shared<Browser>();
    browser->slotShown = slot;
    auto browserView = AKBrowserWebView::make(CGRectMake(0, 0, 32, 20));
    browserView->setViewController(browser);
    auto browserDelegate = std::make_shared<AKBrowserWebViewDelegate>();
    browserView->setDelegate(browserDelegate);
    auto& browserRecorder = UIWebViewRecorder::of(*browserView->webView());
    browserView->loadRequest(NSURLRequest::requestWithURL("http://landing.example/"));
    Clock::advance(1);
    CHECK(browserRecorder.navigate("https://landing.example/next", UIWebViewNavigationTypeLinkClicked));
    CHECK(browserRecorder.navigate("http://landing.example/form", UIWebViewNavigationTypeFormSubmitted));
    CHECK(browserRecorder.navigate("http://landing.example/redirect", UIWebViewNavigationTypeOther));
    browserRecorder.finishLoad();
    std::vector<std::string> counted, stamped;
    for (const auto& line : slot->calls) {
        if (line.starts_with("increment ")) counted.push_back(line);
        if (line.starts_with("setAdStatistic ")) stamped.push_back(line);
    }
    CHECK(counted == std::vector<std::string>{"increment plpsnc", "increment plpnc"});
    REQUIRE(stamped.size() == 5);  // a start stamp (kept only when absent) per load, then the end
    CHECK(stamped.front() == "setAdStatistic tlanding_page_load_start=1700000000500 onlyWhenAbsent=1");
    CHECK(stamped.back() == "setAdStatistic tlanding_page_load_end=1700000001500 onlyWhenAbsent=0");
    CHECK(browser->toolbarRefreshes == 8);  // four starts, three replaced loads failing, one finish

    auto webApp = std::make_shared<WebApp>();
    webApp->slotShown = slot;
    webApp->view = AKWebView::make(CGRectMake(0, 0, 32, 20));
    auto webAppDelegate = std::make_shared<AKWebAppWebViewDelegate>(webApp);
    webApp->view->setDelegate(webAppDelegate);
    auto& webAppRecorder = UIWebViewRecorder::of(*webApp->view->webView());
    auto onshowCount = [&] {
        drainMainQueue();
        return std::count_if(webAppRecorder.evaluatedScripts().begin(), webAppRecorder.evaluatedScripts().end(),
                             [](const std::string& script) { return script.starts_with("ADNET_ReceiveMessage('onshow'"); });
    };
    webApp->view->loadHTMLString("<p>app</p>", "http://ads.example/app");
    webAppDelegate->setPendingOnShow(true);
    CHECK(onshowCount() == 0);
    webAppRecorder.finishLoad();
    CHECK(onshowCount() == 1);
    webAppDelegate->setPendingOnShow(true);
    webApp->view->reload();
    webAppRecorder.finishLoad();
    CHECK(onshowCount() == 1);
}
