#pragma once
// The image cache: decoded images in memory, their encoded bytes on disk, both
// by a string key (the image URL's absolute string).
//
// Disk layout: one flat file per key in diskCachePath, named by the key's MD5
// in 32 lower-case hexadecimal digits, no extension, holding the image's bytes
// as stored. A file's modification date is its age. Files are written under a
// hidden temporary name and renamed, so readers never see part of a file; the
// clean-up removes such names left behind by a crash (once they are a minute
// old), and no count or size includes them. A write that fails is logged: the
// image then stays in memory only.
//
// Memory cost of an image: its height times its width in points times its
// scale (pixels / scale), so maxMemoryCost is a number of such units. With no
// system here to evict under memory pressure, a new cache starts bounded at
// kDefaultMaxMemoryCost (about 128 MiB of bitmaps at scale 1); 0 lifts the bound.
//
// All disk work except the synchronous reads runs on the serial queue
// "com.plinketor.RIWebImageCache"; results reach callers on the main queue.
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>
#include "imagecache/RIWebImageCompat.h"
#include "platform/dispatch/Dispatch.h"
#include "platform/foundation/Data.h"
#include "platform/foundation/NSCache.h"
#include "platform/foundation/NSFileManager.h"
#include "platform/dispatch/NSOperation.h"
#include "platform/uikit/UIApplication.h"
#include "platform/uikit/UIImage.h"

// True when the data starts with the 8-byte PNG signature.
bool RIImageDataHasPNGPrefix(const Data& data);

using RIWebImageQueryCompletedBlock = std::function<void(UIImagePtr image, RIImageCacheType cacheType)>;
using RIWebImageCheckCacheCompletionBlock = std::function<void(bool isInCache)>;
using RIWebImageCalculateSizeBlock = std::function<void(std::uint64_t fileCount, std::uint64_t totalSize)>;

inline constexpr const char* kRIImageCacheQueueLabel = "com.plinketor.RIWebImageCache";
inline constexpr const char* kRIImageCacheNamePrefix = "com.plinketor.RIWebImageCache.";
inline constexpr std::int64_t kRIImageCacheDefaultMaxAge = 60 * 60 * 24 * 7;  // 604800 s

class RIImageCache : public NSObject {
public:
    // The process-wide cache of the namespace "default".
    static std::shared_ptr<RIImageCache> sharedImageCache();
    static std::shared_ptr<RIImageCache> init();
    static std::shared_ptr<RIImageCache> initWithNamespace(const std::string& ns);
    ~RIImageCache() override;

    void addReadOnlyCachePath(const std::string& path);

    std::int64_t maxCacheAge() const;
    void setMaxCacheAge(std::int64_t seconds);
    std::uint64_t maxCacheSize() const;
    void setMaxCacheSize(std::uint64_t bytes);
    static constexpr std::uint64_t kDefaultMaxMemoryCost = std::uint64_t{32} * 1024 * 1024;
    std::uint64_t maxMemoryCost() const;
    void setMaxMemoryCost(std::uint64_t cost);

    const std::string& diskCachePath() const { return diskCachePath_; }
    const std::shared_ptr<NSCache>& memCache() const { return memCache_; }
    // The serial queue of the disk work ("com.plinketor.RIWebImageCache").
    const dispatch_queue_t& ioQueue() const { return ioQueue_; }

    // Paths.
    static std::string cachedFileNameForKey(const std::string& key);
    std::string cachePathForKey(const std::string& key, const std::string& path) const;
    std::string defaultCachePathForKey(const std::string& key) const;

    // Storing. Any key, the empty one included, names a file.
    void storeImage(const UIImagePtr& image, bool recalculateFromImage, const std::optional<Data>& imageData,
                    const std::string& key, bool toDisk);
    void storeImage(const UIImagePtr& image, const std::string& key);
    void storeImage(const UIImagePtr& image, const std::string& key, bool toDisk);

    // Reading.
    UIImagePtr imageFromMemoryCacheForKey(std::string_view key) const;
    UIImagePtr imageFromDiskCacheForKey(const std::string& key);
    std::optional<Data> diskImageDataBySearchingAllPathsForKey(const std::string& key) const;
    UIImagePtr diskImageForKey(const std::string& key) const;
    UIImagePtr scaledImageForKey(const std::string& key, const UIImagePtr& image) const;
    // The answer of a memory hit (or of a missing key) comes at once on the
    // caller's thread and null is returned; otherwise the returned operation
    // cancels the disk query until the queue reaches it. The key is copied only
    // for a disk query.
    std::shared_ptr<NSOperation> queryDiskCacheForKey(std::optional<std::string_view> key,
                                                      const RIWebImageQueryCompletedBlock& doneBlock);
    bool diskImageExistsWithKey(const std::string& key) const;
    void diskImageExistsWithKey(const std::string& key, RIWebImageCheckCacheCompletionBlock completion);

    // Removing and clearing. A missing key does nothing and calls nothing back.
    void removeImageForKey(const std::optional<std::string>& key, bool fromDisk, RIWebImageNoParamsBlock completion);
    void removeImageForKey(const std::optional<std::string>& key);
    void removeImageForKeyWithCompletion(const std::optional<std::string>& key, RIWebImageNoParamsBlock completion);
    void removeImageForKey(const std::optional<std::string>& key, bool fromDisk);
    void clearMemory();
    void clearDiskOnCompletion(RIWebImageNoParamsBlock completion);
    void clearDisk();
    // Deletes files older than maxCacheAge, then, when maxCacheSize is set and
    // exceeded, the oldest files until the total is below half of it.
    void cleanDiskWithCompletionBlock(RIWebImageNoParamsBlock completion);
    void cleanDisk();
    void backgroundCleanDisk();

    // Counting: synchronous, on the cache's queue (directly when called from it).
    std::uint64_t getSize();
    std::uint64_t getDiskCount();
    void calculateSizeWithCompletionBlock(RIWebImageCalculateSizeBlock completion);

    // Memory cost of an image: height x width in points x scale.
    static std::uint64_t cacheCostForImage(const UIImagePtr& image);

    explicit RIImageCache(const std::string& ns);

private:
    void registerNotifications();
    // Runs the block on the queue and waits, or runs it directly when already on it.
    void syncOnIoQueue(const std::function<void()>& block);
    bool onIoQueue() const;

    std::shared_ptr<NSCache> memCache_;
    std::string diskCachePath_;
    mutable std::mutex mutex_;  // guards customPaths_ and the limits
    std::vector<std::string> customPaths_;
    dispatch_queue_t ioQueue_;
    std::shared_ptr<NSFileManager> fileManager_;  // used only on ioQueue_
    std::int64_t maxCacheAge_ = kRIImageCacheDefaultMaxAge;
    std::uint64_t maxCacheSize_ = 0;
    UIBackgroundTaskIdentifier backgroundTask_ = UIBackgroundTaskInvalid;
};
