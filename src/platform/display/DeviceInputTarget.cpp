#include "platform/display/DeviceInputTarget.h"

#include "platform/dispatch/Dispatch.h"
#include "platform/display/DeviceScene.h"
#include "platform/display/DeviceViewFacts.h"
#include "platform/uikit/UIControl.h"
#include "platform/uikit/UIWindow.h"

namespace {

// The control a touch on the view works: the view or its nearest enabled control ancestor.
std::shared_ptr<UIControl> controlFor(const std::shared_ptr<UIView>& view) {
    for (auto v = view; v; v = v->superview())
        if (auto control = std::dynamic_pointer_cast<UIControl>(v)) return control->isEnabled() ? control : nullptr;
    return nullptr;
}

}  // namespace

DeviceInputResult DeviceInputResult::to(const UIView& view) {
    DeviceInputResult result;
    result.delivered = true;
    const auto facts = DeviceViewFacts::of(view);
    result.receiver = facts.className;
    if (!facts.identifier.empty()) result.receiver += " \"" + facts.identifier + "\"";
    return result;
}

DeviceInputResult DeviceInputResult::refused(std::string why) {
    DeviceInputResult result;
    result.message = std::move(why);
    return result;
}

void DeviceDefaultInputTarget::tap(UIWindow& window, CGPoint point, Done done) {
    auto hit = DeviceScene::hitTest(window, point);
    if (!hit) return done(DeviceInputResult::refused("no view takes touches there"));
    auto control = controlFor(hit);
    if (!control) return done(DeviceInputResult::to(*hit));
    control->setHighlighted(true);
    control->setHighlighted(false);
    if (onControlTap) onControlTap(*control);
    done(DeviceInputResult::to(*control));
}

void DeviceDefaultInputTarget::press(UIWindow& window, CGPoint point, double duration, Done done) {
    auto hit = DeviceScene::hitTest(window, point);
    if (!hit) return done(DeviceInputResult::refused("no view takes touches there"));
    auto control = controlFor(hit);
    if (control) control->setHighlighted(true);
    // The finger stays down for the duration; the main loop keeps running meanwhile.
    dispatch_after(dispatch_time(DISPATCH_TIME_NOW, static_cast<std::int64_t>(duration * NSEC_PER_SEC)),
                   dispatch_get_main_queue(), [hook = onControlPress, hit, control, duration, done = std::move(done)] {
                       if (!control) return done(DeviceInputResult::to(*hit));
                       control->setHighlighted(false);
                       if (hook) hook(*control, duration);
                       done(DeviceInputResult::to(*control));
                   });
}

void DeviceDefaultInputTarget::drag(UIWindow& window, CGPoint from, CGPoint to, DeviceDragKind kind, Done done) {
    auto hit = DeviceScene::hitTest(window, from);
    if (!hit) return done(DeviceInputResult::refused("no view takes touches there"));
    if (onDrag) onDrag(*hit, from, to, kind);
    done(DeviceInputResult::to(*hit));
}

DeviceKeyInput* DeviceDefaultInputTarget::keyInput(DeviceInputResult& result) const {
    auto responder = firstResponder ? firstResponder() : nullptr;
    auto* input = dynamic_cast<DeviceKeyInput*>(responder.get());
    if (!input) {
        result = DeviceInputResult::refused("no first responder takes keys");
        return nullptr;
    }
    result.delivered = true;
    result.receiver = responder->className();
    return input;
}

void DeviceDefaultInputTarget::type(const std::string& text, Done done) {
    DeviceInputResult result;
    if (auto* input = keyInput(result)) input->insertText(text);
    done(result);
}

void DeviceDefaultInputTarget::key(DeviceKey key, Done done) {
    DeviceInputResult result;
    if (auto* input = keyInput(result)) {
        if (key == DeviceKey::Return) input->insertText("\n");
        else input->deleteBackward();
    }
    done(result);
}

void DeviceDefaultInputTarget::rotate(UIDeviceOrientation orientation, Done done) {
    UIDevice::currentDevice()->setOrientation(orientation);
    DeviceInputResult result;
    result.delivered = true;
    result.receiver = "UIDevice";
    done(result);
}
