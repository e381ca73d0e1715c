// The slot's rich-media and device-orientation operations (declared in AKSlot.h).
#include "adkit/foundation/AKDevice.h"
#include "adkit/foundation/AKObjectAdditions.h"
#include "adkit/rendering/AKNotificationCenter.h"
#include "adkit/rendering/AKSlot.h"
#include "adkit/rendering/AKWebView.h"
#include "platform/base/ThreadAssertions.h"
#include "platform/dispatch/Dispatch.h"
#include "platform/uikit/UIDevice.h"

// ---- Rich media ------------------------------------------------------------------

void AKSlot::willLoadMRAIDAd() {
    if (isProcessMainThread()) {
        setMRAIDEnabledOnAds(true);
        return;
    }
    dispatch_async(dispatch_get_main_queue(), [weak = weakSelf<AKSlot>()] {
        if (const auto slot = weak.lock()) slot->setMRAIDEnabledOnAds(true);
    });
}

void AKSlot::didLoadMRAIDAd() {
    QV_ASSERT_MAIN_THREAD();
    addCreativeOrientationChangeObserver(self<AKSlot>(), [weak = weakSelf<AKSlot>()] {
        if (const auto slot = weak.lock()) slot->notifyOrientationToMRAIDCreative();
    });
    beginListeningToDeviceOrientationChangeEvent();
    notifyDeviceFeatures();
    SDKDidBecomeReady();
}

void AKSlot::didUnloadMRAIDAd() { endListeningToDeviceOrientationChangeEvent(); }

void AKSlot::notifyMRAIDCreativeWithVisibility(bool visible) {
    QV_ASSERT_MAIN_THREAD();
    if (!isMRAIDAd()) return;
    Value payload = Value::dictionary();
    ak_setStringForBoolValue(payload, visible, "visible");
    AKNotificationCenter::postJSNotification("onAdVisibilityChanged", payload, webView());
}

void AKSlot::notifyOrientationToMRAIDCreative() {
    QV_ASSERT_MAIN_THREAD();
    if (!isMRAIDAd()) return;
    const auto device = AKDevice::currentDevice();
    const CGRect screen = device->standardizedScreenBounds();
    Value payload{{"width", screen.size.width}, {"height", screen.size.height}};
    ak_setStringForBoolValue(payload, device->isOrientationLandscape(), "isOrientationLandscape");
    AKNotificationCenter::postJSNotification("onScreenInfoChanged", payload, webView());
}

void AKSlot::notifyDeviceFeatures() {
    QV_ASSERT_MAIN_THREAD();
    const Value openable = AKDevice::currentDevice()->canOpenURLs({"sms://", "tel://"});
    const Value payload{{"sms", openable["sms://"].boolValue()},
                        {"tel", openable["tel://"].boolValue()},
                        {"calendar", false},
                        {"storePicture", true},
                        {"inlineVideo", true}};
    AKNotificationCenter::postJSNotification("onDeviceFeaturesReceived", payload, webView());
}

void AKSlot::SDKDidBecomeReady() {
    QV_ASSERT_MAIN_THREAD();
    AKNotificationCenter::postJSNotification("onReadyEventReceived", std::nullopt, webView());
}

// ---- Device orientation ------------------------------------------------------------

void AKSlot::beginListeningToDeviceOrientationChangeEvent() {
    QV_ASSERT_MAIN_THREAD();
    if (listeningToOrientation_) return;
    didChangeDeviceOrientation();
    listeningToOrientation_ = true;
    const auto device = UIDevice::currentDevice();
    device->beginGeneratingDeviceOrientationNotifications();
    NSNotificationCenter::defaultCenter()->addObserver(
        self(),
        [weak = weakSelf<AKSlot>()](const NSNotification&) {
            // The interface follows the device only after this notification: at
            // once when the device turned on the main thread, through the main
            // queue when it turned elsewhere. The creative's frame is compared
            // behind that turn, so it is the turned one.
            auto check = [weak] {
                if (const auto slot = weak.lock()) slot->didChangeDeviceOrientation();
            };
            if (isProcessMainThread()) dispatch_async(dispatch_get_main_queue(), std::move(check));
            else dispatch_async(dispatch_get_main_queue(), [check] { dispatch_async(dispatch_get_main_queue(), check); });
        },
        UIDeviceOrientationDidChangeNotification, device);
}

void AKSlot::endListeningToDeviceOrientationChangeEvent() {
    QV_ASSERT_MAIN_THREAD();
    if (!listeningToOrientation_) return;
    listeningToOrientation_ = false;
    const auto device = UIDevice::currentDevice();
    device->endGeneratingDeviceOrientationNotifications();
    const auto center = NSNotificationCenter::defaultCenter();
    center->removeObserver(this, UIDeviceOrientationDidChangeNotification, device.get());
    center->removeObserver(this, kAKSlotCreativeOrientationChangedNotification, this);
}

void AKSlot::addCreativeOrientationChangeObserver(const std::shared_ptr<NSObject>& observer,
                                                  std::function<void()> selector) {
    NSNotificationCenter::defaultCenter()->addObserver(
        observer, [selector = std::move(selector)](const NSNotification&) { selector(); },
        kAKSlotCreativeOrientationChangedNotification, self());
}

void AKSlot::didChangeDeviceOrientation() {
    QV_ASSERT_MAIN_THREAD();
    const auto view = webView();
    const CGRect frame = view ? view->convertRectToView(view->bounds(), nullptr) : CGRectZero;
    if (CGRectEqualToRect(frame, creativeViewBounds_)) return;
    creativeViewBounds_ = frame;
    NSNotificationCenter::defaultCenter()->postNotificationName(kAKSlotCreativeOrientationChangedNotification, self());
}
