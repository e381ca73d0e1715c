// The popover theme: built-in themes, derived values, observation, the shared
// default theme through the appearance proxy, and the colour and image routines.
#include <doctest/doctest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "platform/graphics/CGColorSpace.h"
#include "platform/uikit/UIAppearance.h"
#include "platform/uikit/UIDevice.h"
#include "platform/uikit/UIWindow.h"
#include "ui/popover/FLPopoverThemeAppearance.h"
#include "ui/popover/UIColorFLPopover.h"
#include "ui/popover/UIImageFLPopover.h"

namespace {

std::string hex(const UIColorPtr& c) { return c ? UIColorFLPopover::hexString(c) : "none"; }

// Sets the system version for one test, "7.0" again afterwards.
struct SystemVersion {
    explicit SystemVersion(const std::string& v) { UIDevice::currentDevice()->setSystemVersion(v); }
    ~SystemVersion() { UIDevice::currentDevice()->setSystemVersion("7.0"); }
};

}  // namespace

TEST_CASE("the two built-in themes hold their defaults, derived values included") {
    struct Row {
        FLPopoverThemePtr theme;
        bool rounded;
        std::string tint, outerStroke, innerStroke, fillTop, fillBottom, gloss, outerShadow, innerShadow, overlay;
        CGSize glossOffset, outerOffset, innerOffset;
        FLPopoverCount border, base, height, outerBlur, outerRadius, innerBlur, innerRadius;
        UIEdgeInsets insets;
    };
    // 55/63/71 darkened by 0.6 floors at black; lightened by 0.2 gives 106/114/122.
    std::vector<Row> rows = {
        {FLPopoverTheme::themeForIOS6(), false, "#373f47ff", "#000000ff", "#000000ff", "#373f47ff", "#000000ff",
         "#6a727aff", "#000000bf", "#000000bf", "#00000000", {0, 1.5}, {0, 2}, {0, 1}, 6, 42, 18, 8, 8, 2, 6,
         {3, 0, 0, 0}},
        {FLPopoverTheme::themeForIOS7(), true, "#f4f4f4ff", "#00000000", "#00000000", "#f4f4f4ff", "#f4f4f4ff",
         "#ffffffff", "#00000000", "#00000000", "#00000026", {0, 0}, {0, 0}, {0, 0}, 0, 25, 13, 0, 5, 0, 5,
         {0, 0, 0, 0}},
    };
    for (const auto& r : rows) {
        CAPTURE(r.tint);
        const auto& t = *r.theme;
        CHECK(t.usesRoundedArrow() == r.rounded);
        CHECK(t.adjustsTintColor());
        CHECK(hex(t.tintColor()) == r.tint);
        CHECK(hex(t.outerStrokeColor()) == r.outerStroke);
        CHECK(hex(t.innerStrokeColor()) == r.innerStroke);
        CHECK(hex(t.fillTopColor()) == r.fillTop);
        CHECK(hex(t.fillBottomColor()) == r.fillBottom);
        CHECK(hex(t.glossShadowColor()) == r.gloss);
        CHECK(hex(t.outerShadowColor()) == r.outerShadow);
        CHECK(hex(t.innerShadowColor()) == r.innerShadow);
        CHECK(hex(t.overlayColor()) == r.overlay);
        CHECK(t.glossShadowOffset() == r.glossOffset);
        CHECK(t.outerShadowOffset() == r.outerOffset);
        CHECK(t.innerShadowOffset() == r.innerOffset);
        CHECK(t.glossShadowBlurRadius() == 0);
        CHECK(t.borderWidth() == r.border);
        CHECK(t.arrowBase() == r.base);
        CHECK(t.arrowHeight() == r.height);
        CHECK(t.outerShadowBlurRadius() == r.outerBlur);
        CHECK(t.outerCornerRadius() == r.outerRadius);
        CHECK(t.minOuterCornerRadius() == 0);
        CHECK(t.innerShadowBlurRadius() == r.innerBlur);
        CHECK(t.innerCornerRadius() == r.innerRadius);
        CHECK(t.viewContentInsets() == r.insets);
    }
    // The first theme's bottom fill is the tint darkened by 0.4: 55 - 102 floors at 0.
    CGFloat red = -1, green = -1, blue = -1, alpha = -1;
    CHECK(UIColorFLPopover::getValueOfRed(FLPopoverTheme::themeForIOS6()->fillBottomColor(), &red, &green, &blue,
                                          &alpha));
    CHECK(red == 0);
    CHECK(alpha == 1);
}

TEST_CASE("the theme follows the running system's version, compared numerically") {
    struct Row {
        std::string version;
        bool firstTheme;
    };
    for (const Row& r : std::vector<Row>{{"6.1", true}, {"6.1.3", true}, {"7.0", false}, {"7.1", false},
                                         {"10.0", false}, {"8", false}}) {
        CAPTURE(r.version);
        SystemVersion v(r.version);
        auto theme = FLPopoverTheme::theme();
        CHECK(theme->borderWidth() == (r.firstTheme ? 6u : 0u));
        CHECK(theme != FLPopoverTheme::theme());  // a new theme on every call
    }
}

TEST_CASE("derived getters: fills fall back on the tint, offsets stay within the blur, the inner radius follows") {
    FLPopoverTheme t;
    CHECK(t.fillTopColor() == nullptr);
    CHECK(t.outerStrokeColor() == nullptr);
    t.setTintColor(UIColor::colorWithRed(55 / 255.0, 63 / 255.0, 71 / 255.0, 1));
    CHECK(hex(t.fillTopColor()) == "#373f47ff");
    CHECK(hex(t.fillBottomColor()) == "#373f47ff");
    CHECK(hex(t.outerStrokeColor()) == "#000000ff");
    t.setFillTopColor(UIColor::colorWithWhite(0.5, 0.5));
    CHECK(hex(t.fillBottomColor()) == "#7f7f7f7f");
    CHECK(hex(t.glossShadowColor()) == "#b2b2b2ff");  // 0.7, opaque
    CHECK(hex(t.innerStrokeColor()) == "#000000ff");

    t.setOuterShadowBlurRadius(8);
    t.setOuterShadowOffset(CGSizeMake(0, 20));
    CHECK(t.outerShadowOffset() == CGSizeMake(0, 8));
    t.setOuterShadowOffset(CGSizeMake(-3, 5));
    CHECK(t.outerShadowOffset() == CGSizeMake(-3, 5));

    t.setOuterCornerRadius(9);
    t.setInnerCornerRadius(4);
    CHECK(t.innerCornerRadius() == 9);  // no border
    t.setBorderWidth(2);
    CHECK(t.innerCornerRadius() == 4);
}

TEST_CASE("every observable key path announces its change, the three unobserved ones are not listed") {
    const auto& keys = FLPopoverTheme::observableKeypaths();
    REQUIRE(keys.size() == 21);
    CHECK(keys.front() == "tintColor");
    CHECK(keys.back() == "overlayColor");
    for (const char* unobserved : {"usesRoundedArrow", "adjustsTintColor", "minOuterCornerRadius"}) {
        CHECK(std::find(keys.begin(), keys.end(), unobserved) == keys.end());
    }

    auto theme = FLPopoverTheme::themeForIOS6();
    std::vector<std::string> heard;
    std::vector<ObservationToken> tokens;
    for (const auto& key : keys) {
        tokens.push_back(theme->observeValueForKey(key, [&heard](const std::string& k) { heard.push_back(k); }));
    }
    auto grey = UIColor::grayColor();
    theme->setTintColor(grey);
    theme->setOuterStrokeColor(grey);
    theme->setInnerStrokeColor(grey);
    theme->setFillTopColor(grey);
    theme->setFillBottomColor(grey);
    theme->setGlossShadowColor(grey);
    theme->setGlossShadowOffset(CGSizeMake(1, 1));
    theme->setGlossShadowBlurRadius(1);
    theme->setBorderWidth(1);
    theme->setArrowBase(10);
    theme->setArrowHeight(5);
    theme->setOuterShadowColor(grey);
    theme->setOuterShadowBlurRadius(1);
    theme->setOuterShadowOffset(CGSizeMake(1, 1));
    theme->setOuterCornerRadius(1);
    theme->setInnerShadowColor(grey);
    theme->setInnerShadowBlurRadius(1);
    theme->setInnerShadowOffset(CGSizeMake(1, 1));
    theme->setInnerCornerRadius(1);
    theme->setViewContentInsets(UIEdgeInsetsMake(1, 1, 1, 1));
    theme->setOverlayColor(grey);
    CHECK(heard == keys);

    heard.clear();
    tokens.clear();
    theme->setTintColor(nullptr);
    CHECK(heard.empty());
}

TEST_CASE("the shared default theme reaches the appearance proxy and comes back with the screens' colours") {
    UIAppearanceReset();
    auto theme = FLPopoverTheme::themeForIOS6();
    FLPopoverSetDefaultTheme(theme);
    CHECK(FLPopoverDefaultTheme() == theme);
    using Proxy = UIAppearance<FLPopoverBackgroundView>;
    CHECK(Proxy::value<FLPopoverCount>("arrowBase") == 42u);
    CHECK(Proxy::value<bool>("usesRoundedArrow") == false);
    // The derived stroke colour is recorded as a value of its own.
    REQUIRE(Proxy::value<UIColorPtr>("outerStrokeColor"));
    CHECK(hex(*Proxy::value<UIColorPtr>("outerStrokeColor")) == "#000000ff");

    // A screen colours the chrome through the proxy; the next popover copies it into the shared theme.
    auto lightGrey = UIColor::colorWithWhite(0.9, 1);
    Proxy::set("fillTopColor", lightGrey, &FLPopoverBackgroundView::setFillTopColor);
    theme->setArrowBase(25);  // set on the popover's theme after creation: kept until the next copy
    std::vector<std::string> heard;
    auto token = theme->observeValueForKey("fillTopColor", [&](const std::string& k) { heard.push_back(k); });
    FLPopoverThemeCopyFromAppearance(*FLPopoverDefaultTheme());
    CHECK(theme->fillTopColor() == lightGrey);
    CHECK(theme->arrowBase() == 42);
    CHECK(heard.size() == 1);

    // A chrome entering a window takes the proxy's values too.
    auto chrome = FLPopoverBackgroundView::initWithContentSize(CGSizeMake(50, 50));
    auto window = std::make_shared<UIWindow>(CGRectMake(0, 0, 100, 100));
    window->addSubview(chrome);
    CHECK(chrome->fillTopColor() == lightGrey);
    CHECK(chrome->arrowHeight() == 18);
    CHECK(chrome->borderWidth() == 6);

    // Without a default theme the one matching the system is made.
    UIAppearanceReset();
    FLPopoverSetDefaultTheme(nullptr);
    auto made = FLPopoverDefaultTheme();
    REQUIRE(made);
    CHECK(made->borderWidth() == 0);  // system 7.0
    CHECK(Proxy::value<FLPopoverCount>("arrowBase") == 25u);
    UIAppearanceReset();
    FLPopoverSetDefaultTheme(nullptr);
}

TEST_CASE("colour components by colour-space model") {
    struct Row {
        UIColorPtr color;
        bool ok;
        CGFloat r, g, b, a;
    };
    auto pattern = std::make_shared<UIColor>(CGColorCreate(std::make_shared<CGColorSpace>("pattern", kCGColorSpaceModelUnknown), {0.5, 1}));
    std::vector<Row> rows = {
        {UIColor::colorWithWhite(0.3, 0.8), true, 0.3, 0.3, 0.3, 0.8},
        {UIColor::colorWithRed(0.1, 0.2, 0.4, 0.5), true, 0.1, 0.2, 0.4, 0.5},
        {pattern, false, 0, 0, 0, 0},
        {nullptr, false, 0, 0, 0, 0},
    };
    for (const auto& r : rows) {
        CGFloat c[4] = {9, 9, 9, 9};
        CHECK(UIColorFLPopover::getValueOfRed(r.color, &c[0], &c[1], &c[2], &c[3]) == r.ok);
        CHECK(c[0] == doctest::Approx(r.r));
        CHECK(c[1] == doctest::Approx(r.g));
        CHECK(c[2] == doctest::Approx(r.b));
        CHECK(c[3] == doctest::Approx(r.a));
    }
    CHECK(UIColorFLPopover::getValueOfRed(UIColor::redColor(), nullptr, nullptr, nullptr, nullptr));
}

TEST_CASE("hexString is nine characters for every colour, lighten and darken answer opaque colours") {
    struct Row {
        UIColorPtr color;
        std::string text;
    };
    const double nan = std::numeric_limits<double>::quiet_NaN();
    // Components that are not numbers, as a colour made straight from them keeps them.
    auto raw = std::make_shared<UIColor>(std::make_shared<CGColor>(CGColorSpaceCreateDeviceRGB(),
                                                                    std::vector<double>{nan, 0.5, 1, nan}));
    std::vector<Row> rows = {
        {UIColor::redColor(), "#ff0000ff"},
        {UIColor::clearColor(), "#00000000"},
        {UIColor::colorWithWhite(0.5, 1), "#7f7f7fff"},
        {UIColor::colorWithRed(nan, 2, -1, nan), "#00ff0000"},
        {raw, "#007fff00"},
        {nullptr, "#00000000"},
    };
    for (const auto& r : rows) {
        std::string text = UIColorFLPopover::hexString(r.color);
        CHECK(text == r.text);
        CHECK(text.size() == 9);
    }

    auto lighter = UIColorFLPopover::colorByLighten(UIColor::colorWithWhite(0.5, 0.5), 0.2f);
    CHECK(hex(lighter) == "#b2b2b2ff");
    CHECK(hex(UIColorFLPopover::colorByLighten(UIColor::colorWithWhite(0.95, 1), 0.2f)) == "#ffffffff");
    CHECK(hex(UIColorFLPopover::colorByDarken(UIColor::colorWithRed(0.7, 0.5, 0.1, 0.2), 0.3f)) == "#653200ff");
    CHECK(UIColorFLPopover::colorByDarken(nullptr, 0.3f) == nullptr);
}

TEST_CASE("solid images: 8 x 8 clear, rounded squares with cap insets, refused input") {
    auto clear = UIImageFLPopover::imageWithColor(UIColor::clearColor());
    REQUIRE(clear);
    CHECK(clear->size() == CGSizeMake(8, 8));
    CHECK(UIImageFLPopover::capInsets(clear) == UIEdgeInsetsZero);
    for (std::size_t y = 0; y < clear->CGImage()->height(); ++y) {
        for (std::size_t x = 0; x < clear->CGImage()->width(); ++x) CHECK(clear->CGImage()->pixelAt(x, y).a == 0);
    }

    auto rounded = UIImageFLPopover::imageWithColor(UIColor::redColor(), 4);
    REQUIRE(rounded);
    CHECK(rounded->size() == CGSizeMake(9, 9));
    CHECK(UIImageFLPopover::capInsets(rounded) == UIEdgeInsetsMake(4, 4, 4, 4));
    const auto& bitmap = rounded->CGImage();
    CGFloat scale = rounded->scale();
    CHECK(bitmap->pixelAt(std::size_t(4.5 * scale), std::size_t(4.5 * scale)) == CGPixel{255, 0, 0, 255});
    CHECK(bitmap->pixelAt(0, 0).a == 0);  // the rounded corner stays transparent

    auto sized = UIImageFLPopover::imageWithColor(UIColor::blueColor(), CGSizeMake(20, 6), 0);
    REQUIRE(sized);
    CHECK(sized->size() == CGSizeMake(20, 6));
    CHECK(sized->CGImage()->pixelAt(0, 0) == CGPixel{0, 0, 255, 255});

    CHECK(UIImageFLPopover::imageWithColor(nullptr) == nullptr);
    CHECK(UIImageFLPopover::imageWithColor(UIColor::redColor(), -1) == nullptr);
    CHECK(UIImageFLPopover::imageWithColor(UIColor::redColor(), CGSizeMake(0, 5), 0) == nullptr);
}
