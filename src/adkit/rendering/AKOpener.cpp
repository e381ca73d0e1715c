#include "adkit/rendering/AKOpener.h"

#include "adkit/rendering/AKCorePage.h"
#include "adkit/rendering/AKNotificationCenter.h"
#include "adkit/rendering/AKSlot.h"
#include "adkit/rendering/AKWebView.h"
#include "platform/base/ThreadAssertions.h"
#include "platform/dispatch/NSOperation.h"
#include "platform/foundation/NSURL.h"
#include "platform/foundation/ProcessLifetime.h"
#include "platform/uikit/UIApplication.h"

namespace {
AKOpener::Factory& factorySlot() {
    static ProcessLifetime<AKOpener::Factory> factory;
    return *factory;
}
}  // namespace

std::shared_ptr<AKOpener> AKOpener::make() {
    QV_ASSERT_MAIN_THREAD();
    auto& factory = factorySlot();
    return factory ? factory() : std::make_shared<AKOpener>();
}

void AKOpener::setFactory(Factory factory) {
    QV_ASSERT_MAIN_THREAD();
    factorySlot() = std::move(factory);
}

// ---- The auto-click guard -------------------------------------------------------------------

bool AKOpener::shouldPerformOpenAction() {
    QV_ASSERT_MAIN_THREAD();
    if (!autoClickProtected_) return true;
    const auto webView = this->webView();
    if (webView && webView->touched()) return true;
    Value info = Value::dictionary();
    if (webView && webView->adDebugDialog()) info.setObject("debugDialog", Value(*webView->adDebugDialog()));
    if (!navigationURL_.empty()) info.setObject("navigationURL", Value(navigationURL_));
    AKNotificationCenter::postJSNotification("navigationBlocked", info, AKCorePage::activeWebView());
    return false;
}

// ---- Reports --------------------------------------------------------------------------------

void AKOpener::didOpen() {
    if (const auto slot = this->slot()) slot->pingClickURLs();
}

void AKOpener::didOpenInApp() {
    didOpen();
    if (const auto delegate = this->delegate()) delegate->didOpenInApplication();
}

void AKOpener::didOpenExternalApp() {
    didOpen();
    if (const auto delegate = this->delegate()) delegate->didLeaveApplication();
}

// ---- Actions --------------------------------------------------------------------------------

void AKOpener::openApp(const std::string& URL) {
    QV_ASSERT_MAIN_THREAD();
    if (!shouldPerformOpenAction()) return;  // consulted even when there is nothing to open
    if (!NSURL::URLWithString(URL)) return;
    // The reports may let the opener's owner go; the opener finishes this call.
    const auto keepAlive = self<AKOpener>();
    didOpenExternalApp();
    if (const auto slot = this->slot()) slot->adWillLeaveApplication();
    didOpenAnotherApplication_ = true;
    if (const auto slot = this->slot()) slot->willLeaveAppDueToClick();
    NSOperationQueue::mainQueue()->addOperationWithBlock([URL] {
        // A URL the platform cannot open is simply not opened: the reports above stand.
        (void)UIApplication::sharedApplication()->openURL(URL);
    });
}

void AKOpener::openWebAppWithSize(CGSize /*size*/, CGPoint /*offset*/) {
    QV_ASSERT_MAIN_THREAD();
    (void)shouldPerformOpenAction();  // the resize entry opens nothing either way
}
