// The slot's Viewability: measurement runs, the report and its transport to
// the run's measurement page, and the hooks of the banner, the interstitial
// and the application that take samples or start and stop the monitor.
#include "adkit/foundation/AKDevice.h"
#include "adkit/foundation/AKObjectAdditions.h"
#include "adkit/foundation/AKTiming.h"
#include "adkit/rendering/AKWebView.h"
#include "adkit/requests/AKAdSlot.h"
#include "adkit/requests/AKSDKCoreController.h"
#include "adkit/requests/AKSDKCoreWebView.h"
#include "adkit/requests/AKSlotServices.h"
#include "platform/base/ThreadAssertions.h"
#include "platform/uikit/UIApplication.h"
#include "platform/uikit/UIWindow.h"

namespace {
constexpr const char* kUpdateViewabilityFunction = "ADNET_updateViewability";
constexpr const char* kDoneReasonUnloaded = "u";

const char* flag(bool value) { return value ? "1" : "0"; }
}  // namespace

// ---- Runs ---------------------------------------------------------------------------------

bool AKAdSlot::canEnableViewabilityMonitoring() const {
    if (!ad_) return false;
    // An ad without a swipe header has no swipe configuration (AKAd), so only
    // ads that ask for measurement are measured.
    return !ad_->viewabilityConfigurations.isNull() || isMRAIDEnabled() ||
           ad_->swipeToViewControllerConfigurations != nullptr;
}

void AKAdSlot::resetViewabilityReporting() {
    QV_ASSERT_MAIN_THREAD();
    finishViewabilityReporting();
    if (!canEnableViewabilityMonitoring()) return;
    const auto controller = AKSDKCoreController::sharedInstance();
    const std::vector<double> given = controller->viewabilityMonitorRefreshIntervals();
    if (given.empty()) return;  // the core page gave no intervals: no run
    Value intervals = Value::array();
    for (const double interval : given) intervals.append(interval);
    viewabilityMonitor_ = AKViewabilityMonitor::make(viewabilityMonitoredView(), intervals);
    if (!viewabilityMonitor_) return;
    ++viewabilityMonitorSequenceNumber_;
    SDKCoreWebView_ = controller->nextSDKCoreWebView();
    if (isMRAIDEnabled() && SDKCoreWebView_->webView())
        SDKCoreWebView_->webView()->setViewabilityObserver(weakSelf<AKAdSlot>());
    viewabilityMonitor_->setDelegate(self<AKAdSlot>());
}

void AKAdSlot::finishViewabilityReporting() {
    QV_ASSERT_MAIN_THREAD();
    if (viewabilityMonitor_) {
        viewabilityMonitor_->stopMonitoring();
        viewabilityMonitor_->setDelegate(nullptr);
        viewabilityMonitorWillUnload();
        viewabilityMonitor_.reset();
    }
    if (const auto page = std::exchange(SDKCoreWebView_, nullptr)) {
        if (const auto& webView = page->webView()) webView->setViewabilityObserver({});
        AKSDKCoreController::sharedInstance()->finishedUsingSDKCoreWebView(page);
    }
}

bool AKAdSlot::monitoredViewIsSubviewOfDeviceScreen() const {
    const auto view = viewabilityMonitoredView();
    return view && view->window();
}

// ---- Reports ------------------------------------------------------------------------------

void AKAdSlot::didRefreshViewabilityMonitor(AKViewabilityMonitor& monitor) {
    AKSlotExtensions::shared()->canEnableSwipeToViewController(*this);
    if (!SDKCoreWebView_) return;
    if (const auto command = viewabilityJSCommandWithParams(viewabilityParameters(monitor, false)))
        SDKCoreWebView_->executeJavaScriptCommand(*command);
}

void AKAdSlot::viewabilityMonitorWillUnload() {
    if (!viewabilityMonitor_ || !SDKCoreWebView_) return;
    if (const auto command = viewabilityJSCommandWithParams(viewabilityParameters(*viewabilityMonitor_, true)))
        SDKCoreWebView_->executeJavaScriptCommand(*command);
}

Value AKAdSlot::viewabilityParameters(AKViewabilityMonitor& monitor, bool viewabilityUnloaded) const {
    QV_ASSERT_MAIN_THREAD();
    const auto view = monitor.monitoredView();
    const auto window = view ? view->window() : nullptr;
    const bool inVisibleWindow = window && !window->isHidden() &&
                                 UIApplication::sharedApplication()->applicationState() == UIApplicationStateActive;
    const CGRect adBox = view ? view->convertRectToView(view->bounds(), nullptr) : CGRectZero;
    Value unit{
        {"adBox", dictionaryForBounds(adBox)},
        {"globalVisibleBox", dictionaryForBounds(monitor.monitoredViewVisibleBounds())},
        {"viewBox", dictionaryForBounds(AKDevice::currentDevice()->standardizedApplicationFrame())},
        {"isSubViewOfVisibleWindow", flag(inVisibleWindow)},
        {"isVisible", flag(monitor.isMonitoredViewVisible())},
        {"adnetVersion", AKRequest::sdkVersion()},
        {"adFormat", adFormat()},
        {"timestamp", Value(AKAbsoluteTime::absoluteTimeInMilliseconds())},
        {"hashCode", Value(viewabilityMonitorSequenceNumber_)},
    };
    if (ad_ && !ad_->viewabilityConfigurations.isNull()) unit.setObject("viewabilityJSON", ad_->viewabilityConfigurations);
    if (viewabilityUnloaded) unit.setObject("doneReasonCode", kDoneReasonUnloaded);
    return Value{{"units", Value::array({unit})}};
}

std::optional<std::string> AKAdSlot::viewabilityJSCommandWithParams(const Value& params) {
    if (params.isNull()) return std::nullopt;
    const auto JSON = ak_JSONStringPretty(params, false);
    if (!JSON) return std::nullopt;
    return std::string(kUpdateViewabilityFunction) + "(" + *JSON + ")";
}

Value AKAdSlot::dictionaryForBounds(CGRect bounds) {
    const CGRect r = CGRectIsFinite(bounds) ? CGRectStandardize(bounds) : CGRectZero;  // not finite: missing
    return Value{{"top", r.origin.y},
                 {"bottom", r.origin.y + r.size.height},
                 {"left", r.origin.x},
                 {"right", r.origin.x + r.size.width}};
}

std::string AKAdSlot::adFormat() const { return isInterstitial() ? "interstitial_mb" : "banner_mb"; }

void AKAdSlot::webViewDidChangeViewabilityVisibility(AKWebView& webView) {
    notifyMRAIDCreativeWithVisibility(webView.viewabilityVisibility());
}

// ---- Hooks --------------------------------------------------------------------------------

void AKAdSlot::startViewabilityForLoadedAd() {
    resetViewabilityReporting();
    if (!viewabilityMonitor_) return;
    viewabilityMonitor_->sample();
    if (monitoredViewIsSubviewOfDeviceScreen()) viewabilityMonitor_->startMonitoring();
}

void AKAdSlot::bannerDidMoveToWindow(bool hasWindow) {
    if (!viewabilityMonitor_) return;
    if (hasWindow) {
        viewabilityMonitor_->startMonitoring();
        return;
    }
    viewabilityMonitor_->sample();
    viewabilityMonitor_->stopMonitoring();
}

void AKAdSlot::interstitialViewWillAppear() {
    if (viewabilityMonitor_) viewabilityMonitor_->startMonitoring();
}

void AKAdSlot::interstitialViewWillDisappear() {
    if (!viewabilityMonitor_) return;
    viewabilityMonitor_->sample();
    viewabilityMonitor_->stopMonitoring();
}

void AKAdSlot::sampleViewability() {
    if (viewabilityMonitor_) viewabilityMonitor_->sample();
}
