// Protects the text used-size routine (rounding, wrapping without a height
// limit, attributes over the font) and the solid-colour images (filled,
// rounded corners transparent, and a null image for a size that cannot be
// drawn, with the context stack left as it was).
#include <doctest/doctest.h>

#include <cmath>
#include <limits>

#include "platform/uikit/UIGraphics.h"
#include "platform/uikit/UILabel.h"
#include "ui/utilities/NSStringUsedSize.h"
#include "ui/utilities/UIImageAdditions.h"

TEST_CASE("used size rounds the bounding box up, the height plus 1, in single precision") {
    CHECK(usedSizeFromBoundingRect(CGRectMake(0, 0, 17.2, 40.0)) == CGSizeMake(18, 41));
    CHECK(usedSizeFromBoundingRect(CGRectZero) == CGSizeMake(0, 1));
    CHECK(usedSizeFromBoundingRect(CGRectMake(0, 0, 20.0000001, 10.00000001)) == CGSizeMake(20, 11));
    CHECK(usedSizeFromBoundingRect(CGRectMake(0, 0, 20.01, 10.5)) == CGSizeMake(21, 12));
    CHECK(usedSizeForWidth("", 280, UIFont::systemFontOfSize(15)) == CGSizeMake(0, 1));
}

TEST_CASE("used size wraps at the width with no height limit, and attributes take the font's place") {
    const std::string title = "Chapter 12: The long way home through the river valley, the lost empire "
                              "and the storm that followed the finale of the season";
    auto font = UIFont::systemFontOfSize(15);
    const CGSize used = usedSizeForWidth(title, 280, font);
    const CGRect box = boundingRectWithSize(title, CGSizeMake(280, 1e6),
                                            NSStringDrawingUsesLineFragmentOrigin | NSStringDrawingUsesFontLeading,
                                            NSAttributes(font));
    CHECK(used == CGSizeMake(std::ceil(float(box.size.width)), std::ceil(float(box.size.height)) + 1));
    CHECK(used.width <= 280);
    CHECK(used.height > 3 * font->lineHeight());  // every line, not just the first

    const CGSize oneLine = usedSizeForWidth("Pilot", 280, font);
    CHECK(oneLine.height == std::ceil(float(font->lineHeight())) + 1);

    const NSAttributes large(UIFont::boldSystemFontOfSize(22));
    CHECK(usedSizeForWidth(title, 280, font, large) == usedSizeForWidth(title, 280, UIFont::systemFontOfSize(9), large));
    CHECK(usedSizeForWidth(title, 280, font, large) != used);
}

TEST_CASE("solid-colour images are filled, with transparent corners when rounded") {
    auto dot = UIImageAdditions::imageWithColor(UIColor::redColor());
    REQUIRE(dot);
    CHECK(dot->size() == CGSizeMake(1, 1));
    CHECK(dot->scale() == 1);
    CHECK(dot->CGImage()->pixelAt(0, 0) == CGPixel{255, 0, 0, 255});

    auto plain = UIImageAdditions::imageWithColor(UIColor::blueColor(), CGSizeMake(30, 20), 0);
    REQUIRE(plain);
    CHECK(plain->size() == CGSizeMake(30, 20));
    for (auto [x, y] : {std::pair{0, 0}, std::pair{29, 0}, std::pair{0, 19}, std::pair{29, 19}, std::pair{15, 10}})
        CHECK(plain->CGImage()->pixelAt(x, y) == CGPixel{0, 0, 255, 255});
    auto negativeRadius = UIImageAdditions::imageWithColor(UIColor::blueColor(), CGSizeMake(30, 20), -4);
    REQUIRE(negativeRadius);
    CHECK(negativeRadius->CGImage()->pixelAt(0, 0) == CGPixel{0, 0, 255, 255});

    auto rounded = UIImageAdditions::imageWithColor(UIColor::greenColor(), CGSizeMake(30, 20), 5);
    REQUIRE(rounded);
    for (auto [x, y] : {std::pair{0, 0}, std::pair{29, 0}, std::pair{0, 19}, std::pair{29, 19}})
        CHECK(rounded->CGImage()->pixelAt(x, y).a == 0);
    CHECK(rounded->CGImage()->pixelAt(15, 10) == CGPixel{0, 255, 0, 255});
    CHECK(rounded->CGImage()->pixelAt(15, 0) == CGPixel{0, 255, 0, 255});
    CHECK(rounded->CGImage()->pixelAt(0, 10) == CGPixel{0, 255, 0, 255});
}

TEST_CASE("an image size that cannot be drawn gives a null image and leaves the context stack as it was") {
    UIGraphicsBeginImageContextWithOptions(CGSizeMake(4, 4), false, 1);
    const CGContextRef outer = UIGraphicsGetCurrentContext();
    REQUIRE(outer);
    const double inf = std::numeric_limits<double>::infinity(), nan = std::numeric_limits<double>::quiet_NaN();
    for (CGSize size : {CGSizeMake(0, 0), CGSizeMake(0, 10), CGSizeMake(-5, 10), CGSizeMake(10, -1),
                        CGSizeMake(inf, 10), CGSizeMake(10, nan), CGSizeMake(40000, 10), CGSizeMake(30000, 30000)}) {
        CAPTURE(size.width);
        CAPTURE(size.height);
        CHECK_FALSE(UIImageAdditions::imageWithColor(UIColor::redColor(), size, 3));
        CHECK(UIGraphicsGetCurrentContext() == outer);
    }
    CHECK_FALSE(UIImageAdditions::imageWithColor(nullptr, CGSizeMake(5, 5), 0));
    CHECK(UIGraphicsGetCurrentContext() == outer);
    // Nothing meant for the refused images landed in the outer context.
    auto image = UIGraphicsGetImageFromCurrentImageContext();
    UIGraphicsEndImageContext();
    REQUIRE(image);
    CHECK(image->CGImage()->pixelAt(1, 1).a == 0);
    CHECK_FALSE(UIGraphicsGetCurrentContext());
}

TEST_CASE("a label of any number of lines that truncates wraps, truncating only the last line that fits") {
    // The overlay's details label is one: it shows every line the overlay measured for it.
    auto label = std::make_shared<UILabel>(CGRectMake(0, 0, 120, 200));
    label->setFont(UIFont::boldSystemFontOfSize(12));
    label->setNumberOfLines(0);
    REQUIRE(label->lineBreakMode() == 4);
    label->setText("Fetching the catalogue, one page at a time");
    const CGFloat line = UIFont::boldSystemFontOfSize(12)->lineHeight();
    const CGSize fits = label->sizeThatFits(CGSizeMake(120, 200));
    CHECK(fits.height > 2.5 * line);
    CHECK(fits.width <= 120);
}
