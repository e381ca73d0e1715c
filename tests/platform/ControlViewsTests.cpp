// Protects the drawn controls: labels draw their text with the shipped fonts
// in the right place and redraw on change, the activity indicator
// draws its spokes and shows only while animating, toolbars lay down their
// translucent tint.
#include <doctest/doctest.h>

#include "platform/uikit/UIActivityIndicatorView.h"
#include "platform/uikit/NSStringDrawing.h"
#include "platform/uikit/UIFont.h"
#include "platform/uikit/UILabel.h"
#include "platform/uikit/UIToolbar.h"
#include "UIKitTestSupport.h"

using namespace uikittest;


TEST_CASE("labels draw their text with the shipped fonts, centred vertically, and redraw when it changes") {
    auto window = visibleWindow({100, 40}, rgb(1, 1, 1));
    auto label = std::make_shared<UILabel>(CGRectMake(0, 0, 100, 40));
    window->addSubview(label);
    CHECK_FALSE(label->isUserInteractionEnabled());
    CHECK(label->sizeThatFits({100, 40}) == CGSizeZero);  // no text: no size
    label->setFont(UIFont::boldSystemFontOfSize(20));
    label->setTextColor(rgb(0, 0, 1));
    label->setText("MMMM");
    const CGSize measured = sizeWithAttributes("MMMM", NSAttributes(UIFont::boldSystemFontOfSize(20)));
    CHECK(measured.width > 40);
    CHECK(label->sizeThatFits({100, 40}) == measured);
    auto image = window->snapshotImage(2);
    auto blueIn = [&](const CGImageRef& img, double x0, double x1) {
        int blue = 0;
        for (double x = x0; x < x1; x += 0.5)
            for (double y = 0; y < 40; y += 0.5) {
                auto p = probe(img, x, y, 2);
                if (p.b > 200 && p.r < 100) ++blue;
            }
        return blue;
    };
    CHECK(blueIn(image, 0, measured.width) > 50);   // the glyphs are there, in the text colour
    CHECK(blueIn(image, measured.width + 1, 100) == 0);  // nothing past the text
    CHECK(near(probe(image, 5, 2, 2), 255, 255, 255));  // above the centred line
    std::size_t draws = label->layer()->displayCount();
    label->setText("MMMMMM");
    auto longer = window->snapshotImage(2);
    CHECK(label->layer()->displayCount() == draws + 1);
    CHECK(blueIn(longer, measured.width + 1, 100) > 0);
    label->sizeToFit();
    CHECK(label->bounds().size == sizeWithAttributes("MMMMMM", NSAttributes(UIFont::boldSystemFontOfSize(20))));
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
