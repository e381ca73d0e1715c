// Protects compositing: a rendered window shows backgrounds, group opacity,
// rounded clipping, transforms, borders, image contents and shape layers at the
// screen scale, and its PNG snapshot decodes to the same pixels.
#include <doctest/doctest.h>

#include <cmath>

#include "platform/imageio/ImageCodecs.h"
#include "platform/quartzcore/CAShapeLayer.h"
#include "platform/uikit/UIImageView.h"
#include "platform/uikit/UIView.h"
#include "platform/uikit/UIWindow.h"
#include "UIKitTestSupport.h"

using namespace uikittest;

namespace {
std::shared_ptr<UIView> filled(CGRect frame, CGColorRef color) {
    auto v = std::make_shared<UIView>(frame);
    v->setBackgroundColor(std::move(color));
    return v;
}

struct Probe {
    const char* what;
    CGPoint point;
    int r, g, b;
};

void checkProbes(const CGImageRef& image, const std::vector<Probe>& probes) {
    for (const auto& p : probes) {
        CAPTURE(std::string(p.what));
        CGPixel px = probe(image, p.point.x, p.point.y, 2);
        CAPTURE(int(px.r));
        CAPTURE(int(px.g));
        CAPTURE(int(px.b));
        CHECK(near(px, p.r, p.g, p.b));
    }
}
}  // namespace

TEST_CASE("a window snapshot shows backgrounds, group opacity, rounded clipping and borders") {
    auto window = visibleWindow({100, 100});
    window->addSubview(filled(CGRectMake(0, 0, 50, 50), rgb(1, 0, 0)));
    auto translucent = filled(CGRectMake(50, 0, 50, 50), rgb(0, 1, 0));
    translucent->setAlpha(0.5);
    window->addSubview(translucent);

    auto rounded = filled(CGRectMake(0, 50, 50, 50), rgb(0, 0, 1));
    rounded->layer()->setCornerRadius(20);
    rounded->setClipsToBounds(true);
    rounded->addSubview(filled(CGRectMake(0, 0, 50, 10), rgb(1, 1, 0)));
    window->addSubview(rounded);

    // Opacity applies to the group: the blue child hides the red one beneath it.
    auto group = std::make_shared<UIView>(CGRectMake(50, 50, 50, 50));
    group->setAlpha(0.5);
    group->addSubview(filled(CGRectMake(0, 0, 30, 30), rgb(1, 0, 0)));
    group->addSubview(filled(CGRectMake(10, 10, 30, 30), rgb(0, 0, 1)));
    window->addSubview(group);

    auto bordered = std::make_shared<UIView>(CGRectMake(20, 20, 20, 20));
    bordered->layer()->setBorderWidth(2);
    window->addSubview(bordered);

    auto image = window->snapshotImage(2);
    REQUIRE(image);
    CHECK(image->width() == 200);
    CHECK(image->height() == 200);
    checkProbes(image, {
                           {"opaque background", {10, 10}, 255, 0, 0},
                           {"half-transparent green over white", {75, 25}, 128, 255, 128},
                           {"rounded corner clipped away", {2, 52}, 255, 255, 255},
                           {"child clipped to the rounded corner", {3, 53}, 255, 255, 255},
                           {"child inside the rounded view", {25, 55}, 255, 255, 0},
                           {"rounded view's own background", {25, 80}, 0, 0, 255},
                           {"group: blue over red at half opacity", {65, 65}, 128, 128, 255},
                           {"group: red alone at half opacity", {52, 52}, 255, 128, 128},
                           {"border, default black", {21, 30}, 0, 0, 0},
                           {"inside the border, transparent", {30, 30}, 255, 0, 0},
                       });

    // The PNG decodes to the same pixels.
    auto png = window->snapshotPNG(2);
    REQUIRE(png);
    auto decoded = imageio::decodePng(*png, true, imageio::DecodeDepth::Pixels);
    REQUIRE(decoded.frames.size() == 1);
    REQUIRE(decoded.frames[0].image);
    CHECK(sampleimages::maxDifference(decoded.frames[0].image, image) <= 1);
}

TEST_CASE("transforms, image contents and shape layers render where their geometry puts them") {
    auto window = visibleWindow({100, 100});
    auto bar = filled(CGRectMake(30, 47, 40, 6), rgb(0, 0, 0));
    bar->setTransform({0, 1, -1, 0, 0, 0});  // a quarter turn: vertical
    window->addSubview(bar);
    auto grown = filled(CGRectMake(10, 10, 10, 10), rgb(1, 0, 0));
    grown->setTransform({2, 0, 0, 2, 0, 0});
    window->addSubview(grown);

    // A translucent view's group reaches its unclipped subviews outside its bounds.
    auto faint = std::make_shared<UIView>(CGRectMake(0, 40, 10, 10));
    faint->setAlpha(0.5);
    faint->addSubview(filled(CGRectMake(15, 0, 10, 10), rgb(1, 0, 0)));
    window->addSubview(faint);

    auto pixel = CGImageCreateWithRGBA(1, 1, Data{255, 0, 255, 255});
    auto imageView = std::make_shared<UIImageView>(UIImage::imageWithCGImage(pixel));
    imageView->setFrame(CGRectMake(0, 80, 20, 20));
    window->addSubview(imageView);

    auto ring = CAShapeLayer::layer();
    ring->setFrame(CGRectMake(60, 60, 30, 30));
    auto path = std::make_shared<CALayerPath>();
    path->addEllipse(CGRectMake(0, 0, 30, 30));
    ring->setPath(path);
    ring->setFillColor(nullptr);
    ring->setStrokeColor(rgb(0, 0, 1));
    ring->setLineWidth(4);
    ring->setStrokeEnd(0.5);  // from three o'clock clockwise: the lower half
    window->layer()->addSublayer(ring);

    auto image = window->snapshotImage(2);
    checkProbes(image, {
                           {"turned bar, vertical part", {50, 35}, 0, 0, 0},
                           {"turned bar, where it lay before", {35, 50}, 255, 255, 255},
                           {"scaled square grows about its centre", {6, 6}, 255, 0, 0},
                           {"scaled square's far corner", {24, 24}, 255, 0, 0},
                           {"image contents stretched over the view", {10, 90}, 255, 0, 255},
                           {"translucent group's subview outside its bounds", {20, 45}, 255, 128, 128},
                           {"ring's drawn lower half", {75, 89}, 0, 0, 255},
                           {"ring's undrawn upper half", {75, 61}, 255, 255, 255},
                           {"ring's inside stays clear", {75, 75}, 255, 255, 255},
                       });

    // A change marks only the ring dirty; the next snapshot shows the whole circle.
    std::size_t before = ring->displayCount();
    ring->setStrokeEnd(1);
    auto full = window->snapshotImage(2);
    CHECK(ring->displayCount() == before + 1);
    checkProbes(full, {{"ring's upper half once drawn", {75, 61}, 0, 0, 255}});

    // The drawing layer's paths convert element by element.
    ring->setPath(CGPathCreateWithEllipseInRect(CGRectMake(0, 0, 30, 30), nullptr));
    CHECK(ring->path()->elements().size() >= 5);
    CHECK(sampleimages::maxDifference(window->snapshotImage(2), full) <= 8);
}
