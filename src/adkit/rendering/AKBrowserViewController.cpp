#include "adkit/rendering/AKBrowserViewController.h"

#include <utility>

#include "adkit/foundation/AKDevice.h"
#include "adkit/rendering/AKBrowserWebView.h"
#include "adkit/rendering/AKBrowserWebViewDelegate.h"
#include "adkit/rendering/AKIntrinsicImages.h"
#include "adkit/rendering/AKOpener.h"
#include "adkit/rendering/AKSlot.h"
#include "platform/base/ThreadAssertions.h"
#include "platform/foundation/NSURL.h"
#include "platform/net/NSURLRequest.h"
#include "platform/uikit/UIActivityIndicatorView.h"
#include "platform/uikit/UIApplication.h"
#include "platform/uikit/UIBarButtonItem.h"
#include "platform/uikit/UIDevice.h"
#include "platform/uikit/UIToolbar.h"

namespace {
constexpr CGFloat kButtonWidth = 27;
constexpr CGFloat kSpinnerSide = 20;
}  // namespace

std::shared_ptr<AKBrowserViewController> AKBrowserViewController::make() {
    return std::make_shared<AKBrowserViewController>();
}

AKBrowserViewController::~AKBrowserViewController() {
    if (webView_) webView_->setDelegate({});
}

// ---- Loading ----------------------------------------------------------------------------------

void AKBrowserViewController::load(const std::optional<std::string>& URL, const std::optional<std::string>& referringURL) {
    QV_ASSERT_MAIN_THREAD();
    if (!URL) return;
    if (!webView_) {
        URLToLoad_ = URL;
        referringURLToLoad_ = referringURL;
        return;
    }
    auto request = NSMutableURLRequest::requestWithURL(*URL);
    if (referringURL) {
        // The referring page's host alone: the landing page learns where the ad ran, not its URL.
        const NSURLPtr referrer = NSURL::URLWithString(*referringURL);
        if (const auto host = referrer ? referrer->host() : std::nullopt; host && !host->empty())
            request->setValue(*host, "Referer");
    }
    webView_->loadRequest(request);
}

// ---- The view ---------------------------------------------------------------------------------

void AKBrowserViewController::viewDidLoad() {
    AKViewController::viewDidLoad();
    view()->setBackgroundColor(CGColorCreateSRGB(1, 1, 1, 1));
}

void AKBrowserViewController::viewWillAppear(bool animated) {
    AKViewController::viewWillAppear(animated);
    if (!webView_) buildView();
}

void AKBrowserViewController::buildView() {
    const auto root = view();
    const CGRect bounds = root->bounds();
    CGFloat toolbarHeight = kToolbarHeight;
    UIViewAutoresizing mask = UIViewAutoresizingFlexibleWidth | UIViewAutoresizingFlexibleHeight;
    if (UIDevice::currentDevice()->userInterfaceIdiom() != UIUserInterfaceIdiomPad &&
        AKDevice::currentDevice()->isOrientationLandscape()) {
        toolbarHeight = kLandscapePhoneToolbarHeight;
        mask |= UIViewAutoresizingFlexibleBottomMargin;
    }
    // One point taller than the room above the toolbar: the toolbar reaches a point below the view.
    const CGFloat webViewHeight = bounds.size.height - toolbarHeight + 1;
    auto webView = AKBrowserWebView::make(CGRectMake(0, 0, bounds.size.width, webViewHeight));
    webView->setViewController(self<AKBrowserViewController>());
    webView->setShowDebug(false);
    webView->setAutoresizingMask(mask);
    root->addSubview(webView);
    webView->setDataDetectorTypes(UIDataDetectorTypeAll);
    webView_ = webView;
    webViewDelegate_ = std::make_shared<AKBrowserWebViewDelegate>();
    webView_->setDelegate(webViewDelegate_);
    if (URLToLoad_) {
        const auto URL = std::exchange(URLToLoad_, std::nullopt);
        load(URL, std::exchange(referringURLToLoad_, std::nullopt));
    }
    toolbar_ = std::make_shared<UIToolbar>(CGRectMake(0, webViewHeight, bounds.size.width, toolbarHeight));
    toolbar_->setAutoresizingMask(UIViewAutoresizingFlexibleWidth | UIViewAutoresizingFlexibleTopMargin |
                                  UIViewAutoresizingFlexibleBottomMargin);
    toolbar_->setAutoresizesSubviews(true);
    toolbar_->setTintColor(CGColorCreateSRGB(0, 0, 0, 1));
    root->addSubview(toolbar_);
    createToolbarButtons();
    refreshToolbar();
}

void AKBrowserViewController::didRotateFromInterfaceOrientation(UIInterfaceOrientation fromOrientation) {
    AKViewController::didRotateFromInterfaceOrientation(fromOrientation);
    if (webView_) webView_->didRotateToOrientation(UIApplication::sharedApplication()->statusBarOrientation());
}

// ---- The toolbar ------------------------------------------------------------------------------

std::function<void(UIBarButtonItem&)> AKBrowserViewController::itemAction(ButtonAction action) {
    return [weak = std::weak_ptr(self<AKBrowserViewController>()), action](UIBarButtonItem&) {
        if (const auto me = weak.lock()) ((*me).*action)();
    };
}

std::shared_ptr<UIBarButtonItem> AKBrowserViewController::buttonWithImage(const std::shared_ptr<UIImage>& image,
                                                                          const std::string& name, std::int64_t width,
                                                                          bool enabled, ButtonAction action) {
    auto item = UIBarButtonItem::initWithImage(image, action ? itemAction(action) : nullptr);
    item->setStyle(UIBarButtonItemStylePlain);
    item->setWidth(static_cast<CGFloat>(width));
    item->setEnabled(enabled);
    item->setIsAccessibilityElement(true);
    item->setAccessibilityLabel(name);
    return item;
}

void AKBrowserViewController::createToolbarButtons() {
    const auto images = AKIntrinsicImages::sharedInstance();
    flexibleSpaceButton_ = UIBarButtonItem::initWithBarButtonSystemItem(UIBarButtonSystemItemFlexibleSpace);
    backButton_ = buttonWithImage(images->browserBackButton(), "Back", kButtonWidth, false, &AKBrowserViewController::back);
    forwardButton_ =
        buttonWithImage(images->browserForwardButton(), "Forward", kButtonWidth, false, &AKBrowserViewController::forward);

    spinner_ = std::make_shared<UIActivityIndicatorView>(UIActivityIndicatorViewStyleWhite);
    spinner_->setFrame(CGRectMake(0, 0, kSpinnerSide, kSpinnerSide));
    spinner_->setAutoresizingMask(UIViewAutoresizingFlexibleLeftMargin | UIViewAutoresizingFlexibleRightMargin);
    spinnerContainingButton_ = UIBarButtonItem::initWithCustomView(spinner_);
    spinnerContainingButton_->setWidth(kSpinnerSide);
    spinnerContainingButton_->setIsAccessibilityElement(true);
    spinnerContainingButton_->setAccessibilityLabel("Spinner");
    spinner_->setIsAccessibilityElement(true);
    spinner_->setAccessibilityLabel("Spinner");

    const auto systemButton = [this](UIBarButtonSystemItem kind, const char* name, ButtonAction action, bool enabled) {
        auto item = UIBarButtonItem::initWithBarButtonSystemItem(kind, itemAction(action));
        item->setEnabled(enabled);
        item->setIsAccessibilityElement(true);
        item->setAccessibilityLabel(name);
        return item;
    };
    reloadButton_ = systemButton(UIBarButtonSystemItemRefresh, "Reload", &AKBrowserViewController::reload, true);
    reloadButton_->setWidth(kButtonWidth);
    safariButton_ = systemButton(UIBarButtonSystemItemAction, "View in Safari", &AKBrowserViewController::openInSafari, false);
    safariButton_->setWidth(kButtonWidth);
    doneButton_ = systemButton(UIBarButtonSystemItemDone, "Done", &AKBrowserViewController::relinquishScreen, true);
    doneButton_->setStyle(UIBarButtonItemStyleDone);
}

void AKBrowserViewController::refreshToolbar() {
    QV_ASSERT_MAIN_THREAD();
    if (!toolbar_ || !webView_) return;
    backButton_->setEnabled(webView_->canGoBack());
    forwardButton_->setEnabled(webView_->canGoForward());
    const bool loading = webView_->isLoading();
    const auto& middle = loading ? spinnerContainingButton_ : reloadButton_;
    if (loading) spinner_->startAnimating();
    else spinner_->stopAnimating();
    safariButton_->setEnabled(!loading);
    const auto& space = flexibleSpaceButton_;
    toolbar_->setItems({backButton_, space, forwardButton_, space, middle, space, safariButton_, space, doneButton_});
}

// ---- Actions ----------------------------------------------------------------------------------

void AKBrowserViewController::back() {
    if (webView_ && webView_->canGoBack()) webView_->goBack();
}

void AKBrowserViewController::forward() {
    if (webView_ && webView_->canGoForward()) webView_->goForward();
}

void AKBrowserViewController::reload() {
    if (webView_) webView_->reload();
}

void AKBrowserViewController::stop() {
    if (webView_) webView_->stopLoading();
}

void AKBrowserViewController::openInSafari() {
    QV_ASSERT_MAIN_THREAD();
    const auto request = webView_ ? webView_->request() : nullptr;
    // No current page: nothing is opened, so nothing is counted.
    if (!request || request->URL().empty()) return;
    const auto me = self<AKBrowserViewController>();  // the opening may close this controller
    auto opener = std::make_shared<AKOpener>();
    opener->setViewController(me);
    opener->setSlot(slot());
    opener->openApp(request->URL());
    if (!opener->didOpenAnotherApplication()) return;  // the URL did not open: not counted
    if (const auto openedBy = openedBy_.lock()) openedBy->setDidOpenAnotherApplication(true);
    if (const auto slot = this->slot()) slot->setAdStatistic("pcbo", Value(true), false);
}
