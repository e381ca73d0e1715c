// Protects the device screen's page in a real browser: the application's page loads in headless Chromium, shows
// the frame pixel for pixel (the ad banner's web frame included), the mouse button going down and coming up is a
// finger put down and lifted at the same point of the application when it happens, and what the application opens
// outside itself shows on the page (a banner click: one click for the ad server, its landing page in a new tab).
#include <doctest/doctest.h>

#include <filesystem>
#include <cmath>
#include <fstream>
#include <memory>
#include <string>

#include "WebDriverSession.h"
#include "platform/imageio/ImageCodecs.h"
#include "support/AdServerProcess.h"
#include "support/CatalogueServerProcess.h"
#include "support/FrameProbes.h"
#include "support/ReferenceImage.h"
#include "support/TestEnvironment.h"

using namespace browsertest;
using testsupport::runMainUntil;

namespace {

// The page puts the device at 28 CSS pixels from the top left (16 of body
// margin and 12 of frame) and the frame image at one CSS pixel a point. The
// browser runs at a device pixel ratio of 2, the screen's scale, so one pixel
// of the frame is one pixel of the browser's screenshot: the picture of the
// image element must equal the frame's PNG exactly, with no scaling between.
const std::vector<std::string> kBrowserArguments = {
    "--headless=new", "--no-sandbox", "--disable-gpu", "--disable-dev-shm-usage", "--force-device-scale-factor=2",
    "--force-color-profile=srgb", "--hide-scrollbars", "--window-size=600,800", "--no-first-run",
    "--disable-extensions", "--disable-background-networking"};

// Resolves once the image element shows a frame numbered above `after` (its number).
constexpr const char* kWaitForFrame = R"JS(
const after = arguments[0], done = arguments[arguments.length - 1];
const image = document.getElementById("screen");
const look = () => {
  const shown = Number(image.dataset.frame || 0);
  if (shown > after && image.complete && image.naturalWidth > 0) done(shown); else setTimeout(look, 20);
};
look();
)JS";

// Keeps every input request the page sends, with the application's answer.
constexpr const char* kRecordInputs = R"JS(
window.sentInputs = [];
const send = window.fetch.bind(window);
window.fetch = async (url, init) => {
  const reply = await send(url, init);
  if (init && init.method === "POST")
    window.sentInputs.push({ path: String(url), body: JSON.parse(init.body), status: reply.status });
  return reply;
};
)JS";

// Resolves with every input sent so far once one has a body with each of the given members.
constexpr const char* kWaitForInputLike = R"JS(
const like = arguments[0], done = arguments[arguments.length - 1];
const matches = input => Object.keys(like).every(key => input.body[key] === like[key]);
const look = () => {
  if (window.sentInputs.some(matches)) done(window.sentInputs); else setTimeout(look, 20);
};
look();
)JS";

// Resolves with the first `count` inputs sent once there are that many.
constexpr const char* kWaitForInputs = R"JS(
const count = arguments[0], done = arguments[arguments.length - 1];
const look = () => {
  if (window.sentInputs.length >= count) done(window.sentInputs.slice(0, count)); else setTimeout(look, 20);
};
look();
)JS";

CGImageRef decode(const Data& png) {
    auto decoded = imageio::decodePng(png, true, imageio::DecodeDepth::Pixels);
    return decoded.frames.size() == 1 ? decoded.frames[0].image : nullptr;
}

Json getJson(int port, const std::string& path) {
    HttpReply reply = httpRequest("GET", "http://127.0.0.1:" + std::to_string(port) + path);
    return Json::parse(reply.body, nullptr, false);
}

// The first shown node (depth first) whose label is the text, or that is an enabled control when the text is empty.
const Json* findTarget(const Json& node, const std::string& label) {
    if (node.value("class", "") != "UIWindow" &&
        (label.empty() ? node.value("enabled", false) : node.value("label", "") == label))
        return &node;
    if (node.contains("children"))
        for (const auto& child : node["children"])
            if (auto found = findTarget(child, label)) return found;
    return nullptr;
}

// The first shown node (depth first) the predicate takes.
template <class Predicate>
const Json* findNode(const Json& node, const Predicate& take) {
    if (take(node)) return &node;
    if (node.contains("children"))
        for (const auto& child : node["children"])
            if (auto found = findNode(child, take)) return found;
    return nullptr;
}

void keep(const std::string& name, const Data& png) {
    std::filesystem::create_directories(QUORVANE_SNAPSHOT_DIR);
    std::ofstream(std::string(QUORVANE_SNAPSHOT_DIR) + "/browser-" + name + ".png", std::ios::binary)
        .write(reinterpret_cast<const char*>(png.data()), static_cast<std::streamsize>(png.size()));
}

struct ShownFrame {
    std::uint64_t number = 0;
    Data screenshot;  // of the image element
    Data served;      // /frame.png for the same frame
};

// The frame on show in the page, its screenshot and the application's PNG of
// it. The application may draw a newer frame meanwhile (a spinner turning):
// then the page is given time to catch up and it is tried again.
ShownFrame shownFrame(WebDriverSession& browser, const std::string& image, int port) {
    ShownFrame shown;
    for (int attempt = 0; attempt < 40; ++attempt) {
        const std::uint64_t newest = getJson(port, "/api/screen").value("frame", std::uint64_t{0});
        Json number = browser.executeAsync(kWaitForFrame, Json::array({newest > 0 ? newest - 1 : 0}));
        REQUIRE_MESSAGE(number.is_number(), "the page did not show frame " << newest << ": " << browser.error());
        shown.number = number.get<std::uint64_t>();
        shown.screenshot = browser.elementScreenshot(image);
        const Json still = browser.execute("return Number(document.getElementById('screen').dataset.frame);");
        HttpReply served = httpRequest("GET", "http://127.0.0.1:" + std::to_string(port) + "/frame.png");
        if (still == shown.number && served.status == 200 && served.header("x-frame-number") == std::to_string(shown.number)) {
            shown.served.assign(served.body.begin(), served.body.end());
            return shown;
        }
    }
    FAIL("the application's frames kept changing under the page");
    return shown;
}

// What the application starts with beyond the defaults: the catalogue backend's
// arguments and more environment (the ad hosts, say).
struct PageOptions {
    std::vector<std::string> catalogueArguments = {};
    std::vector<std::string> environment = {};
    std::vector<std::string> browserArguments = {};  // beyond kBrowserArguments
};

// The application (against a local catalogue backend) and its page open in the browser.
struct PageFixture {
    testsupport::TempHome home;
    testtools::CatalogueServerProcess catalogue;
    std::unique_ptr<ChildProcess> app;
    std::unique_ptr<WebDriverSession> browser;
    int port = 0;
    std::string image;  // the frame's image element

    explicit PageFixture(const PageOptions& options = {}) : catalogue(options.catalogueArguments) {
        REQUIRE_MESSAGE(catalogue.started(), "the catalogue server did not start");
        const std::string portFile = home.path() + "/screen-port";
        std::vector<std::string> environment{
            "QUORVANE_HOME=" + home.path(), "QUORVANE_SCREEN_PORT=0", "QUORVANE_SCREEN_PORT_FILE=" + portFile,
            "QUORVANE_DEVICE=phone", "QUORVANE_CATALOGUE_URL=" + catalogue.origin() + "/admin/index.php/apiios_final"};
        environment.insert(environment.end(), options.environment.begin(), options.environment.end());
        app = std::make_unique<ChildProcess>(std::vector<std::string>{QUORVANE_APP_EXECUTABLE}, environment,
                                             home.path() + "/application.out");
        REQUIRE(app->started());
        REQUIRE_MESSAGE(runMainUntil([&] { return !readFile(portFile).empty(); }, 30), "the application wrote no port");
        port = std::stoi(readFile(portFile));

        std::vector<std::string> arguments = kBrowserArguments;
        arguments.insert(arguments.end(), options.browserArguments.begin(), options.browserArguments.end());
        browser = std::make_unique<WebDriverSession>(arguments, home.path());
        REQUIRE_MESSAGE(browser->started(), browser->error());
        REQUIRE(browser->command("POST", "/timeouts", {{"script", 15000}}).is_null());
        browser->navigate(url("/"));
        image = browser->findElement("#screen");
        REQUIRE_MESSAGE(!image.empty(), browser->error());
    }
    ~PageFixture() {
        browser.reset();  // the browser quits before the application goes
        app.reset();
    }
    std::string url(const std::string& path) const { return "http://127.0.0.1:" + std::to_string(port) + path; }
    // Starts keeping the input requests the page sends.
    void recordInputs() { REQUIRE(browser->execute(kRecordInputs).is_null()); }
    // Every input request the page sent since recordInputs, once one has a body like `like`.
    Json sentInputsUntil(const Json& like) {
        Json sent = browser->executeAsync(kWaitForInputLike, Json::array({like}));
        REQUIRE_MESSAGE(sent.is_array(), "the page sent no input like " << like.dump() << ": " << browser->error());
        return sent;
    }
    // The first `count` input requests the page sent since recordInputs.
    Json sentInputs(std::size_t count) {
        Json sent = browser->executeAsync(kWaitForInputs, Json::array({count}));
        REQUIRE_MESSAGE(sent.is_array(), "the page sent fewer than " << count << " inputs: " << browser->error());
        return sent;
    }
};

}  // namespace

TEST_CASE("the page in a real browser shows the frame pixel for pixel, and a click is a tap at that point") {
    if (!browserAvailable()) {
        MESSAGE("chromium and chromium-driver are not installed (scripts/install-deps installs them): skipped");
        return;
    }
    PageFixture page;
    WebDriverSession& browser = *page.browser;
    const int port = page.port;
    const std::string& image = page.image;

    // The page loads, from the application alone.
    CHECK(browser.execute("return document.title;") == "Quorvane device screen");
    CHECK(browser.execute("return window.devicePixelRatio;") == 2);
    const Json box = browser.execute("return document.getElementById('screen').getBoundingClientRect().toJSON();");
    CHECK(box["width"] == 320);
    CHECK(box["height"] == 568);

    // The application's shell shows an "About" tab once it has left its splash.
    const HttpReply about = httpRequest("POST", page.url("/api/wait"),
                                        R"({"label":"About","timeout_ms":5000})");

    // The picture in the page is the frame, pixel for pixel.
    ShownFrame before = shownFrame(browser, image, port);
    keep("page", before.screenshot);
    CGImageRef shot = decode(before.screenshot), served = decode(before.served);
    REQUIRE(shot);
    REQUIRE(served);
    CHECK(served->width() == 640);
    CHECK(served->height() == 1136);
    const auto difference = testsupport::comparePixels(shot, served, 0);
    CHECK_MESSAGE(difference.sameSize, "screenshot " << shot->width() << " x " << shot->height());
    CHECK_MESSAGE(difference.offPixels == 0, difference.offPixels << " pixels differ, by up to "
                                                                  << difference.largestDifference);

    // A click on the page: the application's "About" tab when its shell shows one,
    // else the first control it shows, else the middle of the screen.
    const Json tree = getJson(port, "/api/tree");
    REQUIRE(tree.contains("views"));
    const Json* target = nullptr;
    if (!tree["views"].empty()) {
        if (about.status == 200) target = findTarget(tree["views"][0], "About");
        if (!target) target = findTarget(tree["views"][0], "");
    }
    double x = 160, y = 284;
    if (target) {
        x = (*target)["frame"][0].get<double>() + (*target)["frame"][2].get<double>() / 2;
        y = (*target)["frame"][1].get<double>() + (*target)["frame"][3].get<double>() / 2;
    }
    page.recordInputs();
    browser.clickAt(image, static_cast<int>(std::lround(x)) - 160, static_cast<int>(std::lround(y)) - 284);
    const Json inputs = page.sentInputs(2);
    const Json& sent = inputs[0];  // the finger put down, then lifted where it went down
    CHECK(sent["path"] == "/api/touch");
    CHECK(sent["body"]["phase"] == "down");
    CHECK(std::abs(sent["body"]["x"].get<double>() - std::lround(x)) <= 1);
    CHECK(std::abs(sent["body"]["y"].get<double>() - std::lround(y)) <= 1);
    CHECK(inputs[1]["path"] == "/api/touch");
    CHECK(inputs[1]["body"] == Json({{"phase", "up"}, {"x", sent["body"]["x"]}, {"y", sent["body"]["y"]}}));
    if (!target && tree["views"].empty()) {
        MESSAGE("the application shows no window yet: the click is checked as a tap that nothing took");
        CHECK(sent["status"] == 409);
        return;
    }
    if (!target) {
        MESSAGE("the application shows no control yet: the click is checked as a tap the application answered");
        CHECK((sent["status"] == 200 || sent["status"] == 409));
        return;
    }
    CHECK(sent["status"] == 200);
    CHECK(inputs[1]["status"] == 200);
    if (target->value("label", "") != "About") {
        MESSAGE("the application shows no \"About\" tab yet: the click is checked as a tap on a "
                << target->value("class", ""));
        return;
    }
    // Choosing the tab draws another page: a newer frame, other pixels.
    Json changed = browser.executeAsync(kWaitForFrame, Json::array({before.number}));
    REQUIRE_MESSAGE(changed.is_number(), "no new frame after the click: " << browser.error());
    ShownFrame after = shownFrame(browser, image, port);
    keep("page-after-click", after.screenshot);
    CHECK(after.number > before.number);
    CHECK(testsupport::comparePixels(decode(after.screenshot), shot, 0).offPixels > 0);
    CHECK(testsupport::comparePixels(decode(after.screenshot), decode(after.served), 0).offPixels == 0);
}

TEST_CASE("the page puts the finger down when the button goes down and lifts it when it comes up, moves it in a "
          "drag, and sends the wheel as a scroll and typed keys") {
    if (!browserAvailable()) {
        MESSAGE("chromium and chromium-driver are not installed (scripts/install-deps installs them): skipped");
        return;
    }
    PageFixture page;
    WebDriverSession& browser = *page.browser;
    page.recordInputs();
    browser.dragAt(page.image, 0, 0, 0, -60);  // from the middle of the screen, 60 points up
    // The next click's button goes down and stays down: its finger is down in the application meanwhile.
    browser.mouseDownAt(page.image, 10, 10);
    Json sent = page.sentInputsUntil({{"phase", "down"}, {"x", 170}});
    const auto body = [&](std::size_t i) { return sent[i]["body"]; };
    REQUIRE(sent.size() >= 4);  // down, one move or more, up, the held button's down
    CHECK(sent[0]["path"] == "/api/touch");
    CHECK(body(0) == Json({{"phase", "down"}, {"x", 160}, {"y", 284}}));
    const std::size_t up = sent.size() - 2;
    for (std::size_t i = 1; i < up; ++i) CHECK(body(i)["phase"] == "move");
    CHECK(body(up - 1) == Json({{"phase", "move"}, {"x", 160}, {"y", 224}}));
    CHECK(body(up) == Json({{"phase", "up"}, {"x", 160}, {"y", 224}}));
    CHECK(body(up + 1) == Json({{"phase", "down"}, {"x", 170}, {"y", 294}}));
    CHECK(sent[up + 1]["status"] != 0);  // answered while the button is still down
    browser.mouseUp();
    browser.wheelAt(page.image, 0, 120);
    browser.typeKeys({"a", "\uE007", "\uE003"});  // a, Enter, Backspace, while the wheel turn is being gathered
    sent = page.sentInputsUntil({{"key", "Backspace"}});
    REQUIRE(sent.size() == up + 7);
    CHECK(body(up + 2) == Json({{"phase", "up"}, {"x", 170}, {"y", 294}}));
    CHECK(sent[up + 3]["path"] == "/api/scroll");
    CHECK(body(up + 3).value("wheel", false));
    CHECK(body(up + 3).value("dy", 0.0) == -120);  // the wheel turned down moves the content up
    CHECK(sent[up + 4]["path"] == "/api/type");
    CHECK(body(up + 4) == Json({{"text", "a"}}));
    CHECK(sent[up + 5]["path"] == "/api/key");
    CHECK(body(up + 5) == Json({{"key", "Return"}}));
    CHECK(body(up + 6) == Json({{"key", "Backspace"}}));
    for (const auto& input : sent) CHECK(input["status"] != 0);  // each answered by the application
}

TEST_CASE("the first grid in a real browser is the frame pixel for pixel, and a click on a title opens its page") {
    if (!browserAvailable()) {
        MESSAGE("chromium and chromium-driver are not installed (scripts/install-deps installs them): skipped");
        return;
    }
    PageFixture page;
    WebDriverSession& browser = *page.browser;

    // The movie grid: cells, and the first one's poster arrived (its view then reads "<title> poster").
    REQUIRE(httpRequest("POST", page.url("/api/wait"), R"({"id":"moviePoster","timeout_ms":20000})").status == 200);
    Json tree = getJson(page.port, "/api/tree");
    // The top left cell (the first row is wholly on screen).
    const Json* cell = nullptr;
    findNode(tree["views"][0], [&cell](const Json& v) {
        if (v.value("class", "") != "MovieCollectionCell") return false;
        const auto at = [](const Json& node) { return std::make_pair(node["frame"][1].get<double>(), node["frame"][0].get<double>()); };
        if (!cell || at(v) < at(*cell)) cell = &v;
        return false;
    });
    REQUIRE(cell);
    const Json* titleLabel = findNode(*cell, [](const Json& v) { return v.value("id", "") == "movieTitle"; });
    REQUIRE(titleLabel);
    const std::string title = titleLabel->value("label", "");
    REQUIRE(!title.empty());
    const Json wait = {{"label", title + " poster"}, {"timeout_ms", 20000}};
    REQUIRE(httpRequest("POST", page.url("/api/wait"), wait.dump()).status == 200);

    // The page shows the grid as the application draws it, pixel for pixel.
    ShownFrame grid = shownFrame(browser, page.image, page.port);
    keep("grid", grid.screenshot);
    CGImageRef shot = decode(grid.screenshot), served = decode(grid.served);
    REQUIRE(shot);
    REQUIRE(served);
    const auto difference = testsupport::comparePixels(shot, served, 0);
    CHECK(difference.sameSize);
    CHECK_MESSAGE(difference.offPixels == 0, difference.offPixels << " pixels differ");

    // A click on the title opens the title's detail page, which names it.
    const Json& frame = (*titleLabel)["frame"];
    const double x = frame[0].get<double>() + frame[2].get<double>() / 2;
    const double y = frame[1].get<double>() + frame[3].get<double>() / 2;
    page.recordInputs();
    browser.clickAt(page.image, static_cast<int>(std::lround(x)) - 160, static_cast<int>(std::lround(y)) - 284);
    for (const Json& input : page.sentInputs(2)) CHECK(input["status"] == 200);
    REQUIRE(httpRequest("POST", page.url("/api/wait"), R"({"id":"titleMovieLabel","timeout_ms":20000})").status == 200);
    const Json* detailTitle = nullptr;
    const bool named = runMainUntil(
        [&] {
            tree = getJson(page.port, "/api/tree");
            detailTitle = findNode(tree["views"][0], [](const Json& v) { return v.value("id", "") == "titleMovieLabel"; });
            return detailTitle && detailTitle->value("label", "") == title;
        },
        20);
    CHECK_MESSAGE(named, "the detail page does not name " << title << ": " << (detailTitle ? detailTitle->dump() : "none"));
    keep("detail", shownFrame(browser, page.image, page.port).screenshot);
}

TEST_CASE("with ads on, the page in a real browser shows the grid's banner as the frame does, and a click on it is one "
          "click for the ad server, shown on the page and opened in a new tab: the ad server's click and landing page") {
    if (!browserAvailable()) {
        MESSAGE("chromium and chromium-driver are not installed (scripts/install-deps installs them): skipped");
        return;
    }
    testtools::AdServerProcess ads({"--units", testtools::shippedAdUnits()});
    REQUIRE_MESSAGE(ads.started(), "the ad server");
    // The banner opens the ad server's click address over HTTPS, under the server's own test authority.
    PageFixture page({{"--adv-type", "1", "--adv-count", "3", "--adv-id-banner", "quorvane-banner-0001",
                       "--adv-id-inter", "quorvane-interstitial-0001"},
                      ads.applicationEnvironment(),
                      {"--ignore-certificate-errors"}});
    WebDriverSession& browser = *page.browser;

    // The grid's banner area holds the creative's page.
    const Json* banner = nullptr;
    Json tree;
    const auto bannerArea = [](const Json& v) { return v.value("id", "") == "bannerView"; };
    const auto creative = [](const Json& v) { return v.value("title", "") == "Quorvane banner 320x50"; };
    REQUIRE_MESSAGE(runMainUntil(
                        [&] {
                            tree = getJson(page.port, "/api/tree");
                            const bool shown = tree.contains("views") && !tree["views"].empty();
                            banner = shown ? findNode(tree["views"][0], bannerArea) : nullptr;
                            return banner && findNode(*banner, creative);
                        },
                        30),
                    "the grid's banner with the 320 x 50 creative");
    const Json box = (*banner)["frame"];
    CHECK(box == Json::array({0, 64, 320, 50}));
    const double left = box[0].get<double>(), top = box[1].get<double>();
    const double right = left + box[2].get<double>(), bottom = top + box[3].get<double>();

    // The page shows the creative's band (#00897B) in the banner's frame, and is the frame pixel for pixel.
    const CGRect bannerRect = testsupport::viewRect(*banner);
    const auto banded = [&](const CGImageRef& image) {
        return testsupport::cornersShow(image, bannerRect, {0x00, 0x89, 0x7B}, 6);
    };
    ShownFrame shown;
    CGImageRef shot = nullptr;
    REQUIRE_MESSAGE(runMainUntil([&] {
        shown = shownFrame(browser, page.image, page.port);
        shot = decode(shown.screenshot);
        return shot && banded(shot);
    }, 30), "the page to show the banner's band");
    keep("ads-grid", shown.screenshot);
    const auto difference = testsupport::comparePixels(shot, decode(shown.served), 0);
    CHECK(difference.sameSize);
    CHECK_MESSAGE(difference.offPixels == 0,
                  difference.offPixels << " pixels differ, by up to " << difference.largestDifference);

    // A click on the banner reaches its page: the ad server logs one click ping for the creative.
    const auto clicks = [&] {
        std::vector<std::string> units;
        for (const Json& entry : ads.log())
            if (entry.value("path", "") == "/adnet/ping/click") units.push_back(entry.value("rawQuery", ""));
        return units;
    };
    const auto requests = [&](const std::string& path) {
        std::vector<std::string> queries;
        for (const Json& entry : ads.log())
            if (entry.value("path", "") == path) queries.push_back(entry.value("rawQuery", ""));
        return queries;
    };
    REQUIRE(clicks().empty());
    page.recordInputs();
    browser.clickAt(page.image, static_cast<int>(std::lround((left + right) / 2)) - 160,
                    static_cast<int>(std::lround((top + bottom) / 2)) - 284);
    for (const Json& input : page.sentInputs(2)) CHECK(input["status"] == 200);
    REQUIRE_MESSAGE(runMainUntil([&] { return !clicks().empty(); }, 30), "the click ping in the ad server's log");
    CHECK(clicks() == std::vector<std::string>{"unit=quorvane-banner-0001-320x50"});

    // The application opens the creative's link outside itself: the page shows its address over the screen ...
    const Json notice = browser.executeAsync(R"JS(
const done = arguments[arguments.length - 1];
const look = () => {
  const notice = document.getElementById("opened"), link = document.getElementById("opened-link");
  if (!notice.hidden) done({ text: link.textContent, href: link.href, target: link.target }); else setTimeout(look, 20);
};
look();
)JS");
    REQUIRE_MESSAGE(notice.is_object(), "no notice of the opened address on the page: " << browser.error());
    const std::string opened = notice.value("text", "");
    CHECK_MESSAGE(opened.starts_with(ads.origin("https") + "/adnet/click?ai=quorvane-banner-0001-320x50"), opened);
    CHECK(notice.value("href", "") == opened);
    CHECK(notice.value("target", "") == "_blank");
    // ... and, the click being the person's, in a new tab, which follows the ad server's click to its landing page.
    REQUIRE_MESSAGE(runMainUntil([&] { return browser.command("GET", "/window/handles").size() == 2; }, 30),
                    "no new tab: " << browser.command("GET", "/window/handles").dump());
    REQUIRE_MESSAGE(runMainUntil([&] { return !requests("/adnet/landing").empty(); }, 30),
                    "the landing page in the ad server's log");
    const auto clickRequests = requests("/adnet/click");
    REQUIRE(clickRequests.size() == 1);
    CHECK(clickRequests[0].starts_with("ai=quorvane-banner-0001-320x50"));
    CHECK(requests("/adnet/landing").size() == 1);
    CHECK(clicks().size() == 1);  // the tab is not a second click
}
