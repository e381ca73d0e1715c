// Protects how the full-screen ads look: the built-in button images at screen
// scales 1 and 2 (their sizes, scales and pixels, against reference images),
// and a transparent interstitial laid over the application, mid-slide and at
// rest, turned with the status bar, and faded out and taken off the window
// when closed, leaving the status bar alone.
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <variant>
#include <vector>

#include "AdkitTestSupport.h"
#include "RenderingScope.h"
#include "RenderingTestDoubles.h"
#include "adkit/foundation/AKDevice.h"
#include "adkit/rendering/AKIntrinsicImages.h"
#include "adkit/rendering/AKIntrinsicImagesData.h"
#include "adkit/rendering/AKWebAppViewController.h"
#include "platform/foundation/NSNotificationCenter.h"
#include "platform/uikit/UIButton.h"
#include "platform/uikit/UIImageView.h"
#include "platform/uikit/UIScreen.h"
#include "platform/uikit/UIWindow.h"
#include "support/ReferenceImage.h"
#include "support/TestEnvironment.h"

using namespace adkittest;

namespace {

constexpr CGPixel kWhite{255, 255, 255, 255};
constexpr CGPixel kBlack{0, 0, 0, 255};
constexpr CGPixel kGround{51, 51, 51, 255};  // the window behind the buttons
constexpr CGPixel kApplication{0, 128, 64, 255};
constexpr CGPixel kCreative{200, 30, 30, 255};

bool near(const CGPixel& p, const CGPixel& q, int tolerance = 12) {
    auto close = [&](int a, int b) { return std::abs(a - b) <= tolerance; };
    return close(p.r, q.r) && close(p.g, q.g) && close(p.b, q.b) && close(p.a, q.a);
}

// The pixel at a point (in points) of an image rendered at the scale.
CGPixel probe(const CGImageRef& image, double x, double y, double scale = 1) {
    REQUIRE(image);
    return image->pixelAt(static_cast<std::size_t>(x * scale), static_cast<std::size_t>(y * scale));
}

CGColorRef colour(const CGPixel& p) { return CGColorCreateSRGB(p.r / 255.0, p.g / 255.0, p.b / 255.0, 1); }

// The screen's scale for a test, and the device facts read again.
struct ScreenScale {
    CGFloat saved = UIScreen::mainScreen()->scale();
    explicit ScreenScale(CGFloat scale) {
        UIScreen::mainScreen()->setScale(scale);
        AKDevice::resetProcessFactsForTesting();
    }
    ~ScreenScale() {
        UIScreen::mainScreen()->setScale(saved);
        AKDevice::resetProcessFactsForTesting();
    }
};

// The renderer draws model values: the window with one view moved to where its
// running animation shows it now.
CGImageRef snapshotWithPresentationPosition(UIWindow& window, UIView& moving) {
    const CGPoint model = moving.center();
    const CAValue shown = moving.layer()->presentationValueForKey("position");
    REQUIRE(std::holds_alternative<CGPoint>(shown));
    UIView::performWithoutAnimation([&] { moving.setCenter(std::get<CGPoint>(shown)); });
    CGImageRef image = window.snapshotImage(1);
    UIView::performWithoutAnimation([&] { moving.setCenter(model); });
    return image;
}

void writeSnapshot(const CGImageRef& image, const std::string& name) {
    const auto png = UIImagePNGRepresentation(UIImage::imageWithCGImage(image));
    REQUIRE(png);
    std::filesystem::create_directories(QUORVANE_SNAPSHOT_DIR);
    std::ofstream(std::string(QUORVANE_SNAPSHOT_DIR) + "/" + name + ".png", std::ios::binary)
        .write(reinterpret_cast<const char*>(png->data()), static_cast<std::streamsize>(png->size()));
}

}  // namespace

TEST_CASE("built-in button images: sizes, scales and looks at screen scales 1 and 2") {
    for (const CGFloat scale : {1.0, 2.0}) {
        CAPTURE(scale);
        const ScreenScale screen(scale);
        using Images = AKIntrinsicImages;
        const auto back = Images::imageWithBase64EncodedString(
            Images::chooseImage(kAKBrowserBackButtonPNG, kAKBrowserBackButton2xPNG));
        const auto forward = Images::imageWithBase64EncodedString(
            Images::chooseImage(kAKBrowserForwardButtonPNG, kAKBrowserForwardButton2xPNG));
        const auto close = Images::imageWithBase64EncodedString(Images::chooseImage(kAKCloseButtonPNG, kAKCloseButton2xPNG));
        REQUIRE(back);
        REQUIRE(forward);
        REQUIRE(close);
        for (const auto& [image, side] : {std::pair{back, 27}, std::pair{forward, 27}, std::pair{close, 25}}) {
            CHECK(image->scale() == scale);
            CHECK(image->size() == CGSizeMake(side, side));
            CHECK(CGImageGetWidth(image->CGImage()) == static_cast<std::size_t>(side * scale));
        }

        auto window = std::make_shared<UIWindow>(CGRectMake(0, 0, 104, 38));
        window->setBackgroundColor(colour(kGround));
        window->setHidden(false);
        const std::vector<std::pair<UIImagePtr, CGRect>> placed = {
            {back, CGRectMake(5, 5, 27, 27)}, {forward, CGRectMake(38, 5, 27, 27)}, {close, CGRectMake(72, 6, 25, 25)}};
        for (const auto& [image, frame] : placed) {
            auto view = std::make_shared<UIImageView>(image);
            view->setFrame(frame);
            window->addSubview(view);
        }
        const CGImageRef shot = window->snapshotImage(scale);
        REQUIRE(shot);
        writeSnapshot(shot, scale == 1 ? "ad-builtin-buttons" : "ad-builtin-buttons@2x");
        // Arrows: white at their middle, the ground where the triangle is not.
        CHECK(near(probe(shot, 5 + 13.5, 5 + 13.5, scale), kWhite));
        CHECK(near(probe(shot, 5 + 22, 5 + 13.5, scale), kGround));
        CHECK(near(probe(shot, 38 + 13.5, 5 + 13.5, scale), kWhite));
        CHECK(near(probe(shot, 38 + 5, 5 + 13.5, scale), kGround));
        // Close: the X crosses at the middle, black between it and the ring, the ring white.
        const double cx = 72 + 12.5, cy = 6 + 12.5;
        CHECK(near(probe(shot, cx, cy, scale), kWhite));
        CHECK(near(probe(shot, cx, cy + 5.5, scale), kBlack));
        CHECK(near(probe(shot, cx, cy + 8.6, scale), kWhite, 40));
        CHECK(near(probe(shot, 72.5, 6.5, scale), kGround));
        const auto match = testsupport::compareWithReference(shot, scale == 1 ? "ad-builtin-buttons" : "ad-builtin-buttons@2x");
        CHECK_MESSAGE(match.matched, match.message);
    }
    // Made once, kept: the same image every time.
    const auto images = AKIntrinsicImages::sharedInstance();
    CHECK(images->closeButton() == images->closeButton());
    CHECK(images->transparentImage()->size() == CGSizeMake(10, 10));
}

TEST_CASE("transparent interstitial: laid over the application, slid in, turned with the status bar, faded out") {
    testsupport::TempHome home;
    RenderingScope scope;
    VirtualTime time;
    const auto app = UIApplication::sharedApplication();
    const UIApplicationState state = app->applicationState();
    auto window = std::make_shared<UIWindow>(CGRectMake(0, 0, 320, 568));
    auto root = std::make_shared<UIViewController>();
    window->setRootViewController(root);
    root->view()->setBackgroundColor(colour(kApplication));
    window->makeKeyAndVisible();
    auto slot = std::make_shared<renderingtest::RecordingSlot>();
    int willPresent = 0, didDismiss = 0;
    auto presentToken = NSNotificationCenter::defaultCenter()->addObserverForName(
        kAdModalViewControllerWillPresentFullScreen, nullptr, nullptr, [&](const NSNotification&) { ++willPresent; });
    auto dismissToken = NSNotificationCenter::defaultCenter()->addObserverForName(
        kAdModalViewControllerDidDismissFullScreen, nullptr, nullptr, [&](const NSNotification&) { ++didDismiss; });

    auto controller = AKWebAppViewController::make();
    controller->setSlot(slot);
    controller->setTransparentInterstitial(true);  // as the ad's message sets it
    controller->presentFromViewController(root);
    CHECK(controller->isTransparentInterstitial());
    CHECK(controller->view()->superview() == window);
    CHECK_FALSE(root->presentedViewController());
    CHECK_FALSE(app->isStatusBarHidden());
    CHECK(controller->hostViewController() == root);
    CHECK(willPresent == 1);
    CHECK(slot->joined().find("interstitialViewWillAppear") != std::string::npos);

    // The view covers the application frame; the square content view is the
    // screen's longer side; the web view fills the application frame.
    const CGRect application = AKDevice::currentDevice()->standardizedApplicationFrame();
    CHECK(controller->view()->frame() == application);
    const auto content = controller->contentView();
    REQUIRE(content);
    CHECK(content->bounds().size == CGSizeMake(568, 568));
    const auto webView = controller->webView();
    CHECK(webView->convertRectToView(webView->bounds(), nullptr) == application);
    // The creative's painting: a red box on a transparent page.
    const auto w = static_cast<std::size_t>(application.size.width), h = static_cast<std::size_t>(application.size.height);
    Data page(w * h * 4, 0);
    for (std::size_t y = 150; y < 400; ++y)
        for (std::size_t x = 40; x < 280; ++x) {
            std::uint8_t* p = page.data() + (y * w + x) * 4;
            p[0] = kCreative.r, p[1] = kCreative.g, p[2] = kCreative.b, p[3] = 255;
        }
    webView->webView()->backingDidReceiveFrame(CGImageCreateWithRGBA(w, h, std::move(page)), 1);

    // Mid-slide: the content comes up from below over 0.4 s, half way after 0.2 s.
    const CGPoint resting = content->center();
    const auto slide = content->animationRecordForKey("position");
    REQUIRE(slide);
    CHECK(slide->duration == AKWebAppViewController::kSlideDuration);
    CHECK(std::get<CGPoint>(slide->fromValue) == CGPointMake(resting.x, resting.y + application.size.height));
    Clock::advance(0.2);
    const CGImageRef midSlide = snapshotWithPresentationPosition(*window, *content);
    writeSnapshot(midSlide, "transparent-interstitial-mid-slide");
    const double shift = std::get<CGPoint>(content->layer()->presentationValueForKey("position")).y - resting.y;
    CHECK(shift == doctest::Approx(application.size.height / 2).epsilon(0.05));
    const double boxTop = application.origin.y + 150 + shift;
    CHECK(near(probe(midSlide, 160, boxTop + 20), kCreative));
    CHECK(near(probe(midSlide, 160, boxTop - 20), kApplication));  // the application shows through
    CHECK(near(probe(midSlide, 160, 100), kApplication));
    const auto match = testsupport::compareWithReference(midSlide, "transparent-interstitial-mid-slide");
    CHECK_MESSAGE(match.matched, match.message);
    Clock::advance(0.2);
    drainMainQueue();
    const CGImageRef atRest = window->snapshotImage(1);
    CHECK(near(probe(atRest, 160, application.origin.y + 200), kCreative));
    CHECK(near(probe(atRest, 20, application.origin.y + 200), kApplication));

    // The status bar turns: the content turns with it, the page keeps the application frame's shape.
    app->setStatusBarOrientation(UIInterfaceOrientationLandscapeRight);
    const CGRect turned = AKDevice::currentDevice()->standardizedApplicationFrame();
    CHECK(content->transform() == AKWebAppViewController::transformForOrientation(UIInterfaceOrientationLandscapeRight));
    CHECK(webView->bounds().size == CGSizeMake(turned.size.height, turned.size.width));
    CHECK(content->center() == CGPointMake(turned.size.width / 2, turned.size.height / 2));
    app->setStatusBarOrientation(UIInterfaceOrientationPortrait);
    CHECK(content->transform() == CGAffineTransformIdentity);

    // Closing fades the page out over 0.2 s, then takes the overlay off the window.
    controller->closeButton()->sendActionsForControlEvents(UIControlEventTouchUpInside);
    CHECK(webView->alpha() == 0);
    CHECK(controller->view()->superview() == window);
    Clock::advance(AKWebAppViewController::kFadeDuration);
    waitFor([&] { return !controller->view()->superview(); }, "the overlay to leave the window");
    CHECK_FALSE(controller->isTransparentInterstitial());
    CHECK(didDismiss == 1);
    CHECK(willPresent == 1);
    CHECK_FALSE(app->isStatusBarHidden());
    CHECK(slot->joined().find("adWillDismissScreen; interstitialViewWillDisappear") != std::string::npos);

    NSNotificationCenter::defaultCenter()->removeObserver(presentToken.get());
    NSNotificationCenter::defaultCenter()->removeObserver(dismissToken.get());
    app->setKeyWindow(nullptr);
    app->setApplicationState(state);
}

TEST_CASE("transparent interstitial: the slide starts beyond the edge the status bar names") {
    struct Case {
        UIInterfaceOrientation orientation;
        int dx, dy;  // in application-frame widths and heights
    };
    for (const Case c : {Case{UIInterfaceOrientationPortrait, 0, 1}, Case{UIInterfaceOrientationPortraitUpsideDown, 0, -1},
                         Case{UIInterfaceOrientationLandscapeLeft, -1, 0}, Case{UIInterfaceOrientationLandscapeRight, 1, 0}}) {
        CAPTURE(static_cast<long>(c.orientation));
        testsupport::TempHome home;
        RenderingScope scope;
        VirtualTime time;
        const auto app = UIApplication::sharedApplication();
        app->setStatusBarOrientation(c.orientation);
        auto window = std::make_shared<UIWindow>(CGRectMake(0, 0, 320, 568));
        auto root = std::make_shared<UIViewController>();
        window->setRootViewController(root);
        window->makeKeyAndVisible();
        auto controller = AKWebAppViewController::make();
        controller->setTransparentInterstitial(true);
        controller->presentFromViewController(root);
        const auto slide = controller->contentView()->animationRecordForKey("position");
        REQUIRE(slide);
        const CGRect a = AKDevice::currentDevice()->standardizedApplicationFrame();
        const CGPoint from = std::get<CGPoint>(slide->fromValue), to = std::get<CGPoint>(slide->toValue);
        CHECK(from.x - to.x == c.dx * a.size.width);
        CHECK(from.y - to.y == c.dy * a.size.height);
        CHECK(controller->contentView()->transform() == AKWebAppViewController::transformForOrientation(c.orientation));
        controller->relinquishScreen();
        app->setStatusBarOrientation(UIInterfaceOrientationPortrait);
        app->setKeyWindow(nullptr);
    }
}
