// Protects the drawn controls: labels hand their text to the text engine's
// hooks in the right rectangle and redraw on change, the activity indicator
// draws its spokes and shows only while animating, toolbars lay down their
// translucent tint.
#include <doctest/doctest.h>

#include "platform/uikit/UIActivityIndicatorView.h"
#include "platform/uikit/UILabel.h"
#include "platform/uikit/UIToolbar.h"
#include "UIKitTestSupport.h"

using namespace uikittest;

namespace {
// A stand-in engine: each character 8 x 10 points, painted as a solid box.
CGSize measureBoxes(const UILabel& label, CGSize) { return {8.0 * double(label.text().size()), 10}; }
void drawBoxes(const UILabel& label, const CGContextRef& ctx, CGRect rect) {
    CGContextSetFillColorWithColor(ctx, label.textColor());
    CGContextFillRect(ctx, CGRectMake(rect.origin.x, rect.origin.y, measureBoxes(label, {}).width, rect.size.height));
}
struct EngineGuard {
    EngineGuard() { UILabel::setTextEngine(drawBoxes, measureBoxes); }
    ~EngineGuard() { UILabel::setTextEngine(nullptr, nullptr); }
};
}  // namespace

TEST_CASE("labels draw through the text engine, centred vertically, and redraw when their text changes") {
    auto window = visibleWindow({100, 40}, rgb(1, 1, 1));
    auto label = std::make_shared<UILabel>(CGRectMake(0, 0, 100, 40));
    window->addSubview(label);
    CHECK_FALSE(label->isUserInteractionEnabled());
    CHECK(label->sizeThatFits({100, 40}) == CGSizeZero);  // no engine: no size, nothing drawn
    label->setText("abcd");
    auto plain = window->snapshotImage(2);
    CHECK(near(probe(plain, 5, 20, 2), 255, 255, 255));

    EngineGuard engine;
    label->setTextColor(rgb(0, 0, 1));
    CHECK(label->sizeThatFits({100, 40}) == CGSize{32, 10});
    auto image = window->snapshotImage(2);
    CHECK(near(probe(image, 5, 20, 2), 0, 0, 255));    // text box at y 15...25
    CHECK(near(probe(image, 5, 12, 2), 255, 255, 255));  // above it
    CHECK(near(probe(image, 40, 20, 2), 255, 255, 255)); // past four characters
    std::size_t draws = label->layer()->displayCount();
    label->setText("abcdef");
    auto longer = window->snapshotImage(2);
    CHECK(label->layer()->displayCount() == draws + 1);
    CHECK(near(probe(longer, 40, 20, 2), 0, 0, 255));
    label->sizeToFit();
    CHECK(label->bounds().size == CGSize{48, 10});
}

TEST_CASE("the activity indicator draws twelve fading spokes and shows only while animating") {
    auto window = visibleWindow({37, 37}, rgb(0, 0, 0));
    auto spinner = std::make_shared<UIActivityIndicatorView>(UIActivityIndicatorViewStyleWhiteLarge);
    CHECK(spinner->bounds().size == CGSize{37, 37});
    CHECK(UIActivityIndicatorView(UIActivityIndicatorViewStyleGray).bounds().size == CGSize{20, 20});
    window->addSubview(spinner);
    CHECK(spinner->isHidden());
    spinner->startAnimating();
    CHECK(spinner->isAnimating());
    CHECK_FALSE(spinner->isHidden());
    CHECK(spinner->layer()->animationForKey("spin"));
    auto image = window->snapshotImage(2);
    CGPixel top = probe(image, 18.5, 4, 2), bottom = probe(image, 18.5, 33, 2), centre = probe(image, 18.5, 18.5, 2);
    CHECK(top.r > 240);
    CHECK(bottom.r > 100);
    CHECK(bottom.r < top.r - 40);  // the spokes behind the leading one fade
    CHECK(centre.r == 0);
    spinner->stopAnimating();
    CHECK(spinner->isHidden());
    CHECK_FALSE(spinner->layer()->animationForKey("spin"));
    spinner->setHidesWhenStopped(false);
    CHECK_FALSE(spinner->isHidden());

    // A colour of its own (grey style's default is grey).
    spinner->setColor(rgb(1, 0, 0));
    auto red = window->snapshotImage(2);
    CHECK(near(probe(red, 18.5, 4, 2), 255, 0, 0, 255, 12));
}

TEST_CASE("toolbars show their tint, see-through while translucent") {
    auto window = visibleWindow({50, 50}, rgb(0, 0, 0));
    auto bar = std::make_shared<UIToolbar>(CGRectMake(0, 0, 50, 50));
    window->addSubview(bar);
    bar->setBarTintColor(rgb(1, 1, 1));
    CHECK(near(probe(window->snapshotImage(2), 25, 25, 2), 217, 217, 217));
    bar->setTranslucent(false);
    CHECK(near(probe(window->snapshotImage(2), 25, 25, 2), 255, 255, 255));
}
