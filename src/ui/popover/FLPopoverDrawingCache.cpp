#include "ui/popover/FLPopoverDrawingCache.h"

#include <cassert>
#include <cstdint>
#include <cstring>
#include <memory>

#include "platform/foundation/NSNotificationCenter.h"
#include "platform/base/ThreadAssertions.h"
#include "platform/uikit/UIApplication.h"
#include "ui/popover/FLPopoverPixelGrid.h"

FLPopoverDrawingCache::Recipe& FLPopoverDrawingCache::Recipe::add(double value) {
    values_.push_back(value);
    return *this;
}

FLPopoverDrawingCache::Recipe& FLPopoverDrawingCache::Recipe::add(const UIColorPtr& color) {
    const CGColorRef cg = color ? color->CGColor() : nullptr;
    if (!cg) return add(0.0);
    double r = 0, g = 0, b = 0, a = 0;
    cg->getRGBA(r, g, b, a);
    return add(1.0).add(r).add(g).add(b).add(a);
}

namespace {

// Whether every byte of the context's pixels is 0 (a context just made).
bool isClear(const CGContextRef& ctx) {
    const auto* data = static_cast<const unsigned char*>(CGBitmapContextGetData(ctx));
    if (!data) return false;
    const std::size_t size = CGBitmapContextGetBytesPerRow(ctx) * CGBitmapContextGetHeight(ctx);
    std::uint64_t any = 0;
    std::size_t i = 0;
    for (; i + 8 <= size; i += 8) {
        std::uint64_t word;
        std::memcpy(&word, data + i, 8);
        any |= word;
    }
    for (; i < size; ++i) any |= data[i];
    return any == 0;
}

}  // namespace

FLPopoverDrawingCache::FLPopoverDrawingCache(std::size_t capacity) : capacity_(capacity) {}

void FLPopoverDrawingCache::drawInto(const CGContextRef& ctx, Recipe recipe,
                                     const std::function<void(const CGContextRef&)>& draw) {
    QV_ASSERT_MAIN_THREAD();
    if (!ctx || !draw) return;
    auto grid = FLPopoverPixelGrid::of(ctx);
    if (!grid || capacity_ == 0) {
        draw(ctx);
        return;
    }
    const FLPopoverPixelRect whole{0, 0, grid->width, grid->height};
    recipe.add(grid->scale).add(grid->originX).add(grid->originY).add(double(grid->width)).add(double(grid->height));
    for (auto it = entries_.begin(); it != entries_.end(); ++it) {
        if (!(it->recipe == recipe)) continue;
        ++hits_;
        entries_.splice(entries_.begin(), entries_, it);
        grid->layDown(ctx, whole, entries_.front().image);
        return;
    }
    ++misses_;
    CGImageRef image;
    if (isClear(ctx)) {
        // A fresh backing (the usual case): drawn in place and kept as it came out.
        draw(ctx);
        image = CGBitmapContextCreateImage(ctx);
    } else {
        CGContextRef bitmap = grid->makeContext(whole);
        if (!bitmap) {
            draw(ctx);  // nothing to keep: drawn in place
            return;
        }
        draw(bitmap);
        image = CGBitmapContextCreateImage(bitmap);
        grid->layDown(ctx, whole, image);
    }
    if (!image) return;
    entries_.push_front(Entry{std::move(recipe), image});
    if (entries_.size() > capacity_) entries_.pop_back();
}

namespace {

// The shared caches, emptied when the system runs short of memory.
struct SharedCaches {
    FLPopoverDrawingCache chrome{4};
    FLPopoverDrawingCache innerView{4};
    std::shared_ptr<NSObject> memoryWarnings;
    SharedCaches() {
        memoryWarnings = NSNotificationCenter::defaultCenter()->addObserverForName(
            UIApplicationDidReceiveMemoryWarningNotification, nullptr, nullptr, [this](const NSNotification&) {
                chrome.removeAll();
                innerView.removeAll();
            });
    }
};

SharedCaches& shared() {
    QV_ASSERT_MAIN_THREAD();
    static SharedCaches caches;
    return caches;
}

}  // namespace

FLPopoverDrawingCache& FLPopoverDrawingCache::chrome() { return shared().chrome; }

FLPopoverDrawingCache& FLPopoverDrawingCache::innerView() { return shared().innerView; }
