#pragma once
// The progress overlay: a transparent view covering a host view, with a
// rounded dark panel in its middle holding an indicator (spinner, pie, bar,
// ring, a custom view or none), a one-line label and a wrapping details label.
// It swallows touches while shown, fades or zooms in and out, can wait a grace
// time before appearing, stays at least a minimum time once shown, and can run
// a task on a thread or a dispatch queue and hide itself when the task ends.
//
// Call order: make one (initWithView / the class operation showHUDAddedTo),
// set its properties, show, hide. Each showing ends in the finish step exactly
// once: alpha 0, removal from the host view when removeFromSuperViewOnHide,
// then completionBlock (cleared), then the delegate's hudWasHidden. A hide
// while the grace timer runs cancels it (the overlay never appears); a new
// grace or minimum-show timer replaces the pending one; a show while a hide
// waits for the minimum time or fades out keeps the overlay up. Timers,
// delayed hides and hand-offs to the main thread hold the overlay weakly, and
// its destruction cancels them.
//
// Threads: everything runs on the main thread, except that the public
// properties may be read and set from any thread (each is guarded by the
// overlay's lock, as a task on another thread sets progress and texts). A
// change of mode, customView, labelText, labelFont, labelColor,
// detailsLabelText, detailsLabelFont, detailsLabelColor, progress or
// activityIndicatorColor made off the main thread is handed to the main
// thread without waiting; the views are only touched there. Those ten are
// announced to key-value observers under their names.
//
// Layout never sizes anything below 0 when the host is too small for the
// margins.
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/dispatch/Dispatch.h"
#include "platform/foundation/NSNotificationCenter.h"
#include "platform/runloop/NSRunLoop.h"
#include "platform/uikit/UIActivityIndicatorView.h"
#include "platform/uikit/UIColor.h"
#include "platform/uikit/UIFont.h"
#include "platform/uikit/UILabel.h"
#include "platform/uikit/UIView.h"
#include "platform/uikit/UIWindow.h"

class LOProgressHUD;

// Which indicator the overlay shows.
enum LOProgressHUDMode : long {
    LOProgressHUDModeIndeterminate = 0,            // the large white spinner
    LOProgressHUDModeDeterminate = 1,              // a pie (LORoundProgressView)
    LOProgressHUDModeDeterminateHorizontalBar = 2, // a bar (LOBarProgressView)
    LOProgressHUDModeAnnularDeterminate = 3,       // a ring (LORoundProgressView, annular)
    LOProgressHUDModeCustomView = 4,               // customView
    LOProgressHUDModeText = 5,                     // no indicator
};

// How the overlay comes and goes.
enum LOProgressHUDAnimation : long {
    LOProgressHUDAnimationFade = 0,
    LOProgressHUDAnimationZoomOut = 1,  // in from 1.5 times its size, out shrinking to 0.5
    LOProgressHUDAnimationZoomIn = 2,   // in from 0.5 times its size, out growing to 1.5
};

// Told when an overlay has been hidden (after its completion block).
class LOProgressHUDDelegate {
public:
    virtual ~LOProgressHUDDelegate() = default;
    virtual void hudWasHidden(const std::shared_ptr<LOProgressHUD>& /*hud*/) {}
};

class LOProgressHUD : public UIView {
public:
    using CompletionBlock = std::function<void()>;
    // The work of showWhileExecuting: called on the new thread with the target and the object.
    using ExecutionMethod = std::function<void(const std::shared_ptr<NSObject>& target,
                                               const std::shared_ptr<NSObject>& object)>;

    // Every default, the labels and the indicator for mode 0. Make overlays
    // with initWithFrame (or the forms below), which also puts the labels and
    // the indicator into the overlay; one constructed directly gets them when
    // it first moves into a view or is laid out.
    explicit LOProgressHUD(CGRect frame);
    ~LOProgressHUD() override;
    // An overlay of class HUD (this class or a subclass constructible from a frame).
    template <class HUD = LOProgressHUD>
    static std::shared_ptr<HUD> initWithFrame(CGRect frame);
    // Covering the view's (or window's) bounds; a null view gives a zero frame.
    template <class HUD = LOProgressHUD>
    static std::shared_ptr<HUD> initWithView(const std::shared_ptr<UIView>& view) {
        return initWithFrame<HUD>(view ? view->bounds() : CGRectZero);
    }
    template <class HUD = LOProgressHUD>
    static std::shared_ptr<HUD> initWithWindow(const std::shared_ptr<UIWindow>& window) {
        return initWithView<HUD>(window);
    }

    // Class operations, on the direct subviews of the view. An overlay is a
    // subview of class HUD or a subclass of it.
    // A new overlay of class HUD over the view, removed from it when hidden, shown.
    template <class HUD = LOProgressHUD>
    static std::shared_ptr<HUD> showHUDAddedTo(const std::shared_ptr<UIView>& view, bool animated);
    // Hides the top-most overlay (removing it when hidden); false when there is none.
    template <class HUD = LOProgressHUD>
    static bool hideHUDForView(const std::shared_ptr<UIView>& view, bool animated);
    // Hides every overlay of the view (of any overlay class); how many there were.
    static std::size_t hideAllHUDsForView(const std::shared_ptr<UIView>& view, bool animated);
    // The top-most overlay, or null.
    template <class HUD = LOProgressHUD>
    static std::shared_ptr<HUD> HUDForView(const std::shared_ptr<UIView>& view);
    // The overlays in subview order.
    template <class HUD = LOProgressHUD>
    static std::vector<std::shared_ptr<HUD>> allHUDsForView(const std::shared_ptr<UIView>& view);

    // Showing and hiding (main thread).
    void show(bool animated);
    void hide(bool animated);
    // hide(animated) after the delay, on the calling thread's run loop; the
    // finish step cancels it when the overlay is hidden earlier.
    void hide(bool animated, double afterDelay);
    // Runs the method with target and object on a new thread while shown; the
    // overlay hides itself on the main thread when it returns.
    void showWhileExecuting(ExecutionMethod method, std::shared_ptr<NSObject> onTarget,
                            std::shared_ptr<NSObject> withObject, bool animated);
    // Runs the block on the queue (null: the global queue of default priority)
    // while shown; hides on the main thread when it returns, then runs the
    // completion there as the completion block.
    void showAnimated(bool animated, dispatch_block_t whileExecutingBlock, dispatch_queue_t onQueue,
                      CompletionBlock completionBlock);
    void showAnimated(bool animated, dispatch_block_t whileExecutingBlock);
    void showAnimated(bool animated, dispatch_block_t whileExecutingBlock, CompletionBlock completionBlock);
    void showAnimated(bool animated, dispatch_block_t whileExecutingBlock, dispatch_queue_t onQueue);

    // Public properties (any thread).
    long mode() const { return get(&Properties::mode); }
    void setMode(long mode) { putObserved(&Properties::mode, mode, "mode"); }
    long animationType() const { return get(&Properties::animationType); }
    void setAnimationType(long type) { put(&Properties::animationType, type); }
    std::shared_ptr<UIView> customView() const { return get(&Properties::customView); }
    void setCustomView(std::shared_ptr<UIView> view) { putObserved(&Properties::customView, std::move(view), "customView"); }
    std::shared_ptr<LOProgressHUDDelegate> delegate() const { return get(&Properties::delegate).lock(); }
    void setDelegate(const std::shared_ptr<LOProgressHUDDelegate>& delegate) {
        put(&Properties::delegate, std::weak_ptr<LOProgressHUDDelegate>(delegate));
    }
    std::optional<std::string> labelText() const { return get(&Properties::labelText); }
    void setLabelText(std::optional<std::string> text) { putObserved(&Properties::labelText, std::move(text), "labelText"); }
    std::optional<std::string> detailsLabelText() const { return get(&Properties::detailsLabelText); }
    void setDetailsLabelText(std::optional<std::string> text) {
        putObserved(&Properties::detailsLabelText, std::move(text), "detailsLabelText");
    }
    float opacity() const { return get(&Properties::opacity); }
    void setOpacity(float opacity) { put(&Properties::opacity, opacity); }
    UIColorPtr color() const { return get(&Properties::color); }
    void setColor(UIColorPtr color) { put(&Properties::color, std::move(color)); }
    float xOffset() const { return get(&Properties::xOffset); }
    void setXOffset(float offset) { put(&Properties::xOffset, offset); }
    float yOffset() const { return get(&Properties::yOffset); }
    void setYOffset(float offset) { put(&Properties::yOffset, offset); }
    float margin() const { return get(&Properties::margin); }
    void setMargin(float margin) { put(&Properties::margin, margin); }
    float cornerRadius() const { return get(&Properties::cornerRadius); }
    void setCornerRadius(float radius) { put(&Properties::cornerRadius, radius); }
    bool dimBackground() const { return get(&Properties::dimBackground); }
    void setDimBackground(bool dim) { put(&Properties::dimBackground, dim); }
    float graceTime() const { return get(&Properties::graceTime); }
    void setGraceTime(float seconds) { put(&Properties::graceTime, seconds); }
    float minShowTime() const { return get(&Properties::minShowTime); }
    void setMinShowTime(float seconds) { put(&Properties::minShowTime, seconds); }
    bool taskInProgress() const { return get(&Properties::taskInProgress); }
    void setTaskInProgress(bool value) { put(&Properties::taskInProgress, value); }
    bool removeFromSuperViewOnHide() const { return get(&Properties::removeFromSuperViewOnHide); }
    void setRemoveFromSuperViewOnHide(bool value) { put(&Properties::removeFromSuperViewOnHide, value); }
    UIFontPtr labelFont() const { return get(&Properties::labelFont); }
    void setLabelFont(UIFontPtr font) { putObserved(&Properties::labelFont, std::move(font), "labelFont"); }
    UIColorPtr labelColor() const { return get(&Properties::labelColor); }
    void setLabelColor(UIColorPtr color) { putObserved(&Properties::labelColor, std::move(color), "labelColor"); }
    UIFontPtr detailsLabelFont() const { return get(&Properties::detailsLabelFont); }
    void setDetailsLabelFont(UIFontPtr font) {
        putObserved(&Properties::detailsLabelFont, std::move(font), "detailsLabelFont");
    }
    UIColorPtr detailsLabelColor() const { return get(&Properties::detailsLabelColor); }
    void setDetailsLabelColor(UIColorPtr color) {
        putObserved(&Properties::detailsLabelColor, std::move(color), "detailsLabelColor");
    }
    UIColorPtr activityIndicatorColor() const { return get(&Properties::activityIndicatorColor); }
    void setActivityIndicatorColor(UIColorPtr color) {
        putObserved(&Properties::activityIndicatorColor, std::move(color), "activityIndicatorColor");
    }
    float progress() const { return get(&Properties::progress); }
    void setProgress(float progress) { putObserved(&Properties::progress, progress, "progress"); }
    CGSize minSize() const { return get(&Properties::minSize); }
    void setMinSize(CGSize size) { put(&Properties::minSize, size); }
    bool isSquare() const { return get(&Properties::square); }
    void setSquare(bool square) { put(&Properties::square, square); }
    // The panel size found by the last layout pass.
    CGSize size() const { return get(&Properties::size); }
    CompletionBlock completionBlock() const { return get(&Properties::completionBlock); }
    void setCompletionBlock(CompletionBlock block) { put(&Properties::completionBlock, std::move(block)); }

    // Views the overlay shows (main thread): the current indicator (null in
    // text mode) and the two labels.
    const std::shared_ptr<UIView>& indicator() const { return indicator_; }
    const std::shared_ptr<UILabel>& label() const { return label_; }
    const std::shared_ptr<UILabel>& detailsLabel() const { return detailsLabel_; }
    // When the overlay became visible (Clock time), while it is.
    std::optional<double> showStarted() const { return showStarted_; }
    // The rotation the overlay applies for the status-bar orientation.
    const CGAffineTransform& rotationTransform() const { return rotationTransform_; }
    // Whether the overlay turns itself for the orientation (older systems, on a window).
    bool shouldPerformOrientationTransform() const;

    // UIView.
    void layoutSubviews() override;
    void drawRect(CGRect rect) override;
    void didMoveToSuperview() override;

private:
    // Where a showing stands.
    enum class Phase {
        Idle,         // not shown, or shown and finished
        Grace,        // shown, waiting for the grace time (or for a task it found not running)
        Visible,      // on screen
        MinShow,      // hidden, waiting out the minimum show time
        FadingOut,    // the hide animation runs; the finish step follows it
    };
    struct Properties {
        long mode = LOProgressHUDModeIndeterminate;
        long animationType = LOProgressHUDAnimationFade;
        std::shared_ptr<UIView> customView;
        std::weak_ptr<LOProgressHUDDelegate> delegate;
        std::optional<std::string> labelText;
        std::optional<std::string> detailsLabelText;
        float opacity = 0.8f;
        UIColorPtr color;
        float xOffset = 0;
        float yOffset = 0;
        float margin = 20;
        float cornerRadius = 10;
        bool dimBackground = false;
        float graceTime = 0;
        float minShowTime = 0;
        bool taskInProgress = false;
        bool removeFromSuperViewOnHide = false;
        UIFontPtr labelFont;
        UIColorPtr labelColor;
        UIFontPtr detailsLabelFont;
        UIColorPtr detailsLabelColor;
        UIColorPtr activityIndicatorColor;
        float progress = 0;
        CGSize minSize = CGSizeZero;
        bool square = false;
        CGSize size = CGSizeZero;
        CompletionBlock completionBlock;
    };

    template <class T>
    T get(T Properties::*field) const {
        std::lock_guard<std::mutex> lock(propertiesMutex_);
        return properties_.*field;
    }
    // The old value is let go outside the lock.
    template <class T>
    void put(T Properties::*field, T value) {
        {
            std::lock_guard<std::mutex> lock(propertiesMutex_);
            std::swap(properties_.*field, value);
        }
    }
    template <class T>
    void putObserved(T Properties::*field, T value, const char* key) {
        put(field, std::move(value));
        observedPropertyChanged(key);
    }
    Properties propertiesSnapshot() const;

    // Property reactions (LOProgressHUD.cpp).
    void observedPropertyChanged(const char* key);
    void reactToChange(const std::string& key);
    void makeLabels();
    // Puts labels and indicator into the overlay once it is shared (idempotent).
    void attachViews();
    void updateIndicators();
    void replaceIndicator(std::shared_ptr<UIView> indicator);
    void updateLabel(const std::string& key);

    // Showing and hiding (LOProgressHUDLifecycle.cpp).
    void moveTo(Phase phase);
    void showUsingAnimation(bool animated);
    void hideUsingAnimation(bool animated);
    void handleGraceTimer();
    void handleMinShowTimer();
    void done();
    void cleanUp();
    void cancelTimers();
    void cancelDelayedHides();

    // Orientation and geometry (LOProgressHUDLayout.cpp).
    void registerForOrientationChanges();
    void statusBarOrientationDidChange();
    void setTransformForCurrentOrientation(bool animated);

    mutable std::mutex propertiesMutex_;  // guards properties_
    Properties properties_;

    // Main thread only.
    std::shared_ptr<UIView> indicator_;
    std::shared_ptr<UILabel> label_;
    std::shared_ptr<UILabel> detailsLabel_;
    std::shared_ptr<NSTimer> graceTimer_;
    std::shared_ptr<NSTimer> minShowTimer_;
    std::vector<std::shared_ptr<NSTimer>> delayedHides_;
    std::optional<double> showStarted_;
    bool useAnimation_ = false;
    CGAffineTransform rotationTransform_ = CGAffineTransformIdentity;
    Phase phase_ = Phase::Idle;
    bool finishPending_ = true;        // the current showing has not been finished yet
    std::uint64_t fadeGeneration_ = 0; // a fade-out finishes only while its generation is current
    std::shared_ptr<NSObject> targetForExecution_;
    ExecutionMethod methodForExecution_;
    std::shared_ptr<NSObject> objectForExecution_;
    bool observingOrientation_ = false;
    bool viewsAttached_ = false;
};

template <class HUD>
std::shared_ptr<HUD> LOProgressHUD::initWithFrame(CGRect frame) {
    auto hud = std::make_shared<HUD>(frame);
    hud->attachViews();
    return hud;
}

template <class HUD>
std::shared_ptr<HUD> LOProgressHUD::showHUDAddedTo(const std::shared_ptr<UIView>& view, bool animated) {
    auto hud = initWithView<HUD>(view);
    hud->setRemoveFromSuperViewOnHide(true);
    if (view) view->addSubview(hud);
    hud->show(animated);
    return hud;
}

template <class HUD>
bool LOProgressHUD::hideHUDForView(const std::shared_ptr<UIView>& view, bool animated) {
    auto hud = HUDForView<HUD>(view);
    if (!hud) return false;
    hud->setRemoveFromSuperViewOnHide(true);
    hud->hide(animated);
    return true;
}

template <class HUD>
std::shared_ptr<HUD> LOProgressHUD::HUDForView(const std::shared_ptr<UIView>& view) {
    if (!view) return nullptr;
    const auto& subviews = view->subviews();
    for (auto it = subviews.rbegin(); it != subviews.rend(); ++it)
        if (auto hud = std::dynamic_pointer_cast<HUD>(*it)) return hud;
    return nullptr;
}

template <class HUD>
std::vector<std::shared_ptr<HUD>> LOProgressHUD::allHUDsForView(const std::shared_ptr<UIView>& view) {
    std::vector<std::shared_ptr<HUD>> huds;
    if (!view) return huds;
    for (const auto& subview : view->subviews())
        if (auto hud = std::dynamic_pointer_cast<HUD>(subview)) huds.push_back(hud);
    return huds;
}
