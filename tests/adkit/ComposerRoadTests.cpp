// Protects the opener's composers and calendar editor: "mailto:" and "sms:"
// links routed from an ad's web view become the platform's composers with
// their fields (recipients percent-decoded, query keys in any case), reported
// as leaving the application, and closed again through their delegate; no
// mail account or no text messaging opens and reports nothing; a composer
// waits for the full-screen ad to appear, and stops waiting when the ad leaves
// or after its time limit; refused calendar access is sent to the opener's
// web view; on the engine, against the ad server, on the phone screen: a
// tapped mailto link composes over the interstitial, calendar access refused
// reaches the ad's page, Done on the editor saves the event and Cancel saves
// nothing.
#include <doctest/doctest.h>

#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include "InterstitialTestSupport.h"
#include "RenderingScope.h"
#include "RenderingTestDoubles.h"
#include "SlotEngineRoad.h"
#include "adkit/rendering/AKBannerWebViewDelegate.h"
#include "adkit/rendering/AKViewController.h"
#include "platform/DeviceScreenTestSupport.h"
#include "platform/WebViewSupport.h"
#include "platform/eventkit/EKEventEditViewController.h"
#include "platform/foundation/NSNotificationCenter.h"
#include "platform/foundation/NSString.h"
#include "platform/messageui/MFMailComposeViewController.h"
#include "platform/messageui/MFMessageComposeViewController.h"
#include "platform/uikit/UIStandInFormView.h"
#include "platform/uikit/UIWindow.h"

using adkittest::drainMainQueue;
using adkittest::waitFor;
using renderingtest::CallLog;
using renderingtest::RecordedAdWebView;
using renderingtest::RecordingSlot;

namespace {

struct OpenerHeard : AKOpenerDelegate, CallLog {
    void didOpenInApplication() override { record("didOpenInApplication"); }
    void didLeaveApplication() override { record("didLeaveApplication"); }
};

// The composer a controller presents, as one line ("" for none).
std::string describe(const std::shared_ptr<UIViewController>& presented) {
    const auto list = [](const std::vector<std::string>& items) {
        return "[" + componentsJoinedByString(items, ",") + "]";
    };
    if (const auto mail = std::dynamic_pointer_cast<MFMailComposeViewController>(presented)) {
        const auto& m = mail->mail();
        return "mail to=" + list(m.to) + " cc=" + list(m.cc) + " bcc=" + list(m.bcc) + " subject=" + m.subject +
               " body=" + m.body + (m.bodyIsHTML ? " (HTML)" : "");
    }
    if (const auto message = std::dynamic_pointer_cast<MFMessageComposeViewController>(presented))
        return "message to=" + list(message->recipients()) + " body=" + message->body();
    return presented ? "something else" : "";
}

void tap(UIWindow& window, const UIView& view) {
    const CGPoint centre = interstitialtest::centre(view);
    window.touchEnded(window.touchBegan(centre), centre);
}

// The library's own openers, the stand-ins reset, a key window with a root controller.
struct ComposerScope {
    testsupport::TempHome home;
    std::shared_ptr<UIWindow> window = std::make_shared<UIWindow>(CGRectMake(0, 0, 320, 568));
    std::shared_ptr<UIViewController> root = std::make_shared<UIViewController>();
    ComposerScope() {
        AKOpener::setFactory(nullptr);
        MFMailComposeViewController::resetForTesting();
        MFMessageComposeViewController::resetForTesting();
        window->setRootViewController(root);
        window->makeKeyAndVisible();
    }
    ~ComposerScope() {
        MFMailComposeViewController::resetForTesting();
        MFMessageComposeViewController::resetForTesting();
        UIApplication::sharedApplication()->setKeyWindow(nullptr);
    }
};

// A full-screen ad controller whose view never appears.
struct NeverAppearing : AKViewController {
    void viewDidAppear(bool) override {}
};

}  // namespace

TEST_CASE("composers: mailto and sms links give composers with their fields, reported once, closed through the opener") {
    ComposerScope scope;
    struct Row {
        const char* URL;
        bool mailAccount;
        bool textMessaging;
        bool send;             // Send closes the composer once the opener is gone, else Cancel through it
        const char* composer;  // what the root controller presents, "" for nothing
    };
    const Row rows[] = {
        {"mailto:a%2Bb@x.test", true, true, true, "mail to=[a+b@x.test] cc=[] bcc=[] subject= body="},
        {"mailto:ads@x.test?cc=c1@x.test,c2@x.test&Subject=Hello%20there&BODY=Hi&bcc=d@x.test", true, true, false,
         "mail to=[ads@x.test] cc=[c1@x.test,c2@x.test] bcc=[d@x.test] subject=Hello there body=Hi"},
        {"mailto:solo@x.test", true, true, false, "mail to=[solo@x.test] cc=[] bcc=[] subject= body="},
        {"mailto:solo@x.test?subject=No%20account", false, true, false, ""},
        {"sms://123", true, true, true, "message to=[123] body="},
        {"sms:123", true, true, false, "message to=[123] body="},
        {"SMS:555,%2B556?Body=Call%20me", true, true, false, "message to=[555,+556] body=Call me"},
        {"sms:123", true, false, false, ""},
    };
    for (const Row& row : rows) {
        CAPTURE(row.URL);
        MFMailComposeViewController::setCanSendMail(row.mailAccount);
        MFMessageComposeViewController::setCanSendText(row.textMessaging);
        const RecordedAdWebView ad(CGRectMake(0, 518, 320, 50));
        scope.root->view()->addSubview(ad.view);
        ad.view->setViewController(scope.root);
        auto slot = std::make_shared<RecordingSlot>();
        slot->adWebView = ad.view;
        auto webViewDelegate = std::make_shared<AKBannerWebViewDelegate>(slot);
        ad.view->setDelegate(webViewDelegate);
        auto heard = std::make_shared<OpenerHeard>();
        webViewDelegate->opener()->setDelegate(heard);

        CHECK_FALSE(UIWebViewRecorder::of(*ad.view->webView()).navigate(row.URL, UIWebViewNavigationTypeLinkClicked));
        const auto composer = scope.root->presentedViewController();
        CHECK(describe(composer) == std::string(row.composer));
        const bool opened = *row.composer != '\0';
        CHECK(std::ranges::count(slot->calls, "pingClickURLs") == (opened ? 1 : 0));
        CHECK(heard->joined() == std::string(opened ? "didLeaveApplication" : ""));
        if (!opened) continue;

        waitFor([&] { return composer->isViewVisible(); }, "the composer on view");
        scope.window->layoutIfNeeded();
        const auto form = std::dynamic_pointer_cast<UIStandInFormController>(composer)->formView();
        if (row.send) {  // the ad's web view lets its delegate and opener go
            const std::weak_ptr<AKOpener> opener = webViewDelegate->opener();
            webViewDelegate.reset();
            REQUIRE(opener.expired());
        }
        tap(*scope.window, row.send ? *form->rightButton() : *form->leftButton());
        waitFor([&] { return !scope.root->presentedViewController(); }, "the composer to close");
        CHECK(heard->joined() == "didLeaveApplication");  // closing reports nothing more
        ad.view->removeFromSuperview();
    }
    CHECK(MFMailComposeViewController::sentMails().size() == 1);
    CHECK(MFMessageComposeViewController::sentMessages().size() == 1);
}

TEST_CASE("composers: a full-screen ad that never appears is waited for at most its time limit") {
    ComposerScope scope;
    adkittest::VirtualTime time(std::floor(Clock::now()) + 1);
    auto ad = std::make_shared<NeverAppearing>();
    ad->presentFromViewController(scope.root);
    drainMainQueue();
    auto opener = AKOpener::make();
    opener->setViewController(ad);
    opener->openEmailComposer("mailto:late@x.test");
    REQUIRE(MFMailComposeViewController::made().size() == 1);
    const auto composer = MFMailComposeViewController::made().back();
    const int tries = static_cast<int>(std::lround(AKOpener::kComposerRetryLimit / AKOpener::kComposerRetryDelay));
    for (int tried = 1; tried < tries; ++tried) {
        Clock::advance(AKOpener::kComposerRetryDelay);
        drainMainQueue();
        REQUIRE_FALSE(composer.expired());  // still waited for
    }
    Clock::advance(AKOpener::kComposerRetryDelay);  // the last try, at the limit
    drainMainQueue();
    CHECK(composer.expired());  // let go: no more tries
    CHECK(ad->presentedViewController() == nullptr);
    ad->relinquishScreen();
    drainMainQueue();
}

TEST_CASE("calendar: refused access, answered off the main thread, reaches the opener's web view, and the editor shows") {
    ComposerScope scope;
    EKEventStore::resetForTesting();
    EKEventStore::setAccessGranted(false);
    const RecordedAdWebView ad;
    auto opener = AKOpener::make();
    opener->setWebView(ad.view);
    opener->setViewController(scope.root);
    opener->openCalendarWithDictionary(Value{{"start", Value("2026-12-24T08:00:00+00:00")},
                                             {"end", Value("2026-12-24T09:00:00+00:00")},
                                             {"summary", Value("Doors open")},
                                             {"description", Value("Launch")},
                                             {"location", Value("Hall 1")}});
    const auto editor = std::dynamic_pointer_cast<EKEventEditViewController>(scope.root->presentedViewController());
    REQUIRE(editor);
    CHECK(editor->event()->title() == "Launch");
    waitFor([&] { return !ad.events().empty(); }, "the web view's page event");
    REQUIRE(ad.events().size() == 1);
    CHECK(ad.events()[0] == "ADNET_ReceiveMessage('onCalendarEventCanceled');");
    EKEventStore::resetForTesting();
}

// ---- On the engine, against the ad server, on the phone screen ------------------------------

namespace {

constexpr CGPixel kCreativeTeal{0x00, 0x69, 0x5C, 255};
constexpr CGPixel kWhite{255, 255, 255, 255};
constexpr CGPoint kMailLink{160, 150};
constexpr CGPoint kCalendarButton{160, 270};

// The ad server with the composer interstitial (its creative has a mailto link
// and a calendar button, and tells of "onCalendarEventCanceled" by the page
// message "calendarHeard"); the library's openers; the application active;
// virtual time; the phone screen served; the stand-ins reset.
struct ComposerRoad : slotroad::EngineSlots {
    // Just ahead of the real time: the process's tick counter, which never goes
    // back, stays near the real time afterwards.
    adkittest::VirtualTime time{std::floor(Clock::now()) + 1};
    devicescreentest::SavedDevice saved;
    UIApplicationState stateBefore = UIApplication::sharedApplication()->applicationState();
    interstitialtest::Screen screen;
    std::unique_ptr<DeviceScreenServer> device;

    ComposerRoad() : EngineSlots(nlohmann::json{{"composer", {{"file", "adnet/static/creatives/composer.html"}}}}) {
        AKOpener::setFactory(nullptr);
        MFMailComposeViewController::resetForTesting();
        EKEventStore::resetForTesting();
        UIApplication::sharedApplication()->setApplicationState(UIApplicationStateActive);
        DeviceScreenServerOptions options;
        options.port = 0;
        std::string error;
        device = DeviceScreenServer::start(options, error);
        REQUIRE_MESSAGE(device, error);
    }
    ~ComposerRoad() {
        device.reset();
        MFMailComposeViewController::resetForTesting();
        EKEventStore::resetForTesting();
        UIApplication::sharedApplication()->setApplicationState(stateBefore);
    }
    ComposerRoad(const ComposerRoad&) = delete;
    ComposerRoad& operator=(const ComposerRoad&) = delete;

    // A loaded interstitial, presented over the root controller (the platform
    // finishes the presentation on the next main-loop pass).
    std::shared_ptr<AKWebAppViewController> present(std::shared_ptr<AKInterstitial>& interstitial,
                                                    const std::shared_ptr<interstitialtest::Heard>& heard) {
        interstitial = AKInterstitial::make();
        interstitial->setAdUnitID("composer");
        interstitial->setDelegate(heard);
        interstitial->loadRequest(AKRequest::request());
        waitFor([&] { return heard->count("didReceive") == 1; }, "the interstitial's ad");
        interstitial->presentFromRootViewController(screen.root);
        auto controller = interstitialtest::shown(screen);
        REQUIRE(controller);
        return controller;
    }
    void tap(CGPoint point) {
        std::optional<DeviceInputResult> result;
        device->input().tap(point, [&](const DeviceInputResult& r) { result = r; });
        waitFor([&] { return result.has_value(); }, "the tap to be carried out");
        CHECK(result->delivered);
    }
    // The label of the node with the identifier in the served screen's tree.
    std::string label(const std::string& id) {
        const auto reply = devicescreentest::fetch(device->port(), "GET", "/api/tree");
        REQUIRE(reply.status == 200);
        const auto all = reply.json();
        for (const auto& window : all["views"])
            if (const auto* node = devicescreentest::findNode(window, id)) return node->value("label", std::string());
        return "(no node " + id + ")";
    }
    // Taps a view through the device screen.
    void tap(const UIView& view) { tap(interstitialtest::centre(view)); }
    static void advance(double seconds) {
        Clock::advance(seconds);
        drainMainQueue();
    }
};

// Whether the controller presents something that is on view.
bool shownOver(const UIViewController& controller) {
    const auto presented = controller.presentedViewController();
    return presented && presented->isViewVisible();
}

// Routes a link to the URL through the web view's delegate, as a tap on it would.
void followLink(AKWebView& webView, const std::string& URL) {
    const auto delegate = webView.delegate();
    REQUIRE(delegate);
    CHECK_FALSE(delegate->shouldStartLoadWithRequest(webView, NSURLRequest::requestWithURL(URL),
                                                     UIWebViewNavigationTypeLinkClicked));
}

}  // namespace

TEST_SUITE_BEGIN("engine");

TEST_CASE("composer road: a composer asked for while the interstitial animates in shows on the first try after it appeared, and is let go when it leaves first") {
    ComposerRoad road;
    std::shared_ptr<AKInterstitial> interstitial;
    auto heard = std::make_shared<interstitialtest::Heard>();
    auto controller = road.present(interstitial, heard);
    followLink(*controller->webView(), "mailto:early@x.test");  // before the presentation has finished
    CHECK_FALSE(controller->presentedViewController());
    drainMainQueue();
    REQUIRE(controller->hasViewAppeared());
    CHECK_FALSE(controller->presentedViewController());
    road.advance(AKOpener::kComposerRetryDelay - 0.05);
    CHECK_FALSE(controller->presentedViewController());
    road.advance(0.05 + 0.001);  // a little past the try, whichever way the sums round
    CHECK(describe(controller->presentedViewController()) == "mail to=[early@x.test] cc=[] bcc=[] subject= body=");
    std::dynamic_pointer_cast<MFMailComposeViewController>(controller->presentedViewController())->cancel();
    waitFor([&] { return !controller->presentedViewController(); }, "the composer to close");
    CHECK(road.screen.root->presentedViewController() == controller);  // only the composer went
    controller->relinquishScreen();
    waitFor([&] { return !road.screen.root->presentedViewController(); }, "the first interstitial to go");
    controller.reset();

    // Asked for, then the interstitial leaves before it appeared: the composer is let go at the next try.
    heard = std::make_shared<interstitialtest::Heard>();
    controller = road.present(interstitial, heard);
    followLink(*controller->webView(), "mailto:never@x.test");
    const auto composer = MFMailComposeViewController::made().back();
    controller->relinquishScreen();
    drainMainQueue();
    road.advance(AKOpener::kComposerRetryDelay);
    waitFor([&] { return !road.screen.root->presentedViewController(); }, "the second interstitial to go");
    road.advance(AKOpener::kComposerRetryDelay);
    CHECK(composer.expired());
    CHECK(MFMailComposeViewController::made().size() == 2);
}

TEST_CASE("composer road: a tapped mailto link composes over the interstitial, refused calendar access reaches the page, Done saves and Cancel does not") {
    ComposerRoad road;
    std::shared_ptr<AKInterstitial> interstitial;
    const auto heard = std::make_shared<interstitialtest::Heard>();
    auto controller = road.present(interstitial, heard);
    waitFor([&] { return controller->isViewVisible(); }, "the interstitial on screen");
    waitFor([&] {
        const auto pixel = webtest::layerPixel(*controller->webView()->webView(), 20, 400);
        return pixel && devicescreentest::near(*pixel, kCreativeTeal);
    }, "a painted frame of the creative");
    std::size_t pageHeard = 0;
    const auto observer = std::make_shared<NSObject>();
    NSNotificationCenter::defaultCenter()->addObserver(
        observer, [&](const NSNotification&) { ++pageHeard; }, "calendarHeard", controller->webView());
    road.advance(1);  // a person's tap comes after the ad shows

    // The mail link, tapped: the composer over the interstitial, Send closes only it.
    road.tap(kMailLink);
    waitFor([&] { return shownOver(*controller); },
            "the mail composer on screen");
    const auto mail = std::dynamic_pointer_cast<MFMailComposeViewController>(controller->presentedViewController());
    REQUIRE(mail);
    CHECK(describe(mail) == "mail to=[ads+news@x.test] cc=[a@x.test,b@x.test] bcc=[] subject=Offer body=");
    CHECK(road.label("To") == "To: ads+news@x.test");
    auto shot = devicescreentest::servedFrame(*road.device, "composer-mail").first;
    CHECK(devicescreentest::near(devicescreentest::probe(shot, 160, 450), kWhite));
    road.tap(*mail->formView()->rightButton());
    waitFor([&] { return !controller->presentedViewController(); }, "the mail composer to close");
    CHECK(MFMailComposeViewController::sentMails().size() == 1);
    CHECK(road.screen.root->presentedViewController() == controller);

    // The calendar button with access refused: the page hears it; Done saves the event.
    EKEventStore::setAccessGranted(false);
    road.tap(kCalendarButton);
    waitFor([&] { return pageHeard == 1; }, "the creative to hear onCalendarEventCanceled");
    waitFor([&] { return shownOver(*controller); },
            "the calendar editor on screen");
    auto editor = std::dynamic_pointer_cast<EKEventEditViewController>(controller->presentedViewController());
    REQUIRE(editor);
    CHECK(road.label("Title") == "Title: Launch");
    CHECK(road.label("Notes") == "Notes: Doors open");
    CHECK(road.label("Starts") == "Starts: 2026-12-24 08:00 UTC");
    shot = devicescreentest::servedFrame(*road.device, "composer-calendar-editor").first;
    CHECK(devicescreentest::near(devicescreentest::probe(shot, 160, 450), kWhite));
    road.tap(*editor->formView()->rightButton());  // Done
    waitFor([&] { return !controller->presentedViewController(); }, "the editor to close after Done");
    REQUIRE(editor->eventStore()->events().size() == 1);
    CHECK(editor->eventStore()->events()[0]->location() == "Hall 1");

    // Access granted, Cancel: nothing saved, and the page heard nothing more.
    EKEventStore::setAccessGranted(true);
    road.tap(kCalendarButton);
    waitFor([&] { return shownOver(*controller); },
            "the calendar editor on screen again");
    editor = std::dynamic_pointer_cast<EKEventEditViewController>(controller->presentedViewController());
    REQUIRE(editor);
    road.tap(*editor->formView()->leftButton());  // Cancel
    waitFor([&] { return !controller->presentedViewController(); }, "the editor to close after Cancel");
    CHECK(editor->eventStore()->events().empty());
    CHECK(EKEventStore::accessRequestCount() == 2);
    CHECK(pageHeard == 1);
    NSNotificationCenter::defaultCenter()->removeObserver(observer.get());
    controller->relinquishScreen();
    waitFor([&] { return !road.screen.root->presentedViewController(); }, "the interstitial to go");
}

TEST_SUITE_END();
