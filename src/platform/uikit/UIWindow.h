#pragma once
// The top of a view tree. A window is hidden until made visible; its root view
// controller's view fills it. Visible windows are laid out and redrawn at the
// end of every pass of the main run loop (layout first, then display of what
// was marked dirty, at the screen's scale).
//
// The touch driver stands in for the screen: touchBegan hit-tests the point (in
// the window's coordinates) and delivers the phases to the view found there;
// UIControl turns them into control events. Gesture recognisers of the view
// and its superviews see each phase first (UIGestureRecognizer.h); once one
// has taken the touch from the view, they alone see its later phases.
// Snapshots render the window's layer tree; the PNG goes through the image
// encoder.
//
// Main thread only.
#include <memory>
#include <optional>
#include <vector>

#include "platform/foundation/Data.h"
#include "platform/graphics/CGImage.h"
#include "platform/uikit/UIEvent.h"
#include "platform/uikit/UIView.h"

class UIViewController;

using UIWindowLevel = CGFloat;
inline constexpr UIWindowLevel UIWindowLevelNormal = 0;
inline constexpr UIWindowLevel UIWindowLevelStatusBar = 1000;
inline constexpr UIWindowLevel UIWindowLevelAlert = 2000;

class UIWindow : public UIView {
public:
    explicit UIWindow(CGRect frame = CGRectZero);
    ~UIWindow() override;

    std::shared_ptr<UIViewController> rootViewController() const { return rootViewController_; }
    // Replaces the root: the old root's view leaves the window and the new one's
    // fills it; on a visible window the roots get their appearance callbacks.
    void setRootViewController(std::shared_ptr<UIViewController> controller);

    // Shows the window and makes it the application's key window.
    void makeKeyAndVisible();
    void makeKeyWindow();
    bool isKeyWindow() const;
    bool isVisible() const { return !isHidden(); }
    // Showing a window lists it among the application's windows.
    void setHidden(bool hidden) override;

    UIWindowLevel windowLevel() const { return windowLevel_; }
    void setWindowLevel(UIWindowLevel level) { windowLevel_ = level; }

    // Every window shown so far and still alive, by level (stable within one).
    static std::vector<std::shared_ptr<UIWindow>> allWindows();

    // The layout pass and the display pass now (they also run at the end of
    // every main run-loop pass while the window is visible).
    void layoutAndDisplayIfNeeded();
    // The window rendered after the passes, at the scale (0: the screen's);
    // null for an empty window.
    CGImageRef snapshotImage(CGFloat scale = 0);
    std::optional<Data> snapshotPNG(CGFloat scale = 0);

    // Touch driver (points in the window's coordinates). touchBegan answers
    // null when no view takes the touch. A phase happens now on the Clock, or
    // at the Clock time given (the touch's timestamp: a driver replaying a
    // timed path stamps each phase with its own time, however late it runs).
    UITouchPtr touchBegan(CGPoint point, std::size_t tapCount = 1);
    void touchMoved(const UITouchPtr& touch, CGPoint point, std::optional<double> timestamp = std::nullopt);
    void touchEnded(const UITouchPtr& touch, CGPoint point, std::optional<double> timestamp = std::nullopt);
    void touchCancelled(const UITouchPtr& touch);
    // A touch down and up at the point; true when a view took it.
    [[nodiscard]] bool tap(CGPoint point);

    std::shared_ptr<UIWindow> window() const override;
    // The application follows the window in the responder chain.
    std::shared_ptr<UIResponder> nextResponder() const override;

private:
    void deliver(const UITouchPtr& touch, UITouchPhase phase, CGPoint point,
                 std::optional<double> timestamp = std::nullopt);
    // Shows the phase to the touch's recognisers; true when one that cancels
    // touches in its view recognised.
    bool recognize(const UITouchPtr& touch, UITouchPhase phase, CGPoint point);
    std::shared_ptr<UIViewController> rootViewController_;
    UIWindowLevel windowLevel_ = UIWindowLevelNormal;
};
