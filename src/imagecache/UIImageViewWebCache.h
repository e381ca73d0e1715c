#pragma once
// Remote images in image views: the view's current load is remembered and
// cancelled when a new one starts, a placeholder is shown meanwhile, and the
// image is set on the main thread. An image in the memory cache is set before
// the call returns.
#include <vector>
#include "imagecache/RIWebImageManager.h"
#include "platform/uikit/UIImageView.h"

using RIWebImageCompletionBlock =
    std::function<void(UIImagePtr image, NSErrorPtr error, RIImageCacheType cacheType, NSURLPtr imageURL)>;
// The older callback, without the URL.
using RIWebImageCompletedBlock = std::function<void(UIImagePtr image, NSErrorPtr error, RIImageCacheType cacheType)>;

inline constexpr const char* kUIImageViewImageLoadKey = "UIImageViewImageLoad";
inline constexpr const char* kUIImageViewAnimationImagesKey = "UIImageViewAnimationImages";
inline constexpr const char* kUIImageViewHighlightedImageKey = "highlightedImage";

// The error of a load without URL ("Trying to load a nil url").
NSErrorPtr RIWebImageNilURLError();

using UIImageViewPtr = std::shared_ptr<UIImageView>;

// The main operation; the others call it.
void ri_setImageWithURL(const UIImageViewPtr& view, const NSURLPtr& url, const UIImagePtr& placeholder,
                        RIWebImageOptions options, RIWebImageDownloaderProgressBlock progress,
                        RIWebImageCompletionBlock completed);
void ri_setImageWithURL(const UIImageViewPtr& view, const NSURLPtr& url);
void ri_setImageWithURL(const UIImageViewPtr& view, const NSURLPtr& url, const UIImagePtr& placeholder);
void ri_setImageWithURL(const UIImageViewPtr& view, const NSURLPtr& url, const UIImagePtr& placeholder,
                        RIWebImageOptions options);
void ri_setImageWithURL(const UIImageViewPtr& view, const NSURLPtr& url, RIWebImageCompletionBlock completed);
void ri_setImageWithURL(const UIImageViewPtr& view, const NSURLPtr& url, const UIImagePtr& placeholder,
                        RIWebImageCompletionBlock completed);
void ri_setImageWithURL(const UIImageViewPtr& view, const NSURLPtr& url, const UIImagePtr& placeholder,
                        RIWebImageOptions options, RIWebImageCompletionBlock completed);

// Shows the image cached for the URL (memory or disk, read now) as the
// placeholder when there is one.
void ri_setImageWithPreviousCachedImageWithURL(const UIImageViewPtr& view, const NSURLPtr& url,
                                               const UIImagePtr& placeholder, RIWebImageOptions options,
                                               RIWebImageDownloaderProgressBlock progress,
                                               RIWebImageCompletionBlock completed);

NSURLPtr ri_imageURL(const UIImageView& view);
// Loads every URL and adds each image, in the order the loads complete, to the
// view's animation.
void ri_setAnimationImagesWithURLs(const UIImageViewPtr& view, const std::vector<NSURLPtr>& urls);
void ri_cancelCurrentImageLoad(UIImageView& view);
void ri_cancelCurrentAnimationImagesLoad(UIImageView& view);

// The highlighted image: no placeholder, no URL recorded.
void ri_setHighlightedImageWithURL(const UIImageViewPtr& view, const NSURLPtr& url, RIWebImageOptions options,
                                   RIWebImageDownloaderProgressBlock progress, RIWebImageCompletionBlock completed);
void ri_setHighlightedImageWithURL(const UIImageViewPtr& view, const NSURLPtr& url);
void ri_setHighlightedImageWithURL(const UIImageViewPtr& view, const NSURLPtr& url, RIWebImageOptions options);
void ri_setHighlightedImageWithURL(const UIImageViewPtr& view, const NSURLPtr& url, RIWebImageCompletionBlock completed);
void ri_setHighlightedImageWithURL(const UIImageViewPtr& view, const NSURLPtr& url, RIWebImageOptions options,
                                   RIWebImageCompletionBlock completed);
void ri_cancelCurrentHighlightedImageLoad(UIImageView& view);

// Older names.
NSURLPtr imageURL(const UIImageView& view);
void setImageWithURL(const UIImageViewPtr& view, const NSURLPtr& url);
void setImageWithURL(const UIImageViewPtr& view, const NSURLPtr& url, const UIImagePtr& placeholder);
void setImageWithURL(const UIImageViewPtr& view, const NSURLPtr& url, const UIImagePtr& placeholder,
                     RIWebImageOptions options);
void setImageWithURL(const UIImageViewPtr& view, const NSURLPtr& url, RIWebImageCompletedBlock completed);
void setImageWithURL(const UIImageViewPtr& view, const NSURLPtr& url, const UIImagePtr& placeholder,
                     RIWebImageCompletedBlock completed);
void setImageWithURL(const UIImageViewPtr& view, const NSURLPtr& url, const UIImagePtr& placeholder,
                     RIWebImageOptions options, RIWebImageCompletedBlock completed);
void setImageWithURL(const UIImageViewPtr& view, const NSURLPtr& url, const UIImagePtr& placeholder,
                     RIWebImageOptions options, RIWebImageDownloaderProgressBlock progress,
                     RIWebImageCompletedBlock completed);
void cancelCurrentArrayLoad(UIImageView& view);
void cancelCurrentImageLoad(UIImageView& view);
void setAnimationImagesWithURLs(const UIImageViewPtr& view, const std::vector<NSURLPtr>& urls);
void setHighlightedImageWithURL(const UIImageViewPtr& view, const NSURLPtr& url);
void setHighlightedImageWithURL(const UIImageViewPtr& view, const NSURLPtr& url, RIWebImageOptions options);
void setHighlightedImageWithURL(const UIImageViewPtr& view, const NSURLPtr& url, RIWebImageCompletedBlock completed);
void setHighlightedImageWithURL(const UIImageViewPtr& view, const NSURLPtr& url, RIWebImageOptions options,
                                RIWebImageCompletedBlock completed);
void setHighlightedImageWithURL(const UIImageViewPtr& view, const NSURLPtr& url, RIWebImageOptions options,
                                RIWebImageDownloaderProgressBlock progress, RIWebImageCompletedBlock completed);
void cancelCurrentHighlightedImageLoad(UIImageView& view);

// Wraps an older callback into the current form (null stays null).
RIWebImageCompletionBlock RIWrapCompletedBlock(RIWebImageCompletedBlock completed);
