// Protects the device screen's page in a real browser: the application's page loads in headless Chromium, shows
// the frame pixel for pixel, and a click on it is a tap at the same point of the application.
#include <doctest/doctest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "WebDriverSession.h"
#include "platform/imageio/ImageCodecs.h"
#include "support/CatalogueServerProcess.h"
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

constexpr const char* kWaitForInput = R"JS(
const done = arguments[arguments.length - 1];
const look = () => { if (window.sentInputs.length > 0) done(window.sentInputs[0]); else setTimeout(look, 20); };
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

}  // namespace

TEST_CASE("the page in a real browser shows the frame pixel for pixel, and a click is a tap at that point") {
    if (!browserAvailable()) {
        MESSAGE("chromium and chromium-driver are not installed (scripts/install-deps installs them): skipped");
        return;
    }
    testsupport::TempHome home;
    testtools::CatalogueServerProcess catalogue;
    REQUIRE_MESSAGE(catalogue.started(), "the catalogue server did not start");
    const std::string portFile = home.path() + "/screen-port";
    ChildProcess app({QUORVANE_APP_EXECUTABLE},
                     {"QUORVANE_HOME=" + home.path(), "QUORVANE_SCREEN_PORT=0", "QUORVANE_SCREEN_PORT_FILE=" + portFile,
                      "QUORVANE_DEVICE=phone",
                      "QUORVANE_CATALOGUE_URL=" + catalogue.origin() + "/admin/index.php/apiios_final"},
                     home.path() + "/application.out");
    REQUIRE(app.started());
    REQUIRE_MESSAGE(runMainUntil([&] { return !readFile(portFile).empty(); }, 30), "the application wrote no port");
    const int port = std::stoi(readFile(portFile));

    WebDriverSession browser(kBrowserArguments, home.path());
    REQUIRE_MESSAGE(browser.started(), browser.error());
    REQUIRE(!browser.command("POST", "/timeouts", {{"script", 15000}}).is_discarded());

    // The page loads, from the application alone.
    browser.navigate("http://127.0.0.1:" + std::to_string(port) + "/");
    CHECK(browser.execute("return document.title;") == "Quorvane device screen");
    CHECK(browser.execute("return window.devicePixelRatio;") == 2);
    const std::string image = browser.findElement("#screen");
    REQUIRE_MESSAGE(!image.empty(), browser.error());
    const Json box = browser.execute("return document.getElementById('screen').getBoundingClientRect().toJSON();");
    CHECK(box["width"] == 320);
    CHECK(box["height"] == 568);

    // The application's shell shows an "About" tab once it has left its splash.
    const HttpReply about = httpRequest("POST", "http://127.0.0.1:" + std::to_string(port) + "/api/wait",
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
    REQUIRE(browser.execute(kRecordInputs).is_null());
    browser.clickAt(image, static_cast<int>(std::lround(x)) - 160, static_cast<int>(std::lround(y)) - 284);
    const Json sent = browser.executeAsync(kWaitForInput);
    REQUIRE_MESSAGE(sent.is_object(), "the click sent nothing: " << browser.error());
    CHECK(sent["path"] == "/api/tap");
    CHECK(std::abs(sent["body"]["x"].get<double>() - std::lround(x)) <= 1);
    CHECK(std::abs(sent["body"]["y"].get<double>() - std::lround(y)) <= 1);
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
