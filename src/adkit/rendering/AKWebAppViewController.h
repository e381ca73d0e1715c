#pragma once
// Shows ad HTML full screen: an interstitial's rendered web view, a rich-media
// ad expanded out of its banner, or a web app an ad opens by URL or HTML. An
// AKViewController that adds a close button (or the ad's own custom close),
// rotation handling for rich-media ads, the page events "expanding",
// "collapsed" and "onhide", and a snapshot left in the banner's place while
// the banner's web view is away.
//
// Call order: make(web view or null) → load / loadHTML (kept until the view
// is configured when there is no web view yet) → presentFromViewController →
// viewWillAppear (the first call configures the view: the delegate, waiting
// content, "expanding" for a moved web view, the slide-in of a transparent
// interstitial) → viewDidAppear ("onshow" once the page has loaded) →
// relinquishScreen ("onhide"; a moved web view returns to its saved place) →
// viewDidDisappear ("collapsed" when collapsing) → destruction.
//
// Transparent interstitial (transparentInterstitial set before presentation):
// the controller's view is laid over the key window instead of presented,
// with a transparent background; a square content view, as large as the
// screen's longer side, holds the web view and the close button, turned by
// hand with the status bar (UIApplicationDidChangeStatusBarFrameNotification)
// and slid in from the screen edge over 0.4 s; closing fades the web view out
// over 0.2 s and then takes the view off the window. The appearance calls
// reach it as for a presented view. The status bar is left as it is.
//
// Close button: "Close Advertisement"; rich-media ads 50 x 50 in the top right
// corner of the web view, other ads 32 x 32 in the top left; with custom
// close a rich-media ad keeps an invisible button there, any other ad none.
//
// Rich-media script: a controller that made its own web view holds one count
// of the script interceptor (AKMRAIDInterceptor) until it is destroyed, so the
// second page of an expanded ad gets the expanded-banner script although the
// slot's load, which held the count before, has ended.
//
// Main thread only.
#include <memory>
#include <optional>
#include <string>

#include "adkit/rendering/AKOpener.h"
#include "adkit/rendering/AKViewController.h"
#include "platform/graphics/CGAffineTransform.h"

class AKSlot;
class AKWebView;
class AKWebAppWebViewDelegate;
class UIButton;
class UIImageView;
class UIView;

class AKWebAppViewController : public AKViewController, public AKOpenerDelegate {
public:
    static constexpr double kSlideDuration = 0.4;
    static constexpr double kFadeDuration = 0.2;

    // initWithWebView: a null web view makes a new one (of the view's bounds,
    // this controller its viewController); a given one makes the controller
    // expandable (it moves the web view in and back).
    static std::shared_ptr<AKWebAppViewController> make(const std::shared_ptr<AKWebView>& webView = nullptr);
    // Only the bare fields: make() completes the creation.
    AKWebAppViewController() = default;
    ~AKWebAppViewController() override;

    // load: and loadHTML:baseURL: (null does nothing).
    void load(const std::optional<std::string>& URL);
    void loadHTML(const std::optional<std::string>& HTML, const std::optional<std::string>& baseURL);

    bool useCustomClose() const { return useCustomClose_; }
    virtual void setUseCustomClose(bool use);
    bool transparentInterstitial() const { return transparentInterstitial_; }
    virtual void setTransparentInterstitial(bool transparent) { transparentInterstitial_ = transparent; }
    // Laid over the key window now (displayingAsTransparentInterstitial).
    virtual bool isTransparentInterstitial() const { return displayingAsTransparentInterstitial_; }
    bool isExpandable() const { return isExpandable_; }
    bool isCollapsing() const { return isCollapsing_; }
    bool viewHasAppeared() const { return viewHasAppeared_; }
    const std::optional<std::string>& URLToLoad() const { return URLToLoad_; }
    const std::optional<std::string>& HTMLToLoad() const { return HTMLToLoad_; }
    virtual std::shared_ptr<UIViewController> hostViewController() const { return hostViewController_; }
    virtual std::shared_ptr<AKWebView> webView() const { return webView_; }
    // The interstitial that owns this controller (held weakly) and its slot.
    void setInterstitial(const std::shared_ptr<NSObject>& interstitial, const std::shared_ptr<AKSlot>& itsSlot);
    std::shared_ptr<NSObject> interstitial() const { return interstitial_.lock(); }
    virtual std::shared_ptr<AKSlot> interstitialSlot() const { return interstitialSlot_.lock(); }
    const std::shared_ptr<UIImageView>& renderedBanner() const { return renderedBanner_; }
    const std::shared_ptr<AKWebAppWebViewDelegate>& webViewDelegate() const { return webViewDelegate_; }
    const std::shared_ptr<UIButton>& closeButton() const { return closeButton_; }
    const std::shared_ptr<UIView>& contentView() const { return contentView_; }
    // fileAccessAllowed of the web view's current delegate.
    bool isFileAccessAllowed() const;
    void setFileAccessAllowed(bool allowed);

    void updateCloseButtonVisibilityAndImage();
    CGRect closeButtonFrameForContentFrame(CGRect contentFrame) const;

    // AKViewController and platform overrides.
    void relinquishScreen() override;
    void viewWillAppear(bool animated) override;
    void viewWillDisappear(bool animated) override;
    void viewDidAppear(bool animated) override;
    void viewDidDisappear(bool animated) override;
    void willRotateToInterfaceOrientation(UIInterfaceOrientation orientation, double duration) override;
    void didRotateFromInterfaceOrientation(UIInterfaceOrientation fromOrientation) override;

    // AKOpenerDelegate: an opening inside the application closes a transparent interstitial.
    void didOpenInApplication() override;
    void didLeaveApplication() override {}

    // Transparent interstitial (AKWebAppViewControllerTransparentInterstitial.cpp).
    void composeTransparentInterstitialViewsForPresentation();
    void animateTransparentInterstitialPresentation();
    void updateTransparentInterstitialOrientation();
    void transparentInterstitialOrientationChanged();
    static CGRect frameOfSize(CGSize size, CGRect frame);  // frameOfSize:centeredInFrame:
    static CGAffineTransform transformForOrientation(UIInterfaceOrientation orientation);

protected:
    void presentFrom(const std::shared_ptr<UIViewController>& presenter) override;
    void dismiss() override;
    void hideStatusBar() override;
    void restoreStatusBar() override;
    bool shouldDismissOnAppClose() override;
    // A transparent interstitial is laid over the window, whatever the presenter shows.
    bool canPresentFrom(const UIViewController& presenter) const override;

private:
    void configureView();
    void moveExpandedWebViewIn();
    void installWebViewDelegate();
    void loadWaitingContent();
    // The transparent interstitial's layout for the status bar's orientation.
    struct TransparentLayout {
        CGRect viewFrame;
        CGPoint contentCenter;
        CGRect webViewFrame;
        CGAffineTransform transform;
    };
    TransparentLayout transparentLayout() const;
    void stopObservingStatusBarFrame();
    void removeTransparentOverlay();
    bool isRichMedia() const;

    bool viewHasAppeared_ = false;
    std::optional<std::string> URLToLoad_;
    std::optional<std::string> HTMLToLoad_;
    std::optional<std::string> HTMLBaseURLToLoad_;
    bool useCustomClose_ = false;
    bool transparentInterstitial_ = false;
    bool isExpandable_ = false;
    bool isCollapsing_ = false;
    bool displayingAsTransparentInterstitial_ = false;
    std::shared_ptr<AKWebView> webView_;
    std::shared_ptr<UIViewController> hostViewController_;
    std::weak_ptr<NSObject> interstitial_;
    std::weak_ptr<AKSlot> interstitialSlot_;
    std::shared_ptr<UIImageView> renderedBanner_;
    std::shared_ptr<AKWebAppWebViewDelegate> webViewDelegate_;
    std::shared_ptr<UIButton> closeButton_;
    std::shared_ptr<UIView> contentView_;
    std::shared_ptr<NSObject> statusBarFrameObserver_;
    bool holdsInterceptorCount_ = false;
};
