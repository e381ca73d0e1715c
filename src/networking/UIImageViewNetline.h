#pragma once
// Remote images for image views through HTTP request operations, with the
// shared in-memory NLImageCache. The image library's ri_setImageWithURL is
// what the screens use; these are the HTTP library's own.
//
// A load first cancels the view's current one. A cached image is set (or
// handed to success) at once. Otherwise the placeholder shows, and the
// operation runs on the image views' shared queue; its image goes into the
// cache whatever became of the view, and into the view (or to success) only
// while the operation is still the view's current one: a replaced or
// cancelled load never shows and calls nothing. Failures go to failure with
// the request, the response (null without one) and the error. The view is
// held weakly. Main thread.
#include <functional>
#include <memory>

#include "networking/NLHTTPRequestOperation.h"
#include "networking/NLImageCache.h"
#include "platform/net/NSHTTPURLResponse.h"
#include "platform/uikit/UIImageView.h"

using NLImageSuccessBlock = std::function<void(const std::shared_ptr<NSURLRequest>& request,
                                               const std::shared_ptr<NSHTTPURLResponse>& response,
                                               const UIImagePtr& image)>;
using NLImageViewFailureBlock = std::function<void(const std::shared_ptr<NSURLRequest>& request,
                                                   const std::shared_ptr<NSHTTPURLResponse>& response,
                                                   const NSErrorPtr& error)>;

// The image views' cache (NLImageCache::defaultCache() until set; null restores it).
std::shared_ptr<NLImageCache> nl_imageViewSharedImageCache();
void nl_setImageViewSharedImageCache(std::shared_ptr<NLImageCache> cache);
// The image views' operation queue, made once.
std::shared_ptr<NSOperationQueue> nl_imageViewSharedImageRequestOperationQueue();

std::shared_ptr<NLHTTPResponseSerializer> nl_imageResponseSerializer(const UIImageView& view);
void nl_setImageResponseSerializer(UIImageView& view, std::shared_ptr<NLHTTPResponseSerializer> serializer);

// GET with "Accept: image/*".
void nl_setImageWithURL(const std::shared_ptr<UIImageView>& view, const std::string& url);
void nl_setImageWithURL(const std::shared_ptr<UIImageView>& view, const std::string& url, const UIImagePtr& placeholder);
void nl_setImageWithURLRequest(const std::shared_ptr<UIImageView>& view, const std::shared_ptr<NSURLRequest>& request,
                               const UIImagePtr& placeholder, NLImageSuccessBlock success,
                               NLImageViewFailureBlock failure);
void nl_cancelImageRequestOperation(UIImageView& view);
std::shared_ptr<NLHTTPRequestOperation> nl_imageRequestOperation(const UIImageView& view);
