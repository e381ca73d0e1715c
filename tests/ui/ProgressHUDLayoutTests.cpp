// Protects the progress overlay's defaults, class operations, indicators and
// panel geometry: the layout steps, the square and minimum sizes, hosts too
// small for the margins, which property changes lay out again, and the
// rotation it applies on older systems.
#include "ui/ProgressHUDTestSupport.h"

#include "platform/uikit/UIActivityIndicatorView.h"
#include "platform/uikit/UIApplication.h"
#include "platform/uikit/UIDevice.h"
#include "platform/uikit/NSStringDrawing.h"
#include "ui/progresshud/LOBarProgressView.h"
#include "ui/progresshud/LORoundProgressView.h"

using namespace hudtest;

namespace {

std::shared_ptr<UIView> hostView(CGFloat width, CGFloat height) {
    return std::make_shared<UIView>(CGRectMake(0, 0, width, height));
}

std::shared_ptr<LOProgressHUD> laidOut(const std::shared_ptr<UIView>& host,
                                       const std::function<void(LOProgressHUD&)>& configure) {
    auto hud = LOProgressHUD::initWithView(host);
    host->addSubview(hud);
    configure(*hud);
    hud->setNeedsLayout();
    hud->layoutIfNeeded();
    return hud;
}

}  // namespace

TEST_CASE("a new overlay has the documented defaults, labels and spinner") {
    auto hud = LOProgressHUD::initWithFrame(CGRectMake(0, 0, 320, 480));
    CHECK(hud->mode() == LOProgressHUDModeIndeterminate);
    CHECK(hud->animationType() == LOProgressHUDAnimationFade);
    CHECK_FALSE(hud->customView());
    CHECK_FALSE(hud->delegate());
    CHECK_FALSE(hud->labelText());
    CHECK_FALSE(hud->detailsLabelText());
    CHECK(hud->opacity() == doctest::Approx(0.8));
    CHECK_FALSE(hud->color());
    CHECK(hud->xOffset() == 0);
    CHECK(hud->yOffset() == 0);
    CHECK(hud->margin() == 20);
    CHECK(hud->cornerRadius() == 10);
    CHECK_FALSE(hud->dimBackground());
    CHECK(hud->graceTime() == 0);
    CHECK(hud->minShowTime() == 0);
    CHECK_FALSE(hud->taskInProgress());
    CHECK_FALSE(hud->removeFromSuperViewOnHide());
    CHECK(hud->labelFont()->isBold());
    CHECK(hud->labelFont()->pointSize() == 16);
    CHECK(hud->detailsLabelFont()->isBold());
    CHECK(hud->detailsLabelFont()->pointSize() == 12);
    CHECK(hud->labelColor()->isEqual(UIColor::whiteColor()));
    CHECK(hud->detailsLabelColor()->isEqual(UIColor::whiteColor()));
    CHECK(hud->activityIndicatorColor()->isEqual(UIColor::whiteColor()));
    CHECK(hud->progress() == 0);
    CHECK(hud->minSize() == CGSizeZero);
    CHECK_FALSE(hud->isSquare());
    CHECK(hud->size() == CGSizeZero);
    CHECK_FALSE(hud->completionBlock());

    CHECK_FALSE(hud->isOpaque());
    CHECK(hud->alpha() == 0);
    CHECK(hud->contentMode() == UIViewContentModeCenter);
    CHECK(hud->autoresizingMask() == 45);
    CHECK(hud->label()->textAlignment() == 1);
    CHECK(hud->label()->numberOfLines() == 1);
    CHECK_FALSE(hud->label()->adjustsFontSizeToFitWidth());
    CHECK(hud->detailsLabel()->numberOfLines() == 0);
    auto spinner = std::dynamic_pointer_cast<UIActivityIndicatorView>(hud->indicator());
    REQUIRE(spinner);
    CHECK(spinner->activityIndicatorViewStyle() == UIActivityIndicatorViewStyleWhiteLarge);
    CHECK(spinner->isAnimating());
    CHECK(spinner->superview().get() == hud.get());

    LORoundProgressView round;
    CHECK(round.bounds().size == CGSizeMake(37, 37));
    CHECK_FALSE(round.isOpaque());
    CHECK_FALSE(round.isAnnular());
    CHECK(round.progressTintColor()->isEqual(UIColor::colorWithWhite(1, 1)));
    CHECK(round.backgroundTintColor()->isEqual(UIColor::colorWithWhite(1, 0.1)));
    LOBarProgressView bar;
    CHECK(bar.bounds().size == CGSizeMake(120, 20));
    CHECK_FALSE(bar.isOpaque());
    CHECK(bar.lineColor()->isEqual(UIColor::whiteColor()));
    CHECK(bar.progressRemainingColor()->isEqual(UIColor::clearColor()));
    CHECK(bar.progressColor()->isEqual(UIColor::whiteColor()));
}

TEST_CASE("class operations find, show and hide the overlays among a view's direct subviews") {
    auto host = hostView(320, 480);
    CHECK_FALSE(LOProgressHUD::hideHUDForView(host, false));
    CHECK(LOProgressHUD::hideAllHUDsForView(host, false) == 0);
    CHECK_FALSE(LOProgressHUD::HUDForView(host));

    auto other = std::make_shared<UIView>(CGRectMake(0, 0, 10, 10));
    host->addSubview(other);
    auto first = LOProgressHUD::showHUDAddedTo(host, false);
    auto second = LOProgressHUD::showHUDAddedTo(host, false);
    CHECK(host->subviews().back() == second);
    CHECK(second->removeFromSuperViewOnHide());
    CHECK(second->alpha() == 1);
    CHECK(second->frame() == host->bounds());
    CHECK(LOProgressHUD::HUDForView(host) == second);
    CHECK(LOProgressHUD::allHUDsForView(host) == std::vector<std::shared_ptr<LOProgressHUD>>{first, second});

    // Only the top-most one goes.
    CHECK(LOProgressHUD::hideHUDForView(host, false));
    CHECK_FALSE(second->superview());
    CHECK(first->superview() == host);
    CHECK(LOProgressHUD::HUDForView(host) == first);

    // A subclass counts as an overlay for the base class, not the other way round.
    struct TallHUD : LOProgressHUD {
        using LOProgressHUD::LOProgressHUD;
    };
    auto tall = LOProgressHUD::showHUDAddedTo<TallHUD>(host, false);
    CHECK(LOProgressHUD::HUDForView(host) == tall);
    CHECK(LOProgressHUD::HUDForView<TallHUD>(host) == tall);
    CHECK(LOProgressHUD::allHUDsForView<TallHUD>(host).size() == 1);
    CHECK(LOProgressHUD::hideAllHUDsForView(host, false) == 2);
    CHECK(host->subviews() == std::vector<std::shared_ptr<UIView>>{other});
}

TEST_CASE("the panel is laid out from its indicator, label and details, with square and minimum sizes") {
    auto host = hostView(320, 480);
    auto custom = std::make_shared<UIView>(CGRectMake(0, 0, 80, 40));
    SUBCASE("a square panel: 120 x 80 in 320 x 480 becomes 120 x 120") {
        auto hud = laidOut(host, [&](LOProgressHUD& h) {
            h.setCustomView(custom);
            h.setMode(LOProgressHUDModeCustomView);
        });
        CHECK(hud->indicator() == custom);
        CHECK(hud->size() == CGSizeMake(120, 80));
        CHECK(custom->frame() == CGRectMake(120, 220, 80, 40));
        hud->setSquare(true);
        hud->setNeedsLayout();
        hud->layoutIfNeeded();
        CHECK(hud->size() == CGSizeMake(120, 120));
    }
    SUBCASE("a square that does not fit the height keeps its height") {
        auto low = hostView(320, 150);
        auto hud = laidOut(low, [&](LOProgressHUD& h) {
            h.setCustomView(std::make_shared<UIView>(CGRectMake(0, 0, 200, 40)));
            h.setMode(LOProgressHUDModeCustomView);
            h.setSquare(true);
        });
        CHECK(hud->size() == CGSizeMake(240, 80));
    }
    SUBCASE("text only with empty texts: twice the margin, raised to the minimum size") {
        auto hud = laidOut(host, [](LOProgressHUD& h) { h.setMode(LOProgressHUDModeText); });
        CHECK_FALSE(hud->indicator());
        CHECK(hud->size() == CGSizeMake(40, 40));
        hud->setMinSize(CGSizeMake(100, 30));
        hud->setNeedsLayout();
        hud->layoutIfNeeded();
        CHECK(hud->size() == CGSizeMake(100, 40));
    }
    SUBCASE("spinner, label and details stack with 4 points between them, centred and offset") {
        auto hud = laidOut(host, [](LOProgressHUD& h) {
            h.setLabelText("Loading");
            h.setDetailsLabelText("Fetching the catalogue");
            h.setXOffset(10);
            h.setYOffset(-20);
        });
        const CGSize label = sizeWithAttributes("Loading", NSAttributes(UIFont::boldSystemFontOfSize(16)));
        const CGSize details = boundingRectWithSize("Fetching the catalogue", CGSizeMake(240, 1000),
                                                    NSStringDrawingUsesLineFragmentOrigin,
                                                    NSAttributes(UIFont::boldSystemFontOfSize(12)))
                                   .size;
        const CGFloat height = 37 + 4 + label.height + 4 + details.height + 40;
        const CGFloat width = std::max({CGFloat(37), label.width, details.width}) + 40;
        CHECK(hud->size().width == doctest::Approx(width));
        CHECK(hud->size().height == doctest::Approx(height));
        const CGFloat top = std::round((480 - height) / 2) + 20 - 20;
        CHECK(hud->indicator()->frame() == CGRectMake(std::round((320 - 37) / 2.0) + 10, top, 37, 37));
        CHECK(hud->label()->frame().origin.y == doctest::Approx(top + 37 + 4));
        CHECK(hud->label()->frame().origin.x == doctest::Approx(std::round((320 - label.width) / 2) + 10));
        CHECK(hud->label()->frame().size.width == doctest::Approx(label.width));
        CHECK(hud->detailsLabel()->frame().origin.y == doctest::Approx(top + 37 + 4 + label.height + 4));
    }
    SUBCASE("a label wider than the room is narrowed; the details wrap within it") {
        auto narrow = hostView(200, 480);
        const std::string text = "A label far too long to fit in a narrow overlay";
        auto hud = laidOut(narrow, [&](LOProgressHUD& h) {
            h.setLabelText(text);
            h.setDetailsLabelText(text);
        });
        CHECK(hud->label()->frame().size.width == doctest::Approx(120));
        CHECK(hud->detailsLabel()->frame().size.width <= 120);
        CHECK(hud->detailsLabel()->frame().size.height > 2 * UIFont::boldSystemFontOfSize(12)->lineHeight());
        CHECK(hud->size().width == doctest::Approx(160));
    }
}

TEST_CASE("a host too small for the margins gives no negative sizes") {
    for (CGSize hostSize : {CGSizeMake(50, 50), CGSizeMake(0, 0), CGSizeMake(90, 30)}) {
        CAPTURE(hostSize.width);
        CAPTURE(hostSize.height);
        auto host = hostView(hostSize.width, hostSize.height);
        auto hud = laidOut(host, [](LOProgressHUD& h) {
            h.setLabelText("Loading the catalogue");
            h.setDetailsLabelText("This may take a while on a slow connection");
        });
        for (const auto& view : {hud->indicator(), std::shared_ptr<UIView>(hud->label()),
                                 std::shared_ptr<UIView>(hud->detailsLabel())}) {
            CHECK(view->frame().size.width >= 0);
            CHECK(view->frame().size.height >= 0);
        }
        CHECK(hud->indicator()->frame().size.width == std::max<CGFloat>(0, hostSize.width - 80));
        CHECK(hud->size().width >= 0);
        CHECK(hud->size().height >= 0);
    }
    // Negative margins do not make a negative panel either.
    auto host = hostView(100, 100);
    auto hud = laidOut(host, [](LOProgressHUD& h) {
        h.setMode(LOProgressHUDModeText);
        h.setMargin(-30);
    });
    CHECK(hud->size() == CGSizeZero);
}

TEST_CASE("indicators follow the mode, property changes lay out again except progress") {
    auto host = hostView(320, 480);
    auto hud = laidOut(host, [](LOProgressHUD&) {});
    hud->setActivityIndicatorColor(UIColor::redColor());
    auto spinner = std::dynamic_pointer_cast<UIActivityIndicatorView>(hud->indicator());
    REQUIRE(spinner);
    CHECK(CGColorEqualToColor(spinner->color(), UIColor::redColor()->CGColor()));

    hud->setProgress(0.25f);
    hud->setMode(LOProgressHUDModeAnnularDeterminate);
    auto ring = std::dynamic_pointer_cast<LORoundProgressView>(hud->indicator());
    REQUIRE(ring);
    CHECK(ring->isAnnular());
    CHECK(ring->progress() == doctest::Approx(0.25));
    CHECK_FALSE(spinner->superview());
    hud->setMode(LOProgressHUDModeDeterminate);
    CHECK(hud->indicator() == ring);  // reused, and still a ring
    CHECK(ring->isAnnular());

    hud->setMode(LOProgressHUDModeDeterminateHorizontalBar);
    auto bar = std::dynamic_pointer_cast<LOBarProgressView>(hud->indicator());
    REQUIRE(bar);
    hud->setMode(LOProgressHUDModeDeterminateHorizontalBar);
    CHECK(hud->indicator() != bar);  // a new bar every time
    CHECK_FALSE(bar->superview());

    hud->setMode(LOProgressHUDModeText);
    CHECK_FALSE(hud->indicator());
    hud->setMode(42);  // unknown: nothing changes
    CHECK_FALSE(hud->indicator());

    hud->setMode(LOProgressHUDModeDeterminate);
    hud->layoutIfNeeded();
    REQUIRE_FALSE(hud->needsLayout());
    hud->setProgress(0.75f);
    CHECK_FALSE(hud->needsLayout());
    CHECK(std::dynamic_pointer_cast<LORoundProgressView>(hud->indicator())->progress() == doctest::Approx(0.75));
    std::vector<std::string> announced;
    ObservationToken token = hud->observeValueForKey("labelText", [&](const std::string& key) { announced.push_back(key); });
    hud->setLabelText("Loading");
    CHECK(hud->needsLayout());
    CHECK(hud->label()->text() == "Loading");
    CHECK(announced == std::vector<std::string>{"labelText"});
    hud->setDetailsLabelColor(UIColor::yellowColor());
    CHECK(CGColorEqualToColor(hud->detailsLabel()->textColor(), UIColor::yellowColor()->CGColor()));
    hud->setLabelFont(UIFont::systemFontOfSize(20));
    CHECK(hud->label()->font()->pointSize() == 20);
}

TEST_CASE("an overlay on a window or a view follows its host's bounds when the interface turns, never turned itself") {
    auto app = UIApplication::sharedApplication();
    // Windows take the interface's coordinates on every system: an overlay
    // straight on one that turned itself as well would be drawn sideways.
    auto window = uikittest::visibleWindow(CGSizeMake(320, 480));
    auto hud = LOProgressHUD::initWithWindow(window);
    window->addSubview(hud);
    CHECK_FALSE(hud->shouldPerformOrientationTransform());
    window->setBounds(CGRectMake(0, 0, 480, 320));
    app->setStatusBarOrientation(UIInterfaceOrientationLandscapeRight);
    CHECK(hud->frame() == CGRectMake(0, 0, 480, 320));
    CHECK(CGAffineTransformIsIdentity(hud->rotationTransform()));
    CHECK(CGAffineTransformIsIdentity(hud->transform()));

    // Inside a plain view the host turns and the overlay follows its bounds.
    auto host = hostView(300, 200);
    auto inner = LOProgressHUD::initWithView(host);
    host->addSubview(inner);
    CHECK_FALSE(inner->shouldPerformOrientationTransform());
    host->setBounds(CGRectMake(0, 0, 200, 300));
    app->setStatusBarOrientation(UIInterfaceOrientationLandscapeLeft);
    CHECK(inner->frame() == CGRectMake(0, 0, 200, 300));
    CHECK(CGAffineTransformIsIdentity(inner->rotationTransform()));
    app->setStatusBarOrientation(UIInterfaceOrientationPortrait);
}
