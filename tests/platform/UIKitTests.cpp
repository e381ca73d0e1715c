// Protects the view and controller stand-ins: view trees, loading, presentation, navigation, tab bars and badges, the responder chain, alerts, the pasteboard.
#include <doctest/doctest.h>

#include <signal.h>

#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "platform/dispatch/Dispatch.h"
#include "platform/foundation/ClassRegistry.h"
#include "platform/foundation/NSLog.h"
#include "platform/foundation/NSNotificationCenter.h"
#include "platform/runloop/NSThread.h"
#include "platform/uikit/UIAlertView.h"
#include "platform/uikit/UIApplication.h"
#include "platform/uikit/UIApplicationDelegate.h"
#include "platform/uikit/UINavigationController.h"
#include "platform/uikit/UIPasteboard.h"
#include "platform/uikit/UIScreen.h"
#include "platform/uikit/UITabBar.h"
#include "platform/uikit/UITabBarController.h"
#include "platform/uikit/UITabBarItem.h"
#include "platform/uikit/UIView.h"
#include "platform/uikit/UIViewController.h"
#include "platform/uikit/UIWindow.h"
#include "support/TestEnvironment.h"

using testsupport::runMainUntil;

namespace {

// A controller that writes its appearance callbacks into a shared journal.
class JournalController : public UIViewController {
public:
    JournalController(std::string name, std::shared_ptr<std::vector<std::string>> journal)
        : name_(std::move(name)), journal_(std::move(journal)) {}
    void viewDidLoad() override { journal_->push_back(name_ + " load"); }
    void viewWillAppear(bool) override { journal_->push_back(name_ + " willAppear"); }
    void viewDidAppear(bool) override { journal_->push_back(name_ + " didAppear"); }
    void viewWillDisappear(bool) override { journal_->push_back(name_ + " willDisappear"); }
    void viewDidDisappear(bool) override { journal_->push_back(name_ + " didDisappear"); }

private:
    std::string name_;
    std::shared_ptr<std::vector<std::string>> journal_;
};

struct LogCapture {
    std::vector<std::string> lines;
    LogCapture() {
        setLogHook([this](const std::string& line) { lines.push_back(line); });
    }
    ~LogCapture() { setLogHook(nullptr); }
    bool contains(const std::string& text) const {
        for (auto& l : lines)
            if (l.find(text) != std::string::npos) return true;
        return false;
    }
};

std::shared_ptr<UIWindow> visibleWindowWith(const std::shared_ptr<UIViewController>& root) {
    auto window = std::make_shared<UIWindow>(CGRectMake(0, 0, 320, 568));
    window->setRootViewController(root);
    window->makeKeyAndVisible();
    return window;
}

}  // namespace

TEST_CASE("views move between superviews and refuse cycles") {
    auto a = std::make_shared<UIView>(CGRectMake(0, 0, 100, 100));
    auto b = std::make_shared<UIView>(CGRectMake(10, 20, 30, 40));
    auto c = std::make_shared<UIView>();
    CHECK(b->bounds() == CGRectMake(0, 0, 30, 40));
    CHECK(b->center() == CGPointMake(25, 40));
    a->addSubview(b);
    b->addSubview(c);
    CHECK(b->superview() == a);
    CHECK(c->isDescendantOfView(a.get()));

    LogCapture log;
    c->addSubview(a);  // a is an ancestor of c
    CHECK(a->superview() == nullptr);
    CHECK(c->subviews().empty());
    CHECK(log.contains("refusing"));

    a->addSubview(c);  // moves from b to a
    CHECK(b->subviews().empty());
    REQUIRE(a->subviews().size() == 2);
    CHECK(a->subviews().back() == c);
    c->setTag(7);
    CHECK(a->viewWithTag(7) == c);
    CHECK(a->viewWithTag(8) == nullptr);
    c->removeFromSuperview();
    CHECK(c->superview() == nullptr);
    CHECK(a->subviews().size() == 1);

    auto window = std::make_shared<UIWindow>(CGRectMake(0, 0, 320, 480));
    window->addSubview(a);
    CHECK(b->window() == window);
    CHECK(c->window() == nullptr);
}

TEST_CASE("a view controller loads its view once on first use") {
    auto journal = std::make_shared<std::vector<std::string>>();
    auto vc = std::make_shared<JournalController>("A", journal);
    CHECK_FALSE(vc->isViewLoaded());
    auto v = vc->view();
    CHECK(vc->view() == v);
    CHECK(*journal == std::vector<std::string>{"A load"});
    CHECK(v->nextResponder() == vc);
}

TEST_CASE("presenting and dismissing without animation") {
    auto journal = std::make_shared<std::vector<std::string>>();
    auto root = std::make_shared<JournalController>("root", journal);
    auto window = visibleWindowWith(root);
    auto modal = std::make_shared<JournalController>("modal", journal);
    journal->clear();

    bool presentedDone = false;
    root->presentViewController(modal, false, [&] { presentedDone = true; });
    CHECK(presentedDone);
    CHECK(root->presentedViewController() == modal);
    CHECK(modal->presentingViewController() == root);
    CHECK(modal->view()->superview() == window);
    CHECK(modal->view()->frame() == window->bounds());
    CHECK(*journal == std::vector<std::string>{"root willDisappear", "modal load", "modal willAppear",
                                               "modal didAppear", "root didDisappear"});
    CHECK(modal->nextResponder() == root);

    journal->clear();
    bool dismissed = false;
    modal->dismissViewControllerAnimated(false, [&] { dismissed = true; });
    CHECK(dismissed);
    CHECK(root->presentedViewController() == nullptr);
    CHECK(modal->presentingViewController() == nullptr);
    CHECK(modal->view()->superview() == nullptr);
    CHECK(*journal == std::vector<std::string>{"modal willDisappear", "root willAppear", "modal didDisappear",
                                               "root didAppear"});
}

TEST_CASE("animated presentation finishes on the next main loop pass") {
    auto journal = std::make_shared<std::vector<std::string>>();
    auto root = std::make_shared<JournalController>("root", journal);
    auto window = visibleWindowWith(root);
    auto modal = std::make_shared<JournalController>("modal", journal);
    journal->clear();

    bool completed = false, completedOnMain = false;
    root->presentViewController(modal, true, [&] {
        completed = true;
        completedOnMain = NSThread::isMainThread();
    });
    CHECK(root->presentedViewController() == modal);
    CHECK(modal->isBeingPresented());
    CHECK_FALSE(completed);
    CHECK(std::find(journal->begin(), journal->end(), "modal didAppear") == journal->end());
    REQUIRE(runMainUntil([&] { return completed; }));
    CHECK(completedOnMain);
    CHECK_FALSE(modal->isBeingPresented());
    CHECK(modal->isViewVisible());
    CHECK_FALSE(root->isViewVisible());

    // A dismissal asked for while the controller is still animating in waits for it.
    auto second = std::make_shared<JournalController>("second", journal);
    modal->dismissViewControllerAnimated(false);
    bool again = false;
    root->presentViewController(second, true);
    second->dismissViewControllerAnimated(true, [&] { again = true; });
    CHECK(root->presentedViewController() == second);
    REQUIRE(runMainUntil([&] { return again; }));
    CHECK(root->presentedViewController() == nullptr);
    CHECK(root->isViewVisible());
}

TEST_CASE("a controller that already presents refuses a second presentation") {
    auto root = std::make_shared<UIViewController>();
    auto window = visibleWindowWith(root);
    auto first = std::make_shared<UIViewController>();
    auto second = std::make_shared<UIViewController>();
    root->presentViewController(first, false);

    LogCapture log;
    bool ran = false;
    root->presentViewController(second, false, [&] { ran = true; });
    CHECK_FALSE(ran);
    CHECK(root->presentedViewController() == first);
    CHECK(second->presentingViewController() == nullptr);
    CHECK(log.contains("Attempt to present"));
    CHECK(log.contains("which is already presenting"));

    // The presented controller may present in turn; dismissing from the root
    // takes both away.
    first->presentViewController(second, false);
    CHECK(first->presentedViewController() == second);
    CHECK(second->view()->superview() == window);
    root->dismissViewControllerAnimated(false);
    CHECK(root->presentedViewController() == nullptr);
    CHECK(first->presentedViewController() == nullptr);
    CHECK(second->presentingViewController() == nullptr);
    CHECK(first->view()->superview() == nullptr);
    CHECK(second->view()->superview() == nullptr);
    CHECK(root->isViewVisible());

    // A controller cannot be presented twice at once.
    log.lines.clear();
    root->presentViewController(first, false);
    auto other = std::make_shared<UIViewController>();
    auto otherWindow = visibleWindowWith(other);
    other->presentViewController(first, false);
    CHECK(other->presentedViewController() == nullptr);
    CHECK(log.contains("active controller"));
    root->dismissViewControllerAnimated(false);
}

TEST_CASE("navigation push pop and top") {
    auto journal = std::make_shared<std::vector<std::string>>();
    auto a = std::make_shared<JournalController>("a", journal);
    auto b = std::make_shared<JournalController>("b", journal);
    auto c = std::make_shared<JournalController>("c", journal);
    auto nav = UINavigationController::initWithRootViewController(a);
    auto window = visibleWindowWith(nav);
    CHECK(nav->topViewController() == a);
    CHECK(a->navigationController() == nav);
    CHECK(a->parentViewController() == nav);
    CHECK(a->view()->superview() == nav->view());

    journal->clear();
    nav->pushViewController(b, false);
    CHECK(nav->topViewController() == b);
    CHECK(*journal == std::vector<std::string>{"a willDisappear", "b load", "b willAppear", "a didDisappear",
                                               "b didAppear"});
    CHECK(b->view()->superview() == nav->view());
    CHECK(a->view()->superview() == nullptr);

    nav->pushViewController(c, true);
    CHECK(nav->viewControllers() == std::vector<std::shared_ptr<UIViewController>>{a, b, c});
    CHECK_FALSE(c->isViewVisible());
    REQUIRE(runMainUntil([&] { return c->isViewVisible(); }));

    LogCapture log;
    nav->pushViewController(b, false);  // already in the stack
    nav->pushViewController(UINavigationController::initWithRootViewController(std::make_shared<UIViewController>()),
                            false);
    CHECK(nav->viewControllers().size() == 3);
    CHECK(log.lines.size() == 2);

    // visibleViewController follows a presentation over the stack.
    auto modal = std::make_shared<UIViewController>();
    c->presentViewController(modal, false);
    CHECK(nav->visibleViewController() == modal);
    modal->dismissViewControllerAnimated(false);
    CHECK(nav->visibleViewController() == c);

    CHECK(nav->popViewControllerAnimated(false) == c);
    CHECK(c->parentViewController() == nullptr);
    CHECK(c->navigationController() == nullptr);
    CHECK(nav->topViewController() == b);
    nav->pushViewController(c, false);  // may be pushed again once popped
    auto popped = nav->popToRootViewControllerAnimated(false);
    CHECK(popped == std::vector<std::shared_ptr<UIViewController>>{b, c});
    CHECK(nav->topViewController() == a);
    CHECK(a->isViewVisible());
    CHECK_FALSE(b->isViewVisible());
    CHECK(nav->popViewControllerAnimated(false) == nullptr);
    CHECK(nav->viewControllers().size() == 1);
}

TEST_CASE("navigation push hooks run before each push") {
    static std::vector<std::string>* seen = nullptr;
    std::vector<std::string> local;
    seen = &local;
    UINavigationController::addPushHook([](UINavigationController& nav, const std::shared_ptr<UIViewController>& vc, bool animated) {
        if (seen) seen->push_back(vc->title() + (animated ? " animated" : " still") + " over " +
                                  std::to_string(nav.viewControllers().size()));
    });
    auto nav = UINavigationController::initWithRootViewController(std::make_shared<UIViewController>());
    auto pushed = std::make_shared<UIViewController>();
    pushed->setTitle("detail");
    nav->pushViewController(pushed, true);
    CHECK(local == std::vector<std::string>{"detail animated over 1"});
    seen = nullptr;
}

TEST_CASE("tab bar selection and items") {
    auto tab = std::make_shared<UITabBarController>();
    CHECK(tab->selectedIndex() == UITabBarController::NotFound);
    std::vector<std::shared_ptr<UIViewController>> tabs;
    for (const char* title : {"Movies", "TV Shows", "Search", "Downloads"}) {
        auto root = std::make_shared<UIViewController>();
        root->setTitle(title);
        tabs.push_back(UINavigationController::initWithRootViewController(root));
        tabs.back()->setTitle(title);
    }
    tab->setViewControllers(tabs);
    auto window = visibleWindowWith(tab);
    CHECK(tab->selectedIndex() == 0);
    CHECK(tab->selectedViewController() == tabs[0]);
    REQUIRE(tab->tabBar()->items().size() == 4);
    CHECK(tab->tabBar()->itemAtIndex(3)->title() == "Downloads");
    CHECK(tab->tabBar()->itemAtIndex(3) == tabs[3]->tabBarItem());
    CHECK(tab->tabBar()->itemAtIndex(4) == nullptr);
    CHECK(tab->tabBar()->selectedItem() == tabs[0]->tabBarItem());
    CHECK(tabs[0]->isViewVisible());

    tab->setSelectedIndex(2);
    CHECK(tab->selectedViewController() == tabs[2]);
    CHECK(tabs[2]->isViewVisible());
    CHECK_FALSE(tabs[0]->isViewVisible());
    CHECK(tabs[2]->view()->superview() == tab->view());
    CHECK(tabs[0]->view()->superview() == nullptr);
    tab->setSelectedIndex(9);
    tab->setSelectedIndex(-1);
    CHECK(tab->selectedIndex() == 2);
    tab->setSelectedViewController(std::make_shared<UIViewController>());  // not a tab
    CHECK(tab->selectedIndex() == 2);

    // The controller on view inside a tab finds its containers.
    auto nav = std::dynamic_pointer_cast<UINavigationController>(tab->selectedViewController());
    REQUIRE(nav);
    CHECK(nav->topViewController()->tabBarController() == tab);
    CHECK(nav->topViewController()->navigationController() == nav);

    // Dropping the selected tab selects the first one.
    tab->setViewControllers({tabs[0], tabs[1]});
    CHECK(tab->selectedIndex() == 0);
    CHECK(tabs[2]->parentViewController() == nullptr);
    CHECK(tab->tabBar()->items().size() == 2);
}

TEST_CASE("tab badge text is read as an integer and cleared at zero") {
    auto tab = std::make_shared<UITabBarController>();
    std::vector<std::shared_ptr<UIViewController>> tabs;
    for (int i = 0; i < 4; ++i) tabs.push_back(std::make_shared<UIViewController>());
    tab->setViewControllers(tabs);
    auto item = tab->tabBar()->itemAtIndex(3);
    REQUIRE(item);
    int changes = 0;
    auto token = item->observeValueForKey("badgeValue", [&](const std::string&) { ++changes; });

    // Raising and lowering as the downloads tab does: read the text afresh each time.
    auto count = [&] { return item->badgeValue() ? Value(*item->badgeValue()).intValue() : 0; };
    auto adjust = [&](int delta) {
        int n = count() + delta;
        item->setBadgeValue(n > 0 ? std::optional<std::string>(format("%d", n)) : std::nullopt);
    };
    CHECK(count() == 0);
    adjust(+1);
    adjust(+1);
    CHECK(item->badgeValue() == std::optional<std::string>("2"));
    adjust(-1);
    CHECK(item->badgeValue() == std::optional<std::string>("1"));
    adjust(-1);
    CHECK_FALSE(item->badgeValue().has_value());
    CHECK(changes == 4);
    CHECK(tabs[3]->tabBarItem() == item);
}

TEST_CASE("the responder chain leads from a view to its controller and up") {
    auto top = std::make_shared<UIViewController>();
    auto nav = UINavigationController::initWithRootViewController(top);
    auto tab = std::make_shared<UITabBarController>();
    tab->setViewControllers({nav});
    auto window = visibleWindowWith(tab);

    auto button = std::make_shared<UIView>();
    auto container = std::make_shared<UIView>();
    container->addSubview(button);
    top->view()->addSubview(container);

    CHECK(button->nextResponder() == container);
    CHECK(container->nextResponder() == top->view());
    CHECK(top->view()->nextResponder() == top);
    CHECK(top->nextResponder() == nav->view());
    CHECK(nav->view()->nextResponder() == nav);
    CHECK(button->nearestResponderOfType<UIViewController>() == top);
    CHECK(button->nearestResponderOfType<UINavigationController>() == nav);
    CHECK(button->nearestResponderOfType<UITabBarController>() == tab);
    CHECK(tab->nextResponder() == window);
    CHECK(window->nextResponder() == UIApplication::sharedApplication());

    // A controller whose view is out of the tree answers its parent.
    auto below = std::make_shared<UIViewController>();
    nav->pushViewController(below, false);
    nav->popViewControllerAnimated(false);
    nav->pushViewController(std::make_shared<UIViewController>(), false);
    CHECK(top->view()->superview() == nullptr);
    CHECK(top->nextResponder() == nav);
}

namespace {
class RecordingAlertDelegate : public UIAlertViewDelegate {
public:
    std::vector<std::string> events;
    void clickedButtonAtIndex(UIAlertView& alert, long index) override {
        events.push_back("clicked " + std::to_string(index) + " " + alert.buttonTitleAtIndex(index));
    }
    void willDismissWithButtonIndex(UIAlertView&, long index) override {
        events.push_back("willDismiss " + std::to_string(index));
    }
    void didDismissWithButtonIndex(UIAlertView&, long index) override {
        events.push_back("didDismiss " + std::to_string(index));
    }
};
}  // namespace

TEST_CASE("alerts are registered while shown and pressing a button calls the delegate") {
    UIAlertView::removeAllForTesting();
    auto delegate = std::make_shared<RecordingAlertDelegate>();
    auto alert = UIAlertView::initWithTitle("Delete", "Remove this video?", delegate, "Cancel", {"Remove", "Keep"});
    CHECK(alert->numberOfButtons() == 3);
    CHECK(alert->cancelButtonIndex() == 0);
    CHECK(alert->buttonTitleAtIndex(2) == "Keep");
    CHECK(UIAlertView::visibleAlerts().empty());

    alert->show();
    alert->show();
    REQUIRE(UIAlertView::visibleAlerts().size() == 1);
    CHECK(UIAlertView::visibleAlerts()[0]->message() == "Remove this video?");
    CHECK(alert->isVisible());

    CHECK_FALSE(UIAlertView::pressButton("Nope"));
    CHECK(UIAlertView::pressButton("Remove"));
    CHECK(delegate->events == std::vector<std::string>{"clicked 1 Remove", "willDismiss 1", "didDismiss 1"});
    CHECK(UIAlertView::visibleAlerts().empty());
    CHECK_FALSE(alert->isVisible());
    CHECK_FALSE(alert->pressButtonAtIndex(0));  // gone from screen

    // Without a delegate, and with the registry as the only owner.
    UIAlertView::initWithTitle("Error", "Cannot open this video.", {}, "OK")->show();
    REQUIRE(UIAlertView::visibleAlerts().size() == 1);
    CHECK(UIAlertView::visibleAlerts()[0]->title() == "Error");
    CHECK(UIAlertView::visibleAlerts()[0]->cancelButtonIndex() == 0);
    CHECK(UIAlertView::pressButton("OK"));
    CHECK(UIAlertView::visibleAlerts().empty());

    // A programmatic dismissal does not count as a click; a delegate that is gone is not called.
    delegate->events.clear();
    auto again = UIAlertView::initWithTitle("t", "m", delegate, std::nullopt, {"A"});
    CHECK(again->cancelButtonIndex() == -1);
    again->show();
    again->dismissWithClickedButtonIndex(0, false);
    CHECK(delegate->events == std::vector<std::string>{"willDismiss 0", "didDismiss 0"});
    auto orphan = UIAlertView::initWithTitle("t", "m", delegate, "OK");
    orphan->show();
    delegate.reset();
    CHECK(orphan->pressButtonAtIndex(0));
}

TEST_CASE("application status bar and URL answers") {
    auto app = UIApplication::sharedApplication();
    app->setStatusBarStyle(UIStatusBarStyleLightContent, false);
    CHECK(app->statusBarStyle() == 1);
    CHECK_FALSE(app->lastStatusBarChangeAnimated());
    app->setStatusBarStyle(UIStatusBarStyleDefault, true);
    CHECK(app->statusBarStyle() == 0);
    CHECK(app->lastStatusBarChangeAnimated());

    app->resetOpenedURLs();
    CHECK(app->canOpenURL("https://example.org/a"));
    CHECK(app->canOpenURL("HTTP://example.org/a"));
    CHECK_FALSE(app->canOpenURL("itms-apps://x"));
    CHECK_FALSE(app->canOpenURL("no scheme"));
    app->setCanOpenScheme("itms-apps", true);
    CHECK(app->openURL("itms-apps://x"));
    app->setCanOpenScheme("https", false);
    CHECK_FALSE(app->openURL("https://example.org/a"));
    CHECK(app->openedURLs() == std::vector<std::string>{"itms-apps://x"});
    app->setCanOpenScheme("https", true);
    app->setCanOpenScheme("itms-apps", false);
}

TEST_CASE("the general pasteboard keeps strings, and setting one replaces them all") {
    auto pasteboard = UIPasteboard::generalPasteboard();
    CHECK(pasteboard == UIPasteboard::generalPasteboard());
    pasteboard->setStrings({"a", "b"});
    CHECK(pasteboard->string() == std::optional<std::string>("a"));
    CHECK(pasteboard->strings() == std::vector<std::string>{"a", "b"});
    pasteboard->setString("c");
    CHECK(UIPasteboard::generalPasteboard()->strings() == std::vector<std::string>{"c"});
    pasteboard->setString(std::nullopt);
    CHECK_FALSE(pasteboard->string().has_value());
    CHECK(pasteboard->strings().empty());
}

namespace {
std::vector<std::string>& launchJournal() {
    static std::vector<std::string> j;
    return j;
}

// How the test delegate ends the loop it was launched in.
enum class EndBy { Terminate, Signal };
EndBy endBy = EndBy::Terminate;

class LoopTestDelegate : public UIResponder, public UIApplicationDelegate {
public:
    bool didFinishLaunchingWithOptions(const std::shared_ptr<UIApplication>& app, const Value& options) override {
        launchJournal().push_back(std::string("launch ") + (options.isNull() ? "no options" : "options") +
                                  (app == UIApplication::sharedApplication() ? " shared" : " other"));
        launchJournal().push_back(window_ && window_->rootViewController() ? "has window" : "no window");
        dispatch_async(dispatch_get_main_queue(), [] {
            launchJournal().push_back("loop running");
            if (endBy == EndBy::Signal) ::raise(SIGTERM);
            else UIApplication::sharedApplication()->terminate();
        });
        return true;
    }
    void applicationDidBecomeActive(const std::shared_ptr<UIApplication>& app) override {
        launchJournal().push_back(app->applicationState() == UIApplicationStateActive ? "active" : "not active");
    }
    void applicationWillTerminate(const std::shared_ptr<UIApplication>&) override {
        launchJournal().push_back("willTerminate");
    }
    std::shared_ptr<UIWindow> window() const override { return window_; }
    void setWindow(std::shared_ptr<UIWindow> w) override { window_ = std::move(w); }

private:
    std::shared_ptr<UIWindow> window_;
};
}  // namespace

TEST_CASE("UIApplicationMain launches the delegate and runs until terminated") {
    ClassRegistry::registerClass<LoopTestDelegate>("UIResponder", {"UIApplicationDelegate"});
    launchJournal().clear();
    endBy = EndBy::Terminate;
    auto token = NSNotificationCenter::defaultCenter()->addObserverForName(
        UIApplicationDidFinishLaunchingNotification, nullptr, nullptr,
        [](const NSNotification& n) {
            launchJournal().push_back(n.object() == UIApplication::sharedApplication() ? "notified" : "wrong object");
        });

    int rc = UIApplicationMain(0, nullptr, "", "LoopTestDelegate");
    NSNotificationCenter::defaultCenter()->removeObserver(token.get());
    CHECK(rc == 0);
    CHECK(launchJournal() == std::vector<std::string>{"launch no options shared", "no window", "notified", "active",
                                                      "loop running", "willTerminate"});
    auto delegate = UIApplication::sharedApplication()->delegateAs<LoopTestDelegate>();
    REQUIRE(delegate);
    CHECK(UIApplication::sharedApplication()->nextResponder() == delegate);
}

TEST_CASE("UIApplicationMain ends on SIGTERM through its run loop") {
    ClassRegistry::registerClass<LoopTestDelegate>("UIResponder", {"UIApplicationDelegate"});
    launchJournal().clear();
    endBy = EndBy::Signal;
    auto root = std::make_shared<UIViewController>();
    UIApplication::setMainInterfaceLoader([root] { return root; });
    int rc = UIApplicationMain(0, nullptr, "", "LoopTestDelegate");
    UIApplication::setMainInterfaceLoader(nullptr);
    endBy = EndBy::Terminate;
    CHECK(rc == 0);
    CHECK(launchJournal() == std::vector<std::string>{"launch no options shared", "has window", "active",
                                                      "loop running", "willTerminate"});
    auto delegate = UIApplication::sharedApplication()->delegateAs<LoopTestDelegate>();
    REQUIRE(delegate);
    REQUIRE(delegate->window());
    CHECK(delegate->window()->isKeyWindow());
    CHECK(delegate->window()->isVisible());
    CHECK(root->isViewVisible());
    // The main window covers the screen, and so does its root's view.
    CHECK(delegate->window()->frame() == UIScreen::mainScreen()->bounds());
    CHECK(root->view()->frame() == UIScreen::mainScreen()->bounds());
}

TEST_CASE("UIApplicationMain refuses an unknown delegate class") {
    LogCapture log;
    CHECK(UIApplicationMain(0, nullptr, "", "NoSuchDelegateClass") == 1);
    CHECK(log.contains("NoSuchDelegateClass"));
}

TEST_CASE("points and rectangles convert between views of one tree") {
    auto window = std::make_shared<UIWindow>(CGRectMake(0, 0, 320, 480));
    auto panel = std::make_shared<UIView>(CGRectMake(10, 100, 300, 200));
    auto scroller = std::make_shared<UIView>(CGRectMake(0, 50, 300, 100));
    auto cell = std::make_shared<UIView>(CGRectMake(5, 400, 290, 40));
    window->addSubview(panel);
    panel->addSubview(scroller);
    scroller->addSubview(cell);
    scroller->setBounds(CGRectMake(0, 380, 300, 100));  // scrolled down by 380

    CHECK(cell->convertPointToView(CGPointMake(1, 2), window.get()) == CGPointMake(16, 172));
    CHECK(cell->convertPointToView(CGPointMake(1, 2), nullptr) == CGPointMake(16, 172));
    CHECK(window->convertPointToView(CGPointMake(16, 172), cell.get()) == CGPointMake(1, 2));
    CHECK(cell->convertPointFromView(CGPointMake(16, 172), window.get()) == CGPointMake(1, 2));
    CHECK(panel->convertRectFromView(CGRectMake(0, 0, 290, 40), cell.get()) == CGRectMake(5, 70, 290, 40));
    CHECK(cell->convertRectToView(CGRectMake(0, 0, 10, 10), panel.get()) == CGRectMake(5, 70, 10, 10));
}

namespace {
class StateDelegate : public UIApplicationDelegate {
public:
    std::vector<std::string> calls;
    void applicationWillResignActive(const std::shared_ptr<UIApplication>&) override { calls.push_back("resign"); }
    void applicationDidEnterBackground(const std::shared_ptr<UIApplication>&) override { calls.push_back("background"); }
    void applicationWillEnterForeground(const std::shared_ptr<UIApplication>&) override { calls.push_back("foreground"); }
    void applicationDidBecomeActive(const std::shared_ptr<UIApplication>&) override { calls.push_back("active"); }
};
}  // namespace

TEST_CASE("background tasks stay open until ended and expire on request") {
    auto app = UIApplication::sharedApplication();
    std::size_t before = app->openBackgroundTaskCount();
    std::vector<UIBackgroundTaskIdentifier> expired;
    UIBackgroundTaskIdentifier first = UIBackgroundTaskInvalid, second = UIBackgroundTaskInvalid;
    first = app->beginBackgroundTaskWithExpirationHandler([&] {
        expired.push_back(first);
        app->endBackgroundTask(first);
    });
    second = app->beginBackgroundTaskWithExpirationHandler([&] { expired.push_back(second); });
    CHECK(first != UIBackgroundTaskInvalid);
    CHECK(second != first);
    CHECK(app->openBackgroundTaskCount() == before + 2);
    app->endBackgroundTask(second);
    app->endBackgroundTask(second);  // twice is harmless
    app->endBackgroundTask(UIBackgroundTaskInvalid);
    app->expireBackgroundTasksForTesting();
    CHECK(expired == std::vector<UIBackgroundTaskIdentifier>{first});
    CHECK(app->openBackgroundTaskCount() == before);
}

TEST_CASE("the application moves to the background and back with its notifications") {
    auto app = UIApplication::sharedApplication();
    auto previous = app->delegate();
    auto delegate = std::make_shared<StateDelegate>();
    app->setDelegate(delegate);
    app->setApplicationState(UIApplicationStateActive);
    std::vector<std::string> posted;
    std::vector<std::shared_ptr<NSObject>> tokens;
    for (const char* name : {UIApplicationWillResignActiveNotification, UIApplicationDidEnterBackgroundNotification,
                             UIApplicationWillEnterForegroundNotification, UIApplicationDidBecomeActiveNotification,
                             UIApplicationDidReceiveMemoryWarningNotification})
        tokens.push_back(NSNotificationCenter::defaultCenter()->addObserverForName(
            name, app, nullptr, [&](const NSNotification& n) { posted.push_back(n.name()); }));

    app->enterBackgroundForTesting();
    CHECK(app->applicationState() == UIApplicationStateBackground);
    app->enterForegroundForTesting();
    CHECK(app->applicationState() == UIApplicationStateActive);
    app->enterForegroundForTesting();  // already there: nothing
    CHECK(delegate->calls == std::vector<std::string>{"resign", "background", "foreground", "active"});
    app->simulateMemoryWarning();
    CHECK(posted == std::vector<std::string>{UIApplicationWillResignActiveNotification,
                                             UIApplicationDidEnterBackgroundNotification,
                                             UIApplicationWillEnterForegroundNotification,
                                             UIApplicationDidBecomeActiveNotification,
                                             UIApplicationDidReceiveMemoryWarningNotification});
    for (auto& t : tokens) NSNotificationCenter::defaultCenter()->removeObserver(t.get());
    app->setDelegate(previous);
}

namespace {
class CustomApplication : public UIApplication {};
}  // namespace

TEST_CASE("UIApplicationMain installs the named principal class as the shared application") {
    ClassRegistry::registerClass<CustomApplication>("UIApplication");
    ClassRegistry::registerClass<LoopTestDelegate>("UIResponder", {"UIApplicationDelegate"});
    auto original = UIApplication::sharedApplication();
    launchJournal().clear();
    endBy = EndBy::Terminate;
    CHECK(UIApplicationMain(0, nullptr, "CustomApplication", "LoopTestDelegate") == 0);
    CHECK(std::dynamic_pointer_cast<CustomApplication>(UIApplication::sharedApplication()));
    CHECK(launchJournal().front() == "launch no options shared");
    UIApplication::setSharedApplication(original);

    LogCapture log;
    CHECK(UIApplicationMain(0, nullptr, "LoopTestDelegate", "LoopTestDelegate") == 1);  // not an application class
    CHECK(UIApplication::sharedApplication() == original);
    int offMain = 0;
    std::thread([&] { offMain = UIApplicationMain(0, nullptr, "", "LoopTestDelegate"); }).join();
    CHECK(offMain == 1);
    CHECK(log.contains("main thread"));
}
