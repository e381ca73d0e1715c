#pragma once
// What the grid and search tests share: a catalogue server with its control endpoint (the log of requests, and
// faults, delays and data ordered for the next replies of an action), the catalogue client pointed at it, a
// fresh application home, the application delegate, and a key window whose tab bar shows a screen of the
// storyboard "Main" in a navigation controller. Input goes through DeviceInput, as on the device screen.
#include <functional>
#include <optional>
#include <memory>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "core/AppDelegate.h"
#include "platform/display/DeviceInput.h"
#include "platform/uikit/UICollectionView.h"
#include "platform/uikit/UIImage.h"
#include "platform/uikit/UINavigationController.h"
#include "platform/uikit/UITabBarController.h"
#include "platform/uikit/UIWindow.h"
#include "screens/PosterGridController.h"
#include "support/CatalogueServerProcess.h"
#include "support/TestEnvironment.h"

namespace gridtest {

// The control endpoint of a catalogue server.
class CatalogueControl {
public:
    explicit CatalogueControl(std::string base) : base_(std::move(base)) {}
    // Every catalogue request received, in order: {"action", "parameters": {...}}.
    nlohmann::json log() const;
    // The parameters of the requests of one action, in order.
    std::vector<nlohmann::json> requests(const std::string& action) const;
    void reset() const;
    void fault(const std::string& action, int count, const std::string& fault) const;
    void delay(const std::string& action, int count, int milliseconds) const;
    void data(const std::string& action, int count, const nlohmann::json& data) const;

private:
    void order(const std::string& kind, const nlohmann::json& body) const;
    std::string base_;
};

// The image at the URL, fetched and decoded apart from the image cache (null when it cannot be had).
std::shared_ptr<UIImage> downloadImage(const std::string& url);

// The view of the tree with the accessibility identifier (an outlet's name), depth first; null when none.
std::shared_ptr<UIView> viewNamed(const std::shared_ptr<UIView>& root, const std::string& identifier);

// Checks the phone grid's items: three columns of 98.6667 x 178.9867 at x = 6 + column x 104.6667, rows 6 apart.
void checkPhoneGridFrames(UICollectionView& grid, long items);

struct FixtureOptions {
    std::vector<std::string> serverArguments;
    bool tablet = false;
    CGSize screen{320, 568};
};

class GridScreenFixture {
public:
    explicit GridScreenFixture(FixtureOptions options = {});
    ~GridScreenFixture();
    GridScreenFixture(const GridScreenFixture&) = delete;
    GridScreenFixture& operator=(const GridScreenFixture&) = delete;

    // Puts the storyboard's scene `identifier` at the root of the first tab and shows it.
    template <class Screen>
    std::shared_ptr<Screen> show(const std::string& identifier) {
        return std::dynamic_pointer_cast<Screen>(showScene(identifier));
    }
    std::shared_ptr<UIViewController> showScene(const std::string& identifier);

    // Runs the main loop until the condition holds; fails the test naming what it waited for.
    void waitFor(const std::function<bool()>& condition, const std::string& what, double seconds = 20);
    // Waits until the screen shows records (`count` of them when given), asks for nothing and its overlays
    // are gone (an overlay takes the touches while it is up or fading).
    void waitForPage(PosterGridController& screen, std::optional<std::size_t> count = std::nullopt,
                     const std::string& what = "page 1");
    // Runs the main loop for a moment of real time (lets late replies arrive).
    void settle(double seconds = 0.3);

    void tap(CGPoint point);
    void drag(CGPoint from, CGSize delta);
    // A wheel turn over the point moving the content by the delta (as a finger's move would).
    void wheel(CGPoint at, CGSize delta);
    void type(const std::string& text);
    void pressReturn();
    // The point in the window of a view's middle.
    CGPoint centreOf(const UIView& view) const;

    // The grid's content pulled well past the top and let go.
    void pull(UICollectionView& grid);
    // The grid dragged to its end and past it, unless `stopWhen` holds first (checked between drags).
    void dragToEnd(UICollectionView& grid, const std::function<bool()>& stopWhen = {});
    // The screen's grid dragged to its end until the screen asks for a further page (one, not more).
    void dragToNextPage(PosterGridController& screen);

    testsupport::TempHome home;
    testtools::CatalogueServerProcess server;
    CatalogueControl control;
    std::shared_ptr<AppDelegate> delegate;
    std::shared_ptr<UIWindow> window;
    std::shared_ptr<UITabBarController> tabBar;
    std::shared_ptr<UINavigationController> navigation;
    DeviceInput input;

private:
    static std::vector<std::string> serverArguments(const testsupport::TempHome& home, const FixtureOptions& options);
    static std::string controlBase(const testsupport::TempHome& home);
    void runInput(const std::function<void(DeviceInput::Completion)>& send, const std::string& what);
};

}  // namespace gridtest
