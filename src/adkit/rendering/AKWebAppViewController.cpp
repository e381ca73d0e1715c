#include "adkit/rendering/AKWebAppViewController.h"

#include "adkit/foundation/AKViewUtilities.h"
#include "adkit/rendering/AKIntrinsicImages.h"
#include "adkit/rendering/AKMRAIDInterceptor.h"
#include "adkit/rendering/AKSlot.h"
#include "adkit/rendering/AKWebAppWebViewDelegate.h"
#include "adkit/rendering/AKWebView.h"
#include "platform/base/ThreadAssertions.h"
#include "platform/net/NSURLRequest.h"
#include "platform/uikit/UIButton.h"
#include "platform/uikit/UIImageView.h"
#include "platform/uikit/UIWindow.h"

namespace {
constexpr CGFloat kRichMediaCloseSide = 50;
constexpr CGFloat kCloseSide = 32;

UIInterfaceOrientation interfaceOrientation() { return UIApplication::sharedApplication()->statusBarOrientation(); }
}  // namespace

// ---- Creation and content -------------------------------------------------------------------

std::shared_ptr<AKWebAppViewController> AKWebAppViewController::make(const std::shared_ptr<AKWebView>& webView) {
    auto controller = std::make_shared<AKWebAppViewController>();
    if (webView) {
        controller->webView_ = webView;
        controller->isExpandable_ = true;
    } else {
        controller->webView_ = AKWebView::make(controller->view()->bounds());
        controller->webView_->setViewController(controller);
        // Its own page may be a rich-media ad's second page, asking for its
        // script long after the slot's load (and its count) ended.
        AKMRAIDInterceptor::enableCanInitWithRequest();
        controller->holdsInterceptorCount_ = true;
    }
    auto button = std::make_shared<UIButton>();
    button->setShowsTouchWhenHighlighted(true);
    button->setAccessibilityLabel("Close Advertisement");
    button->setAccessibilityIdentifier("adClose");  // how the device screen finds it
    std::weak_ptr<AKWebAppViewController> weak = controller;
    button->addTarget(
        controller,
        [weak](UIControl&, UIEvent*) {
            if (const auto me = weak.lock()) me->relinquishScreen();
        },
        UIControlEventTouchUpInside);
    controller->closeButton_ = std::move(button);
    return controller;
}

AKWebAppViewController::~AKWebAppViewController() {
    stopObservingStatusBarFrame();
    if (holdsInterceptorCount_) AKMRAIDInterceptor::disableCanInitWithRequest();
    if (webView_) {
        // A web view still pointing at this controller points at nothing now.
        if (!webView_->viewController()) webView_->setViewController(nullptr);
        if (webViewDelegate_ && webView_->delegate() == webViewDelegate_) webView_->setDelegate({});
    }
    if (webViewDelegate_ && webViewDelegate_->opener()) webViewDelegate_->opener()->setSlot(nullptr);
    if (renderedBanner_) renderedBanner_->removeFromSuperview();
}

void AKWebAppViewController::load(const std::optional<std::string>& URL) {
    if (!URL) return;
    if (webView_) {
        webView_->loadRequest(NSURLRequest::requestWithURL(*URL));
    } else {
        URLToLoad_ = URL;
    }
}

void AKWebAppViewController::loadHTML(const std::optional<std::string>& HTML, const std::optional<std::string>& baseURL) {
    if (!HTML) return;
    if (webView_) {
        webView_->loadHTMLString(*HTML, baseURL.value_or(""));
    } else {
        HTMLToLoad_ = HTML;
        HTMLBaseURLToLoad_ = baseURL;
    }
}

void AKWebAppViewController::setInterstitial(const std::shared_ptr<NSObject>& interstitial,
                                             const std::shared_ptr<AKSlot>& itsSlot) {
    interstitial_ = interstitial;
    interstitialSlot_ = itsSlot;
}

bool AKWebAppViewController::isFileAccessAllowed() const {
    const auto current = webView_ ? std::dynamic_pointer_cast<AKWebViewDelegate>(webView_->delegate()) : nullptr;
    return current && current->fileAccessAllowed();
}

void AKWebAppViewController::setFileAccessAllowed(bool allowed) {
    const auto current = webView_ ? std::dynamic_pointer_cast<AKWebViewDelegate>(webView_->delegate()) : nullptr;
    if (current) current->setFileAccessAllowed(allowed);
}

bool AKWebAppViewController::isRichMedia() const {
    const auto theSlot = slot();
    return theSlot && theSlot->isMRAIDAd();
}

// ---- Close button ---------------------------------------------------------------------------

void AKWebAppViewController::setUseCustomClose(bool use) {
    if (use == useCustomClose_) return;
    useCustomClose_ = use;
    updateCloseButtonVisibilityAndImage();
}

void AKWebAppViewController::updateCloseButtonVisibilityAndImage() {
    if (!closeButton_) return;
    UIImagePtr image;
    if (useCustomClose_) {
        if (!isRichMedia()) {
            closeButton_->removeFromSuperview();  // the ad alone closes itself
            return;
        }
        image = AKIntrinsicImages::sharedInstance()->transparentImage();
    } else {
        image = AKIntrinsicImages::sharedInstance()->closeButton();
    }
    closeButton_->setImage(image, UIControlStateNormal);
    if (!closeButton_->superview()) view()->addSubview(closeButton_);
}

CGRect AKWebAppViewController::closeButtonFrameForContentFrame(CGRect contentFrame) const {
    if (isRichMedia())
        return CGRectMake(CGRectGetMaxX(contentFrame) - kRichMediaCloseSide, CGRectGetMinY(contentFrame),
                          kRichMediaCloseSide, kRichMediaCloseSide);
    return CGRectMake(CGRectGetMinX(contentFrame), CGRectGetMinY(contentFrame), kCloseSide, kCloseSide);
}

// ---- Appearance -----------------------------------------------------------------------------

void AKWebAppViewController::viewWillAppear(bool animated) {
    AKViewController::viewWillAppear(animated);
    if (!viewHasAppeared_) {
        viewHasAppeared_ = true;
        configureView();
    }
    if (const auto theSlot = slot()) theSlot->interstitialViewWillAppear();
}

void AKWebAppViewController::viewWillDisappear(bool animated) {
    AKViewController::viewWillDisappear(animated);
    if (const auto theSlot = slot()) theSlot->interstitialViewWillDisappear();
}

void AKWebAppViewController::configureView() {
    if (!webView_) return;
    if (isExpandable_) moveExpandedWebViewIn();
    if (displayingAsTransparentInterstitial_) {
        composeTransparentInterstitialViewsForPresentation();
    } else {
        webView_->setFrame(view()->bounds());
        webView_->setHidden(false);
        view()->addSubview(webView_);
    }
    updateCloseButtonVisibilityAndImage();
    closeButton_->setFrame(closeButtonFrameForContentFrame(webView_->frame()));
    // A button added before the web view (a custom-close change) stays on top of it.
    if (const auto holder = closeButton_->superview()) holder->bringSubviewToFront(closeButton_);
    installWebViewDelegate();
    loadWaitingContent();
    if (displayingAsTransparentInterstitial_) animateTransparentInterstitialPresentation();
}

// The web view leaves its banner (or the interstitial's slot) for this controller,
// a snapshot standing in its place.
void AKWebAppViewController::moveExpandedWebViewIn() {
    webView_->saveState();
    webView_->setViewController(self<AKWebAppViewController>());
    renderedBanner_ = std::make_shared<UIImageView>(webView_->frame());
    renderedBanner_->setImage(ak_render(*webView_));
    if (const auto parentView = webView_->superview()) parentView->addSubview(renderedBanner_);
    webView_->removeFromSuperview();
    webView_->reset();
    webView_->notifyOfSdkEvent("expanding");
}

void AKWebAppViewController::installWebViewDelegate() {
    auto me = self<AKWebAppViewController>();
    auto delegate = std::make_shared<AKWebAppWebViewDelegate>(me);
    delegate->opener()->setSlot(slot());
    if (displayingAsTransparentInterstitial_) delegate->opener()->setDelegate(me);
    const auto previous = std::dynamic_pointer_cast<AKWebViewDelegate>(webView_->delegate());
    delegate->setFileAccessAllowed(previous && previous->fileAccessAllowed());
    webViewDelegate_ = delegate;
    webView_->setDelegate(webViewDelegate_);
}

void AKWebAppViewController::loadWaitingContent() {
    if (URLToLoad_) {
        webView_->loadRequest(NSURLRequest::requestWithURL(*URLToLoad_));
    } else if (HTMLToLoad_) {
        webView_->loadHTMLString(*HTMLToLoad_, HTMLBaseURLToLoad_.value_or(""));
    }
    URLToLoad_.reset();
    HTMLToLoad_.reset();
    HTMLBaseURLToLoad_.reset();
}

void AKWebAppViewController::viewDidAppear(bool animated) {
    AKViewController::viewDidAppear(animated);
    if (webView_) webView_->forceRotateToOrientation(interfaceOrientation());
    if (webViewDelegate_) webViewDelegate_->setPendingOnShow(true);
}

// ---- Presentation and dismissal ---------------------------------------------------------------

void AKWebAppViewController::presentFrom(const std::shared_ptr<UIViewController>& presenter) {
    hostViewController_ = presenter;
    if (!transparentInterstitial_) {
        AKViewController::presentFrom(presenter);
        return;
    }
    displayingAsTransparentInterstitial_ = true;
    const auto window = UIApplication::sharedApplication()->keyWindow();
    if (!window) return;  // nowhere to lay it: the safety call still makes it interactive
    window->addSubview(view());
    // Not presented by the platform: the appearance calls come from here.
    beginAppearanceTransition(true, false);
    endAppearanceTransition();
}

bool AKWebAppViewController::canPresentFrom(const UIViewController& presenter) const {
    return transparentInterstitial_ || AKViewController::canPresentFrom(presenter);
}

void AKWebAppViewController::relinquishScreen() {
    QV_ASSERT_MAIN_THREAD();
    if (!isPresented()) return;  // given back already: the page heard "onhide" then
    if (webView_) webView_->notifyOfSdkEvent("onhide");
    if (isExpandable_ && webView_) {
        isCollapsing_ = true;
        webView_->restoreState();
    }
    AKViewController::relinquishScreen();
}

void AKWebAppViewController::viewDidDisappear(bool animated) {
    AKViewController::viewDidDisappear(animated);
    if (isCollapsing_ && webView_) webView_->notifyOfSdkEvent("collapsed");
}

void AKWebAppViewController::dismiss() {
    hostViewController_.reset();
    if (!displayingAsTransparentInterstitial_) {
        AKViewController::dismiss();
        return;
    }
    displayingAsTransparentInterstitial_ = false;
    stopObservingStatusBarFrame();
    std::weak_ptr<AKWebAppViewController> weak = self<AKWebAppViewController>();
    UIView::animateWithDuration(
        kFadeDuration, [this] { webView_->setAlpha(0); },
        [weak](bool) {
            if (const auto me = weak.lock()) me->removeTransparentOverlay();
        });
}

void AKWebAppViewController::removeTransparentOverlay() {
    if (!view()->superview()) return;
    beginAppearanceTransition(false, false);
    view()->removeFromSuperview();
    endAppearanceTransition();
}

bool AKWebAppViewController::shouldDismissOnAppClose() {
    if (useCustomClose_) return true;
    const auto opener = webViewDelegate_ ? webViewDelegate_->opener() : nullptr;
    if (opener && (webViewDelegate_->hasLoadedAtLeastOnce() || isExpandable_) && opener->didOpenAnotherApplication()) {
        opener->setDidOpenAnotherApplication(false);  // back from the other application: stay, once
        return false;
    }
    return AKViewController::shouldDismissOnAppClose();
}

void AKWebAppViewController::didOpenInApplication() {
    // The whole sequence, so the notifications, slot events and idle timer pair up.
    if (displayingAsTransparentInterstitial_) relinquishScreen();
}

// ---- Rotation (rich-media ads) ----------------------------------------------------------------

void AKWebAppViewController::willRotateToInterfaceOrientation(UIInterfaceOrientation orientation, double duration) {
    AKViewController::willRotateToInterfaceOrientation(orientation, duration);
    if (!isRichMedia() || !closeButton_) return;
    UIView::animateWithDuration(kFadeDuration, [this] { closeButton_->setAlpha(0); });
}

void AKWebAppViewController::didRotateFromInterfaceOrientation(UIInterfaceOrientation fromOrientation) {
    AKViewController::didRotateFromInterfaceOrientation(fromOrientation);
    if (isRichMedia() && closeButton_ && webView_) {
        CGRect frame = closeButton_->frame();
        frame.origin.x = webView_->frame().size.width - kRichMediaCloseSide;
        closeButton_->setFrame(frame);
        UIView::animateWithDuration(kFadeDuration, [this] { closeButton_->setAlpha(1); });
    }
    if (webView_) webView_->didRotateToOrientation(interfaceOrientation());
}
