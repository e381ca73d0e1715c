#include "platform/display/DeviceInputTarget.h"

#include <algorithm>
#include <utility>

#include "platform/dispatch/Dispatch.h"
#include "platform/foundation/Clock.h"
#include "platform/display/DeviceScene.h"
#include "platform/display/DeviceViewFacts.h"
#include "platform/uikit/UIControl.h"
#include "platform/uikit/UIEvent.h"
#include "platform/uikit/UIFirstResponder.h"
#include "platform/uikit/UIKeyInput.h"
#include "platform/uikit/UIScrollView.h"
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
    auto touch = window.touchBegan(point);
    if (!touch) return done(DeviceInputResult::refused("no view takes touches there"));
    auto hit = touch->view();
    window.touchEnded(touch, point);
    auto control = controlFor(hit);
    if (control && onControlTap) onControlTap(*control);
    if (control) return done(DeviceInputResult::to(*control));
    done(hit ? DeviceInputResult::to(*hit) : DeviceInputResult::refused("the view went away during the touch"));
}

void DeviceDefaultInputTarget::press(UIWindow& window, CGPoint point, double duration, Done done) {
    auto touch = window.touchBegan(point);
    if (!touch) return done(DeviceInputResult::refused("no view takes touches there"));
    auto hit = touch->view();
    // The finger stays down for the duration; the main loop keeps running meanwhile.
    std::weak_ptr<UIWindow> weakWindow = window.self<UIWindow>();
    dispatch_after(dispatch_time(DISPATCH_TIME_NOW, static_cast<std::int64_t>(duration * NSEC_PER_SEC)),
                   dispatch_get_main_queue(),
                   [hook = onControlPress, weakWindow, touch, hit, point, duration, done = std::move(done)] {
                       if (auto w = weakWindow.lock()) w->touchEnded(touch, point);
                       auto control = controlFor(hit);
                       if (control && hook) hook(*control, duration);
                       if (control) return done(DeviceInputResult::to(*control));
                       done(hit ? DeviceInputResult::to(*hit)
                                : DeviceInputResult::refused("the view went away during the touch"));
                   });
}

void DeviceDefaultInputTarget::touchDown(UIWindow& window, CGPoint point, Done done) {
    if (held_) {  // a finger left down (its lift never came) is cancelled, as the system does
        if (auto w = held_->window.lock()) w->touchCancelled(held_->touch);
        held_.reset();
    }
    auto touch = window.touchBegan(point);
    if (!touch) return done(DeviceInputResult::refused("no view takes touches there"));
    held_ = Held{window.self<UIWindow>(), touch, touch->view(), point, Clock::now()};
    done(held_->hit ? DeviceInputResult::to(*held_->hit) : DeviceInputResult::refused("the view went away"));
}

void DeviceDefaultInputTarget::touchMove(CGPoint point, Done done) {
    auto window = held_ ? held_->window.lock() : nullptr;
    if (!window) return done(DeviceInputResult::refused("no finger is down"));
    if (onDrag && held_->hit && !CGPointEqualToPoint(point, held_->at))
        onDrag(*held_->hit, held_->at, point, DeviceDragKind::Touch);
    held_->at = point;
    window->touchMoved(held_->touch, point);
    done(held_->hit ? DeviceInputResult::to(*held_->hit) : DeviceInputResult::refused("the view went away"));
}

void DeviceDefaultInputTarget::touchUp(CGPoint point, Done done) {
    auto window = held_ ? held_->window.lock() : nullptr;
    if (!window) {
        held_.reset();
        return done(DeviceInputResult::refused("no finger is down"));
    }
    const Held held = *std::exchange(held_, std::nullopt);
    window->touchEnded(held.touch, point);
    auto control = controlFor(held.hit);
    if (control && onControlPress) onControlPress(*control, Clock::now() - held.downAt);
    if (control) return done(DeviceInputResult::to(*control));
    done(held.hit ? DeviceInputResult::to(*held.hit) : DeviceInputResult::refused("the view went away during the touch"));
}

namespace {

// A finger moving along a path (from one point to the next, each leg in
// steps a frame apart, so what follows it (a scroll view) sees a real speed).
struct DragSteps : std::enable_shared_from_this<DragSteps> {
    static constexpr int kSteps = 8;
    static constexpr double kStepSeconds = 1.0 / 60;
    std::weak_ptr<UIWindow> window;
    UITouchPtr touch;
    std::vector<CGPoint> path;  // at least two points
    std::size_t leg = 0;        // moving from path[leg] to path[leg + 1]
    int step = 0;
    std::function<void()> finished;

    void next() {
        auto w = window.lock();
        if (!w) return finished();
        ++step;
        const CGPoint from = path[leg], to = path[leg + 1];
        const double t = static_cast<double>(step) / kSteps;
        const CGPoint p{from.x + (to.x - from.x) * t, from.y + (to.y - from.y) * t};
        w->touchMoved(touch, p);
        if (step == kSteps) {
            step = 0;
            ++leg;
        }
        if (leg + 1 < path.size()) {
            dispatch_after(dispatch_time(DISPATCH_TIME_NOW, static_cast<std::int64_t>(kStepSeconds * NSEC_PER_SEC)),
                           dispatch_get_main_queue(), [self = shared_from_this()] { self->next(); });
            return;
        }
        w->touchEnded(touch, path.back());
        finished();
    }
};

}  // namespace

namespace {

// A finger along a path, each point delivered when the Clock reaches its time.
struct PathSteps : std::enable_shared_from_this<PathSteps> {
    std::weak_ptr<UIWindow> window;
    UITouchPtr touch;
    std::vector<DeviceDragPoint> path;
    double downAt = 0;
    std::size_t index = 0;
    std::function<void()> finished;

    void next() {
        auto w = window.lock();
        if (!w) return finished();
        ++index;
        const CGPoint p = path[index].point;
        const double at = downAt + path[index].time;
        if (index + 1 < path.size()) {
            w->touchMoved(touch, p, at);
            const double wait = std::max(0.0, downAt + path[index + 1].time - Clock::now());
            dispatch_after(dispatch_time(DISPATCH_TIME_NOW, Clock::nanosecondsFor(wait)), dispatch_get_main_queue(),
                           [self = shared_from_this()] { self->next(); });
            return;
        }
        w->touchEnded(touch, p, at);
        finished();
    }
};

}  // namespace

void DeviceDefaultInputTarget::dragAlong(UIWindow& window, const std::vector<DeviceDragPoint>& path, Done done) {
    if (path.size() < 2) return done(DeviceInputResult::refused("a path needs two points or more"));
    auto touch = window.touchBegan(path.front().point);
    if (!touch) return done(DeviceInputResult::refused("no view takes touches there"));
    auto hit = touch->view();
    if (onDrag && hit) onDrag(*hit, path.front().point, path.back().point, DeviceDragKind::Touch);
    auto steps = std::make_shared<PathSteps>();
    steps->window = window.self<UIWindow>();
    steps->touch = touch;
    steps->path = path;
    steps->downAt = Clock::now();
    steps->finished = [hit, done = std::move(done)] {
        done(hit ? DeviceInputResult::to(*hit) : DeviceInputResult::refused("the view went away during the drag"));
    };
    const double wait = std::max(0.0, path[1].time);
    dispatch_after(dispatch_time(DISPATCH_TIME_NOW, Clock::nanosecondsFor(wait)), dispatch_get_main_queue(),
                   [steps] { steps->next(); });
}

void DeviceDefaultInputTarget::drag(UIWindow& window, CGPoint from, CGPoint to, DeviceDragKind kind, Done done) {
    if (kind == DeviceDragKind::Wheel) {  // no finger: the scroll view under the pointer takes the turn
        auto under = DeviceScene::hitTest(window, from);
        if (!under) return done(DeviceInputResult::refused("no view takes touches there"));
        return wheel(*under, from, to, std::move(done));
    }
    auto touch = window.touchBegan(from);
    if (!touch) return done(DeviceInputResult::refused("no view takes touches there"));
    if (onDrag && touch->view()) onDrag(*touch->view(), from, to, kind);
    moveAlong(window, touch, {from, to}, std::move(done));
}

void DeviceDefaultInputTarget::moveAlong(UIWindow& window, const std::shared_ptr<UITouch>& touch, std::vector<CGPoint> path,
                                         Done done) {
    auto hit = touch->view();
    auto steps = std::make_shared<DragSteps>();
    steps->window = window.self<UIWindow>();
    steps->touch = touch;
    steps->path = std::move(path);
    steps->finished = [hit, done = std::move(done)] {
        done(hit ? DeviceInputResult::to(*hit) : DeviceInputResult::refused("the view went away during the drag"));
    };
    steps->next();
}

void DeviceDefaultInputTarget::wheel(UIView& under, CGPoint from, CGPoint to, Done done) {
    if (onDrag) onDrag(under, from, to, DeviceDragKind::Wheel);
    // The nearest scroll view under the pointer takes the turn, without a touch.
    for (auto v = under.self<UIView>(); v; v = v->superview())
        if (auto scroll = std::dynamic_pointer_cast<UIScrollView>(v); scroll && scroll->isScrollEnabled()) {
            if (!scroll->scrollByWheel(CGSizeMake(to.x - from.x, to.y - from.y)))
                return done(DeviceInputResult::refused("the scroll view is being dragged"));
            return done(DeviceInputResult::to(*scroll));
        }
    done(DeviceInputResult::to(under));  // nothing there scrolls
}

namespace {
// A text input of the views, taking keys for the device screen.
struct UIKeyInputAdapter : DeviceKeyInput {
    std::weak_ptr<UIResponder> responder;
    UIKeyInput* input = nullptr;
    void insertText(const std::string& text) override {
        if (auto keep = responder.lock()) input->insertText(text);
    }
    void deleteBackward() override {
        if (auto keep = responder.lock()) input->deleteBackward();
    }
};
}  // namespace

DeviceKeyInput* DeviceDefaultInputTarget::keyInput(DeviceInputResult& result) const {
    auto responder = firstResponder ? firstResponder() : UIFirstResponder::current();
    DeviceKeyInput* input = dynamic_cast<DeviceKeyInput*>(responder.get());
    if (auto* text = dynamic_cast<UIKeyInput*>(responder.get()); text && !input) {
        static thread_local UIKeyInputAdapter adapter;
        adapter.responder = responder;
        adapter.input = text;
        input = &adapter;
    }
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
