#pragma once
// What the image library's parts share: the error domain, the cache types
// reported with every delivered image, the hand-over to the main thread and
// the rescaling of images by the "@2x." marker of their key.
#include <functional>
#include <string>
#include "platform/uikit/UIImage.h"

using RIWebImageNoParamsBlock = std::function<void()>;

inline constexpr const char* RIWebImageErrorDomain = "RIWebImageErrorDomain";

enum RIImageCacheType : long {
    RIImageCacheTypeNone = 0,    // downloaded
    RIImageCacheTypeDisk = 1,
    RIImageCacheTypeMemory = 2,
};

// Notifications of the downloads (see RIWebImageDownloaderOperation).
inline constexpr const char* RIWebImageDownloadStartNotification = "RIWebImageDownloadStartNotification";
inline constexpr const char* RIWebImageDownloadStopNotification = "RIWebImageDownloadStopNotification";

// The image with the scale its key names: 2 when the key has "@2x." followed
// by 3 or 4 characters at its end, else 1. Animated images are rescaled frame
// by frame. Null for a null image.
UIImagePtr RIScaledImageForKey(const std::string& key, const UIImagePtr& image);

// Runs the block on the main thread: at once when already there, else by a
// synchronous dispatch to the main queue.
void ri_dispatch_main_sync_safe(const std::function<void()>& block);
// Runs the block on the main thread: at once when already there, else by an
// asynchronous dispatch to the main queue.
void ri_dispatch_main_async_safe(std::function<void()> block);
