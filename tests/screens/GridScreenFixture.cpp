// Protects the grid and search tests' fixture: a controlled catalogue server and client, a fresh home, the delegate and a window showing a screen.
#include "screens/GridScreenFixture.h"

#include <curl/curl.h>
#include <doctest/doctest.h>

#include <algorithm>
#include <fstream>

#include "core/NLRestClient.h"
#include "platform/foundation/NSUserDefaults.h"
#include "platform/uikit/UIAlertView.h"
#include "platform/uikit/UIApplication.h"
#include "platform/uikit/UIDevice.h"
#include "platform/uikit/UIScreen.h"
#include "platform/uikit/UIRotationPolicy.h"
#include "platform/uikit/UIStoryboard.h"
#include "screens/MainStoryboard.h"
#include "ui/progresshud/LOProgressHUD.h"
#include "screens/RotationPolicy.h"

namespace gridtest {

namespace {

size_t appendBody(char* data, size_t size, size_t count, void* out) {
    static_cast<std::string*>(out)->append(data, size * count);
    return size * count;
}

// One blocking request to the control endpoint (another process: the main loop need not run meanwhile).
std::string blockingRequest(const std::string& url, const std::string* postBody) {
    CURL* curl = curl_easy_init();
    REQUIRE_MESSAGE(curl, "no curl handle for " << url);
    std::string body;
    curl_slist* headers = nullptr;
    curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, appendBody);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &body);
    curl_easy_setopt(curl, CURLOPT_TIMEOUT_MS, 20000L);
    if (postBody) {
        headers = curl_slist_append(headers, "Content-Type: application/json");
        curl_easy_setopt(curl, CURLOPT_HTTPHEADER, headers);
        curl_easy_setopt(curl, CURLOPT_POSTFIELDS, postBody->c_str());
    }
    const CURLcode code = curl_easy_perform(curl);
    long status = 0;
    curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &status);
    curl_slist_free_all(headers);
    curl_easy_cleanup(curl);
    REQUIRE_MESSAGE(code == CURLE_OK, "no answer from " << url);
    REQUIRE_MESSAGE(status == 200, "refused:  " << url << ": " << body);
    return body;
}

std::string httpGetBody(const std::string& url) { return blockingRequest(url, nullptr); }



}  // namespace

std::shared_ptr<UIImage> downloadImage(const std::string& url) {
    const std::string bytes = httpGetBody(url);
    return UIImage::imageWithData(Data(bytes.begin(), bytes.end()), 1);
}

std::shared_ptr<UIView> viewNamed(const std::shared_ptr<UIView>& root, const std::string& identifier) {
    if (!root || root->accessibilityIdentifier() == identifier) return root;
    for (const auto& sub : root->subviews())
        if (auto found = viewNamed(sub, identifier)) return found;
    return nullptr;
}

void checkPhoneGridFrames(UICollectionView& grid, long items) {
    const double width = static_cast<float>(296.0f / 3.0f);
    const double height = static_cast<float>(width * 1.51 + 30.0);
    for (long item = 0; item < items; ++item) {
        CAPTURE(item);
        const auto attributes = grid.layoutAttributesForItemAtIndexPath(NSIndexPath::indexPathForItem(item, 0));
        REQUIRE(attributes);
        CHECK(attributes->frame.origin.x == doctest::Approx(6 + (item % 3) * 104.6667).epsilon(1e-6));
        CHECK(attributes->frame.origin.y == doctest::Approx(6 + (item / 3) * (height + 6)));
        CHECK(attributes->frame.size.width == width);
        CHECK(attributes->frame.size.height == height);
    }
}

nlohmann::json CatalogueControl::log() const {
    return nlohmann::json::parse(blockingRequest(base_ + "/log", nullptr))["requests"];
}

std::vector<nlohmann::json> CatalogueControl::requests(const std::string& action) const {
    std::vector<nlohmann::json> found;
    for (const auto& request : log())
        if (request["action"] == action) found.push_back(request["parameters"]);
    return found;
}

void CatalogueControl::order(const std::string& kind, const nlohmann::json& body) const {
    const std::string text = body.dump();
    blockingRequest(base_ + "/" + kind, &text);
}

void CatalogueControl::reset() const { order("reset", nlohmann::json::object()); }

void CatalogueControl::fault(const std::string& action, int count, const std::string& fault) const {
    order("fault", {{"action", action}, {"count", count}, {"fault", fault}});
}

void CatalogueControl::delay(const std::string& action, int count, int milliseconds) const {
    order("delay", {{"action", action}, {"count", count}, {"ms", milliseconds}});
}

void CatalogueControl::data(const std::string& action, int count, const nlohmann::json& data) const {
    order("data", {{"action", action}, {"count", count}, {"data", data}});
}

std::vector<std::string> GridScreenFixture::serverArguments(const testsupport::TempHome& home,
                                                            const FixtureOptions& options) {
    std::vector<std::string> arguments{"--control-port-file", home.path() + "/control-port"};
    arguments.insert(arguments.end(), options.serverArguments.begin(), options.serverArguments.end());
    return arguments;
}

std::string GridScreenFixture::controlBase(const testsupport::TempHome& home) {
    std::ifstream in(home.path() + "/control-port");
    int port = 0;
    in >> port;
    return "http://127.0.0.1:" + std::to_string(port) + "/control";
}

GridScreenFixture::GridScreenFixture(FixtureOptions options)
    : server(serverArguments(home, options)), control(controlBase(home)) {
    REQUIRE_MESSAGE(server.started(), "the catalogue server did not start");
    // Every case registers the storyboard anew: other suites of this executable forget it when they end.
    registerMainStoryboard();
    installRotationPolicy();
    NSUserDefaults::resetStandardUserDefaults();
    UIAlertView::removeAllForTesting();
    UIApplication::sharedApplication()->resetOpenedURLs();
    UIDevice::currentDevice()->setUserInterfaceIdiom(options.tablet ? UIUserInterfaceIdiomPad : UIUserInterfaceIdiomPhone);
    UIScreen::mainScreen()->setBounds(CGRectMake(0, 0, options.screen.width, options.screen.height));
    NLRestClient::sharedClient()->setBaseURL(server.origin() + "/admin/index.php/apiios_final");

    delegate = std::make_shared<AppDelegate>();
    UIApplication::sharedApplication()->setDelegate(delegate);
    window = std::make_shared<UIWindow>(CGRectMake(0, 0, options.screen.width, options.screen.height));
    delegate->setWindow(window);
}

GridScreenFixture::~GridScreenFixture() {
    UIAlertView::removeAllForTesting();
    if (window) window->setRootViewController(nullptr);
    window.reset();
    navigation.reset();
    tabBar.reset();
    UIApplication::sharedApplication()->setDelegate(nullptr);
    delegate.reset();
    settle(0.05);  // lets animated transitions and late callbacks run against nothing
    NSUserDefaults::resetStandardUserDefaults();
    UIStoryboard::unregisterStoryboard(kMainStoryboardName);
    UIApplication::sharedApplication()->setStatusBarOrientation(UIInterfaceOrientationPortrait);
    UIRotationPolicy::install({});
    UIDevice::currentDevice()->resetToDefaults();
    UIScreen::mainScreen()->setBounds(CGRectMake(0, 0, 320, 568));
}

std::shared_ptr<UIViewController> GridScreenFixture::showScene(const std::string& identifier) {
    auto storyboard = UIStoryboard::storyboardWithName(kMainStoryboardName, nullptr);
    REQUIRE(storyboard);
    // The application's own shell, on the tab of the grid (search is reached from the movie grid).
    tabBar = storyboard->instantiate<UITabBarController>("MyTabbarViewController");
    REQUIRE(tabBar);
    const long tab = identifier == "TVShowViewController" ? 1 : 0;
    tabBar->setSelectedIndex(tab);
    navigation = std::dynamic_pointer_cast<UINavigationController>(tabBar->selectedViewController());
    REQUIRE(navigation);
    window->setRootViewController(tabBar);
    window->makeKeyAndVisible();
    window->layoutIfNeeded();
    std::shared_ptr<UIViewController> screen = navigation->topViewController();
    if (identifier == "SearchMovieViewController") {
        screen = storyboard->instantiateViewControllerWithIdentifier(identifier);
        REQUIRE_MESSAGE(screen, "no scene " << identifier);
        navigation->pushViewController(screen, false);
        window->layoutIfNeeded();
    }
    REQUIRE_MESSAGE(screen, "no screen for " << identifier);
    return screen;
}

void GridScreenFixture::waitFor(const std::function<bool()>& condition, const std::string& what, double seconds) {
    const bool held = testsupport::runMainUntil(condition, seconds);
    REQUIRE_MESSAGE(held, "waited " << seconds << " s for " << what);
}

void GridScreenFixture::waitForPage(PosterGridController& screen, std::optional<std::size_t> count,
                                    const std::string& what) {
    waitFor(
        [&] {
            const std::size_t shown = screen.moviesArray().size();
            return (count ? shown == *count : shown > 0) && !screen.isLoadItem();
        },
        what);
    waitFor([&] { return LOProgressHUD::allHUDsForView(screen.view()).empty(); }, "the overlays to go");
}

void GridScreenFixture::settle(double seconds) {
    const auto until = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    testsupport::runMainUntil([&] { return std::chrono::steady_clock::now() >= until; }, seconds + 5);
}

void GridScreenFixture::runInput(const std::function<void(DeviceInput::Completion)>& send, const std::string& what) {
    bool done = false;
    send([&done](const DeviceInputResult&) { done = true; });
    waitFor([&] { return done; }, what);
}

void GridScreenFixture::tap(CGPoint point) {
    runInput([&](DeviceInput::Completion done) { input.tap(point, std::move(done)); }, "a tap to finish");
}

void GridScreenFixture::drag(CGPoint from, CGSize delta) {
    runInput([&](DeviceInput::Completion done) { input.drag(from, delta, DeviceDragKind::Touch, std::move(done)); },
             "a drag to finish");
}

void GridScreenFixture::wheel(CGPoint at, CGSize delta) {
    runInput([&](DeviceInput::Completion done) { input.drag(at, delta, DeviceDragKind::Wheel, std::move(done)); },
             "a wheel turn to finish");
}

void GridScreenFixture::type(const std::string& text) {
    runInput([&](DeviceInput::Completion done) { input.type(text, std::move(done)); }, "typing to finish");
}

void GridScreenFixture::pressReturn() {
    runInput([&](DeviceInput::Completion done) { input.key(DeviceKey::Return, std::move(done)); }, "Return to finish");
}

CGPoint GridScreenFixture::centreOf(const UIView& view) const {
    const CGRect bounds = view.bounds();
    return view.convertPointToView(CGPointMake(CGRectGetMidX(bounds), CGRectGetMidY(bounds)), nullptr);
}

void GridScreenFixture::pull(UICollectionView& grid) {
    const CGRect frame = grid.convertRectToView(grid.bounds(), nullptr);
    drag(CGPointMake(CGRectGetMidX(frame), frame.origin.y + 20), CGSizeMake(0, 160));
}

void GridScreenFixture::dragToEnd(UICollectionView& grid, const std::function<bool()>& stopWhen) {
    const CGRect frame = grid.convertRectToView(grid.bounds(), nullptr);
    const CGPoint finger = CGPointMake(CGRectGetMidX(frame), CGRectGetMaxY(frame) - 30);
    const auto atRest = [&grid] { return !grid.isDragging() && !grid.isDecelerating(); };
    // Drags up the grid (each one flicks on a little) until the end of the content is in view ...
    for (int drags = 0; drags < 60; ++drags) {
        waitFor(atRest, "the grid to come to rest");
        if (stopWhen && stopWhen()) return;
        const CGFloat remaining = grid.maximumContentOffset().y - grid.contentOffset().y;
        if (remaining < 1) break;
        drag(finger, CGSizeMake(0, -std::clamp<CGFloat>(remaining / 2.5, 1, frame.size.height - 90)));
    }
    // ... then past it, where the footer triggers.
    waitFor(atRest, "the grid to come to rest at the end");
    drag(finger, CGSizeMake(0, -120));
}

void GridScreenFixture::dragToNextPage(PosterGridController& screen) {
    auto grid = screen.collectionView();
    REQUIRE(grid);
    // A fast reply may have come and gone by the next check: the page number tells.
    const std::int32_t page = screen.indexPage();
    dragToEnd(*grid, [&screen, page] { return screen.isLoadItem() || screen.indexPage() != page; });
}

}  // namespace gridtest
