// Protects the platform pieces the image cache stands on: the memory cache's eviction and threads, image scale and orientation, image views and buttons.
#include <doctest/doctest.h>

#include <filesystem>
#include <fstream>
#include <thread>

#include "ImageFixtures.h"
#include "platform/dispatch/Dispatch.h"
#include "platform/foundation/NSCache.h"
#include "platform/foundation/NSData.h"
#include "platform/imageio/CGImageSource.h"
#include "platform/uikit/UIButton.h"
#include "platform/uikit/UIImageView.h"
#include "platform/uikit/UIScreen.h"

using namespace imagetests;

TEST_CASE("the memory cache evicts the least recently used objects over its limits") {
    NSCache cache;
    cache.setName("test");
    CHECK(cache.name() == "test");
    cache.setTotalCostLimit(100);
    auto a = std::make_shared<NSObject>(), b = std::make_shared<NSObject>(), c = std::make_shared<NSObject>();
    cache.setObject("a", a, 40);
    cache.setObject("b", b, 40);
    CHECK(cache.objectForKey("a") == a);  // a is now the most recent
    cache.setObject("c", c, 40);
    CHECK(cache.objectForKey("b") == nullptr);
    CHECK(cache.objectForKey("a") == a);
    CHECK(cache.objectForKey("c") == c);
    CHECK(cache.totalCost() == 80);
    // Replacing an entry replaces its cost.
    cache.setObject("a", a, 10);
    CHECK(cache.totalCost() == 50);
    // An object costlier than the whole limit is not kept.
    cache.setObject("huge", std::make_shared<NSObject>(), 500);
    CHECK(cache.objectForKey("huge") == nullptr);
    CHECK(cache.totalCost() <= 100);

    cache.setTotalCostLimit(0);
    cache.setCountLimit(2);
    cache.setObject("x", std::make_shared<NSObject>());
    cache.setObject("y", std::make_shared<NSObject>());
    cache.setObject("z", std::make_shared<NSObject>());
    CHECK(cache.count() == 2);
    cache.removeObjectForKey("z");
    CHECK(cache.count() == 1);
    cache.removeAllObjects();
    CHECK(cache.count() == 0);
    CHECK(cache.totalCost() == 0);

    // Typed lookups answer the object only when it is of that class (or derives from it).
    auto image = UIImage::imageWithData(posterPng());
    auto view = std::make_shared<UIImageView>();
    cache.setObject("image", image);
    cache.setObject("view", view);
    CHECK(cache.objectForKeyAs<UIImage>("image") == image);
    CHECK(cache.objectForKeyAs<UIImage>("view") == nullptr);
    CHECK(cache.objectForKeyAs<UIView>("view") == view);
    CHECK(cache.objectForKeyAs<UIView>(std::string_view("viewer").substr(0, 4)) == view);
}

TEST_CASE("the memory cache is safe to use from several threads") {
    NSCache cache;
    cache.setTotalCostLimit(1000);
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&cache, t] {
            for (int i = 0; i < 2000; ++i) {
                std::string key = std::to_string((i * 7 + t) % 50);
                cache.setObject(key, std::make_shared<NSObject>(), 30);
                (void)cache.objectForKey(std::to_string(i % 50));
                if (i % 97 == 0) cache.removeObjectForKey(key);
            }
        });
    for (auto& thread : threads) thread.join();
    CHECK(cache.totalCost() <= 1000);
    CHECK(cache.totalCost() == cache.count() * 30);
}

TEST_CASE("images measure in points by scale and orientation and encode back") {
    auto bitmap = UIImage::imageWithData(posterJpeg(40, 20))->CGImage();
    CHECK(UIImage::imageWithCGImage(bitmap)->size() == CGSizeMake(40, 20));
    CHECK(UIImage::imageWithCGImage(bitmap, 2)->size() == CGSizeMake(20, 10));
    CHECK(UIImage::imageWithCGImage(bitmap, 1, UIImageOrientationLeft)->size() == CGSizeMake(20, 40));
    CHECK(UIImage::imageWithCGImage(bitmap, 0)->scale() == 1);
    CHECK_FALSE(UIImage::imageWithCGImage(nullptr));
    CHECK_FALSE(UIImage::imageWithData(Data{1, 2, 3}));

    auto rotated = UIImage::imageWithCGImage(bitmap, 1, UIImageOrientationRight);
    auto jpeg = UIImageJPEGRepresentation(rotated, 0.9);
    REQUIRE(jpeg);
    auto source = CGImageSourceCreateWithData(*jpeg);
    CHECK(CGImageSourceCopyPropertiesAtIndex(source, 0)[kCGImagePropertyOrientation].intValue() == 6);
    auto png = UIImagePNGRepresentation(rotated);
    REQUIRE(png);
    auto back = UIImage::imageWithData(*png);
    REQUIRE(back);
    CHECK(sampleimages::maxDifference(back->CGImage(), bitmap) == 0);
    CHECK_FALSE(UIImagePNGRepresentation(nullptr));

    auto frames = UIImage::animatedImageWithImages({UIImage::imageWithCGImage(bitmap), nullptr,
                                                    UIImage::imageWithCGImage(bitmap, 2)},
                                                   1.5);
    REQUIRE(frames);
    CHECK(frames->images().size() == 2);
    CHECK(frames->duration() == 1.5);
    CHECK(frames->CGImage() == bitmap);
    CHECK_FALSE(UIImage::animatedImageWithImages({}, 1));
}

TEST_CASE("files named with @2x are read at scale 2") {
    testsupport::TempHome home;
    std::string one = home.path() + "/thumb.png", two = home.path() + "/thumb@2x.png";
    REQUIRE(writeToFile(posterPng(8, 8), one, true));
    REQUIRE(writeToFile(posterPng(16, 16), two, true));
    CHECK(UIImage::imageWithContentsOfFile(one)->scale() == 1);
    auto doubled = UIImage::imageWithContentsOfFile(two);
    CHECK(doubled->scale() == 2);
    CHECK(doubled->size() == CGSizeMake(8, 8));
    CHECK_FALSE(UIImage::imageWithContentsOfFile(home.path() + "/none.png"));
    CHECK_FALSE(UIImage::imageNamed("no-such-image-anywhere"));
}

TEST_CASE("image views keep images and run animations only with frames") {
    auto image = UIImage::imageWithData(posterJpeg(30, 10));
    UIImageView view(image);
    CHECK(view.frame() == CGRectMake(0, 0, 30, 10));
    CHECK(view.image() == image);
    int changes = 0;
    auto token = view.observeValueForKey("image", [&](const std::string&) { ++changes; });
    view.setImage(nullptr);
    CHECK(changes == 1);
    view.startAnimating();
    CHECK_FALSE(view.isAnimating());
    view.setAnimationImages({image, image});
    view.startAnimating();
    CHECK(view.isAnimating());
    view.setAnimationImages({});
    CHECK_FALSE(view.isAnimating());
    view.setHighlightedImage(image);
    CHECK(view.highlightedImage() == image);
}

TEST_CASE("buttons fall back to the normal state's images") {
    auto normal = UIImage::imageWithData(posterJpeg(4, 4, 1));
    auto selected = UIImage::imageWithData(posterJpeg(4, 4, 2));
    UIButton button;
    button.setImage(normal, UIControlStateNormal);
    button.setImage(selected, UIControlStateSelected);
    button.setBackgroundImage(normal, UIControlStateNormal);
    CHECK(button.currentImage() == normal);
    button.setSelected(true);
    CHECK(button.state() == UIControlStateSelected);
    CHECK(button.currentImage() == selected);
    CHECK(button.currentBackgroundImage() == normal);
    button.setEnabled(false);
    CHECK(button.state() == (UIControlStateSelected | UIControlStateDisabled));
    CHECK(button.currentImage() == normal);
    button.setImage(nullptr, UIControlStateNormal);
    CHECK_FALSE(button.imageForState(UIControlStateHighlighted));
}

namespace {

std::size_t dispatchWorkerCount() {
    std::size_t count = 0;
    for (const auto& task : std::filesystem::directory_iterator("/proc/self/task")) {
        std::ifstream comm(task.path() / "comm");
        std::string name;
        std::getline(comm, name);
        count += name == "dispatch-worker";
    }
    return count;
}

}  // namespace

TEST_CASE("work queued beside jobs that block their workers still runs") {
    // Transfers hold a worker of the global queue for their whole run; work
    // queued at the same moment must get a worker of its own, also when idle
    // workers were woken for the jobs ahead of it but have not taken them yet.
    auto global = dispatch_get_global_queue(DISPATCH_QUEUE_PRIORITY_DEFAULT, 0);
    for (int round = 0; round < 3; ++round) {
        // As many blockers as there are workers, all idle now, then one more job.
        std::size_t workers = dispatchWorkerCount();
        auto release = dispatch_semaphore_create(0);
        std::atomic<bool> ran{false};
        for (std::size_t i = 0; i < workers; ++i)
            dispatch_async(global, [release] { dispatch_semaphore_wait(release, DISPATCH_TIME_FOREVER); });
        dispatch_async(global, [&ran] { ran = true; });
        bool ok = waitFor([&] { return ran.load(); }, 5);
        for (std::size_t i = 0; i < workers; ++i) dispatch_semaphore_signal(release);
        REQUIRE(ok);
        // Let the blockers finish so that every worker is idle again.
        auto group = dispatch_group_create();
        dispatch_group_async(group, global, [] {});
        dispatch_group_wait(group, DISPATCH_TIME_FOREVER);
    }
}
