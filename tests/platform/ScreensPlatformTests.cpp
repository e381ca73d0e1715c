// Protects what the screens stand on: storyboards as scene factories with
// lazily built views, the interface turning with the device (rotation
// questions, will/did-rotate down the visible controllers, the status bar and
// the window's landscape bounds) and memory warnings reaching every controller.
#include <doctest/doctest.h>

#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "UIKitTestSupport.h"
#include "platform/foundation/NSLog.h"
#include "platform/foundation/NSNotificationCenter.h"
#include "platform/uikit/UIActionSheet.h"
#include "platform/uikit/UIApplicationDelegate.h"
#include "platform/uikit/UIDevice.h"
#include "platform/uikit/UIInterfaceRotation.h"
#include "platform/uikit/UILabel.h"
#include "platform/uikit/UILongPressGestureRecognizer.h"
#include "platform/uikit/UINavigationController.h"
#include "platform/uikit/UIPopoverController.h"
#include "platform/uikit/UIRotationPolicy.h"
#include "platform/uikit/UIStoryboard.h"
#include "platform/uikit/UITabBar.h"
#include "platform/uikit/UITabBarController.h"
#include "platform/uikit/UITableView.h"
#include "platform/uikit/UIViewController.h"

namespace {

// Console lines written while the object lives.
struct LogLines {
    std::vector<std::string> lines;
    LogLines() {
        setLogHook([this](const std::string& line) { lines.push_back(line); });
    }
    ~LogLines() { setLogHook(nullptr); }
    bool any(const std::string& part) const {
        for (auto& l : lines)
            if (l.find(part) != std::string::npos) return true;
        return false;
    }
};

// A scene controller with one outlet, counting what happened to it.
struct SceneController : UIViewController {
    std::weak_ptr<UILabel> titleLabel;  // outlet
    int loads = 0;
    bool outletSetBeforeLoad = false;
    void viewDidLoad() override {
        ++loads;
        outletSetBeforeLoad = !titleLabel.expired();
    }
};

struct OtherController : UIViewController {};

}  // namespace

TEST_CASE("storyboards make a new controller per call whose views the scene builds on first use, unknown names log") {
    const std::string board = "ScreensTestBoard";
    int scenesMade = 0;
    int viewsBuilt = 0;
    UIStoryboard::registerScene(board, "Scene", [&] {
        ++scenesMade;
        auto controller = std::make_shared<SceneController>();
        controller->setViewFactory([&viewsBuilt](UIViewController& owner) {
            ++viewsBuilt;
            auto root = std::make_shared<UIView>(CGRectMake(0, 0, 320, 480));
            auto label = std::make_shared<UILabel>(CGRectMake(10, 10, 200, 20));
            label->setAccessibilityIdentifier("titleLabel");
            label->setText("Scene title");
            root->addSubview(label);
            static_cast<SceneController&>(owner).titleLabel = label;
            return root;
        });
        return controller;
    });
    UIStoryboard::registerScene(board, "Other", [] { return std::make_shared<OtherController>(); });
    UIStoryboard::setInitialScene(board, "Scene");

    LogLines log;
    auto storyboard = UIStoryboard::storyboardWithName(board, nullptr);
    REQUIRE(storyboard);
    CHECK(storyboard->name() == board);

    auto first = storyboard->instantiateInitialViewController();
    auto second = storyboard->instantiate<SceneController>("Scene");
    REQUIRE(std::dynamic_pointer_cast<SceneController>(first));
    REQUIRE(second);
    CHECK(first != second);
    CHECK(scenesMade == 2);
    CHECK(first->storyboard() == storyboard);
    CHECK(second->storyboard() == storyboard);
    // Nothing of the scene's views exists until the view is asked for.
    CHECK_FALSE(second->isViewLoaded());
    CHECK(viewsBuilt == 0);
    CHECK(second->titleLabel.expired());
    auto view = second->view();
    CHECK(viewsBuilt == 1);
    CHECK(second->loads == 1);
    CHECK(second->outletSetBeforeLoad);
    REQUIRE_FALSE(second->titleLabel.expired());
    CHECK(second->titleLabel.lock()->superview() == view);
    CHECK(second->titleLabel.lock()->accessibilityIdentifier() == "titleLabel");
    second->view();
    CHECK(viewsBuilt == 1);  // built once
    // The outlet is weak: the view tree owns the label.
    view->subviews().front()->removeFromSuperview();
    CHECK(second->titleLabel.expired());
    // A typed instantiation of another class answers null; the plain one answers it.
    CHECK(storyboard->instantiate<SceneController>("Other") == nullptr);
    CHECK(std::dynamic_pointer_cast<OtherController>(storyboard->instantiateViewControllerWithIdentifier("Other")));
    CHECK(log.lines.empty());

    struct Unknown {
        const char* what;
        std::function<bool()> answersNull;
        const char* logged;
    };
    const Unknown unknowns[] = {
        {"storyboard name", [] { return UIStoryboard::storyboardWithName("NoSuchBoard", nullptr) == nullptr; },
         "NoSuchBoard"},
        {"identifier",
         [&] { return storyboard->instantiateViewControllerWithIdentifier("NoSuchScene") == nullptr; }, "NoSuchScene"},
        {"initial scene of a board without one",
         [&] {
             UIStoryboard::registerScene("ScreensTestBoardNoInitial", "Only",
                                         [] { return std::make_shared<UIViewController>(); });
             auto other = UIStoryboard::storyboardWithName("ScreensTestBoardNoInitial", nullptr);
             return other && other->instantiateInitialViewController() == nullptr;
         },
         "ScreensTestBoardNoInitial"},
    };
    for (const auto& u : unknowns) {
        CAPTURE(std::string(u.what));
        log.lines.clear();
        CHECK(u.answersNull());
        CHECK(log.any(u.logged));
    }
    CHECK(scenesMade == 2);

    UIStoryboard::unregisterStoryboard(board);
    UIStoryboard::unregisterStoryboard("ScreensTestBoardNoInitial");
    log.lines.clear();
    CHECK(storyboard->instantiateViewControllerWithIdentifier("Scene") == nullptr);
    CHECK(UIStoryboard::storyboardWithName(board, nullptr) == nullptr);
}

namespace {

// Controllers that write what they are told into one shared list.
template <class Base>
struct Recording : Base {
    std::string name;
    std::vector<std::string>* events = nullptr;
    void willRotateToInterfaceOrientation(UIInterfaceOrientation o, double duration) override {
        events->push_back(name + " will " + std::to_string(long(o)) + " " + std::to_string(int(duration * 10)));
    }
    void didRotateFromInterfaceOrientation(UIInterfaceOrientation from) override {
        events->push_back(name + " did " + std::to_string(long(from)));
    }
    void didReceiveMemoryWarning() override { events->push_back(name + " memory"); }
};

template <class T>
std::shared_ptr<Recording<T>> recording(const std::string& name, std::vector<std::string>& events) {
    auto vc = std::make_shared<Recording<T>>();
    vc->name = name;
    vc->events = &events;
    return vc;
}

// The answers the installed rotation policy gives: everything allowed, except
// by the controller named `refuser`, which answers with the fields below.
struct PolicyAnswers {
    const UIViewController* refuser = nullptr;
    bool autorotate = true;
    UIInterfaceOrientationMask mask = UIInterfaceOrientationMaskAll;
    bool toOrientation = true;
};

struct InstalledPolicy {
    PolicyAnswers answers;
    InstalledPolicy() {
        UIRotationPolicy policy;
        policy.shouldAutorotate = [this](const UIViewController& vc) {
            return &vc != answers.refuser || answers.autorotate;
        };
        policy.supportedInterfaceOrientations = [this](const UIViewController& vc) {
            return &vc == answers.refuser ? answers.mask : UIInterfaceOrientationMaskAll;
        };
        policy.shouldAutorotateToInterfaceOrientation = [this](const UIViewController& vc, UIInterfaceOrientation) {
            return &vc != answers.refuser || answers.toOrientation;
        };
        UIRotationPolicy::install(policy);
    }
    ~InstalledPolicy() {
        UIRotationPolicy::install({});
        UIDevice::currentDevice()->resetToDefaults();
        UIApplication::sharedApplication()->setStatusBarOrientation(UIInterfaceOrientationPortrait);
    }
};

// A tab-bar shell on a phone: two tabs of navigation controllers; the first
// shows a pushed screen over its root.
struct PhoneShell {
    std::vector<std::string> events;
    std::shared_ptr<UIWindow> window = uikittest::visibleWindow({320, 568});
    std::shared_ptr<Recording<UITabBarController>> tabs = recording<UITabBarController>("tabs", events);
    std::shared_ptr<Recording<UINavigationController>> nav = recording<UINavigationController>("nav", events);
    std::shared_ptr<Recording<UINavigationController>> otherNav = recording<UINavigationController>("otherNav", events);
    std::shared_ptr<Recording<UIViewController>> rootScreen = recording<UIViewController>("rootScreen", events);
    std::shared_ptr<Recording<UIViewController>> topScreen = recording<UIViewController>("topScreen", events);
    std::shared_ptr<Recording<UIViewController>> otherScreen = recording<UIViewController>("otherScreen", events);
    PhoneShell() {
        nav->setViewControllers({rootScreen});
        nav->pushViewController(topScreen, false);
        otherNav->setViewControllers({otherScreen});
        tabs->setViewControllers({nav, otherNav});
        window->setRootViewController(tabs);
        window->makeKeyAndVisible();
        window->layoutIfNeeded();
    }
};

}  // namespace

TEST_CASE("the interface turns with the device when its controllers allow it, telling the visible controllers") {
    InstalledPolicy policy;
    PhoneShell shell;
    auto app = UIApplication::sharedApplication();
    auto device = UIDevice::currentDevice();
    auto presented = recording<UIViewController>("presented", shell.events);

    // A turn to landscape: will-rotate down the visible chain, the status bar,
    // the window's landscape bounds with everything refilled, then did-rotate on
    // the next pass.
    device->setOrientation(UIDeviceOrientationLandscapeLeft);
    CHECK(shell.events == std::vector<std::string>{"tabs will 3 3", "nav will 3 3", "topScreen will 3 3"});
    CHECK(app->statusBarOrientation() == UIInterfaceOrientationLandscapeRight);
    CHECK(shell.window->bounds() == CGRectMake(0, 0, 568, 320));
    CHECK(shell.tabs->view()->frame() == CGRectMake(0, 0, 568, 320));
    CHECK(shell.nav->view()->frame() == CGRectMake(0, 0, 568, 320));
    CHECK(shell.topScreen->view()->frame() == CGRectMake(0, 0, 568, 320));
    CHECK(shell.tabs->tabBar()->frame() == CGRectMake(0, 271, 568, 49));
    REQUIRE(testsupport::runMainUntil([&] { return shell.events.size() == 6; }, 5));
    CHECK(shell.events[3] == "tabs did 1");
    CHECK(shell.events[5] == "topScreen did 1");

    // With a controller presented over the top screen it is told too, after its
    // presenter's containers, and its view fills the turned window.
    shell.topScreen->presentViewController(presented, false);
    shell.events.clear();
    CHECK(UIInterfaceRotation::rotateToInterfaceOrientation(UIInterfaceOrientationPortrait, false));
    CHECK(shell.events == std::vector<std::string>{"tabs will 1 0", "nav will 1 0", "topScreen will 1 0",
                                                   "presented will 1 0", "tabs did 3", "nav did 3",
                                                   "topScreen did 3", "presented did 3"});
    CHECK(shell.window->bounds() == CGRectMake(0, 0, 320, 568));
    CHECK(presented->view()->frame() == CGRectMake(0, 0, 320, 568));
    CHECK(shell.tabs->tabBar()->frame() == CGRectMake(0, 519, 320, 49));

    // Refusals: each question of each deciding controller can stop the turn,
    // and a refused turn changes nothing at all.
    struct Refusal {
        const char* what;
        const UIViewController* who;
        bool autorotate;
        UIInterfaceOrientationMask mask;
        bool toOrientation;
    };
    const Refusal refusals[] = {
        {"root does not autorotate", shell.tabs.get(), false, UIInterfaceOrientationMaskAll, true},
        {"root supports portrait only", shell.tabs.get(), true, UIInterfaceOrientationMaskPortrait, true},
        {"root refuses the orientation", shell.tabs.get(), true, UIInterfaceOrientationMaskAll, false},
        {"presented does not autorotate", presented.get(), false, UIInterfaceOrientationMaskAll, true},
        {"presented supports portrait only", presented.get(), true, UIInterfaceOrientationMaskPortrait, true},
    };
    for (const auto& r : refusals) {
        CAPTURE(std::string(r.what));
        policy.answers = {r.who, r.autorotate, r.mask, r.toOrientation};
        shell.events.clear();
        device->setOrientation(UIDeviceOrientationPortrait);
        device->setOrientation(UIDeviceOrientationLandscapeRight);
        testsupport::runMainUntil([] { return false; }, 0.05);
        CHECK(shell.events.empty());
        CHECK(app->statusBarOrientation() == UIInterfaceOrientationPortrait);
        CHECK(shell.window->bounds() == CGRectMake(0, 0, 320, 568));
    }
    // A child that is not on view has no say.
    policy.answers = {shell.otherScreen.get(), false, UIInterfaceOrientationMaskPortrait, false};
    shell.events.clear();
    device->setOrientation(UIDeviceOrientationLandscapeRight);
    CHECK(app->statusBarOrientation() == UIInterfaceOrientationLandscapeLeft);
    CHECK(testsupport::runMainUntil([&] { return shell.events.size() == 8; }, 5));
    // Face up keeps the interface as it is; a window that is not full screen keeps its size.
    auto small = uikittest::visibleWindow({100, 100});
    device->setOrientation(UIDeviceOrientationFaceUp);
    CHECK(app->statusBarOrientation() == UIInterfaceOrientationLandscapeLeft);
    CHECK(UIInterfaceRotation::rotateToInterfaceOrientation(UIInterfaceOrientationPortrait, false));
    CHECK(small->bounds() == CGRectMake(0, 0, 100, 100));
    CHECK(shell.window->bounds() == CGRectMake(0, 0, 320, 568));
}

TEST_CASE("a memory warning reaches the delegate, observers, every controller of the window, presented ones and popover content") {
    struct Delegate : UIApplicationDelegate {
        std::vector<std::string>* events = nullptr;
        void applicationDidReceiveMemoryWarning(const std::shared_ptr<UIApplication>&) override {
            events->push_back("delegate memory");
        }
    };
    PhoneShell shell;
    auto app = UIApplication::sharedApplication();
    auto previous = app->delegate();
    auto delegate = std::make_shared<Delegate>();
    delegate->events = &shell.events;
    app->setDelegate(delegate);
    auto presented = recording<UIViewController>("presented", shell.events);
    auto overPresented = recording<UIViewController>("overPresented", shell.events);
    shell.nav->presentViewController(presented, false);
    presented->presentViewController(overPresented, false);
    auto inPopover = recording<UIViewController>("inPopover", shell.events);
    auto popover = UIPopoverController::initWithContentViewController(inPopover);
    popover->presentPopoverFromRect(CGRectMake(0, 100, 10, 10), shell.window, UIPopoverArrowDirectionAny, false);
    auto token = NSNotificationCenter::defaultCenter()->addObserverForName(
        UIApplicationDidReceiveMemoryWarningNotification, nullptr, nullptr,
        [&](const NSNotification&) { shell.events.push_back("notification"); });

    std::thread([&] { app->simulateMemoryWarning(); }).join();  // reported off the main thread
    CHECK(shell.events.empty());  // carried out on the main queue
    REQUIRE(testsupport::runMainUntil([&] { return !shell.events.empty(); }, 5));
    NSNotificationCenter::defaultCenter()->removeObserver(token.get());
    app->setDelegate(previous);
    const std::vector<std::string> expected{"delegate memory", "notification", "tabs memory", "nav memory",
                                            "rootScreen memory", "topScreen memory", "presented memory",
                                            "overPresented memory", "otherNav memory", "otherScreen memory",
                                            "inPopover memory"};
    CHECK(shell.events == expected);
    popover->dismissPopoverAnimated(false);
}

namespace {

// The downloads screen's shape: rows made new each time, each with a long-press
// recogniser of 1.2 s that opens an action sheet (tag 10) from the tab bar.
struct PressedList : UITableViewDataSource, UITableViewDelegate, UIActionSheetDelegate, NSObject {
    std::weak_ptr<UITabBar> tabBar;
    std::vector<std::string> events;
    std::shared_ptr<UIActionSheet> dialog;
    long numberOfRowsInSection(UITableView&, long) override { return 5; }
    UITableViewCellPtr cellForRowAtIndexPath(UITableView&, const NSIndexPath& indexPath) override {
        auto cell = std::make_shared<UITableViewCell>(UITableViewCellStyleDefault, "MovieDownloadCellIdentifier");
        cell->textLabel()->setText("Movie " + std::to_string(indexPath.row()));
        if (!cell->gestureRecognizers().empty()) cell->removeGestureRecognizer(cell->gestureRecognizers().back());
        auto press = std::make_shared<UILongPressGestureRecognizer>(self(), [this](UIGestureRecognizer& r) {
            pressed(static_cast<UILongPressGestureRecognizer&>(r));
        });
        press->setMinimumPressDuration(1.2);
        cell->addGestureRecognizer(press);
        return cell;
    }
    void pressed(UILongPressGestureRecognizer& r) {
        auto cell = std::dynamic_pointer_cast<UITableViewCell>(r.view());
        events.push_back("press " + std::to_string(long(r.state())) + " " + (cell ? cell->textLabel()->text() : "?"));
        if (r.state() != UIGestureRecognizerStateBegan || dialog) return;
        dialog = UIActionSheet::initWithTitle("Do you want to remove this movie?",
                                              std::dynamic_pointer_cast<UIActionSheetDelegate>(self()), "Cancel",
                                              std::nullopt, {"Remove"});
        dialog->setTag(10);
        dialog->showFromTabBar(tabBar.lock());
    }
    void didSelectRowAtIndexPath(UITableView&, const NSIndexPath& indexPath) override {
        events.push_back("select " + std::to_string(indexPath.row()));
    }
    void clickedButtonAtIndex(UIActionSheet& sheet, long index) override {
        events.push_back("sheet " + std::to_string(sheet.tag()) + " " + sheet.buttonTitleAtIndex(index));
        dialog.reset();
    }
};

}  // namespace

TEST_CASE("a held row opens an action sheet from the tab bar, a tap selects, a moving finger does neither") {
    uikittest::VirtualTime time;
    auto window = uikittest::visibleWindow({320, 400});
    auto tabs = std::make_shared<UITabBarController>();
    auto screen = std::make_shared<UIViewController>();
    tabs->setViewControllers({screen});
    window->setRootViewController(tabs);
    window->makeKeyAndVisible();
    auto list = std::make_shared<PressedList>();
    list->tabBar = tabs->tabBar();
    auto table = std::make_shared<UITableView>(CGRectMake(0, 0, 320, 300));
    table->setDataSource(list);
    table->setDelegate(list);
    screen->view()->addSubview(table);
    table->reloadData();
    window->layoutIfNeeded();

    // Held for the duration: Began (with the cell as the recogniser's view), a
    // sheet from the tab bar; the lift ends the press and selects nothing.
    auto touch = window->touchBegan(CGPointMake(100, 66));
    REQUIRE(touch);
    time.advance(1.0);
    CHECK(list->events.empty());
    time.advance(0.3);
    CHECK(list->events == std::vector<std::string>{"press 1 Movie 1"});
    REQUIRE(UIActionSheet::visibleSheets().size() == 1);
    CHECK(UIActionSheet::visibleSheets().back()->shownInView() == tabs->tabBar());
    window->touchMoved(touch, CGPointMake(104, 70));
    window->touchEnded(touch, CGPointMake(104, 70));
    CHECK(list->events == std::vector<std::string>{"press 1 Movie 1", "press 2 Movie 1", "press 3 Movie 1"});
    CHECK_FALSE(table->indexPathForSelectedRow());
    CHECK(UIActionSheet::pressButton("Remove"));
    CHECK(list->events.back() == "sheet 10 Remove");
    CHECK(UIActionSheet::visibleSheets().empty());

    // A quick tap selects the row and starts no press; the recogniser is ready again.
    list->events.clear();
    CHECK(window->tap(CGPointMake(100, 110)));
    time.advance(1.5);
    CHECK(list->events == std::vector<std::string>{"select 2"});

    // A finger that wanders off fails the press (the table scrolls instead).
    list->events.clear();
    touch = window->touchBegan(CGPointMake(100, 150));
    window->touchMoved(touch, CGPointMake(100, 120));
    time.advance(1.5);
    window->touchEnded(touch, CGPointMake(100, 120));
    CHECK(list->events.empty());

    // Tests may fire it with a state and a location.
    auto cell = table->cellForRowAtIndexPath(NSIndexPath::indexPathForRow(0, 0));
    REQUIRE(cell);
    auto press = std::dynamic_pointer_cast<UILongPressGestureRecognizer>(cell->gestureRecognizers().back());
    REQUIRE(press);
    CHECK(cell->gestureRecognizers().size() == 1);
    press->fireWithState(UIGestureRecognizerStateBegan, CGPointMake(30, 20));
    CHECK(list->events == std::vector<std::string>{"press 1 Movie 0"});
    CHECK(press->locationInView(nullptr) == CGPointMake(30, 20));
    CHECK(press->locationInView(cell.get()) == cell->convertPointFromView(CGPointMake(30, 20), nullptr));
    UIActionSheet::removeAllForTesting();
}
