// Protects the images of buttons: the state's image at its size left of the title and centred with it,
// the background image filling the button behind both, and touches on either reaching the button.
#include <doctest/doctest.h>

#include "platform/graphics/CGImage.h"
#include "platform/uikit/UIButton.h"
#include "platform/uikit/UIWindow.h"

namespace {
UIImagePtr solid(std::size_t size, std::uint8_t r, std::uint8_t g, std::uint8_t b) {
    Data pixels;
    for (std::size_t i = 0; i < size * size; ++i) pixels.insert(pixels.end(), {r, g, b, 0xFF});
    return UIImage::imageWithCGImage(CGImageCreateWithRGBA(size, size, pixels, true));
}
}  // namespace

TEST_CASE("a button shows its state's image beside its title and its background image behind, and takes the touches on them") {
    auto window = std::make_shared<UIWindow>(CGRectMake(0, 0, 200, 100));
    auto button = std::make_shared<UIButton>(CGRectMake(20, 20, 120, 44));
    window->addSubview(button);
    window->makeKeyAndVisible();
    button->layoutIfNeeded();
    CHECK_FALSE(button->imageView());  // none until there is an image

    auto red = solid(20, 0xFF, 0, 0), green = solid(24, 0, 0xFF, 0), blue = solid(4, 0, 0, 0xFF);
    button->setImage(red, UIControlStateNormal);
    button->setImage(green, UIControlStateSelected);
    button->setBackgroundImage(blue, UIControlStateNormal);
    button->layoutIfNeeded();
    REQUIRE(button->imageView());
    CHECK(button->imageView()->image() == red);
    CHECK(button->imageView()->frame() == CGRectMake(50, 12, 20, 20));  // alone: centred

    button->setTitle("Go", UIControlStateNormal);
    button->layoutIfNeeded();
    const CGRect title = button->titleLabel()->frame();
    const CGRect image = button->imageView()->frame();
    CHECK(image.size == CGSizeMake(20, 20));
    CHECK(CGRectGetMaxX(image) == doctest::Approx(title.origin.x).epsilon(0.05));
    CHECK((image.origin.x + CGRectGetMaxX(title)) / 2 == doctest::Approx(60).epsilon(0.02));

    button->setSelected(true);
    button->layoutIfNeeded();
    CHECK(button->imageView()->image() == green);
    CHECK(button->imageView()->frame().size == CGSizeMake(24, 24));

    button->setImage(nullptr, UIControlStateNormal);
    button->setImage(nullptr, UIControlStateSelected);
    button->layoutIfNeeded();
    CHECK(button->imageView()->isHidden());

    int taps = 0;
    button->addTarget(nullptr, [&](UIControl&, UIEvent*) { ++taps; }, UIControlEventTouchUpInside);
    CHECK(window->tap(CGPointMake(30, 30)));  // on the background image
    CHECK(taps == 1);
    window->setHidden(true);
}
