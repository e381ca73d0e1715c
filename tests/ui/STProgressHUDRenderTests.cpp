// Protects how the status overlay looks (reference images at scale 2: spinner,
// ring, success image, black mask) and that the shipped "STProgressHUD.bundle"
// images are the ones our drawing code makes (QUORVANE_UPDATE_REFERENCES=1
// rewrites them from it).
#include <doctest/doctest.h>

#include <cstdlib>
#include <functional>

#include "platform/foundation/NSBundle.h"
#include "platform/foundation/NSData.h"
#include "STProgressHUDTestSupport.h"
#include "support/ReferenceImage.h"
#include "ui/statushud/STProgressHUDImages.h"

using statustest::Stage;

namespace {
void checkScene(const std::string& name, const std::function<void()>& show) {
    CAPTURE(name);
    Stage stage(CGSizeMake(180, 180));
    show();
    stage.advanceTo(0.3);  // the entrance is over
    auto image = stage.window->snapshotImage(2);
    REQUIRE(image);
    auto result = testsupport::compareWithReference(image, name);
    CHECK_MESSAGE(result.matched, result.message);
}
}  // namespace

TEST_CASE("the status overlay draws its spinner, ring, success image and black mask") {
    checkScene("status-overlay-spinner@2x", [] { STProgressHUD::showWithStatus("Loading"); });
    checkScene("status-overlay-ring@2x", [] { STProgressHUD::showProgress(0.4f, "Uploading"); });
    checkScene("status-overlay-success@2x", [] { STProgressHUD::showSuccessWithStatus("Saved"); });
    checkScene("status-overlay-black-mask@2x", [] { STProgressHUD::showWithMaskType(STProgressHUDMaskTypeBlack); });
}

TEST_CASE("the shipped success and error images are our own drawings, at 1x and @2x") {
    bool update = std::getenv("QUORVANE_UPDATE_REFERENCES") && std::string(std::getenv("QUORVANE_UPDATE_REFERENCES")) == "1";
    std::string folder = NSBundle::mainBundle()->bundlePath() + "/STProgressHUD.bundle/";
    struct Case {
        const char* file;
        UIImagePtr (*draw)(CGFloat);
        CGFloat scale;
    };
    for (const Case& c : {Case{"success-black.png", STProgressHUDDrawSuccessImage, 1},
                          Case{"success-black@2x.png", STProgressHUDDrawSuccessImage, 2},
                          Case{"error-black.png", STProgressHUDDrawErrorImage, 1},
                          Case{"error-black@2x.png", STProgressHUDDrawErrorImage, 2}}) {
        CAPTURE(c.file);
        auto drawn = c.draw(c.scale);
        REQUIRE(drawn);
        CHECK(drawn->size() == CGSizeMake(STProgressHUDImageSide, STProgressHUDImageSide));
        if (update) {
            auto png = UIImagePNGRepresentation(drawn);
            REQUIRE(png);
            REQUIRE(writeToFile(*png, folder + c.file, true));
        }
        auto shipped = UIImage::imageWithContentsOfFile(folder + c.file);
        REQUIRE(shipped);
        CHECK(shipped->scale() == c.scale);
        auto diff = testsupport::comparePixels(drawn->CGImage(), shipped->CGImage());
        CHECK(diff.sameSize);
        CHECK(diff.offPixels == 0);
        // Black ink on clear: some pixels opaque black, the corners clear.
        auto px = shipped->CGImage()->pixelAt(0, 0);
        CHECK(px.a == 0);
    }
    // The named images are these files.
    CHECK(UIImage::imageNamed(STProgressHUDSuccessImageName));
    CHECK(UIImage::imageNamed(STProgressHUDErrorImageName));
}
