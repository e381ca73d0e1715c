// Protects the image view and button loading: shared requests, cancels, placeholders, animation frames, progressive images and per-state images.
#include <doctest/doctest.h>

#include <png.h>

#include <atomic>

#include "ImageFixtures.h"
#include "SharedStack.h"
#include "imagecache/UIButtonWebCache.h"
#include "imagecache/UIImageViewWebCache.h"
#include "imagecache/UIViewWebCacheOperation.h"
#include "platform/uikit/UIGraphics.h"

using namespace imagetests;
using testsupport::Reply;

namespace {

UIImagePtr placeholderImage() { return UIImage::imageWithData(posterPng(4, 6, 9)); }

struct Finished {
    int calls = 0;
    UIImagePtr image;
    NSErrorPtr error;
    RIImageCacheType cacheType = RIImageCacheTypeNone;
    NSURLPtr url;
    RIWebImageCompletionBlock block() {
        return [this](UIImagePtr i, NSErrorPtr e, RIImageCacheType t, NSURLPtr u) {
            ++calls;
            image = i;
            error = e;
            cacheType = t;
            url = u;
        };
    }
};

// An RGB PNG of side x side pixels in flat parts (red top left, green top
// right, magenta below), written row by row: a few hundred KB for 8000 x 8000.
Data quadrantsPng(std::size_t side) {
    Data out;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    png_set_write_fn(
        png, &out,
        [](png_structp p, png_bytep bytes, png_size_t size) {
            auto* data = static_cast<Data*>(png_get_io_ptr(p));
            data->insert(data->end(), bytes, bytes + size);
        },
        nullptr);
    png_set_IHDR(png, info, static_cast<png_uint_32>(side), static_cast<png_uint_32>(side), 8, PNG_COLOR_TYPE_RGB,
                 PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    std::vector<png_byte> row(side * 3);
    for (std::size_t y = 0; y < side; ++y) {
        const bool top = y < side / 2;
        for (std::size_t x = 0; x < side; ++x) {
            const bool left = x < side / 2;
            const png_byte pixel[3] = {png_byte(top && !left ? 0 : 255), png_byte(top && !left ? 255 : 0),
                                       png_byte(top ? 0 : 255)};
            std::copy(pixel, pixel + 3, row.begin() + static_cast<std::ptrdiff_t>(x * 3));
        }
        png_write_row(png, row.data());
    }
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return out;
}

}  // namespace

TEST_CASE("two views showing the same poster make one request") {
    auto manager = sharedStack();
    testsupport::LoopbackHttpServer server;
    server.route("GET", "/poster.jpg", imageReply(posterJpeg(40, 60)).stallFirst());
    auto url = urlOf(server, "/poster.jpg");
    auto placeholder = placeholderImage();
    auto left = std::make_shared<UIImageView>(), right = std::make_shared<UIImageView>();
    ri_setImageWithURL(left, url, placeholder);
    REQUIRE(waitFor(server.stalledConnections(1)));
    ri_setImageWithURL(right, url, placeholder);
    CHECK(left->image() == placeholder);
    CHECK(right->image() == placeholder);
    CHECK(ri_imageURL(*left) == url);
    server.releaseStalls();
    REQUIRE(waitFor([&] { return left->image() != placeholder && right->image() != placeholder; }));
    CHECK(left->image() == right->image());
    CHECK(left->image()->size() == CGSizeMake(40, 60));
    CHECK(server.requestCount() == 1);
}

TEST_CASE("cancelling one view leaves the other view's load intact") {
    auto manager = sharedStack();
    testsupport::LoopbackHttpServer server;
    server.route("GET", "/poster.jpg", imageReply(posterJpeg()).stallFirst());
    auto url = urlOf(server, "/poster.jpg");
    auto placeholder = placeholderImage();
    auto cancelled = std::make_shared<UIImageView>(), kept = std::make_shared<UIImageView>();
    Finished cancelledDone, keptDone;
    ri_setImageWithURL(cancelled, url, placeholder, cancelledDone.block());
    ri_setImageWithURL(kept, url, placeholder, keptDone.block());
    REQUIRE(waitFor(server.stalledConnections(1)));
    ri_cancelCurrentImageLoad(*cancelled);
    CHECK(ri_imageLoadOperationsForKey(*cancelled, kUIImageViewImageLoadKey).empty());
    server.releaseStalls();
    REQUIRE(waitFor([&] { return keptDone.calls == 1; }));
    CHECK(kept->image() != placeholder);
    CHECK(keptDone.image == kept->image());
    CHECK(keptDone.url == url);
    CHECK(cancelled->image() == placeholder);
    CHECK(cancelledDone.calls == 0);
}

TEST_CASE("a poster in the memory cache is shown before the call returns") {
    auto manager = sharedStack();
    testsupport::LoopbackHttpServer server;
    server.route("GET", "/poster.jpg", imageReply(posterJpeg()));
    auto url = urlOf(server, "/poster.jpg");
    auto first = std::make_shared<UIImageView>();
    Finished done;
    ri_setImageWithURL(first, url, nullptr, 0, done.block());
    REQUIRE(waitFor([&] { return done.calls == 1; }));
    CHECK(done.cacheType == RIImageCacheTypeNone);

    auto second = std::make_shared<UIImageView>();
    Finished hit;
    ri_setImageWithURL(second, url, placeholderImage(), hit.block());
    CHECK(second->image() == first->image());
    CHECK(hit.calls == 1);
    CHECK(hit.cacheType == RIImageCacheTypeMemory);
    CHECK(server.requestCount() == 1);
}

TEST_CASE("a new URL cancels the view's previous load whose image is never shown") {
    auto manager = sharedStack();
    testsupport::LoopbackHttpServer server;
    server.route("GET", "/old.jpg", imageReply(posterJpeg(10, 10, 1)).stallFirst());
    server.route("GET", "/new.jpg", imageReply(posterJpeg(20, 20, 2)));
    auto view = std::make_shared<UIImageView>();
    Finished oldDone, newDone;
    ri_setImageWithURL(view, urlOf(server, "/old.jpg"), nullptr, 0, oldDone.block());
    REQUIRE(waitFor(server.stalledConnections(1)));
    ri_setImageWithURL(view, urlOf(server, "/new.jpg"), nullptr, 0, newDone.block());
    REQUIRE(waitFor([&] { return newDone.calls == 1; }));
    CHECK(view->image()->size() == CGSizeMake(20, 20));
    // The old transfer had no other caller left, so it was cancelled.
    REQUIRE(waitFor([&] { return manager->imageDownloader()->currentDownloadCount() == 0; }));
    server.releaseStalls();
    CHECK(oldDone.calls == 0);
    CHECK(view->image()->size() == CGSizeMake(20, 20));
    CHECK(ri_imageURL(*view)->absoluteString() == server.url("/new.jpg"));
}

TEST_CASE("a delayed placeholder appears only when the load ends without an image") {
    auto manager = sharedStack();
    testsupport::LoopbackHttpServer server;
    server.route("GET", "/missing.jpg", Reply::withStatus(404));
    server.route("GET", "/poster.jpg", imageReply(posterJpeg()));
    auto placeholder = placeholderImage();
    auto failing = std::make_shared<UIImageView>(), working = std::make_shared<UIImageView>();
    Finished failed, loaded;
    ri_setImageWithURL(failing, urlOf(server, "/missing.jpg"), placeholder, RIWebImageDelayPlaceholder, failed.block());
    ri_setImageWithURL(working, urlOf(server, "/poster.jpg"), placeholder, RIWebImageDelayPlaceholder, loaded.block());
    CHECK_FALSE(failing->image());
    CHECK_FALSE(working->image());
    REQUIRE(waitFor([&] { return failed.calls == 1 && loaded.calls == 1; }));
    CHECK(failing->image() == placeholder);
    REQUIRE(failed.error);
    CHECK(failed.error->code() == 404);
    CHECK(working->image() != placeholder);
    CHECK(working->image());
}

TEST_CASE("a nil URL keeps the placeholder and reports the nil-url error when asked") {
    auto manager = sharedStack();
    auto placeholder = placeholderImage();
    auto quiet = std::make_shared<UIImageView>();
    setImageWithURL(quiet, nullptr, placeholder);
    CHECK(quiet->image() == placeholder);
    CHECK_FALSE(ri_imageURL(*quiet));

    auto view = std::make_shared<UIImageView>();
    Finished done;
    ri_setImageWithURL(view, nullptr, placeholder, done.block());
    REQUIRE(waitFor([&] { return done.calls == 1; }));
    REQUIRE(done.error);
    CHECK(done.error->domain() == "RIWebImageErrorDomain");
    CHECK(done.error->code() == -1);
    CHECK(done.error->localizedDescription() == "Trying to load a nil url");
    CHECK(view->image() == placeholder);

    // The older callback form gets the same without the URL.
    int older = 0;
    setImageWithURL(view, nullptr, placeholder, [&](UIImagePtr image, NSErrorPtr error, RIImageCacheType) {
        older += (!image && error && error->code() == -1) ? 1 : 100;
    });
    REQUIRE(waitFor([&] { return older != 0; }));
    CHECK(older == 1);
}

TEST_CASE("animation frames are added as their loads complete and failures are left out") {
    auto manager = sharedStack();
    testsupport::LoopbackHttpServer server;
    server.route("GET", "/1.jpg", imageReply(posterJpeg(10, 10, 1)));
    server.route("GET", "/2.jpg", Reply::withStatus(404));
    server.route("GET", "/3.jpg", imageReply(posterJpeg(10, 10, 3)));
    auto view = std::make_shared<UIImageView>();
    ri_setAnimationImagesWithURLs(view, {urlOf(server, "/1.jpg"), urlOf(server, "/2.jpg"), urlOf(server, "/3.jpg")});
    CHECK(ri_imageLoadOperationsForKey(*view, kUIImageViewAnimationImagesKey).size() == 3);
    REQUIRE(waitFor([&] { return server.requestCount() == 3 && view->animationImages().size() == 2; }));
    REQUIRE(waitFor([&] { return !manager->isRunning(); }));
    CHECK(view->animationImages().size() == 2);
    CHECK(view->isAnimating());
}

TEST_CASE("the highlighted image loads without touching the image or the URL") {
    auto manager = sharedStack();
    testsupport::LoopbackHttpServer server;
    server.route("GET", "/lit.jpg", imageReply(posterJpeg(12, 12)));
    auto placeholder = placeholderImage();
    auto view = std::make_shared<UIImageView>(placeholder);
    Finished done;
    ri_setHighlightedImageWithURL(view, urlOf(server, "/lit.jpg"), done.block());
    REQUIRE(waitFor([&] { return done.calls == 1; }));
    REQUIRE(view->highlightedImage());
    CHECK(view->highlightedImage()->size() == CGSizeMake(12, 12));
    CHECK(view->image() == placeholder);
    CHECK_FALSE(ri_imageURL(*view));
}

TEST_CASE("a previously cached poster stands in as the placeholder") {
    auto manager = sharedStack();
    testsupport::LoopbackHttpServer server;
    server.route("GET", "/poster.jpg", imageReply(posterJpeg(30, 30, 4)).stallFirst());
    auto url = urlOf(server, "/poster.jpg");
    auto previous = UIImage::imageWithData(posterJpeg(8, 8, 5));
    manager->imageCache()->storeImage(previous, manager->cacheKeyForURL(url), false);
    auto view = std::make_shared<UIImageView>();
    Finished done;
    // Refresh: the cached image is shown and the download replaces it.
    ri_setImageWithPreviousCachedImageWithURL(view, url, placeholderImage(), RIWebImageRefreshCached, nullptr,
                                              done.block());
    CHECK(view->image() == previous);
    REQUIRE(waitFor(server.stalledConnections(1)));
    server.releaseStalls();
    REQUIRE(waitFor([&] { return done.calls == 2; }));
    CHECK(view->image()->size() == CGSizeMake(30, 30));
}

TEST_CASE("a view that is gone receives nothing and its load still fills the cache") {
    auto manager = sharedStack();
    testsupport::LoopbackHttpServer server;
    server.route("GET", "/poster.jpg", imageReply(posterJpeg()).stallFirst());
    auto url = urlOf(server, "/poster.jpg");
    int calls = 0;
    {
        auto view = std::make_shared<UIImageView>();
        ri_setImageWithURL(view, url, nullptr, 0, [&](UIImagePtr, NSErrorPtr, RIImageCacheType, NSURLPtr) { ++calls; });
        REQUIRE(waitFor(server.stalledConnections(1)));
    }
    server.releaseStalls();
    REQUIRE(waitFor([&] { return manager->imageCache()->imageFromMemoryCacheForKey(url->absoluteString()) != nullptr; }));
    REQUIRE(waitFor([&] { return !manager->isRunning(); }));
    CHECK(calls == 0);
}

TEST_CASE("buttons load an image and a background per state") {
    auto manager = sharedStack();
    testsupport::LoopbackHttpServer server;
    server.route("GET", "/normal.jpg", imageReply(posterJpeg(10, 10, 1)));
    server.route("GET", "/selected.jpg", imageReply(posterJpeg(14, 14, 2)));
    server.route("GET", "/back.jpg", imageReply(posterJpeg(16, 16, 3)));
    auto button = std::make_shared<UIButton>();
    auto placeholder = placeholderImage();
    Finished normal, selected, back;
    ri_setImageWithURL(button, urlOf(server, "/normal.jpg"), UIControlStateNormal, placeholder, normal.block());
    ri_setImageWithURL(button, urlOf(server, "/selected.jpg"), UIControlStateSelected, placeholder, selected.block());
    ri_setBackgroundImageWithURL(button, urlOf(server, "/back.jpg"), UIControlStateNormal, placeholder, back.block());
    CHECK(button->imageForState(UIControlStateNormal) == placeholder);
    CHECK(button->backgroundImageForState(UIControlStateNormal) == placeholder);
    REQUIRE(waitFor([&] { return normal.calls == 1 && selected.calls == 1 && back.calls == 1; }));
    CHECK(button->imageForState(UIControlStateNormal)->size() == CGSizeMake(10, 10));
    CHECK(button->imageForState(UIControlStateSelected)->size() == CGSizeMake(14, 14));
    CHECK(button->backgroundImageForState(UIControlStateNormal)->size() == CGSizeMake(16, 16));

    CHECK(ri_imageURLForState(*button, UIControlStateSelected)->absoluteString() == server.url("/selected.jpg"));
    // The highlighted state has no URL of its own: the normal state's answers.
    button->setHighlighted(true);
    CHECK(ri_currentImageURL(*button)->absoluteString() == server.url("/normal.jpg"));
    button->setHighlighted(false);
    button->setSelected(true);
    CHECK(currentImageURL(*button)->absoluteString() == server.url("/selected.jpg"));

    // A nil URL forgets the state's URL and reports the nil-url error.
    Finished none;
    ri_setImageWithURL(button, nullptr, UIControlStateSelected, placeholder, none.block());
    REQUIRE(waitFor([&] { return none.calls == 1; }));
    CHECK(none.error->code() == -1);
    CHECK_FALSE(ri_imageURLForState(*button, UIControlStateSelected));
    CHECK(button->imageForState(UIControlStateSelected) == placeholder);
    CHECK(RIButtonImageOperationKey(UIControlStateSelected) == "UIButtonImageOperation4");
    CHECK(RIButtonBackgroundImageOperationKey(UIControlStateNormal) == "UIButtonBackgroundImageOperation0");
}

TEST_CASE("a button's new load for a state cancels the state's previous one") {
    auto manager = sharedStack();
    testsupport::LoopbackHttpServer server;
    server.route("GET", "/slow.jpg", imageReply(posterJpeg(10, 10)).stallFirst());
    server.route("GET", "/fast.jpg", imageReply(posterJpeg(18, 18)));
    auto button = std::make_shared<UIButton>();
    Finished slow, fast;
    ri_setImageWithURL(button, urlOf(server, "/slow.jpg"), UIControlStateNormal, slow.block());
    REQUIRE(waitFor(server.stalledConnections(1)));
    ri_setImageWithURL(button, urlOf(server, "/fast.jpg"), UIControlStateNormal, fast.block());
    REQUIRE(waitFor([&] { return fast.calls == 1; }));
    REQUIRE(waitFor([&] { return manager->imageDownloader()->currentDownloadCount() == 0; }));
    server.releaseStalls();
    CHECK(slow.calls == 0);
    CHECK(button->currentImage()->size() == CGSizeMake(18, 18));
}

TEST_CASE("progressive partial images show in the view and only the final one is reported") {
    auto manager = sharedStack();
    testsupport::LoopbackHttpServer server;
    sampleimages::PngOptions options;
    options.colorType = 2;
    options.compressionLevel = 0;
    Data png = sampleimages::png(48, 48, smooth(), options);
    server.route("GET", "/slow.png", imageReply(png, "image/png").inPieces(png.size() / 5 + 1));
    auto view = std::make_shared<UIImageView>();
    std::vector<UIImagePtr> shown;
    auto token = view->observeValueForKey("image", [&](const std::string&) { shown.push_back(view->image()); });
    Finished done;
    std::atomic<std::size_t> progressCalls{0};
    ri_setImageWithURL(view, urlOf(server, "/slow.png"), nullptr, RIWebImageProgressiveDownload,
                       [&](std::int64_t, std::int64_t) { ++progressCalls; }, done.block());
    REQUIRE(server.deliverPieces([&] { return done.calls == 1; }, [&] { return progressCalls.load(); }));
    CHECK(done.calls == 1);
    REQUIRE(done.image);
    CHECK(view->image() == done.image);
    // The placeholder (none), at least one partial image, then the final one.
    CHECK(shown.size() >= 3);
    bool partial = false;
    for (const auto& image : shown)
        if (image && image != done.image && image->CGImage()->pixelAt(0, 47).a == 0) partial = true;
    CHECK(partial);
}

TEST_CASE("a huge poster is kept reduced, cached at the reduced cost and drawn from one kept surface") {
    auto manager = sharedStack();
    testsupport::LoopbackHttpServer server;
    const Data png = quadrantsPng(8000);
    REQUIRE(png.size() < 1024 * 1024);
    server.route("GET", "/huge.png", imageReply(png, "image/png"));
    auto url = urlOf(server, "/huge.png");
    auto view = std::make_shared<UIImageView>(CGRectMake(0, 0, 100, 150));
    Finished done;
    ri_setImageWithURL(view, url, nullptr, done.block());
    REQUIRE_MESSAGE(waitFor([&] { return done.calls == 1; }, 60), "the 8000 x 8000 poster's load");
    REQUIRE(done.image);
    REQUIRE(view->image() == done.image);

    // Reduced once to at most 2^22 pixels (the phone screen's four screens are fewer), proportions kept.
    const auto& bitmap = done.image->CGImage();
    CHECK(bitmap->width() == 2048);
    CHECK(bitmap->height() == 2048);
    CHECK(std::uint64_t(bitmap->bytesPerRow()) * bitmap->height() == 16u * 1024 * 1024);
    CHECK(bitmap->pixelAt(10, 10) == CGPixel{255, 0, 0, 255});
    CHECK(bitmap->pixelAt(2000, 10) == CGPixel{0, 255, 0, 255});
    CHECK(bitmap->pixelAt(10, 2000) == CGPixel{255, 0, 255, 255});
    CHECK(bitmap->pixelAt(1023, 1023) == CGPixel{255, 0, 0, 255});
    // The memory cache holds that image at its reduced cost.
    auto cache = manager->imageCache();
    CHECK(cache->imageFromMemoryCacheForKey(url->absoluteString()) == done.image);
    CHECK(cache->memCache()->totalCost() == 2048u * 2048u);
    // And the memory cache is bounded from the start: eight such posters fill it, a ninth evicts.
    CHECK(cache->maxMemoryCost() == 8u * 2048u * 2048u);

    // Drawn again and again, the bitmap gives one surface, read in place.
    const auto backings = CGImage::drawingBackingsMade();
    for (int pass = 0; pass < 3; ++pass) {
        UIGraphicsBeginImageContextWithOptions(CGSizeMake(100, 150), false, 2);
        view->layer()->renderInContext(UIGraphicsGetCurrentContext());
        auto drawn = UIGraphicsGetImageFromCurrentImageContext();
        UIGraphicsEndImageContext();
        REQUIRE(drawn);
        CHECK(drawn->CGImage()->pixelAt(20, 20).a == 255);
    }
    CHECK(CGImage::drawingBackingsMade() - backings == 1);
}
