// The images the application ships: drawn again by the generator they match the
// committed files byte for byte, come in 1x and @2x, and show what they should.
#include <doctest/doctest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "ArtCatalogue.h"
#include "platform/uikit/UIImage.h"
#include "support/TestEnvironment.h"

namespace {

Data readAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return Data(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

const std::string kShipped = QUORVANE_SHIPPED_RESOURCES_DIR;

// The first pixel where two decoded images differ, for a readable failure.
std::string firstDifference(const UIImagePtr& a, const UIImagePtr& b) {
    if (!a || !b) return "an image does not decode";
    const auto &x = *a->CGImage(), &y = *b->CGImage();
    if (x.width() != y.width() || x.height() != y.height()) return "the sizes differ";
    for (std::size_t row = 0; row < x.height(); ++row)
        for (std::size_t col = 0; col < x.width(); ++col)
            if (!(x.pixelAt(col, row) == y.pixelAt(col, row)))
                return "first differing pixel at " + std::to_string(col) + "," + std::to_string(row);
    return "same pixels, different encoding";
}

}  // namespace

TEST_CASE("the shipped images are the generator's output, byte for byte") {
    testsupport::TempHome home;
    const std::string out = home.path() + "/art";
    std::filesystem::create_directories(out);
    std::string error;
    REQUIRE_MESSAGE(art::writeAllArt(out, &error), error);
    std::size_t files = 0;
    for (const auto& entry : art::artCatalogue()) {
        for (const std::string suffix : {".png", "@2x.png"}) {
            const std::string name = entry.name + suffix;
            CAPTURE(name);
            Data drawn = readAll(out + "/" + name), shipped = readAll(kShipped + "/" + name);
            REQUIRE_FALSE(drawn.empty());
            REQUIRE_MESSAGE(!shipped.empty(), "not committed in resources/; run quorvane-art resources");
            CHECK_MESSAGE(drawn == shipped, firstDifference(UIImage::imageWithData(drawn), UIImage::imageWithData(shipped)));
            ++files;
        }
    }
    CHECK(files == 18);
}

TEST_CASE("each shipped image comes at 1x and @2x with the same size in points") {
    for (const auto& entry : art::artCatalogue()) {
        CAPTURE(entry.name);
        auto one = UIImage::imageWithContentsOfFile(kShipped + "/" + entry.name + ".png");
        auto two = UIImage::imageWithContentsOfFile(kShipped + "/" + entry.name + "@2x.png");
        REQUIRE(one);
        REQUIRE(two);
        CHECK(one->scale() == 1);
        CHECK(two->scale() == 2);
        CHECK(one->size() == entry.size);
        CHECK(two->size() == entry.size);
        CHECK(UIImage::imageNamed(entry.name + ".png"));  // found by the name the screens ask for
    }
}

TEST_CASE("the shipped images show their pictures (pixel probes at 1x and @2x)") {
    struct Probe {
        const char* image;
        double x, y;  // in points
        bool opaque;
        const char* what;
    };
    const Probe probes[] = {
        {"movie_thumb", 50, 1, true, "the poster has no clear pixels"},
        {"movie_thumb", 7, 7, true, "a sprocket hole"},
        {"movie_thumb", 50, 75, true, "the reel's hub"},
        {"tab_movies", 15, 22, true, "the clapperboard's board"},
        {"tab_movies", 15, 28.5, false, "below the board"},
        {"tab_tvshows", 3, 16, true, "the screen's left edge"},
        {"tab_tvshows", 15, 16, false, "inside the screen"},
        {"tab_search", 4.5, 12.5, true, "the lens ring"},
        {"tab_search", 12.5, 12.5, false, "through the lens"},
        {"tab_favorites", 15, 4, true, "the star's top point"},
        {"tab_favorites", 15, 16, false, "inside the star"},
        {"tab_downloads", 15, 10, true, "the arrow's shaft"},
        {"tab_downloads", 9, 22, false, "inside the tray"},
        {"tab_about", 15, 17, true, "the letter i"},
        {"tab_about", 9, 15, false, "inside the ring"},
        {"favorite_normal", 3, 11, true, "the heart's outline"},
        {"favorite_normal", 15, 15, false, "inside the empty heart"},
        {"favorite_selected", 15, 15, true, "inside the filled heart"},
        {"favorite_selected", 2, 2, false, "outside the heart"},
    };
    for (const auto& p : probes) {
        for (int scale : {1, 2}) {
            CAPTURE(p.image);
            CAPTURE(p.what);
            CAPTURE(scale);
            auto image = UIImage::imageWithContentsOfFile(kShipped + "/" + p.image + (scale == 2 ? "@2x.png" : ".png"));
            REQUIRE(image);
            auto pixel = image->CGImage()->pixelAt(static_cast<std::size_t>(p.x * scale),
                                                   static_cast<std::size_t>(p.y * scale));
            if (p.opaque) CHECK(pixel.a > 200);
            else CHECK(pixel.a < 30);
        }
    }
    // Colours: white glyphs, a red heart when selected, a neutral dark poster.
    auto selected = UIImage::imageWithContentsOfFile(kShipped + "/favorite_selected@2x.png")->CGImage()->pixelAt(30, 30);
    CHECK(selected.r > 200);
    CHECK(selected.g < 80);
    auto glyph = UIImage::imageWithContentsOfFile(kShipped + "/tab_search@2x.png")->CGImage()->pixelAt(9, 25);
    CHECK(glyph == CGPixel{255, 255, 255, 255});
    auto poster = UIImage::imageWithContentsOfFile(kShipped + "/movie_thumb@2x.png")->CGImage()->pixelAt(100, 20);
    CHECK(poster.r == poster.g);
    CHECK(poster.r < 100);
}
