// The opener's web apps and rich-media expansion: a web-app controller built
// around a new web view (a URL or HTML to show) or around the ad's own web view
// (an expanded rich-media ad), presented from the opener's view controller. A
// presentation the view controller refuses (it already shows another, as when
// an ad asks twice in one turn) loads nothing and reports nothing. A web app's
// page loads once its controller is on the way, behind its own delegate.
#include "adkit/rendering/AKOpener.h"
#include "adkit/rendering/AKViewController.h"
#include "adkit/rendering/AKWebAppViewController.h"
#include "adkit/rendering/AKWebView.h"
#include "platform/base/ThreadAssertions.h"

std::shared_ptr<AKWebAppViewController> AKOpener::overlayWithWebView(const std::shared_ptr<AKWebView>& webView,
                                                                    AKSupportedOrientations orientations,
                                                                    bool usingCustomClose) const {
    auto controller = AKWebAppViewController::make(webView);
    controller->setSupportedOrientations(orientations);
    controller->setSlot(slot());
    controller->setUseCustomClose(usingCustomClose);
    return controller;
}

void AKOpener::openWebApp(const std::string& URL, AKSupportedOrientations orientations, bool usingCustomClose) {
    QV_ASSERT_MAIN_THREAD();
    if (!shouldPerformOpenAction() || !checkStateWithParamter(!URL.empty())) return;
    const auto keepAlive = self<AKOpener>();  // presenting may let the opener's owner go
    const auto controller = overlayWithWebView(nullptr, orientations, usingCustomClose);
    controller->presentFromViewController(viewController());
    if (!controller->isPresented()) return;  // refused: nothing loads, nothing opened
    controller->load(URL);
    didOpenInApp();
}

void AKOpener::openWebAppWithHTML(const std::string& html, AKSupportedOrientations orientations,
                                  bool usingCustomClose) {
    QV_ASSERT_MAIN_THREAD();
    if (!shouldPerformOpenAction() || !checkStateWithParamter(!html.empty())) return;
    const auto keepAlive = self<AKOpener>();
    const auto controller = overlayWithWebView(nullptr, orientations, usingCustomClose);
    controller->presentFromViewController(viewController());
    if (!controller->isPresented()) return;
    controller->loadHTML(html, std::nullopt);
    didOpenInApp();
}

void AKOpener::expandToWebAppWithSupportedOrientations(AKSupportedOrientations orientations, bool usingCustomClose) {
    QV_ASSERT_MAIN_THREAD();
    const auto ownWebView = webView();
    if (!shouldPerformOpenAction() || !checkStateWithParamter(ownWebView != nullptr)) return;
    const auto presenter = viewController();
    if (std::dynamic_pointer_cast<AKViewController>(presenter)) return;  // already full screen: never expands
    const auto keepAlive = self<AKOpener>();
    const auto controller = overlayWithWebView(ownWebView, orientations, usingCustomClose);
    controller->presentFromViewController(presenter);
    if (controller->isPresented()) didOpenInApp();
}
