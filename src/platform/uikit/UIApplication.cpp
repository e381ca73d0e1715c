#include "platform/foundation/ProcessLifetime.h"
#include "platform/uikit/UIApplication.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <mutex>

#include "platform/dispatch/Dispatch.h"
#include "platform/foundation/ClassRegistry.h"
#include "platform/foundation/Clock.h"
#include "platform/foundation/NSLog.h"
#include "platform/foundation/NSNotificationCenter.h"
#include "platform/runloop/NSThread.h"
#include "platform/base/ThreadAssertions.h"
#include "platform/runloop/NSRunLoop.h"
#include "platform/uikit/UIApplicationDelegate.h"
#include "platform/uikit/UIInterfaceRotation.h"
#include "platform/uikit/UIPopoverController.h"
#include "platform/uikit/UIScreen.h"
#include "platform/uikit/UISystemVersion.h"
#include "platform/uikit/UIView.h"
#include "platform/uikit/UIViewController.h"
#include "platform/uikit/UIWindow.h"

namespace {
std::mutex sharedMutex;
// Both live for the process: late callbacks and exit handlers may still ask.
std::shared_ptr<UIApplication>& sharedSlot() {
    static ProcessLifetime<std::shared_ptr<UIApplication>> app;
    return *app;
}
UIApplication::MainInterfaceLoader& loaderSlot() {
    static ProcessLifetime<UIApplication::MainInterfaceLoader> loader;
    return *loader;
}

std::string schemeOf(const std::string& url) {
    auto colon = url.find(':');
    if (colon == std::string::npos || colon == 0) return {};
    std::string scheme = url.substr(0, colon);
    if (!std::all_of(scheme.begin(), scheme.end(), [](unsigned char c) { return std::isalnum(c) || c == '+' || c == '-' || c == '.'; }))
        return {};
    std::transform(scheme.begin(), scheme.end(), scheme.begin(), [](unsigned char c) { return std::tolower(c); });
    return scheme;
}

sigset_t terminationSignals() {
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    return signals;
}

// SIGINT and SIGTERM reach the main run loop through a pipe the handler writes to.
std::atomic<int> signalWriteFd{-1};
extern "C" void onTerminationSignal(int signo) {
    int saved = errno;
    int fd = signalWriteFd.load();
    if (fd >= 0) {
        unsigned char byte = static_cast<unsigned char>(signo);
        [[maybe_unused]] auto n = ::write(fd, &byte, 1);
    }
    errno = saved;
}

class SignalPipe {
public:
    SignalPipe() {
        if (::pipe2(fds_, O_CLOEXEC | O_NONBLOCK) != 0) {
            fds_[0] = fds_[1] = -1;
            NSLog("UIApplicationMain: no signal pipe, SIGINT and SIGTERM keep their default action");
            return;
        }
        signalWriteFd = fds_[1];
        struct sigaction sa {};
        sa.sa_handler = onTerminationSignal;
        sigemptyset(&sa.sa_mask);
        sa.sa_flags = SA_RESTART;
        ::sigaction(SIGINT, &sa, &oldInt_);
        ::sigaction(SIGTERM, &sa, &oldTerm_);
        installed_ = true;
        // A program may hold the two back from its start (UIApplicationHoldTerminationSignals)
        // so that one sent before this point ends it through the loop too: it is
        // delivered now, to this thread.
        const sigset_t termination = terminationSignals();
        ::pthread_sigmask(SIG_UNBLOCK, &termination, nullptr);
    }
    ~SignalPipe() {
        if (installed_) {
            ::sigaction(SIGINT, &oldInt_, nullptr);
            ::sigaction(SIGTERM, &oldTerm_, nullptr);
        }
        signalWriteFd = -1;
        if (fds_[0] >= 0) ::close(fds_[0]);
        if (fds_[1] >= 0) ::close(fds_[1]);
    }
    SignalPipe(const SignalPipe&) = delete;
    SignalPipe& operator=(const SignalPipe&) = delete;
    int readFd() const { return fds_[0]; }

private:
    int fds_[2];
    bool installed_ = false;
    struct sigaction oldInt_ {}, oldTerm_ {};
};
}  // namespace

void UIApplicationHoldTerminationSignals() {
    const sigset_t termination = terminationSignals();
    ::pthread_sigmask(SIG_BLOCK, &termination, nullptr);
}

UIApplication::UIApplication() = default;

UIApplication::~UIApplication() = default;

std::shared_ptr<UIApplication> UIApplication::sharedApplication() {
    std::lock_guard lock(sharedMutex);
    auto& app = sharedSlot();
    if (!app) app = std::make_shared<UIApplication>();
    return app;
}

void UIApplication::setSharedApplication(std::shared_ptr<UIApplication> application) {
    std::lock_guard lock(sharedMutex);
    sharedSlot() = std::move(application);
}

std::shared_ptr<UIApplicationDelegate> UIApplication::delegate() const { return delegate_; }

void UIApplication::setDelegate(std::shared_ptr<UIApplicationDelegate> delegate) { delegate_ = std::move(delegate); }

void UIApplication::setStatusBarStyle(UIStatusBarStyle style, bool animated) {
    willChangeValueForKey("statusBarStyle");
    statusBarStyle_ = style;
    statusBarAnimated_ = animated;
    didChangeValueForKey("statusBarStyle");
}

std::vector<std::shared_ptr<UIWindow>> UIApplication::windows() const { return UIWindow::allWindows(); }

void UIApplication::setStatusBarOrientation(UIInterfaceOrientation orientation, bool animated) {
    UIInterfaceOrientation old = statusBarOrientation_.load();
    if (orientation == old) return;
    const CGRect oldFrame = statusBarFrame();
    auto me = self<UIApplication>();
    auto center = NSNotificationCenter::defaultCenter();
    center->postNotificationName(UIApplicationWillChangeStatusBarOrientationNotification, me,
                                 Value{{UIApplicationStatusBarOrientationUserInfoKey, Value(long(orientation))}});
    willChangeValueForKey("statusBarOrientation");
    statusBarOrientation_ = orientation;
    statusBarAnimated_ = animated;
    didChangeValueForKey("statusBarOrientation");
    center->postNotificationName(UIApplicationDidChangeStatusBarOrientationNotification, me,
                                 Value{{UIApplicationStatusBarOrientationUserInfoKey, Value(long(old))}});
    statusBarFrameMayHaveChanged(oldFrame);
}

void UIApplication::statusBarFrameMayHaveChanged(CGRect old) {
    if (CGRectEqualToRect(old, statusBarFrame())) return;
    const Value frame{{"x", Value(double(old.origin.x))},
                      {"y", Value(double(old.origin.y))},
                      {"width", Value(double(old.size.width))},
                      {"height", Value(double(old.size.height))}};
    NSNotificationCenter::defaultCenter()->postNotificationName(UIApplicationDidChangeStatusBarFrameNotification,
                                                                self<UIApplication>(),
                                                                Value{{UIApplicationStatusBarFrameUserInfoKey, frame}});
}

void UIApplication::setStatusBarHidden(bool hidden, bool animated) {
    setStatusBarHidden(hidden, animated ? UIStatusBarAnimationFade : UIStatusBarAnimationNone);
}

void UIApplication::setStatusBarHidden(bool hidden, UIStatusBarAnimation animation) {
    const CGRect oldFrame = statusBarFrame();
    willChangeValueForKey("statusBarHidden");
    statusBarHidden_ = hidden;
    statusBarAnimated_ = animation != UIStatusBarAnimationNone;
    statusBarAnimation_ = animation;
    didChangeValueForKey("statusBarHidden");
    statusBarFrameMayHaveChanged(oldFrame);
}

CGRect UIApplication::statusBarFrame() const {
    if (statusBarHidden_) return CGRectZero;
    CGRect screen = UIScreen::mainScreen()->portraitBounds();
    CGFloat w = screen.size.width, h = screen.size.height, bar = kUIStatusBarHeight;
    auto o = statusBarOrientation();
    if (UIScreenBoundsFollowOrientation())
        return CGRectMake(0, 0, UIInterfaceOrientationIsLandscape(o) ? h : w, bar);
    switch (o) {
    case UIInterfaceOrientationPortraitUpsideDown: return CGRectMake(0, h - bar, w, bar);
    // Home button on the left: the interface's top is the portrait screen's left edge.
    case UIInterfaceOrientationLandscapeLeft: return CGRectMake(0, 0, bar, h);
    case UIInterfaceOrientationLandscapeRight: return CGRectMake(w - bar, 0, bar, h);
    default: return CGRectMake(0, 0, w, bar);
    }
}

bool UIApplication::canOpenURL(const std::string& url) const {
    auto scheme = schemeOf(url);
    if (scheme.empty()) return false;
    if (auto it = schemeAnswers_.find(scheme); it != schemeAnswers_.end()) return it->second;
    return scheme == "http" || scheme == "https" || scheme == "file";
}

bool UIApplication::openURL(const std::string& url) {
    if (!canOpenURL(url)) return false;
    openedURLs_.push_back(url);
    const auto observers = openedURLObservers_;  // an observer may remove itself
    for (const auto& [id, observer] : observers) observer(url);
    return true;
}

std::uint64_t UIApplication::addOpenedURLObserver(OpenedURLObserver observer) {
    const std::uint64_t id = nextOpenedURLObserver_++;
    openedURLObservers_.emplace(id, std::move(observer));
    return id;
}

void UIApplication::removeOpenedURLObserver(std::uint64_t id) { openedURLObservers_.erase(id); }

void UIApplication::setCanOpenScheme(const std::string& scheme, bool answer) {
    auto s = schemeOf(scheme + ":");
    if (!s.empty()) schemeAnswers_[s] = answer;
}

std::vector<std::string> UIApplication::openedURLs() const { return openedURLs_; }

void UIApplication::resetOpenedURLs() { openedURLs_.clear(); }

UIBackgroundTaskIdentifier UIApplication::beginBackgroundTaskWithExpirationHandler(std::function<void()> handler) {
    std::lock_guard lock(tasksMutex_);
    auto id = nextBackgroundTask_++;
    backgroundTasks_[id] = std::move(handler);
    return id;
}

void UIApplication::endBackgroundTask(UIBackgroundTaskIdentifier identifier) {
    std::function<void()> released;  // destroyed outside the lock
    std::lock_guard lock(tasksMutex_);
    auto it = backgroundTasks_.find(identifier);
    if (it == backgroundTasks_.end()) return;
    released = std::move(it->second);
    backgroundTasks_.erase(it);
}

std::size_t UIApplication::openBackgroundTaskCount() const {
    std::lock_guard lock(tasksMutex_);
    return backgroundTasks_.size();
}

void UIApplication::expireBackgroundTasksForTesting() {
    std::vector<std::pair<UIBackgroundTaskIdentifier, std::function<void()>>> open;
    {
        std::lock_guard lock(tasksMutex_);
        for (auto& [id, handler] : backgroundTasks_) open.emplace_back(id, handler);
    }
    dispatch_main_sync_safe([&] {
        for (auto& [id, handler] : open)
            if (handler) handler();
    });
}

void UIApplication::enterBackgroundForTesting() {
    auto me = self<UIApplication>();
    auto center = NSNotificationCenter::defaultCenter();
    if (state_ == UIApplicationStateActive) {
        if (delegate_) delegate_->applicationWillResignActive(me);
        center->postNotificationName(UIApplicationWillResignActiveNotification, me);
    }
    state_ = UIApplicationStateBackground;
    if (delegate_) delegate_->applicationDidEnterBackground(me);
    center->postNotificationName(UIApplicationDidEnterBackgroundNotification, me);
}

void UIApplication::enterForegroundForTesting() {
    if (state_ != UIApplicationStateBackground) return;
    auto me = self<UIApplication>();
    auto center = NSNotificationCenter::defaultCenter();
    state_ = UIApplicationStateInactive;
    if (delegate_) delegate_->applicationWillEnterForeground(me);
    center->postNotificationName(UIApplicationWillEnterForegroundNotification, me);
    state_ = UIApplicationStateActive;
    if (delegate_) delegate_->applicationDidBecomeActive(me);
    center->postNotificationName(UIApplicationDidBecomeActiveNotification, me);
}

void UIApplication::simulateMemoryWarning() {
    dispatch_main_async_safe([me = self<UIApplication>()] { me->receiveMemoryWarning(); });
}

void UIApplication::receiveMemoryWarning() {
    QV_ASSERT_MAIN_THREAD();
    auto me = self<UIApplication>();
    if (delegate_) delegate_->applicationDidReceiveMemoryWarning(me);
    NSNotificationCenter::defaultCenter()->postNotificationName(UIApplicationDidReceiveMemoryWarningNotification, me);
    std::vector<std::shared_ptr<UIViewController>> controllers;
    auto add = [&](const std::shared_ptr<UIViewController>& vc) {
        if (vc && std::find(controllers.begin(), controllers.end(), vc) == controllers.end()) controllers.push_back(vc);
    };
    for (auto& window : UIWindow::allWindows())
        for (auto& vc : UIInterfaceRotation::allControllers(*window)) add(vc);
    for (auto& popover : UIPopoverController::visiblePopovers()) add(popover->contentViewController());
    for (auto& vc : controllers) vc->didReceiveMemoryWarning();
}

void UIApplication::terminate() {
    terminating_ = true;
    NSRunLoop::mainRunLoop()->wakeUp();
}

std::shared_ptr<UIResponder> UIApplication::nextResponder() const {
    auto d = delegate_;
    auto r = std::dynamic_pointer_cast<UIResponder>(d);
    if (!r || std::dynamic_pointer_cast<UIView>(r) || std::dynamic_pointer_cast<UIViewController>(r) ||
        r.get() == this)
        return nullptr;
    return r;
}

void UIApplication::setMainInterfaceLoader(MainInterfaceLoader loader) {
    std::lock_guard lock(sharedMutex);
    loaderSlot() = std::move(loader);
}

UIApplication::MainInterfaceLoader UIApplication::mainInterfaceLoader() {
    std::lock_guard lock(sharedMutex);
    return loaderSlot();
}

int UIApplicationMain(int /*argc*/, char** /*argv*/, const std::string& principalClassName,
                      const std::string& delegateClassName) {
    if (!NSThread::isMainThread()) {
        NSLog("UIApplicationMain must be called on the main thread");
        return 1;
    }
    std::shared_ptr<UIApplication> app;
    if (!principalClassName.empty()) {
        app = std::dynamic_pointer_cast<UIApplication>(ClassRegistry::create(principalClassName));
        if (!app) {
            NSLog("UIApplicationMain: no application class named %@", principalClassName);
            return 1;
        }
        UIApplication::setSharedApplication(app);
    } else {
        app = UIApplication::sharedApplication();
    }

    auto delegateObject = ClassRegistry::create(delegateClassName);
    auto delegate = std::dynamic_pointer_cast<UIApplicationDelegate>(delegateObject);
    if (!delegate) {
        NSLog("UIApplicationMain: no application delegate class named %@", delegateClassName);
        return 1;
    }

    SignalPipe signals;
    auto runLoop = NSRunLoop::mainRunLoop();
    NSRunLoop::SourceId signalSource = 0;
    if (signals.readFd() >= 0) {
        signalSource = runLoop->addFileDescriptor(signals.readFd(), POLLIN, [weakApp = std::weak_ptr(app)](int fd, short) {
            unsigned char buf[16];
            while (::read(fd, buf, sizeof buf) > 0) {}
            if (auto a = weakApp.lock()) a->terminate();
        });
    }

    app->terminating_ = false;
    app->state_ = UIApplicationStateInactive;
    app->setDelegate(delegate);

    if (auto loader = UIApplication::mainInterfaceLoader()) {
        if (auto root = loader()) {
            auto window = std::make_shared<UIWindow>(UIScreen::mainScreen()->bounds());
            window->setRootViewController(root);
            delegate->setWindow(window);
        }
    }

    delegate->didFinishLaunchingWithOptions(app, Value());
    if (auto window = delegate->window(); window && !app->terminating_) window->makeKeyAndVisible();
    NSNotificationCenter::defaultCenter()->postNotificationName(UIApplicationDidFinishLaunchingNotification, app);
    if (!app->terminating_) {
        app->state_ = UIApplicationStateActive;
        delegate->applicationDidBecomeActive(app);
        NSNotificationCenter::defaultCenter()->postNotificationName(UIApplicationDidBecomeActiveNotification, app);
    }

    while (!app->terminating_) runLoop->runMode(NSDefaultRunLoopMode, Clock::now() + 3600);

    if (signalSource) runLoop->removeFileDescriptor(signalSource);
    delegate->applicationWillTerminate(app);
    NSNotificationCenter::defaultCenter()->postNotificationName(UIApplicationWillTerminateNotification, app);
    app->state_ = UIApplicationStateBackground;
    return 0;
}
