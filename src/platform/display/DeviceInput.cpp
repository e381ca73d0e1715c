#include "platform/display/DeviceInput.h"

#include <cassert>
#include <utility>

#include "platform/dispatch/Dispatch.h"
#include "platform/display/DeviceScene.h"
#include "platform/base/ThreadAssertions.h"
#include "platform/uikit/UIActionSheet.h"
#include "platform/uikit/UIAlertView.h"
#include "platform/uikit/UIWindow.h"

DeviceInput::DeviceInput(std::shared_ptr<DeviceInputTarget> target)
    : target_(target ? std::move(target) : std::make_shared<DeviceDefaultInputTarget>()) {}

DeviceInput::~DeviceInput() { *alive_ = false; }

void DeviceInput::setTarget(std::shared_ptr<DeviceInputTarget> target) {
    QV_ASSERT_MAIN_THREAD();
    target_ = target ? std::move(target) : std::make_shared<DeviceDefaultInputTarget>();
}

void DeviceInput::enqueue(Step step, Completion done) {
    QV_ASSERT_MAIN_THREAD();
    queue_.push_back({std::move(step), std::move(done)});
    if (!running_) runNext();
}

void DeviceInput::runNext() {
    if (queue_.empty() || running_) return;
    running_ = true;
    // Taken off the queue first: the target may finish at once (inside the step)
    // or later from the main loop.
    auto entry = std::make_shared<Entry>(std::move(queue_.front()));
    queue_.pop_front();
    auto finished = std::make_shared<bool>(false);
    entry->step([this, alive = std::weak_ptr<bool>(alive_), finished, entry](DeviceInputResult result) {
        if (alive.expired() || *finished) return;
        *finished = true;
        running_ = false;
        if (entry->done) entry->done(result);
        // Later inputs start from the main loop, not inside this completion.
        if (!queue_.empty())
            dispatch_async(dispatch_get_main_queue(), [this, alive] {
                if (!alive.expired()) runNext();
            });
    });
}

namespace {

// A touch on the front alert or sheet: its button under the point, or a refusal.
template <class Overlay>
DeviceInputResult pressOverlayButton(Overlay& overlay, const std::vector<DeviceOverlayButton>& buttons, CGPoint point,
                                     const char* kind, const char* buttonClass) {
    for (const auto& button : buttons) {
        if (!CGRectContainsPoint(button.frame, point)) continue;
        DeviceInputResult result;
        result.delivered = overlay.pressButtonAtIndex(button.index);
        result.receiver = std::string(buttonClass) + " \"" + button.title + "\"";
        if (!result.delivered) result.message = std::string("the ") + kind + " did not take the press";
        return result;
    }
    return DeviceInputResult::refused(std::string("an ") + kind + " is up: only its buttons take touches");
}

}  // namespace

void DeviceInput::touch(CGPoint point, const std::function<void(UIWindow&, DeviceInputTarget::Done)>& onWindow,
                        DeviceInputTarget::Done finish) {
    if (auto alert = DeviceScene::frontAlert())
        return finish(pressOverlayButton(*alert->alert, alert->buttons, point, "alert", "UIAlertButton"));
    if (auto sheet = DeviceScene::frontSheet())
        return finish(pressOverlayButton(*sheet->sheet, sheet->buttons, point, "action sheet", "UIActionSheetButton"));
    if (auto keyboard = DeviceScene::keyboard(); keyboard && CGRectContainsPoint(keyboard->frame, point))
        return keyTouch(*keyboard, point, std::move(finish));
    auto window = DeviceScene::keyWindow();
    if (!window || window->isHidden()) return finish(DeviceInputResult::refused("no key window"));
    onWindow(*window, std::move(finish));
}

void DeviceInput::keyTouch(const DeviceKeyboardLayout& keyboard, CGPoint point, DeviceInputTarget::Done finish) {
    const DeviceKeyboardKey* key = keyboard.keyAt(point);
    if (!key) return finish(DeviceInputResult::refused("no key of the keyboard there"));
    // The key's own receiver line names the key; what it typed into comes from the target.
    auto named = [finish = std::move(finish), label = key->label](DeviceInputResult result) {
        if (result.delivered) result.receiver = "UIKeyboard key \"" + label + "\" -> " + result.receiver;
        finish(std::move(result));
    };
    switch (key->kind) {
    case DeviceKeyKind::Character: return target_->type(key->label, std::move(named));
    case DeviceKeyKind::Space: return target_->type(" ", std::move(named));
    case DeviceKeyKind::Delete: return target_->key(DeviceKey::Backspace, std::move(named));
    case DeviceKeyKind::Return: return target_->key(DeviceKey::Return, std::move(named));
    }
}

void DeviceInput::tap(CGPoint point, Completion done) {
    enqueue(
        [this, point](DeviceInputTarget::Done finish) {
            touch(point, [this, point](UIWindow& w, DeviceInputTarget::Done f) { target_->tap(w, point, std::move(f)); },
                  std::move(finish));
        },
        std::move(done));
}

void DeviceInput::press(CGPoint point, double duration, Completion done) {
    enqueue(
        [this, point, duration](DeviceInputTarget::Done finish) {
            touch(point,
                  [this, point, duration](UIWindow& w, DeviceInputTarget::Done f) {
                      target_->press(w, point, duration, std::move(f));
                  },
                  std::move(finish));
        },
        std::move(done));
}

void DeviceInput::touchDown(CGPoint point, Completion done) {
    enqueue(
        [this, point](DeviceInputTarget::Done finish) {
            overlayDown_.reset();
            auto keyboard = DeviceScene::keyboard();
            const char* overlay = DeviceScene::frontAlert()                                      ? "UIAlertView"
                                  : DeviceScene::frontSheet()                                    ? "UIActionSheet"
                                  : keyboard && CGRectContainsPoint(keyboard->frame, point) ? "UIKeyboard"
                                                                                                 : nullptr;
            if (overlay) {
                overlayDown_ = point;  // its button or key is worked when the finger lifts
                DeviceInputResult result;
                result.delivered = true;
                result.receiver = overlay;
                return finish(result);
            }
            auto window = DeviceScene::keyWindow();
            if (!window || window->isHidden()) return finish(DeviceInputResult::refused("no key window"));
            target_->touchDown(*window, point, std::move(finish));
        },
        std::move(done));
}

void DeviceInput::touchMove(CGPoint point, Completion done) {
    enqueue(
        [this, point](DeviceInputTarget::Done finish) {
            if (!overlayDown_) return target_->touchMove(point, std::move(finish));
            DeviceInputResult result;  // the button or key goes by where the finger went down
            result.delivered = true;
            result.receiver = "the overlay under the finger";
            finish(result);
        },
        std::move(done));
}

void DeviceInput::touchUp(CGPoint point, Completion done) {
    enqueue(
        [this, point](DeviceInputTarget::Done finish) {
            if (!overlayDown_) return target_->touchUp(point, std::move(finish));
            const CGPoint down = *std::exchange(overlayDown_, std::nullopt);
            touch(down, [this, down](UIWindow& w, DeviceInputTarget::Done f) { target_->tap(w, down, std::move(f)); },
                  std::move(finish));
        },
        std::move(done));
}

void DeviceInput::drag(CGPoint point, CGSize delta, DeviceDragKind kind, Completion done) {
    enqueue(
        [this, point, delta, kind](DeviceInputTarget::Done finish) {
            if (DeviceScene::frontAlert())
                return finish(DeviceInputResult::refused("an alert is up: only its buttons take touches"));
            if (DeviceScene::frontSheet())
                return finish(DeviceInputResult::refused("an action sheet is up: only its buttons take touches"));
            if (auto keyboard = DeviceScene::keyboard(); keyboard && CGRectContainsPoint(keyboard->frame, point))
                return finish(DeviceInputResult::refused("the keyboard does not scroll"));
            auto window = DeviceScene::keyWindow();
            if (!window || window->isHidden()) return finish(DeviceInputResult::refused("no key window"));
            target_->drag(*window, point, CGPointMake(point.x + delta.width, point.y + delta.height), kind,
                          std::move(finish));
        },
        std::move(done));
}

void DeviceInput::dragAlong(std::vector<DeviceDragPoint> path, Completion done) {
    enqueue(
        [this, path = std::move(path)](DeviceInputTarget::Done finish) {
            if (path.size() < 2) return finish(DeviceInputResult::refused("a path needs two points or more"));
            if (DeviceScene::frontAlert() || DeviceScene::frontSheet())
                return finish(DeviceInputResult::refused("an alert or action sheet is up: only its buttons take touches"));
            auto window = DeviceScene::keyWindow();
            if (!window || window->isHidden()) return finish(DeviceInputResult::refused("no key window"));
            target_->dragAlong(*window, path, std::move(finish));
        },
        std::move(done));
}

void DeviceInput::stroke(std::vector<CGPoint> path, Completion done) {
    // Each leg moves like a drag: in even steps, a frame apart.
    constexpr int kStepsPerLeg = 8;
    constexpr double kStepSeconds = 1.0 / 60;
    std::vector<DeviceDragPoint> timed;
    if (!path.empty()) timed.push_back({path.front(), 0});
    for (std::size_t leg = 0; leg + 1 < path.size(); ++leg)
        for (int step = 1; step <= kStepsPerLeg; ++step) {
            const double t = static_cast<double>(step) / kStepsPerLeg;
            const CGPoint from = path[leg], to = path[leg + 1];
            timed.push_back({{from.x + (to.x - from.x) * t, from.y + (to.y - from.y) * t},
                             static_cast<double>(timed.size()) * kStepSeconds});
        }
    dragAlong(std::move(timed), std::move(done));
}

void DeviceInput::type(const std::string& text, Completion done) {
    enqueue([this, text](DeviceInputTarget::Done finish) { target_->type(text, std::move(finish)); }, std::move(done));
}

void DeviceInput::key(DeviceKey key, Completion done) {
    enqueue([this, key](DeviceInputTarget::Done finish) { target_->key(key, std::move(finish)); }, std::move(done));
}

void DeviceInput::rotate(UIDeviceOrientation orientation, Completion done) {
    enqueue([this, orientation](DeviceInputTarget::Done finish) { target_->rotate(orientation, std::move(finish)); },
            std::move(done));
}

namespace {
constexpr std::pair<UIDeviceOrientation, const char*> kOrientationNames[] = {
    {UIDeviceOrientationPortrait, "portrait"},
    {UIDeviceOrientationPortraitUpsideDown, "portraitUpsideDown"},
    {UIDeviceOrientationLandscapeLeft, "landscapeLeft"},
    {UIDeviceOrientationLandscapeRight, "landscapeRight"},
};
}  // namespace

UIDeviceOrientation DeviceOrientationFromName(const std::string& name) {
    for (const auto& [orientation, text] : kOrientationNames)
        if (name == text) return orientation;
    return UIDeviceOrientationUnknown;
}

std::string DeviceOrientationName(UIDeviceOrientation orientation) {
    for (const auto& [o, text] : kOrientationNames)
        if (o == orientation) return text;
    return "portrait";
}
