// Protects the status overlay: its notifications in order with the status text,
// the timed dismissal by text length on the virtual clock, activity counting,
// a dismissal that cancels the timed one, the box sizes, positioning for the
// keyboard, offset and orientation (older and newer systems), masks and touches,
// and the appearance settings.
#include <doctest/doctest.h>

#include <climits>
#include <cmath>

#include "platform/graphics/CGAffineTransform.h"
#include "platform/uikit/NSStringDrawing.h"
#include "platform/uikit/UIAccessibility.h"
#include "platform/uikit/UIAppearance.h"
#include "STProgressHUDTestSupport.h"

using statustest::Stage;

namespace {
const std::vector<std::string> kFullCycle = {STProgressHUDWillAppearNotification, STProgressHUDDidAppearNotification,
                                             STProgressHUDWillDisappearNotification,
                                             STProgressHUDDidDisappearNotification};

std::string statusOf(const Value& userInfo) { return userInfo[STProgressHUDStatusUserInfoKey].stringValue(); }

bool inWindow(const std::shared_ptr<UIWindow>& window) {
    auto hud = STProgressHUD::sharedView();
    return hud->hasOverlayView() && hud->overlayView()->superview() == window;
}
}  // namespace

TEST_CASE("a success image dismisses itself after a time that grows with its text, notifying in order") {
    struct Case {
        std::string text;
        double stays;
    };
    for (const Case& c : {Case{"Saved file", 0.9}, Case{std::string(100, 'x'), 5.0}}) {
        CAPTURE(c.text.size());
        CHECK(STProgressHUD::displayDurationForString(c.text) == doctest::Approx(c.stays));
        Stage stage;
        STProgressHUD::showSuccessWithStatus(c.text);
        auto hud = STProgressHUD::sharedView();
        CHECK(inWindow(stage.window));
        CHECK(STProgressHUD::isVisible());
        CHECK(hud->imageView()->image() == hud->hudSuccessImage());
        REQUIRE(hud->fadeOutTimer());
        CHECK(stage.names() == std::vector<std::string>{STProgressHUDWillAppearNotification});

        stage.advanceTo(0.1);
        CHECK(stage.count(STProgressHUDDidAppearNotification) == 0);
        stage.advanceTo(0.2);  // the 0.15 s entrance is over
        CHECK(stage.count(STProgressHUDDidAppearNotification) == 1);
        stage.advanceTo(c.stays - 0.05);
        CHECK(stage.count(STProgressHUDWillDisappearNotification) == 0);
        stage.advanceTo(c.stays + 0.05);
        CHECK(stage.count(STProgressHUDWillDisappearNotification) == 1);
        CHECK(stage.count(STProgressHUDDidDisappearNotification) == 0);
        CHECK(hud->activityCount() == 0);
        stage.advanceTo(c.stays + 0.25);  // and the 0.15 s exit
        CHECK(stage.names() == kFullCycle);
        for (const auto& p : stage.posted) {
            CAPTURE(p.name);
            CHECK(statusOf(p.userInfo) == c.text);
            CHECK_FALSE(p.object);
        }
        CHECK_FALSE(STProgressHUD::isVisible());
        CHECK_FALSE(hud->hasHudView());
        CHECK_FALSE(hud->hasOverlayView());
        CHECK_FALSE(hud->fadeOutTimer());
        CHECK(hud->phase() == STProgressHUD::Phase::Hidden);
    }
}

TEST_CASE("without a status the notifications carry no user info, a show while visible only updates") {
    Stage stage;
    STProgressHUD::show();
    stage.advanceTo(0.3);
    STProgressHUD::showWithStatus("Still going");  // visible: no second entrance
    stage.advanceTo(0.6);
    CHECK(stage.names() == std::vector<std::string>{STProgressHUDWillAppearNotification,
                                                    STProgressHUDDidAppearNotification});
    CHECK(stage.posted[0].userInfo.isNull());
    CHECK(STProgressHUD::sharedView()->stringLabel()->text() == "Still going");
    STProgressHUD::dismiss();
    stage.advanceTo(1);
    CHECK(stage.names() == kFullCycle);
    CHECK(statusOf(stage.posted[3].userInfo) == "Still going");

    // dismiss while hidden does nothing.
    STProgressHUD::dismiss();
    stage.advanceTo(1.5);
    CHECK(stage.posted.size() == 4);
}

TEST_CASE("activities: shows count up, pops count down to 0 and never wrap below it") {
    Stage stage;
    auto hud = STProgressHUD::sharedView();
    STProgressHUD::show();
    STProgressHUD::show();
    CHECK(hud->activityCount() == 2);
    STProgressHUD::popActivity();
    stage.advanceTo(0.5);
    CHECK(STProgressHUD::isVisible());
    CHECK(hud->activityCount() == 1);
    STProgressHUD::popActivity();
    stage.advanceTo(1);
    CHECK_FALSE(STProgressHUD::isVisible());
    CHECK(stage.count(STProgressHUDDidDisappearNotification) == 1);

    // A pop without a matching show stays at 0 and does nothing else while hidden.
    STProgressHUD::popActivity();
    CHECK(hud->activityCount() == 0);
    stage.advanceTo(1.5);
    CHECK(stage.posted.size() == 4);

    // ...and the next show counts from 0 again, so one pop dismisses it.
    STProgressHUD::show();
    CHECK(hud->activityCount() == 1);
    STProgressHUD::popActivity();
    stage.advanceTo(2);
    CHECK(hud->activityCount() == 0);
    CHECK_FALSE(STProgressHUD::isVisible());

    // Determinate progress counts only at 0; the ring shows the fraction.
    STProgressHUD::showProgress(0.5f);
    CHECK(hud->activityCount() == 0);
    REQUIRE(hud->hasRingLayers());
    CHECK(hud->ringLayer()->strokeEnd() == doctest::Approx(0.5));
    CHECK(hud->backgroundRingLayer()->strokeEnd() == doctest::Approx(1));
    CHECK(hud->spinnerView()->isHidden());
    STProgressHUD::showProgress(0);
    CHECK(hud->activityCount() == 1);
    STProgressHUD::show();  // the spinner drops the rings
    CHECK_FALSE(hud->hasRingLayers());
    CHECK(hud->spinnerView()->isAnimating());
    CHECK(hud->activityCount() == 2);
}

TEST_CASE("a dismissal cancels the timed one: each disappear notification comes once") {
    Stage stage;
    STProgressHUD::showErrorWithStatus("Failed");  // would dismiss itself at 0.66
    stage.advanceTo(0.2);
    STProgressHUD::dismiss();
    CHECK_FALSE(STProgressHUD::sharedView()->fadeOutTimer());
    stage.advanceTo(0.5);
    STProgressHUD::dismiss();  // again during the exit: nothing more
    stage.advanceTo(2);
    CHECK(stage.names() == kFullCycle);

    // A second dismissal while fading out (popActivity, then dismiss) adds nothing either.
    stage.posted.clear();
    STProgressHUD::show();
    stage.advanceTo(2.3);
    STProgressHUD::popActivity();
    STProgressHUD::sharedView()->instanceDismiss();
    stage.advanceTo(3);
    CHECK(stage.names() == kFullCycle);
}

TEST_CASE("a show during the exit brings the overlay back, a dismissal during the entrance ends it cleanly") {
    Stage stage;
    auto hud = STProgressHUD::sharedView();
    STProgressHUD::show();  // mask 1: the box fades, the overlay stays at alpha 1
    stage.advanceTo(0.3);
    STProgressHUD::dismiss();
    stage.advanceTo(0.35);
    STProgressHUD::showWithStatus("Again");
    stage.advanceTo(1);
    CHECK(stage.names() == std::vector<std::string>{STProgressHUDWillAppearNotification,
                                                    STProgressHUDDidAppearNotification,
                                                    STProgressHUDWillDisappearNotification,
                                                    STProgressHUDWillAppearNotification,
                                                    STProgressHUDDidAppearNotification});
    CHECK(STProgressHUD::isVisible());
    REQUIRE(hud->hasHudView());
    CHECK(hud->hudView()->alpha() == doctest::Approx(1));
    CHECK(inWindow(stage.window));

    // Dismissed while still coming in: no did-appear after the will-disappear.
    STProgressHUD::dismiss();
    stage.advanceTo(2);
    stage.posted.clear();
    STProgressHUD::showWithMaskType(STProgressHUDMaskTypeBlack);
    stage.advanceTo(2.05);
    STProgressHUD::dismiss();
    stage.advanceTo(3);
    CHECK(stage.names() == std::vector<std::string>{STProgressHUDWillAppearNotification,
                                                    STProgressHUDWillDisappearNotification,
                                                    STProgressHUDDidDisappearNotification});
    CHECK_FALSE(hud->hasOverlayView());
}

TEST_CASE("box sizes follow the status text") {
    Stage stage;
    auto hud = STProgressHUD::sharedView();
    STProgressHUD::show();
    CHECK(hud->hudView()->bounds().size == CGSizeMake(100, 100));
    CHECK(hud->stringLabel()->frame() == CGRectZero);
    CHECK(hud->spinnerView()->center() == CGPointMake(50.5, 50.5));

    auto font = hud->hudFont();
    auto options = NSStringDrawingUsesLineFragmentOrigin | NSStringDrawingUsesFontLeading |
                   NSStringDrawingTruncatesLastVisibleLine;
    for (const char* text : {"OK", "Loading", "Uploading your favourite films to the server"}) {
        CAPTURE(text);
        CGSize measured = boundingRectWithSize(text, CGSizeMake(200, 300), options, NSAttributes(font)).size;
        double width = (measured.width > 100 ? std::ceil(measured.width / 2) * 2 : 100) + 24;
        STProgressHUD::showWithStatus(text);  // spinner: room above the text
        CGSize box = hud->hudView()->bounds().size;
        CHECK(box.width == doctest::Approx(width));
        CHECK(box.height == doctest::Approx(measured.height + 80));
        CHECK(hud->stringLabel()->frame().origin.y == doctest::Approx(66));
        CHECK(hud->spinnerView()->center() == CGPointMake(std::ceil(width / 2) + 0.5, 40.5));
    }
    // The width rule itself: 150 points of text give 174, 80 give 124.
    CHECK(std::ceil(150.0 / 2) * 2 + 24 == 174);

    // A long text wraps within 200 points and grows the box downwards.
    STProgressHUD::showWithStatus("Uploading your favourite films to the server");
    CHECK(hud->hudView()->bounds().size.width <= 224);
    CHECK(hud->stringLabel()->frame().origin.x == doctest::Approx(12));
}

TEST_CASE("the box sits at 45 % of the free height, moves for the keyboard and the offset") {
    Stage stage;
    auto hud = STProgressHUD::sharedView();
    STProgressHUD::show();
    CHECK(hud->hudView()->center() == CGPointMake(160, 216));  // floor(480 x 0.45)
    STProgressHUD::setOffsetFromCenter(UIOffsetMake(10, -20));
    STProgressHUD::show();
    CHECK(hud->hudView()->center() == CGPointMake(170, 196));
    STProgressHUD::resetOffsetFromCenter();

    hud->hudView()->clearAnimationRecords();
    UIKeyboard::show(216, 0.25);
    // 480 + 2 x 20 - 216 = 304 free: 136.
    CHECK(hud->hudView()->center() == CGPointMake(160, 136));
    auto move = hud->hudView()->animationRecordForKey("position");
    REQUIRE(move);
    CHECK(move->duration == doctest::Approx(0.25));
    CHECK(move->options == UIViewAnimationOptionAllowUserInteraction);
    stage.advanceTo(0.5);
    STProgressHUD::show();  // placed anew: the visible keyboard counts
    CHECK(hud->hudView()->center() == CGPointMake(160, 136));
    UIKeyboard::hide(0.25);
    CHECK(hud->hudView()->center() == CGPointMake(160, 216));
}

TEST_CASE("orientation: older systems swap the portrait bounds and turn the box, newer ones take them as they are") {
    struct Case {
        const char* system;
        UIInterfaceOrientation orientation;
        CGPoint centre;
        double angle;
    };
    const Case cases[] = {
        {"7.0", UIInterfaceOrientationLandscapeLeft, {144, 240}, -M_PI / 2},
        {"7.0", UIInterfaceOrientationLandscapeRight, {320 - 144, 240}, M_PI / 2},
        {"7.0", UIInterfaceOrientationPortraitUpsideDown, {160, 480 - 216}, M_PI},
        {"8.0", UIInterfaceOrientationLandscapeLeft, {240, 144}, 0},
        {"8.0", UIInterfaceOrientationLandscapeRight, {240, 144}, 0},
        {"8.0", UIInterfaceOrientationPortraitUpsideDown, {160, 216}, 0},
    };
    for (const Case& c : cases) {
        CAPTURE(c.system);
        CAPTURE(c.orientation);
        Stage stage;
        UIDevice::currentDevice()->setSystemVersion(c.system);
        auto hud = STProgressHUD::sharedView();
        STProgressHUD::show();
        UIApplication::sharedApplication()->setStatusBarOrientation(c.orientation);
        CHECK(hud->hudView()->center().x == doctest::Approx(c.centre.x));
        CHECK(hud->hudView()->center().y == doctest::Approx(c.centre.y));
        CGAffineTransform t = hud->hudView()->transform();
        CHECK(std::atan2(t.b, t.a) == doctest::Approx(c.angle > M_PI - 1e-6 ? M_PI : c.angle));
    }
}

TEST_CASE("masks: the black one swallows touches and reports each, mask 1 lets them through") {
    Stage stage;
    auto below = std::make_shared<UIControl>(CGRectMake(0, 0, 320, 100));
    int belowTouches = 0;
    below->addTarget(nullptr, [&](UIControl&, UIEvent*) { ++belowTouches; }, UIControlEventTouchDown);
    stage.window->addSubview(below);

    STProgressHUD::showWithMaskType(STProgressHUDMaskTypeBlack);
    stage.advanceTo(0.3);
    CHECK(stage.window->tap(CGPointMake(20, 20)));
    CHECK(stage.window->tap(CGPointMake(30, 30)));
    CHECK(belowTouches == 0);
    CHECK(stage.count(STProgressHUDDidReceiveTouchEventNotification) == 2);
    for (const auto& p : stage.posted)
        if (p.name == STProgressHUDDidReceiveTouchEventNotification) CHECK(std::dynamic_pointer_cast<UIEvent>(p.object));

    STProgressHUD::show();  // mask 1
    CHECK(stage.window->tap(CGPointMake(20, 20)));
    CHECK(belowTouches == 1);
    CHECK(stage.count(STProgressHUDDidReceiveTouchEventNotification) == 2);
}

TEST_CASE("appearance: the instance's value, else the proxy's, else the default") {
    Stage stage;
    auto hud = STProgressHUD::sharedView();
    CHECK(hud->hudBackgroundColor()->isEqual(UIColor::whiteColor()));
    CHECK(hud->hudForegroundColor()->isEqual(UIColor::colorWithWhite(0, 0.8)));
    CHECK(hud->hudFont()->isEqual(UIFont::preferredFontForTextStyle(UIFontTextStyleHeadline)));
    CHECK(hud->hudRingForegroundColor()->isEqual(UIColor::colorWithCGColor(hud->tintColor())));
    CHECK(hud->hudSuccessImage());
    CHECK(hud->hudErrorImage());
    CHECK(hud->hudSuccessImage()->size() == CGSizeMake(28, 28));

    UIAppearance<STProgressHUD>::set("hudRingBackgroundColor", UIColor::redColor(),
                                     &STProgressHUD::setHudRingBackgroundColor);
    STProgressHUD::showProgress(0.3f);
    CHECK(CGColorEqualToColor(hud->backgroundRingLayer()->strokeColor(), UIColor::redColor()->CGColor()));
    hud->setHudRingBackgroundColor(UIColor::greenColor());
    CHECK(CGColorEqualToColor(hud->backgroundRingLayer()->strokeColor(), UIColor::greenColor()->CGColor()));
    UIAppearanceReset();
    hud->setHudRingBackgroundColor(nullptr);
    CHECK(hud->hudRingBackgroundColor()->isEqual(UIColor::whiteColor()));

    hud->setHudForegroundColor(UIColor::blueColor());
    CHECK(CGColorEqualToColor(hud->stringLabel()->textColor(), UIColor::blueColor()->CGColor()));
    hud->setHudForegroundColor(nullptr);
    CHECK(CGColorEqualToColor(hud->stringLabel()->textColor(), UIColor::colorWithWhite(0, 0.8)->CGColor()));
}

TEST_CASE("the ring path: 72 samples from the top, closed back to the first, in the ring's own square") {
    CGPoint top = STProgressHUD::pointOnCircleWithCenter(CGPointMake(500, 500), 14, -90);
    CHECK(top.x == doctest::Approx(14));
    CHECK(top.y == doctest::Approx(0));
    CGPoint right = STProgressHUD::pointOnCircleWithCenter(CGPointZero, 14, 0);
    CHECK(right == CGPointMake(28, 14));
    auto path = STProgressHUD::createCirclePathWithCenter(CGPointZero, 14, 72);
    int points = 0;
    CGPathApply(path, [&](const CGPathElement&) { ++points; });
    CHECK(points == 73);
    CHECK(CGPathGetCurrentPoint(path).x == doctest::Approx(14));
    CHECK(CGPathGetCurrentPoint(path).y == doctest::Approx(0));
}

TEST_CASE("the gradient mask darkens towards the edges, an image show announces its text") {
    Stage stage(CGSizeMake(160, 200));
    UIAccessibilityResetPostedNotifications();
    STProgressHUD::showWithMaskType(STProgressHUDMaskTypeGradient);
    stage.advanceTo(0.3);
    auto image = stage.window->snapshotImage(2);
    REQUIRE(image);
    auto corner = uikittest::probe(image, 2, 2, 2);
    auto nearCentre = uikittest::probe(image, 80, 8, 2);  // above the box, closer to the middle
    CHECK(corner.b < nearCentre.b);
    CHECK(nearCentre.b < 0.72 * 255);
    CHECK(corner.b > 0.25 * 0.72 * 255 - 3);  // at most 0.75 black

    STProgressHUD::showSuccessWithStatus("Done");
    bool announced = false;
    for (const auto& n : UIAccessibilityPostedNotifications())
        announced |= n.notification == UIAccessibilityAnnouncementNotification && n.argument.stringValue() == "Done";
    CHECK(announced);
    // Still under the gradient mask: the whole overlay is the element read out.
    CHECK(STProgressHUD::sharedView()->accessibilityLabel() == "Done");
    CHECK(STProgressHUD::sharedView()->isAccessibilityElement());
}
