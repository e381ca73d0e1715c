#include "imagecache/UIButtonWebCache.h"

#include <map>

#include "imagecache/UIViewWebCacheOperation.h"
#include "platform/foundation/NSLog.h"

namespace {

const char kImageURLStorageKey = 0;

struct ImageURLStorage {
    std::map<UIControlState, NSURLPtr> urls;
};

std::shared_ptr<ImageURLStorage> imageURLStorage(UIButton& button) {
    auto storage = button.associated<ImageURLStorage>(&kImageURLStorageKey);
    if (!storage) {
        storage = std::make_shared<ImageURLStorage>();
        button.setAssociatedObject(&kImageURLStorageKey, storage);
    }
    return storage;
}

void reportNilURL(const RIWebImageCompletionBlock& completed) {
    if (!completed) return;
    ri_dispatch_main_async_safe([completed] { completed(nullptr, RIWebImageNilURLError(), RIImageCacheTypeNone, nullptr); });
}

// Loads the URL and hands each image to `apply` on the main thread while the button exists.
RIWebImageOperationPtr load(const UIButtonPtr& button, const NSURLPtr& url, RIWebImageOptions options,
                            RIWebImageCompletionBlock completed,
                            std::function<void(UIButton&, const UIImagePtr&)> apply) {
    std::weak_ptr<UIButton> weakButton = button;
    return RIWebImageManager::sharedManager()->downloadImageWithURL(
        url, options, nullptr,
        [weakButton, completed, apply](UIImagePtr image, NSErrorPtr error, RIImageCacheType cacheType, bool finished,
                                       NSURLPtr imageURL) {
            if (weakButton.expired()) return;
            ri_dispatch_main_sync_safe([&] {
                auto shown = weakButton.lock();
                if (!shown) return;
                if (image) apply(*shown, image);
                if (completed && finished) completed(image, error, cacheType, imageURL);
            });
        });
}

}  // namespace

std::string RIButtonImageOperationKey(UIControlState state) { return format("UIButtonImageOperation%@", state); }

std::string RIButtonBackgroundImageOperationKey(UIControlState state) {
    return format("UIButtonBackgroundImageOperation%@", state);
}

void ri_setImageWithURL(const UIButtonPtr& button, const NSURLPtr& url, UIControlState state,
                        const UIImagePtr& placeholder, RIWebImageOptions options, RIWebImageCompletionBlock completed) {
    if (!button) return;
    button->setImage(placeholder, state);
    ri_cancelImageLoadForState(*button, state);
    if (!url) {
        imageURLStorage(*button)->urls.erase(state);
        reportNilURL(completed);
        return;
    }
    imageURLStorage(*button)->urls[state] = url;
    auto operation = load(button, url, options, std::move(completed),
                          [state](UIButton& b, const UIImagePtr& image) { b.setImage(image, state); });
    ri_setImageLoadOperation(*button, operation, state);
}

void ri_setImageWithURL(const UIButtonPtr& button, const NSURLPtr& url, UIControlState state) {
    ri_setImageWithURL(button, url, state, nullptr, 0, nullptr);
}

void ri_setImageWithURL(const UIButtonPtr& button, const NSURLPtr& url, UIControlState state,
                        const UIImagePtr& placeholder) {
    ri_setImageWithURL(button, url, state, placeholder, 0, nullptr);
}

void ri_setImageWithURL(const UIButtonPtr& button, const NSURLPtr& url, UIControlState state,
                        const UIImagePtr& placeholder, RIWebImageOptions options) {
    ri_setImageWithURL(button, url, state, placeholder, options, nullptr);
}

void ri_setImageWithURL(const UIButtonPtr& button, const NSURLPtr& url, UIControlState state,
                        RIWebImageCompletionBlock completed) {
    ri_setImageWithURL(button, url, state, nullptr, 0, std::move(completed));
}

void ri_setImageWithURL(const UIButtonPtr& button, const NSURLPtr& url, UIControlState state,
                        const UIImagePtr& placeholder, RIWebImageCompletionBlock completed) {
    ri_setImageWithURL(button, url, state, placeholder, 0, std::move(completed));
}

void ri_setBackgroundImageWithURL(const UIButtonPtr& button, const NSURLPtr& url, UIControlState state,
                                  const UIImagePtr& placeholder, RIWebImageOptions options,
                                  RIWebImageCompletionBlock completed) {
    if (!button) return;
    ri_cancelBackgroundImageLoadForState(*button, state);
    button->setBackgroundImage(placeholder, state);
    if (!url) {
        reportNilURL(completed);
        return;
    }
    auto operation = load(button, url, options, std::move(completed),
                          [state](UIButton& b, const UIImagePtr& image) { b.setBackgroundImage(image, state); });
    ri_setBackgroundImageLoadOperation(*button, operation, state);
}

void ri_setBackgroundImageWithURL(const UIButtonPtr& button, const NSURLPtr& url, UIControlState state) {
    ri_setBackgroundImageWithURL(button, url, state, nullptr, 0, nullptr);
}

void ri_setBackgroundImageWithURL(const UIButtonPtr& button, const NSURLPtr& url, UIControlState state,
                                  const UIImagePtr& placeholder) {
    ri_setBackgroundImageWithURL(button, url, state, placeholder, 0, nullptr);
}

void ri_setBackgroundImageWithURL(const UIButtonPtr& button, const NSURLPtr& url, UIControlState state,
                                  const UIImagePtr& placeholder, RIWebImageOptions options) {
    ri_setBackgroundImageWithURL(button, url, state, placeholder, options, nullptr);
}

void ri_setBackgroundImageWithURL(const UIButtonPtr& button, const NSURLPtr& url, UIControlState state,
                                  RIWebImageCompletionBlock completed) {
    ri_setBackgroundImageWithURL(button, url, state, nullptr, 0, std::move(completed));
}

void ri_setBackgroundImageWithURL(const UIButtonPtr& button, const NSURLPtr& url, UIControlState state,
                                  const UIImagePtr& placeholder, RIWebImageCompletionBlock completed) {
    ri_setBackgroundImageWithURL(button, url, state, placeholder, 0, std::move(completed));
}

NSURLPtr ri_imageURLForState(const UIButton& button, UIControlState state) {
    auto storage = button.associated<ImageURLStorage>(&kImageURLStorageKey);
    if (!storage) return nullptr;
    auto it = storage->urls.find(state);
    return it == storage->urls.end() ? nullptr : it->second;
}

NSURLPtr ri_currentImageURL(const UIButton& button) {
    if (auto url = ri_imageURLForState(button, button.state())) return url;
    return ri_imageURLForState(button, UIControlStateNormal);
}

void ri_setImageLoadOperation(UIButton& button, const RIWebImageOperationPtr& operation, UIControlState state) {
    ri_setImageLoadOperation(static_cast<UIView&>(button), operation, RIButtonImageOperationKey(state));
}

void ri_cancelImageLoadForState(UIButton& button, UIControlState state) {
    ri_cancelImageLoadOperationWithKey(button, RIButtonImageOperationKey(state));
}

void ri_setBackgroundImageLoadOperation(UIButton& button, const RIWebImageOperationPtr& operation,
                                        UIControlState state) {
    ri_setImageLoadOperation(static_cast<UIView&>(button), operation, RIButtonBackgroundImageOperationKey(state));
}

void ri_cancelBackgroundImageLoadForState(UIButton& button, UIControlState state) {
    ri_cancelImageLoadOperationWithKey(button, RIButtonBackgroundImageOperationKey(state));
}

// Older names.

NSURLPtr currentImageURL(const UIButton& button) { return ri_currentImageURL(button); }

NSURLPtr imageURLForState(const UIButton& button, UIControlState state) { return ri_imageURLForState(button, state); }

void setImageWithURL(const UIButtonPtr& button, const NSURLPtr& url, UIControlState state) {
    ri_setImageWithURL(button, url, state, nullptr, 0, nullptr);
}

void setImageWithURL(const UIButtonPtr& button, const NSURLPtr& url, UIControlState state,
                     const UIImagePtr& placeholder) {
    ri_setImageWithURL(button, url, state, placeholder, 0, nullptr);
}

void setImageWithURL(const UIButtonPtr& button, const NSURLPtr& url, UIControlState state,
                     const UIImagePtr& placeholder, RIWebImageOptions options) {
    ri_setImageWithURL(button, url, state, placeholder, options, nullptr);
}

void setImageWithURL(const UIButtonPtr& button, const NSURLPtr& url, UIControlState state,
                     RIWebImageCompletedBlock completed) {
    ri_setImageWithURL(button, url, state, nullptr, 0, RIWrapCompletedBlock(std::move(completed)));
}

void setImageWithURL(const UIButtonPtr& button, const NSURLPtr& url, UIControlState state,
                     const UIImagePtr& placeholder, RIWebImageCompletedBlock completed) {
    ri_setImageWithURL(button, url, state, placeholder, 0, RIWrapCompletedBlock(std::move(completed)));
}

void setImageWithURL(const UIButtonPtr& button, const NSURLPtr& url, UIControlState state,
                     const UIImagePtr& placeholder, RIWebImageOptions options, RIWebImageCompletedBlock completed) {
    ri_setImageWithURL(button, url, state, placeholder, options, RIWrapCompletedBlock(std::move(completed)));
}

void setBackgroundImageWithURL(const UIButtonPtr& button, const NSURLPtr& url, UIControlState state) {
    ri_setBackgroundImageWithURL(button, url, state, nullptr, 0, nullptr);
}

void setBackgroundImageWithURL(const UIButtonPtr& button, const NSURLPtr& url, UIControlState state,
                               const UIImagePtr& placeholder) {
    ri_setBackgroundImageWithURL(button, url, state, placeholder, 0, nullptr);
}

void setBackgroundImageWithURL(const UIButtonPtr& button, const NSURLPtr& url, UIControlState state,
                               const UIImagePtr& placeholder, RIWebImageOptions options) {
    ri_setBackgroundImageWithURL(button, url, state, placeholder, options, nullptr);
}

void setBackgroundImageWithURL(const UIButtonPtr& button, const NSURLPtr& url, UIControlState state,
                               RIWebImageCompletedBlock completed) {
    ri_setBackgroundImageWithURL(button, url, state, nullptr, 0, RIWrapCompletedBlock(std::move(completed)));
}

void setBackgroundImageWithURL(const UIButtonPtr& button, const NSURLPtr& url, UIControlState state,
                               const UIImagePtr& placeholder, RIWebImageCompletedBlock completed) {
    ri_setBackgroundImageWithURL(button, url, state, placeholder, 0, RIWrapCompletedBlock(std::move(completed)));
}

void setBackgroundImageWithURL(const UIButtonPtr& button, const NSURLPtr& url, UIControlState state,
                               const UIImagePtr& placeholder, RIWebImageOptions options,
                               RIWebImageCompletedBlock completed) {
    ri_setBackgroundImageWithURL(button, url, state, placeholder, options, RIWrapCompletedBlock(std::move(completed)));
}

void cancelCurrentImageLoad(UIButton& button) { ri_cancelImageLoadForState(button, button.state()); }

void cancelBackgroundImageLoadForState(UIButton& button, UIControlState state) {
    ri_cancelBackgroundImageLoadForState(button, state);
}
