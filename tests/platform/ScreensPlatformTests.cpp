// Protects what the screens stand on: storyboards as scene factories with
// lazily built views, the interface turning with the device (rotation
// questions, will/did-rotate down the visible controllers, the status bar and
// the window's landscape bounds) and memory warnings reaching every controller.
#include <doctest/doctest.h>

#include <memory>
#include <string>
#include <vector>

#include "UIKitTestSupport.h"
#include "platform/foundation/NSLog.h"
#include "platform/uikit/UILabel.h"
#include "platform/uikit/UIStoryboard.h"
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

TEST_CASE("storyboards make a new controller per call whose views the scene builds on first use; unknown names log") {
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
