// The transparent interstitial: the controller's view laid over the key window,
// its content turned by hand with the status bar and slid in from the edge.
#include <cmath>
#include <numbers>

#include "adkit/foundation/AKDevice.h"
#include "adkit/rendering/AKWebAppViewController.h"
#include "adkit/rendering/AKWebView.h"
#include "platform/foundation/NSNotificationCenter.h"
#include "platform/uikit/UIButton.h"

namespace {
UIInterfaceOrientation statusBarOrientation() { return UIApplication::sharedApplication()->statusBarOrientation(); }

CGSize orientedSize(CGSize size, UIInterfaceOrientation orientation) {
    return UIInterfaceOrientationIsLandscape(orientation) ? CGSizeMake(size.height, size.width) : size;
}
}  // namespace

CGRect AKWebAppViewController::frameOfSize(CGSize size, CGRect frame) {
    return CGRectInset(frame, (frame.size.width - size.width) / 2, (frame.size.height - size.height) / 2);
}

CGAffineTransform AKWebAppViewController::transformForOrientation(UIInterfaceOrientation orientation) {
    switch (orientation) {
    case UIInterfaceOrientationPortraitUpsideDown: return CGAffineTransformMakeRotation(std::numbers::pi);
    case UIInterfaceOrientationLandscapeLeft: return CGAffineTransformMakeRotation(std::numbers::pi / 2);
    case UIInterfaceOrientationLandscapeRight: return CGAffineTransformMakeRotation(-std::numbers::pi / 2);
    default: return CGAffineTransformIdentity;
    }
}

AKWebAppViewController::TransparentLayout AKWebAppViewController::transparentLayout() const {
    const auto orientation = statusBarOrientation();
    const CGRect application = AKDevice::currentDevice()->standardizedApplicationFrame();
    TransparentLayout layout;
    layout.viewFrame = application;
    layout.contentCenter = CGPointMake(application.size.width / 2, application.size.height / 2);
    const CGRect contentBounds = contentView_ ? contentView_->bounds() : CGRectZero;
    layout.webViewFrame = frameOfSize(orientedSize(application.size, orientation), contentBounds);
    layout.transform = transformForOrientation(orientation);
    return layout;
}

void AKWebAppViewController::composeTransparentInterstitialViewsForPresentation() {
    const auto root = view();
    const auto clear = CGColorCreateSRGB(0, 0, 0, 0);
    root->setBackgroundColor(clear);
    webView_->setBackgroundColor(clear);
    webView_->setOpaque(false);
    root->setFrame(AKDevice::currentDevice()->standardizedApplicationFrame());

    const CGRect screen = AKDevice::currentDevice()->standardizedScreenBounds();
    const CGFloat side = std::max(screen.size.width, screen.size.height);
    contentView_ = std::make_shared<UIView>(frameOfSize(CGSizeMake(side, side), root->bounds()));
    contentView_->setBackgroundColor(clear);
    contentView_->setOpaque(false);

    const auto layout = transparentLayout();
    webView_->setFrame(layout.webViewFrame);
    webView_->setHidden(false);
    contentView_->addSubview(webView_);
    contentView_->addSubview(closeButton_);
    root->addSubview(contentView_);
    contentView_->setTransform(layout.transform);
    webView_->forceRotateToOrientation(statusBarOrientation());

    stopObservingStatusBarFrame();
    std::weak_ptr<AKWebAppViewController> weak = self<AKWebAppViewController>();
    statusBarFrameObserver_ = NSNotificationCenter::defaultCenter()->addObserverForName(
        UIApplicationDidChangeStatusBarFrameNotification, nullptr, nullptr, [weak](const NSNotification&) {
            if (const auto me = weak.lock()) me->transparentInterstitialOrientationChanged();
        });
}

void AKWebAppViewController::stopObservingStatusBarFrame() {
    if (!statusBarFrameObserver_) return;
    NSNotificationCenter::defaultCenter()->removeObserver(statusBarFrameObserver_.get());
    statusBarFrameObserver_.reset();
}

void AKWebAppViewController::animateTransparentInterstitialPresentation() {
    if (!contentView_) return;
    const CGRect application = AKDevice::currentDevice()->standardizedApplicationFrame();
    CGFloat dx = 0, dy = 0;
    switch (statusBarOrientation()) {
    case UIInterfaceOrientationPortraitUpsideDown: dy = -application.size.height; break;
    case UIInterfaceOrientationLandscapeLeft: dx = -application.size.width; break;
    case UIInterfaceOrientationLandscapeRight: dx = application.size.width; break;
    default: dy = application.size.height; break;
    }
    const CGPoint resting = contentView_->center();
    contentView_->setCenter(CGPointMake(resting.x + dx, resting.y + dy));
    const auto content = contentView_;
    UIView::animateWithDuration(kSlideDuration, [content, resting] { content->setCenter(resting); });
}

void AKWebAppViewController::transparentInterstitialOrientationChanged() { updateTransparentInterstitialOrientation(); }

void AKWebAppViewController::updateTransparentInterstitialOrientation() {
    if (!contentView_ || !webView_) return;
    const auto layout = transparentLayout();
    const CGRect closeFrame = closeButtonFrameForContentFrame(layout.webViewFrame);
    const auto root = view();
    UIView::animateWithDuration(kSlideDuration, [&] {
        root->setFrame(layout.viewFrame);
        contentView_->setCenter(layout.contentCenter);
        webView_->setFrame(layout.webViewFrame);
        closeButton_->setFrame(closeFrame);
        contentView_->setTransform(layout.transform);
    });
    webView_->didRotateToOrientation(statusBarOrientation());
}

void AKWebAppViewController::hideStatusBar() {
    if (!transparentInterstitial_) AKViewController::hideStatusBar();
}

void AKWebAppViewController::restoreStatusBar() {
    if (!transparentInterstitial_) AKViewController::restoreStatusBar();
}
