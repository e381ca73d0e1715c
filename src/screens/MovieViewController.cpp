#include "screens/MovieViewController.h"

#include "core/AppDelegate.h"
#include "platform/foundation/NSString.h"
#include "platform/uikit/UIApplication.h"
#include "platform/uikit/UINavigationBar.h"
#include "platform/uikit/UINavigationController.h"
#include "platform/uikit/UIStatusBarOrientation.h"
#include "platform/uikit/UISystemVersion.h"
#include "platform/uikit/UIWindow.h"
#include "screens/GridLayout.h"
#include "screens/ScreenStyle.h"
#include "screens/ServerConfiguration.h"
#include "screens/SplashViewController.h"  // kRequireUpdateAlertTag, the update alert's tag
#include "ui/progresshud/LOProgressHUD.h"

void MovieViewController::viewDidLoad() {
    BrowseGridController::viewDidLoad();
    configurationView();
    if (auto navigation = navigationController()) {
        navigation->setNavigationBarHidden(true);
        navigation->navigationBar()->setTintColor(screenColor()->CGColor());
    }
    UIApplication::sharedApplication()->setStatusBarStyle(UIStatusBarStyleLightContent, true);
}

void MovieViewController::configurationView() {
    applyScreenColours();
    pinGridWidthOnPhones();
    prepareRecordsAndCells();
    readSortAndGenre();
    configurationOverlay_ = LOProgressHUD::showHUDAddedTo(view(), true);
    requestConfiguration();
    installPullAndInfiniteScrolling();
}

void MovieViewController::viewWillAppear(bool animated) {
    BrowseGridController::viewWillAppear(animated);
    setuplayoutCollectionView();
    startObservingRefresh();
}

void MovieViewController::viewWillDisappear(bool animated) {
    BrowseGridController::viewWillDisappear(animated);
    stopObservingRefresh();
}

// The server configuration.

void MovieViewController::requestConfiguration() {
    auto weak = weakSelf<MovieViewController>();
    NLRestClient::sharedClient()->getConfigVersionSuccess(
        [weak](const Value& configuration) {
            if (auto screen = weak.lock()) screen->configurationArrived(configuration);
        },
        [weak](const NSErrorPtr&) {
            if (auto screen = weak.lock()) screen->configurationFailed();
        });
}

void MovieViewController::configurationArrived(const Value& configuration) {
    auto application = AppDelegate::shared();
    if (application) application->setDefaultInfo(configuration);
    // A failure to cache is logged there; the configuration still applies to this run.
    (void)cacheConfiguration(configuration);
    if (requiredUpdateLink(configuration, bundleVersion())) showRequireUpdateAlert();
    configurationSettled();
}

void MovieViewController::configurationFailed() {
    if (auto application = AppDelegate::shared()) application->setDefaultInfo(cachedConfiguration());
    configurationSettled();
}

void MovieViewController::configurationSettled() {
    if (auto overlay = configurationOverlay_.lock()) overlay->hide(true);
    configurationOverlay_.reset();
    setupUIConfig();
}

void MovieViewController::setupUIConfig() {
    sizeBannerArea();
    auto application = AppDelegate::shared();
    if (application && application->checkShowAdvertising()) showBannerView();
    getListMovies();
}

void MovieViewController::showRequireUpdateAlert() {
    auto alert = UIAlertView::initWithTitle(
        "Update Required",
        "The version of Quorvane you are using is no longer supported.  Do you want download the latest version to "
        "access all new features!",
        weakSelf<MovieViewController>(), std::nullopt, {"Cancel", "Update"});
    alert->setTag(kRequireUpdateAlertTag);
    alert->show();
}

void MovieViewController::clickedButtonAtIndex(UIAlertView& alertView, long buttonIndex) {
    if (alertView.tag() != kRequireUpdateAlertTag || buttonIndex != 1) return;
    auto application = AppDelegate::shared();
    const Value link = application ? application->defaultInfo()["AppLink"] : Value();
    if (const std::string* text = link.string()) UIApplication::sharedApplication()->openURL(*text);
}

void MovieViewController::sendListRequest(const GridPaging::Ticket& ticket, NLRestClient::Success success,
                                          NLRestClient::Failure failure) {
    NLRestClient::sharedClient()->getListMoviesWithType(moviesType(), moviesGenres(), ticket.page, std::move(success),
                                                        std::move(failure));
}

// The outside tap.

void MovieViewController::tapBehindDetected(UIGestureRecognizer& sender) {
    if (sender.state() != UIGestureRecognizerStateEnded) return;
    auto navigation = navigationController();
    if (!navigation) return;
    CGPoint location = sender.locationInView(nullptr);
    const UIInterfaceOrientation orientation = UIApplication::sharedApplication()->statusBarOrientation();
    if (isOperatingSystemAtLeastVersion({8, 0, 0}) && isLandscapeOrientation(orientation))
        location = CGPointMake(location.y, location.x);
    auto presented = navigation->presentedViewController();
    if (!presented) return;
    auto presentedView = presented->view();
    const CGPoint inPresented = presentedView->convertPointFromView(location, navigation->view()->window().get());
    if (presentedView->pointInside(inPresented, nullptr)) return;
    if (auto window = navigation->view()->window()) window->removeGestureRecognizer(sender.self<UIGestureRecognizer>());
    navigation->dismissViewControllerAnimated(true);
}
