#pragma once
// Input to the device screen, carried out on the main thread in the order it was
// given: taps, presses that last a duration, drags, strokes and wheel turns, typed text
// and keys for the first responder, rotation. One input finishes (its
// completion runs) before the next begins, so a press holds back what follows.
//
// Points are in interface points (the key window's coordinates). While an alert
// is up only its buttons take taps and presses, and likewise while an action
// sheet is up; other touches are refused. Taps and presses on the keyboard's
// keys type into the first responder as typed text and keys do.
//
// Main thread only. The HTTP interface and in-process tests drive this class alike.
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/display/DeviceInputTarget.h"
#include "platform/display/DeviceOverlayLayout.h"

class DeviceInput {
public:
    using Completion = std::function<void(const DeviceInputResult&)>;

    // The default target unless one is given.
    explicit DeviceInput(std::shared_ptr<DeviceInputTarget> target = nullptr);
    ~DeviceInput();
    DeviceInput(const DeviceInput&) = delete;
    DeviceInput& operator=(const DeviceInput&) = delete;

    const std::shared_ptr<DeviceInputTarget>& target() const { return target_; }
    void setTarget(std::shared_ptr<DeviceInputTarget> target);

    void tap(CGPoint point, Completion done = {});
    void press(CGPoint point, double duration, Completion done = {});
    // A finger put down at the point and moved by the delta (wheel: the same move
    // without a finger).
    void drag(CGPoint point, CGSize delta, DeviceDragKind kind, Completion done = {});
    // A finger along a path of points with their times on the Clock (see
    // DeviceDragPoint), so a test decides how fast it moves when lifted.
    void dragAlong(std::vector<DeviceDragPoint> path, Completion done = {});
    // One finger put down at the first point, moved through the others in turn
    // (each leg like a drag, on the Clock), then lifted: a zig-zag, for instance.
    void stroke(std::vector<CGPoint> path, Completion done = {});
    // A finger held as long as the person holds it: put down, moved, lifted,
    // each when called (DeviceInputTarget::touchDown). While an alert or sheet
    // is up, or on the keyboard, the finger only works the button or key under
    // the point where it went down, when it lifts.
    void touchDown(CGPoint point, Completion done = {});
    void touchMove(CGPoint point, Completion done = {});
    void touchUp(CGPoint point, Completion done = {});
    void type(const std::string& text, Completion done = {});
    void key(DeviceKey key, Completion done = {});
    void rotate(UIDeviceOrientation orientation, Completion done = {});

    // Inputs waiting or running.
    std::size_t pendingCount() const { return queue_.size() + (running_ ? 1 : 0); }

private:
    using Step = std::function<void(DeviceInputTarget::Done finish)>;
    void enqueue(Step step, Completion done);
    void runNext();
    // Runs a touch: on the front alert's buttons while one is up, else on the
    // front sheet's while one is up, else on the keyboard's keys when it is
    // there, else on the key window.
    void touch(CGPoint point, const std::function<void(UIWindow&, DeviceInputTarget::Done)>& onWindow,
               DeviceInputTarget::Done finish);
    // A key of the keyboard types its letter or space, deletes or returns.
    void keyTouch(const DeviceKeyboardLayout& keyboard, CGPoint point, DeviceInputTarget::Done finish);

    struct Entry {
        Step step;
        Completion done;
    };
    std::shared_ptr<DeviceInputTarget> target_;
    std::optional<CGPoint> overlayDown_;  // a held finger that went down on an alert, sheet or the keyboard
    std::deque<Entry> queue_;
    bool running_ = false;
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

// "portrait", "portraitUpsideDown", "landscapeLeft", "landscapeRight" and back;
// Unknown for any other name.
UIDeviceOrientation DeviceOrientationFromName(const std::string& name);
std::string DeviceOrientationName(UIDeviceOrientation orientation);
