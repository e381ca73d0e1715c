#include "imagecache/RIImageCache.h"

#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <system_error>

#include "imagecache/UIImageForceDecode.h"
#include "imagecache/UIImageMultiFormat.h"
#include "platform/foundation/HexString.h"
#include "platform/foundation/ProcessLifetime.h"
#include "platform/foundation/Clock.h"
#include "platform/foundation/NSData.h"
#include "platform/foundation/NSLog.h"
#include "platform/foundation/NSNotificationCenter.h"
#include "platform/security/CommonCrypto.h"

namespace fs = std::filesystem;

namespace {

const std::uint8_t kPNGSignature[8] = {0x89, 0x50, 0x4E, 0x47, 0x0D, 0x0A, 0x1A, 0x0A};

struct FileFacts {
    bool ok = false;
    bool directory = false;
    double modified = 0;          // seconds since 1970
    std::uint64_t size = 0;       // bytes of content
    std::uint64_t allocated = 0;  // bytes the file system gave it
};

FileFacts factsOf(const std::string& path) {
    FileFacts facts;
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0) return facts;
    facts.ok = true;
    facts.directory = S_ISDIR(st.st_mode);
    facts.modified = static_cast<double>(st.st_mtim.tv_sec) + static_cast<double>(st.st_mtim.tv_nsec) / 1e9;
    facts.size = static_cast<std::uint64_t>(st.st_size);
    facts.allocated = static_cast<std::uint64_t>(st.st_blocks) * 512;
    return facts;
}

// Every entry under the directory, depth first; hidden ones (and what is below
// them) are skipped when asked.
template <class F>
void enumerate(const std::string& directory, bool skipHidden, F&& visit) {
    std::error_code ec;
    fs::recursive_directory_iterator it(directory, fs::directory_options::skip_permission_denied, ec), end;
    for (; !ec && it != end; it.increment(ec)) {
        const auto& path = it->path();
        if (skipHidden && path.filename().string().starts_with(".")) {
            if (it->is_directory(ec)) it.disable_recursion_pending();
            continue;
        }
        visit(path.string());
    }
}

// How long a temporary file may be in the making before the clean-up takes it
// for the leftover of an interrupted write (another cache of the same
// namespace may be writing it right now).
constexpr double kLeftoverGraceSeconds = 60;

// Files are written as "." + the file name + ".tmp-" + a unique suffix and then
// renamed; a crash between the two leaves that name behind.
bool isLeftoverTemporary(const std::string& fileName) {
    constexpr std::size_t kDigits = 32;
    if (fileName.size() <= 1 + kDigits + 5 || fileName[0] != '.') return false;
    for (std::size_t i = 1; i <= kDigits; ++i)
        if (!std::isxdigit(static_cast<unsigned char>(fileName[i]))) return false;
    return fileName.compare(1 + kDigits, 5, ".tmp-") == 0;
}

bool isLeftoverTemporaryPath(const std::string& path) {
    return isLeftoverTemporary(fs::path(path).filename().string());
}

std::string descriptionOf(const NSErrorPtr& error) {
    return error ? error->localizedDescription() : std::string("unknown error");
}

// Removes the leftovers of interrupted writes older than the grace period.
void removeLeftoverTemporaries(const std::string& directory, const std::shared_ptr<NSFileManager>& fileManager) {
    double cutoff = Clock::now() - kLeftoverGraceSeconds;
    std::error_code ec;
    for (fs::directory_iterator it(directory, ec), end; !ec && it != end; it.increment(ec)) {
        std::string path = it->path().string();
        if (!isLeftoverTemporary(it->path().filename().string())) continue;
        FileFacts facts = factsOf(path);
        if (!facts.ok || facts.directory || facts.modified > cutoff) continue;
        NSErrorPtr error;
        if (!fileManager->removeItemAtPath(path, &error))
            NSLog("RIImageCache: cannot remove the leftover %s: %s", path.c_str(), descriptionOf(error).c_str());
    }
}

}  // namespace

bool RIImageDataHasPNGPrefix(const Data& data) {
    return data.size() >= 8 && std::equal(kPNGSignature, kPNGSignature + 8, data.begin());
}

std::shared_ptr<RIImageCache> RIImageCache::sharedImageCache() {
    static ProcessLifetime<std::shared_ptr<RIImageCache>> instance(init());
    return *instance;
}

std::shared_ptr<RIImageCache> RIImageCache::init() { return initWithNamespace("default"); }

std::shared_ptr<RIImageCache> RIImageCache::initWithNamespace(const std::string& ns) {
    auto cache = std::make_shared<RIImageCache>(ns);
    cache->registerNotifications();
    return cache;
}

RIImageCache::RIImageCache(const std::string& ns) {
    std::string fullNamespace = kRIImageCacheNamePrefix + ns;
    ioQueue_ = dispatch_queue_create(kRIImageCacheQueueLabel, DISPATCH_QUEUE_SERIAL);
    memCache_ = std::make_shared<NSCache>();
    memCache_->setName(fullNamespace);
    memCache_->setTotalCostLimit(kDefaultMaxMemoryCost);
    auto caches = NSSearchPathForDirectoriesInDomains(NSCachesDirectory, NSUserDomainMask, true);
    diskCachePath_ = (caches.empty() ? std::string() : caches.front()) + "/" + fullNamespace;
    dispatch_sync(ioQueue_, [this] { fileManager_ = std::make_shared<NSFileManager>(); });
}

RIImageCache::~RIImageCache() { NSNotificationCenter::defaultCenter()->removeObserver(this); }

void RIImageCache::registerNotifications() {
    auto center = NSNotificationCenter::defaultCenter();
    std::weak_ptr<RIImageCache> weak = self<RIImageCache>();
    center->addObserver(
        self(),
        [weak](const NSNotification&) {
            if (auto s = weak.lock()) s->clearMemory();
            PixelBuffer::releaseKeptMemory();  // the bitmaps just freed, kept for reuse
        },
        UIApplicationDidReceiveMemoryWarningNotification);
    center->addObserver(
        self(), [weak](const NSNotification&) { if (auto s = weak.lock()) s->cleanDisk(); },
        UIApplicationWillTerminateNotification);
    center->addObserver(
        self(), [weak](const NSNotification&) { if (auto s = weak.lock()) s->backgroundCleanDisk(); },
        UIApplicationDidEnterBackgroundNotification);
}

void RIImageCache::addReadOnlyCachePath(const std::string& path) {
    std::lock_guard lock(mutex_);
    if (std::find(customPaths_.begin(), customPaths_.end(), path) == customPaths_.end()) customPaths_.push_back(path);
}

std::int64_t RIImageCache::maxCacheAge() const {
    std::lock_guard lock(mutex_);
    return maxCacheAge_;
}

void RIImageCache::setMaxCacheAge(std::int64_t seconds) {
    std::lock_guard lock(mutex_);
    maxCacheAge_ = seconds;
}

std::uint64_t RIImageCache::maxCacheSize() const {
    std::lock_guard lock(mutex_);
    return maxCacheSize_;
}

void RIImageCache::setMaxCacheSize(std::uint64_t bytes) {
    std::lock_guard lock(mutex_);
    maxCacheSize_ = bytes;
}

std::uint64_t RIImageCache::maxMemoryCost() const { return memCache_->totalCostLimit(); }

void RIImageCache::setMaxMemoryCost(std::uint64_t cost) { memCache_->setTotalCostLimit(cost); }

std::string RIImageCache::cachedFileNameForKey(const std::string& key) {
    unsigned char digest[CC_MD5_DIGEST_LENGTH];
    CC_MD5(key.data(), static_cast<CC_LONG>(key.size()), digest);
    return hexString(digest, sizeof digest);
}

std::string RIImageCache::cachePathForKey(const std::string& key, const std::string& path) const {
    return path + "/" + cachedFileNameForKey(key);
}

std::string RIImageCache::defaultCachePathForKey(const std::string& key) const {
    return cachePathForKey(key, diskCachePath_);
}

std::uint64_t RIImageCache::cacheCostForImage(const UIImagePtr& image) {
    if (!image) return 0;
    CGSize size = image->size();
    double cost = size.height * size.width * image->scale();
    if (!(cost > 0)) return 0;
    return cost >= 18446744073709551615.0 ? UINT64_MAX : static_cast<std::uint64_t>(cost);
}

void RIImageCache::storeImage(const UIImagePtr& image, bool recalculateFromImage,
                              const std::optional<Data>& imageData, const std::string& key, bool toDisk) {
    if (!image) return;  // the empty key is a key like any other: it has a file name
    memCache_->setObject(key, image, cacheCostForImage(image));
    if (!toDisk) return;
    auto fileManager = fileManager_;
    std::string directory = diskCachePath_;
    std::string path = defaultCachePathForKey(key);
    dispatch_async(ioQueue_, [=] {
        std::optional<Data> bytes = imageData;
        if (image && (recalculateFromImage || !imageData)) {
            if (imageData && imageData->size() >= 8 && !RIImageDataHasPNGPrefix(*imageData))
                bytes = UIImageJPEGRepresentation(image, 1.0);
            else
                bytes = UIImagePNGRepresentation(image);
        }
        if (!bytes) {
            NSLog("RIImageCache: no bytes to store for %s", path.c_str());
            return;
        }
        // A failed write leaves the image in memory only; the next store tries again.
        NSErrorPtr error;
        if (!fileManager->fileExistsAtPath(directory) && !fileManager->createDirectoryAtPath(directory, true, {}, &error))
            NSLog("RIImageCache: cannot create %s: %s", directory.c_str(), descriptionOf(error).c_str());
        if (!writeToFile(*bytes, path, true, &error))
            NSLog("RIImageCache: cannot write %s (%zu bytes): %s", path.c_str(), bytes->size(),
                  descriptionOf(error).c_str());
    });
}

void RIImageCache::storeImage(const UIImagePtr& image, const std::string& key) {
    storeImage(image, true, std::nullopt, key, true);
}

void RIImageCache::storeImage(const UIImagePtr& image, const std::string& key, bool toDisk) {
    storeImage(image, true, std::nullopt, key, toDisk);
}

UIImagePtr RIImageCache::imageFromMemoryCacheForKey(std::string_view key) const {
    return memCache_->objectForKeyAs<UIImage>(key);
}

UIImagePtr RIImageCache::imageFromDiskCacheForKey(const std::string& key) {
    if (auto image = imageFromMemoryCacheForKey(key)) return image;
    auto image = diskImageForKey(key);
    if (image) memCache_->setObject(key, image, cacheCostForImage(image));
    return image;
}

std::optional<Data> RIImageCache::diskImageDataBySearchingAllPathsForKey(const std::string& key) const {
    if (auto data = NSFileManager::defaultManager()->contentsAtPath(defaultCachePathForKey(key))) return data;
    std::vector<std::string> paths;
    {
        std::lock_guard lock(mutex_);
        paths = customPaths_;
    }
    for (const auto& path : paths)
        if (auto data = NSFileManager::defaultManager()->contentsAtPath(cachePathForKey(key, path))) return data;
    return std::nullopt;
}

UIImagePtr RIImageCache::diskImageForKey(const std::string& key) const {
    auto data = diskImageDataBySearchingAllPathsForKey(key);
    if (!data) return nullptr;
    auto image = ri_imageWithData(*data);
    image = scaledImageForKey(key, image);
    return decodedImageWithImage(image);
}

UIImagePtr RIImageCache::scaledImageForKey(const std::string& key, const UIImagePtr& image) const {
    return RIScaledImageForKey(key, image);
}

std::shared_ptr<NSOperation> RIImageCache::queryDiskCacheForKey(std::optional<std::string_view> key,
                                                               const RIWebImageQueryCompletedBlock& doneBlock) {
    if (!doneBlock) return nullptr;
    if (!key) {
        doneBlock(nullptr, RIImageCacheTypeNone);
        return nullptr;
    }
    if (auto image = imageFromMemoryCacheForKey(*key)) {
        doneBlock(std::move(image), RIImageCacheTypeMemory);
        return nullptr;
    }
    auto operation = std::make_shared<NSOperation>();
    std::weak_ptr<RIImageCache> weak = self<RIImageCache>();
    std::string k(*key);
    dispatch_async(ioQueue_, [weak, operation, k, doneBlock] {
        if (operation->isCancelled()) return;
        auto self = weak.lock();
        if (!self) return;
        auto image = self->diskImageForKey(k);
        if (image) self->memCache_->setObject(k, image, cacheCostForImage(image));
        dispatch_async(dispatch_get_main_queue(), [operation, doneBlock, image] {
            // A cancel that came in while the disk was read still holds.
            if (operation->isCancelled()) return;
            doneBlock(image, RIImageCacheTypeDisk);
        });
    });
    return operation;
}

bool RIImageCache::diskImageExistsWithKey(const std::string& key) const {
    return NSFileManager::defaultManager()->fileExistsAtPath(defaultCachePathForKey(key));
}

void RIImageCache::diskImageExistsWithKey(const std::string& key, RIWebImageCheckCacheCompletionBlock completion) {
    auto fileManager = fileManager_;
    std::string path = defaultCachePathForKey(key);
    dispatch_async(ioQueue_, [fileManager, path, completion] {
        bool exists = fileManager->fileExistsAtPath(path);
        if (completion) dispatch_async(dispatch_get_main_queue(), [completion, exists] { completion(exists); });
    });
}

void RIImageCache::removeImageForKey(const std::optional<std::string>& key, bool fromDisk,
                                     RIWebImageNoParamsBlock completion) {
    if (!key) return;
    memCache_->removeObjectForKey(*key);
    if (fromDisk) {
        auto fileManager = fileManager_;
        std::string path = defaultCachePathForKey(*key);
        dispatch_async(ioQueue_, [fileManager, path, completion] {
            fileManager->removeItemAtPath(path);
            if (completion) dispatch_async(dispatch_get_main_queue(), completion);
        });
    } else if (completion) {
        completion();
    }
}

void RIImageCache::removeImageForKey(const std::optional<std::string>& key) { removeImageForKey(key, true, nullptr); }

void RIImageCache::removeImageForKeyWithCompletion(const std::optional<std::string>& key,
                                                   RIWebImageNoParamsBlock completion) {
    removeImageForKey(key, true, std::move(completion));
}

void RIImageCache::removeImageForKey(const std::optional<std::string>& key, bool fromDisk) {
    removeImageForKey(key, fromDisk, nullptr);
}

void RIImageCache::clearMemory() { memCache_->removeAllObjects(); }

void RIImageCache::clearDiskOnCompletion(RIWebImageNoParamsBlock completion) {
    auto fileManager = fileManager_;
    std::string directory = diskCachePath_;
    dispatch_async(ioQueue_, [fileManager, directory, completion] {
        fileManager->removeItemAtPath(directory);
        fileManager->createDirectoryAtPath(directory, true);
        if (completion) dispatch_async(dispatch_get_main_queue(), completion);
    });
}

void RIImageCache::clearDisk() { clearDiskOnCompletion(nullptr); }

void RIImageCache::cleanDiskWithCompletionBlock(RIWebImageNoParamsBlock completion) {
    auto fileManager = fileManager_;
    std::string directory = diskCachePath_;
    std::int64_t maxAge = maxCacheAge();
    std::uint64_t maxSize = maxCacheSize();
    dispatch_async(ioQueue_, [fileManager, directory, maxAge, maxSize, completion] {
        double expiration = Clock::now() - static_cast<double>(maxAge);
        std::vector<std::string> expired;
        std::vector<std::pair<std::string, FileFacts>> kept;
        std::uint64_t total = 0;
        enumerate(directory, true, [&](const std::string& path) {
            FileFacts facts = factsOf(path);
            if (!facts.ok || facts.directory) return;
            if (facts.modified <= expiration) {
                expired.push_back(path);
                return;
            }
            total += facts.allocated;
            kept.emplace_back(path, facts);
        });
        for (const auto& path : expired) fileManager->removeItemAtPath(path);
        removeLeftoverTemporaries(directory, fileManager);

        if (maxSize > 0 && total > maxSize) {
            std::uint64_t target = maxSize / 2;
            std::stable_sort(kept.begin(), kept.end(),
                             [](const auto& a, const auto& b) { return a.second.modified < b.second.modified; });
            for (const auto& [path, facts] : kept) {
                if (fileManager->removeItemAtPath(path)) {
                    total -= std::min(total, facts.allocated);
                    if (total < target) break;
                }
            }
        }
        if (completion) dispatch_async(dispatch_get_main_queue(), completion);
    });
}

void RIImageCache::cleanDisk() { cleanDiskWithCompletionBlock(nullptr); }

void RIImageCache::backgroundCleanDisk() {
    auto application = UIApplication::sharedApplication();
    std::weak_ptr<RIImageCache> weak = self<RIImageCache>();
    auto endTask = [weak, application] {
        auto self = weak.lock();
        if (!self) return;
        UIBackgroundTaskIdentifier task;
        {
            std::lock_guard lock(self->mutex_);
            task = self->backgroundTask_;
            self->backgroundTask_ = UIBackgroundTaskInvalid;
        }
        if (task != UIBackgroundTaskInvalid) application->endBackgroundTask(task);
    };
    auto task = application->beginBackgroundTaskWithExpirationHandler(endTask);
    {
        std::lock_guard lock(mutex_);
        backgroundTask_ = task;
    }
    cleanDiskWithCompletionBlock(endTask);
}

bool RIImageCache::onIoQueue() const { return DispatchQueue::current() == ioQueue_; }

void RIImageCache::syncOnIoQueue(const std::function<void()>& block) {
    // Counting from the queue's own work runs at once instead of waiting for itself.
    if (onIoQueue()) block();
    else dispatch_sync(ioQueue_, block);
}

std::uint64_t RIImageCache::getSize() {
    std::uint64_t size = 0;
    syncOnIoQueue([&] {
        enumerate(diskCachePath_, false, [&](const std::string& path) {
            if (isLeftoverTemporaryPath(path)) return;  // not cache, see cleanDisk
            Value attributes = NSFileManager::defaultManager()->attributesOfItemAtPath(path);
            size += attributes[NSFileSize].unsignedLongLongValue();
        });
    });
    return size;
}

std::uint64_t RIImageCache::getDiskCount() {
    std::uint64_t count = 0;
    syncOnIoQueue([&] {
        enumerate(diskCachePath_, false, [&](const std::string& path) { count += !isLeftoverTemporaryPath(path); });
    });
    return count;
}

void RIImageCache::calculateSizeWithCompletionBlock(RIWebImageCalculateSizeBlock completion) {
    std::string directory = diskCachePath_;
    dispatch_async(ioQueue_, [directory, completion] {
        std::uint64_t count = 0, size = 0;
        enumerate(directory, true, [&](const std::string& path) {
            ++count;
            FileFacts facts = factsOf(path);
            if (facts.ok && !facts.directory) size += facts.size;
        });
        if (completion) dispatch_async(dispatch_get_main_queue(), [completion, count, size] { completion(count, size); });
    });
}
