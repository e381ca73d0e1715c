// Protects the page-message handlers of every ad web view: tracking pings (http and https only), the console log (escaped, cut at 1,000 characters), touches, vibration, openable URLs (at most 50), closing, the opener's click and open actions, app events, custom close and transparency, and the swipe switch.
#include <doctest/doctest.h>

#include "platform/audiotoolbox/AudioServices.h"

#include "AdkitTestSupport.h"
#include "RenderingTestDoubles.h"
#include "adkit/rendering/AKAppEventAMSGHandler.h"
#include "adkit/rendering/AKDefaultAMSGHandler.h"
#include "adkit/rendering/AKOpenerAMSGHandler.h"
#include "adkit/rendering/AKSwipeToViewControllerAMSGHandler.h"
#include "adkit/rendering/AKWebAppAMSGHandler.h"
#include "adkit/rendering/AKWebAppViewController.h"

using adkittest::waitFor;
using namespace renderingtest;

namespace {
bool send(AKAMSGHandler& handler, const std::string& URL, const std::shared_ptr<AKWebView>& webView = nullptr) {
    return handler.handleRequest(NSURLRequest::requestWithURL(URL), webView);
}

class RecordingFullScreenController : public AKViewController {
public:
    int relinquished = 0;
    void relinquishScreen() override { ++relinquished; }
};

struct HookReset {
    ~HookReset() {
        AKDefaultAMSGHandler::setTouchReporter(nullptr);
        setLogHook(nullptr);
    }
};
}  // namespace

TEST_CASE("the default handler pings, logs, reports touches and vibrates as each message asks") {
    HookReset reset;
    const RecordingClickTrackers::Uninstall uninstall;
    auto trackers = RecordingClickTrackers::install();
    std::vector<std::string> effects;
    setLogHook([&](const std::string& line) { effects.push_back("log " + line); });
    AKDefaultAMSGHandler::setTouchReporter([&](std::int32_t x, std::int32_t y, std::int32_t d) {
        effects.push_back(format("touch %d %d %d", x, y, d));
    });
    auto handler = std::make_shared<AKDefaultAMSGHandler>();

    const std::string longText(1500, 'x');
    struct Case {
        std::string URL;
        std::vector<std::string> effects;
        std::vector<std::string> tracked;
    };
    const Case cases[] = {
        {"amsg://x/httpTrack?u=http%3A%2F%2Ft.test%2Fp%3Fa%3D1", {}, {"http://t.test/p?a=1"}},
        {"amsg://x/httpTrack?u=HTTPS%3A%2F%2Ft.test%2F", {}, {"HTTPS://t.test/"}},
        {"amsg://x/httpTrack?u=file%3A%2F%2F%2Fetc%2Fpasswd", {}, {}},
        {"amsg://x/httpTrack?u=ftp%3A%2F%2Ft.test%2Ff", {}, {}},
        {"amsg://x/httpTrack?u=javascript%3Aalert(1)", {}, {}},
        {"amsg://x/httpTrack", {}, {}},
        {"amsg://x/log?string=hello%20%C3%A9t%C3%A9", {"log hello \xC3\xA9t\xC3\xA9"}, {}},
        {"amsg://x/log?string=a%0Ab%1B%5B2Jc%5Cd%C2%85", {"log a\\nb\\x1B[2Jc\\\\d\\u0085"}, {}},
        {"amsg://x/log?string=" + longText, {"log " + longText.substr(0, 1000)}, {}},
        {"amsg://x/log?string=" + std::string(999, 'y') + "%0A", {"log " + std::string(999, 'y')}, {}},
        {"amsg://x/touch?tx=10&ty=20&td=300", {"touch 10 20 300"}, {}},
        {"amsg://x/touch?tx=4294967297&ty=abc", {"touch 1 0 -1"}, {}},
        {"amsg://x/vibrate", {"sound 4095"}, {}},
    };
    for (const Case& c : cases) {
        CAPTURE(c.URL);
        effects.clear();
        trackers->tracked.clear();
        AudioServicesClearPlayedSystemSounds();
        CHECK(send(*handler, c.URL));
        for (SystemSoundID sound : AudioServicesPlayedSystemSounds()) effects.push_back(format("sound %u", sound));
        CHECK(effects == c.effects);
        CHECK(trackers->tracked == c.tracked);
    }
}

TEST_CASE("openable URLs are answered to the asking page, at most 50 of them, and close gives a full-screen ad's screen back") {
    const RecordedAdWebView page;
    auto handler = std::make_shared<AKDefaultAMSGHandler>();
    CHECK(send(*handler, "amsg://x/canOpenURLs?urls=http%3A%2F%2Fa.test", page.view));
    std::string many;
    for (int i = 0; i < 60; ++i) many += format("%@sms%%3A%%2F%%2F%d", i ? "," : "", i);
    CHECK(send(*handler, "amsg://x/canOpenURLs?urls=" + many, page.view));
    waitFor([&] { return page.events().size() == 2; }, "two openableURLs events");
    CHECK(page.events()[0] == "ADNET_ReceiveMessage('openableURLs', {\"http://a.test\":true});");
    const std::string second = page.events()[1];
    const auto payload = Value::fromJSON(second.substr(37, second.size() - 39));
    REQUIRE(payload);
    CHECK(payload->count() == 50);
    CHECK((*payload)["sms://49"] == Value(false));
    CHECK((*payload)["sms://50"].isNull());

    auto fullScreen = std::make_shared<RecordingFullScreenController>();
    page.view->setViewController(std::make_shared<UIViewController>());
    CHECK(send(*handler, "amsg://x/close", page.view));
    page.view->setViewController(fullScreen);
    CHECK(send(*handler, "amsg://x/close", page.view));
    CHECK(send(*handler, "amsg://x/close"));  // no web view: nothing to close
    CHECK(fullScreen->relinquished == 1);
}

TEST_CASE("the opener's handler turns click and open messages into the opener's actions") {
    const RecordingClickTrackers::Uninstall uninstall;
    auto trackers = RecordingClickTrackers::install();
    auto slot = std::make_shared<RecordingSlot>();
    auto opener = std::make_shared<RecordingOpener>();
    opener->setSlot(slot);
    auto handler = std::make_shared<AKOpenerAMSGHandler>(opener);

    struct Case {
        std::string URL;
        std::string openerCalls;
        std::string slotCalls = {};
        std::vector<std::string> tracked = {};
        bool storeSupported = true;
        std::string clickPrefix = "http://clicks.test/c?to=";
    };
    const Case cases[] = {
        {"amsg://x/click?u=http%3A%2F%2Fa.test%2F", "", "", {"http://clicks.test/c?to=http://a.test/"}},
        {"amsg://x/click?u=tel%3A123", "", "", {}, true, ""},
        {"amsg://x/click?u=ftp%3A%2F%2Fa.test%2F", "", "", {}, true, ""},
        {"amsg://x/open?a=video&u=http%3A%2F%2Fv.test%2F", "openBrowser http://v.test/ o=1"},
        {"amsg://x/open?a=browser&u=http%3A%2F%2Fb.test%2F&o=p", "openBrowser http://b.test/ o=2"},
        {"amsg://x/open?a=browser&u=http%3A%2F%2Fb.test%2F&o=P", "openBrowser http://b.test/ o=1"},
        {"amsg://x/open?a=browser", ""},
        {"amsg://x/open?a=webapp&u=http%3A%2F%2Fw.test%2F&o=l&custom_close=1", "openWebApp http://w.test/ o=3 cc=1"},
        {"amsg://x/open?a=webapp&html=%3Cb%3Ehi%3C%2Fb%3E&custom_close=true", "openWebAppWithHTML <b>hi</b> o=1 cc=0"},
        {"amsg://x/open?a=webapp", ""},
        {"amsg://x/open?a=expand&custom_close=1&o=p", "expand o=2 cc=1"},
        {"amsg://x/open?a=unknown&u=http%3A%2F%2Fx.test%2F", "openApp http://clicks.test/c?to=http://x.test/", "adWasClicked"},
        {"amsg://x/open?u=tel%3A123", "openApp http://clicks.test/c?to=tel:123", "adWasClicked"},
        {"amsg://x/open?a=call", ""},
        {"amsg://x/open?a=in_app_store&product_id=42&u=http%3A%2F%2Ff.test%2F", "openInAppStore 42 fallback=http://f.test/ wait=1"},
        {"amsg://x/open?a=in_app_store&product_id=42&wait_for_fetch=false", "openInAppStore 42 fallback=nil wait=0"},
        {"amsg://x/open?a=in_app_store&u=http%3A%2F%2Ff.test%2F", "openInAppStore nil fallback=http://f.test/ wait=1"},
        {"amsg://x/open?a=in_app_store&product_id=42&u=http%3A%2F%2Ff.test%2F", "openApp http://f.test/", "", {}, false},
        {"amsg://x/open?a=in_app_purchase&product_id=p&quantity=3&report_urls=%20http%3A%2F%2Fr1%20%0A%09http%3A%2F%2Fr2%0A",
         "openInAppPurchase p q=3 [http://r1][http://r2]"},
        {"amsg://x/open?a=in_app_purchase&product_id=p&quantity=11", ""},
        {"amsg://x/open?a=in_app_purchase&product_id=p", ""},
        {"amsg://x/open?a=in_app_purchase&quantity=2", ""},
        {"amsg://x/fetchAppStore?product_id=42", "fetchInAppStore 42"},
        {"amsg://x/fetchAppStore?product_id=42", "", "", {}, false},
    };
    for (const Case& c : cases) {
        CAPTURE(c.URL);
        opener->calls.clear();
        slot->calls.clear();
        trackers->tracked.clear();
        opener->inAppStoreSupported = c.storeSupported;
        slot->clickURLPrefix = c.clickPrefix;
        CHECK(send(*handler, c.URL));
        CHECK(opener->joined() == c.openerCalls);
        CHECK(slot->joined() == c.slotCalls);
        CHECK(trackers->tracked == c.tracked);
    }
}

TEST_CASE("app events reach a slot delegate that takes them, and custom close, transparency and the swipe follow the creative") {
    auto slot = std::make_shared<RecordingSlot>();
    auto delegate = std::make_shared<RecordingSlotDelegate>();
    slot->delegate = delegate;
    auto appEvents = std::make_shared<AKAppEventAMSGHandler>(slot);
    CHECK(send(*appEvents, "amsg://x/appEvent?name=level&info=3"));
    CHECK(send(*appEvents, "amsg://x/appEvent?name=start"));
    CHECK(send(*appEvents, "amsg://x/appEvent?info=3"));
    delegate->takesAppEvents = false;
    CHECK(send(*appEvents, "amsg://x/appEvent?name=hidden"));
    CHECK(delegate->joined() == "appEvent level info=3; appEvent start info=nil");

    const RecordedAdWebView page;
    auto controller = std::make_shared<AKWebAppViewController>();
    page.view->setViewController(controller);
    auto webApp = std::make_shared<AKWebAppAMSGHandler>();
    CHECK(send(*webApp, "amsg://x/customClose?custom_close=1", page.view));
    CHECK(controller->useCustomClose());
    CHECK(send(*webApp, "amsg://x/customClose", page.view));
    CHECK_FALSE(controller->useCustomClose());
    CHECK(send(*webApp, "amsg://x/setInterstitialProperties", page.view));
    CHECK_FALSE(controller->transparentInterstitial());
    CHECK(send(*webApp, "amsg://x/setInterstitialProperties?transparentBackground=1", page.view));
    CHECK(controller->transparentInterstitial());
    const auto screen = std::make_shared<UIView>(CGRectMake(0, 0, 320, 480));
    screen->addSubview(controller->view());  // now on screen
    CHECK(send(*webApp, "amsg://x/setInterstitialProperties?transparentBackground=0", page.view));
    CHECK(controller->transparentInterstitial());

    auto swipe = std::make_shared<AKSwipeToViewControllerAMSGHandler>(slot);
    CHECK(send(*swipe, "amsg://x/enableSwipeToViewController?swipe_direction=top_to_bottom&ad_draggable=1"));
    CHECK(send(*swipe, "amsg://x/enableSwipeToViewController?swipe_direction=sideways"));
    CHECK(send(*swipe, "amsg://x/enableSwipeToViewController?swipe_direction=bottom_to_top&ad_draggable=1"));
    CHECK(send(*swipe, "amsg://x/disableSwipeToViewController"));
    CHECK(slot->joined() == "enableSwipe dir=1 drag=1; enableSwipe dir=0 drag=0; enableSwipe dir=2 drag=1; disableSwipe");
    CHECK(slot->swipe->direction == AKSwipeDirectionNone);
    CHECK_FALSE(slot->swipe->adDraggable);
}
