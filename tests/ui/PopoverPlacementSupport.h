#pragma once
// A popover scene for the placement tests: a visible key window of a given
// size on a screen of that size (status bar 20, margins 10), a full-window
// overlay and a chrome stand-in that measures itself as the popover chrome does
// (body plus arrow, shadow insets from blur and offset) and records what
// placement handed it.
#include <memory>
#include <string>
#include <vector>

#include "platform/uikit/UIApplication.h"
#include "platform/uikit/UIDevice.h"
#include "platform/uikit/UIOptionalOperations.h"
#include "platform/uikit/UIScreen.h"
#include "platform/uikit/UIView.h"
#include "platform/uikit/UIViewController.h"
#include "platform/uikit/UIWindow.h"
#include "ui/popover/FLPopoverPlacement.h"

namespace popovertest {

class ChromeStandIn : public FLPopoverPlacementChrome {
public:
    ChromeStandIn() : view_(std::make_shared<UIView>(CGRectMake(0, 0, 10, 10))) {}

    // The measures of the chrome (the system 7 look by default).
    CGFloat arrowHeightValue = 13;
    CGFloat borderWidth = 0;
    CGFloat blur = 0;
    CGSize shadowOffset{0, 0};

    // What placement handed over.
    std::vector<CGFloat> offsets;
    std::shared_ptr<UIViewController> embedded;
    bool wantsDefault = false;
    int redraws = 0;
    int directionSets = 0;

    std::shared_ptr<UIView> chromeView() const override { return view_; }
    CGFloat arrowHeight() const override { return arrowHeightValue; }
    FLArrowDirection arrowDirection() const override { return direction_; }
    void setArrowDirection(FLArrowDirection d) override {
        direction_ = d;
        ++directionSets;
    }
    CGFloat arrowOffset() const override { return offsets.empty() ? 0 : offsets.back(); }
    void setArrowOffset(CGFloat o) override { offsets.push_back(o); }
    UIEdgeInsets outerShadowInsets() const override {
        return {blur - shadowOffset.height, blur - shadowOffset.width, blur + shadowOffset.height,
                blur + shadowOffset.width};
    }
    CGSize sizeThatFits(CGSize content) const override {
        CGFloat w = content.width + 2 * (blur + borderWidth);
        CGFloat h = content.height + 2 * blur + 2 * borderWidth;
        if (direction_ == FLArrowDirectionLeft || direction_ == FLArrowDirectionRight) w += arrowHeightValue;
        if (direction_ == FLArrowDirectionUp || direction_ == FLArrowDirectionDown) h += arrowHeightValue;
        return {w, h};
    }
    void setWantsDefaultContentAppearance(bool wants) override { wantsDefault = wants; }
    void setViewController(const std::shared_ptr<UIViewController>& c) override { embedded = c; }
    void setNeedsDisplay() override { ++redraws; }

private:
    std::shared_ptr<UIView> view_;
    FLArrowDirection direction_ = FLArrowDirectionDown;
};

// The scene; the system version, screen, orientation and status bar return to
// their defaults afterwards.
class Scene {
public:
    explicit Scene(CGSize windowSize = {320, 480}, const std::string& systemVersion = "7.0",
                   UIInterfaceOrientation orientation = UIInterfaceOrientationPortrait) {
        UIDevice::currentDevice()->setSystemVersion(systemVersion);
        auto app = UIApplication::sharedApplication();
        app->setStatusBarHidden(false);
        app->setStatusBarOrientation(orientation);
        bool landscapeWindow = windowSize.width > windowSize.height;
        UIScreen::mainScreen()->setBounds(landscapeWindow ? CGRectMake(0, 0, windowSize.height, windowSize.width)
                                                          : CGRectMake(0, 0, windowSize.width, windowSize.height));
        window = std::make_shared<UIWindow>(CGRectMake(0, 0, windowSize.width, windowSize.height));
        root = std::make_shared<UIViewController>();
        window->setRootViewController(root);
        window->makeKeyAndVisible();
        overlay = std::make_shared<UIView>(window->bounds());
        chrome = std::make_shared<ChromeStandIn>();
        window->addSubview(chrome->chromeView());
        window->insertSubviewBelow(overlay, chrome->chromeView().get());
        placement.inView = root->view();
        placement.overlayView = overlay;
        placement.backgroundView = chrome;
        placement.contentViewController = std::make_shared<UIViewController>();
        placement.ignoreOrientation = NSProcessInfoRespondsToOperatingSystemVersion();
    }
    ~Scene() {
        window->setHidden(true);
        UIDevice::currentDevice()->setSystemVersion("7.0");
        UIApplication::sharedApplication()->setStatusBarOrientation(UIInterfaceOrientationPortrait);
        UIScreen::mainScreen()->setBounds(CGRectMake(0, 0, 320, 568));
    }
    Scene(const Scene&) = delete;
    Scene& operator=(const Scene&) = delete;

    // Places a content of the size for the anchor (in the root view).
    CGRect place(CGRect anchor, CGSize content, FLArrowDirection permitted = FLArrowDirectionAny) {
        placement.rect = anchor;
        placement.popoverContentSize = content;
        placement.permittedArrowDirections = permitted;
        placement.positionPopover(false);
        return chrome->chromeView()->frame();
    }

    std::shared_ptr<UIWindow> window;
    std::shared_ptr<UIViewController> root;
    std::shared_ptr<UIView> overlay;
    std::shared_ptr<ChromeStandIn> chrome;
    FLPopoverPlacement placement;
};

}  // namespace popovertest
