#include "imagecache/UIImageViewWebCache.h"

#include "imagecache/UIViewWebCacheOperation.h"

namespace {

const char kImageURLKey = 0;

struct ImageURLBox {
    NSURLPtr url;
};

// The nil-URL error goes to the callback on the main thread, asynchronously
// when called from elsewhere.
void reportNilURL(const RIWebImageCompletionBlock& completed) {
    if (!completed) return;
    ri_dispatch_main_async_safe([completed] { completed(nullptr, RIWebImageNilURLError(), RIImageCacheTypeNone, nullptr); });
}

}  // namespace

NSErrorPtr RIWebImageNilURLError() { return NSError::make(RIWebImageErrorDomain, -1, "Trying to load a nil url"); }

RIWebImageCompletionBlock RIWrapCompletedBlock(RIWebImageCompletedBlock completed) {
    if (!completed) return nullptr;
    return [completed](UIImagePtr image, NSErrorPtr error, RIImageCacheType cacheType, NSURLPtr) {
        completed(image, error, cacheType);
    };
}

void ri_setImageWithURL(const UIImageViewPtr& view, const NSURLPtr& url, const UIImagePtr& placeholder,
                        RIWebImageOptions options, RIWebImageDownloaderProgressBlock progress,
                        RIWebImageCompletionBlock completed) {
    if (!view) return;
    ri_cancelCurrentImageLoad(*view);
    view->setAssociatedObject(&kImageURLKey, std::make_shared<ImageURLBox>(ImageURLBox{url}));
    if (!(options & RIWebImageDelayPlaceholder)) view->setImage(placeholder);
    if (!url) {
        reportNilURL(completed);
        return;
    }
    std::weak_ptr<UIImageView> weakView = view;
    auto operation = RIWebImageManager::sharedManager()->downloadImageWithURL(
        url, options, std::move(progress),
        [weakView, placeholder, options, completed](UIImagePtr image, NSErrorPtr error, RIImageCacheType cacheType,
                                                    bool finished, NSURLPtr imageURL) {
            if (weakView.expired()) return;
            ri_dispatch_main_sync_safe([&] {
                auto shown = weakView.lock();
                if (!shown) return;
                if (image) {
                    shown->setImage(image);
                    shown->setNeedsLayout();
                } else if (options & RIWebImageDelayPlaceholder) {
                    shown->setImage(placeholder);
                    shown->setNeedsLayout();
                }
                if (completed && finished) completed(image, error, cacheType, imageURL);
            });
        });
    ri_setImageLoadOperation(*view, operation, kUIImageViewImageLoadKey);
}

void ri_setImageWithURL(const UIImageViewPtr& view, const NSURLPtr& url) {
    ri_setImageWithURL(view, url, nullptr, 0, nullptr, nullptr);
}

void ri_setImageWithURL(const UIImageViewPtr& view, const NSURLPtr& url, const UIImagePtr& placeholder) {
    ri_setImageWithURL(view, url, placeholder, 0, nullptr, nullptr);
}

void ri_setImageWithURL(const UIImageViewPtr& view, const NSURLPtr& url, const UIImagePtr& placeholder,
                        RIWebImageOptions options) {
    ri_setImageWithURL(view, url, placeholder, options, nullptr, nullptr);
}

void ri_setImageWithURL(const UIImageViewPtr& view, const NSURLPtr& url, RIWebImageCompletionBlock completed) {
    ri_setImageWithURL(view, url, nullptr, 0, nullptr, std::move(completed));
}

void ri_setImageWithURL(const UIImageViewPtr& view, const NSURLPtr& url, const UIImagePtr& placeholder,
                        RIWebImageCompletionBlock completed) {
    ri_setImageWithURL(view, url, placeholder, 0, nullptr, std::move(completed));
}

void ri_setImageWithURL(const UIImageViewPtr& view, const NSURLPtr& url, const UIImagePtr& placeholder,
                        RIWebImageOptions options, RIWebImageCompletionBlock completed) {
    ri_setImageWithURL(view, url, placeholder, options, nullptr, std::move(completed));
}

void ri_setImageWithPreviousCachedImageWithURL(const UIImageViewPtr& view, const NSURLPtr& url,
                                               const UIImagePtr& placeholder, RIWebImageOptions options,
                                               RIWebImageDownloaderProgressBlock progress,
                                               RIWebImageCompletionBlock completed) {
    auto manager = RIWebImageManager::sharedManager();
    UIImagePtr cached = url ? manager->imageCache()->imageFromDiskCacheForKey(manager->cacheKeyForURL(url)) : nullptr;
    ri_setImageWithURL(view, url, cached ? cached : placeholder, options, std::move(progress), std::move(completed));
}

NSURLPtr ri_imageURL(const UIImageView& view) {
    auto box = view.associated<ImageURLBox>(&kImageURLKey);
    return box ? box->url : nullptr;
}

void ri_setAnimationImagesWithURLs(const UIImageViewPtr& view, const std::vector<NSURLPtr>& urls) {
    if (!view) return;
    ri_cancelCurrentAnimationImagesLoad(*view);
    std::weak_ptr<UIImageView> weakView = view;
    std::vector<RIWebImageOperationPtr> operations;
    for (const auto& url : urls) {
        auto operation = RIWebImageManager::sharedManager()->downloadImageWithURL(
            url, 0, nullptr,
            [weakView](UIImagePtr image, NSErrorPtr, RIImageCacheType, bool, NSURLPtr) {
                if (weakView.expired()) return;
                ri_dispatch_main_sync_safe([&] {
                    auto shown = weakView.lock();
                    if (!shown) return;
                    shown->stopAnimating();
                    if (image) {
                        auto frames = shown->animationImages();
                        frames.push_back(image);
                        shown->setAnimationImages(std::move(frames));
                        shown->setNeedsLayout();
                    }
                    shown->startAnimating();
                });
            });
        operations.push_back(operation);
    }
    ri_setImageLoadOperations(*view, operations, kUIImageViewAnimationImagesKey);
}

void ri_cancelCurrentImageLoad(UIImageView& view) { ri_cancelImageLoadOperationWithKey(view, kUIImageViewImageLoadKey); }

void ri_cancelCurrentAnimationImagesLoad(UIImageView& view) {
    ri_cancelImageLoadOperationWithKey(view, kUIImageViewAnimationImagesKey);
}

void ri_setHighlightedImageWithURL(const UIImageViewPtr& view, const NSURLPtr& url, RIWebImageOptions options,
                                   RIWebImageDownloaderProgressBlock progress, RIWebImageCompletionBlock completed) {
    if (!view) return;
    ri_cancelCurrentHighlightedImageLoad(*view);
    if (!url) {
        reportNilURL(completed);
        return;
    }
    std::weak_ptr<UIImageView> weakView = view;
    auto operation = RIWebImageManager::sharedManager()->downloadImageWithURL(
        url, options, std::move(progress),
        [weakView, completed](UIImagePtr image, NSErrorPtr error, RIImageCacheType cacheType, bool finished,
                              NSURLPtr imageURL) {
            if (weakView.expired()) return;
            ri_dispatch_main_sync_safe([&] {
                auto shown = weakView.lock();
                if (!shown) return;
                if (image) {
                    shown->setHighlightedImage(image);
                    shown->setNeedsLayout();
                }
                if (completed && finished) completed(image, error, cacheType, imageURL);
            });
        });
    ri_setImageLoadOperation(*view, operation, kUIImageViewHighlightedImageKey);
}

void ri_setHighlightedImageWithURL(const UIImageViewPtr& view, const NSURLPtr& url) {
    ri_setHighlightedImageWithURL(view, url, 0, nullptr, nullptr);
}

void ri_setHighlightedImageWithURL(const UIImageViewPtr& view, const NSURLPtr& url, RIWebImageOptions options) {
    ri_setHighlightedImageWithURL(view, url, options, nullptr, nullptr);
}

void ri_setHighlightedImageWithURL(const UIImageViewPtr& view, const NSURLPtr& url, RIWebImageCompletionBlock completed) {
    ri_setHighlightedImageWithURL(view, url, 0, nullptr, std::move(completed));
}

void ri_setHighlightedImageWithURL(const UIImageViewPtr& view, const NSURLPtr& url, RIWebImageOptions options,
                                   RIWebImageCompletionBlock completed) {
    ri_setHighlightedImageWithURL(view, url, options, nullptr, std::move(completed));
}

void ri_cancelCurrentHighlightedImageLoad(UIImageView& view) {
    ri_cancelImageLoadOperationWithKey(view, kUIImageViewHighlightedImageKey);
}

// Older names.

NSURLPtr imageURL(const UIImageView& view) { return ri_imageURL(view); }

void setImageWithURL(const UIImageViewPtr& view, const NSURLPtr& url) {
    ri_setImageWithURL(view, url, nullptr, 0, nullptr, nullptr);
}

void setImageWithURL(const UIImageViewPtr& view, const NSURLPtr& url, const UIImagePtr& placeholder) {
    ri_setImageWithURL(view, url, placeholder, 0, nullptr, nullptr);
}

void setImageWithURL(const UIImageViewPtr& view, const NSURLPtr& url, const UIImagePtr& placeholder,
                     RIWebImageOptions options) {
    ri_setImageWithURL(view, url, placeholder, options, nullptr, nullptr);
}

void setImageWithURL(const UIImageViewPtr& view, const NSURLPtr& url, RIWebImageCompletedBlock completed) {
    ri_setImageWithURL(view, url, nullptr, 0, nullptr, RIWrapCompletedBlock(std::move(completed)));
}

void setImageWithURL(const UIImageViewPtr& view, const NSURLPtr& url, const UIImagePtr& placeholder,
                     RIWebImageCompletedBlock completed) {
    ri_setImageWithURL(view, url, placeholder, 0, nullptr, RIWrapCompletedBlock(std::move(completed)));
}

void setImageWithURL(const UIImageViewPtr& view, const NSURLPtr& url, const UIImagePtr& placeholder,
                     RIWebImageOptions options, RIWebImageCompletedBlock completed) {
    ri_setImageWithURL(view, url, placeholder, options, nullptr, RIWrapCompletedBlock(std::move(completed)));
}

void setImageWithURL(const UIImageViewPtr& view, const NSURLPtr& url, const UIImagePtr& placeholder,
                     RIWebImageOptions options, RIWebImageDownloaderProgressBlock progress,
                     RIWebImageCompletedBlock completed) {
    ri_setImageWithURL(view, url, placeholder, options, std::move(progress), RIWrapCompletedBlock(std::move(completed)));
}

void cancelCurrentArrayLoad(UIImageView& view) { ri_cancelCurrentAnimationImagesLoad(view); }

void cancelCurrentImageLoad(UIImageView& view) { ri_cancelCurrentImageLoad(view); }

void setAnimationImagesWithURLs(const UIImageViewPtr& view, const std::vector<NSURLPtr>& urls) {
    ri_setAnimationImagesWithURLs(view, urls);
}

void setHighlightedImageWithURL(const UIImageViewPtr& view, const NSURLPtr& url) {
    ri_setHighlightedImageWithURL(view, url, 0, nullptr, nullptr);
}

void setHighlightedImageWithURL(const UIImageViewPtr& view, const NSURLPtr& url, RIWebImageOptions options) {
    ri_setHighlightedImageWithURL(view, url, options, nullptr, nullptr);
}

void setHighlightedImageWithURL(const UIImageViewPtr& view, const NSURLPtr& url, RIWebImageCompletedBlock completed) {
    ri_setHighlightedImageWithURL(view, url, 0, nullptr, RIWrapCompletedBlock(std::move(completed)));
}

void setHighlightedImageWithURL(const UIImageViewPtr& view, const NSURLPtr& url, RIWebImageOptions options,
                                RIWebImageCompletedBlock completed) {
    ri_setHighlightedImageWithURL(view, url, options, nullptr, RIWrapCompletedBlock(std::move(completed)));
}

void setHighlightedImageWithURL(const UIImageViewPtr& view, const NSURLPtr& url, RIWebImageOptions options,
                                RIWebImageDownloaderProgressBlock progress, RIWebImageCompletedBlock completed) {
    ri_setHighlightedImageWithURL(view, url, options, std::move(progress), RIWrapCompletedBlock(std::move(completed)));
}

void cancelCurrentHighlightedImageLoad(UIImageView& view) { ri_cancelCurrentHighlightedImageLoad(view); }
