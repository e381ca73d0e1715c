#pragma once
// The application object: its delegate (held strongly, as the application keeps
// it), key window, status bar, state, and the recording stand-in for opening URLs.
#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/graphics/CGGeometry.h"
#include "platform/uikit/UIResponder.h"

class UIApplicationDelegate;
class UIViewController;
class UIWindow;

enum UIStatusBarStyle : long {
    UIStatusBarStyleDefault = 0,
    UIStatusBarStyleLightContent = 1,
    UIStatusBarStyleBlackOpaque = 2,
};

// How the status bar shows or hides.
enum UIStatusBarAnimation : long {
    UIStatusBarAnimationNone = 0,
    UIStatusBarAnimationFade = 1,
    UIStatusBarAnimationSlide = 2,
};

enum UIApplicationState : long {
    UIApplicationStateActive = 0,
    UIApplicationStateInactive = 1,
    UIApplicationStateBackground = 2,
};

inline constexpr const char* UIApplicationDidFinishLaunchingNotification = "UIApplicationDidFinishLaunchingNotification";
inline constexpr const char* UIApplicationDidBecomeActiveNotification = "UIApplicationDidBecomeActiveNotification";
inline constexpr const char* UIApplicationWillTerminateNotification = "UIApplicationWillTerminateNotification";
inline constexpr const char* UIApplicationWillResignActiveNotification = "UIApplicationWillResignActiveNotification";
inline constexpr const char* UIApplicationDidEnterBackgroundNotification = "UIApplicationDidEnterBackgroundNotification";
inline constexpr const char* UIApplicationWillEnterForegroundNotification = "UIApplicationWillEnterForegroundNotification";
inline constexpr const char* UIApplicationDidReceiveMemoryWarningNotification =
    "UIApplicationDidReceiveMemoryWarningNotification";

enum UIInterfaceOrientation : long {
    UIInterfaceOrientationUnknown = 0,
    UIInterfaceOrientationPortrait = 1,
    UIInterfaceOrientationPortraitUpsideDown = 2,
    UIInterfaceOrientationLandscapeLeft = 4,
    UIInterfaceOrientationLandscapeRight = 3,
};
inline bool UIInterfaceOrientationIsPortrait(UIInterfaceOrientation o) {
    return o == UIInterfaceOrientationPortrait || o == UIInterfaceOrientationPortraitUpsideDown;
}
inline bool UIInterfaceOrientationIsLandscape(UIInterfaceOrientation o) {
    return o == UIInterfaceOrientationLandscapeLeft || o == UIInterfaceOrientationLandscapeRight;
}

inline constexpr const char* UIApplicationWillChangeStatusBarOrientationNotification =
    "UIApplicationWillChangeStatusBarOrientationNotification";
inline constexpr const char* UIApplicationDidChangeStatusBarOrientationNotification =
    "UIApplicationDidChangeStatusBarOrientationNotification";
// The new orientation (will-change) or the old one (did-change), as a number.
inline constexpr const char* UIApplicationStatusBarOrientationUserInfoKey = "UIApplicationStatusBarOrientationUserInfoKey";
// Posted (object: the application) after the status bar's frame changed, by a
// turn of the interface or by hiding or showing the bar; the user info holds
// the old frame as a dictionary {"x", "y", "width", "height"}.
inline constexpr const char* UIApplicationDidChangeStatusBarFrameNotification =
    "UIApplicationDidChangeStatusBarFrameNotification";
inline constexpr const char* UIApplicationStatusBarFrameUserInfoKey = "UIApplicationStatusBarFrameUserInfoKey";

// The status bar's height in points.
inline constexpr double kUIStatusBarHeight = 20;

using UIBackgroundTaskIdentifier = std::uint64_t;
inline constexpr UIBackgroundTaskIdentifier UIBackgroundTaskInvalid = 0;

class UIApplication : public UIResponder {
public:
    UIApplication();
    ~UIApplication() override;

    // The process-wide application (created on first use; UIApplicationMain
    // installs an instance of the principal class when one is named).
    static std::shared_ptr<UIApplication> sharedApplication();
    static void setSharedApplication(std::shared_ptr<UIApplication> application);

    std::shared_ptr<UIApplicationDelegate> delegate() const;
    void setDelegate(std::shared_ptr<UIApplicationDelegate> delegate);
    // The delegate as the concrete class the program gave (null for another class).
    template <class T>
    std::shared_ptr<T> delegateAs() const { return std::dynamic_pointer_cast<T>(delegate()); }

    std::shared_ptr<UIWindow> keyWindow() const { return keyWindow_.lock(); }
    void setKeyWindow(const std::shared_ptr<UIWindow>& window) { keyWindow_ = window; }

    UIStatusBarStyle statusBarStyle() const { return statusBarStyle_; }
    void setStatusBarStyle(UIStatusBarStyle style, bool animated = false);
    bool lastStatusBarChangeAnimated() const { return statusBarAnimated_; }
    bool isNetworkActivityIndicatorVisible() const { return networkActivityIndicatorVisible_; }
    void setNetworkActivityIndicatorVisible(bool visible) { networkActivityIndicatorVisible_ = visible; }

    // The windows shown so far and still alive, by window level.
    std::vector<std::shared_ptr<UIWindow>> windows() const;

    // The interface orientation. Setting a different one posts
    // UIApplicationWillChangeStatusBarOrientationNotification (user info: the
    // new orientation), changes it, then posts the did-change notification
    // (user info: the old one). Any thread may read it.
    UIInterfaceOrientation statusBarOrientation() const { return statusBarOrientation_.load(); }
    void setStatusBarOrientation(UIInterfaceOrientation orientation, bool animated = false);
    bool isStatusBarHidden() const { return statusBarHidden_; }
    // setStatusBarHidden:animated: (animated counts as the fade) and
    // setStatusBarHidden:withAnimation:; the last animation asked is kept.
    void setStatusBarHidden(bool hidden, bool animated = false);
    void setStatusBarHidden(bool hidden, UIStatusBarAnimation animation);
    UIStatusBarAnimation lastStatusBarAnimation() const { return statusBarAnimation_; }
    // The status bar's frame in screen coordinates: zero when hidden; a 20-point
    // strip along the interface's top edge, in the portrait screen's fixed
    // coordinates before 8.0 and in the oriented ones from 8.0 on.
    CGRect statusBarFrame() const;

    // Whether the application keeps the screen from dimming (recorded: the
    // stand-in has no screen to dim).
    bool isIdleTimerDisabled() const { return idleTimerDisabled_; }
    void setIdleTimerDisabled(bool disabled) { idleTimerDisabled_ = disabled; }

    UIApplicationState applicationState() const { return state_; }
    void setApplicationState(UIApplicationState state) { state_ = state; }

    // Opening URLs: canOpenURL answers by scheme (http, https and file yes, any
    // other scheme no, unless a test set an answer); openURL records the URLs it
    // accepted.
    bool canOpenURL(const std::string& url) const;
    bool openURL(const std::string& url);
    // Told of every URL openURL accepted, after it is recorded (what stands for
    // the rest of the device: the device screen shows them). Main thread.
    using OpenedURLObserver = std::function<void(const std::string& url)>;
    std::uint64_t addOpenedURLObserver(OpenedURLObserver observer);
    void removeOpenedURLObserver(std::uint64_t id);
    void setCanOpenScheme(const std::string& scheme, bool answer);
    std::vector<std::string> openedURLs() const;
    void resetOpenedURLs();

    // Background tasks: identifiers from 1 up, each open until ended. The stand-in
    // never expires them by itself; expireBackgroundTasksForTesting runs the
    // expiration handlers of the open ones (on the main thread), as the platform
    // does when background time runs out. Any thread may begin and end tasks.
    UIBackgroundTaskIdentifier beginBackgroundTaskWithExpirationHandler(std::function<void()> handler);
    void endBackgroundTask(UIBackgroundTaskIdentifier identifier);
    std::size_t openBackgroundTaskCount() const;
    void expireBackgroundTasksForTesting();

    // Moves the application between the active, inactive and background states
    // the way the platform does, telling the delegate and posting the notifications.
    void enterBackgroundForTesting();
    void enterForegroundForTesting();
    // A memory warning, as the system gives one: the delegate's
    // applicationDidReceiveMemoryWarning, then
    // UIApplicationDidReceiveMemoryWarningNotification, then
    // didReceiveMemoryWarning to every view controller of every window (roots,
    // all their children and everything presented) and to the content of every
    // visible popover. receiveMemoryWarning does
    // it now (main thread); simulateMemoryWarning from any thread (at once on
    // the main thread, else through the main queue).
    void receiveMemoryWarning();
    void simulateMemoryWarning();

    // Ends the running UIApplicationMain loop (from any thread).
    void terminate();
    bool isTerminating() const { return terminating_; }

    // The application follows its delegate in the responder chain when the
    // delegate is itself a responder.
    std::shared_ptr<UIResponder> nextResponder() const override;

    // The initial interface: when set, UIApplicationMain gives the delegate a
    // window with this controller as root before launching, and shows the window
    // after launching (as the platform does with the main storyboard).
    using MainInterfaceLoader = std::function<std::shared_ptr<UIViewController>()>;
    static void setMainInterfaceLoader(MainInterfaceLoader loader);
    static MainInterfaceLoader mainInterfaceLoader();

private:
    // Posts the frame-changed notification when the frame differs from `old`.
    void statusBarFrameMayHaveChanged(CGRect old);
    friend int UIApplicationMain(int, char**, const std::string&, const std::string&);
    std::shared_ptr<UIApplicationDelegate> delegate_;
    std::weak_ptr<UIWindow> keyWindow_;
    UIStatusBarStyle statusBarStyle_ = UIStatusBarStyleDefault;
    bool statusBarAnimated_ = false;
    bool networkActivityIndicatorVisible_ = false;
    std::atomic<UIInterfaceOrientation> statusBarOrientation_{UIInterfaceOrientationPortrait};
    bool statusBarHidden_ = false;
    bool idleTimerDisabled_ = false;
    UIStatusBarAnimation statusBarAnimation_ = UIStatusBarAnimationNone;
    UIApplicationState state_ = UIApplicationStateInactive;
    std::map<std::string, bool> schemeAnswers_;
    std::vector<std::string> openedURLs_;
    std::map<std::uint64_t, OpenedURLObserver> openedURLObservers_;
    std::uint64_t nextOpenedURLObserver_ = 1;
    std::atomic<bool> terminating_{false};
    mutable std::mutex tasksMutex_;
    std::map<UIBackgroundTaskIdentifier, std::function<void()>> backgroundTasks_;
    UIBackgroundTaskIdentifier nextBackgroundTask_ = 1;
};

// Runs the application: installs the principal class (UIApplication when the name
// is empty), creates the delegate class registered under `delegateClassName`,
// launches it, posts UIApplicationDidFinishLaunchingNotification, runs the main
// run loop until terminate() or SIGINT/SIGTERM, tells the delegate it will
// terminate and returns 0. Returns 1 when the delegate (or principal) class is
// unknown, or when called off the main thread.
// Holds SIGINT and SIGTERM back on the calling thread and every thread it starts
// from now on, until UIApplicationMain takes them through its run loop: called
// first thing in main, a termination asked for during start-up then ends the
// application as one asked for later does, instead of killing it outright.
void UIApplicationHoldTerminationSignals();
int UIApplicationMain(int argc, char** argv, const std::string& principalClassName,
                      const std::string& delegateClassName);
