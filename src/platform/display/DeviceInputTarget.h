#pragma once
// What receives the device screen's input: one call per gesture, on the main
// thread, each finishing through its completion (at once, or later for a
// gesture that lasts, such as a press). DeviceInput calls them one after the
// other, never two at once.
//
// The default target does what the views allow without a touch driver: it puts
// the finger down through the window's touch driver (which hit-tests the point
// once; nothing there refuses the touch), highlights the nearest enabled control while the finger is
// down and tells the hooks below; a wheel turn goes, without a touch, to the
// nearest scroll view under the pointer (UIScrollView::scrollByWheel); typed text goes to the first responder when
// it takes keys (DeviceKeyInput); rotation turns UIDevice. A framework with a
// real touch driver installs its own target (DeviceInput::setTarget).
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/graphics/CGGeometry.h"
#include "platform/uikit/UIDevice.h"

class UIControl;
class UIResponder;
class UITouch;
class UIView;
class UIWindow;

enum class DeviceKey { Return, Backspace };
enum class DeviceDragKind { Touch, Wheel };

// A point of a finger's path, `time` seconds of Clock time after the finger
// went down (at the first point, time 0).
struct DeviceDragPoint {
    CGPoint point{};
    double time = 0;
};

// What became of one input.
struct DeviceInputResult {
    bool delivered = false;
    std::string receiver;  // the class (and identifier) of what took it
    std::string message;   // why it was not delivered
    static DeviceInputResult to(const UIView& view);
    static DeviceInputResult refused(std::string why);
};

// Keys reach a first responder that takes them: text, a line break for Return,
// deleteBackward for Backspace.
class DeviceKeyInput {
public:
    virtual ~DeviceKeyInput() = default;
    virtual void insertText(const std::string& text) = 0;
    virtual void deleteBackward() = 0;
};

class DeviceInputTarget {
public:
    using Done = std::function<void(DeviceInputResult)>;
    virtual ~DeviceInputTarget() = default;
    // Points are in the window's coordinates.
    virtual void tap(UIWindow& window, CGPoint point, Done done) = 0;
    virtual void press(UIWindow& window, CGPoint point, double duration, Done done) = 0;
    // A finger moved from `from` to `to` (or the wheel turned by that much).
    virtual void drag(UIWindow& window, CGPoint from, CGPoint to, DeviceDragKind kind, Done done) = 0;
    // A finger put down at the first point, moved through the middle ones and
    // lifted at the last, each at its time (at least two points). By default
    // a straight drag from the first point to the last.
    virtual void dragAlong(UIWindow& window, const std::vector<DeviceDragPoint>& path, Done done) {
        drag(window, path.front().point, path.back().point, DeviceDragKind::Touch, std::move(done));
    }
    // A finger held as a person holds it: put down now, moved and lifted by
    // later calls, as the person's own finger (or mouse button) does. One finger
    // at a time: a finger put down while another is held cancels the other.
    // Moving or lifting with no finger down is refused.
    virtual void touchDown(UIWindow& window, CGPoint point, Done done) = 0;
    virtual void touchMove(CGPoint point, Done done) = 0;
    virtual void touchUp(CGPoint point, Done done) = 0;
    virtual void type(const std::string& text, Done done) = 0;
    virtual void key(DeviceKey key, Done done) = 0;
    virtual void rotate(UIDeviceOrientation orientation, Done done) = 0;
};

class DeviceDefaultInputTarget : public DeviceInputTarget {
public:
    // Told of a tap or press that reached an enabled control (after its touch
    // ended), and of drags, with the view under the finger.
    std::function<void(UIControl& control)> onControlTap;
    std::function<void(UIControl& control, double duration)> onControlPress;
    std::function<void(UIView& view, CGPoint from, CGPoint to, DeviceDragKind kind)> onDrag;
    // The responder keys go to; without one typing is refused.
    std::function<std::shared_ptr<UIResponder>()> firstResponder;

    void tap(UIWindow& window, CGPoint point, Done done) override;
    void press(UIWindow& window, CGPoint point, double duration, Done done) override;
    void drag(UIWindow& window, CGPoint from, CGPoint to, DeviceDragKind kind, Done done) override;
    void dragAlong(UIWindow& window, const std::vector<DeviceDragPoint>& path, Done done) override;
    void touchDown(UIWindow& window, CGPoint point, Done done) override;
    void touchMove(CGPoint point, Done done) override;
    void touchUp(CGPoint point, Done done) override;
    void type(const std::string& text, Done done) override;
    void key(DeviceKey key, Done done) override;
    void rotate(UIDeviceOrientation orientation, Done done) override;

private:
    void wheel(UIView& under, CGPoint from, CGPoint to, Done done);
    // Moves a finger already down along the path (from its first point), then lifts it.
    void moveAlong(UIWindow& window, const std::shared_ptr<UITouch>& touch, std::vector<CGPoint> path, Done done);
    DeviceKeyInput* keyInput(DeviceInputResult& result) const;

    // The finger held by touchDown until touchUp.
    struct Held {
        std::weak_ptr<UIWindow> window;
        std::shared_ptr<UITouch> touch;
        std::shared_ptr<UIView> hit;
        CGPoint at{};
        double downAt = 0;  // Clock time
    };
    std::optional<Held> held_;
};
