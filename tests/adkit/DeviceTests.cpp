// Protects the device parameters of an ad request, the signal component's
// inputs, the view walk and positions, weak timers and the zig-zag recogniser.
#include <filesystem>
#include <fstream>

#include "AdkitTestSupport.h"
#include "adkit/foundation/AKDevice.h"
#include "adkit/foundation/AKGestureIdUtil.h"
#include "adkit/foundation/AKGestureUtil.h"
#include "adkit/foundation/AKImpressionTicketGestureRecognizer.h"
#include "adkit/foundation/AKImpressionTicketTouchRecognizer.h"
#include "adkit/foundation/AKSignal.h"
#include "adkit/foundation/AKSignalInputs.h"
#include "adkit/foundation/AKViewUtilities.h"
#include "platform/uikit/UIImage.h"
#include "adkit/foundation/AKWeakTimer.h"
#include "adkit/foundation/codecs/AK_TKStringEncoding.h"
#include "platform/foundation/ClassRegistry.h"
#include "platform/foundation/NSTimeZone.h"
#include "platform/foundation/NSLocale.h"
#include "platform/foundation/NSUserDefaults.h"
#include "platform/foundation/SystemInfo.h"
#include "platform/media/AudioSessionRoute.h"
#include "platform/adsupport/ASIdentifierManager.h"
#include "platform/coretelephony/CTTelephonyNetworkInfo.h"
#include "platform/storekit/SKPaymentQueue.h"
#include "platform/uikit/UIApplication.h"
#include "platform/uikit/UIDevice.h"
#include "platform/uikit/UIDeviceBattery.h"
#include "platform/uikit/UIScreen.h"
#include "platform/uikit/UIStatusBarOrientation.h"
#include "platform/uikit/UIWindow.h"

namespace {

// A phone application on a tablet, turned to landscape, on the given system.
struct TabletInLandscape {
    explicit TabletInLandscape(const std::string& system) {
        auto device = UIDevice::currentDevice();
        device->setModel("iPad");
        device->setUserInterfaceIdiom(UIUserInterfaceIdiomPhone);
        device->setSystemVersion(system);
        UIScreen::mainScreen()->setBounds(CGRectMake(0, 0, 768, 1024));
        UIScreen::mainScreen()->setScale(2);
        UIStatusBar::setStatusBarOrientation(UIInterfaceOrientationLandscapeLeft);
        SystemInfo::setMachineName("iPad4,4");
        AKDevice::resetProcessFactsForTesting();
    }
    ~TabletInLandscape() {
        UIDevice::currentDevice()->resetToDefaults();
        UIStatusBar::setStatusBarOrientation(UIInterfaceOrientationPortrait);
        SystemInfo::resetOverrides();
        AudioSessionRoute::resetToDefaults();
        SKPaymentQueue::setCanMakePayments(true);
        AKDevice::setJailbroken(false);
        AKDevice::resetProcessFactsForTesting();
    }
};

class AdWebView : public UIView {
public:
    using UIView::UIView;
};

class Target : public NSObject {
public:
    int fired = 0;
    void tick(NSTimer&) { ++fired; }
};

void stroke(AKImpressionTicketGestureRecognizer& r, double& x, double dx, double y = 100, double dy = 0) {
    const AKTouchSample touch{CGPointMake(x + dx, y + dy), CGPointMake(x, y)};
    r.touchesMoved(1, touch);
    x += dx;
}

}  // namespace

TEST_CASE("device: full parameters of a phone application on a tablet in landscape, on systems 8.1 and 7.0") {
    testsupport::TempHome home;
    auto ui = UIApplication::sharedApplication();
    for (const char* system : {"8.1", "7.0"}) {
        CAPTURE(std::string(system));
        TabletInLandscape tablet(system);
        NSUserDefaults::standardUserDefaults()->setObject(Value::array({Value("en-GB"), Value("fr")}), "AppleLanguages");
        AudioSessionRoute::setCurrentRouteOutputs({AVAudioSessionPortHeadphones});
        ui->setCanOpenScheme("itms-books", true);
        ui->setCanOpenScheme("kindle", true);
        SKPaymentQueue::setCanMakePayments(false);
        AKDevice::setJailbroken(true);
        auto device = AKDevice::currentDevice();
        device->enableRadioAccessTechnologyChecking();
        CTTelephonyNetworkInfo::setCurrentRadioAccessTechnology(std::string(CTRadioAccessTechnologyLTE));
        adkittest::waitFor([&] { return device->radioAccessTechnology() == std::optional<std::string>(CTRadioAccessTechnologyLTE); },
                           "the radio change");
        const Value expected{{"ios_ipadc", Value("1")},
                             {"ios_metadata", Value::dictionary()},
                             {"ios_base_sdk", Value("8.1")},
                             {"app_name", Value("1.0.iphone.com.quorvane.app")},
                             {"ios_jb", Value("1")},
                             {"platform", Value("iPad")},
                             {"submodel", Value("iPad4,4")},
                             {"hl", Value("en-gb")},
                             {"u_audio", Value("2")},
                             {"u_so", Value("l")},
                             {"ios_radio", Value(CTRadioAccessTechnologyLTE)},
                             {"ios_radio_last", Value(CTRadioAccessTechnologyLTE)},
                             {"u_sd", Value("2")},
                             {"u_w", Value("768")},
                             {"u_h", Value("1024")},
                             {"cap_bs", Value(3)},
                             {"cap_noiap", Value("1")}};
        const Value parameters = device->parameters();
        CHECK(parameters == expected);
        if (parameters != expected) MESSAGE(parameters.description());
        // The screen itself turns with the interface from 8.0 on; the parameters stay in portrait terms.
        const CGRect interface = UIScreenGeometry::interfaceBounds(*UIScreen::mainScreen(), system[0] == '8' ? 8 : 7);
        CHECK(interface.size.width == (system[0] == '8' ? 1024 : 768));

        CTTelephonyNetworkInfo::setCurrentRadioAccessTechnology(std::nullopt);
        adkittest::waitFor([&] { return !device->radioAccessTechnology(); }, "the radio to go");
        CHECK(device->lastKnownRadioAccessTechnology() == std::optional<std::string>(CTRadioAccessTechnologyLTE));
        ui->setCanOpenScheme("itms-books", false);
        ui->setCanOpenScheme("kindle", false);
        UIDevice::currentDevice()->setUserInterfaceIdiom(UIUserInterfaceIdiomPad);
        const Value universal = device->parameters();
        CHECK(universal["ios_ipadc"].isNull());
        CHECK(universal["cap_bs"].isNull());
        CHECK(universal["ios_radio"].isNull());
    }
    {
        TabletInLandscape old("5.1");
        AudioSessionRoute::setLegacyRoute(std::string("Headset"));
        CHECK(AKDevice::currentDevice()->audioRoute() == AKAudioRouteHeadphones);
        AudioSessionRoute::setLegacyRoute(std::string(""));
        CHECK(AKDevice::currentDevice()->audioRoute() == AKAudioRouteNone);
        AudioSessionRoute::setLegacyRoute(std::nullopt);
        CHECK(AKDevice::currentDevice()->audioRoute() == AKAudioRouteSpeaker);
        CHECK(AKDevice::currentDevice()->identifierManager() == nullptr);
        CHECK(AKDevice::currentDevice()->deviceIdentifier() == "");
        // Without "AppleLanguages" there is no locale, whatever the system prefers: no "hl".
        NSUserDefaults::standardUserDefaults()->removeObjectForKey("AppleLanguages");
        NSLocale::setPreferredLanguages(std::vector<std::string>{"de-DE"});
        CHECK_FALSE(AKDevice::currentDevice()->locale().has_value());
        CHECK(AKDevice::currentDevice()->parameters()["hl"].isNull());
        NSLocale::setPreferredLanguages(std::nullopt);
    }
    TabletInLandscape eight("8.1.0");
    std::int64_t major = -1, minor = -1, bug = -1;
    AKDevice::getOSMajor(&major, &minor, &bug);
    CHECK((major == 8 && minor == 1 && bug == 0));
    CHECK(AKDevice::isOSAtLeastMajor(8, 1, 0));
    CHECK_FALSE(AKDevice::isOSAtLeastMajor(8, 1, 1));
    CHECK(AKDevice::isOSAtLeastMajor(7, 9, 9));
    auto device = AKDevice::currentDevice();
    const std::string hash = device->deviceIdentifier();
    CHECK(hash.size() == 32);
    ASIdentifierManager::sharedManager()->setAdvertisingTrackingEnabled(false);
    CHECK(device->deviceIdentifier() == "");
    ASIdentifierManager::sharedManager()->resetToDefaults();
    CHECK(device->deviceIdentifier() == hash);  // kept per home
}

TEST_CASE("signal inputs: 1560 under UTC+2, battery, screen mode, identifier records and the component's text") {
    testsupport::TempHome home;
    const char* previousTZ = std::getenv("TZ");
    const std::string savedTZ = previousTZ ? previousTZ : "";
    setenv("TZ", "XST-2", 1);  // two hours east of UTC, no daylight saving
    CHECK(AKTimeZoneOffsetMinutes() == 1560);
    NSTimeZone::setSystemTimeZone(NSTimeZone::timeZoneForSecondsFromGMT(-5 * 3600));
    CHECK(AKTimeZoneOffsetMinutes() == 1440 - 300);
    NSTimeZone::setSystemTimeZone(nullptr);
    if (previousTZ) setenv("TZ", savedTZ.c_str(), 1);
    else unsetenv("TZ");

    const auto supplies = std::filesystem::path(home.path()) / "power";
    std::filesystem::create_directories(supplies / "AC");
    std::filesystem::create_directories(supplies / "BAT0");
    std::ofstream(supplies / "AC" / "type") << "Mains\n";
    std::ofstream(supplies / "BAT0" / "type") << "Battery\n";
    std::ofstream(supplies / "BAT0" / "capacity") << "55\n";
    std::ofstream(supplies / "BAT0" / "status") << "Charging\n";
    UIDeviceBattery::setPowerSupplyRoot(supplies.string());
    CHECK(AKBatteryLevelAndState() == std::make_pair(55, 2));
    CHECK_FALSE(UIDeviceBattery::isBatteryMonitoringEnabled());  // switched off again after the read
    std::filesystem::remove_all(supplies / "BAT0");
    CHECK(AKBatteryLevelAndState() == std::make_pair(-100, 0));
    UIDeviceBattery::setPowerSupplyRoot(std::nullopt);

    UIScreen::mainScreen()->setBounds(CGRectMake(0, 0, 320, 568));
    UIScreen::mainScreen()->setScale(2);
    CHECK(AKScreenModeSize() == std::make_pair(640, 1136));

    UIDevice::currentDevice()->setSystemVersion("8.0");
    AKDevice::resetProcessFactsForTesting();
    AKDeviceIdentifierInfo info = AKGestureDeviceIdentifierInfo();
    CHECK(info.type == 4);
    REQUIRE(info.text);
    CHECK(info.text->size() == 22);
    CHECK(info.text->find('=') == std::string::npos);
    const auto uuid = ASIdentifierManager::sharedManager()->advertisingIdentifier();
    CHECK(AK_TKStringEncoding::rfc4648Base64WebsafeStringEncoding()->decode(*info.text) ==
          std::optional<Data>(Data(uuid->bytes().begin(), uuid->bytes().end())));
    ASIdentifierManager::sharedManager()->setAdvertisingTrackingEnabled(false);
    info = AKGestureDeviceIdentifierInfo();
    CHECK(info.optedOut);
    CHECK(info.text.has_value());
    ASIdentifierManager::sharedManager()->resetToDefaults();

    UIDevice::currentDevice()->setSystemVersion("5.1");
    AKDevice::resetProcessFactsForTesting();
    info = AKGestureDeviceIdentifierInfo();
    CHECK(info.type == 1);
    CHECK_FALSE(info.optedOut);
    const auto stored = NSUserDefaults::initWithSuiteName("")->stringForKey("madAppId");
    REQUIRE(stored);
    std::uint8_t bytes[16];
    REQUIRE(AKSignalIdentifierBytes(*stored, bytes));
    CHECK(info.text == AKWebsafeBase64StringFromBytes(bytes, 16));
    CHECK(AKGestureIdUtil::sharedInstance()->deviceIdentifier() == stored);  // the same one next time
    UIDevice::currentDevice()->resetToDefaults();
    AKDevice::resetProcessFactsForTesting();

    const Value context{{"slot", Value("unit/1")}};
    const std::string signal = AKSignal::signalWithContext(context);
    auto decoded = AK_TKStringEncoding::rfc4648Base64WebsafeStringEncoding()->stringByDecoding(signal);
    REQUIRE(decoded);
    auto record = Value::fromJSON(*decoded);
    REQUIRE(record);
    CHECK((*record)["ctx"]["slot"] == Value("unit/1"));
    CHECK((*record)["tz"].isNumber());
    CHECK((*record)["scr"][0] == Value(640));
    CHECK((*record)["net"] == Value(2));
    int mustFree = -1;
    const std::string text = "abc";
    CHECK(std::string(AKCopyCStringFromCFString(&text, &mustFree)) == "abc");
    CHECK(mustFree == 0);
    CHECK(AKCopyCStringFromCFString(nullptr, &mustFree) == nullptr);
}

TEST_CASE("views: the walk of the key window, positions in an offset window, a weak timer whose target is gone") {
    ClassRegistry::registerClass({"AdWebView", "UIView", {}, nullptr});
    auto window = std::make_shared<UIWindow>(CGRectMake(10, 20, 320, 548));
    window->makeKeyAndVisible();
    auto banner = std::make_shared<AdWebView>(CGRectMake(0, 100, 320, 50));
    auto inner = std::make_shared<UIView>(CGRectMake(5, 5, 10, 10));
    auto hidden = std::make_shared<UIView>(CGRectMake(0, 0, 40, 40));
    auto underHidden = std::make_shared<UIView>(CGRectMake(1, 1, 2, 2));
    window->addSubview(banner);
    banner->addSubview(inner);
    window->addSubview(hidden);
    hidden->addSubview(underHidden);
    hidden->setHidden(true);

    const Value all = AKGestureUtil::walkViews("none");
    REQUIRE(all.count() == 3);
    CHECK(all[0]["ViewName"] == Value("UIWindow:UIView:UIResponder:NSObject"));
    CHECK(all[1]["ViewName"] == Value("AdWebView:UIView:UIResponder:NSObject"));
    CHECK(all[1]["y"] == Value(100.0));
    CHECK(all[2]["x"] == Value(5.0));
    CHECK(all[2]["y"] == Value(105.0));
    CHECK(all[2]["w"] == Value(10.0));
    const Value stopped = AKGestureUtil::walkViews("AdWebView:UIView:UIResponder:NSObject");
    CHECK(stopped.count() == 2);
    CHECK(AKGestureUtil::viewInheritenceHierarchy(banner.get(), 9) == "AdWebView");
    CHECK(AKGestureUtil::viewInheritenceHierarchy(nullptr, 128) == "");

    const auto screen = UIScreen::mainScreen();
    const Value position = AKViewUtilities::positionOfView(inner, *screen);
    CHECK(position["x"] == Value(static_cast<float>(15)));
    CHECK(position["y"] == Value(static_cast<float>(125)));
    CHECK(position["visible"] == Value(true));
    banner->setFrame(CGRectMake(-400, 100, 320, 50));
    const Value offLeft = AKViewUtilities::positionOfView(banner, *screen);
    CHECK(offLeft["x"] == Value(static_cast<float>(-390)));
    CHECK(offLeft["visible"] == Value(false));
    CHECK(AKViewUtilities::positionOfView(std::make_shared<UIView>(), *screen).isNull());

    // The view's layer tree at scale 1: the banner's own colour, its child's over it.
    banner->setFrame(CGRectMake(0, 100, 320, 50));
    banner->setBackgroundColor(CGColorCreateSRGB(1, 0, 0, 1));
    inner->setBackgroundColor(CGColorCreateSRGB(0, 0, 1, 1));
    auto rendered = ak_render(*banner);
    REQUIRE(rendered);
    CGImageRef pixels = rendered->CGImage();
    CHECK(CGImageGetWidth(pixels) == 320);
    CHECK(CGImageGetHeight(pixels) == 50);
    CHECK(pixels->pixelAt(300, 40) == CGPixel{255, 0, 0, 255});
    const CGRect innerFrame = inner->convertRectToView(inner->bounds(), banner.get());
    CHECK(pixels->pixelAt(static_cast<std::size_t>(innerFrame.origin.x + 1),
                          static_cast<std::size_t>(innerFrame.origin.y + 1)) == CGPixel{0, 0, 255, 255});
    CGSize asked{};
    AKViewUtilities::setRenderer([&](UIView&, CGSize size, CGFloat scale) {
        asked = size;
        CHECK(scale == 1.0);
        return std::shared_ptr<UIImage>();
    });
    (void)ak_render(*banner);
    CHECK(asked.width == 320);
    AKViewUtilities::setRenderer(nullptr);

    adkittest::VirtualTime time;
    auto target = std::make_shared<Target>();
    auto timer = ak_scheduledTimerWithTimeInterval(1.0, target, ak_timerAction(&Target::tick), Value("info"), true);
    CHECK(ak_timerUserInfo(*timer) == Value("info"));
    Clock::advance(1.0);
    adkittest::waitFor([&] { return target->fired == 1; }, "the first firing");
    target.reset();
    Clock::advance(1.0);
    adkittest::waitFor([&] { return !timer->isValid(); }, "the timer to invalidate itself");
}

TEST_CASE("zig-zag: right, left, right, left and lift is recognised, and short strokes, jumps and two fingers fail") {
    int recognised = 0;
    auto run = [&](const std::vector<double>& moves, double jump = 0, std::size_t fingers = 1) {
        AKImpressionTicketGestureRecognizer r([&] { ++recognised; });
        double x = 100;
        r.touchesBegan(fingers, {CGPointMake(x, 100), CGPointMake(x, 100)});
        for (double move : moves) {
            const double step = move > 0 ? 5 : -5;
            for (double done = 0; std::fabs(done) < std::fabs(move); done += step) stroke(r, x, step, 100, jump);
        }
        r.touchesEnded(fingers, {CGPointMake(x, 100), CGPointMake(x, 100)});
        return r.state();
    };
    CHECK(run({20, -20, 20, -5}) == AKGestureRecognizerStateEnded);
    CHECK(recognised == 1);
    CHECK(run({20, -10, 20, -5}) == AKGestureRecognizerStateFailed);
    CHECK(run({20, -20, 20, -5}, 6) == AKGestureRecognizerStateFailed);
    CHECK(run({20, -20, 20, -5}, 0, 2) == AKGestureRecognizerStateFailed);
    CHECK(run({-20, 20, -20, 5}) == AKGestureRecognizerStateFailed);
    CHECK(run({20, -20, 20}) == AKGestureRecognizerStateFailed);
    CHECK(recognised == 1);

    // Through real touches: a view in a window with the recogniser attached.
    auto window = std::make_shared<UIWindow>(CGRectMake(0, 0, 320, 480));
    window->makeKeyAndVisible();
    auto banner = std::make_shared<UIView>(CGRectMake(0, 100, 320, 50));
    window->addSubview(banner);
    int touched = 0;
    auto recognizer = std::make_shared<AKImpressionTicketTouchRecognizer>(nullptr, [&](UIGestureRecognizer&) { ++touched; });
    banner->addGestureRecognizer(recognizer);
    auto drawZigZag = [&](const std::vector<double>& strokes, double y) {
        double fingerX = 100;
        auto touch = window->touchBegan(CGPointMake(fingerX, y));
        REQUIRE(touch);
        for (double move : strokes) {
            const double step = move > 0 ? 5 : -5;
            for (double done = 0; std::fabs(done) < std::fabs(move); done += step) {
                fingerX += step;
                window->touchMoved(touch, CGPointMake(fingerX, y));
            }
        }
        window->touchEnded(touch, CGPointMake(fingerX, y));
    };
    drawZigZag({20, -20, 20, -5}, 125);
    CHECK(touched == 1);
    drawZigZag({20, -10, 20, -5}, 125);  // the left stroke too short
    CHECK(touched == 1);
    drawZigZag({20, -20, 20, -5}, 300);  // outside the banner: its recogniser never sees it
    CHECK(touched == 1);
    drawZigZag({20, -20, 20, -5}, 120);
    CHECK(touched == 2);

    AKImpressionTicketGestureRecognizer cancelled;
    double x = 0;
    stroke(cancelled, x, 10);
    cancelled.touchesCancelled();
    CHECK(cancelled.gestureState() == 0);
    CHECK(cancelled.distanceMoved() == 0);
}
