// Protects the picker and detail page tests' helpers: devices, input to views by identifier or point, waits, and snapshots with pixel probes.
#include "DetailTestSupport.h"

#include <doctest/doctest.h>

#include <cmath>
#include <filesystem>
#include <fstream>

#include "platform/display/DeviceScene.h"
#include "platform/display/DeviceScreen.h"
#include "platform/display/DeviceTree.h"
#include "platform/imageio/ImageCodecs.h"
#include "platform/uikit/UIApplication.h"
#include "platform/uikit/UIScreen.h"
#include "support/TestEnvironment.h"
#include "ui/popover/FLPopoverOverlayView.h"

namespace screentest {

DeviceKind::DeviceKind(bool tablet)
    : tablet_(tablet),
      savedBounds_(UIScreen::mainScreen()->portraitBounds()),
      savedScale_(UIScreen::mainScreen()->scale()),
      savedIdiom_(UIDevice::currentDevice()->userInterfaceIdiom()) {
    UIDevice::currentDevice()->setUserInterfaceIdiom(tablet ? UIUserInterfaceIdiomPad : UIUserInterfaceIdiomPhone);
    UIScreen::mainScreen()->setBounds(bounds());
    UIScreen::mainScreen()->setScale(2);
}

DeviceKind::~DeviceKind() {
    UIScreen::mainScreen()->setBounds(savedBounds_);
    UIScreen::mainScreen()->setScale(savedScale_);
    UIDevice::currentDevice()->setUserInterfaceIdiom(savedIdiom_);
}

CGRect DeviceKind::bounds() const { return tablet_ ? CGRectMake(0, 0, 768, 1024) : CGRectMake(0, 0, 320, 568); }

void waitFor(const std::function<bool()>& condition, const std::string& what, double timeoutSeconds) {
    const bool held = testsupport::runMainUntil(condition, timeoutSeconds);
    REQUIRE_MESSAGE(held, "timed out after " << timeoutSeconds << " s waiting for " << what);
}

namespace {
// Animations that end (a spinner's endless turn does not count).
bool animating(const CALayer& layer) {
    for (const auto& key : layer.animationKeys())
        if (auto animation = layer.animationForKey(key); animation && !std::isinf(animation->repeatCount)) return true;
    for (const auto& sublayer : layer.sublayers())
        if (sublayer && animating(*sublayer)) return true;
    return false;
}
}  // namespace

void settle() {
    auto still = [] {
        for (const auto& window : UIWindow::allWindows())
            if (window->isVisible() && animating(*window->layer())) return false;
        return true;
    };
    // Transitions finish on the pass after they were asked for; two quiet passes in a row.
    int quiet = 0;
    waitFor([&] { return still() && ++quiet > 2; }, "the views to stop animating");
}

DeviceInputResult Finger::tap(CGPoint point) {
    std::optional<DeviceInputResult> result;
    input_.tap(point, [&](const DeviceInputResult& r) { result = r; });
    waitFor([&] { return result.has_value(); }, "a tap to be carried out");
    return *result;
}

DeviceInputResult Finger::tapId(const std::string& identifier, std::optional<std::size_t> index) {
    DeviceTargetQuery query;
    query.identifier = identifier;
    query.index = index;
    const DeviceTarget target = DeviceTree::locate(query);
    REQUIRE_MESSAGE(target.status == DeviceTargetStatus::Found, "cannot tap " << identifier << ": " << target.message);
    return tap(target.point);
}

DeviceInputResult Finger::tapRow(const UITableView& table, long row) {
    const CGRect rect = table.rectForRowAtIndexPath(NSIndexPath::indexPathForRow(row, 0));
    REQUIRE_MESSAGE(!CGRectIsEmpty(rect), "the table has no row " << row);
    const CGRect inWindow = table.convertRectToView(rect, nullptr);
    return tap(CGPointMake(CGRectGetMidX(inWindow), CGRectGetMidY(inWindow)));
}

DeviceInputResult Finger::tapAlertButton(const std::string& title) {
    auto alert = DeviceScene::frontAlert();
    REQUIRE_MESSAGE(alert, "no alert is up to press " << title);
    for (const auto& button : alert->buttons)
        if (button.title == title) return tap(CGPointMake(CGRectGetMidX(button.frame), CGRectGetMidY(button.frame)));
    FAIL("the alert has no button " << title);
    return {};
}

bool isShown(const std::string& identifier) {
    DeviceTargetQuery query;
    query.identifier = identifier;
    return DeviceTree::countMatches(query) > 0;
}

bool dialogInWindow(const UIWindow& window) {
    for (const auto& view : window.subviews())
        if (std::dynamic_pointer_cast<FLPopoverOverlayView>(view)) return true;
    return false;
}

std::vector<long> checkedRows(const UITableView& table) {
    std::vector<long> rows;
    for (const auto& cell : table.visibleCells())
        if (cell->accessoryType() == UITableViewCellAccessoryCheckmark)
            if (auto path = table.indexPathForCell(*cell)) rows.push_back(path->row());
    return rows;
}

std::vector<std::string> rowTexts(const UITableView& table) {
    std::vector<std::string> texts;
    for (const auto& cell : table.visibleCells()) texts.push_back(cell->textLabel()->text());
    return texts;
}

CGImageRef snapshot(const std::string& name) {
    DeviceScreen screen(DeviceScreen::Options{0.05, false});
    const std::uint64_t number = screen.renderNow();
    const DeviceFrame frame = screen.frames()->latest();
    REQUIRE(frame.number == number);
    const auto png = screen.frames()->png(frame);
    REQUIRE_MESSAGE(png, "the frame of " << name << " was not encoded");
    const auto folder = std::filesystem::path(testsupport::selfExecutable()).parent_path().parent_path() /
                        "screens-snapshots";
    std::filesystem::create_directories(folder);
    std::ofstream(folder / (name + ".png"), std::ios::binary)
        .write(reinterpret_cast<const char*>(png->data()), static_cast<std::streamsize>(png->size()));
    auto decoded = imageio::decodePng(*png, true, imageio::DecodeDepth::Pixels);
    REQUIRE(decoded.frames.size() == 1);
    return decoded.frames[0].image;
}

CGPixel probe(const CGImageRef& image, double x, double y) {
    return image->pixelAt(static_cast<std::size_t>(x * 2), static_cast<std::size_t>(y * 2));
}

bool near(CGPixel a, CGPixel b, int tolerance) {
    auto close = [tolerance](int x, int y) { return std::abs(x - y) <= tolerance; };
    return close(a.r, b.r) && close(a.g, b.g) && close(a.b, b.b) && close(a.a, b.a);
}

}  // namespace screentest
